// Keeping indexes exact as rows change.
//
// Pages are decoded into whole entries, edited, and encoded again with the
// shared prefix recomputed. Entries are ordered by key, then by row pointer, so
// equal keys stay in row order. An intermediate page lists, for each child but
// the last, the child's greatest entry and the child's page; the last child is
// the page's "tail" and has no entry, as Access lays them out (a lone child has
// an entry and no tail). A page that overflows is split: a new page takes the
// lower half and the parent gains an entry for it. The root keeps its page
// number (the table definition names it), so a full root moves its entries into
// two new children and becomes their parent. A page left empty leaves the tree
// and the file's used pages; an emptied root becomes an empty leaf.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <cstring>
#include <string>
#include <vector>

#include "bytes.h"
#include "error.h"
#include "format.h"
#include "write_internal.h"

namespace jet::detail {
namespace {

constexpr uint8_t kNodePage = 0x03;
constexpr uint8_t kLeafPage = 0x04;
constexpr int kMaxDepth = 32;

struct Entry {
    std::vector<uint8_t> key;
    uint32_t rowPtr = 0;  // page << 8 | row
    uint32_t child = 0;   // intermediate pages only
};

uint32_t packRow(RowId id) { return (id.page << 8) | (id.row & 0xFF); }

// Orders entries by key bytes, then by row pointer.
int compareEntry(const std::vector<uint8_t>& ka, uint32_t ra, const std::vector<uint8_t>& kb, uint32_t rb) {
    size_t n = std::min(ka.size(), kb.size());
    if (n) {
        int c = std::memcmp(ka.data(), kb.data(), n);
        if (c) return c < 0 ? -1 : 1;
    }
    if (ka.size() != kb.size()) return ka.size() < kb.size() ? -1 : 1;
    if (ra != rb) return ra < rb ? -1 : 1;
    return 0;
}

struct Layout {
    bool jet4;
    uint32_t pageSize, prevOff, nextOff, tailOff, prefixOff, nodeFlagOff, maskOff, entryStart;
    explicit Layout(const Format& f)
        : jet4(f.jet4()),
          pageSize(f.pageSize),
          prevOff(f.jet4() ? 12 : 8),
          nextOff(f.jet4() ? 16 : 12),
          tailOff(f.jet4() ? 20 : 16),
          prefixOff(f.jet4() ? 24 : 20),
          nodeFlagOff(f.jet4() ? 26 : 21),
          maskOff(f.idxBitmaskStart),
          entryStart(f.idxEntryStart) {}
    uint32_t room() const { return pageSize - entryStart; }
};

struct Node {
    uint32_t page = 0;
    bool leaf = true;
    uint32_t tdefPage = 0;
    uint32_t prev = 0, next = 0, tail = 0;
    std::vector<Entry> entries;
};

void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

class IndexEditor {
public:
    IndexEditor(Database& db, const Table& t, const Index& idx)
        : db_(db), pager_(writablePager(db)), L_(db.format()), t_(t), idx_(idx) {}

    void insert(const std::vector<uint8_t>& key, uint32_t rowPtr) {
        std::vector<Step> path;
        Node leaf = descend(key, rowPtr, path);
        auto& es = leaf.entries;
        auto pos = std::lower_bound(es.begin(), es.end(), 0, [&](const Entry& e, int) {
            return compareEntry(e.key, e.rowPtr, key, rowPtr) < 0;
        });
        if (pos != es.end() && compareEntry(pos->key, pos->rowPtr, key, rowPtr) == 0) return;  // already there
        const bool newKey = !keyBeside(leaf, static_cast<size_t>(pos - es.begin()), key);
        Entry e;
        e.key = key;
        e.rowPtr = rowPtr;
        es.insert(pos, std::move(e));
        commit(leaf, path);
        if (newKey) countDistinct(+1);
    }

    void remove(const std::vector<uint8_t>& key, uint32_t rowPtr) {
        std::vector<Step> path;
        Node leaf = descend(key, rowPtr, path);
        auto& es = leaf.entries;
        auto it = std::find_if(es.begin(), es.end(),
                               [&](const Entry& e) { return compareEntry(e.key, e.rowPtr, key, rowPtr) == 0; });
        if (it == es.end())
            throw Error(where() + ": no index entry for the row being changed", Error::Code::Corrupt);
        const size_t at = static_cast<size_t>(it - es.begin());
        es.erase(it);
        const bool lastOfKey = !keyBeside(leaf, at, key);
        commit(leaf, path);
        if (lastOfKey) countDistinct(-1);
    }

