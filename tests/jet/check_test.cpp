// The integrity check: sound on every file Access made, and one hand-made
// fault of each kind reported.
#include <gtest/gtest.h>

#include <functional>

#include "test_util.h"

using testutil::joined;

namespace {

jet::CheckReport checkBytes(const std::vector<uint8_t>& bytes) {
    auto db = jet::Database::openMemory(bytes.data(), bytes.size(), "damaged");
    return jet::checkDatabase(*db);
}

bool mentions(const jet::CheckReport& r, const std::string& word) {
    return std::any_of(r.problems.begin(), r.problems.end(), [&](const auto& p) { return p.find(word) != std::string::npos; });
}

using jet::bytes::u32;
constexpr uint32_t kPage = 4096;  // sample.tdb is Jet 4

// Byte offset of row `row` on data page `pg` of a Jet 4 file.
size_t rowStart(const std::vector<uint8_t>& f, uint32_t pg, unsigned row) {
    return size_t(pg) * kPage + (jet::bytes::u16(&f[size_t(pg) * kPage + 14 + 2 * row]) & 0x1FFF);
}

}  // namespace

// Files written by Access (and the Timer files) are sound: any problem reported here is the check's fault.
TEST(Check, ReferenceFilesAreSound) {
    const auto files = testutil::allDataFiles();
    for (const auto& f : files) EXPECT_EQ(testutil::problems(*jet::Database::open(testutil::dataPath(f))), "") << f;
    EXPECT_GE(files.size(), 40u);
}

// Marks `ix` unique in its table's one-page definition: the real index entry holds
// its usage map and root page, then (four bytes on) its flags.
void markUnique(std::vector<uint8_t>& file, uint32_t tdef, const jet::Index& ix) {
    const size_t at = size_t(tdef) * kPage;
    for (size_t i = 0; i + 12 < kPage; ++i)
        if (u32(&file[at + i]) == ix.usedPagesRef && u32(&file[at + i + 4]) == ix.firstPage) {
            file[at + i + 12] |= 0x01;
            return;
        }
    FAIL() << "no definition entry for index " << ix.name;
}

class CheckDamage : public ::testing::Test {
protected:
    void SetUp() override {
        file = testutil::slurp(testutil::dataPath("timer/sample.tdb"));
        ASSERT_FALSE(file.empty());
        auto db = jet::Database::openMemory(file.data(), file.size(), "sample");
        auto names = db->table("Names");
        tdef = names->tdefPage();
        dataPage = names->dataPages().at(0);
        const jet::Column& id = names->columns().at(names->columnIndex("ID"));
        idFixedOffset = id.fixedOffset;
        for (const jet::Index& ix : names->indexes())
            if (ix.primaryKey) pkRoot = ix.firstPage;
        ASSERT_NE(pkRoot, 0u);
    }
    std::vector<uint8_t> file;
    uint32_t tdef = 0, dataPage = 0, pkRoot = 0;
    uint16_t idFixedOffset = 0;
};

TEST_F(CheckDamage, ChangedKeyInRowBreaksIndex) {
    // Jet 4 rows start with a 2-byte column count, then the fixed columns.
    size_t at = rowStart(file, dataPage, 0) + 2 + idFixedOffset;
    file[at] ^= 0x5A;
    auto r = checkBytes(file);
    EXPECT_TRUE(mentions(r, "Names")) << joined(r);
    EXPECT_TRUE(mentions(r, "PrimaryKey")) << joined(r);
}

TEST_F(CheckDamage, ChangedIndexEntry) {
    // The primary key of a small table is a single leaf; damage its first entry's key.
    const size_t base = size_t(pkRoot) * kPage;
    ASSERT_EQ(file[base], 0x04);
    file[base + 0x1E0 + 1] ^= 0x40;
    auto r = checkBytes(file);
    EXPECT_TRUE(mentions(r, "PrimaryKey")) << joined(r);
}

TEST_F(CheckDamage, ClearedUsageMap) {
    const size_t tbase = size_t(tdef) * kPage;
    uint32_t ptr = u32(&file[tbase + 55]);
    size_t map = rowStart(file, ptr >> 8, ptr & 0xFF);
    // Clear the table's bit for its first data page, in an inline map or in a map page it refers to.
    if (file[map] == 0) {
        uint32_t start = u32(&file[map + 1]);
        ASSERT_GE(dataPage, start);
        file[map + 5 + (dataPage - start) / 8] &= static_cast<uint8_t>(~(1u << ((dataPage - start) % 8)));
    } else {
        ASSERT_EQ(file[map], 1);
        const uint32_t perPage = (kPage - 4) * 8;
        uint32_t mp = u32(&file[map + 1 + 4 * (dataPage / perPage)]);
        ASSERT_EQ(file[size_t(mp) * kPage], 0x05);
        uint32_t bit = dataPage % perPage;
        file[size_t(mp) * kPage + 4 + bit / 8] &= static_cast<uint8_t>(~(1u << (bit % 8)));
    }
    auto r = checkBytes(file);
    EXPECT_TRUE(mentions(r, "page " + std::to_string(dataPage))) << joined(r);
}

