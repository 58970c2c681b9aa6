// Saved queries written by the engine and SQL statements that change rows, on copies of the Access-made and Timer files: what is
// written must read back as the same query, evaluate to the same rows and leave the file sound.
#include <gtest/gtest.h>
#include <functional>
#include <map>
#include <set>
#include "jet/error.h"
#include "jet/query.h"
#include "test_util.h"

using namespace jet;
using testutil::errorCode;
using testutil::kRecentSql;
using testutil::kWeekSql;
using testutil::problems;
using testutil::runJetdb;
using testutil::Scratch;
using testutil::slurp;

namespace {
const char* kWeekName = "Hourgrid Activities By Date Range and Name ID";
const char* kRecentName = "Hourgrid Recent Activities By Num Days";

constexpr double kMonday = 46356;  // 11/30/2026

EvalOptions fixedNow(double now = 46362.5) { return EvalOptions{.now = [now] { return now; }}; }

std::string rowsText(const ResultSet& rs) {
    std::string s;
    for (const auto& c : rs.columns) s += c.name + "|";
    s += "\n";
    for (const auto& r : rs.rows) {
        for (const auto& v : r) s += toDebugString(v) + "|";
        s += "\n";
    }
    return s;
}

std::string problemsOf(const std::string& path) { return problems(*Database::open(path)); }
}  // namespace

TEST(SavedQueryWrite, ProgramQueriesReadBackAndEvaluate) {
    Scratch dir;
    const std::string path = dir.copy("timer/sample.tdb");
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        db->createQuery(kWeekName, kWeekSql);
        db->createQuery(kRecentName, kRecentSql);
    }
    EXPECT_EQ(problemsOf(path), "");
    auto db = Database::open(path);
    for (auto [name, sql] : {std::pair{kWeekName, kWeekSql}, std::pair{kRecentName, kRecentSql}}) {
        ASSERT_TRUE(db->hasQuery(name));
        auto saved = db->query(name);
        EXPECT_EQ(renderSql(*saved), renderSql(*parseSql(sql))) << name;
    }
    const Params week{{"PStartDate", Value::date(kMonday)}, {"PEndDate", Value::date(kMonday + 6)}, {"PNameID", Value::int32(200)}},
        recent{{"PNumDays", Value::int16(30)}, {"PNameID", Value::int32(200)}};
    for (auto [name, sql, params, rows] :
         {std::tuple{kWeekName, kWeekSql, week, 9u}, std::tuple{kRecentName, kRecentSql, recent, 7u}}) {
        ResultSet saved = runNamed(*db, name, params, fixedNow());
        EXPECT_EQ(saved.rows.size(), rows);
        EXPECT_EQ(rowsText(saved), rowsText(runQuery(*db, *parseSql(sql), params, fixedNow())));
    }
}

TEST(SavedQueryWrite, StoredRowsFollowAccessLayout) {
    Scratch dir;
    const std::string path = dir.copy("timer/sample.tdb");
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        db->createQuery(kWeekName, kWeekSql);
    }
    auto db = Database::open(path);
    int32_t id = 0, highestBefore = INT32_MIN;
    for (const auto& e : db->catalog()) {
        if (e.name == kWeekName) {
            id = e.id;
            EXPECT_EQ(e.type, 5);
            EXPECT_EQ(e.flags, 0u);
            EXPECT_EQ(e.parentId, 0x0F000001);
        } else if (e.id < 0) {
            highestBefore = std::max(highestBefore, e.id);
        }
    }
    EXPECT_EQ(id, highestBefore + 1);
    auto t = db->table("MSysQueries");
    const int cObj = t->columnIndex("ObjectId"), cAttr = t->columnIndex("Attribute"), cOrder = t->columnIndex("Order"),
              cName1 = t->columnIndex("Name1"), cFlag = t->columnIndex("Flag");
    std::map<int, std::vector<std::vector<uint8_t>>> orders;
    std::map<int, std::vector<Row>> byAttr;
    for (auto cur = t->scan(); cur.next();) {
        const Row& r = cur.row();
        if (r[cObj].asInt32() != id) continue;
        int attr = r[cAttr].asByte();
        orders[attr].push_back(r[cOrder].asBinary());
        byAttr[attr].push_back(r);
    }
    // One start and one end row; every kind numbered 1, 2, … as 4 big-endian bytes.
    std::string counts;
    for (const auto& [attr, list] : orders) {
        counts += std::to_string(attr) + ":" + std::to_string(list.size()) + " ";
        for (size_t i = 0; i < list.size(); ++i)
            EXPECT_EQ(list[i], (std::vector<uint8_t>{0, 0, 0, static_cast<uint8_t>(i + 1)})) << "attribute " << attr;
    }
    EXPECT_EQ(counts, "0:1 1:1 2:2 3:1 5:1 6:19 8:1 11:4 255:1 ");
    // Select, DISTINCTROW, the first parameter's name and type (DateTime).
    EXPECT_EQ(std::tuple(byAttr[1][0][cFlag].asInt16(), byAttr[3][0][cFlag].asInt16(), byAttr[2][0][cName1].asText(),
                         byAttr[2][0][cFlag].asInt16()),
              std::tuple(int16_t{1}, int16_t{0x08}, std::string("PStartDate"), int16_t{8}));
}

