// Indexes stay exact while rows come and go: enough writes to split leaves and
// add levels, then enough deletes to empty pages, checked entry by entry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>

#include "index_tree.h"
#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

class TempCopy {
public:
    explicit TempCopy(const std::string& rel) {
        dir_ = testutil::makeTempDir("hourgrid-idxw");
        path_ = dir_ + "/" + fs::path(rel).filename().string();
        fs::copy_file(testutil::dataPath(rel), path_);
        fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    }
    ~TempCopy() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string dir_, path_;
};

std::string problemsOf(const jet::Database& db) {
    std::string s;
    for (const auto& p : jet::checkDatabase(db).problems) s += p + "\n";
    return s;
}

// Every index lists exactly the live rows, in key order, and a seek finds each row.
void expectIndexesExact(const jet::Database& db, const std::string& table, size_t seekEvery = 7) {
    EXPECT_EQ(indextree::treeProblems(db, table), "");
    auto t = db.table(table);
    std::vector<std::pair<jet::RowId, jet::Row>> rows;
    for (auto c = t->scan(); c.next();) rows.emplace_back(c.rowId(), c.row());
    for (const jet::Index& ix : t->indexes()) {
        auto entries = t->indexEntries(ix);
        for (size_t i = 1; i < entries.size(); ++i) {
            auto a = std::make_pair(entries[i - 1].key, entries[i - 1].row);
            auto b = std::make_pair(entries[i].key, entries[i].row);
            ASSERT_TRUE(a < b) << table << "." << ix.name << ": entries out of order at " << i;
        }
        std::set<std::pair<std::vector<uint8_t>, jet::RowId>> want, have;
        for (const auto& [id, row] : rows) want.emplace(t->encodeKey(ix, row), id);
        for (const auto& e : entries) have.emplace(e.key, e.row);
        ASSERT_EQ(want.size(), have.size()) << table << "." << ix.name;
        EXPECT_TRUE(want == have) << table << "." << ix.name << ": entries differ from the rows";
        for (size_t i = 0; i < rows.size(); i += seekEvery) {
            std::vector<jet::Value> key;
            for (const auto& ic : ix.columns) key.push_back(rows[i].second[ic.column]);
            auto found = t->seek(ix, key);
            EXPECT_NE(std::find(found.begin(), found.end(), rows[i].first), found.end())
                << table << "." << ix.name << ": seek misses row " << i;
        }
    }
}

// True when the index's root has become an intermediate page (the tree grew a level).
bool rootIsIntermediate(const jet::Database& db, const std::string& table, const std::string& index) {
    auto t = db.table(table);
    const jet::Index* ix = t->findIndex(index);
    return ix && db.pager().page(ix->firstPage)[0] == 0x03;
}

std::string randomText(std::mt19937& rng, size_t minLen, size_t maxLen) {
    static const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 :/-&.,()";
    std::uniform_int_distribution<size_t> len(minLen, maxLen), ch(0, alphabet.size() - 1);
    std::string s(len(rng), ' ');
    for (char& c : s) c = alphabet[ch(rng)];
    return s;
}

TEST(IndexWrite, LongTextKeysSplitLeavesAndGrowLevelsThenShrink) {
    TempCopy f("jet4/bigIndexTestV2000.mdb");
    std::mt19937 rng(42);
    std::vector<jet::RowId> added;
    {
        auto db = jet::Database::open(f.path(), jet::OpenMode::Exclusive);
        db->beginTransaction();
        for (int i = 0; i < 1500; ++i) {
            jet::FieldValues v{{0, jet::Value::text(randomText(rng, 60, 200))},
                               {1, jet::Value::text(randomText(rng, 1, 20))}};
            added.push_back(db->insertRow("Table1", v));
        }
        db->commitTransaction();
        ASSERT_EQ(problemsOf(*db), "");
        EXPECT_TRUE(rootIsIntermediate(*db, "Table1", "col1"));
        expectIndexesExact(*db, "Table1");
    }
    {
        auto db = jet::Database::open(f.path(), jet::OpenMode::Exclusive);
        std::shuffle(added.begin(), added.end(), rng);
        db->beginTransaction();
        for (size_t i = 0; i < added.size() * 3 / 4; ++i) db->deleteRow("Table1", added[i]);
        db->commitTransaction();
        ASSERT_EQ(problemsOf(*db), "");
        expectIndexesExact(*db, "Table1");
        // Room freed by the deletes takes new keys again.
        for (int i = 0; i < 200; ++i)
            db->insertRow("Table1", {{0, jet::Value::text(randomText(rng, 1, 120))}, {1, jet::Value::null()}});
        ASSERT_EQ(problemsOf(*db), "");
        expectIndexesExact(*db, "Table1");
    }
}

