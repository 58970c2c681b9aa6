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
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
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
// Decoded pages kept between writes; beyond this many the cache starts afresh.
constexpr size_t kCachedPages = 1024;
// Words of an index page's entry-end bitmap (a 4 KiB page has 453 bytes of it).
constexpr uint32_t kMaskWords = 64;

using Key = std::span<const uint8_t>;

// An entry's key lives in its node's byte store: a page's entries decode and
// copy without an allocation each.
struct Entry {
    uint32_t off = 0, len = 0;  // key bytes in Node::keys
    uint32_t rowPtr = 0;        // page << 8 | row
    uint32_t child = 0;         // intermediate pages only
};

uint32_t packRow(RowId id) { return (id.page << 8) | (id.row & 0xFF); }

// Orders entries by key bytes, then by row pointer.
int compareEntry(Key ka, uint32_t ra, Key kb, uint32_t rb) {
    size_t n = std::min(ka.size(), kb.size());
    if (n) {
        int c = std::memcmp(ka.data(), kb.data(), n);
        if (c) return c < 0 ? -1 : 1;
    }
    if (ka.size() != kb.size()) return ka.size() < kb.size() ? -1 : 1;
    if (ra != rb) return ra < rb ? -1 : 1;
    return 0;
}

bool sameKey(Key a, Key b) { return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0); }

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
    std::vector<uint8_t> keys;
    size_t lcp = 0;   // the prefix all keys share, as the page was read or written
    size_t used = 0;  // bytes the entries take on the page

    Key key(const Entry& e) const { return Key(keys.data() + e.off, e.len); }
    Key key(size_t i) const { return key(entries[i]); }
    // An entry whose key is copied into this node's store; `k` must not point into it.
    Entry make(Key k, uint32_t rowPtr, uint32_t child = 0) {
        Entry e{static_cast<uint32_t>(keys.size()), static_cast<uint32_t>(k.size()), rowPtr, child};
        keys.insert(keys.end(), k.begin(), k.end());
        return e;
    }
    Entry copyOf(const Node& from, const Entry& e) { return make(from.key(e), e.rowPtr, e.child); }
    // Rewrites the store holding only the keys in use (replaced keys stay behind until then).
    void compact() {
        size_t live = 0;
        for (const Entry& e : entries) live += e.len;
        if (keys.size() <= 2 * live + 256) return;
        std::vector<uint8_t> fresh;
        fresh.reserve(live);
        for (Entry& e : entries) {
            const uint32_t off = static_cast<uint32_t>(fresh.size());
            fresh.insert(fresh.end(), keys.begin() + e.off, keys.begin() + e.off + e.len);
            e.off = off;
        }
        keys = std::move(fresh);
    }
};

// The greatest entry under a node, its key copied.
struct Bound {
    std::vector<uint8_t> key;
    uint32_t rowPtr = 0;
};

void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t getBE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void putBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

}  // namespace

// A decoded page is kept with the bytes it was decoded from (or encoded to) and
// used only while the page still holds exactly those bytes, so no write path,
// rollback or other table has to tell the cache anything.
struct IndexNodeCache {
    struct Slot {
        std::vector<uint8_t> bytes;
        std::shared_ptr<const Node> node;
    };
    std::unordered_map<uint32_t, Slot> pages;
};

namespace {

class IndexEditor {
public:
    IndexEditor(Database& db, const Table& t, const Index& idx)
        : db_(db), pager_(writablePager(db)), L_(db.format()), t_(t), idx_(idx) {
        auto& slot = indexNodeSlot(db);
        if (!slot) slot = std::make_shared<IndexNodeCache>();
        cache_ = slot.get();
    }

