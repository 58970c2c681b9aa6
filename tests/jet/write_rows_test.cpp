// Inserting, updating and deleting rows in copies of Access-made files, read back
// with the engine, the integrity check and the independent readers.
#include <gtest/gtest.h>
#include <map>
#include "jet/error.h"
#include "test_util.h"

using namespace jet;
using testutil::fields;
using testutil::oracleDisagreement;
using testutil::problems;
using testutil::rowsOf;
using testutil::Scratch;

namespace {
std::string memoText(size_t n, char seed) {
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 :/-&.,()";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += alphabet[(i * 7 + static_cast<size_t>(seed)) % alphabet.size()];
    return s;
}

Value longB(int i) { return Value::text(std::string(90, static_cast<char>('a' + i % 26))); }

uint64_t fileSize(const std::string& p) { return std::filesystem::file_size(p); }

// The file passes the integrity check, and the independent readers agree with the engine on the table.
void expectSound(const std::string& path, const std::string& table) {
    EXPECT_EQ(problems(*Database::open(path)), "") << table;
    EXPECT_EQ(oracleDisagreement(path, table), "");
}

// Table1 of testV1997/testV2000: Text A, B, Byte C, Integer D, Long E, Double F, Date G, Currency H, Yes/No I.
void insertEveryKind(const std::string& rel, const std::string& text) {
    Scratch s;
    const std::string path = s.copy(rel);
    const Row want{Value::text(text), Value::text("second, (column) & 1/2"), Value::byte(200), Value::int16(-1234),
                   Value::int32(2000000001), Value::dbl(3.25), Value::date(46356.75), Value::currency(Currency{123456789}),
                   Value::boolean(true)};
    RowId id;
    uint32_t rowsBefore;
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        rowsBefore = db->table("Table1")->rowCount();
        Row stored;
        // Long into the Byte and Integer columns, a Double into the date column.
        id = db->insertRow("Table1",
                           {{0, want[0]}, {1, want[1]}, {2, Value::int32(200)}, {3, Value::int32(-1234)}, {4, want[4]},
                            {5, want[5]}, {6, Value::dbl(46356.75)}, {7, want[7]}, {8, want[8]}},
                           &stored);
        EXPECT_EQ(stored, want);
    }
    auto db = Database::open(path);
    auto t = db->table("Table1");
    EXPECT_EQ(t->rowCount(), rowsBefore + 1);
    EXPECT_EQ(t->readRow(id), want);
    EXPECT_EQ(rowsOf(*db, "Table1").size(), rowsBefore + 1);
    expectSound(path, "Table1");
}

TEST(WriteRows, InsertEveryFixedAndTextKind) {
    insertEveryKind("jet4/testV2000.mdb", "Zoë's entry: 12/04 - 17:05");
    insertEveryKind("jet4/testV2000.mdb", "Ünïcödé ключ 名前");  // not compressible
    insertEveryKind("jet3/testV1997.mdb", "Café € 12/04 - 17:05");
}

TEST(WriteRows, RefusedValuesChangeNothing) {
    for (const char* rel : {"jet4/testV2000.mdb", "jet3/testV1997.mdb"}) {
        SCOPED_TRACE(rel);
        Scratch s;
        const std::string path = s.copy(rel);
        const auto bytes = testutil::slurp(path);
        {
            auto db = Database::open(path, OpenMode::Exclusive);
            auto t = db->table("Table1");
            const auto before = rowsOf(*db, "Table1");
            auto expectRefused = [&](std::vector<std::pair<std::string, Value>> kv, const std::string& column) {
                std::string msg;
                testutil::errorCode([&] { db->insertRow("Table1", fields(*t, std::move(kv))); }, &msg);
                EXPECT_NE(msg.find(column), std::string::npos) << msg;
            };
            expectRefused({{"C", Value::int32(256)}}, "'C'");
            expectRefused({{"D", Value::int32(40000)}}, "'D'");
            expectRefused({{"E", Value::text("12")}}, "'E'");
            expectRefused({{"A", Value::text(std::string(51, 'x'))}}, "'A'");
            expectRefused({{"G", Value::dbl(1e9)}}, "'G'");
            expectRefused({{"H", Value::dbl(1e300)}}, "'H'");
            expectRefused({{"A", Value::text("ok")}, {"F", Value::text("3.5")}}, "'F'");
            if (db->format().version == Version::Jet3) expectRefused({{"A", Value::text("日本")}}, "'A'");
            ASSERT_THROW(db->insertRow("Table1", {FieldValue{99, Value::int32(1)}}), Error);
            ASSERT_THROW(db->updateRow("Table1", before.front().first, fields(*t, {{"C", Value::int32(-1)}})), Error);
            ASSERT_THROW(db->deleteRow("Table1", RowId{before.front().first.page, 200}), Error);
            EXPECT_EQ(rowsOf(*db, "Table1"), before);
        }
        EXPECT_EQ(testutil::slurp(path), bytes);
        EXPECT_THROW(Database::open(path)->insertRow("Table1", {}), Error);  // read-only open
    }
}

