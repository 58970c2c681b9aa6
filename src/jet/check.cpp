#include "check.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <set>
#include <unordered_set>

#include "database.h"
#include "error.h"
#include "table.h"

namespace jet {
namespace {

constexpr size_t kMaxProblems = 1000;
// A definition longer than this many pages is treated as a loop rather than read on.
constexpr int kMaxTdefPages = 64;

uint16_t rd16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t rd32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

enum PageType : uint8_t { kHeader = 0x00, kData = 0x01, kTdef = 0x02, kIndexNode = 0x03, kIndexLeaf = 0x04, kMapPage = 0x05 };

struct RawTdef {
    std::vector<uint32_t> pages;  // the definition's own pages, first to last
    uint32_t usedMap = 0;
    uint32_t freeMap = 0;
    struct RealIndex {
        uint32_t usedMap = 0;
        uint32_t firstPage = 0;
        uint8_t flags = 0;
        uint32_t uniqueCount = 0;  // distinct keys, as the definition records them
    };
    std::vector<RealIndex> realIndexes;
    struct LvMaps {
        uint16_t column = 0;
        uint32_t usedMap = 0;
        uint32_t freeMap = 0;
    };
    std::vector<LvMaps> lvMaps;
};

class Checker {
public:
    explicit Checker(const Database& db) : db_(db), pager_(db.pager()), jet4_(db.header().version == Version::Jet4) {
        pageSize_ = pager_.pageSize();
        pageCount_ = pager_.pageCount();
        owner_.assign(pageCount_, -1);
        conflict_.assign(pageCount_, false);
    }

    CheckReport run();

private:
    // ---- problems and page ownership ----
    void problem(std::string s) {
        ++problemCount_;
        if (report_.problems.size() < kMaxProblems) report_.problems.push_back(std::move(s));
    }
    int label(const std::string& name) {
        auto it = labelIds_.find(name);
        if (it != labelIds_.end()) return it->second;
        labels_.push_back(name);
        return labelIds_[name] = static_cast<int>(labels_.size() - 1);
    }
    // Records that `who` holds page n; a page held by two different owners is a problem.
    bool claim(uint32_t n, const std::string& who) {
        if (n >= pageCount_) {
            problem(who + ": page " + std::to_string(n) + " is beyond the end of the file (" + std::to_string(pageCount_) +
                    " pages)");
            return false;
        }
        int id = label(who);
        if (owner_[n] == -1) {
            owner_[n] = id;
        } else if (owner_[n] != id && !conflict_[n]) {
            conflict_[n] = true;
            problem("page " + std::to_string(n) + " is claimed by " + labels_[owner_[n]] + " and by " + who);
        }
        return true;
    }

    // ---- raw page access ----
    const uint8_t* page(uint32_t n) const { return pager_.page(n); }
    uint32_t rowCountOffset() const { return jet4_ ? 12 : 8; }
    bool isLvalPage(const uint8_t* p) const { return p[0] == kData && std::memcmp(p + 4, "LVAL", 4) == 0; }
    bool allZero(const uint8_t* p) const {
        for (uint32_t i = 0; i < pageSize_; ++i)
            if (p[i]) return false;
        return true;
    }

    // Bytes of row `row` on data page `pg` (without following overflow), or false with `why`.
    bool rowBytes(uint32_t pg, unsigned row, const uint8_t*& begin, size_t& len, uint16_t& flags, std::string& why) const;
    // The bytes of a usage map or long-value row addressed by a row pointer (page << 8 | row).
    bool pointerRow(uint32_t ptr, const uint8_t*& begin, size_t& len, std::string& why) const {
        uint16_t flags = 0;
        if (!rowBytes(ptr >> 8, ptr & 0xFF, begin, len, flags, why)) return false;
        if (flags & 0x8000) {
            why = "row is deleted";
            return false;
        }
        return true;
    }

    // Pages a usage map lists; the pages holding the map itself are claimed as map storage.
    bool readUsageMap(uint32_t ptr, const std::string& who, std::vector<uint32_t>& pages, bool allowBeyondEnd);
    bool readTdef(uint32_t first, const std::string& who, RawTdef& out);