    void insert(Key key, uint32_t rowPtr) {
        std::vector<Step> path;
        std::shared_ptr<const Node> found = descend(key, rowPtr, path);
        const size_t at = lowerBound(*found, key, rowPtr);
        if (at < found->entries.size() && compareEntry(found->key(at), found->entries[at].rowPtr, key, rowPtr) == 0)
            return;  // already there
        const bool newKey = !keyBeside(*found, at, key);
        if (insertInPlace(found, at, key, rowPtr)) {
            fixParents(*found, path);
        } else {
            Node leaf = *found;
            const Entry e = leaf.make(key, rowPtr);
            leaf.entries.insert(leaf.entries.begin() + static_cast<std::ptrdiff_t>(at), e);
            commit(leaf, path);
        }
        if (newKey) countDistinct(+1);
    }

    void remove(Key key, uint32_t rowPtr) {
        std::vector<Step> path;
        Node leaf = *descend(key, rowPtr, path);
        auto& es = leaf.entries;
        auto matches = [&](size_t i) { return compareEntry(leaf.key(i), es[i].rowPtr, key, rowPtr) == 0; };
        size_t at = lowerBound(leaf, key, rowPtr);
        if (at >= es.size() || !matches(at)) {  // a page out of order: look at every entry
            at = 0;
            while (at < es.size() && !matches(at)) ++at;
        }
        if (at == es.size())
            throw Error(where() + ": no index entry for the row being changed", Error::Code::Corrupt);
        es.erase(es.begin() + static_cast<std::ptrdiff_t>(at));
        const bool lastOfKey = !keyBeside(leaf, at, key);
        commit(leaf, path);
        if (lastOfKey) countDistinct(-1);
    }

    // Entries of the index whose key equals `key`, found by descent.
    std::vector<uint32_t> rowsWithKey(Key key) {
        std::vector<Step> path;
        std::shared_ptr<const Node> n = descend(key, 0, path);
        std::vector<uint32_t> out;
        std::vector<uint32_t> seen;
        while (true) {
            for (size_t i = lowerBound(*n, key, 0); i < n->entries.size(); ++i) {
                if (sameKey(n->key(i), key)) out.push_back(n->entries[i].rowPtr);
                else if (compareEntry(n->key(i), 0, key, 0) > 0) return out;
            }
            if (n->next == 0) return out;
            if (std::find(seen.begin(), seen.end(), n->next) != seen.end() || seen.size() > 100000)
                throw Error(where() + ": index leaf chain loops", Error::Code::Corrupt);
            seen.push_back(n->next);
            n = view(n->next);
            if (!n->leaf) throw Error(where() + ": leaf chain reaches a non-leaf page", Error::Code::Corrupt);
        }
    }

private:
    struct Step {
        std::shared_ptr<const Node> node;
        size_t slot;  // entry index followed, or entries.size() for the tail
    };

    std::string where() const { return "table '" + t_.name() + "', index '" + idx_.name + "'"; }

    // First entry not ordered before (key, rowPtr).
    static size_t lowerBound(const Node& n, Key key, uint32_t rowPtr) {
        size_t lo = 0, hi = n.entries.size();
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (compareEntry(n.key(mid), n.entries[mid].rowPtr, key, rowPtr) < 0) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }

    // The page decoded, from the cache while the page holds the bytes it was decoded from.
    std::shared_ptr<const Node> view(uint32_t pageNo) const {
        if (pageNo == 0 || pageNo >= pager_.pageCount())
            throw Error(where() + ": index page " + std::to_string(pageNo) + " is outside the file", Error::Code::Corrupt);
        const uint8_t* p = pager_.page(pageNo);
        auto it = cache_->pages.find(pageNo);
        if (it != cache_->pages.end() && it->second.bytes.size() == L_.pageSize &&
            std::memcmp(it->second.bytes.data(), p, L_.pageSize) == 0)
            return it->second.node;
        std::shared_ptr<const Node> n = std::make_shared<Node>(decode(pageNo, p));
        remember(pageNo, p, n);
        return n;
    }

