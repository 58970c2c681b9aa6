// The program's two saved queries, as the engine's tests run and store them.
#pragma once

namespace timerq {

inline const char* kWeekSql =
    "PARAMETERS PStartDate DateTime, PEndDate DateTime; SELECT DISTINCTROW [All Activities].UserDate, "
    "[All Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].[Service ID], "
    "DateAdd(\"s\",30,Duration) AS RoundedDuration, [All Activities].[Billable Status], [All Activities].[Export "
    "Status], [All Activities].Exported, [All Activities].Class, [All Activities].[Class ID], [All "
    "Activities].ActivityID, [All Activities].[CustJob ID], [All Activities].Name, [All Activities].[Name ID], [All "
    "Activities].[Payroll Item], [All Activities].Note, [All Activities].[Billable Y/N], [All Activities].Duration, "
    "[All Activities].CreateTime From [All Activities] WHERE ((([All Activities].UserDate) Between [PStartDate] And "
    "[PEndDate]) AND (([All Activities].[Name ID])=[PNameID])) ORDER BY [All Activities].[Customer/Job], [All "
    "Activities].[Service Item], [All Activities].Class, [All Activities].UserDate;";

inline const char* kRecentSql =
    "SELECT DISTINCT [All Activities].[Customer/Job], [All Activities].[CustJob ID], [All Activities].[Service "
    "Item], [All Activities].[Service ID], [All Activities].Class, [All Activities].[Class ID] From [All Activities] "
    "WHERE ((([All Activities].CreateTime)>Date()-[PNumDays]+1) AND (([All Activities].[Name ID])=[PNameID])) ORDER "
    "BY [All Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].Class;";

}  // namespace timerq