// Every kind of query Access saved in the reference files, saved again under a new
// name from its SQL, reads back as the same query.
TEST(SavedQueryWrite, AccessQueriesOfEveryKindRoundTrip) {
    for (const char* rel : {"jet4/queryTestV2000.mdb", "jet4/queryTestV2003.mdb", "jet3/queryTestV1997.mdb"}) {
        SCOPED_TRACE(rel);
        Scratch dir;
        const std::string path = dir.copy(rel);
        std::vector<std::pair<std::string, std::string>> originals;
        {
            auto db = Database::open(path, OpenMode::Exclusive);
            for (const auto& name : db->queryNames()) originals.emplace_back(name, renderSql(*db->query(name)));
            ASSERT_GE(originals.size(), 9u);
            for (const auto& [name, sql] : originals) db->createQuery(name + " Copy", sql);
        }
        EXPECT_EQ(problemsOf(path), "");
        auto db = Database::open(path);
        for (const auto& [name, sql] : originals) EXPECT_EQ(renderSql(*db->query(name + " Copy")), sql) << name;
        // Flags and permissions as Access gave the original.
        auto entry = [&](const std::string& n) {
            for (const auto& e : db->catalog())
                if (e.name == n) return e;
            throw std::runtime_error("no catalog entry " + n);
        };
        auto permissions = [&](const std::string& n) {
            std::multiset<std::string> out;
            for (const auto& [id, r] : testutil::rowsOf(*db, "MSysACEs"))
                if (r[0].asInt32() == entry(n).id) out.insert(toDebugString(r[1]) + "/" + toDebugString(r[2]) + "/" + toDebugString(r[3]));
            return out;
        };
        for (const auto& [name, sql] : originals) {
            // SQL text cannot say that a query is passed through to a server: its copy is kept as SQL.
            if (db->query(name)->type != QueryModel::Type::PassThrough) {
                EXPECT_EQ(entry(name + " Copy").flags, entry(name).flags) << name;
            }
            EXPECT_EQ(permissions(name + " Copy"), permissions(name)) << name;
            EXPECT_EQ(permissions(name).size(), 3u) << name;
        }
    }
}

TEST(SavedQueryWrite, DuplicateMissingAndReadOnly) {
    Scratch dir;
    const std::string path = dir.copy("timer/sample.tdb");
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        EXPECT_EQ(errorCode([&] { db->createQuery("all activities", "SELECT * FROM Names"); }), Error::Code::Duplicate);
        EXPECT_EQ(errorCode([&] { db->createQuery("Names", "SELECT * FROM Names"); }), Error::Code::Duplicate);
        EXPECT_EQ(errorCode([&] { db->dropQuery("No Such Query"); }), Error::Code::NotFound);
        EXPECT_EQ(errorCode([&] { db->createQuery("Broken", "SELECT FROM WHERE"); }), Error::Code::Query);
        EXPECT_FALSE(db->hasQuery("Broken"));
    }
    auto ro = Database::open(path);
    EXPECT_EQ(errorCode([&] { ro->createQuery("New", "SELECT * FROM Names"); }), Error::Code::ReadOnly);
    EXPECT_EQ(errorCode([&] { ro->dropQuery("All Activities"); }), Error::Code::ReadOnly);
}