    // Entries of the index whose key equals `key`, found by descent.
    std::vector<uint32_t> rowsWithKey(const std::vector<uint8_t>& key) {
        std::vector<Step> path;
        Node n = descend(key, 0, path);
        std::vector<uint32_t> out;
        std::vector<uint32_t> seen;
        while (true) {
            for (const Entry& e : n.entries) {
                if (e.key == key) out.push_back(e.rowPtr);
                else if (compareEntry(e.key, 0, key, 0) > 0) return out;
            }
            if (n.next == 0) return out;
            if (std::find(seen.begin(), seen.end(), n.next) != seen.end() || seen.size() > 100000)
                throw Error(where() + ": index leaf chain loops", Error::Code::Corrupt);
            seen.push_back(n.next);
            n = load(n.next);
            if (!n.leaf) throw Error(where() + ": leaf chain reaches a non-leaf page", Error::Code::Corrupt);
        }
    }

private:
    struct Step {
        Node node;
        size_t slot;  // entry index followed, or entries.size() for the tail
    };

    std::string where() const { return "table '" + t_.name() + "', index '" + idx_.name + "'"; }

    Node load(uint32_t pageNo) const {
        if (pageNo == 0 || pageNo >= pager_.pageCount())
            throw Error(where() + ": index page " + std::to_string(pageNo) + " is outside the file", Error::Code::Corrupt);
        const uint8_t* p = pager_.page(pageNo);
        if (p[0] != kNodePage && p[0] != kLeafPage)
            throw Error(where() + ": page " + std::to_string(pageNo) + " is not an index page", Error::Code::Corrupt);
        Node n;
        n.page = pageNo;
        n.leaf = p[0] == kLeafPage;
        n.tdefPage = bytes::u32(p + 4);
        n.prev = bytes::u32(p + L_.prevOff);
        n.next = bytes::u32(p + L_.nextOff);
        n.tail = n.leaf ? 0 : bytes::u32(p + L_.tailOff);
        uint32_t prefix = p[L_.prefixOff];
        if (L_.jet4) prefix |= static_cast<uint32_t>(p[L_.prefixOff + 1]) << 8;
        const uint32_t trailer = n.leaf ? 4 : 8;
        const uint8_t* data = p + L_.entryStart;
        uint32_t start = 0;
        std::vector<uint8_t> first;
        for (uint32_t bit = 0; bit < (L_.entryStart - L_.maskOff) * 8; ++bit) {
            if (!(p[L_.maskOff + bit / 8] & (1u << (bit % 8)))) continue;
            uint32_t end = bit;
            if (end > L_.room() || end <= start)
                throw Error(where() + ": index page " + std::to_string(pageNo) + " is damaged", Error::Code::Corrupt);
            std::vector<uint8_t> full;
            if (!n.entries.empty()) full.assign(first.begin(), first.begin() + std::min<size_t>(prefix, first.size()));
            full.insert(full.end(), data + start, data + end);
            if (n.entries.empty()) first = full;
            if (full.size() < trailer)
                throw Error(where() + ": index page " + std::to_string(pageNo) + " has a short entry", Error::Code::Corrupt);
            Entry e;
            size_t klen = full.size() - trailer;
            e.key.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(klen));
            const uint8_t* r = full.data() + klen;
            e.rowPtr = (static_cast<uint32_t>(r[0]) << 24 | static_cast<uint32_t>(r[1]) << 16 |
                        static_cast<uint32_t>(r[2]) << 8 | r[3]);
            if (!n.leaf)
                e.child = static_cast<uint32_t>(r[4]) << 24 | static_cast<uint32_t>(r[5]) << 16 |
                          static_cast<uint32_t>(r[6]) << 8 | r[7];
            n.entries.push_back(std::move(e));
            start = end;
        }
        return n;
    }

    static std::vector<uint8_t> entryBytes(const Entry& e, bool leaf) {
        std::vector<uint8_t> b = e.key;
        b.push_back(static_cast<uint8_t>(e.rowPtr >> 24));
        b.push_back(static_cast<uint8_t>(e.rowPtr >> 16));
        b.push_back(static_cast<uint8_t>(e.rowPtr >> 8));
        b.push_back(static_cast<uint8_t>(e.rowPtr));
        if (!leaf) {
            b.push_back(static_cast<uint8_t>(e.child >> 24));
            b.push_back(static_cast<uint8_t>(e.child >> 16));
            b.push_back(static_cast<uint8_t>(e.child >> 8));
            b.push_back(static_cast<uint8_t>(e.child));
        }
        return b;
    }