// MSP_PROJECTS of test2 has many Memo columns: inline, single-page and chained long values.
void memoRoundTrip(const std::string& rel) {
    Scratch s;
    const std::string path = s.copy(rel);
    const std::vector<size_t> sizes = {0, 10, 64, 65, 1000, 2100, 4100, 8000, 20000};
    std::vector<std::pair<RowId, std::string>> written;
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        auto t = db->table("MSP_PROJECTS");
        int id = 1000;
        for (size_t n : sizes) {
            std::string text = memoText(n, static_cast<char>(n % 50));
            RowId r = db->insertRow(
                "MSP_PROJECTS", fields(*t, {{"PROJ_ID", Value::int32(id++)}, {"PROJ_NAME", Value::text("memo " + std::to_string(n))},
                                            {"PROJ_PROP_AUTHOR", Value::text(text)}, {"PROJ_PROP_TITLE", Value::text(text + "!")},
                                            {"PROJ_PROP_SUBJECT", Value::text(memoText(60, 'q'))},
                                            {"PROJ_PROP_KEYWORDS", Value::text(memoText(n % 64, 'k'))},
                                            {"PROJ_PROJECT", Value::text(memoText(200, 'p'))}}));
            written.emplace_back(r, text);
        }
    }
    {
        auto db = Database::open(path);
        auto t = db->table("MSP_PROJECTS");
        for (auto& [r, text] : written) {
            const Row row = t->readRow(r).value();
            auto col = [&](const char* c) { return row[t->columnIndex(c)]; };
            EXPECT_EQ((Row{col("PROJ_PROP_AUTHOR"), col("PROJ_PROP_TITLE"), col("PROJ_PROP_KEYWORDS"), col("PROJ_PROJECT")}),
                      (Row{Value::text(text), Value::text(text + "!"), Value::text(memoText(text.size() % 64, 'k')),
                           Value::text(memoText(200, 'p'))})) << text.size();
        }
    }
    expectSound(path, "MSP_PROJECTS");
    // Replacing and deleting the long values frees their pages for reuse: the file stops growing.
    uint64_t sizeAfterFirstRound = 0;
    for (int round = 0; round < 3; ++round) {
        auto db = Database::open(path, OpenMode::Exclusive);
        auto t = db->table("MSP_PROJECTS");
        for (auto& [r, text] : written) {
            text = memoText(text.size() + 3, static_cast<char>(round + 1));
            db->updateRow("MSP_PROJECTS", r, fields(*t, {{"PROJ_PROP_AUTHOR", Value::text(text)}}));
        }
        if (round == 0) sizeAfterFirstRound = fileSize(path);
    }
    EXPECT_LE(fileSize(path), sizeAfterFirstRound + 8 * 4096);
    {
        auto db = Database::open(path);
        auto t = db->table("MSP_PROJECTS");
        for (auto& [r, text] : written)
            EXPECT_EQ((*t->readRow(r))[t->columnIndex("PROJ_PROP_AUTHOR")], Value::text(text));
        EXPECT_EQ(problems(*db), "");
    }
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        for (auto& [r, text] : written) db->deleteRow("MSP_PROJECTS", r);
        auto t = db->table("MSP_PROJECTS");
        for (auto& [r, text] : written) EXPECT_FALSE(t->readRow(r));
    }
    expectSound(path, "MSP_PROJECTS");
}

TEST(WriteRows, MemoLengthsFromInlineToChains) {
    memoRoundTrip("jet4/test2V2000.mdb");
    memoRoundTrip("jet3/test2V1997.mdb");
}