    void remember(uint32_t pageNo, const uint8_t* p, std::shared_ptr<const Node> n) const {
        if (cache_->pages.size() >= kCachedPages && !cache_->pages.count(pageNo)) cache_->pages.clear();
        IndexNodeCache::Slot& slot = cache_->pages[pageNo];
        slot.bytes.assign(p, p + L_.pageSize);
        slot.node = std::move(n);
    }

    Node decode(uint32_t pageNo, const uint8_t* p) const {
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
        n.keys.reserve(L_.room());
        uint32_t start = 0;
        std::vector<uint8_t> first, full;  // an entry's prefix comes from the first entry's bytes
        for (uint32_t byte = 0; byte < L_.entryStart - L_.maskOff; ++byte) {
            for (uint32_t m = p[L_.maskOff + byte]; m; m &= m - 1) {
                const uint32_t end = byte * 8 + static_cast<uint32_t>(std::countr_zero(m));
                if (end > L_.room() || end <= start)
                    throw Error(where() + ": index page " + std::to_string(pageNo) + " is damaged", Error::Code::Corrupt);
                full.clear();
                if (!n.entries.empty()) full.assign(first.begin(), first.begin() + std::min<size_t>(prefix, first.size()));
                full.insert(full.end(), data + start, data + end);
                if (n.entries.empty()) first = full;
                if (full.size() < trailer)
                    throw Error(where() + ": index page " + std::to_string(pageNo) + " has a short entry",
                                Error::Code::Corrupt);
                const size_t klen = full.size() - trailer;
                const uint8_t* r = full.data() + klen;
                const Entry e = n.make(Key(full.data(), klen), getBE32(r), n.leaf ? 0 : getBE32(r + 4));
                n.entries.push_back(e);
                start = end;
            }
        }
        n.lcp = sharedPrefix(n, 0, n.entries.size());
        n.used = start;
        return n;
    }

    // The prefix every entry's key shares (none for fewer than two entries).
    static size_t sharedPrefix(const Node& n, size_t from, size_t to) {
        if (to - from < 2) return 0;
        const Key f = n.key(from);
        size_t len = f.size();
        for (size_t i = from + 1; i < to && len; ++i) {
            const Key k = n.key(i);
            size_t m = std::min(len, k.size()), j = 0;
            while (j < m && k[j] == f[j]) ++j;
            len = j;
        }
        return len;
    }

    // Bytes entries [from, to) take on a page.
    static size_t encodedSize(const Node& n, size_t from, size_t to) {
        const size_t prefix = sharedPrefix(n, from, to);
        size_t total = 0;
        for (size_t i = from; i < to; ++i)
            total += n.entries[i].len + (n.leaf ? 4 : 8) - (i == from ? 0 : prefix);
        return total;
    }

    bool fits(const Node& n) const { return encodedSize(n, 0, n.entries.size()) <= L_.room(); }