    // The prefix every entry's key shares (none for fewer than two entries).
    static size_t sharedPrefix(const std::vector<Entry>& es, size_t from, size_t to) {
        if (to - from < 2) return 0;
        size_t n = es[from].key.size();
        for (size_t i = from + 1; i < to && n; ++i) {
            const auto& k = es[i].key;
            size_t m = std::min(n, k.size()), j = 0;
            while (j < m && k[j] == es[from].key[j]) ++j;
            n = j;
        }
        return n;
    }

    // Bytes entries [from, to) take on a page.
    size_t encodedSize(const std::vector<Entry>& es, size_t from, size_t to, bool leaf) const {
        size_t prefix = sharedPrefix(es, from, to);
        size_t total = 0;
        for (size_t i = from; i < to; ++i) total += es[i].key.size() + (leaf ? 4 : 8) - (i == from ? 0 : prefix);
        return total;
    }

    bool fits(const Node& n) const { return encodedSize(n.entries, 0, n.entries.size(), n.leaf) <= L_.room(); }

    void store(const Node& n) {
        uint8_t* p = pager_.mutablePage(n.page);
        std::memset(p, 0, L_.pageSize);
        p[0] = n.leaf ? kLeafPage : kNodePage;
        p[1] = 0x01;
        put32(p + 4, n.tdefPage ? n.tdefPage : t_.tdefPage());
        put32(p + L_.prevOff, n.prev);
        put32(p + L_.nextOff, n.next);
        put32(p + L_.tailOff, n.leaf ? 0 : n.tail);
        if (!n.leaf) p[L_.nodeFlagOff] = 0x01;
        const size_t prefix = sharedPrefix(n.entries, 0, n.entries.size());
        p[L_.prefixOff] = static_cast<uint8_t>(prefix);
        if (L_.jet4) p[L_.prefixOff + 1] = static_cast<uint8_t>(prefix >> 8);
        size_t off = 0;
        for (size_t i = 0; i < n.entries.size(); ++i) {
            std::vector<uint8_t> b = entryBytes(n.entries[i], n.leaf);
            size_t skip = i == 0 ? 0 : prefix;
            if (off + b.size() - skip > L_.room())
                throw Error(where() + ": index entries do not fit their page", Error::Code::Generic);
            std::memcpy(p + L_.entryStart + off, b.data() + skip, b.size() - skip);
            off += b.size() - skip;
            p[L_.maskOff + off / 8] |= static_cast<uint8_t>(1u << (off % 8));
        }
        const uint32_t free = L_.room() - static_cast<uint32_t>(off);
        p[2] = static_cast<uint8_t>(free);
        p[3] = static_cast<uint8_t>(free >> 8);
    }

    Node descend(const std::vector<uint8_t>& key, uint32_t rowPtr, std::vector<Step>& path) {
        uint32_t pageNo = idx_.firstPage;
        for (int depth = 0;; ++depth) {
            if (depth > kMaxDepth) throw Error(where() + ": index tree loops or is too deep", Error::Code::Corrupt);
            Node n = load(pageNo);
            if (n.leaf) return n;
            size_t i = 0;
            while (i < n.entries.size() && compareEntry(n.entries[i].key, n.entries[i].rowPtr, key, rowPtr) < 0) ++i;
            uint32_t child;
            size_t slot = i;
            if (i < n.entries.size()) {
                child = n.entries[i].child;
            } else if (n.tail != 0) {
                child = n.tail;
            } else if (!n.entries.empty()) {
                slot = n.entries.size() - 1;
                child = n.entries.back().child;
            } else {
                throw Error(where() + ": intermediate index page " + std::to_string(n.page) + " is empty",
                            Error::Code::Corrupt);
            }
            path.push_back(Step{std::move(n), slot});
            pageNo = child;
        }
    }

    // The greatest entry under a node (its last entry, or its tail's greatest).
    bool greatest(const Node& n, Entry& out, int depth = 0) const {
        if (depth > kMaxDepth) throw Error(where() + ": index tree is too deep", Error::Code::Corrupt);
        if (!n.leaf && n.tail) return greatest(load(n.tail), out, depth + 1);
        if (n.entries.empty()) return false;
        out.key = n.entries.back().key;
        out.rowPtr = n.entries.back().rowPtr;
        return true;
    }