TEST_F(CheckDamage, UsedPageMarkedFree) {
    // Page 1 row 0 is the global map of free pages; list the table's data page there too.
    size_t map = rowStart(file, 1, 0);
    ASSERT_EQ(file[map], 0);
    uint32_t start = u32(&file[map + 1]);
    ASSERT_GE(dataPage, start);
    file[map + 5 + (dataPage - start) / 8] |= static_cast<uint8_t>(1u << ((dataPage - start) % 8));
    auto r = checkBytes(file);
    EXPECT_TRUE(mentions(r, "claimed")) << joined(r);
}

TEST_F(CheckDamage, RepeatedKeysInUniqueIndex) {
    auto db = jet::Database::openMemory(file.data(), file.size(), "sample");
    auto t = db->table("Activities");
    markUnique(file, t->tdefPage(), *t->findIndex("Name ID"));
    auto r = checkBytes(file);
    EXPECT_TRUE(mentions(r, "index Name ID: unique index holds the key")) << joined(r);
}

TEST_F(CheckDamage, WrongRowCountInDefinition) {
    const size_t tbase = size_t(tdef) * kPage;
    file[tbase + 16] += 1;
    auto r = checkBytes(file);
    EXPECT_TRUE(mentions(r, "rows")) << joined(r);
}

// One hand-made fault per kind in a two-level index; each must be reported.
TEST(CheckIndexTree, HandMadeFaults) {
    const auto original = testutil::slurp(testutil::dataPath("jet4/compIndexTestV2000.mdb"));
    auto db = jet::Database::openMemory(original.data(), original.size(), "comp");
    auto t = db->table("Table1");
    const jet::Format& f = db->format();
    // A non-unique index deep enough to have intermediate pages and keys shared by several rows.
    const jet::Index* ix = nullptr;
    std::vector<jet::Table::IndexPageInfo> tree;
    for (const jet::Index& cand : t->indexes()) {
        auto pages = t->indexPages(cand);
        if (!cand.unique && pages.size() > 2 && !pages[0].leaf) {
            ix = &cand;
            tree = std::move(pages);
            break;
        }
    }
    ASSERT_NE(ix, nullptr);
    std::vector<const jet::Table::IndexPageInfo*> leaves;
    for (const auto& p : tree)
        if (p.leaf) leaves.push_back(&p);
    const auto& node = tree[0];
    const size_t nodeAt = size_t(node.page) * kPage, leafAt = size_t(leaves[1]->page) * kPage;
    // Entry 0 of a page ends at its first mask bit; a node entry ends with row pointer and child page.
    size_t end0 = 0;
    while (!(original[nodeAt + f.idxBitmaskStart + end0 / 8] >> (end0 % 8) & 1)) ++end0;
    const size_t tdefAt = size_t(t->tdefPage()) * kPage;

    const struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* reported;
    } cases[] = {
        {"parent entry differs from its child's last key",
         [&](auto& b) { b[nodeAt + f.idxEntryStart + end0 - 5] ^= 0x01; }, "is not the last key of its child"},
        {"leaf emptied but left in the tree",
         [&](auto& b) { std::fill(&b[leafAt + f.idxBitmaskStart], &b[leafAt + f.idxEntryStart], 0); },
         "is empty but still in the tree"},
        {"broken sibling chain", [&](auto& b) { std::fill(&b[leafAt + 12], &b[leafAt + 16], 0); }, "links to"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = original;
        c.damage(bytes);
        auto r = checkBytes(bytes);
        EXPECT_TRUE(mentions(r, c.reported)) << joined(r);
        EXPECT_TRUE(mentions(r, ix->name)) << joined(r);
    }
    // The distinct-key statistic drifts in Access's own files: a note, not damage.
    auto bytes = original;
    bytes[tdefAt + 63 + 4] ^= 0x10;
    auto r = checkBytes(bytes);
    EXPECT_TRUE(r.ok()) << joined(r);
    EXPECT_GT(r.notes.size(), checkBytes(original).notes.size());
}