// Growing rows until they leave their page: the row keeps its id through an overflow pointer.
void overflowUpdates(const std::string& rel) {
    Scratch s;
    const std::string path = s.copy(rel);
    std::vector<RowId> ids;
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        auto t = db->table("Table1");
        db->beginTransaction();
        for (int i = 0; i < 60; ++i)
            ids.push_back(db->insertRow("Table1", fields(*t, {{"A", Value::text("row " + std::to_string(i))}, {"E", Value::int32(i)},
                                                              {"I", Value::boolean(i % 2 == 0)}})));
        db->commitTransaction();
        for (int i = 0; i < 60; ++i)
            db->updateRow("Table1", ids[i], fields(*t, {{"B", longB(i)}}));
    }
    {
        auto db = Database::open(path);
        auto t = db->table("Table1");
        for (int i = 0; i < 60; ++i) {
            const Row row = t->readRow(ids[i]).value();
            EXPECT_EQ((Row{row[0], row[1], row[4], row[8]}),
                      (Row{Value::text("row " + std::to_string(i)), longB(i), Value::int32(i), Value::boolean(i % 2 == 0)}));
        }
    }
    expectSound(path, "Table1");
    // The same update again changes nothing and shrinking moves rows back home.
    const uint64_t size = fileSize(path);
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        auto t = db->table("Table1");
        for (int rep = 0; rep < 3; ++rep)
            for (int i = 0; i < 60; ++i)
                db->updateRow("Table1", ids[i], fields(*t, {{"B", longB(i)}}));
        for (int i = 0; i < 60; i += 2) db->updateRow("Table1", ids[i], fields(*t, {{"B", Value()}}));
        for (int i = 1; i < 60; i += 4) db->deleteRow("Table1", ids[i]);
    }
    EXPECT_EQ(fileSize(path), size);
    auto db = Database::open(path);
    auto t = db->table("Table1");
    for (int i = 0; i < 60; ++i) {
        auto row = t->readRow(ids[i]);
        // Every fourth row from the second is gone; of the others the even ones lost their B.
        EXPECT_EQ(row ? std::optional((*row)[1]) : std::nullopt, i % 4 == 1 ? std::nullopt : std::optional(i % 2 ? longB(i) : Value()))
            << i;
    }
    expectSound(path, "Table1");
}

TEST(WriteRows, UpdatesThatOutgrowThePage) {
    overflowUpdates("jet4/testV2000.mdb");
    overflowUpdates("jet3/testV1997.mdb");
}

TEST(WriteRows, ReplicationIdsAreGenerated) {
    Scratch s;
    const std::string path = s.copy("jet4/testV2000.mdb");
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        auto t = db->table("Table4");
        Row stored;
        db->insertRow("Table4", fields(*t, {{"name", Value::text("generated")}}), &stored);
        Guid g;
        g.bytes[0] = 0x42;
        db->insertRow("Table4", fields(*t, {{"name", Value::text("given")}, {"data", Value::guid(g)}}));
        ASSERT_TRUE(stored[t->columnIndex("data")].kind() == Value::Kind::Guid);
    }
    expectSound(path, "Table4");
}

// Fixed-width text, and numbers converted into Decimal columns (scale 0: rounded to even).
TEST(WriteRows, FixedWidthTextAndDecimals) {
    auto dec = [](int64_t v) { return Value::decimal(Decimal{v, 18, 0}); };
    using Values = std::vector<std::pair<std::string, Value>>;
    const struct {
        const char* file;
        const char* table;
        Values written, read;
    } cases[] = {
        {"jet4/fixedTextTestV2000.mdb", "users",
         {{"i_user_id", Value::int32(77)}, {"c_user_login", Value::text("login")}, {"c_user_pwd", Value::text("pwd")},
          {"c_user_session", Value::text("")}, {"c_user_name", Value::text("Name (x)")}, {"i_user_flags", Value::int32(1)},
          {"i_user_type", Value::int32(2)}, {"i_user_merch", Value::int32(3)}, {"c_flag_", Value::text("Y")},
          {"d_stamp_", Value::date(46360.5)}},
         {{"c_flag_", Value::text("Y")}, {"c_user_session", Value::text("")}}},
        {"jet4/fixedNumericTestV2000.mdb", "test",
         {{"col1", Value::text("decimals")}, {"col2", dec(123456789012345678)}, {"col3", dec(-42)},
          {"col4", Value::int32(7)}, {"col5", Value::dbl(2.25)}, {"col6", Value::currency(Currency{-123456})}},
         {{"col2", dec(123456789012345678)}, {"col3", dec(-42)}, {"col4", dec(7)}, {"col5", dec(2)}, {"col6", dec(-12)},
          {"col7", Value()}}},
    };
    Scratch s;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = s.copy(c.file);
        RowId id;
        {
            auto db = Database::open(path, OpenMode::Exclusive);
            id = db->insertRow(c.table, fields(*db->table(c.table), c.written));
            if (c.table == std::string("test")) {  // too many digits for the column
                EXPECT_THROW(db->insertRow("test", fields(*db->table("test"), {{"col2", Value::dbl(1e19)}})), Error);
            }
        }
        auto db = Database::open(path);
        auto t = db->table(c.table);
        const Row row = t->readRow(id).value();
        for (const auto& [col, v] : c.read) EXPECT_EQ(row[t->columnIndex(col)], v) << col;
        expectSound(path, c.table);
    }
}