    uint32_t newPage() {
        uint32_t pg = allocatePage(db_);
        usageMapAdd(db_, idx_.usedPagesRef, pg);
        return pg;
    }

    void relinkNeighbour(uint32_t pageNo, bool setPrev, uint32_t value) {
        if (pageNo == 0) return;
        uint8_t* p = pager_.mutablePage(pageNo);
        put32(p + (setPrev ? L_.prevOff : L_.nextOff), value);
    }

    // Bytes a page holding entries [a, b) takes, sorted entries sharing the
    // prefix their first and last keys share.
    size_t rangeSize(const std::vector<Entry>& es, const std::vector<size_t>& rawSum, size_t a, size_t b) const {
        size_t raw = rawSum[b] - rawSum[a];
        if (b - a < 2) return raw;
        const auto &x = es[a].key, &y = es[b - 1].key;
        size_t lcp = 0, m = std::min(x.size(), y.size());
        while (lcp < m && x[lcp] == y[lcp]) ++lcp;
        return raw - (b - a - 1) * lcp;
    }

    // Where to cut an overflowing node: part i holds entries [cuts[i], cuts[i+1]).
    // On an intermediate page every part but the last gives its last entry up to
    // the parent and keeps that entry's child as its tail. Two parts as even as
    // they can be when two suffice; more when a key breaking a long shared prefix
    // leaves no two-way cut that fits.
    std::vector<size_t> partition(const Node& n) const {
        const auto& es = n.entries;
        const size_t count = es.size(), trailer = n.leaf ? 4 : 8, room = L_.room();
        std::vector<size_t> rawSum(count + 1, 0);
        for (size_t i = 0; i < count; ++i) rawSum[i + 1] = rawSum[i] + es[i].key.size() + trailer;
        const size_t minPart = n.leaf ? 1 : 2;
        auto partSize = [&](size_t a, size_t b, bool last) {
            return (n.leaf || last) ? rangeSize(es, rawSum, a, b) : rangeSize(es, rawSum, a, b - 1);
        };
        size_t best = 0, bestWorst = SIZE_MAX;
        for (size_t m = minPart; m + 1 <= count; ++m) {
            size_t l = partSize(0, m, false), r = partSize(m, count, true);
            if (l <= room && r <= room && std::max(l, r) < bestWorst) {
                bestWorst = std::max(l, r);
                best = m;
            }
        }
        if (best) return {0, best, count};
        std::vector<size_t> cuts{0};
        size_t a = 0;
        while (a < count) {
            if (partSize(a, count, true) <= room) break;
            size_t b = a + minPart;
            if (b > count || partSize(a, b, false) > room)
                throw Error(where() + ": an index key is too long for a page", Error::Code::Generic);
            while (b + 1 <= count && partSize(a, b + 1, false) <= room) ++b;
            if (b >= count) --b;  // the last part must keep at least one entry
            cuts.push_back(b);
            a = b;
        }
        cuts.push_back(count);
        return cuts;
    }

    // True when the entry just before position `at` of a leaf, or the one at
    // `at`, has this key; neighbouring leaves stand in past either end.
    bool keyBeside(const Node& leaf, size_t at, const std::vector<uint8_t>& key) const {
        const auto& es = leaf.entries;
        if (at > 0) {
            if (es[at - 1].key == key) return true;
        } else if (leaf.prev) {
            const Node p = load(leaf.prev);
            if (!p.entries.empty() && p.entries.back().key == key) return true;
        }
        if (at < es.size()) return es[at].key == key;
        if (leaf.next) {
            const Node n = load(leaf.next);
            return !n.entries.empty() && n.entries.front().key == key;
        }
        return false;
    }

    // The table definition counts each index's distinct keys.
    void countDistinct(int delta) {
        const Format& f = db_.format();
        const size_t off = f.tdefIndexStart + static_cast<size_t>(idx_.realIndex) * f.tdefRealIdxEntrySize + 4;
        if (off + 4 > L_.pageSize) return;
        uint8_t* p = pager_.mutablePage(t_.tdefPage());
        const uint32_t n = bytes::u32(p + off);
        put32(p + off, delta > 0 ? n + 1 : (n ? n - 1 : 0));
    }

