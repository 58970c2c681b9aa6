// Writes at the edges of the page formats, where a slip leaves a file that only a later write or another program trips over.
#include <gtest/gtest.h>
#include "test_util.h"

namespace {
using testutil::problems;

void appendUtf8(std::string& s, uint32_t c) {
    auto put = [&](uint32_t b) { s += static_cast<char>(b); };
    if (c < 0x80) put(c);
    else if (c < 0x800) put(0xC0 | c >> 6), put(0x80 | (c & 0x3F));
    else put(0xE0 | c >> 12), put(0x80 | (c >> 6 & 0x3F)), put(0x80 | (c & 0x3F));
}

struct LongValueRow {
    uint32_t page = 0, row = 0, len = 0;
};

// Where a text long value of `len` characters `c` sits on a long-value page: stored
// compressed (FF FE, a byte a character), as UTF-16, or in Jet 3 as one byte a character.
LongValueRow findLongValue(const jet::Database& db, char c, size_t len) {
    const uint32_t ps = db.pager().pageSize();
    const unsigned countAt = ps == 2048 ? 8 : 12;
    for (uint32_t p = 1; p < db.pager().pageCount(); ++p) {
        const uint8_t* pg = db.pager().page(p);
        if (pg[0] != 0x01 || std::memcmp(pg + 4, "LVAL", 4) != 0) continue;
        const unsigned rows = pg[countAt] | pg[countAt + 1] << 8;
        for (unsigned r = 0; r < rows; ++r) {
            const uint8_t* slot = pg + countAt + 2 + 2 * r;
            const unsigned start = (slot[0] | slot[1] << 8) & 0x1FFF;
            const unsigned end = r == 0 ? ps : (slot[-2] | slot[-1] << 8) & 0x1FFF;
            const uint8_t* d = pg + start;
            const size_t n = end - start;
            const size_t skip = n == len + 2 && d[0] == 0xFF && d[1] == 0xFE ? 2 : 0, step = n == 2 * len ? 2 : 1;
            if (n != skip + step * len) continue;
            bool all = true;
            for (size_t i = 0; all && i < len; ++i)
                all = d[skip + step * i] == static_cast<uint8_t>(c) && (step == 1 || d[skip + 2 * i + 1] == 0);
            if (all) return {p, r, static_cast<uint32_t>(n)};
        }
    }
    return {};
}

TEST(WriteEdges, KeysSharingMoreThan255BytesStayExact) {
    // Keys told apart by case alone share their whole primary part: Jet 4 stores
    // such a page's common prefix, longer than 255 bytes, in two bytes.
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("jet4/bigIndexTestV2000.mdb"), jet::OpenMode::Exclusive);
    std::vector<std::string> names;
    for (int i = 0; i < 32; ++i) {
        std::string s(250, 'k');
        for (int b = 0; b < 5; ++b) s += (i >> b & 1) ? 'Q' : 'q';
        names.push_back(s);
        db->insertRow("Table1", {{0, jet::Value::text(s)}});
    }
    auto t = db->table("Table1");
    const jet::Index* ix = t->findIndex("col1");
    ASSERT_NE(ix, nullptr);
    auto entries = t->indexEntries(*ix);
    ASSERT_EQ(entries.size(), names.size());
    const auto& k0 = entries[0].key;
    size_t shared = k0.size();
    for (const auto& e : entries)
        shared = std::min<size_t>(shared, std::mismatch(e.key.begin(), e.key.end(), k0.begin(), k0.end()).first - e.key.begin());
    ASSERT_GT(shared, 255u) << "the keys no longer exercise a two-byte prefix";
    EXPECT_EQ(problems(*db), "");
    // Text compares without case, so every one of them finds all.
    for (const auto& s : names) EXPECT_EQ(t->seek(*ix, {jet::Value::text(s)}).size(), names.size()) << s.substr(250);
}

TEST(WriteEdges, DeletingARowFreesOnlyItsOwnLongValues) {
    // A text field whose bytes happen to read as a long-value pointer is no pointer:
    // deleting its row must leave the memo it seems to point at alone.
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("jet4/test2V2000.mdb"), jet::OpenMode::Exclusive);
    auto t = db->table("MSP_PROJECTS");
    const int id = t->columnIndex("PROJ_ID"), memo = t->columnIndex("PROJ_PROP_AUTHOR"),
              text = t->columnIndex("PROJ_VERSION");
    ASSERT_GE(id, 0);
    const std::string author(1000, 'x');
    db->insertRow("MSP_PROJECTS", {{id, jet::Value::int32(901)}, {memo, jet::Value::text(author)}});
    const LongValueRow lv = findLongValue(*db, 'x', author.size());
    ASSERT_NE(lv.page, 0u) << "the memo is on no long-value page";
    // The same twelve bytes as the memo's field, as UTF-16 (U+4000 keeps it uncompressed).
    std::string lookalike;
    for (uint32_t u : {lv.len & 0xFFFF, 0x4000 | (lv.len >> 16 & 0xFF), lv.row | (lv.page & 0xFF) << 8, lv.page >> 8, 0u, 0u})
        appendUtf8(lookalike, u);
    auto other = db->insertRow("MSP_PROJECTS", {{id, jet::Value::int32(902)}, {text, jet::Value::text(lookalike)}});
    db->deleteRow("MSP_PROJECTS", other);
    EXPECT_EQ(problems(*db), "");
    std::vector<jet::Value> memos;
    for (auto c = db->table("MSP_PROJECTS")->scan(); c.next();)
        if (c.row()[id] == jet::Value::int32(901)) memos.push_back(c.row()[memo]);
    EXPECT_EQ(memos, std::vector{jet::Value::text(author)});
}

