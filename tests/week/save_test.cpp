// Validating the week and writing it back to a copy of sample.tdb, checked with the
// engine and with mdb-export; failures in the middle of a write leave the file whole.
#include <cstring>

#include "grid_driver.h"

namespace {

class SaveTest : public Week {
protected:
    void check(const std::string& message) {
        platform.messages.clear();
        EXPECT_FALSE(w().ValidateGrid());
        expectOnlyMessage(message);
    }
    // The three kinds of change: (1, 9) activity 2 changed, (2, 12) activity 4 emptied,
    // (1, 15) and (7, 3) new, on Friday of row 1 and Monday of a recent row.
    void changeWeek() {
        for (auto [r, c, text] : {std::tuple{1, 9, "02:00"}, {2, 12, ""}, {1, 15, "01:15"}, {7, 3, "00:20"}})
            grid().setTextMatrix(r, c, text);
    }
};

TEST_F(SaveTest, NewChangedAndEmptiedCellsBecomeAddedUpdatedAndDeletedRecords) {
    open([](jet::Database& db) {  // Timer columns the program never writes
        edit(db, 2, {{"Start Time", jet::Value::date(serial(QDate(2026, 12, 2), QTime(8, 15)))},
                     {"Rate", jet::Value::currency(jet::Currency{855000})}, {"Timer Flags", jet::Value::byte(3)}});
    });
    const Records before = inFile();
    changeWeek();
    ASSERT_TRUE(w().SaveGrid());
    EXPECT_EQ(messages(), std::vector<std::string>{});
    const Records after = inFile();
    EXPECT_EQ(after.size(), 17u);
    EXPECT_EQ(after.count(4), 0u);
    EXPECT_EQ(w().id(12, 2), 0);
    const int32_t fri = w().id(15, 1), mon = w().id(3, 7);
    ASSERT_GT(fri, 16);
    ASSERT_GT(mon, 16);
    ASSERT_NE(fri, mon);
    // New records: the row's references, the day, the person, payroll item 2, the billable default.
    expectFields(after.at(fri), {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"},
                                 {"Payroll Item ID", "2"}, {"UserDate", dateValue(QDate(2026, 12, 4))},
                                 {"CreateTime", kNow}, {"Duration", dur(1, 15)}, {"Billable Status", "True"},
                                 {"Note", "NULL"}, {"Start Time", "NULL"}, {"Rate", "NULL"}});
    expectFields(after.at(mon), {{"CustJob ID", "108"}, {"Service ID", "10"}, {"Class ID", "3"},
                                 {"UserDate", dateValue(QDate(2026, 11, 30))}, {"Duration", dur(0, 20)}});
    // The changed record: duration and time of writing; every other activity of the week
    // gets the time of writing; nobody else's and none of Alice's other weeks is touched.
    for (auto [id, rec] : before) {
        if (id == 4) continue;
        if (id <= 9) rec["CreateTime"] = kNow;
        if (id == 2) rec["Duration"] = dur(2, 0);
        EXPECT_EQ(after.at(id), rec) << "activity " << id;
    }
    win.reset();
    const Records x = mdbExport(timerPath);
    EXPECT_EQ(x.size(), 17u);
    EXPECT_EQ(x.count(4), 0u);
    expectFields(x.at(fri), {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"},
                             {"Payroll Item ID", "2"}, {"UserDate", "2026-12-04 00:00:00"},
                             {"CreateTime", "2026-12-06 10:00:00"}, {"Duration", "1899-12-30 01:15:00"},
                             {"Billable Status", "1"}, {"Exported", "0"}});
    expectFields(x.at(2), {{"Duration", "1899-12-30 02:00:00"}, {"CreateTime", "2026-12-06 10:00:00"},
                           {"UserDate", "2026-12-02 00:00:00"}, {"Billable Status", "1"}, {"Exported", "1"},
                           {"Start Time", "2026-12-02 08:15:00"}, {"Rate", "85.5000"}, {"Timer Flags", "3"}});
    EXPECT_EQ(x.at(10).at("CreateTime"), "2026-12-04 17:05:00");
}

// Cells follow their records across saves; new records take the billable preference;
// what was saved is what the week shows when it is loaded again.
TEST_F(SaveTest, SavesOneAfterAnotherAndTheWeekLoadedAgain) {
    open();
    w().m_bBillable = false;
    grid().setTextMatrix(1, 9, "02:00");
    grid().setTextMatrix(2, 12, "");
    grid().setTextMatrix(3, 21, "02:00");  // Sunday of Acme / Development
    ASSERT_TRUE(w().SaveGrid());
    const int32_t added = w().id(21, 3);
    ASSERT_GT(added, 16);
    EXPECT_EQ(w().id(12, 2), 0);
    ASSERT_TRUE(w().SaveGrid());  // again: nothing more deleted or added
    EXPECT_EQ(w().id(21, 3), added);
    EXPECT_EQ(inFile().size(), 16u);
    grid().setTextMatrix(3, 21, "03:10");
    ASSERT_TRUE(w().SaveGrid());
    const Records after = inFile();
    EXPECT_EQ(after.size(), 16u);
    expectFields(after.at(added), {{"Duration", dur(3, 10)}, {"Billable Status", "False"}});
    EXPECT_EQ(after.at(1).at("Billable Status"), "True");  // existing records keep theirs
    w().SetMonday("11/30/2026");
    EXPECT_EQ(cell(1, 3) + cell(1, 9) + cell(3, 6) + cell(3, 21), "02:3002:0004:1503:10");
    EXPECT_EQ(w().id(9, 1), 2);
    EXPECT_EQ(w().id(21, 3), added);
    EXPECT_EQ(cell(3, 22), "");
    EXPECT_EQ(colors(3, 21), std::make_pair(kText, kNotExported));
    // Activity 4 is gone; Wednesday's second activity keeps its row with Friday's.
    EXPECT_EQ(cell(2, 9) + "|" + cell(2, 12) + "|" + cell(2, 15), "01:00||00:45");
    EXPECT_EQ(cell(totalsRow(), 24), "47:08");
    EXPECT_EQ(messages(), std::vector<std::string>{});
}

TEST_F(SaveTest, AVanishedRecordIsWrittenAgainAndTheCellFollows) {
    open();
    {
        auto rs = w().m_db->OpenDynaset("Activities");
        for (int id : {9, 4}) {
            rs->FindFirst("ID=" + std::to_string(id));
            ASSERT_FALSE(rs->NoMatch());
            rs->Delete();
        }
    }
    grid().setTextMatrix(2, 12, "");  // the cell of vanished activity 4, emptied
    ASSERT_TRUE(w().SaveGrid());
    EXPECT_EQ(messages(), std::vector<std::string>{});
    EXPECT_EQ(w().id(12, 2), 0);
    const int32_t again = w().id(6, 3);
    const Records after = inFile();
    EXPECT_EQ(after.size(), 15u);
    ASSERT_GT(again, 16);
    expectFields(after.at(again), {{"Duration", dur(4, 15)}, {"UserDate", dateValue(QDate(2026, 12, 1))},
                                   {"CustJob ID", "109"}, {"Service ID", "13"}, {"Payroll Item ID", "2"},
                                   {"Billable Status", "True"}});
}

// The dynaset the week's writes use reads only the records it finds by key, and stays
// on its record when a search finds nothing.
TEST_F(SaveTest, KeyedDynasetReadsWhatItFinds) {
    open();
    auto rs = w().m_db->OpenKeyedDynaset("Activities");
    EXPECT_EQ(rs->RecordCount(), 0);
    rs->FindFirst("ID=7");
    ASSERT_FALSE(rs->NoMatch());
    EXPECT_EQ(jet::toDebugString(rs->Field("Duration")), dur(1, 29, 29));
    rs->FindFirst("ID=7");
    EXPECT_EQ(rs->RecordCount(), 1);
    rs->FindFirst("ID=999");
    EXPECT_TRUE(rs->NoMatch());
    rs->Edit();
    rs->SetField("Note", jet::Value::text("seen"));
    rs->Update();
    EXPECT_EQ(inFile().at(7).at("Note"), "\"seen\"");
    rs->FindFirst("Name ID=202");  // any other criterion reads the table
    ASSERT_FALSE(rs->NoMatch());
    EXPECT_EQ(rs->Field("ID").toDouble(), 11);
    EXPECT_EQ(rs->RecordCount(), 16);
}

struct Fault {
    const char* phase;
    int nth;  // fail before the nth page of that phase
};
void PrintTo(const Fault& f, std::ostream* os) { *os << f.phase << " page " << f.nth; }
class SaveFault : public SaveTest, public ::testing::WithParamInterface<Fault> {};

// A crash in the middle of writing the file: the file keeps the whole week as it was,
// the cells' IDs name the records it holds, and the typed cells stay.
TEST_P(SaveFault, LeavesTheFileAndTheIdsAsBefore) {
    open();
    const Records before = inFile();
    changeWeek();
    const std::vector<int32_t> idsBefore = {w().id(9, 1), w().id(12, 2), w().id(15, 1), w().id(3, 7)};
    int pages = 0;
    bool failed = false;
    jet::detail::writablePager(w().m_db->engine()).setFaultHook([&](const char* phase, uint32_t) {
        if (std::strcmp(phase, GetParam().phase) == 0 && ++pages == GetParam().nth) {
            failed = true;
            throw std::runtime_error("simulated crash");
        }
    });
    EXPECT_FALSE(w().SaveGrid());
    ASSERT_TRUE(failed) << "the save wrote fewer pages than the fault waits for";
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(messages()[0].find("simulated crash"), std::string::npos);
    EXPECT_NE(messages()[0].find(kNotSaved), std::string::npos);
    EXPECT_EQ((std::vector<int32_t>{w().id(9, 1), w().id(12, 2), w().id(15, 1), w().id(3, 7)}), idsBefore);
    EXPECT_EQ(idsBefore, (std::vector<int32_t>{2, 4, 0, 0}));
    EXPECT_EQ(cell(1, 15), "01:15");
    win.reset();
    EXPECT_EQ(readFile(timerPath), before);
    EXPECT_FALSE(std::filesystem::exists(jet::journalPath(timerPath)));
    const Records x = mdbExport(timerPath);
    EXPECT_EQ(x.size(), 16u);
    EXPECT_EQ(x.at(2).at("Duration"), "1899-12-30 01:29:30");
    EXPECT_EQ(x.at(4).at("Duration"), "1899-12-30 03:00:00");
    EXPECT_EQ(x.at(1).at("CreateTime"), "2026-12-04 17:05:00");
}

INSTANTIATE_TEST_SUITE_P(Phases, SaveFault,
                         ::testing::Values(Fault{"journal", 1}, Fault{"file", 1}, Fault{"file", 2}, Fault{"file", 3}),
                         [](const auto& info) { return std::string(info.param.phase) + std::to_string(info.param.nth); });

// A write error the file reports saves nothing; the same save made again once the
// file can be written does the whole week once.
TEST_F(SaveTest, AFailedSaveCanBeMadeAgain) {
    open();
    const Records before = inFile();
    changeWeek();
    {
        RefusedWrites refused(timerPath);
        EXPECT_FALSE(w().SaveGrid());
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(messages()[0].find(kNotSaved), std::string::npos);
        EXPECT_EQ(w().id(12, 2), 4);
        EXPECT_EQ(w().id(15, 1), 0);
        EXPECT_EQ(inFile(), before);
    }
    platform.messages.clear();
    ASSERT_TRUE(w().SaveGrid());
    EXPECT_EQ(messages(), std::vector<std::string>{});
    const Records after = inFile();
    EXPECT_EQ(after.size(), 17u);
    EXPECT_EQ(after.count(4), 0u);
    EXPECT_EQ(w().id(12, 2), 0);
    ASSERT_EQ(after.count(w().id(15, 1)), 1u);
    EXPECT_EQ(after.at(w().id(15, 1)).at("Duration"), dur(1, 15));
    EXPECT_EQ(after.at(2).at("Duration"), dur(2, 0));
}

// A cell that validates but is no duration (00:00 where the record is longer) is left
// out of the save after its message; the rest of the week is written.
TEST_F(SaveTest, ACellThatPassesValidationButIsNoDurationIsLeftOut) {
    open();
    grid().setTextMatrix(1, 3, "00:00");
    grid().setTextMatrix(1, 15, "01:00");
    ASSERT_TRUE(w().SaveGrid());
    expectOnlyMessage(kBadTime);
    const Records after = inFile();
    EXPECT_EQ(w().id(3, 1), 1);
    expectFields(after.at(1), {{"Duration", dur(2, 30)}, {"CreateTime", kCreated}});
    EXPECT_GT(w().id(15, 1), 16);
    EXPECT_EQ(after.at(3).at("CreateTime"), kNow);
}

TEST_F(SaveTest, ValidationNamesTheFirstFaultAndNothingIsWritten) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    open();
    const Records before = inFile();
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        // Minutes over 59 pass below 23 hours; a whole day in minutes does not.
        {"", {"", "23:59", "5:75", "00:00", "12", "1.5", "1:30.5"}},
        {kTooLong, {"24:00", "23:60", "24", "22:120"}},
        {"You cannot enter negative time: ", {"-1:00", "0:-5", "-1"}},
        {"Invalid time entry: ", {"a:00", ":30", "2:", "abc", "   ", "32768:00", "1:32768"}},
    };
    for (const auto& [message, texts] : cases)
        for (const auto& text : texts) {
            SCOPED_TRACE("cell \"" + text + "\"");
            grid().setTextMatrix(1, 9, text);  // Wednesday 12/02/2026
            if (message.empty()) EXPECT_TRUE(w().ValidateGrid());
            else check(message + "12/2/26");
        }
    // The first fault of the week in row order: Tuesday before Wednesday, row 3 before row 5.
    grid().setTextMatrix(1, 9, "01:30");
    for (auto [r, c, text] : {std::tuple{3, 9, "abc"}, {3, 6, "24:00"}, {5, 3, "-1:00"}, {1, 15, "01:00"}})
        grid().setTextMatrix(r, c, text);
    check(kTooLong + std::string("12/1/26"));
    platform.messages.clear();
    EXPECT_FALSE(w().SaveGrid());
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(w().id(15, 1), 0);
    EXPECT_EQ(inFile(), before);
    QLocale::setDefault(QLocale::system());
}

