// Saved queries rebuilt from MSysQueries rows of Access-made files and of the
// Timer files: the SQL they render to, their trees, and how failures read.
#include <gtest/gtest.h>

#include <map>

#include "jet/error.h"
#include "jet/query.h"
#include "test_util.h"

using namespace jet;

namespace {

// The SQL each saved query of the Access query test files means (the same queries in all three files).
const std::map<std::string, std::string>& accessQueries() {
    static const std::map<std::string, std::string> m = {
        {"SelectQuery",
         "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\n"
         "FROM (Table1 LEFT JOIN Table3 ON Table1.col1=Table3.col1) INNER JOIN Table2 ON (Table3.col1=Table2.col1) "
         "And (Table3.col1=Table2.col2)\n"
         "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\n"
         "ORDER BY Table2.col1;"},
        {"UpdateQuery",
         "PARAMETERS [User Name] Text;\n"
         "UPDATE Table1\n"
         "SET Table1.col1 = \"foo\", Table1.col2 = Table2.col3, Table2.col1 = [User Name]\n"
         "WHERE (((Table2.col1) Is Not Null));"},
        {"AppendQuery",
         "INSERT INTO Table3 (col2, col2, col3)\n"
         "SELECT Table1.col2, Table2.col2, Table2.col3\n"
         "FROM Table3, Table1 INNER JOIN Table2 ON Table1.col1=Table2.col1;"},
        {"DeleteQuery",
         "DELETE Table1.col1, Table1.col2, Table1.col3\n"
         "FROM Table1\n"
         "WHERE (((Table1.col1)>\"blah\"));"},
        {"MakeTableQuery",
         "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4\n"
         "FROM (Table2 INNER JOIN Table1 ON Table2.col1=Table1.col2) RIGHT JOIN Table3 ON Table1.col2=Table3.col3\n"
         "GROUP BY Table2.col2, Table3.col2\n"
         "HAVING (((Max(Table2.col1))=\"buzz\") And ((Table2.col2)<>\"blah\"));"},
        {"CrosstabQuery",
         "TRANSFORM Count(Table2.col2) AS CountOfcol2\n"
         "SELECT Table2_1.col1, Table2.col3, Avg(Table2_1.col2) AS AvgOfcol2\n"
         "FROM (Table1 INNER JOIN Table2 ON Table1.col1=Table2.col1) INNER JOIN Table2 AS Table2_1 ON "
         "Table2.col1=Table2_1.col3\n"
         "WHERE (((Table1.col1)>\"10\") And ((Table2_1.col1) Is Not Null) And ((Avg(Table2_1.col2))>\"10\"))\n"
         "GROUP BY Table2_1.col1, Table2.col3\n"
         "ORDER BY Table2.col3\n"
         "PIVOT Table1.col1;"},
        {"UnionQuery",
         "SELECT Table1.col1, Table1.col2\n"
         "WHERE Table1.col1=\"foo\"\n"
         "UNION\n"
         "SELECT Table2.col1, Table2.col2\n"
         "UNION ALL\n"
         "SELECT Table3.col1, Table3.col2\n"
         "WHERE Table3.col3>\"blah\";"},
        {"PassthroughQuery", "ALTER TABLE Table4 DROP COLUMN col5;"},
        {"DataDefinitionQuery", "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);"},
    };
    return m;
}

const std::map<std::string, std::string>& timerQueries() {
    static const std::map<std::string, std::string> m = {
        {"Customer:Jobs",
         "SELECT Names.NameStr, Names.ID AS [Name ID]\nFROM Names\nWHERE ((Names.Type)=1)\nORDER BY Names.NameStr;"},
        {"Service Items", "SELECT Items.Name, Items.ID AS [Item ID]\nFROM Items\nWHERE ((Items.Type)=1);"},
        {"Employees Vendors And Other Names",
         "SELECT Names.NameStr, Names.ID AS [Name ID]\nFROM Names\nWHERE ((Names.Type)<>1)\nORDER BY Names.NameStr;"},
        {"All Activities",
         "SELECT Activities.UserDate, CustJobs.NameStr AS [Customer/Job], Items.Name AS [Service Item], "
         "Activities.[Service ID], Activities.Duration, IIf(Activities.[Billable Status],\"Billable\",\"Not "
         "Billable\") AS [Billable Status], IIf(Activities.Exported,\"Exported\",\"Not Exported\") AS [Export "
         "Status], Activities.Exported, Classes.Name AS Class, Activities.[Class ID], Activities.ID AS ActivityID, "
         "Activities.[CustJob ID], Persons.NameStr AS Name, Activities.[Name ID], [Payroll Items].Name AS [Payroll "
         "Item], Activities.Note, Activities.[Billable Status] AS [Billable Y/N], Activities.CreateTime\n"
         "FROM ((((Activities INNER JOIN Names AS Persons ON Activities.[Name ID]=Persons.ID) LEFT JOIN Names AS "
         "CustJobs ON Activities.[CustJob ID]=CustJobs.ID) LEFT JOIN Items ON Activities.[Service ID]=Items.ID) LEFT "
         "JOIN Classes ON Activities.[Class ID]=Classes.ID) LEFT JOIN [Payroll Items] ON Activities.[Payroll Item "
         "ID]=[Payroll Items].ID;"},
    };
    return m;
}

// The rendered SQL must read back to the tree it came from.
void expectReadsBack(const QueryModel& q) {
    if (q.type == QueryModel::Type::DataDefinition || q.type == QueryModel::Type::PassThrough) return;
    QueryModel saved = q;
    saved.rawSql.clear();  // a union's stored text; parsed SQL has its parts only
    auto back = parseSql(renderSql(q));
    EXPECT_EQ(testutil::dump(*back), testutil::dump(saved)) << q.name;
}

class AccessQueryFiles : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(AccessQueryFiles, EverySavedQueryRendersWhatAccessStored) {
    auto db = Database::open(testutil::dataPath(GetParam()));
    std::vector<std::string> names = db->queryNames();
    EXPECT_EQ(names.size(), accessQueries().size());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        auto it = accessQueries().find(name);
        ASSERT_NE(it, accessQueries().end());
        auto q = db->query(name);
        EXPECT_EQ(q->name, name);
        EXPECT_EQ(renderSql(*q), it->second);
        expectReadsBack(*q);
    }
    // Names are case-insensitive; what SQL text cannot say is kept beside it.
    EXPECT_EQ(db->query("selectquery")->name, "SelectQuery");
    auto pass = db->query("PassthroughQuery");
    EXPECT_EQ(pass->type, QueryModel::Type::PassThrough);
    EXPECT_EQ(pass->connect, "ODBC;");
    EXPECT_EQ(db->query("DataDefinitionQuery")->type, QueryModel::Type::DataDefinition);
}