TEST(WriteEdges, FreeSpaceMapDropsPagesThatFill) {
    // Rows with no value set are the smallest the table holds: once a page takes no more of them it must leave the free-space
    // map, or every later insert (ours or Access's) visits it in vain.
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("timer/sample.tdb"), jet::OpenMode::Exclusive);
    const uint32_t before = db->pager().pageCount();
    db->beginTransaction();
    for (int i = 0; i < 600; ++i) db->insertRow("Activities", {});
    db->commitTransaction();
    auto t = db->table("Activities");
    ASSERT_NE(t->freePagesMap(), 0u);
    size_t newListed = 0;
    for (uint32_t p : testutil::mapPages(*db, t->freePagesMap())) newListed += p >= before;
    ASSERT_GT(db->pager().pageCount(), before + 3) << "the rows no longer fill several pages";
    EXPECT_LE(newListed, 1u);
    EXPECT_EQ(problems(*db), "");
}

TEST(WriteEdges, LongValueThatExactlyFillsAPageGoesThere) {
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("timer/sample.tdb"), jet::OpenMode::Exclusive);
    const int note = db->table("Activities")->columnIndex("Note");
    db->insertRow("Activities", {{note, jet::Value::text(std::string(1000, 'x'))}});
    const LongValueRow a = findLongValue(*db, 'x', 1000);
    ASSERT_NE(a.page, 0u);
    const uint8_t* pg = db->pager().page(a.page);
    const unsigned freeBytes = pg[2] | pg[3] << 8;
    // The new row and its two-byte slot take the page's last free byte.
    const bool compressed = a.len == 1002;
    const size_t chars = compressed ? freeBytes - 2 - 2 : (freeBytes - 2) / 2;
    ASSERT_TRUE(compressed || freeBytes % 2 == 0);
    ASSERT_GT(chars, 64u);
    const uint32_t pages = db->pager().pageCount();
    db->insertRow("Activities", {{note, jet::Value::text(std::string(chars, 'y'))}});
    EXPECT_EQ(findLongValue(*db, 'y', chars).page, a.page);
    EXPECT_EQ(db->pager().pageCount(), pages);
    EXPECT_EQ(problems(*db), "");
}

TEST(WriteEdges, LongValuesOver64BytesLeaveTheRow) {
    // Access keeps at most 64 bytes of a memo inside its row and is reported to
    // refuse files with more there. Jet 3 stores a byte a letter.
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("jet3/test2V1997.mdb"), jet::OpenMode::Exclusive);
    auto t = db->table("MSP_PROJECTS");
    const int id = t->columnIndex("PROJ_ID"), memo = t->columnIndex("PROJ_PROP_AUTHOR");
    db->insertRow("MSP_PROJECTS", {{id, jet::Value::int32(901)}, {memo, jet::Value::text(std::string(64, 'p'))}});
    db->insertRow("MSP_PROJECTS", {{id, jet::Value::int32(902)}, {memo, jet::Value::text(std::string(65, 'q'))}});
    EXPECT_EQ(findLongValue(*db, 'p', 64).page, 0u) << "64 bytes left the row";
    EXPECT_NE(findLongValue(*db, 'q', 65).page, 0u) << "65 bytes stayed in the row";
    EXPECT_EQ(problems(*db), "");
}

// Activities rows sized to the byte: a one-letter note costs c1 (row and slot), each
// further letter two bytes (UTF-16, in the row up to 32 letters), a row without values cEmpty.
class ByteSizedRows {
public:
    explicit ByteSizedRows(jet::Database& db) : db_(db), note_(db.table("Activities")->columnIndex("Note")) {}
    uint32_t freeOf(uint32_t page) const { return jet::bytes::u16(db_.pager().page(page) + db_.format().dataFreeSpace); }
    jet::RowId insert(int letters) {
        if (!letters) return db_.insertRow("Activities", {});
        return db_.insertRow("Activities", {{note_, jet::Value::text(std::string(letters, 'x'))}});
    }
    int cost(int letters) const { return letters ? c1 + 2 * (letters - 1) : cEmpty; }
    // Measures the costs on `page`, where the next rows go.
    void measure(uint32_t page) {
        const uint32_t before = freeOf(page);
        EXPECT_EQ(insert(0).page, page);
        cEmpty = static_cast<int>(before - freeOf(page));
        oneLetter = insert(1);
        EXPECT_EQ(oneLetter.page, page);
        c1 = static_cast<int>(before - freeOf(page)) - cEmpty;
    }

