// Indexes stay exact while rows come and go: enough writes to split leaves and add levels, then enough deletes to empty pages,
// checked entry by entry and read back page by page (a subtree's greatest key, whole leaves and weeks deleted, long keys over
// three levels).
#include <gtest/gtest.h>
#include <functional>
#include "jet/error.h"
#include "jet/query.h"
#include "test_util.h"

namespace {
using testutil::problems;
using testutil::treeProblems;

// The tree read page by page, and every index against the rows.
void expectIndexesExact(const jet::Database& db, const std::string& table, size_t seekEvery = 7) {
    EXPECT_EQ(treeProblems(db, table), "");
    for (const auto& p : testutil::indexProblems(*db.table(table), seekEvery)) ADD_FAILURE() << table << " " << p;
}

// True when the index's root has become an intermediate page (the tree grew a level).
bool rootIsIntermediate(const jet::Database& db, const std::string& table, const std::string& index) {
    return db.pager().page(db.table(table)->findIndex(index)->firstPage)[0] == 0x03;
}

std::string randomText(std::mt19937& rng, size_t minLen, size_t maxLen) {
    static const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 :/-&.,()";
    std::uniform_int_distribution<size_t> len(minLen, maxLen), ch(0, alphabet.size() - 1);
    std::string s(len(rng), ' ');
    for (char& c : s) c = alphabet[ch(rng)];
    return s;
}

// Index pages of a table still in the file (freed pages are zeroed).
int indexPagesOf(const jet::Database& db, const std::string& table) {
    const uint32_t tdef = db.table(table)->tdefPage();
    int n = 0;
    for (uint32_t pg = 2; pg < db.pager().pageCount(); ++pg) {
        const uint8_t* p = db.pager().page(pg);
        n += (p[0] == 0x03 || p[0] == 0x04) && jet::bytes::u32(p + 4) == tdef;
    }
    return n;
}

TEST(IndexTree, DeletesAndInsertsKeepJetsLayout) {
    struct Case { const char *file, *table; std::vector<const char*> sql; };
    const Case cases[] = {
        {"timer/timer-big.tdb", "Activities",
         {// the greatest key under an intermediate page, in that page's tail
          "DELETE FROM Activities WHERE ID=18729",
          // a whole week: leaves empty out, then the week takes an activity again
          "DELETE FROM Activities WHERE UserDate >= #5/20/2024# AND UserDate < #5/27/2024#",
          "INSERT INTO Activities ([Name ID], UserDate, Duration) VALUES (3, #5/22/2024#, #0:30#)",
          "UPDATE Activities SET UserDate = #5/23/2024# WHERE UserDate = #5/22/2024#",
          "DELETE FROM Activities WHERE ID > 99000"}},
        {"jet4/compIndexTestV2000.mdb", "Table1",
         {"DELETE FROM Table1 WHERE CD_AGENTE IS NULL", "DELETE FROM Table1 WHERE CD_AGENTE < 200",
          "INSERT INTO Table1 (CD_AGENTE) VALUES (5)"}},
    };
    testutil::Scratch scratch;
    for (const Case& c : cases) {
        auto db = jet::Database::open(scratch.copy(c.file), jet::OpenMode::Exclusive);
        for (const char* sql : c.sql) {
            EXPECT_GT(jet::execSql(*db, sql).rowsAffected, 0) << sql;
            EXPECT_EQ(treeProblems(*db, c.table), "") << c.file << ": " << sql;
        }
        EXPECT_EQ(problems(*db), "") << c.file;
    }
}

TEST(IndexTree, LongKeysGrowThreeLevelsAndEmptyAgain) {
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("jet4/bigIndexTestV2000.mdb"), jet::OpenMode::Exclusive);
    std::mt19937 rng(11);
    for (auto c = db->table("Table1")->scan(); c.next();) db->deleteRow("Table1", c.rowId());
    db->beginTransaction();
    for (int i = 0; i < 700; ++i) {
        // 255 characters, a few keys twice, accents and case mixed in
        char head[32];
        std::snprintf(head, sizeof head, "%s%04d ", i % 3 ? "Key" : "kéy", (i * 7919) % 650);
        std::string k = head;
        while (k.size() < 255) k += static_cast<char>('a' + rng() % 26);
        k.resize(255);
        db->insertRow("Table1", {{0, jet::Value::text(k)}, {1, jet::Value::text(head)}});
    }
    db->commitTransaction();
    ASSERT_EQ(treeProblems(*db, "Table1"), "");
    const uint32_t root = db->table("Table1")->findIndex("col1")->firstPage;
    ASSERT_FALSE(testutil::readIndexPage(*db, testutil::readIndexPage(*db, root).tail).leaf) << "three levels";
    const int grown = indexPagesOf(*db, "Table1");
    // Greatest keys first (always under the tails), then every third, then the rest.
    std::vector<jet::RowId> rows;
    auto t = db->table("Table1");
    for (const auto& e : t->indexEntries(*t->findIndex("col1"))) rows.push_back(e.row);
    ASSERT_EQ(rows.size(), 700u);
    auto drop = [&](size_t i) { db->deleteRow("Table1", rows[i]); };
    db->beginTransaction();
    for (size_t i = rows.size(); i-- > rows.size() - 150;) {
        drop(i);
        if (i % 10 == 0) { ASSERT_EQ(treeProblems(*db, "Table1"), "") << "after deleting row " << i; }
    }
    EXPECT_LT(indexPagesOf(*db, "Table1"), grown * 6 / 7);
    for (size_t i = 0; i < rows.size() - 150; i += 3) drop(i);
    ASSERT_EQ(treeProblems(*db, "Table1"), "");
    for (size_t i = 0; i < rows.size() - 150; ++i)
        if (i % 3) drop(i);
    db->commitTransaction();
    EXPECT_EQ(treeProblems(*db, "Table1"), "");
    EXPECT_EQ(indexPagesOf(*db, "Table1"), 1) << "only the root is left";
    EXPECT_TRUE(testutil::readIndexPage(*db, root).leaf);
    EXPECT_EQ(problems(*db), "");
    for (int i = 0; i < 40; ++i) db->insertRow("Table1", {{0, jet::Value::text(std::string(200, 'a' + i % 26))}});
    EXPECT_EQ(treeProblems(*db, "Table1"), "");
}

