// Reading real Access-made and Timer files: header, catalog, definitions and values, checked against what independent readers
// show for the same files. Damaged and foreign inputs must fail with jet::Error, never with a crash, a hang or another exception.
// The fuzzer's crash inputs are kept in fuzz/regressions/.
#include <gtest/gtest.h>
#include <map>
#include "../../fuzz/read_all.h"
#include "jet/error.h"
#include "test_util.h"

namespace fs = std::filesystem;
using namespace jet;
using testutil::dataPath;
using testutil::openError;

namespace {
std::vector<Row> readAll(const Table& t, std::vector<int> wanted = {}) {
    std::vector<Row> rows;
    for (auto c = t.scan(std::move(wanted)); c.next();) rows.push_back(c.row());
    return rows;
}
}  // namespace

TEST(Reader, EveryTableOfEveryFileReads) {
    for (const auto& rel : testutil::allDataFiles()) {
        SCOPED_TRACE(rel);
        const std::string f = dataPath(rel);
        auto db = Database::open(f);
        const bool jet3 = rel.rfind("jet3/", 0) == 0;
        const auto& h = db->header();
        EXPECT_EQ(std::tuple(h.version, h.pageSize, h.codePage, h.sortOrder, h.pageCount),
                  std::tuple(jet3 ? Version::Jet3 : Version::Jet4, jet3 ? 2048u : 4096u, 1252, 1033,
                             static_cast<decltype(h.pageCount)>(fs::file_size(f) / h.pageSize)));
        ASSERT_FALSE(db->tableNames(false).empty());
        for (const auto& name : db->tableNames(true)) {
            SCOPED_TRACE(name);
            auto t = db->table(name);
            size_t n = 0;
            for (auto c = t->scan(); c.next();) {
                ASSERT_EQ(c.row().size(), t->columns().size());
                if (n++ < 3) { EXPECT_EQ(t->readRow(c.rowId()), c.row()); }  // a row's id reads back as the same row
            }
            // Access keeps the stored count exact for user tables.
            if (!t->isSystem()) { EXPECT_EQ(n, t->rowCount()); }
        }
    }
}

// (The lists of tables and queries are checked through jetdb.)
TEST(Reader, CatalogNamesIgnoreCase) {
    auto db = Database::open(dataPath("timer/sample.tdb"));
    EXPECT_TRUE(db->hasTable("payroll items"));
    EXPECT_FALSE(db->hasTable("Customer:Jobs"));
    EXPECT_TRUE(db->hasQuery("customer:jobs"));
    EXPECT_EQ(db->table("NAMES"), db->table("Names"));  // cached, case-insensitive
    std::string msg;
    EXPECT_EQ(testutil::errorCode([&] { db->table("No Such Table"); }, &msg), Error::Code::NotFound);
    EXPECT_NE(msg.find("No Such Table"), std::string::npos) << msg;
    for (const auto& e : db->catalog()) EXPECT_TRUE(e.isSystem() || e.name.rfind("MSys", 0) != 0) << e.name;
}

TEST(Reader, WantedColumnsOnly) {
    auto db = Database::open(dataPath("timer/sample.tdb"));
    auto acts = db->table("Activities");
    const int id = acts->columnIndex("ID"), note = acts->columnIndex("Note");
    auto full = readAll(*acts);
    auto part = readAll(*acts, {note, id});
    ASSERT_EQ(part.size(), full.size());
    // The others are Null.
    for (size_t i = 0; i < full.size(); ++i) {
        Row want(full[i].size());
        want[id] = full[i][id];
        want[note] = full[i][note];
        EXPECT_EQ(part[i], want);
    }
    auto c = acts->scan();
    ASSERT_TRUE(c.next());
    Row want(c.row().size());
    want[id] = c.row()[id];
    EXPECT_EQ(acts->readRow(c.rowId(), {id}), want);
    // Ids that name no row of this table.
    EXPECT_FALSE(acts->readRow(RowId{c.rowId().page, 250}).has_value());
    EXPECT_FALSE(acts->readRow(RowId{0, 0}).has_value());
    EXPECT_FALSE(acts->readRow(RowId{db->header().pageCount + 5, 0}).has_value());
    EXPECT_FALSE(acts->readRow(RowId{db->table("Names")->dataPages().at(0), 0}).has_value());
}

