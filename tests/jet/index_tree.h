// Reads a table's index B-trees page by page, apart from the engine's own
// index code, and lists what breaks the layout Jet keeps: a parent entry that
// is not its child's last entry, an empty page, a wrong tail, a broken sibling
// link, entries out of order, a distinct-key count that differs from the leaves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/format.h"

namespace indextree {

struct Entry {
    std::vector<uint8_t> key;
    uint32_t row = 0;
    bool operator<(const Entry& o) const { return key != o.key ? key < o.key : row < o.row; }
    bool operator==(const Entry& o) const = default;
};

struct Page {
    uint32_t no = 0, prev = 0, next = 0, tail = 0;
    bool leaf = true;
    std::vector<Entry> entries;
    std::vector<uint32_t> children;
};

inline uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
inline uint32_t be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

inline Page readPage(const jet::Database& db, uint32_t no) {
    const jet::Format& f = db.format();
    const bool j4 = f.jet4();
    const uint8_t* p = db.pager().page(no);
    Page pg;
    pg.no = no;
    pg.leaf = p[0] == 0x04;
    pg.prev = le32(p + (j4 ? 12 : 8));
    pg.next = le32(p + (j4 ? 16 : 12));
    pg.tail = pg.leaf ? 0 : le32(p + (j4 ? 20 : 16));
    const size_t prefix = j4 ? (p[24] | p[25] << 8) : p[20];
    const size_t trailer = pg.leaf ? 4 : 8;
    std::vector<uint8_t> first;
    size_t start = 0;
    for (size_t bit = 0; bit < (f.idxEntryStart - f.idxBitmaskStart) * 8u; ++bit) {
        if (!(p[f.idxBitmaskStart + bit / 8] >> (bit % 8) & 1)) continue;
        std::vector<uint8_t> e;
        if (!pg.entries.empty()) e.assign(first.begin(), first.begin() + std::min(prefix, first.size()));
        e.insert(e.end(), p + f.idxEntryStart + start, p + f.idxEntryStart + bit);
        if (pg.entries.empty()) first = e;
        start = bit;
        if (e.size() < trailer) return pg;
        const size_t k = e.size() - trailer;
        pg.entries.push_back(Entry{{e.begin(), e.begin() + static_cast<std::ptrdiff_t>(k)}, be32(e.data() + k)});
        if (!pg.leaf) pg.children.push_back(be32(e.data() + k + 4));
    }
    return pg;
}

class Walker {
public:
    Walker(const jet::Database& db, std::string what) : db_(db), what_(std::move(what)) {}

    // The greatest entry under a page, checking the subtree on the way.
    Entry walk(uint32_t no, bool root, int depth = 0) {
        if (depth > 12 || no == 0 || no >= db_.pager().pageCount() || !seen_.insert(no).second) {
            problem("page " + std::to_string(no) + " is outside the file, revisited or too deep");
            return {};
        }
        const uint8_t type = db_.pager().page(no)[0];
        if (type != 0x03 && type != 0x04) problem("page " + std::to_string(no) + " is not an index page");
        const Page pg = readPage(db_, no);
        for (size_t i = 1; i < pg.entries.size(); ++i)
            if (!(pg.entries[i - 1] < pg.entries[i])) problem("page " + std::to_string(no) + ": entries out of order");
        if (pg.leaf) {
            if (pg.entries.empty() && !root) problem("leaf page " + std::to_string(no) + " is empty");
            leaves.push_back(pg);
            return pg.entries.empty() ? Entry{} : pg.entries.back();
        }
        std::vector<uint32_t> kids = pg.children;
        if (pg.tail) kids.push_back(pg.tail);
        if (kids.empty()) {
            problem("intermediate page " + std::to_string(no) + " has no child");
            return {};
        }
        if (pg.tail == 0 && pg.entries.size() >= 2) problem("page " + std::to_string(no) + " has no tail");
        if (pg.tail != 0 && pg.entries.empty()) problem("page " + std::to_string(no) + " has a lone tail");
        Entry last;
        std::vector<Page> nodes;
        for (size_t i = 0; i < kids.size(); ++i) {
            last = walk(kids[i], false, depth + 1);
            if (i < pg.entries.size() && !(last == pg.entries[i]))
                problem("page " + std::to_string(no) + " entry " + std::to_string(i) + " is not the last entry of page " +
                        std::to_string(kids[i]));
            if (db_.pager().page(kids[i])[0] == 0x03) nodes.push_back(readPage(db_, kids[i]));
        }
        checkChain(nodes, "intermediate pages under " + std::to_string(no));
        return last;
    }

    void checkChain(const std::vector<Page>& ps, const std::string& what) {
        for (size_t i = 0; i < ps.size(); ++i) {
            const uint32_t prev = i ? ps[i - 1].no : 0, next = i + 1 < ps.size() ? ps[i + 1].no : 0;
            if (ps[i].prev != prev || ps[i].next != next)
                problem(what + ": page " + std::to_string(ps[i].no) + " links to " + std::to_string(ps[i].prev) + "/" +
                        std::to_string(ps[i].next) + ", expected " + std::to_string(prev) + "/" + std::to_string(next));
        }
    }

    void problem(const std::string& s) {
        if (problems.size() < 8) problems.push_back(what_ + ": " + s);
    }

    std::vector<Page> leaves;
    std::vector<std::string> problems;

private:
    const jet::Database& db_;
    std::string what_;
    std::set<uint32_t> seen_;
};

// Every problem of every index of the table, one per line ("" when sound).
inline std::string treeProblems(const jet::Database& db, const std::string& table) {
    auto t = db.table(table);
    const jet::Format& f = db.format();
    const uint8_t* tdef = db.pager().page(t->tdefPage());
    std::set<int> done;
    std::string out;
    for (const jet::Index& ix : t->indexes()) {
        if (!done.insert(ix.realIndex).second) continue;
        Walker w(db, table + "." + ix.name);
        w.walk(ix.firstPage, true);
        w.checkChain(w.leaves, "leaves");
        std::set<std::vector<uint8_t>> keys;
        for (const Page& pg : w.leaves)
            for (const Entry& e : pg.entries) keys.insert(e.key);
        const uint32_t counted = le32(tdef + f.tdefIndexStart + ix.realIndex * f.tdefRealIdxEntrySize + 4);
        if (counted != keys.size())
            w.problem("distinct-key count " + std::to_string(counted) + ", leaves hold " + std::to_string(keys.size()));
        for (const std::string& p : w.problems) out += p + "\n";
    }
    return out;
}

}  // namespace indextree
