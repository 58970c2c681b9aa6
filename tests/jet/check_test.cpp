// The integrity check: sound on every file Access made, and one hand-made fault of each kind reported.
#include <gtest/gtest.h>
#include "test_util.h"

using testutil::joined;

namespace {
jet::CheckReport checkBytes(const std::vector<uint8_t>& bytes) {
    return jet::checkDatabase(*jet::Database::openMemory(bytes.data(), bytes.size(), "damaged"));
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
        idFixedOffset = names->columns().at(names->columnIndex("ID")).fixedOffset;
        pkRoot = names->primaryKey()->firstPage;
    }
    std::vector<uint8_t> file;
    uint32_t tdef = 0, dataPage = 0, pkRoot = 0;
    uint16_t idFixedOffset = 0;
};

// One fault of each kind in the Names table; each is reported, naming what it hit.
TEST_F(CheckDamage, EachKindIsReported) {
    const size_t tbase = size_t(tdef) * kPage;
    const uint32_t mapPtr = u32(&file[tbase + 55]);
    auto db = jet::Database::openMemory(file.data(), file.size(), "sample");
    auto acts = db->table("Activities");
    // Flips the bit of `page` in the inline map at `map`, or in the map page it refers to.
    auto flipMapBit = [&](std::vector<uint8_t>& b, size_t map, uint32_t page) {
        if (b[map] == 0) {
            const uint32_t bit = page - u32(&b[map + 1]);
            b[map + 5 + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        } else {
            const uint32_t perPage = (kPage - 4) * 8, mp = u32(&b[map + 1 + 4 * (page / perPage)]);
            b[size_t(mp) * kPage + 4 + (page % perPage) / 8] ^= static_cast<uint8_t>(1u << (page % 8));
        }
    };
    const struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        std::vector<std::string> reported;
    } cases[] = {
        // Jet 4 rows start with a 2-byte column count, then the fixed columns.
        {"changed key in a row", [&](auto& b) { b[rowStart(b, dataPage, 0) + 2 + idFixedOffset] ^= 0x5A; },
         {"Names", "PrimaryKey"}},
        // The primary key of a small table is a single leaf; damage its first entry's key.
        {"changed index entry", [&](auto& b) { b[size_t(pkRoot) * kPage + 0x1E0 + 1] ^= 0x40; }, {"PrimaryKey"}},
        {"data page missing from the table's map",
         [&](auto& b) { flipMapBit(b, rowStart(b, mapPtr >> 8, mapPtr & 0xFF), dataPage); }, {"page " + std::to_string(dataPage)}},
        // Page 1 row 0 is the global map of free pages.
        {"used page listed as free", [&](auto& b) { flipMapBit(b, rowStart(b, 1, 0), dataPage); }, {"claimed"}},
        {"repeated keys in a unique index", [&](auto& b) { markUnique(b, acts->tdefPage(), *acts->findIndex("Name ID")); },
         {"index Name ID: unique index holds the key"}},
        {"wrong row count in the definition", [&](auto& b) { b[tbase + 16] += 1; }, {"rows"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = file;
        c.damage(bytes);
        auto r = checkBytes(bytes);
        for (const auto& word : c.reported) EXPECT_TRUE(mentions(r, word)) << joined(r);
    }
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
    for (const jet::Index& cand : t->indexes())
        if (tree = t->indexPages(cand); !cand.unique && tree.size() > 2 && !tree[0].leaf) {
            ix = &cand;
            break;
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
        {"leaf with a tail child", [&](auto& b) { b[leafAt + 20] = 0x01; }, "is a leaf but names a tail child"},
        {"free-space count off by one", [&](auto& b) { b[leafAt + 2] ^= 0x01; }, "free bytes but its entries leave"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = original;
        c.damage(bytes);
        auto r = checkBytes(bytes);
        EXPECT_TRUE(mentions(r, c.reported) && mentions(r, ix->name)) << joined(r);
    }
    // The distinct-key statistic drifts in Access's own files: a note, not damage.
    auto bytes = original;
    bytes[tdefAt + 63 + 4] ^= 0x10;
    auto r = checkBytes(bytes);
    EXPECT_TRUE(r.ok()) << joined(r);
    EXPECT_GT(r.notes.size(), checkBytes(original).notes.size());
}
