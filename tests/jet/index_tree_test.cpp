// Index trees after writes that reshape them, read back page by page: deletes of
// a subtree's greatest key, of whole leaves and weeks, long keys over three levels.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include <unistd.h>

#include "index_tree.h"
#include "jet/check.h"
#include "jet/database.h"
#include "jet/query.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

// A writable copy of a test file, removed with its folder at the end of the test.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("hourgrid-tree-" + std::to_string(::getpid()));
    ~Scratch() { fs::remove_all(dir); }
    std::string copy(const std::string& rel) {
        fs::create_directories(dir);
        const fs::path p = dir / fs::path(rel).filename();
        fs::copy_file(testutil::dataPath(rel), p, fs::copy_options::overwrite_existing);
        fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
        return p.string();
    }
};

std::string checkProblems(const jet::Database& db) {
    std::string s;
    for (const auto& p : jet::checkDatabase(db).problems) s += p + "\n";
    return s;
}

// Index pages of a table still in the file (freed pages are zeroed).
int indexPagesOf(const jet::Database& db, const std::string& table) {
    const uint32_t tdef = db.table(table)->tdefPage();
    int n = 0;
    for (uint32_t pg = 2; pg < db.pager().pageCount(); ++pg) {
        const uint8_t* p = db.pager().page(pg);
        n += (p[0] == 0x03 || p[0] == 0x04) && indextree::le32(p + 4) == tdef;
    }
    return n;
}

TEST(IndexTree, DeletesAndInsertsKeepJetsLayout) {
    struct Case {
        const char* file;
        const char* table;
        std::vector<const char*> sql;
    };
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
    Scratch scratch;
    for (const Case& c : cases) {
        auto db = jet::Database::open(scratch.copy(c.file), jet::OpenMode::Exclusive);
        for (const char* sql : c.sql) {
            EXPECT_GT(jet::execSql(*db, sql).rowsAffected, 0) << sql;
            EXPECT_EQ(indextree::treeProblems(*db, c.table), "") << c.file << ": " << sql;
        }
        EXPECT_EQ(checkProblems(*db), "") << c.file;
    }
}

TEST(IndexTree, LongKeysGrowThreeLevelsAndEmptyAgain) {
    Scratch scratch;
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
    ASSERT_EQ(indextree::treeProblems(*db, "Table1"), "");
    const uint32_t root = db->table("Table1")->findIndex("col1")->firstPage;
    ASSERT_EQ(indextree::readPage(*db, indextree::readPage(*db, root).tail).leaf, false) << "three levels";
    const int grown = indexPagesOf(*db, "Table1");

    // Greatest keys first (always under the tails), then every third, then the rest.
    std::vector<jet::RowId> rows;
    {
        auto t = db->table("Table1");
        for (const auto& e : t->indexEntries(*t->findIndex("col1"))) rows.push_back(e.row);
    }
    ASSERT_EQ(rows.size(), 700u);
    auto drop = [&](size_t i) { db->deleteRow("Table1", rows[i]); };
    db->beginTransaction();
    for (size_t i = rows.size(); i-- > rows.size() - 150;) {
        drop(i);
        if (i % 10 == 0) {
            ASSERT_EQ(indextree::treeProblems(*db, "Table1"), "") << "after deleting row " << i;
        }
    }
    EXPECT_LT(indexPagesOf(*db, "Table1"), grown * 6 / 7);
    for (size_t i = 0; i < rows.size() - 150; i += 3) drop(i);
    ASSERT_EQ(indextree::treeProblems(*db, "Table1"), "");
    for (size_t i = 0; i < rows.size() - 150; ++i)
        if (i % 3) drop(i);
    db->commitTransaction();
    EXPECT_EQ(indextree::treeProblems(*db, "Table1"), "");
    EXPECT_EQ(indexPagesOf(*db, "Table1"), 1) << "only the root is left";
    EXPECT_TRUE(indextree::readPage(*db, root).leaf);
    EXPECT_EQ(checkProblems(*db), "");
    for (int i = 0; i < 40; ++i) db->insertRow("Table1", {{0, jet::Value::text(std::string(200, 'a' + i % 26))}});
    EXPECT_EQ(indextree::treeProblems(*db, "Table1"), "");
}

}  // namespace