    void checkGlobalMap();
    void checkTable(const CatalogEntry& e);
    void checkRows(const Table& t, const RawTdef& raw, const std::vector<uint32_t>& dataPages);
    void checkIndexes(const Table& t, const RawTdef& raw, const std::vector<RowId>& live,
                      const std::vector<Row>& keyRows);
    void checkTree(const std::string& who, const std::vector<Table::IndexPageInfo>& tree);
    void followLongValues(const Table& t, RowId id, const std::string& who);
    bool locateField(const uint8_t* row, size_t len, const Column& c, const uint8_t*& field, size_t& flen) const;
    void checkUnclaimed();

    const Database& db_;
    const Pager& pager_;
    bool jet4_;
    uint32_t pageSize_ = 0;
    uint32_t pageCount_ = 0;
    CheckReport report_;
    size_t problemCount_ = 0;

    std::vector<int> owner_;
    std::vector<bool> conflict_;
    std::vector<std::string> labels_;
    std::map<std::string, int> labelIds_;
    std::map<uint32_t, std::string> liveTables_;  // tdef page -> table name
};

bool Checker::rowBytes(uint32_t pg, unsigned row, const uint8_t*& begin, size_t& len, uint16_t& flags,
                       std::string& why) const {
    if (pg == 0 || pg >= pageCount_) {
        why = "page " + std::to_string(pg) + " is outside the file";
        return false;
    }
    const uint8_t* p = page(pg);
    if (p[0] != kData) {
        why = "page " + std::to_string(pg) + " is not a data page";
        return false;
    }
    const uint32_t rc = rowCountOffset();
    unsigned count = rd16(p + rc);
    if (row >= count || rc + 2 + 2 * (count) > pageSize_) {
        why = "page " + std::to_string(pg) + " has no row " + std::to_string(row);
        return false;
    }
    uint16_t off = rd16(p + rc + 2 + 2 * row);
    flags = off & 0xE000;
    uint32_t start = off & 0x1FFF;
    uint32_t end = row == 0 ? pageSize_ : (rd16(p + rc + 2 * row) & 0x1FFF);
    if (start < rc + 2 + 2 * count || end > pageSize_ || start > end) {
        why = "page " + std::to_string(pg) + " row " + std::to_string(row) + " has a bad offset";
        return false;
    }
    begin = p + start;
    len = end - start;
    return true;
}

bool Checker::readUsageMap(uint32_t ptr, const std::string& who, std::vector<uint32_t>& pages, bool allowBeyondEnd) {
    pages.clear();
    const uint8_t* m = nullptr;
    size_t len = 0;
    std::string why;
    if (!pointerRow(ptr, m, len, why)) {
        problem(who + ": usage map at page " + std::to_string(ptr >> 8) + " row " + std::to_string(ptr & 0xFF) +
                " is unreadable: " + why);
        return false;
    }
    claim(ptr >> 8, "usage maps");
    if (len < 1) {
        problem(who + ": usage map at page " + std::to_string(ptr >> 8) + " is empty");
        return false;
    }
    size_t beyond = 0;
    auto add = [&](uint64_t n) {
        if (n >= pageCount_) {
            if (!allowBeyondEnd && beyond++ == 0)
                problem(who + ": usage map lists page " + std::to_string(n) + " beyond the end of the file");
            return;
        }
        pages.push_back(static_cast<uint32_t>(n));
    };
    if (m[0] == 0) {
        if (len < 5) {
            problem(who + ": usage map at page " + std::to_string(ptr >> 8) + " is truncated");
            return false;
        }
        uint64_t start = rd32(m + 1);
        for (size_t i = 5; i < len; ++i)
            for (int b = 0; b < 8; ++b)
                if (m[i] >> b & 1) add(start + (i - 5) * 8 + b);
    } else if (m[0] == 1) {
        const uint64_t perPage = static_cast<uint64_t>(pageSize_ - 4) * 8;
        for (size_t k = 0; 1 + 4 * k + 4 <= len; ++k) {
            if (k * perPage >= pageCount_ && allowBeyondEnd) break;  // nothing left that could exist
            uint32_t mp = rd32(m + 1 + 4 * k);
            // Slots Jet never filled hold zero or a negative number (Access leaves bitmap bytes there).
            if (mp == 0 || (mp & 0x80000000u)) continue;
            if (mp >= pageCount_ || page(mp)[0] != kMapPage) {
                problem(who + ": usage map refers to page " + std::to_string(mp) + " which is not a usage map page");
                continue;
            }
            claim(mp, who + " (map page)");
            const uint8_t* mpg = page(mp);
            for (uint32_t i = 4; i < pageSize_; ++i)
                for (int b = 0; b < 8; ++b)
                    if (mpg[i] >> b & 1) add(k * perPage + (i - 4) * 8 + b);
        }
    } else {
        problem(who + ": usage map at page " + std::to_string(ptr >> 8) + " has unknown type " + std::to_string(m[0]));
        return false;
    }
    return true;
}

bool Checker::readTdef(uint32_t first, const std::string& who, RawTdef& out) {
    std::vector<uint8_t> t;
    std::unordered_set<uint32_t> seen;
    uint32_t pg = first;
    while (pg) {
        if (pg >= pageCount_ || !seen.insert(pg).second || static_cast<int>(out.pages.size()) >= kMaxTdefPages) {
            problem(who + ": definition chain reaches bad page " + std::to_string(pg));
            return false;
        }
        const uint8_t* p = page(pg);
        if (p[0] != kTdef) {
            problem(who + ": definition page " + std::to_string(pg) + " has page type " + std::to_string(p[0]));
            return false;
        }
        out.pages.push_back(pg);
        if (t.empty())
            t.assign(p, p + pageSize_);
        else
            t.insert(t.end(), p + 8, p + pageSize_);
        pg = rd32(p + 4);
    }
    size_t pos = 0;
    bool ok = true;
    auto need = [&](size_t at, size_t n) {
        if (at + n > t.size()) ok = false;
        return ok;
    };
    auto u16 = [&](size_t at) -> uint32_t { return need(at, 2) ? rd16(&t[at]) : 0; };
    auto u32 = [&](size_t at) -> uint32_t { return need(at, 4) ? rd32(&t[at]) : 0; };
    uint32_t numCols, numIdx, numReal;
    if (jet4_) {
        numCols = u16(45);
        numIdx = u32(47);
        numReal = u32(51);
        out.usedMap = u32(55);
        out.freeMap = u32(59);
        pos = 63 + 12 * static_cast<size_t>(numReal);
    } else {
        numCols = u16(25);
        numIdx = u32(27);
        numReal = u32(31);
        out.usedMap = u32(35);
        out.freeMap = u32(39);
        pos = 43 + 8 * static_cast<size_t>(numReal);
    }
    if (!ok || numReal > 1000 || numIdx > 1000) {
        problem(who + ": definition header is damaged");
        return false;
    }
    pos += static_cast<size_t>(numCols) * (jet4_ ? 25 : 18);
    for (uint32_t c = 0; c < numCols && ok; ++c) pos += jet4_ ? 2 + u16(pos) : 1 + (need(pos, 1) ? t[pos] : 0);
    for (uint32_t r = 0; r < numReal && ok; ++r) {
        size_t base = pos + (jet4_ ? 4 : 0);
        // Jet 4 has four more bytes between the root page and the flags.
        uint8_t flags = need(base + (jet4_ ? 42 : 38), 1) ? t[base + (jet4_ ? 42 : 38)] : 0;
        uint32_t uniqueCount = u32((jet4_ ? 63 + 12 * r : 43 + 8 * r) + 4);
        out.realIndexes.push_back({u32(base + 30), u32(base + 34), flags, uniqueCount});
        pos += jet4_ ? 52 : 39;
    }
    pos += static_cast<size_t>(numIdx) * (jet4_ ? 28 : 20);
    for (uint32_t i = 0; i < numIdx && ok; ++i) pos += jet4_ ? 2 + u16(pos) : 1 + (need(pos, 1) ? t[pos] : 0);
    if (!ok) {
        problem(who + ": definition is truncated");
        return false;
    }
    // Long-value columns' own usage maps follow, ended by column number 0xFFFF.
    while (pos + 10 <= t.size()) {
        uint16_t col = rd16(&t[pos]);
        if (col == 0xFFFF) break;
        out.lvMaps.push_back({col, rd32(&t[pos + 2]), rd32(&t[pos + 6])});
        pos += 10;
        if (out.lvMaps.size() > 1000) break;
    }
    return true;
}

void Checker::checkGlobalMap() {
    claim(0, "file header");
    if (pageCount_ < 2) {
        problem("the file has no global usage map page");
        return;
    }
    std::vector<uint32_t> freePages;
    if (!readUsageMap(1u << 8, "global usage map", freePages, true)) return;
    for (uint32_t n : freePages) claim(n, "the free-page map");
}

// Where column c's bytes sit in a raw row; false for a null or absent value.
bool Checker::locateField(const uint8_t* row, size_t len, const Column& c, const uint8_t*& field, size_t& flen) const {
    if (jet4_) {
        if (len < 2) return false;
        unsigned numCols = rd16(row);
        size_t nm = (numCols + 7) / 8;
        if (c.number >= numCols || len < 2 + nm + 2) return false;
        const uint8_t* mask = row + len - nm;
        if (!(mask[c.number / 8] >> (c.number % 8) & 1)) return false;
        if (c.fixed) return false;
        size_t varLenAt = len - nm - 2;
        unsigned varLen = rd16(row + varLenAt);
        if (c.varIndex >= varLen || varLenAt < 2 * (static_cast<size_t>(varLen) + 1)) return false;
        auto entry = [&](unsigned i) { return rd16(row + varLenAt - 2 * (i + 1)); };
        size_t start = entry(c.varIndex), end = entry(c.varIndex + 1);  // index varLen is the end-of-data offset
        if (start > end || end > len) return false;
        field = row + start;
        flen = end - start;
        return true;
    }
    if (len < 1) return false;
    unsigned numCols = row[0];
    size_t nm = (numCols + 7) / 8;
    if (c.number >= numCols || len < 1 + nm + 1) return false;
    const uint8_t* mask = row + len - nm;
    if (!(mask[c.number / 8] >> (c.number % 8) & 1)) return false;
    if (c.fixed) return false;
    size_t varLenAt = len - nm - 1;
    unsigned varLen = row[varLenAt];
    size_t jumps = (len - 1) / 256;
    if (c.varIndex >= varLen || varLenAt < jumps + varLen + 1) return false;
    const uint8_t* jump = row + varLenAt - jumps;  // jump[jumps-1-k] is the k-th entry
    auto entry = [&](unsigned i) {
        size_t off = row[varLenAt - jumps - 1 - i];
        for (size_t k = 0; k < jumps; ++k)
            if (jump[jumps - 1 - k] <= i) off += 256;
        return off;
    };
    size_t start = entry(c.varIndex), end = entry(c.varIndex + 1);
    if (start > end || end > len) return false;
    field = row + start;
    flen = end - start;
    return true;
}

// Long values live on pages the per-column maps should list; some writers leave them
// out, so pages reached from live rows count as the table's too.
void Checker::followLongValues(const Table& t, RowId id, const std::string& who) {
    const uint8_t* row = nullptr;
    size_t len = 0;
    uint16_t flags = 0;
    std::string why;
    uint32_t pg = id.page;
    unsigned r = id.row;
    for (int hop = 0;; ++hop) {
        if (!rowBytes(pg, r, row, len, flags, why) || hop > 4) return;
        if (!(flags & 0x4000)) break;
        if (len < 4) return;
        uint32_t ptr = rd32(row);
        pg = ptr >> 8;
        r = ptr & 0xFF;
    }
    for (const Column& c : t.columns()) {
        if (c.type != ColType::Memo && c.type != ColType::OLE) continue;
        const uint8_t* f = nullptr;
        size_t flen = 0;
        if (!locateField(row, len, c, f, flen) || flen < 12) continue;
        uint8_t kind = f[3] & 0xC0;
        if (kind == 0x80) continue;  // stored inline
        uint32_t ptr = rd32(f + 4);
        for (size_t steps = 0; ptr && steps <= pageCount_; ++steps) {
            uint32_t lp = ptr >> 8;
            if (lp >= pageCount_ || !isLvalPage(page(lp))) break;  // readRow reports unreadable values
            claim(lp, who);
            if (kind == 0x40) break;
            const uint8_t* lv = nullptr;
            size_t lvLen = 0;
            if (!pointerRow(ptr, lv, lvLen, why) || lvLen < 4) break;
            ptr = rd32(lv);
        }
    }
}

void Checker::checkRows(const Table& t, const RawTdef& raw, const std::vector<uint32_t>& dataPages) {
    const std::string tn = "table " + t.name();
    // Every slot that is not deleted must be readable, long values included.
    for (uint32_t pg : dataPages) {
        const uint8_t* p = page(pg);
        if (p[0] != kData || isLvalPage(p)) continue;
        unsigned count = rd16(p + rowCountOffset());
        if (rowCountOffset() + 2 + 2u * count > pageSize_) {
            problem(tn + ": data page " + std::to_string(pg) + " claims " + std::to_string(count) + " rows");
            continue;
        }
        for (unsigned r = 0; r < count; ++r) {
            uint16_t off = rd16(p + rowCountOffset() + 2 + 2 * r);
            if (off & 0x8000) continue;
            try {
                (void)t.readRow(RowId{pg, static_cast<uint16_t>(r)});
            } catch (const std::exception& e) {
                problem(tn + ": page " + std::to_string(pg) + " row " + std::to_string(r) + " is unreadable: " + e.what());
            }
        }
    }

    // The table's own order gives the live rows; counts and indexes are checked against them.
    std::vector<RowId> live;
    std::vector<int> keyCols;
    for (const Index& ix : t.indexes())
        for (const IndexColumn& ic : ix.columns)
            if (ic.column >= 0 && std::find(keyCols.begin(), keyCols.end(), ic.column) == keyCols.end())
                keyCols.push_back(ic.column);
    std::sort(keyCols.begin(), keyCols.end());
    std::vector<Row> keyRows;
    const std::string lvWho = tn + " long values";
    try {
        auto cur = t.scan(keyCols);
        while (cur.next()) {
            live.push_back(cur.rowId());
            keyRows.push_back(cur.row());
            if (live.size() > static_cast<size_t>(pageCount_) * 4096) {
                problem(tn + ": scan does not end");
                break;
            }
        }
    } catch (const std::exception& e) {
        problem(tn + ": scan stopped after " + std::to_string(live.size()) + " rows: " + e.what());
    }
    bool hasLv = false;
    for (const Column& c : t.columns()) hasLv |= c.type == ColType::Memo || c.type == ColType::OLE;
    if (hasLv)
        for (RowId id : live) followLongValues(t, id, lvWho);
    // Access does not keep the stored count of its own system tables current.
    if (!t.isSystem() && live.size() != t.rowCount())
        problem(tn + ": definition says " + std::to_string(t.rowCount()) + " rows, the table holds " +
                std::to_string(live.size()));
    {
        std::vector<RowId> sorted = live;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
            problem(tn + ": the scan returns a row more than once");
    }
    checkIndexes(t, raw, live, keyRows);
}

void Checker::checkIndexes(const Table& t, const RawTdef& raw, const std::vector<RowId>& live,
                           const std::vector<Row>& keyRows) {
    std::set<int> done;
    for (const Index& ix : t.indexes()) {
        if (!done.insert(ix.realIndex).second) continue;  // logical indexes sharing one physical index
        const std::string who = "table " + t.name() + " index " + ix.name;
        std::vector<Table::IndexEntry> entries;
        try {
            auto tree = t.indexPages(ix);
            checkTree(who, tree);
            for (auto& pg : tree)
                if (pg.leaf) entries.insert(entries.end(), pg.entries.begin(), pg.entries.end());
        } catch (const std::exception& e) {
            problem(who + ": entries unreadable: " + e.what());
            continue;
        }
        const bool unique = ix.unique || ix.primaryKey;
        size_t distinct = 0, dupes = 0;
        std::vector<RowId> pointed;
        pointed.reserve(entries.size());
        size_t bad = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            const auto& en = entries[i];
            pointed.push_back(en.row);
            const bool sameKey = i > 0 && entries[i - 1].key == en.key;
            distinct += !sameKey;
            if (i > 0 && entries[i - 1].key > en.key)
                problem(who + ": entry for page " + std::to_string(en.row.page) + " row " + std::to_string(en.row.row) +
                        " is out of order");
            try {
                auto row = t.readRow(en.row);
                if (!row) {
                    problem(who + ": entry points at page " + std::to_string(en.row.page) + " row " +
                            std::to_string(en.row.row) + ", which is not a live row");
                    continue;
                }
                if (t.encodeKey(ix, *row) != en.key)
                    problem(who + ": entry for page " + std::to_string(en.row.page) + " row " +
                            std::to_string(en.row.row) + " does not match the row's key");
                // A key with a Null part equals nothing, so a unique index may hold it more than once.
                bool anyNull = false;
                for (const IndexColumn& ic : ix.columns)
                    anyNull |= ic.column < 0 || static_cast<size_t>(ic.column) >= row->size() || (*row)[ic.column].isNull();
                if (unique && sameKey && !anyNull && ++dupes <= 3)
                    problem(who + ": unique index holds the key of page " + std::to_string(en.row.page) + " row " +
                            std::to_string(en.row.row) + " more than once");
            } catch (const std::exception& e) {
                if (++bad <= 3)
                    problem(who + ": entry for page " + std::to_string(en.row.page) + " row " +
                            std::to_string(en.row.row) + ": " + e.what());
            }
        }
        if (ix.realIndex >= 0 && static_cast<size_t>(ix.realIndex) < raw.realIndexes.size() &&
            raw.realIndexes[ix.realIndex].uniqueCount != distinct)
            report_.notes.push_back(who + ": definition counts " +
                                    std::to_string(raw.realIndexes[ix.realIndex].uniqueCount) +
                                    " distinct keys, the index holds " + std::to_string(distinct));
        std::sort(pointed.begin(), pointed.end());
        if (std::adjacent_find(pointed.begin(), pointed.end()) != pointed.end())
            problem(who + ": a row has more than one entry");
        for (size_t i = 0; i < live.size(); ++i) {
            if (std::binary_search(pointed.begin(), pointed.end(), live[i])) continue;
            // Read from the definition directly: an ignore-nulls index simply lacks all-Null rows.
            bool ignoreNulls = ix.ignoreNulls;
            if (ix.realIndex >= 0 && static_cast<size_t>(ix.realIndex) < raw.realIndexes.size())
                ignoreNulls = raw.realIndexes[ix.realIndex].flags & 0x02;
            if (ignoreNulls) {
                bool allNull = true;
                for (const IndexColumn& ic : ix.columns) {
                    const Row& r = keyRows[i];
                    if (ic.column >= 0 && static_cast<size_t>(ic.column) < r.size() && !r[ic.column].isNull())
                        allNull = false;
                }
                if (allNull) continue;
            }
            problem(who + ": page " + std::to_string(live[i].page) + " row " + std::to_string(live[i].row) +
                    " has no entry");
        }
    }
}

// The B-tree's own shape: what a reader descending it or walking a level relies on.
void Checker::checkTree(const std::string& who, const std::vector<Table::IndexPageInfo>& tree) {
    std::map<uint32_t, size_t> at;
    for (size_t i = 0; i < tree.size(); ++i) at[tree[i].page] = i;
    const std::string pg = ": index page ";
    // The entry a parent must hold for page i: its last one, or its tail child's.
    auto lastOf = [&](size_t i) -> const Table::IndexEntry* {
        for (int hops = 0; hops <= 64; ++hops) {
            const auto& p = tree[i];
            if (!p.leaf && p.tail && (p.children.empty() || p.children.back() != p.tail)) {
                i = at.at(p.tail);
                continue;
            }
            return p.entries.empty() ? nullptr : &p.entries.back();
        }
        return nullptr;
    };
    auto before = [](const Table::IndexEntry& a, const Table::IndexEntry& b) {
        return a.key != b.key ? a.key < b.key : a.row < b.row;
    };
    int leafDepth = -1;
    std::map<int, std::vector<size_t>> levels;
    for (size_t i = 0; i < tree.size(); ++i) {
        const auto& p = tree[i];
        const std::string here = who + pg + std::to_string(p.page);
        levels[p.depth].push_back(i);
        if (p.leaf) {
            if (leafDepth < 0) leafDepth = p.depth;
            else if (leafDepth != p.depth) problem(here + " is a leaf at a different depth from the others");
        }
        if (p.leaf && p.tailField != 0) problem(here + " is a leaf but names a tail child");
        if (p.freeField != p.unused)
            problem(here + " counts " + std::to_string(p.freeField) + " free bytes but its entries leave " +
                    std::to_string(p.unused));
        if (p.entries.empty() && (p.depth > 0 || !p.leaf))
            problem(here + (p.tail ? " has only a tail child" : " is empty but still in the tree"));
        for (size_t k = 1; k < p.entries.size(); ++k)
            if (!before(p.entries[k - 1], p.entries[k])) {
                problem(here + ": entry " + std::to_string(k) + " is not after the one before it");
                break;
            }
        for (size_t k = 0; k < p.children.size(); ++k) {
            auto c = at.find(p.children[k]);
            if (c == at.end()) continue;
            const Table::IndexEntry* last = lastOf(c->second);
            if (!last || last->key != p.entries[k].key || last->row != p.entries[k].row)
                problem(here + ": entry " + std::to_string(k) + " is not the last key of its child page " +
                        std::to_string(p.children[k]));
        }
    }
    // Pages of one level are chained in key order; the chain ends at both sides of the level.
    for (const auto& [depth, pages] : levels) {
        for (size_t k = 0; k < pages.size(); ++k) {
            const auto& p = tree[pages[k]];
            const uint32_t wantPrev = k > 0 ? tree[pages[k - 1]].page : 0;
            const uint32_t wantNext = k + 1 < pages.size() ? tree[pages[k + 1]].page : 0;
            if (p.prev != wantPrev || p.next != wantNext) {
                problem(who + pg + std::to_string(p.page) + " links to " + std::to_string(p.prev) + " and " +
                        std::to_string(p.next) + ", its neighbours in the tree are " + std::to_string(wantPrev) +
                        " and " + std::to_string(wantNext));
                break;
            }
        }
    }
}

void Checker::checkTable(const CatalogEntry& e) {
    const std::string tn = "table " + e.name;
    std::shared_ptr<const Table> t;
    try {
        t = db_.table(e.name);
    } catch (const std::exception& ex) {
        problem(tn + ": definition unreadable: " + ex.what());
        return;
    }
    RawTdef raw;
    if (!readTdef(t->tdefPage(), tn, raw)) return;
    for (uint32_t pg : raw.pages) claim(pg, tn + " definition");

    std::vector<uint32_t> dataPages;
    if (readUsageMap(raw.usedMap, tn, dataPages, false)) {
        for (uint32_t pg : dataPages) {
            claim(pg, tn);
            const uint8_t* p = page(pg);
            if (p[0] != kData || isLvalPage(p))
                problem(tn + ": usage map lists page " + std::to_string(pg) + " which is not a data page");
            else if (rd32(p + 4) != t->tdefPage())
                problem(tn + ": data page " + std::to_string(pg) + " names definition page " + std::to_string(rd32(p + 4)));
        }
    }
    std::vector<uint32_t> freeSpace;
    if (raw.freeMap && readUsageMap(raw.freeMap, tn + " free-space map", freeSpace, false)) {
        std::vector<uint32_t> sorted = dataPages;
        std::sort(sorted.begin(), sorted.end());
        for (uint32_t pg : freeSpace)
            if (!std::binary_search(sorted.begin(), sorted.end(), pg))
                problem(tn + ": free-space map lists page " + std::to_string(pg) + " which the table does not own");
    }
    for (size_t i = 0; i < raw.realIndexes.size(); ++i) {
        const auto& ri = raw.realIndexes[i];
        std::string who = tn + " index #" + std::to_string(i);
        for (const Index& ix : t->indexes())
            if (ix.realIndex == static_cast<int>(i)) {
                who = tn + " index " + ix.name;
                break;
            }
        std::vector<uint32_t> pages;
        if (!readUsageMap(ri.usedMap, who, pages, false)) continue;
        bool rootListed = false;
        for (uint32_t pg : pages) {
            claim(pg, who);
            rootListed |= pg == ri.firstPage;
            const uint8_t* p = page(pg);
            if (p[0] != kIndexNode && p[0] != kIndexLeaf)
                problem(who + ": usage map lists page " + std::to_string(pg) + " which is not an index page");
            else if (rd32(p + 4) != t->tdefPage())
                problem(who + ": index page " + std::to_string(pg) + " names definition page " + std::to_string(rd32(p + 4)));
        }
        if (!rootListed) problem(who + ": root page " + std::to_string(ri.firstPage) + " is not in its usage map");
    }
    const std::string lvWho = tn + " long values";
    for (const auto& lm : raw.lvMaps) {
        std::vector<uint32_t> pages;
        if (lm.usedMap && readUsageMap(lm.usedMap, lvWho, pages, false))
            for (uint32_t pg : pages) {
                claim(pg, lvWho);
                if (!isLvalPage(page(pg)))
                    problem(lvWho + ": usage map lists page " + std::to_string(pg) + " which is not a long-value page");
            }
        if (lm.freeMap) {
            std::vector<uint32_t> ignored;
            readUsageMap(lm.freeMap, lvWho + " free-space map", ignored, false);
        }
    }
    checkRows(*t, raw, dataPages);
}

void Checker::checkUnclaimed() {
    for (uint32_t n = 0; n < pageCount_; ++n) {
        if (owner_[n] != -1) continue;
        const uint8_t* p = page(n);
        const std::string pg = "page " + std::to_string(n);
        if (p[0] == kData && !isLvalPage(p)) {
            auto it = liveTables_.find(rd32(p + 4));
            if (it != liveTables_.end())
                problem(pg + " is a data page of table " + it->second + " but is missing from its usage map");
        } else if (p[0] == kIndexNode || p[0] == kIndexLeaf) {
            auto it = liveTables_.find(rd32(p + 4));
            if (it != liveTables_.end())
                problem(pg + " is an index page of table " + it->second + " but no index's usage map lists it");
        }
        // Anything else is space nothing refers to: zero-filled pages, definitions and long
        // values of dropped tables, retired page types. Access leaves such pages in sound files.
    }
}

CheckReport Checker::run() {
    if (pageCount_ == 0) {
        problem("the file has no pages");
        return report_;
    }
    try {
        checkGlobalMap();
        for (const CatalogEntry& e : db_.catalog())
            if (e.type == 1) liveTables_.emplace(e.tdefPage(), e.name);
        std::set<uint32_t> seenTdefs;
        for (const CatalogEntry& e : db_.catalog()) {
            if (e.type != 1) continue;
            if (!seenTdefs.insert(e.tdefPage()).second) {
                problem("table " + e.name + ": shares definition page " + std::to_string(e.tdefPage()) +
                        " with another table");
                continue;
            }
            checkTable(e);
        }
        checkUnclaimed();
    } catch (const std::exception& e) {
        problem(std::string("check stopped: ") + e.what());
    }
    if (problemCount_ > report_.problems.size())
        report_.problems.push_back("... and " + std::to_string(problemCount_ - report_.problems.size()) +
                                   " more problems");
    return std::move(report_);
}

}  // namespace

CheckReport checkDatabase(const Database& db) { return Checker(db).run(); }

}  // namespace jet