    // Position of the entry that names `child` in a parent; `hint` is tried first.
    size_t entryFor(const Node& parent, uint32_t child, size_t hint) const {
        if (hint < parent.entries.size() && parent.entries[hint].child == child) return hint;
        for (size_t i = 0; i < parent.entries.size(); ++i)
            if (parent.entries[i].child == child) return i;
        throw Error(where() + ": intermediate index page " + std::to_string(parent.page) + " does not list page " +
                        std::to_string(child),
                    Error::Code::Corrupt);
    }

    // A node with two children or more keeps the last one as its tail, which has
    // no entry; a single child has an entry and no tail.
    void settleTail(Node& n) const {
        if (n.tail == 0 && n.entries.size() >= 2) {
            n.tail = n.entries.back().child;
            n.entries.pop_back();
        } else if (n.tail != 0 && n.entries.empty()) {
            Entry g;
            if (!greatest(load(n.tail), g))
                throw Error(where() + ": index page " + std::to_string(n.tail) + " is empty", Error::Code::Corrupt);
            g.child = n.tail;
            n.entries.push_back(std::move(g));
            n.tail = 0;
        }
    }

    // Writes a changed page and whatever that makes necessary above it: a split,
    // the removal of an emptied page, parent entries bounding their children.
    void commit(Node& n, std::vector<Step>& path) {
        if (!n.leaf) settleTail(n);
        if (n.entries.empty() && n.tail == 0) {
            if (path.empty()) {  // an emptied root stays, as a leaf
                n.leaf = true;
                store(n);
            } else {
                drop(n, path);
            }
            return;
        }
        if (!fits(n)) {
            split(n, path);
            return;
        }
        store(n);
        fixParents(n, path);
    }

    // Takes an emptied page out of the tree: its neighbours are linked past it,
    // its parent forgets it and the page goes back to the file.
    void drop(const Node& n, std::vector<Step>& path) {
        relinkNeighbour(n.prev, false, n.next);
        relinkNeighbour(n.next, true, n.prev);
        if (idx_.usedPagesRef) usageMapRemove(db_, idx_.usedPagesRef, n.page);
        freePage(db_, n.page);
        Step step = std::move(path.back());
        path.pop_back();
        Node& parent = step.node;
        if (parent.tail == n.page)
            parent.tail = 0;
        else
            parent.entries.erase(parent.entries.begin() +
                                 static_cast<std::ptrdiff_t>(entryFor(parent, n.page, step.slot)));
        commit(parent, path);
    }

    // Intermediate pages are linked only to siblings under the same parent
    // (leaves form one chain): children on either side of a cut part.
    void separate(uint32_t left, uint32_t right) {
        if (!left || !right || pager_.page(left)[0] != kNodePage) return;
        relinkNeighbour(left, false, 0);
        relinkNeighbour(right, true, 0);
    }

    // Splits a page that overflows: new pages take the lower parts and the
    // parent gains an entry for each.
    void split(Node& n, std::vector<Step>& path) {
        if (n.entries.size() < 2) throw Error(where() + ": an index key is too long for a page", Error::Code::Generic);
        const bool isRoot = path.empty();
        const std::vector<size_t> cuts = partition(n);
        const size_t k = cuts.size() - 1;

        std::vector<Node> parts(k);
        std::vector<Entry> seps(k);  // the greatest entry under each part but the last
        for (size_t i = 0; i < k; ++i) {
            Node& part = parts[i];
            part.leaf = n.leaf;
            part.tdefPage = n.tdefPage;
            part.entries.assign(n.entries.begin() + static_cast<std::ptrdiff_t>(cuts[i]),
                                n.entries.begin() + static_cast<std::ptrdiff_t>(cuts[i + 1]));
            if (i + 1 == k) {
                part.tail = n.tail;
                break;
            }
            seps[i].key = part.entries.back().key;
            seps[i].rowPtr = part.entries.back().rowPtr;
            if (!n.leaf) {
                part.tail = part.entries.back().child;
                part.entries.pop_back();
            }
        }

        // The root keeps its page (the table definition names it): all parts move
        // to new pages and the root becomes their parent. Elsewhere this page keeps
        // the last part, and so its place and entry in the parent.
        for (size_t i = 0; i + 1 < k; ++i) parts[i].page = newPage();
        parts[k - 1].page = isRoot ? newPage() : n.page;
        for (size_t i = 0; i < k; ++i) {
            parts[i].prev = i == 0 ? (isRoot ? 0 : n.prev) : parts[i - 1].page;
            parts[i].next = i + 1 == k ? (isRoot ? 0 : n.next) : parts[i + 1].page;
        }
        if (!isRoot) relinkNeighbour(n.prev, false, parts[0].page);
        for (const Node& part : parts) store(part);
        if (!n.leaf)
            for (size_t i = 0; i + 1 < k; ++i)
                separate(parts[i].tail, parts[i + 1].entries.empty() ? parts[i + 1].tail : parts[i + 1].entries[0].child);

        std::vector<Entry> ups;
        for (size_t i = 0; i + 1 < k; ++i) {
            Entry up = seps[i];
            up.child = parts[i].page;
            ups.push_back(std::move(up));
        }

        if (isRoot) {
            Node root;
            root.page = n.page;
            root.leaf = false;
            root.tdefPage = n.tdefPage;
            root.tail = parts[k - 1].page;
            root.entries = std::move(ups);
            commit(root, path);
            return;
        }

        Step parentStep = std::move(path.back());
        path.pop_back();
        Node& parent = parentStep.node;
        size_t at = parent.entries.size();
        if (parent.tail != n.page) {
            // The entry naming this page bounds its last part.
            at = entryFor(parent, n.page, parentStep.slot);
            Entry g;
            if (greatest(parts[k - 1], g)) {
                parent.entries[at].key = g.key;
                parent.entries[at].rowPtr = g.rowPtr;
            }
        }
        parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(at),
                              std::make_move_iterator(ups.begin()), std::make_move_iterator(ups.end()));
        commit(parent, path);
    }

