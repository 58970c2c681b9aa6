// Index keys, B-tree lookups and text ordering, checked against indexes that
// Access (and, for the Timer files, another Jet writer) built.
#include <gtest/gtest.h>
#include <ctime>
#include <functional>
#include <map>
#include "jet/collation.h"
#include "jet/error.h"
#include "test_util.h"

namespace {
using testutil::allDataFiles;

TEST(IndexKeys, EveryRowOfEveryIndexInEveryFileIsStoredAsEncoded) {
    size_t indexesChecked = 0;
    for (const auto& file : allDataFiles()) {
        SCOPED_TRACE(file);
        auto db = jet::Database::open(testutil::dataPath(file));
        for (const auto& name : db->tableNames(true)) {
            auto t = db->table(name);
            auto problems = testutil::indexProblems(*t);
            indexesChecked += t->indexes().size();
            for (size_t i = 0; i < problems.size() && i < 5; ++i)
                ADD_FAILURE() << file << " table '" << name << "': " << problems[i];
            if (problems.size() > 5) ADD_FAILURE() << "  ... " << problems.size() - 5 << " more";
        }
    }
    EXPECT_GT(indexesChecked, 500u);
}

TEST(IndexSeek, FindsAllDuplicatesAcrossLeavesAndNothingForAbsentKeys) {
    // Duplicate keys of a big non-unique index span several leaf pages.
    auto db = jet::Database::open(testutil::dataPath("timer/timer-big.tdb"));
    auto t = db->table("Activities");
    const jet::Index* byName = t->findIndex("Name ID");
    ASSERT_NE(byName, nullptr);
    std::map<int32_t, std::vector<jet::RowId>> expected;
    int nameCol = t->columnIndex("Name ID");
    for (auto cur = t->scan({nameCol}); cur.next();)
        if (!cur.row()[nameCol].isNull()) expected[cur.row()[nameCol].asInt32()].push_back(cur.rowId());
    ASSERT_GT(expected.size(), 10u);
    size_t biggest = 0;
    for (auto& [id, rows] : expected) {
        auto hits = t->seek(*byName, {jet::Value::int32(id)});
        std::sort(hits.begin(), hits.end());
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ(hits, rows) << "Name ID " << id;
        biggest = std::max(biggest, rows.size());
    }
    EXPECT_GT(biggest, 1000u);  // spans leaves
    // A value no Long can hold matches nothing instead of wrapping around.
    const int32_t some = expected.begin()->first;
    for (const jet::Value& v : {jet::Value::int32(-123456), jet::Value::int32(2147483647), jet::Value::dbl(4294967296.0 + some),
                                jet::Value::dbl(some + 0.5)})
        EXPECT_TRUE(t->seek(*byName, {v}).empty()) << jet::toDebugString(v);
}

TEST(IndexSeek, TextKeysAreCaseInsensitiveAndIgnoreTrailingBlanks) {
    auto db = jet::Database::open(testutil::dataPath("timer/sample.tdb"));
    auto t = db->table("Names");
    const jet::Index* ix = t->findIndex("NameStr");
    ASSERT_NE(ix, nullptr);
    int col = t->columnIndex("NameStr");
    size_t checked = 0;
    for (auto cur = t->scan(); cur.next();) {
        std::string name = cur.row()[col].asText();
        std::string upper = name, lower = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string& probe : {name, upper, lower + "  "}) {
            auto hits = t->seek(*ix, {jet::Value::text(probe)});
            EXPECT_NE(std::find(hits.begin(), hits.end(), cur.rowId()), hits.end()) << "'" << probe << "'";
        }
        ++checked;
    }
    EXPECT_GT(checked, 10u);
    EXPECT_TRUE(t->seek(*ix, {jet::Value::text("No Such Name Anywhere")}).empty());
    EXPECT_THROW(t->seek(*ix, {jet::Value::text("a"), jet::Value::text("b")}), jet::Error);
}

TEST(IndexSeek, LeadingColumnsOfACompoundIndex) {
    // The catalog's ParentIdName index is (ParentId, Name).
    auto db = jet::Database::open(testutil::dataPath("jet4/testV2000.mdb"));
    bool tried = false;
    for (const auto& name : db->tableNames(true)) {
        auto t = db->table(name);
        for (const auto& ix : t->indexes()) {
            if (ix.columns.size() < 2) continue;
            int first = ix.columns[0].column;
            for (auto cur = t->scan(); cur.next();) {
                const jet::Value& v = cur.row()[first];
                auto hits = t->seek(ix, {v});
                size_t expected = 0;
                for (auto c2 = t->scan({first}); c2.next();) {
                    const jet::Value& w = c2.row()[first];
                    expected += v.isText() && w.isText() ? jet::compareText(v.asText(), w.asText()) == 0 : v == w;
                }
                EXPECT_EQ(hits.size(), expected) << name << "." << ix.name << " " << jet::toDebugString(v);
                tried = true;
            }
        }
    }
    EXPECT_TRUE(tried);
}