    // Inserts rows on `page` until exactly `left` bytes stay free; returns the rows.
    std::vector<jet::RowId> fillTo(uint32_t page, uint32_t left) {
        std::vector<int> sizes = {0};
        for (int n = 1; n <= 32; ++n) sizes.push_back(n);
        std::vector<bool> reach(db_.format().pageSize + 1, false);  // sums of row costs
        reach[0] = true;
        for (size_t x = 1; x < reach.size(); ++x)
            for (int n : sizes) reach[x] = reach[x] || (x >= size_t(cost(n)) && reach[x - cost(n)]);
        std::vector<jet::RowId> rows;
        while (freeOf(page) > left) {
            const int need = static_cast<int>(freeOf(page) - left);
            int pick = -1;
            for (int n : sizes)
                if (need >= cost(n) && reach[need - cost(n)] && (pick < 0 || cost(n) > cost(pick))) pick = n;
            if (pick < 0) {
                ADD_FAILURE() << need << " bytes cannot be filled";
                return rows;
            }
            const uint32_t before = freeOf(page);
            rows.push_back(insert(pick));
            EXPECT_EQ(rows.back().page, page) << "a row of " << cost(pick) << " bytes with " << before << " free";
            EXPECT_EQ(before - freeOf(page), uint32_t(cost(pick)));
            if (rows.back().page != page) return rows;
        }
        return rows;
    }

    int cEmpty = 0, c1 = 0;
    jet::RowId oneLetter{};

private:
    jet::Database& db_;
    int note_;
};

// A page stays in the table's free-space map exactly while the smallest row still fits, however its rows change, also when it is
// the first page of the map's window; a row that takes a page's last free byte goes on that page.
TEST(WriteEdges, PagesFilledToTheByte) {
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("timer/sample.tdb"), jet::OpenMode::Exclusive);
    auto t = db->table("Activities");
    const uint32_t first = t->dataPages().at(0), freeMap = t->freePagesMap();
    auto listed = [&](uint32_t p) { return testutil::mapPages(*db, freeMap).count(p) > 0; };
    ByteSizedRows rows(*db);
    rows.measure(first);
    // Long notes take the file past the 512 pages the map's window spans.
    const int note = t->columnIndex("Note");
    while (db->pager().pageCount() < 520) db->insertRow("Activities", {{note, jet::Value::text(std::string(60000, 'L'))}});
    ASSERT_LT(db->pager().pageCount(), 560u);
    // Left with room for the smallest row but not a 32-letter one: that row starts a page
    // past the window, which slides to start at this page.
    rows.fillTo(first, rows.cEmpty - 2 + 14);
    const jet::RowId onNew = rows.insert(32);
    ASSERT_GE(onNew.page, 512u) << "the new page is inside the map's window";
    ASSERT_TRUE(listed(first) && listed(onNew.page));
    auto [m, len] = testutil::mapRow(*db, freeMap);
    ASSERT_EQ(m[0], 0);
    ASSERT_EQ(jet::bytes::u32(m + 1), first) << "the window no longer starts at the filled page";
    // A one-letter note grown by seven letters leaves the bytes of the smallest row, but not its slot's.
    db->updateRow("Activities", rows.oneLetter, {{note, jet::Value::text(std::string(8, 'x'))}});
    ASSERT_EQ(rows.freeOf(first), uint32_t(rows.cEmpty - 2));
    EXPECT_FALSE(listed(first));
    // Changing a full page's row without growing it keeps the page out.
    db->updateRow("Activities", rows.oneLetter, {{t->columnIndex("Exported"), jet::Value::boolean(true)}});
    EXPECT_FALSE(listed(first));
    // The new page, filled so that the last row takes its last byte.
    rows.fillTo(onNew.page, 0);
    EXPECT_EQ(rows.freeOf(onNew.page), 0u);
    EXPECT_FALSE(listed(onNew.page));
    EXPECT_EQ(problems(*db), "");
}

// Rows sit back to back from the page end in slot order; a page whose slots say
// otherwise is damaged and left alone: no new row lands on bytes a row may hold.
TEST(WriteEdges, PageWithRowsOutOfSlotOrderIsLeftAlone) {
    testutil::Scratch scratch;
    auto db = jet::Database::open(scratch.copy("timer/sample.tdb"), jet::OpenMode::Exclusive);
    const jet::Format& f = db->format();
    const uint32_t page = db->table("Activities")->dataPages().at(0);
    auto& wp = jet::detail::writablePager(*db);
    db->beginTransaction();
    uint8_t* p = wp.mutablePage(page);
    const unsigned n = jet::bytes::u16(p + f.dataRowCount);
    std::swap_ranges(p + f.dataRowTable + 2 * (n - 2), p + f.dataRowTable + 2 * (n - 1), p + f.dataRowTable + 2 * (n - 1));
    db->commitTransaction();
    const std::vector<uint8_t> damaged(wp.page(page), wp.page(page) + f.pageSize);
    const int note = db->table("Activities")->columnIndex("Note");
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(db->insertRow("Activities", {{note, jet::Value::text(std::string(20, 'n'))}}).page, page);
    EXPECT_TRUE(std::equal(damaged.begin(), damaged.end(), wp.page(page)));
}
}  // namespace