// A duration needs its row's three references (the time is checked first) and a person.
TEST_F(SaveTest, ARowBlocksTheSaveUntilItsReferencesAreChosen) {
    open();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    grid().setTextMatrix(14, 3, "24:00");
    check(std::string(kTooLong) + "11/30/26");
    grid().setTextMatrix(14, 3, "01:00");
    check("Please select a Customer:Job for every activity");
    choose(14, 0, "Delta Logistics");
    choose(14, 1, "Project Management");  // the click commits the Customer:Job
    check("Please select a Service Item for every activity");
    choose(14, 2, "Commercial");
    platform.messages.clear();
    EXPECT_FALSE(w().SaveGrid());
    expectOnlyMessage("Please select a Class for every activity");
    EXPECT_EQ(inFile().size(), 16u);
    arrowTo(14, 3);
    ASSERT_TRUE(w().SaveGrid());
    const int32_t id = w().id(3, 14);
    ASSERT_GT(id, 16);
    expectFields(inFile().at(id), {{"CustJob ID", "103"}, {"Service ID", "15"}, {"Class ID", "3"}, {"Duration", dur(1, 0)}});
    w().m_lNameID = -1;
    grid().setTextMatrix(14, 3, "02:00");
    platform.messages.clear();
    EXPECT_FALSE(w().SaveGrid());
    expectOnlyMessage("Please select a Name by clicking on the Name button.");
    EXPECT_EQ(inFile().at(id).at("Duration"), dur(1, 0));
    // Without a Timer file nothing is validated or saved, and nothing is said.
    win.reset();
    start();
    w().Grid.setRows(3);
    w().Grid.setTextMatrix(1, 3, "01:00");
    platform.messages.clear();
    EXPECT_FALSE(w().ValidateGrid());
    EXPECT_FALSE(w().SaveGrid());
    EXPECT_EQ(messages(), std::vector<std::string>{});
    QLocale::setDefault(QLocale::system());
}