    // After a page changed, each ancestor's entry for it must still be the
    // greatest entry under it. A tail has no entry, so its change reaches the
    // entry its parent has in the grandparent, and so on up.
    void fixParents(const Node& changed, std::vector<Step>& path) {
        Entry g;
        if (!greatest(changed, g)) return;
        uint32_t child = changed.page;
        while (!path.empty()) {
            Step step = std::move(path.back());
            path.pop_back();
            Node& parent = step.node;
            if (parent.tail == child) {
                child = parent.page;
                continue;
            }
            const size_t at = entryFor(parent, child, step.slot);
            Entry& e = parent.entries[at];
            if (e.key == g.key && e.rowPtr == g.rowPtr) return;
            e.key = g.key;
            e.rowPtr = g.rowPtr;
            const bool bounds = at + 1 == parent.entries.size() && parent.tail == 0;
            if (!fits(parent)) {
                split(parent, path);
                return;
            }
            store(parent);
            if (!bounds) return;
            child = parent.page;
        }
    }

    Database& db_;
    WritablePager& pager_;
    Layout L_;
    const Table& t_;
    const Index& idx_;
};

bool allKeyColumnsNull(const Index& idx, const Row& row) {
    for (const IndexColumn& ic : idx.columns)
        if (ic.column >= 0 && static_cast<size_t>(ic.column) < row.size() && !row[ic.column].isNull()) return false;
    return true;
}

bool anyKeyColumnNull(const Index& idx, const Row& row) {
    for (const IndexColumn& ic : idx.columns)
        if (ic.column < 0 || static_cast<size_t>(ic.column) >= row.size() || row[ic.column].isNull()) return true;
    return false;
}

}  // namespace

bool indexWouldDuplicate(const Database& db, const Table& t, const Index& idx, const Row& row, RowId self) {
    if (!idx.unique && !idx.primaryKey) return false;
    // Null is never equal to anything, so a key with a Null part duplicates nothing.
    if (anyKeyColumnNull(idx, row)) return false;
    IndexEditor ed(const_cast<Database&>(db), t, idx);
    for (uint32_t r : ed.rowsWithKey(t.encodeKey(idx, row)))
        if (r != packRow(self)) return true;
    return false;
}

void indexInsert(Database& db, const Table& t, const Index& idx, const Row& row, RowId id) {
    if (idx.ignoreNulls && allKeyColumnsNull(idx, row)) return;
    IndexEditor(db, t, idx).insert(t.encodeKey(idx, row), packRow(id));
}

void indexRemove(Database& db, const Table& t, const Index& idx, const Row& row, RowId id) {
    if (idx.ignoreNulls && allKeyColumnsNull(idx, row)) return;
    IndexEditor(db, t, idx).remove(t.encodeKey(idx, row), packRow(id));
}

}  // namespace jet::detail