// Random rows in bulk grow the tree a level; deleting most of them in random
// order, then inserting again, keeps every index exact.
TEST(IndexWrite, RandomKeysSplitLeavesAndGrowLevelsThenShrink) {
    struct Case {
        const char *file, *index;  // the index grows a level
        int rows;
        size_t seekEvery;
        std::function<jet::FieldValues(std::mt19937&)> row;
    };
    const Case cases[] = {
        {"jet4/bigIndexTestV2000.mdb", "col1", 1500, 7, [](auto& rng) {
             return jet::FieldValues{{0, jet::Value::text(randomText(rng, 60, 200))},
                                     {1, jet::Value::text(randomText(rng, 1, 20))}};
         }},
        // a descending key
        {"jet4/compIndexTestV2000.mdb", "CD_AGENTE", 2500, 13, [](auto& rng) {
             return jet::FieldValues{{0, jet::Value::int32(std::uniform_int_distribution<int32_t>(-1000000, 1000000)(rng))},
                                     {1, jet::Value::text(randomText(rng, 0, 30))}};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        testutil::Scratch scratch;
        const std::string path = scratch.copy(c.file);
        std::mt19937 rng(42);
        std::vector<jet::RowId> added;
        {
            auto db = jet::Database::open(path, jet::OpenMode::Exclusive);
            db->beginTransaction();
            for (int i = 0; i < c.rows; ++i) added.push_back(db->insertRow("Table1", c.row(rng)));
            db->commitTransaction();
            ASSERT_EQ(problems(*db), "");
            EXPECT_TRUE(rootIsIntermediate(*db, "Table1", c.index));
            expectIndexesExact(*db, "Table1", c.seekEvery);
        }
        auto db = jet::Database::open(path, jet::OpenMode::Exclusive);
        std::shuffle(added.begin(), added.end(), rng);
        db->beginTransaction();
        for (size_t i = 0; i < added.size() * 3 / 4; ++i) db->deleteRow("Table1", added[i]);
        db->commitTransaction();
        ASSERT_EQ(problems(*db), "");
        expectIndexesExact(*db, "Table1", c.seekEvery);
        // Room freed by the deletes takes new keys again.
        for (int i = 0; i < 200; ++i) db->insertRow("Table1", c.row(rng));
        EXPECT_EQ(problems(*db), "");
        expectIndexesExact(*db, "Table1", c.seekEvery);
    }
}

TEST(IndexWrite, KeyBreakingALongSharedPrefixStillFits) {
    // Names like "Acme Corporation:Project 00001" compress to a few bytes each on a
    // full leaf; a key without that prefix makes the same entries several times larger.
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("jet4/bigIndexTestV2000.mdb"), jet::OpenMode::Exclusive);
    db->beginTransaction();
    for (int i = 0; i < 900; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Acme Corporation:Project %05d", i);
        db->insertRow("Table1", {{0, jet::Value::text(name)}});
    }
    db->commitTransaction();
    for (const char* k : {"zzzz", "m", "Acme", "Acme Corporation:Project 00450a", "0"})
        EXPECT_NO_THROW(db->insertRow("Table1", {{0, jet::Value::text(k)}})) << k;
    EXPECT_EQ(problems(*db), "");
    expectIndexesExact(*db, "Table1", 11);
}

TEST(IndexWrite, UniqueKeysRefuseDuplicatesAndChangeNothing) {
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("jet3/indexTestV1997.mdb"), jet::OpenMode::Exclusive);
    int32_t maxId = 0;
    for (auto c = db->table("Table1")->scan(); c.next();)
        if (!c.row()[0].isNull()) maxId = std::max(maxId, c.row()[0].asInt32());
    // Many ascending keys: every split lands at the right-hand edge of the tree.
    db->beginTransaction();
    for (int i = 1; i <= 1200; ++i)
        db->insertRow("Table1", {{0, jet::Value::int32(maxId + i)}, {3, jet::Value::text("row " + std::to_string(i))}});
    db->commitTransaction();
    EXPECT_TRUE(rootIsIntermediate(*db, "Table1", "PrimaryKey"));
    ASSERT_EQ(problems(*db), "");
    const uint32_t count = db->table("Table1")->rowCount();
    std::string msg;
    auto again = [&] { db->insertRow("Table1", {{0, jet::Value::int32(maxId + 7)}, {3, jet::Value::text("again")}}); };
    EXPECT_EQ(testutil::errorCode(again, &msg), jet::Error::Code::Duplicate);
    EXPECT_NE(msg.find("PrimaryKey"), std::string::npos) << msg;
    EXPECT_EQ(db->table("Table1")->rowCount(), count);
    EXPECT_EQ(problems(*db), "");
    expectIndexesExact(*db, "Table1");
}
}  // namespace