TEST(IndexWrite, KeyBreakingALongSharedPrefixStillFits) {
    // Names like "Acme Corporation:Project 00001" compress to a few bytes each on a
    // full leaf; a key without that prefix makes the same entries several times larger.
    TempCopy f("jet4/bigIndexTestV2000.mdb");
    auto db = jet::Database::open(f.path(), jet::OpenMode::Exclusive);
    db->beginTransaction();
    for (int i = 0; i < 900; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Acme Corporation:Project %05d", i);
        db->insertRow("Table1", {{0, jet::Value::text(name)}});
    }
    db->commitTransaction();
    for (const char* k : {"zzzz", "m", "Acme", "Acme Corporation:Project 00450a", "0"})
        EXPECT_NO_THROW(db->insertRow("Table1", {{0, jet::Value::text(k)}})) << k;
    EXPECT_EQ(problemsOf(*db), "");
    expectIndexesExact(*db, "Table1", 11);
}

TEST(IndexWrite, UniqueKeysRefuseDuplicatesAndChangeNothing) {
    TempCopy f("jet3/indexTestV1997.mdb");
    auto db = jet::Database::open(f.path(), jet::OpenMode::Exclusive);
    int32_t maxId = 0;
    for (auto c = db->table("Table1")->scan(); c.next();)
        if (!c.row()[0].isNull()) maxId = std::max(maxId, c.row()[0].asInt32());
    // Many ascending keys: every split lands at the right-hand edge of the tree.
    db->beginTransaction();
    for (int i = 1; i <= 1200; ++i)
        db->insertRow("Table1", {{0, jet::Value::int32(maxId + i)}, {3, jet::Value::text("row " + std::to_string(i))}});
    db->commitTransaction();
    EXPECT_TRUE(rootIsIntermediate(*db, "Table1", "PrimaryKey"));
    auto before = jet::checkDatabase(*db).problems;
    ASSERT_TRUE(before.empty()) << problemsOf(*db);
    const uint32_t count = db->table("Table1")->rowCount();
    try {
        db->insertRow("Table1", {{0, jet::Value::int32(maxId + 7)}, {3, jet::Value::text("again")}});
        FAIL() << "a duplicate primary key was accepted";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::Error::Code::Duplicate);
        EXPECT_NE(std::string(e.what()).find("PrimaryKey"), std::string::npos) << e.what();
    }
    EXPECT_EQ(db->table("Table1")->rowCount(), count);
    EXPECT_EQ(problemsOf(*db), "");
    expectIndexesExact(*db, "Table1");
}

TEST(IndexWrite, DescendingKeysInRandomOrder) {
    TempCopy f("jet4/compIndexTestV2000.mdb");
    std::mt19937 rng(7);
    auto db = jet::Database::open(f.path(), jet::OpenMode::Exclusive);
    std::uniform_int_distribution<int32_t> any(-1000000, 1000000);
    std::vector<jet::RowId> ids;
    db->beginTransaction();
    for (int i = 0; i < 2500; ++i)
        ids.push_back(db->insertRow("Table1", {{0, jet::Value::int32(any(rng))}, {1, jet::Value::text(randomText(rng, 0, 30))}}));
    for (size_t i = 0; i < ids.size(); i += 3) db->deleteRow("Table1", ids[i]);
    db->commitTransaction();
    EXPECT_EQ(problemsOf(*db), "");
    expectIndexesExact(*db, "Table1", 13);
}

}  // namespace