// What the program does at every open: drop both queries and create them again.
// Dropping takes every row of a query away, and the file stops growing.
TEST(SavedQueryWrite, RepeatedDropAndCreateKeepsTheFileSize) {
    Scratch dir;
    const std::string path = dir.copy("timer/sample.tdb");
    uintmax_t sizeAfter10 = 0;
    size_t queryRows = 0, aces = 0;
    for (int cycle = 1; cycle <= 200; ++cycle) {
        auto db = Database::open(path, OpenMode::Exclusive);
        if (cycle == 1) {
            queryRows = db->table("MSysQueries")->rowCount();
            aces = db->table("MSysACEs")->rowCount();
        }
        db->beginTransaction();
        if (db->hasQuery(kWeekName)) db->dropQuery(kWeekName);
        if (db->hasQuery(kRecentName)) db->dropQuery(kRecentName);
        db->createQuery(kWeekName, kWeekSql);
        db->createQuery(kRecentName, kRecentSql);
        db->commitTransaction();
        if (cycle == 10) sizeAfter10 = std::filesystem::file_size(path);
    }
    EXPECT_LE(std::filesystem::file_size(path), sizeAfter10);
    {
        auto db = Database::open(path);
        const auto names = db->queryNames();
        EXPECT_EQ(std::count(names.begin(), names.end(), kWeekName), 1);
        EXPECT_EQ(std::count(names.begin(), names.end(), kRecentName), 1);
        EXPECT_EQ(renderSql(*db->query(kWeekName)), renderSql(*parseSql(kWeekSql)));
        EXPECT_EQ(problems(*db), "");
    }
    auto db = Database::open(path, OpenMode::Exclusive);
    db->dropQuery(kWeekName);
    db->dropQuery(kRecentName);
    EXPECT_FALSE(db->hasQuery(kWeekName));
    EXPECT_EQ(db->table("MSysQueries")->rowCount(), queryRows);
    EXPECT_EQ(db->table("MSysACEs")->rowCount(), aces);
    // The file's own queries are untouched, and go as well.
    EXPECT_EQ(runNamed(*db, "Customer:Jobs").rows.size(), 11u);
    db->dropQuery("All Activities");
    EXPECT_FALSE(db->hasQuery("All Activities"));
    EXPECT_EQ(problems(*db), "");
}

TEST(SqlWrite, InsertUpdateDeleteActivities) {
    Scratch dir;
    const std::string path = dir.copy("timer/sample.tdb");
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        ExecResult ins = execSql(*db,
                                 "INSERT INTO Activities ([Name ID], [CustJob ID], [Service ID], [Class ID], UserDate, Duration, "
                                 "[Billable Status], Note) VALUES (200, 109, 11, 3, #12/8/2026#, #1:30:00#, True, [PNote])",
                                 {{"PNote", Value::text("From SQL")}});
        EXPECT_EQ(ins.rowsAffected, 1);
        ASSERT_TRUE(ins.newAutonumber.has_value());
        EXPECT_EQ(*ins.newAutonumber, 17);
        ExecResult up = execSql(*db, "UPDATE Activities SET Note = Note & ' (edited)', Duration = Duration + #0:15:00# "
                                     "WHERE ID = 17");
        EXPECT_EQ(up.rowsAffected, 1);
        EXPECT_FALSE(up.newAutonumber);
        ResultSet rs = runQuery(*db, *parseSql("SELECT Note, Duration FROM Activities WHERE ID=17"));
        ASSERT_EQ(rs.rows.size(), 1u);
        EXPECT_EQ(rs.rows[0][0].asText(), "From SQL (edited)");
        EXPECT_NEAR(rs.rows[0][1].asDate().days, 1.75 / 24, 1e-9);
        // Rows matched by a condition over their old values, all in one statement.
        const Params week{{"S", Value::date(kMonday)}, {"E", Value::date(kMonday + 6)}};
        EXPECT_EQ(execSql(*db, "UPDATE Activities SET Exported = True WHERE [Name ID] = 200 AND UserDate BETWEEN [S] AND [E]", week)
                      .rowsAffected, 9);
        EXPECT_EQ(runQuery(*db, *parseSql("SELECT ID FROM Activities WHERE Exported = False")).rows.size(), 4u);
        EXPECT_EQ(execSql(*db, "DELETE FROM Activities WHERE [Name ID] <> 200").rowsAffected, 2);
        EXPECT_EQ(execSql(*db, "DELETE * FROM Activities WHERE ID = 999").rowsAffected, 0);
        EXPECT_EQ(db->table("Activities")->rowCount(), 15u);
    }
    EXPECT_EQ(problemsOf(path), "");
}

