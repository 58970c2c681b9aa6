// Index keys and B-tree pages.
//
// An index page holds a header, a bitmask marking where each entry ends, and
// the entries. Entries after the first omit the bytes they share with the
// page's common prefix (the first entry carries it in full). Each entry is the
// encoded key followed by the row pointer (3-byte page, 1-byte row, big-endian);
// entries of intermediate pages add the 4-byte child page and stand for the
// last entry of that child. An intermediate page may also name a "tail" child,
// which follows all its entries and has no entry of its own.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "database.h"
#include "error.h"
#include "table.h"
#include "text_key.h"

namespace jet {

namespace {

constexpr uint8_t kNodePage = 0x03;
constexpr uint8_t kLeafPage = 0x04;
constexpr int kMaxDepth = 48;  // far beyond any real tree; a deeper walk means a cycle

// ---------------------------------------------------------------- key encoding

constexpr uint8_t kAscValue = 0x7F, kAscNull = 0x00, kDescValue = 0x80, kDescNull = 0xFF;

void flip(std::vector<uint8_t>& out, size_t from) {
    for (size_t i = from; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
}

void putBigEndian(std::vector<uint8_t>& out, uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Two's complement integers sort as unsigned once the sign bit is inverted.
void putInteger(std::vector<uint8_t>& out, uint64_t v, int n, bool asc) {
    size_t start = out.size();
    putBigEndian(out, v, n);
    out[start] ^= 0x80;
    if (!asc) flip(out, start);
}

// IEEE values: positives get the sign bit set, negatives are inverted whole.
void putFloat(std::vector<uint8_t>& out, uint64_t bits, int n, bool asc) {
    size_t start = out.size();
    putBigEndian(out, bits, n);
    bool negative = out[start] & 0x80;
    if (!negative) out[start] ^= 0x80;
    if (negative == asc) flip(out, start);
}

// Variable-length bytes in 8-byte groups, each followed by a count byte (9 = more follows).
void putBinary(std::vector<uint8_t>& out, const uint8_t* p, size_t n, bool asc) {
    while (n > 8) {
        size_t start = out.size();
        out.insert(out.end(), p, p + 8);
        if (!asc) flip(out, start);
        out.push_back(9);
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        size_t start = out.size();
        out.insert(out.end(), p, p + n);
        out.insert(out.end(), 8 - n, 0);
        out.push_back(static_cast<uint8_t>(n));
        if (!asc) flip(out, start);
    }
}

bool isIntegral(const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Bool:
    case Value::Kind::Byte:
    case Value::Kind::Int16:
    case Value::Kind::Int32: return true;
    default: return false;
    }
}

// The value as a whole number, when it is one exactly.
bool wholeNumber(const Value& v, int64_t& out) {
    if (isIntegral(v)) {
        out = v.toInt64();
        return true;
    }
    switch (v.kind()) {
    case Value::Kind::Currency:
        if (v.asCurrency().scaled % 10000 != 0) return false;
        out = v.asCurrency().scaled / 10000;
        return true;
    case Value::Kind::Decimal: {
        __int128 u = v.asDecimal().unscaled;
        for (int i = 0; i < v.asDecimal().scale; ++i) {
            if (u % 10 != 0) return false;
            u /= 10;
        }
        if (u > INT64_MAX || u < INT64_MIN) return false;
        out = static_cast<int64_t>(u);
        return true;
    }
    case Value::Kind::Single:
    case Value::Kind::Double:
    case Value::Kind::Date: {
        double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.2e18) return false;
        out = static_cast<int64_t>(d);
        return true;
    }
    default: return false;
    }
}

// The value scaled by 10^scale as an exact integer.
bool scaledNumber(const Value& v, int scale, __int128& out) {
    __int128 pow = 1;
    for (int i = 0; i < scale; ++i) pow *= 10;
    // Brings an exact value at scale `s` to `scale`; false when digits would be lost.
    auto rescale = [&](__int128 u, int s) {
        while (s > scale) {
            if (u % 10 != 0) return false;
            u /= 10;
            --s;
        }
        while (s < scale) {
            u *= 10;
            ++s;
        }
        out = u;
        return true;
    };
    if (v.kind() == Value::Kind::Decimal) return rescale(v.asDecimal().unscaled, v.asDecimal().scale);
    if (v.kind() == Value::Kind::Currency) return rescale(v.asCurrency().scaled, 4);
    int64_t whole;
    if (isIntegral(v) || v.kind() == Value::Kind::Decimal) {
        if (!wholeNumber(v, whole)) return false;
        out = static_cast<__int128>(whole) * pow;
        return true;
    }
    if (v.isNumeric()) {
        double d = v.toDouble() * static_cast<double>(pow);
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 1e30) return false;
        out = static_cast<__int128>(d);
        return true;
    }
    return false;
}

// Jet 4 keeps a sort-order version beside the locale id of each text column;
// Access 2010 and later mark their revised general order with version 1.
TextOrder textOrderFor(const Database& db, const Column& c, uint8_t version) {
    if (!db.format().jet4()) return TextOrder::General97;
    // 1033 is "General"; 0 appears in files written by tools that left the field empty.
    if (c.sortOrder == 1033 || c.sortOrder == 0) {
        if (version == 0) return TextOrder::GeneralLegacy;
        if (version == 1) return TextOrder::General2010;
    }
    throw Error("column '" + c.name + "' uses text sort order " + std::to_string(c.sortOrder) + " (version " +
                    std::to_string(version) + "), which index lookups do not support",
                Error::Code::Unsupported);
}

enum class Fit { Ok, NoMatch };

// Appends one column's key part. NoMatch: the value cannot equal any stored value
// of this column (out of range or not exactly representable), so nothing can match.
Fit encodeColumn(std::vector<uint8_t>& out, const Database& db, const Column& c, uint8_t sortVersion, bool asc,
                 const Value& v) {
    if (c.type == ColType::Bool) {
        // Yes/No columns hold no nulls; their keys carry the value flag always.
        bool b = false;
        if (!v.isNull()) {
            if (v.kind() == Value::Kind::Bool) b = v.asBool();
            else if (v.isNumeric()) b = v.toDouble() != 0;
            else throw Error("a Yes/No column cannot be compared with text or binary data", Error::Code::Query);
        }
        out.push_back(asc ? kAscValue : kDescValue);
        out.push_back((b == asc) ? 0x00 : 0xFF);
        return Fit::Ok;
    }
    if (v.isNull()) {
        out.push_back(asc ? kAscNull : kDescNull);
        return Fit::Ok;
    }
    const size_t flagPos = out.size();
    out.push_back(asc ? kAscValue : kDescValue);
    auto wrongKind = [&]() -> Fit {
        throw Error("value " + toDebugString(v) + " cannot be compared with column '" + c.name + "' (" +
                        colTypeName(c.type) + ")",
                    Error::Code::Query);
    };
    auto noMatch = [&] {
        out.resize(flagPos);
        return Fit::NoMatch;
    };

    switch (c.type) {
    case ColType::Byte:
    case ColType::Int:
    case ColType::Long: {
        if (!v.isNumeric()) return wrongKind();
        int64_t x;
        if (!wholeNumber(v, x)) return noMatch();
        if (c.type == ColType::Byte) {
            if (x < 0 || x > 255) return noMatch();
            out.push_back(static_cast<uint8_t>(asc ? x : ~x));
        } else if (c.type == ColType::Int) {
            if (x < INT16_MIN || x > INT16_MAX) return noMatch();
            putInteger(out, static_cast<uint16_t>(x), 2, asc);
        } else {
            if (x < INT32_MIN || x > INT32_MAX) return noMatch();
            putInteger(out, static_cast<uint32_t>(x), 4, asc);
        }
        return Fit::Ok;
    }
    case ColType::Money: {
        if (!v.isNumeric()) return wrongKind();
        __int128 scaled;
        if (!scaledNumber(v, 4, scaled) || scaled > INT64_MAX || scaled < INT64_MIN) return noMatch();
        putInteger(out, static_cast<uint64_t>(static_cast<int64_t>(scaled)), 8, asc);
        return Fit::Ok;
    }
    case ColType::Float: {
        if (!v.isNumeric()) return wrongKind();
        float f;
        if (v.kind() == Value::Kind::Single) {
            f = v.asSingle();
        } else {
            double d = v.toDouble();
            f = static_cast<float>(d);
            if (static_cast<double>(f) != d) return noMatch();
        }
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        putFloat(out, bits, 4, asc);
        return Fit::Ok;
    }
    case ColType::Double:
    case ColType::DateTime: {
        if (!v.isNumeric()) return wrongKind();
        double d = v.toDouble();
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        putFloat(out, bits, 8, asc);
        return Fit::Ok;
    }
    case ColType::Numeric: {
        if (!v.isNumeric()) return wrongKind();
        __int128 u;
        if (!scaledNumber(v, c.scale, u)) return noMatch();
        bool negative = u < 0;
        unsigned __int128 mag = negative ? -static_cast<unsigned __int128>(u) : static_cast<unsigned __int128>(u);
        size_t start = out.size();
        out.push_back(negative ? 0x80 : 0x00);
        putBigEndian(out, static_cast<uint64_t>(mag >> 64), 8);
        putBigEndian(out, static_cast<uint64_t>(mag), 8);
        // Jet 3/4 order: the sign byte is overwritten after any inversion, which
        // makes descending indexes sort negatives oddly; the files are written so.
        if (negative == asc) flip(out, start);
        out[start] = negative ? 0x00 : 0xFF;
        return Fit::Ok;
    }
    case ColType::Guid: {
        if (v.kind() != Value::Kind::Guid) return wrongKind();
        // Stored with little-endian leading fields; keys use the textual (big-endian) order.
        const auto& g = v.asGuid().bytes;
        uint8_t b[16] = {g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6]};
        std::memcpy(b + 8, g.data() + 8, 8);
        putBinary(out, b, 16, asc);
        return Fit::Ok;
    }
    case ColType::Binary: {
        if (v.kind() != Value::Kind::Binary) return wrongKind();
        putBinary(out, v.asBinary().data(), v.asBinary().size(), asc);
        return Fit::Ok;
    }
    case ColType::Text:
    case ColType::Memo: {
        if (v.kind() != Value::Kind::Text) return wrongKind();
        appendTextKey(out, v.asText(), textOrderFor(db, c, sortVersion), asc);
        return Fit::Ok;
    }
    default:
        throw Error(std::string("columns of type ") + colTypeName(c.type) + " cannot be indexed",
                    Error::Code::Unsupported);
    }
}