    void store(const Node& n) {
        uint8_t* p = pager_.mutablePage(n.page);
        std::memset(p, 0, L_.pageSize);
        const uint32_t tdef = n.tdefPage ? n.tdefPage : t_.tdefPage();
        p[0] = n.leaf ? kLeafPage : kNodePage;
        p[1] = 0x01;
        put32(p + 4, tdef);
        put32(p + L_.prevOff, n.prev);
        put32(p + L_.nextOff, n.next);
        put32(p + L_.tailOff, n.leaf ? 0 : n.tail);
        if (!n.leaf) p[L_.nodeFlagOff] = 0x01;
        const size_t prefix = sharedPrefix(n, 0, n.entries.size());
        p[L_.prefixOff] = static_cast<uint8_t>(prefix);
        if (L_.jet4) p[L_.prefixOff + 1] = static_cast<uint8_t>(prefix >> 8);
        const size_t trailer = n.leaf ? 4 : 8;
        size_t off = 0;
        for (size_t i = 0; i < n.entries.size(); ++i) {
            const Entry& e = n.entries[i];
            const size_t skip = i == 0 ? 0 : prefix;
            const size_t len = e.len - skip + trailer;
            if (off + len > L_.room())
                throw Error(where() + ": index entries do not fit their page", Error::Code::Generic);
            uint8_t* d = p + L_.entryStart + off;
            std::memcpy(d, n.keys.data() + e.off + skip, e.len - skip);
            putBE32(d + e.len - skip, e.rowPtr);
            if (!n.leaf) putBE32(d + e.len - skip + 4, e.child);
            off += len;
            p[L_.maskOff + off / 8] |= static_cast<uint8_t>(1u << (off % 8));
        }
        const uint32_t free = L_.room() - static_cast<uint32_t>(off);
        p[2] = static_cast<uint8_t>(free);
        p[3] = static_cast<uint8_t>(free >> 8);

        // Kept as the page now decodes, so the next write need not decode it.
        auto kept = std::make_shared<Node>(n);
        kept->tdefPage = tdef;
        kept->lcp = prefix;
        kept->used = off;
        if (kept->leaf) {
            kept->tail = 0;
            for (Entry& k : kept->entries) k.child = 0;
        }
        kept->compact();
        remember(n.page, p, std::move(kept));
    }

    // The common insert, an entry neither first on its leaf nor changing the
    // page's shared prefix, made by moving the bytes after it rather than
    // encoding the page again: the page comes out as store() would write it.
    // False, with nothing changed, when the page needs the full path (a split,
    // a new prefix, an odd layout); else `leaf` is the page as it now is.
    bool insertInPlace(std::shared_ptr<const Node>& leaf, size_t at, Key key, uint32_t rowPtr) {
        if (!leaf->leaf || at == 0 || leaf->entries.size() < 2) return false;
        const uint8_t* old = pager_.page(leaf->page);
        uint32_t prefix = old[L_.prefixOff];
        if (L_.jet4) prefix |= static_cast<uint32_t>(old[L_.prefixOff + 1]) << 8;
        const Key first = leaf->key(0);
        if (prefix != leaf->lcp || key.size() < prefix || first.size() < prefix ||
            (prefix && std::memcmp(key.data(), first.data(), prefix) != 0))
            return false;

        // The page holds the decoded entries (view() compared its bytes), so where
        // entry `at` starts follows from the lengths of those before it, or of those
        // from it to the end of the entries: the shorter count (rows added in key
        // order, as AutoNumber IDs are, go last).
        const uint32_t trailer = 4;
        const uint32_t used = static_cast<uint32_t>(leaf->used);
        uint32_t start;
        if (at <= leaf->entries.size() / 2) {
            start = leaf->entries[0].len + trailer;
            for (size_t i = 1; i < at; ++i) start += leaf->entries[i].len + trailer - prefix;
        } else {
            start = used;
            for (size_t i = at; i < leaf->entries.size(); ++i) start -= leaf->entries[i].len + trailer - prefix;
        }
        const uint32_t len = static_cast<uint32_t>(key.size()) - prefix + trailer;
        const uint32_t maskBytes = L_.entryStart - L_.maskOff;
        const uint32_t words = (maskBytes + 7) / 8;
        if (words > kMaskWords || start > used || used + len > L_.room()) return false;
        std::array<uint64_t, kMaskWords> w{};
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(w.data(), old + L_.maskOff, maskBytes);
        else
            for (uint32_t i = 0; i < maskBytes; ++i) w[i / 8] |= static_cast<uint64_t>(old[L_.maskOff + i]) << (8 * (i % 8));

        // Nothing cached for the page until it is consistent again.
        auto slot = cache_->pages.find(leaf->page);
        if (slot != cache_->pages.end()) slot->second.bytes.clear();

        uint8_t* p = pager_.mutablePage(leaf->page);
        uint8_t* data = p + L_.entryStart;
        std::memmove(data + start + len, data + start, used - start);
        std::memset(data + used + len, 0, L_.room() - used - len);  // what another writer left past its entries
        std::memcpy(data + start, key.data() + prefix, key.size() - prefix);
        putBE32(data + start + key.size() - prefix, rowPtr);
        // Entry ends past `start` move up by `len`; the new entry ends at start + len.
        std::array<uint64_t, kMaskWords> moved{};
        const uint32_t keepBits = start + 1;
        for (uint32_t i = 0; i < words; ++i) {
            const uint32_t lo = i * 64;
            if (lo + 64 <= keepBits) continue;
            moved[i] = keepBits <= lo ? w[i] : w[i] & ~((uint64_t{1} << (keepBits - lo)) - 1);
            w[i] &= ~moved[i];
        }
        const uint32_t ws = len / 64, bs = len % 64;
        for (uint32_t i = words; i-- > 0;) {
            if (!moved[i]) continue;
            if (i + ws < words) w[i + ws] |= moved[i] << bs;
            if (bs && i + ws + 1 < words) w[i + ws + 1] |= moved[i] >> (64 - bs);
        }
        w[(start + len) / 64] |= uint64_t{1} << ((start + len) % 64);
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(p + L_.maskOff, w.data(), maskBytes);
        else
            for (uint32_t i = 0; i < maskBytes; ++i) p[L_.maskOff + i] = static_cast<uint8_t>(w[i / 8] >> (8 * (i % 8)));
        const uint32_t free = L_.room() - (used + len);
        p[2] = static_cast<uint8_t>(free);
        p[3] = static_cast<uint8_t>(free >> 8);

        // The decoded page is changed where it stands when nothing else holds it
        // (the cache and this call; each node is created non-const).
        std::shared_ptr<const Node> next = leaf.use_count() <= 2 ? leaf : std::make_shared<Node>(*leaf);
        Node& n = const_cast<Node&>(*next);
        const Entry e = n.make(key, rowPtr);
        n.entries.insert(n.entries.begin() + static_cast<std::ptrdiff_t>(at), e);
        n.used = used + len;
        leaf = next;
        remember(n.page, p, leaf);
        return true;
    }

