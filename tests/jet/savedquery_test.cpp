// Saved queries rebuilt from MSysQueries rows of Access-made files and of the
// Timer files: the SQL they render to, their trees, and how failures read.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "jet/database.h"
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
}

TEST_P(AccessQueryFiles, ModelsCarryEachQueryKindsParts) {
    using T = QueryModel::Type;
    auto db = Database::open(testutil::dataPath(GetParam()));

    auto sel = db->query("selectquery");  // names are case-insensitive
    EXPECT_EQ(sel->type, T::Select);
    EXPECT_TRUE(sel->distinct);
    ASSERT_EQ(sel->from.size(), 1u);
    EXPECT_EQ(testutil::dumpFrom(sel->from[0]),
              "(inner (left [Table1] [Table3] on (= [Table1].[col1] [Table3].[col1])) [Table2] on (And (paren (= "
              "[Table3].[col1] [Table2].[col1])) (paren (= [Table3].[col1] [Table2].[col2]))))");

    auto upd = db->query("UpdateQuery");
    EXPECT_EQ(upd->type, T::Update);
    EXPECT_EQ(upd->target, "Table1");
    ASSERT_EQ(upd->params.size(), 1u);
    EXPECT_EQ(upd->params[0].name, "User Name");
    EXPECT_EQ(upd->params[0].type, "Text");
    ASSERT_EQ(upd->targetColumns.size(), 3u);
    EXPECT_EQ(testutil::dumpExpr(upd->targetColumns[2]), "[Table2].[col1]");
    EXPECT_EQ(testutil::dumpExpr(upd->values[2]), "[User Name]");

    auto app = db->query("AppendQuery");
    EXPECT_EQ(app->type, T::Append);
    EXPECT_EQ(app->target, "Table3");
    EXPECT_EQ(app->columns.size(), 3u);
    EXPECT_EQ(app->targetColumns.size(), 3u);
    EXPECT_TRUE(app->values.empty());

    auto del = db->query("DeleteQuery");
    EXPECT_EQ(del->type, T::Delete);
    EXPECT_EQ(del->target, "Table1");

    auto make = db->query("MakeTableQuery");
    EXPECT_EQ(make->type, T::MakeTable);
    EXPECT_EQ(make->target, "Table4");
    EXPECT_EQ(make->from.at(0)->joinType, FromItem::JoinType::Right);

    auto xt = db->query("CrosstabQuery");
    EXPECT_EQ(xt->type, T::Crosstab);
    EXPECT_EQ(xt->transform.alias, "CountOfcol2");
    EXPECT_EQ(testutil::dumpExpr(xt->pivot), "[Table1].[col1]");
    EXPECT_EQ(xt->columns.size(), 3u);
    EXPECT_EQ(xt->groupBy.size(), 2u);  // the pivot column's grouping is implied by PIVOT

    auto uni = db->query("UnionQuery");
    EXPECT_EQ(uni->type, T::Union);
    EXPECT_TRUE(uni->unionAll);
    ASSERT_EQ(uni->unionParts.size(), 2u);
    EXPECT_EQ(uni->unionParts[0]->type, T::Union);
    EXPECT_FALSE(uni->unionParts[0]->unionAll);
    EXPECT_EQ(uni->unionParts[1]->columns.size(), 2u);

    auto pass = db->query("PassthroughQuery");
    EXPECT_EQ(pass->type, T::PassThrough);
    EXPECT_EQ(pass->connect, "ODBC;");
    EXPECT_EQ(db->query("DataDefinitionQuery")->type, T::DataDefinition);
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
        }
    }
}

TEST(SavedQuery, AllActivitiesJoinsAndColumns) {
    auto db = Database::open(testutil::dataPath("timer/sample.tdb"));
    auto q = db->query("All Activities");
    ASSERT_EQ(q->from.size(), 1u);
    EXPECT_EQ(testutil::dumpFrom(q->from[0]),
              "(left (left (left (left (inner [Activities] [Names] as [Persons] on (= [Activities].[Name ID] "
              "[Persons].[ID])) [Names] as [CustJobs] on (= [Activities].[CustJob ID] [CustJobs].[ID])) [Items] on (= "
              "[Activities].[Service ID] [Items].[ID])) [Classes] on (= [Activities].[Class ID] [Classes].[ID])) "
              "[Payroll Items] on (= [Activities].[Payroll Item ID] [Payroll Items].[ID]))");
    ASSERT_EQ(q->columns.size(), 18u);
    std::vector<std::string> names;
    for (const auto& c : q->columns) names.push_back(c.alias.empty() ? c.expr->name : c.alias);
    EXPECT_EQ(names, (std::vector<std::string>{"UserDate", "Customer/Job", "Service Item", "Service ID", "Duration",
                                               "Billable Status", "Export Status", "Exported", "Class", "Class ID",
                                               "ActivityID", "CustJob ID", "Name", "Name ID", "Payroll Item", "Note",
                                               "Billable Y/N", "CreateTime"}));
    EXPECT_EQ(testutil::dumpExpr(q->columns[5].expr),
              "(call IIf [Activities].[Billable Status] \"Billable\" \"Not Billable\")");
    EXPECT_FALSE(q->where);
    EXPECT_TRUE(q->orderBy.empty());
    // Asking again gives the cached tree.
    EXPECT_EQ(db->query("ALL ACTIVITIES").get(), q.get());
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
    std::ifstream in(testutil::dataPath("timer/sample.tdb"), std::ios::binary);
    std::vector<uint8_t> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