// ---------------------------------------------------------------- index pages

struct Layout {
    uint32_t pageSize, prevOff, nextOff, tailOff, prefixOff, prefixBytes, maskOff, entryStart;
    explicit Layout(const Format& f)
        : pageSize(f.pageSize),
          prevOff(f.jet4() ? 12 : 8),
          nextOff(f.jet4() ? 16 : 12),
          tailOff(f.jet4() ? 20 : 16),
          prefixOff(f.jet4() ? 24 : 20),
          // Jet 3 keeps a single length byte; the byte after it is set on intermediate pages.
          prefixBytes(f.jet4() ? 2 : 1),
          maskOff(f.idxBitmaskStart),
          entryStart(f.idxEntryStart) {}
};

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Names the index in error messages; the text is only built when something is wrong.
struct Where {
    const Table& table;
    const Index& index;
    std::string operator+(const std::string& what) const {
        return "table '" + table.name() + "', index '" + index.name + "'" + what;
    }
};

// One index page, parsed just enough to compare and read its entries.
class IndexPage {
public:
    static constexpr size_t kMaxEntries = 4096;

    IndexPage(const Pager& pager, const Layout& L, uint32_t pageNo, const Where& where) : pageNo_(pageNo) {
        if (pageNo == 0 || pageNo >= pager.pageCount())
            throw Error(where + (": index page " + std::to_string(pageNo) + " is outside the file"), Error::Code::Corrupt);
        p_ = pager.page(pageNo);
        if (p_[0] != kNodePage && p_[0] != kLeafPage)
            throw Error(where + (": page " + std::to_string(pageNo) + " is not an index page"), Error::Code::Corrupt);
        leaf_ = p_[0] == kLeafPage;
        prev_ = le32(p_ + L.prevOff);
        next_ = le32(p_ + L.nextOff);
        rawTail_ = le32(p_ + L.tailOff);
        tail_ = leaf_ ? 0 : rawTail_;
        prefixLen_ = p_[L.prefixOff];
        if (L.prefixBytes == 2) prefixLen_ |= static_cast<uint32_t>(p_[L.prefixOff + 1]) << 8;
        data_ = p_ + L.entryStart;
        const uint32_t room = L.pageSize - L.entryStart;
        const uint32_t trailer = leaf_ ? 4 : 8;

        // Entries after the first lack the shared prefix, so they may be that much shorter.
        const uint32_t firstMin = std::max(prefixLen_, trailer);
        const uint32_t nextMin = trailer > prefixLen_ ? trailer - prefixLen_ : 1;
        uint32_t last = 0;
        for (uint32_t byte = L.maskOff; byte < L.entryStart; byte += 8) {
            // Eight mask bytes at a time, low bit first, as a little-endian word.
            uint64_t m = 0;
            const uint32_t n = std::min<uint32_t>(8, L.entryStart - byte);
            for (uint32_t k = 0; k < n; ++k) m |= static_cast<uint64_t>(p_[byte + k]) << (8 * k);
            const uint32_t base = (byte - L.maskOff) * 8;
            while (m) {
                const uint32_t end = base + static_cast<uint32_t>(__builtin_ctzll(m));
                m &= m - 1;
                if (end > room || count_ >= kMaxEntries) throw bad(where, "its entry table is damaged");
                if (count_ == 0 ? end < firstMin : end - last < nextMin) throw bad(where, "an entry is too short");
                ends_[count_++] = static_cast<uint16_t>(end);
                last = end;
            }
        }
        if (count_ == 0) prefixLen_ = 0;
        rawFree_ = static_cast<uint32_t>(p_[2]) | static_cast<uint32_t>(p_[3]) << 8;
        unused_ = room - last;
    }