TEST(SqlWrite, FailuresChangeNothing) {
    Scratch dir;
    const std::string path = dir.copy("timer/sample.tdb");
    const auto before = slurp(path);
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        // The primary key refuses the second employee after the first was written: both stay.
        EXPECT_EQ(errorCode([&] { execSql(*db, "UPDATE Names SET ID = 999 WHERE Type = 2"); }), Error::Code::Duplicate);
        EXPECT_EQ(runQuery(*db, *parseSql("SELECT ID FROM Names WHERE ID = 999")).rows.size(), 0u);
        EXPECT_EQ(errorCode([&] { execSql(*db, "UPDATE Activities SET Nope = 1"); }), Error::Code::Query);
        EXPECT_EQ(errorCode([&] { execSql(*db, "DELETE FROM Activities WHERE ID = [Missing]"); }), Error::Code::Query);
        EXPECT_EQ(errorCode([&] { execSql(*db, "SELECT * FROM Activities"); }), Error::Code::Query);
        // A column name in VALUES is a parameter like any other unknown name.
        EXPECT_EQ(errorCode([&] { execSql(*db, "INSERT INTO Classes (ID, Name) VALUES (ID + 1, 'x')"); }),
                  Error::Code::Query);
        EXPECT_EQ(errorCode([&] { execSql(*db, "DELETE FROM NoTable"); }), Error::Code::NotFound);
        EXPECT_EQ(runQuery(*db, *parseSql("SELECT ID FROM Activities WHERE ID IN (1,2,3)")).rows.size(), 3u);
    }
    EXPECT_EQ(slurp(path), before);
    auto ro = Database::open(path);
    EXPECT_EQ(errorCode([&] { execSql(*ro, "DELETE FROM Activities"); }), Error::Code::ReadOnly);
}

TEST(SqlWrite, JetdbCommands) {
    Scratch dir;
    const std::string path = dir.copy("timer/sample.tdb");
    // Each command: its exit status, its output, and a part of its error text.
    const struct {
        std::vector<std::string> args;
        int status;
        const char *out, *err;
    } steps[] = {
        {{"createquery", path, "Billable Week",
          "SELECT ID, Duration FROM Activities WHERE [Billable Status] AND UserDate >= [From] ORDER BY ID DESC"}, 0, "", ""},
        {{"showquery", path, "Billable Week"}, 0,
         "SELECT ID, Duration\nFROM Activities\nWHERE [Billable Status] And UserDate>=[From]\nORDER BY ID DESC;\n", ""},
        {{"createquery", path, "billable week", "SELECT ID FROM Activities"}, 2, "", "already exists"},
        // Classes.ID is no AutoNumber.
        {{"exec", path, "INSERT INTO Classes (ID, Name) VALUES ([I], 'Travel')", "I=50"}, 0, "rows affected: 1\n", ""},
        {{"exec", path, "INSERT INTO Activities ([Name ID], UserDate) VALUES (200, #2026-12-08#)"}, 0,
         "rows affected: 1\nnew autonumber: 17\n", ""},
        {{"exec", path, "UPDATE Activities SET Exported = True WHERE UserDate >= [From]", "From=2026-12-01"}, 0,
         "rows affected: 11\n", ""},
        {{"exec", path, "SELECT * FROM Activities"}, 2, "", ""},
        {{"dropquery", path, "Billable Week"}, 0, "", ""},
        {{"dropquery", path, "Billable Week"}, 2, "", "Billable Week"},
        {{"check", path}, 0, "ok\n", ""},
    };
    for (const auto& s : steps) {
        const auto r = runJetdb(s.args);
        EXPECT_EQ(r.status, s.status) << s.args[0] << ": " << r.err;
        if (s.status == 0) { EXPECT_EQ(r.out, s.out) << s.args[0]; }
        EXPECT_NE(r.err.find(s.err), std::string::npos) << r.err;
    }
}