// (Plain text is ordered through the agreement with the keys below.)
TEST(TextOrder, ComparisonIsCaseInsensitiveAndAccentsOnlyBreakTies) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"Smith", "sMITH", 0}, {"abc  ", "abc", 0}, {"a", "B", -1}, {"9", "a", -1}, {"resume", "résumé", -1},
        {"résumé", "resumf", -1},  // letters first, accents after
        {"RÉSUMÉ", "résumé", 0},
    };
    for (const auto& [a, b, sign] : cases) EXPECT_EQ((jet::compareText(a, b) > 0) - (jet::compareText(a, b) < 0), sign) << a << " / " << b;
    for (auto v : {jet::Version::Jet4, jet::Version::Jet3}) EXPECT_EQ(jet::textSortKey("abc", v), jet::textSortKey("ABC", v));
    EXPECT_NE(jet::textSortKey("e", jet::Version::Jet3), jet::textSortKey("é", jet::Version::Jet3));
    // Malformed UTF-8 must not upset the encoder.
    EXPECT_NO_THROW(jet::textSortKey(std::string("a\xC3", 2), jet::Version::Jet4));
    EXPECT_NO_THROW(jet::textSortKey(std::string("\xFF\xFE\xF0\x9F", 4), jet::Version::Jet3));
}

TEST(TextOrder, CompareTextAgreesWithTheJet4Key) {
    // compareText takes a shortcut for plain text; it must order exactly as the keys do.
    const std::vector<std::string> alphabet = {"a", "B", " ", "-", "'", "\xC3\xA9", "1", "\t", "z", "."};
    std::vector<std::string> texts = {""};
    for (const auto& x : alphabet) {
        texts.push_back(x);
        for (const auto& y : alphabet) texts.push_back(x + y);
    }
    texts.push_back(std::string(300, 'a'));
    texts.push_back(std::string(255, 'a') + "b");
    std::vector<std::vector<uint8_t>> keys;
    for (const auto& t : texts) keys.push_back(jet::textSortKey(t, jet::Version::Jet4));
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (size_t i = 0; i < texts.size(); ++i)
        for (size_t j = 0; j < texts.size(); ++j) {
            int byKey = keys[i] < keys[j] ? -1 : (keys[j] < keys[i] ? 1 : 0);
            ASSERT_EQ(sign(jet::compareText(texts[i], texts[j])), byKey) << "'" << texts[i] << "' / '" << texts[j] << "'";
        }
}

TEST(TextOrder, SortingWithCompareTextFollowsAccessIndexOrder) {
    // Access's own index order over many characters is the reference for ORDER BY.
    size_t pairs = 0;
    for (const auto& file : allDataFiles()) {
        if (file.rfind("jet3/", 0) == 0) continue;  // compareText follows the Jet 4 order
        SCOPED_TRACE(file);
        auto db = jet::Database::open(testutil::dataPath(file));
        for (const auto& name : db->tableNames(false)) {
            auto t = db->table(name);
            for (const auto& ix : t->indexes()) {
                if (ix.columns.size() != 1 || !ix.columns[0].ascending) continue;
                int col = ix.columns[0].column;
                auto type = t->columns()[col].type;
                if (type != jet::ColType::Text && type != jet::ColType::Memo) continue;
                std::vector<std::string> inIndexOrder;
                for (const auto& e : t->indexEntries(ix)) {
                    auto row = t->readRow(e.row, {col});
                    ASSERT_TRUE(row);
                    if (!(*row)[col].isNull()) inIndexOrder.push_back((*row)[col].asText());
                }
                for (size_t i = 1; i < inIndexOrder.size(); ++i, ++pairs)
                    EXPECT_LE(jet::compareText(inIndexOrder[i - 1], inIndexOrder[i]), 0)
                        << name << "." << ix.name << ": '" << inIndexOrder[i - 1] << "' / '" << inIndexOrder[i] << "'";
            }
        }
    }
    EXPECT_GT(pairs, 500u);
}

TEST(IndexSeek, PrimaryKeyLookupIsFast) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "timing is meaningless under sanitizers";
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
    GTEST_SKIP() << "timing is meaningless under sanitizers";
#endif
#endif
    auto db = jet::Database::open(testutil::dataPath("timer/timer-big.tdb"));
    auto t = db->table("Activities");
    const jet::Index* pk = t->primaryKey();
    ASSERT_NE(pk, nullptr);
    int idCol = t->columnIndex("ID");
    std::vector<int32_t> ids;
    for (auto cur = t->scan({idCol}); cur.next();) ids.push_back(cur.row()[idCol].asInt32());
    ASSERT_GE(ids.size(), 100000u);
    t->seek(*pk, {jet::Value::int32(ids[0])});  // warm the page cache
    const size_t n = 20000;
    size_t found = 0;
    // Processor time, so that other work on a busy machine does not count.
    const std::clock_t start = std::clock();
    for (size_t i = 0; i < n; ++i) found += t->seek(*pk, {jet::Value::int32(ids[(i * 7919) % ids.size()])}).size();
    const double us = 1e6 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / n;
    EXPECT_EQ(found, n);
    EXPECT_LT(us, 50.0) << "average seek " << us << " us";
    RecordProperty("seek_us", std::to_string(us));
}