TEST(Reader, Jet3FixedAndVariableTypes) {
    auto db = Database::open(dataPath("jet3/testV1997.mdb"));
    auto t = db->table("Table1");
    std::vector<std::string> names;
    for (auto& c : t->columns()) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "C", "D", "E", "F", "G", "H", "I"}));
    auto rows = readAll(*t);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (Row{Value::text("abcdefg"), Value::text("hijklmnop"), Value::byte(2), Value::int16(222),
                            Value::int32(333333333), Value::dbl(444.555), Value::date(27293),
                            Value::currency({35000}), Value::boolean(true)}));
    EXPECT_EQ((Row{rows[0][7], rows[0][8]}), (Row{Value::currency({0}), Value::boolean(false)}));
    // A row longer than 256 bytes needs the offset jump table.
    auto db2 = Database::open(dataPath("jet3/test2V1997.mdb"));
    auto p = db2->table("MSP_PROJECTS");
    auto prow = readAll(*p);
    ASSERT_EQ(prow.size(), 1u);
    EXPECT_EQ(prow[0][p->columnIndex("PROJ_NAME")], Value::text("Project1"));
    const auto& author = prow[0][p->columnIndex("PROJ_PROP_AUTHOR")];
    ASSERT_TRUE(author.isText());
    EXPECT_EQ(author.asText().rfind("Jon Iles this is a a vawesrasoih", 0), 0u);
}

TEST(Reader, OverflowRowsAreFollowed) {
    for (const char* f : {"jet3/overflowTestV1997.mdb", "jet4/overflowTestV2000.mdb", "jet4/overflowTestV2003.mdb"}) {
        SCOPED_TRACE(f);
        auto db = Database::open(dataPath(f));
        auto t = db->table("Table1");
        auto rows = readAll(*t);
        ASSERT_EQ(rows.size(), 7u);
        const int c1 = t->columnIndex("data1"), c3 = t->columnIndex("data3"), c9 = t->columnIndex("data9");
        // Rows come in their original positions, whether or not they moved to another page.
        EXPECT_EQ((Row{rows[0][c1], rows[2][c1], rows[2][c3], rows[2][c9], rows[4][c3], rows[6][c1]}),
                  (Row{Value::text("row1col1"), Value(), Value::text("row3col3"), Value::text("row3col9"),
                       Value::text("row5col2"), Value::text("row7col1")}));
    }
}

TEST(Reader, DeletedColumnsLeaveGaps) {
    for (const char* f : {"jet3/delColTestV1997.mdb", "jet4/delColTestV2000.mdb", "jet4/delColTestV2003.mdb"}) {
        SCOPED_TRACE(f);
        auto db = Database::open(dataPath(f));
        auto t = db->table("Table1");
        ASSERT_EQ(t->columns().size(), 4u);
        auto rows = readAll(*t);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows, (std::vector<Row>{{Value::int32(0), Value::int32(2), Value::text("foo"), Value::text("foo2")},
                                          {Value::int32(3), Value::int32(5), Value::text("bar"), Value::text("bar2")}}));
        // The Jet 4 files still carry the numbers of the deleted columns (the Jet 3 one was compacted).
        if (std::string(f).find("jet4") != std::string::npos) {
            std::vector<int> numbers;
            for (const auto& c : t->columns()) numbers.push_back(c.number);
            EXPECT_EQ(numbers, (std::vector<int>{0, 2, 3, 5}));
        }
    }
}