    bool leaf() const { return leaf_; }
    uint32_t next() const { return next_; }
    uint32_t prev() const { return prev_; }
    uint32_t tail() const { return tail_; }
    uint32_t rawTail() const { return rawTail_; }
    uint32_t rawFree() const { return rawFree_; }  // the page's own count of its free bytes
    uint32_t unused() const { return unused_; }    // bytes past the last entry
    size_t count() const { return count_; }

    size_t keyLength(size_t i) const { return fullLength(i) - (leaf_ ? 4 : 8); }

    // Three-way comparison of entry i's key, cut to probe.size() bytes, with probe.
    int compareKey(size_t i, const uint8_t* probe, size_t n) const {
        const size_t klen = keyLength(i);
        const size_t m = std::min(klen, n);
        size_t done = 0;
        if (i > 0) {
            size_t a = std::min<size_t>(m, prefixLen_);
            if (a) {
                int c = std::memcmp(data_, probe, a);
                if (c) return c;
            }
            done = a;
        }
        if (done < m) {
            int c = std::memcmp(stored(i) + (done - skip(i)), probe + done, m - done);
            if (c) return c;
        }
        return klen < n ? -1 : 0;
    }

    void key(size_t i, std::vector<uint8_t>& out) const {
        size_t klen = keyLength(i);
        out.resize(klen);
        for (size_t k = 0; k < klen; ++k) out[k] = byteAt(i, k);
    }
    RowId row(size_t i) const {
        size_t k = keyLength(i);
        RowId r;
        r.page = (static_cast<uint32_t>(byteAt(i, k)) << 16) | (static_cast<uint32_t>(byteAt(i, k + 1)) << 8) |
                 byteAt(i, k + 2);
        r.row = byteAt(i, k + 3);
        return r;
    }
    uint32_t child(size_t i) const {
        size_t k = keyLength(i) + 4;
        return (static_cast<uint32_t>(byteAt(i, k)) << 24) | (static_cast<uint32_t>(byteAt(i, k + 1)) << 16) |
               (static_cast<uint32_t>(byteAt(i, k + 2)) << 8) | byteAt(i, k + 3);
    }