// Column and table rules kept as properties refuse a row with their own message and leave the file as it was.
TEST(SqlWrite, ColumnRulesRefuseRows) {
    const struct { const char *file, *sql, *message; } cases[] = {
        {"jet4/queryTestV2000.mdb", "INSERT INTO Table1 (col1, col2) VALUES ('', 'b')", "col1' cannot be a zero-length"},
        {"jet4/fixedTextTestV2000.mdb", "INSERT INTO users (i_user_id) VALUES (99)", "Required property"},
        {"jet4/fixedTextTestV2000.mdb", "UPDATE users SET c_user_login = Null", "Required property"},
        {"jet4/rulesTestV2000.mdb", "INSERT INTO Table1 (col1, col2) VALUES ('a', 'a')", "col1 and col2 must differ"},
        {"jet4/rulesTestV2000.mdb", "INSERT INTO Table1 (col1, col2, col3) VALUES ('a', 'b', 'abcd')",
         "col3 is at most three letters"},
        {"jet4/rulesTestV2000.mdb", "INSERT INTO Table1 (col1, col2) VALUES ('BAD', 'b')", "validation rule <> 'bad'"},
        {"jet4/rulesTestV2000.mdb", "INSERT INTO Table1 (col1, col3) VALUES ('a', 'b')", "col2' cannot contain a Null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        Scratch dir;
        const std::string path = dir.copy(c.file);
        const auto before = slurp(path);
        {
            auto db = Database::open(path, OpenMode::Exclusive);
            std::string msg;
            errorCode([&] { execSql(*db, c.sql); }, &msg);
            EXPECT_NE(msg.find(c.message), std::string::npos) << msg;
        }
        EXPECT_EQ(slurp(path), before);
    }
    Scratch dir;
    const std::string path = dir.copy("jet4/rulesTestV2000.mdb");
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        EXPECT_EQ(execSql(*db, "INSERT INTO Table1 (col1, col2, col3) VALUES ('a', 'b', 'abc')").rowsAffected, 1);
        EXPECT_EQ(execSql(*db, "INSERT INTO Table1 (col1, col2) VALUES ('c', 'b')").rowsAffected, 1);
        EXPECT_THROW(execSql(*db, "UPDATE Table1 SET col2 = 'c' WHERE col1 = 'c'"), Error);
    }
    EXPECT_EQ(problemsOf(path), "");
}

// A compound unique key with a Null part equals no other key, as in Access; whole keys stay unique.
TEST(SqlWrite, UniqueKeyWithNullPart) {
    Scratch dir;
    const std::string path = dir.copy("jet4/testIndexPropertiesV2003.mdb");
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        const std::string insert = "INSERT INTO TableUnique2_temp ([row], data1, data2) VALUES ";
        for (const char* v : {"('n1', Null, 7)", "('n2', Null, 7)", "('n3', 'x', 7)"}) execSql(*db, insert + v);
        EXPECT_EQ(errorCode([&] { execSql(*db, insert + "('n4', 'x', 7)"); }), Error::Code::Duplicate);
    }
    EXPECT_EQ(problemsOf(path), "");
}

// Number literals keep every digit: 64-bit whole numbers, Decimal and Currency precision.
TEST(SqlWrite, ExactNumberLiterals) {
    Scratch dir;
    const std::string dec = dir.copy("jet4/fixedNumericTestV2000.mdb"), cur = dir.copy("jet4/testV2000.mdb");
    {
        auto db = Database::open(dec, OpenMode::Exclusive);
        execSql(*db, "INSERT INTO test (col2, col3, col4) VALUES (123456789012345678, 999999999999999999, -999999999999999999)");
        auto c = Database::open(cur, OpenMode::Exclusive);
        execSql(*c, "INSERT INTO Table1 (A, E, H) VALUES ('max', 2147483647, 922337203685477.5807)");
        execSql(*c, "INSERT INTO Table1 (A, H) VALUES ('min', -922337203685477.5807)");
    }
    auto db = Database::open(dec);
    ResultSet rs = runQuery(*db, *parseSql("SELECT col2, col3, col4, 3000000000 FROM test WHERE col2 > 2147483648"));
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rowsText(rs).substr(rowsText(rs).find('\n') + 1),
              "123456789012345678|999999999999999999|-999999999999999999|3000000000|\n");
    auto c = Database::open(cur);
    rs = runQuery(*c, *parseSql("SELECT H FROM Table1 WHERE A IN ('max', 'min') ORDER BY A"));
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(rs.rows[0][0].asCurrency().scaled, INT64_MAX);
    EXPECT_EQ(rs.rows[1][0].asCurrency().scaled, -INT64_MAX);
    EXPECT_EQ(problemsOf(dec), "");
    EXPECT_EQ(problemsOf(cur), "");
}