    std::shared_ptr<const Node> descend(Key key, uint32_t rowPtr, std::vector<Step>& path) {
        path.reserve(4);
        uint32_t pageNo = idx_.firstPage;
        for (int depth = 0;; ++depth) {
            if (depth > kMaxDepth) throw Error(where() + ": index tree loops or is too deep", Error::Code::Corrupt);
            std::shared_ptr<const Node> n = view(pageNo);
            if (n->leaf) return n;
            const size_t i = lowerBound(*n, key, rowPtr);
            uint32_t child;
            size_t slot = i;
            if (i < n->entries.size()) {
                child = n->entries[i].child;
            } else if (n->tail != 0) {
                child = n->tail;
            } else if (!n->entries.empty()) {
                slot = n->entries.size() - 1;
                child = n->entries.back().child;
            } else {
                throw Error(where() + ": intermediate index page " + std::to_string(n->page) + " is empty",
                            Error::Code::Corrupt);
            }
            path.push_back(Step{std::move(n), slot});
            pageNo = child;
        }
    }

    // The greatest entry under a node (its last entry, or its tail's greatest).
    bool greatest(const Node& n, Bound& out, int depth = 0) const {
        if (depth > kMaxDepth) throw Error(where() + ": index tree is too deep", Error::Code::Corrupt);
        if (!n.leaf && n.tail) return greatest(*view(n.tail), out, depth + 1);
        if (n.entries.empty()) return false;
        const Key k = n.key(n.entries.size() - 1);
        out.key.assign(k.begin(), k.end());
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
    static size_t rangeSize(const Node& n, const std::vector<size_t>& rawSum, size_t a, size_t b) {
        size_t raw = rawSum[b] - rawSum[a];
        if (b - a < 2) return raw;
        const Key x = n.key(a), y = n.key(b - 1);
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
        for (size_t i = 0; i < count; ++i) rawSum[i + 1] = rawSum[i] + es[i].len + trailer;
        const size_t minPart = n.leaf ? 1 : 2;
        auto partSize = [&](size_t a, size_t b, bool last) {
            return (n.leaf || last) ? rangeSize(n, rawSum, a, b) : rangeSize(n, rawSum, a, b - 1);
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
    bool keyBeside(const Node& leaf, size_t at, Key key) const {
        const auto& es = leaf.entries;
        if (at > 0) {
            if (sameKey(leaf.key(at - 1), key)) return true;
        } else if (leaf.prev) {
            const auto p = view(leaf.prev);
            if (!p->entries.empty() && sameKey(p->key(p->entries.size() - 1), key)) return true;
        }
        if (at < es.size()) return sameKey(leaf.key(at), key);
        if (leaf.next) {
            const auto n = view(leaf.next);
            return !n->entries.empty() && sameKey(n->key(0), key);
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
            Bound g;
            if (!greatest(*view(n.tail), g))
                throw Error(where() + ": index page " + std::to_string(n.tail) + " is empty", Error::Code::Corrupt);
            const Entry e = n.make(g.key, g.rowPtr, n.tail);
            n.entries.push_back(e);
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
        Node parent = *step.node;
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
        std::vector<Bound> seps(k);  // the greatest entry under each part but the last
        for (size_t i = 0; i < k; ++i) {
            Node& part = parts[i];
            part.leaf = n.leaf;
            part.tdefPage = n.tdefPage;
            for (size_t j = cuts[i]; j < cuts[i + 1]; ++j) part.entries.push_back(part.copyOf(n, n.entries[j]));
            if (i + 1 == k) {
                part.tail = n.tail;
                break;
            }
            const Key last = part.key(part.entries.size() - 1);
            seps[i].key.assign(last.begin(), last.end());
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

        if (isRoot) {
            Node root;
            root.page = n.page;
            root.leaf = false;
            root.tdefPage = n.tdefPage;
            root.tail = parts[k - 1].page;
            for (size_t i = 0; i + 1 < k; ++i) root.entries.push_back(root.make(seps[i].key, seps[i].rowPtr, parts[i].page));
            commit(root, path);
            return;
        }

        Step parentStep = std::move(path.back());
        path.pop_back();
        Node parent = *parentStep.node;
        size_t at = parent.entries.size();
        if (parent.tail != n.page) {
            // The entry naming this page bounds its last part.
            at = entryFor(parent, n.page, parentStep.slot);
            Bound g;
            if (greatest(parts[k - 1], g)) {
                const Entry e = parent.make(g.key, g.rowPtr, parent.entries[at].child);
                parent.entries[at] = e;
            }
        }
        std::vector<Entry> ups;
        for (size_t i = 0; i + 1 < k; ++i) ups.push_back(parent.make(seps[i].key, seps[i].rowPtr, parts[i].page));
        parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(at), ups.begin(), ups.end());
        commit(parent, path);
    }

    // After a page changed, each ancestor's entry for it must still be the
    // greatest entry under it. A tail has no entry, so its change reaches the
    // entry its parent has in the grandparent, and so on up.
    void fixParents(const Node& changed, std::vector<Step>& path) {
        Bound g;
        if (!greatest(changed, g)) return;
        uint32_t child = changed.page;
        while (!path.empty()) {
            Step step = std::move(path.back());
            path.pop_back();
            const Node& seen = *step.node;
            if (seen.tail == child) {
                child = seen.page;
                continue;
            }
            const size_t at = entryFor(seen, child, step.slot);
            if (sameKey(seen.key(at), g.key) && seen.entries[at].rowPtr == g.rowPtr) return;
            Node parent = seen;
            const Entry e = parent.make(g.key, g.rowPtr, parent.entries[at].child);
            parent.entries[at] = e;
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
    IndexNodeCache* cache_ = nullptr;
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