    // First entry whose key is >= the probe (count() if none). Entries are sorted.
    size_t lowerBound(const uint8_t* probe, size_t n) const {
        size_t lo = 0, hi = count_;
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (compareKey(mid, probe, n) < 0) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }

private:
    Error bad(const Where& where, const char* what) const {
        return Error(where + (": index page " + std::to_string(pageNo_) + " is damaged (" + what + ")"),
                     Error::Code::Corrupt);
    }
    size_t begin(size_t i) const { return i == 0 ? 0 : ends_[i - 1]; }
    size_t skip(size_t i) const { return i == 0 ? 0 : prefixLen_; }  // prefix bytes not stored in entry i
    const uint8_t* stored(size_t i) const { return data_ + begin(i); }
    size_t fullLength(size_t i) const { return ends_[i] - begin(i) + skip(i); }
    uint8_t byteAt(size_t i, size_t k) const { return k < skip(i) ? data_[k] : stored(i)[k - skip(i)]; }

    uint32_t pageNo_;
    const uint8_t* p_ = nullptr;
    const uint8_t* data_ = nullptr;
    bool leaf_ = true;
    uint32_t prev_ = 0, next_ = 0, tail_ = 0, rawTail_ = 0;
    uint32_t rawFree_ = 0, unused_ = 0;
    uint32_t prefixLen_ = 0;
    size_t count_ = 0;
    std::array<uint16_t, kMaxEntries> ends_;
};