// The Timer's Activities table: AutoNumber, the Note memo, and columns the program never
// sets (Start Time, Rate, Timer Flags) that must keep their values through every write.
TEST(WriteRows, TimerActivitiesKeepUntouchedColumns) {
    Scratch s;
    const std::string path = s.copy("timer/sample.tdb");
    std::vector<std::pair<RowId, Row>> before;
    RowId added;
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        auto t = db->table("Activities");
        const uint32_t last = t->nextAutonumber();
        auto rows = rowsOf(*db, "Activities");
        db->updateRow("Activities", rows[1].first,
                      fields(*t, {{"Start Time", Value::date(46358.5)}, {"Rate", Value::currency(Currency{655000})},
                                  {"Timer Flags", Value::int32(3)}}));
        before = rowsOf(*db, "Activities");
        Row stored;
        added = db->insertRow("Activities",
                              fields(*t, {{"Name ID", Value::int32(200)}, {"CustJob ID", Value::int32(109)},
                                          {"Service ID", Value::int32(11)}, {"Class ID", Value::int32(3)}, {"Payroll Item ID", Value::int32(2)},
                                          {"UserDate", Value::date(46363.0)}, {"CreateTime", Value::date(46363.75)},
                                          {"Duration", Value::date(0.0625)}, {"Billable Status", Value::boolean(true)},
                                          {"Note", Value::text("Call (client) re: 12/09 - draft & notes.")}}),
                              &stored);
        EXPECT_EQ((Row{stored[t->columnIndex("ID")], stored[t->columnIndex("Exported")]}),
                  (Row{Value::int32(static_cast<int32_t>(last + 1)), Value::boolean(false)}));
        EXPECT_EQ(db->table("Activities")->nextAutonumber(), last + 1);
        std::string msg;  // the AutoNumber is the file's to give
        testutil::errorCode([&] { db->updateRow("Activities", added, fields(*t, {{"ID", Value::int32(9999)}})); }, &msg);
        EXPECT_NE(msg.find("AutoNumber column 'ID'"), std::string::npos) << msg;
        // Notes grow past the row, shrink back, and go away; nothing else moves.
        const int note = t->columnIndex("Note");
        for (const std::string& n : {memoText(5000, 'n'), memoText(120, 'm'), std::string("short"), std::string()})
            for (auto& [id, row] : before) db->updateRow("Activities", id, {FieldValue{note, Value::text(n)}});
        for (auto& [id, row] : before) db->updateRow("Activities", id, {FieldValue{note, row[note]}});
    }
    {
        auto db = Database::open(path);
        auto after = rowsOf(*db, "Activities");
        ASSERT_EQ(after.size(), before.size() + 1);
        std::map<RowId, Row> byId(after.begin(), after.end());
        for (auto& [id, row] : before) EXPECT_EQ(byId[id], row);
    }
    expectSound(path, "Activities");
    {
        auto db = Database::open(path, OpenMode::Exclusive);
        db->deleteRow("Activities", added);
        EXPECT_THROW(db->deleteRow("Activities", added), Error);
        EXPECT_EQ(db->table("Activities")->rowCount(), before.size());
    }
    auto db = Database::open(path);
    EXPECT_EQ(problems(*db), "");
    EXPECT_EQ(rowsOf(*db, "Activities"), before);
}

TEST(WriteRows, RoomLeftByDeletesIsTakenByTheNextInserts) {
    Scratch s;
    const std::string path = s.copy("timer/sample.tdb");
    auto db = Database::open(path, OpenMode::Exclusive);
    const int note = db->table("Activities")->columnIndex("Note");
    auto insertBatch = [&](char seed) {
        std::vector<RowId> ids;
        db->beginTransaction();
        for (int i = 0; i < 300; ++i)
            ids.push_back(db->insertRow("Activities", {FieldValue{note, Value::text(memoText(40, seed))}}));
        db->commitTransaction();
        return ids;
    };
    const std::vector<RowId> first = insertBatch('a');
    const size_t pages = db->table("Activities")->dataPages().size();
    db->beginTransaction();
    for (const RowId& id : first) db->deleteRow("Activities", id);
    db->commitTransaction();
    insertBatch('b');
    EXPECT_EQ(db->table("Activities")->dataPages().size(), pages);
    EXPECT_EQ(problems(*db), "");
}
}  // namespace