// ---- One cell written as the editor commits it ----

// Its markers and colours are drawn again from the record.
TEST_F(SaveTest, ACommittedCellIsRedrawnFromItsRecord) {
    open([](jet::Database& db) { edit(db, 5, {{"Note", jet::Value::text("Call notes")}}); });
    struct Case {
        int row, col;
        int32_t id;
        ui::Color fore, back;
        std::string b, n;
    };
    const Case cases[] = {
        {1, 3, 1, kMagenta, kNotExported, "*", "Homepage mockups"}, {4, 6, 6, kMagenta, kBack, "*", kLongNote},
        {3, 6, 9, kGreen, kNotExported, "*", ""},                   {2, 15, 5, kBlue, kNotExported, "", "Call notes"},
        {6, 18, 7, kText, kBack, "", ""},                          {2, 9, 3, kText, kNotExported, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("activity " + std::to_string(c.id));
        grid().setColorsAt(c.row, c.col, 0x123456, 0x654321);
        grid().setTextMatrix(c.row, c.col + 1, "?");
        grid().setTextMatrix(c.row, c.col + 2, "?");
        platform.answers = {ui::Answer::No};  // edited while it stays exported
        click(c.row, c.col);
        enter();
        EXPECT_EQ(w().id(c.col, c.row), c.id);
        EXPECT_EQ(colors(c.row, c.col), std::make_pair(c.fore, c.back));
        EXPECT_EQ(cell(c.row, c.col + 1), c.b);
        EXPECT_EQ(cell(c.row, c.col + 2), c.n);
        EXPECT_EQ(inFile().at(c.id).at("CreateTime"), kNow);
    }
    // A new duration before any reference is chosen; changed, then emptied: the record
    // follows, then goes, and the cell's colours with it; B and N keep their text.
    entry(14, 3, "01:00");
    const int32_t id = w().id(3, 14);
    ASSERT_GT(id, 16);
    expectFields(inFile().at(id), {{"CustJob ID", "0"}, {"Service ID", "0"}, {"Class ID", "0"}, {"Name ID", "200"},
                                   {"Payroll Item ID", "2"}, {"Billable Status", "True"}, {"Duration", dur(1, 0)},
                                   {"UserDate", dateValue(QDate(2026, 11, 30))}});
    EXPECT_EQ(colors(14, 3), std::make_pair(kGreen, kNotExported));
    EXPECT_EQ(cell(14, 4), "*");
    entry(14, 3, "02:45");
    EXPECT_EQ(w().id(3, 14), id);
    EXPECT_EQ(inFile().at(id).at("Duration"), dur(2, 45));
    entry(14, 3, "");
    EXPECT_EQ(w().id(3, 14), 0);
    EXPECT_EQ(inFile().count(id), 0u);
    EXPECT_EQ(colors(14, 3), std::make_pair(kText, kBack));
    EXPECT_EQ(cell(14, 4), "*");
    EXPECT_EQ(messages(), std::vector<std::string>(2, kExportedQuestion));
}

// A cell write the file refuses is reported, and the cell's ID still names what the
// file holds: nothing for a new cell, the record kept for an emptied one.
TEST_F(SaveTest, ACellWriteTheFileRefusesIsReported) {
    open();
    const Records before = inFile();
    RefusedWrites refused(timerPath);
    for (auto [r, c, text, id] : {std::tuple{1, 15, "01:15", 0}, {2, 12, "", 4}, {1, 9, "02:00", 2}}) {
        SCOPED_TRACE(r * 100 + c);
        platform.messages.clear();
        platform.answers = {ui::Answer::No};
        entry(r, c, text);
        expectRefusedWrite();
        EXPECT_EQ(platform.messages.size(), c == 9 ? 2u : 1u);  // after the exported question
        EXPECT_EQ(w().id(c, r), id);
    }
    EXPECT_EQ(inFile(), before);
}

}  // namespace