std::string where(const Table& t, const Index& index) { return Where{t, index} + ""; }

}  // namespace

// The sort-order version byte of a Jet 4 text column, found by column number among
// the stored column descriptors (0 when absent).
static uint8_t textSortVersion(const Database& db, const std::vector<uint8_t>& tdef, const Column& c) {
    const Format& f = db.format();
    if (!f.jet4() || (c.type != ColType::Text && c.type != ColType::Memo)) return 0;
    auto u16 = [&](size_t o) -> uint32_t { return o + 2 <= tdef.size() ? (tdef[o] | (tdef[o + 1] << 8)) : 0; };
    auto u32 = [&](size_t o) -> uint32_t { return u16(o) | (u16(o + 2) << 16); };
    const size_t numCols = u16(f.tdefNumCols);
    const size_t numReal = u32(f.tdefNumRealIdx);
    if (numReal > tdef.size() / f.tdefRealIdxEntrySize) return 0;
    const size_t start = f.tdefIndexStart + numReal * f.tdefRealIdxEntrySize;
    for (size_t i = 0; i < numCols; ++i) {
        const size_t d = start + i * f.tdefColumnSize;
        if (d + f.tdefColumnSize > tdef.size()) break;
        if (tdef[d] == static_cast<uint8_t>(c.type) && u16(d + 5) == c.number) return tdef[d + 14];
    }
    return 0;
}

std::vector<uint8_t> Table::encodeKey(const Index& index, const Row& row) const {
    std::vector<uint8_t> key;
    key.reserve(32);  // a number's or date's key whole, without growing byte by byte
    for (const IndexColumn& ic : index.columns) {
        if (ic.column < 0 || static_cast<size_t>(ic.column) >= columns_.size() ||
            static_cast<size_t>(ic.column) >= row.size())
            throw Error(where(*this, index) + ": index column is not part of the row", Error::Code::Corrupt);
        const Column& col = columns_[ic.column];
        if (encodeColumn(key, db_, col, textSortVersion(db_, tdef_, col), ic.ascending, row[ic.column]) != Fit::Ok)
            throw Error(where(*this, index) + ": value " + toDebugString(row[ic.column]) + " does not fit column '" +
                            columns_[ic.column].name + "'",
                        Error::Code::Corrupt);
    }
    return key;
}

std::vector<RowId> Table::seek(const Index& index, const std::vector<Value>& key) const {
    if (key.size() > index.columns.size())
        throw Error("index '" + index.name + "' has " + std::to_string(index.columns.size()) + " column(s), " +
                        std::to_string(key.size()) + " value(s) given",
                    Error::Code::Query);
    // A shorter key matches on the leading columns: column encodings are self-delimiting.
    std::vector<uint8_t> probe;
    probe.reserve(32);
    for (size_t i = 0; i < key.size(); ++i) {
        const IndexColumn& ic = index.columns[i];
        if (ic.column < 0 || static_cast<size_t>(ic.column) >= columns_.size())
            throw Error(where(*this, index) + ": index names a missing column", Error::Code::Corrupt);
        const Column& col = columns_[ic.column];
        if (encodeColumn(probe, db_, col, textSortVersion(db_, tdef_, col), ic.ascending, key[i]) != Fit::Ok) return {};
    }

    const Layout L(db_.format());
    const Pager& pager = db_.pager();
    const Where ctx{*this, index};
    std::vector<RowId> found;

    uint32_t pageNo = index.firstPage;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) throw Error(ctx + ": index tree loops or is too deep", Error::Code::Corrupt);
        IndexPage page(pager, L, pageNo, ctx);
        if (page.leaf()) break;
        size_t i = page.lowerBound(probe.data(), probe.size());
        if (i < page.count()) pageNo = page.child(i);
        else if (page.tail() != 0) pageNo = page.tail();
        else if (page.count() > 0) pageNo = page.child(page.count() - 1);  // leaves past it follow by chain
        else return found;
    }

    // Matching entries may continue over following leaves. Pages are remembered only
    // once the walk leaves the first one, so a plain lookup allocates nothing here.
    std::unordered_set<uint32_t> visited;
    bool first = true;
    while (pageNo != 0) {
        if (!first && !visited.insert(pageNo).second)
            throw Error(ctx + ": index leaf chain loops", Error::Code::Corrupt);
        IndexPage page(pager, L, pageNo, ctx);
        if (!page.leaf()) throw Error(ctx + ": leaf chain reaches a non-leaf page", Error::Code::Corrupt);
        size_t i = first ? page.lowerBound(probe.data(), probe.size()) : 0;
        first = false;
        for (; i < page.count(); ++i) {
            int c = page.compareKey(i, probe.data(), probe.size());
            if (c > 0) return found;
            if (c == 0) found.push_back(page.row(i));
        }
        if (visited.empty()) visited.insert(pageNo);
        pageNo = page.next();
    }
    return found;
}