TEST(Reader, DecimalGuidAndUnicode) {
    auto db = Database::open(dataPath("jet4/fixedNumericTestV2000.mdb"));
    auto t = db->table("test");
    const Column& c2 = t->columns()[t->columnIndex("col2")];
    EXPECT_EQ(c2.type, ColType::Numeric);
    auto rows = readAll(*t);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(toDebugString(rows[0][t->columnIndex("col2")]), "1");
    EXPECT_EQ(rows[0][t->columnIndex("col2")].asDecimal().precision, c2.precision);
    EXPECT_EQ(toDebugString(rows[0][t->columnIndex("col5")]).substr(0, 1), "4");
    EXPECT_LT(rows[0][t->columnIndex("col6")].asDecimal().unscaled, 0);
    auto u = Database::open(dataPath("jet4/testUnicodeCompV2003.mdb"));
    auto texts = readAll(*u->table("Table"));
    ASSERT_EQ(texts.size(), 8u);
    for (const auto& [i, want] : {std::pair{1, "ääkkösiä"}, {2, "Мир"}, {4, "漢字仮名交じり文"}, {6, "ümlaut"}})
        EXPECT_EQ(texts[i][1], Value::text(want));
    auto idx = Database::open(dataPath("jet3/testIndexCodesV1997.mdb"));
    auto g = readAll(*idx->table("Table13"));
    ASSERT_FALSE(g.empty());
    EXPECT_EQ(toDebugString(g[0][1]), "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");
}

// The flags of index definitions (their columns and directions are checked by
// encoding every row's keys against the stored entries).
TEST(Reader, IndexDefinitions) {
    auto acts = Database::open(dataPath("timer/sample.tdb"))->table("Activities");
    const Index* pk = acts->primaryKey();
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(std::tuple(pk->name, pk->unique), std::tuple("PrimaryKey", true));
    ASSERT_NE(acts->findIndex("name id"), nullptr);
    EXPECT_FALSE(acts->findIndex("name id")->primaryKey);
    auto props = Database::open(dataPath("jet4/testIndexPropertiesV2000.mdb"));
    auto ign = props->table("TableIgnoreNulls1")->findIndex("DataIndex");
    ASSERT_NE(ign, nullptr);
    EXPECT_EQ(std::tuple(ign->ignoreNulls, ign->unique), std::tuple(true, false));
    auto uniq = props->table("TableUnique2_temp");
    EXPECT_TRUE(uniq->findIndex("DataIndex")->unique);
    EXPECT_TRUE(uniq->primaryKey()->required);
    auto j3 = Database::open(dataPath("jet3/testV1997.mdb"))->table("Table1");
    EXPECT_EQ(j3->columns()[j3->columnIndex("A")].sortOrder, 1033);
}

TEST(Reader, UsageMapsListOwnPages) {
    auto db = Database::open(dataPath("timer/timer-big.tdb"));
    auto acts = db->table("Activities");
    auto pages = acts->dataPages();
    ASSERT_GT(pages.size(), 100u);  // beyond what an inline map can hold
    EXPECT_TRUE(std::is_sorted(pages.begin(), pages.end()));
    size_t n = 0;
    for (auto c = acts->scan({acts->columnIndex("ID")}); c.next();) ++n;
    EXPECT_EQ(n, 100000u);
}

TEST(Reader, BadInputsRaiseErrors) {
    EXPECT_EQ(openError("/nonexistent/dir/file.mdb", OpenMode::ReadOnly), Error::Code::NotFound);
    EXPECT_EQ(openError(dataPath("README.md"), OpenMode::ReadOnly), Error::Code::NotJet);
    EXPECT_EQ(openError(dataPath("jet4"), OpenMode::ReadOnly), Error::Code::NotJet);
    testutil::Scratch tmp;
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string p = tmp.path() + "/" + name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return p;
    };
    EXPECT_EQ(openError(write("empty.mdb", {}), OpenMode::ReadOnly), Error::Code::NotJet);
    auto good = testutil::slurp(dataPath("jet4/testV2000.mdb"));
    EXPECT_EQ(openError(write("head.mdb", {good.begin(), good.begin() + 4096}), OpenMode::ReadOnly), Error::Code::Corrupt);
    // Cut inside the catalog: the header is fine, the rest is missing.
    std::vector<uint8_t> cut(good.begin(), good.begin() + 4096 * 2 + 100);
    EXPECT_NE(openError(write("cut.mdb", cut), OpenMode::ReadOnly), Error::Code::Generic);
}