INSTANTIATE_TEST_SUITE_P(SavedQuery, AccessQueryFiles,
                         ::testing::Values("jet3/queryTestV1997.mdb", "jet4/queryTestV2000.mdb", "jet4/queryTestV2003.mdb"),
                         [](const auto& info) {
                             std::string n = info.param;
                             return n.substr(n.find('/') + 1, n.find('.') - n.find('/') - 1);
                         });

TEST(SavedQuery, TimerQueriesInEveryTimerFile) {
    for (const char* file : {"timer/sample.tdb", "timer/timer-empty-prefs.tdb", "timer/timer-no-names.tdb",
                             "timer/timer-no-services.tdb", "timer/timer-null-default.tdb",
                             "timer/timer-unknown-default.tdb"}) {
        SCOPED_TRACE(file);
        auto db = Database::open(testutil::dataPath(file));
        EXPECT_EQ(db->queryNames().size(), timerQueries().size());
        for (const auto& [name, sql] : timerQueries()) {
            SCOPED_TRACE(name);
            auto q = db->query(name);
            EXPECT_EQ(q->type, QueryModel::Type::Select);
            EXPECT_EQ(renderSql(*q), sql);
            expectReadsBack(*q);
            EXPECT_EQ(db->query(name).get(), q.get()) << "read once, then cached";
        }
    }
}

TEST(SavedQuery, MissingQueriesAndTablesAreNamedInErrors) {
    auto db = Database::open(testutil::dataPath("timer/sample.tdb"));
    try {
        db->query("No Such Query");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::NotFound);
        EXPECT_EQ(std::string(e.what()), "no saved query named 'No Such Query'");
    }
    // A table is not a query.
    EXPECT_THROW(db->query("Activities"), Error);
}

TEST(SavedQuery, DamagedFilesGiveErrorsNotCrashes) {
    const auto original = testutil::slurp(testutil::dataPath("timer/sample.tdb"));
    ASSERT_GT(original.size(), 4096u);
    // Damage the pages holding the MSysQueries rows, where the query definitions are.
    std::vector<uint32_t> pages;
    uint32_t pageSize = 0;
    {
        auto db = Database::openMemory(original.data(), original.size());
        pages = db->table("MSysQueries")->dataPages();
        pageSize = db->header().pageSize;
    }
    ASSERT_FALSE(pages.empty());
    std::mt19937 rng(12345);
    int opened = 0, read = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = original;
        int damaged = 1 + static_cast<int>(rng() % 12);
        for (int k = 0; k < damaged; ++k) {
            size_t at = static_cast<size_t>(pages[rng() % pages.size()]) * pageSize + rng() % pageSize;
            if (at < bytes.size()) bytes[at] = static_cast<uint8_t>(rng());
        }
        try {
            auto db = Database::openMemory(bytes.data(), bytes.size());
            ++opened;
            for (const auto& [name, sql] : timerQueries()) {
                try {
                    renderSql(*db->query(name));
                    ++read;
                } catch (const Error&) {
                }
            }
        } catch (const Error&) {
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(read, 0);
}