std::vector<Table::IndexEntry> Table::indexEntries(const Index& index) const {
    const Layout L(db_.format());
    const Pager& pager = db_.pager();
    const Where ctx{*this, index};
    std::vector<IndexEntry> out;
    std::vector<bool> visited(pager.pageCount(), false);

    // Depth-first over the tree, children in key order, each node's tail last.
    struct Frame {
        uint32_t page;
        size_t nextChild;
    };
    std::vector<Frame> stack;
    auto enter = [&](uint32_t pageNo) {
        if (pageNo >= visited.size() || pageNo == 0)
            throw Error(ctx + (": index page " + std::to_string(pageNo) + " is outside the file"), Error::Code::Corrupt);
        if (visited[pageNo]) throw Error(ctx + (": index page " + std::to_string(pageNo) + " is reached twice"), Error::Code::Corrupt);
        if (stack.size() > static_cast<size_t>(kMaxDepth)) throw Error(ctx + ": index tree is too deep", Error::Code::Corrupt);
        visited[pageNo] = true;
        stack.push_back({pageNo, 0});
    };
    enter(index.firstPage);
    while (!stack.empty()) {
        Frame& f = stack.back();
        IndexPage page(pager, L, f.page, ctx);
        if (page.leaf()) {
            for (size_t i = 0; i < page.count(); ++i) {
                IndexEntry e;
                page.key(i, e.key);
                e.row = page.row(i);
                out.push_back(std::move(e));
            }
            stack.pop_back();
            continue;
        }
        size_t c = f.nextChild++;
        if (c < page.count()) enter(page.child(c));
        else if (c == page.count() && page.tail() != 0 && (c == 0 || page.tail() != page.child(c - 1)))
            enter(page.tail());  // a tail already reached through the last entry is not a second child
        else stack.pop_back();
    }
    return out;
}

std::vector<Table::IndexPageInfo> Table::indexPages(const Index& index) const {
    const Layout L(db_.format());
    const Pager& pager = db_.pager();
    const Where ctx{*this, index};
    std::vector<IndexPageInfo> out;
    std::vector<bool> visited(pager.pageCount(), false);
    // (page, parent, depth), taken from the back; children are pushed last to first.
    std::vector<std::array<uint32_t, 3>> todo{{index.firstPage, 0, 0}};
    while (!todo.empty()) {
        auto [pageNo, parent, depth] = todo.back();
        todo.pop_back();
        if (pageNo == 0 || pageNo >= visited.size())
            throw Error(ctx + (": index page " + std::to_string(pageNo) + " is outside the file"), Error::Code::Corrupt);
        if (visited[pageNo])
            throw Error(ctx + (": index page " + std::to_string(pageNo) + " is reached twice"), Error::Code::Corrupt);
        if (depth > static_cast<uint32_t>(kMaxDepth)) throw Error(ctx + ": index tree is too deep", Error::Code::Corrupt);
        visited[pageNo] = true;
        IndexPage page(pager, L, pageNo, ctx);
        IndexPageInfo info;
        info.page = pageNo;
        info.parent = parent;
        info.depth = static_cast<int>(depth);
        info.leaf = page.leaf();
        info.prev = page.prev();
        info.next = page.next();
        info.tail = page.tail();
        info.tailField = page.rawTail();
        info.freeField = page.rawFree();
        info.unused = page.unused();
        for (size_t i = 0; i < page.count(); ++i) {
            IndexEntry e;
            page.key(i, e.key);
            e.row = page.row(i);
            info.entries.push_back(std::move(e));
            if (!page.leaf()) info.children.push_back(page.child(i));
        }
        std::vector<uint32_t> kids = info.children;
        if (info.tail != 0 && (kids.empty() || kids.back() != info.tail)) kids.push_back(info.tail);
        for (size_t k = kids.size(); k-- > 0;) todo.push_back({kids[k], pageNo, depth + 1});
        out.push_back(std::move(info));
    }
    return out;
}

}  // namespace jet