namespace {
// Anything but a jet::Error escaping the reader fails the test (readAll catches only those).
void readAllNoThrow(const std::vector<uint8_t>& bytes, const std::string& what) {
    try { fuzzread::readAll(bytes.data(), bytes.size()); } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": escaped " << typeid(e).name() << ": " << e.what();
    }
}

const char* kSeeds[] = {"jet3/testV1997.mdb", "jet4/testV2000.mdb", "jet4/testV2003.mdb", "jet4/indexTestV2000.mdb", "timer/sample.tdb"};
}  // namespace

TEST(Robustness, RegressionInputs) {
    fs::path dir = fs::path(TEST_DATA_DIR).parent_path().parent_path() / "fuzz" / "regressions";
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.')
            readAllNoThrow(testutil::slurp(e.path()), e.path().filename().string());
}

TEST(Robustness, EmptyAndForeignBytes) {
    readAllNoThrow({}, "empty");
    readAllNoThrow({0x00}, "one byte");
    std::string text = "Standard Jet DB is not a magic spell; this is plain text.\n";
    readAllNoThrow(std::vector<uint8_t>(text.begin(), text.end()), "text");
    readAllNoThrow(std::vector<uint8_t>(8192, 0xFF), "all 0xFF");
    readAllNoThrow(std::vector<uint8_t>(8192, 0x00), "all zero");
    std::mt19937 rng(1234);
    std::vector<uint8_t> noise(3 * 4096);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    readAllNoThrow(noise, "random");
    // A genuine header followed by noise.
    for (auto [file, header] : {std::pair{"jet4/testV2000.mdb", 4096}, std::pair{"jet3/testV1997.mdb", 2048}}) {
        const auto real = testutil::slurp(dataPath(file));
        std::copy(real.begin(), real.begin() + header, noise.begin());
        readAllNoThrow(noise, std::string(file) + " header + noise");
    }
}

TEST(Robustness, TruncatedFiles) {
    for (const char* seed : kSeeds) {
        auto bytes = testutil::slurp(testutil::dataPath(seed));
        ASSERT_FALSE(bytes.empty()) << seed;
        const size_t n = bytes.size();
        for (size_t cut : {size_t(1), size_t(100), size_t(2047), size_t(2048), size_t(4095), size_t(4096), size_t(4097),
                           size_t(3 * 4096), n / 3, n / 2, n - 4096, n - 1})
            if (cut < n) readAllNoThrow({bytes.begin(), bytes.begin() + cut}, seed + (" cut at " + std::to_string(cut)));
    }
}

// Random damage with a fixed seed, so a failure is reproducible.
TEST(Robustness, BitFlippedCopies) {
    std::mt19937 rng(20261206);
    for (const char* seed : kSeeds) {
        const auto orig = testutil::slurp(testutil::dataPath(seed));
        ASSERT_FALSE(orig.empty()) << seed;
        for (int round = 0; round < 40; ++round) {
            auto bytes = orig;
            int flips = 1 + static_cast<int>(rng() % 64);
            for (int i = 0; i < flips; ++i) {
                // Mostly hit the first pages, where the catalog and definitions live.
                size_t limit = (rng() % 2) ? std::min<size_t>(bytes.size(), 16 * 4096) : bytes.size();
                size_t at = rng() % limit;
                if (at < 0x80) continue;  // keep the header recognisable so the damage gets past open
                bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            readAllNoThrow(bytes, std::string(seed) + " round " + std::to_string(round));
        }
    }
}