// ---------------------------------------------------------------- damaged files

// Runs every index operation on every table; only jet::Error may come out. Returns how many operations reported damage.
size_t exerciseIndexes(const std::vector<uint8_t>& bytes) {
    size_t errors = 0;
    std::unique_ptr<jet::Database> db;
    try { db = jet::Database::openMemory(bytes.data(), bytes.size()); } catch (const jet::Error&) { return 1; }
    auto attempt = [&](auto&& op) {
        try { op(); } catch (const jet::Error&) { ++errors; }
    };
    for (const auto& name : db->tableNames(true)) {
        std::shared_ptr<const jet::Table> t;
        attempt([&] { t = db->table(name); });
        if (!t) continue;
        for (const auto& ix : t->indexes()) {
            attempt([&] { t->indexEntries(ix); });
            attempt([&] { t->seek(ix, std::vector<jet::Value>(ix.columns.size(), jet::Value::null())); });
            attempt([&] { t->seek(ix, {}); });
        }
    }
    return errors;
}

TEST(IndexPages, DamagedPagesGiveErrorsNotCrashesOrHangs) {
    auto orig = testutil::slurp(testutil::dataPath("jet4/bigIndexTestV2000.mdb"));
    ASSERT_GT(orig.size(), 8192u);
    const size_t pageSize = 4096;
    std::vector<size_t> indexPages;
    for (size_t p = 1; p * pageSize < orig.size(); ++p)
        if (orig[p * pageSize] == 0x03 || orig[p * pageSize] == 0x04) indexPages.push_back(p);
    ASSERT_FALSE(indexPages.empty());
    auto put32 = [](std::vector<uint8_t>& b, size_t off, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    const std::function<void(std::vector<uint8_t>&, size_t, uint32_t)> damages[] = {
        // leaf chain and tail pointing back at the page itself; pointers outside the file
        [&](auto& b, size_t base, uint32_t p) { put32(b, base + 16, p); put32(b, base + 20, p); },
        [&](auto& b, size_t base, uint32_t) { put32(b, base + 16, 0x00FFFFFF); put32(b, base + 20, 0xFFFFFFFF); },
        [&](auto& b, size_t base, uint32_t) {  // every entry boundary set, prefix longer than any entry
            std::fill(&b[base + 0x1b], &b[base + 0x1e0], 0xFF);
            b[base + 24] = 0xFF;
            b[base + 25] = 0x0F;
        },
        [&](auto& b, size_t base, uint32_t p) {  // child pointers all aimed at this page
            for (size_t i = base + 0x1e0; i + 4 <= base + pageSize; i += 7)
                b[i] = b[i + 1] = 0, b[i + 2] = static_cast<uint8_t>(p >> 8), b[i + 3] = static_cast<uint8_t>(p);
        },
        [&](auto& b, size_t base, uint32_t) { b[base] = b[base] == 0x03 ? 0x04 : 0x03; },  // leaf <-> intermediate
    };
    EXPECT_EQ(exerciseIndexes(orig), 0u);
    size_t errors = 0;
    for (size_t p : indexPages)
        for (const auto& damage : damages) {
            auto b = orig;
            damage(b, p * pageSize, static_cast<uint32_t>(p));
            errors += exerciseIndexes(b);
        }
    EXPECT_GT(errors, indexPages.size() * 2);
}

TEST(IndexPages, RootThatIsNoIndexPageIsReportedAsDamage) {
    auto bytes = testutil::slurp(testutil::dataPath("timer/sample.tdb"));
    const uint32_t root = jet::Database::openMemory(bytes.data(), bytes.size())->table("Names")->findIndex("NameStr")->firstPage;
    ASSERT_LT((root + 1) * 4096ull, bytes.size() + 1);
    bytes[root * 4096ull] = 0x01;  // now it looks like a data page
    auto db = jet::Database::openMemory(bytes.data(), bytes.size());
    auto t = db->table("Names");
    const jet::Index* ix = t->findIndex("NameStr");
    std::string msg;
    EXPECT_EQ(testutil::errorCode([&] { t->indexEntries(*ix); }, &msg), jet::Error::Code::Corrupt);
    EXPECT_NE(msg.find("NameStr"), std::string::npos) << msg;
    EXPECT_THROW(t->seek(*ix, {jet::Value::text("Alice Moreno")}), jet::Error);
}
}  // namespace
