#include "table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "bytes.h"
#include "database.h"
#include "error.h"
#include "page_rows.h"
#include "text.h"

namespace jet {
namespace {

constexpr uint8_t kPageData = 0x01;
constexpr uint8_t kPageTdef = 0x02;
constexpr uint8_t kPageUsageMap = 0x05;
constexpr int kMaxOverflowHops = 8;
constexpr uint32_t kMaxColumns = 4096;
constexpr uint32_t kMaxIndexes = 1024;

std::string upper(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}


// Bytes a value of the type needs at least; 0 for types of any length.
uint32_t minSize(ColType t) {
    Column c;
    c.type = t;
    c.length = 0;
    return fixedSize(c);
}

// Bounds-checked reads over the concatenated table definition.
class DefReader {
public:
    DefReader(const std::vector<uint8_t>& b, const std::string& file, const std::string& table)
        : b_(b), file_(file), table_(table) {}
    const uint8_t* at(size_t off, size_t n) const {
        if (off > b_.size() || n > b_.size() - off)
            detail::throwCorrupt(file_, "definition of table '" + table_ + "' is truncated");
        return b_.data() + off;
    }
    uint8_t u8(size_t off) const { return *at(off, 1); }
    uint16_t u16(size_t off) const { return bytes::u16(at(off, 2)); }
    uint32_t u32(size_t off) const { return bytes::u32(at(off, 4)); }

private:
    const std::vector<uint8_t>& b_;
    const std::string& file_;
    const std::string& table_;
};

// The same text as Database::decodeText, appended to `out`.
void appendText(const Database& db, std::string& out, const uint8_t* p, size_t n) {
    if (!db.format().jet4())
        text::appendCodePage(out, p, n, db.header().codePage);
    else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE)
        text::appendCompressed(out, p + 2, n - 2);
    else
        text::appendUtf16le(out, p, n);
}

}  // namespace

uint32_t fixedSize(const Column& c) {
    switch (c.type) {
        case ColType::Bool: return 0;
        case ColType::Byte: return 1;
        case ColType::Int: return 2;
        case ColType::Long:
        case ColType::Float: return 4;
        case ColType::Money:
        case ColType::Double:
        case ColType::DateTime: return 8;
        case ColType::Guid: return 16;
        case ColType::Numeric: return 17;
        default: return c.length;
    }
}

class TableLoader {
public:
    static void load(Table& t);
};

void TableLoader::load(Table& t) {
    const Database& db = t.db_;
    const Format& f = db.format();
    const Pager& pg = db.pager();
    const std::string& file = db.path();
    const bool j4 = f.jet4();

    // Gather the definition's pages; continuation pages contribute what follows their 8-byte header.
    std::unordered_set<uint32_t> seen;
    uint32_t pageNo = t.tdefPage_;
    bool first = true;
    while (pageNo != 0) {
        if (pageNo >= pg.pageCount())
            detail::throwCorrupt(file, "definition of table '" + t.name_ + "' points to page " + std::to_string(pageNo) +
                                           " beyond the end of the file");
        if (!seen.insert(pageNo).second)
            detail::throwCorrupt(file, "definition pages of table '" + t.name_ + "' form a loop");
        const uint8_t* p = pg.page(pageNo);
        if (p[0] != kPageTdef)
            detail::throwCorrupt(file, "page " + std::to_string(pageNo) + " should hold the definition of table '" +
                                           t.name_ + "' but does not");
        if (first)
            t.tdef_.assign(p, p + f.pageSize);
        else
            t.tdef_.insert(t.tdef_.end(), p + 8, p + f.pageSize);
        first = false;
        pageNo = bytes::u32(p + 4);
    }

    DefReader r(t.tdef_, file, t.name_);
    t.maxCols_ = r.u16(f.tdefMaxCols);
    t.numVarCols_ = r.u16(f.tdefNumVarCols);
    const uint16_t numCols = r.u16(f.tdefNumCols);
    const uint32_t numIdx = r.u32(f.tdefNumIdx);
    const uint32_t numRealIdx = r.u32(f.tdefNumRealIdx);
    t.usedPagesRef_ = r.u32(f.tdefUsedPages);
    t.freePagesRef_ = r.u32(f.tdefFreePages);
    // Counts are checked against the bytes they would need before anything is allocated,
    // and against limits far above Access's own (255 columns, 32 indexes).
    const size_t avail = t.tdef_.size();
    if (numRealIdx > avail / f.tdefRealIdxEntrySize || numIdx > avail / f.tdefLogIdxSize ||
        numCols > avail / f.tdefColumnSize || numCols > kMaxColumns || numIdx > kMaxIndexes ||
        numRealIdx > kMaxIndexes)
        detail::throwCorrupt(file, "definition of table '" + t.name_ + "' has impossible column or index counts");

    size_t off = f.tdefIndexStart;
    std::vector<uint32_t> realIdxRows(numRealIdx);
    for (uint32_t i = 0; i < numRealIdx; ++i) realIdxRows[i] = r.u32(off + i * f.tdefRealIdxEntrySize + 4);
    off += static_cast<size_t>(numRealIdx) * f.tdefRealIdxEntrySize;

    t.columns_.resize(numCols);
    for (uint16_t i = 0; i < numCols; ++i) {
        const size_t c = off + static_cast<size_t>(i) * f.tdefColumnSize;
        r.at(c, f.tdefColumnSize);
        Column& col = t.columns_[i];
        col.type = static_cast<ColType>(r.u8(c));
        if (j4) {
            col.number = r.u16(c + 5);
            col.varIndex = r.u16(c + 7);
            col.flags = r.u8(c + 15);
            col.fixedOffset = r.u16(c + 21);
            col.length = r.u16(c + 23);
            if (col.type == ColType::Numeric) {
                col.precision = r.u8(c + 11);
                col.scale = r.u8(c + 12);
            } else if (col.type == ColType::Text || col.type == ColType::Memo) {
                col.sortOrder = r.u16(c + 11);
            }
        } else {
            col.number = r.u16(c + 1);
            col.varIndex = r.u16(c + 3);
            col.flags = r.u8(c + 13);
            col.fixedOffset = r.u16(c + 14);
            col.length = r.u16(c + 16);
            if (col.type == ColType::Numeric) {
                col.precision = r.u8(c + 11);
                col.scale = r.u8(c + 12);
            } else if (col.type == ColType::Text || col.type == ColType::Memo) {
                col.sortOrder = r.u16(c + 9);
            }
        }
        col.fixed = (col.flags & 0x01) != 0;
        col.nullable = (col.flags & 0x02) != 0;
        col.autonumber = (col.flags & 0x04) != 0;
        col.replication = (col.flags & 0x40) != 0;
    }
    off += static_cast<size_t>(numCols) * f.tdefColumnSize;

    auto readName = [&](size_t& o) {
        std::string s;
        if (j4) {
            uint16_t n = r.u16(o);
            text::appendUtf16le(s, r.at(o + 2, n), n);
            o += 2 + n;
        } else {
            uint8_t n = r.u8(o);
            text::appendCodePage(s, r.at(o + 1, n), n, db.header().codePage);
            o += 1 + n;
        }
        return s;
    };
    for (auto& col : t.columns_) col.name = readName(off);
    // Access presents columns in column-number order, which is not always the stored order.
    std::stable_sort(t.columns_.begin(), t.columns_.end(),
                     [](const Column& a, const Column& b) { return a.number < b.number; });

    std::unordered_map<uint16_t, int> byNumber;
    for (size_t c = 0; c < t.columns_.size(); ++c) byNumber.emplace(t.columns_[c].number, static_cast<int>(c));

    struct RealIdx {
        std::vector<IndexColumn> cols;
        uint32_t usedPages = 0, firstPage = 0;
        uint8_t flags = 0;
    };
    std::vector<RealIdx> real(numRealIdx);
    for (uint32_t i = 0; i < numRealIdx; ++i) {
        size_t base = off + static_cast<size_t>(i) * f.tdefRealIdxSize + (j4 ? 4 : 0);
        r.at(base, j4 ? 48 : 39);
        for (int k = 0; k < 10; ++k) {
            uint16_t num = r.u16(base + 3 * k);
            if (num == 0xFFFF) continue;
            uint8_t order = r.u8(base + 3 * k + 2);
            auto it = byNumber.find(num);
            const int pos = it == byNumber.end() ? -1 : it->second;
            real[i].cols.push_back(IndexColumn{pos, (order & 0x01) != 0});  // 0x01 ascending, 0x00 descending
        }
        real[i].usedPages = r.u32(base + 30);
        real[i].firstPage = r.u32(base + 34);
        real[i].flags = r.u8(base + (j4 ? 42 : 38));  // Jet 4 has 4 more bytes before the flags
    }
    off += static_cast<size_t>(numRealIdx) * f.tdefRealIdxSize;

    t.indexes_.resize(numIdx);
    for (uint32_t i = 0; i < numIdx; ++i) {
        size_t base = off + static_cast<size_t>(i) * f.tdefLogIdxSize + (j4 ? 4 : 0);
        r.at(base, 20);
        Index& ix = t.indexes_[i];
        ix.number = static_cast<int>(r.u32(base));
        uint32_t realNo = r.u32(base + 4);
        uint8_t type = r.u8(base + 19);
        ix.primaryKey = type == 0x01;
        ix.foreignKey = type == 0x02;
        if (realNo >= numRealIdx)
            detail::throwCorrupt(file, "an index of table '" + t.name_ + "' refers to a missing index definition");
        ix.realIndex = static_cast<int>(realNo);
        const RealIdx& ri = real[realNo];
        ix.columns = ri.cols;
        ix.flags = ri.flags;
        ix.unique = (ri.flags & 0x01) != 0 || ix.primaryKey;
        ix.ignoreNulls = (ri.flags & 0x02) != 0;
        ix.required = (ri.flags & 0x08) != 0;
        ix.firstPage = ri.firstPage;
        ix.usedPagesRef = ri.usedPages;
        ix.rowCountAtDef = realIdxRows[realNo];
    }
    off += static_cast<size_t>(numIdx) * f.tdefLogIdxSize;
    for (auto& ix : t.indexes_) ix.name = readName(off);
}

Table::Table(const Database& db, std::string name, uint32_t tdefPage, bool system)
    : db_(db), name_(std::move(name)), tdefPage_(tdefPage), system_(system) {
    TableLoader::load(*this);
}

Table::~Table() = default;

uint32_t Table::rowCount() const { return bytes::u32(db_.pager().page(tdefPage_) + db_.format().tdefRowCount); }

uint32_t Table::nextAutonumber() const { return bytes::u32(db_.pager().page(tdefPage_) + db_.format().tdefAutonumber); }

int Table::columnIndex(const std::string& name) const {
    const std::string u = upper(name);
    for (size_t i = 0; i < columns_.size(); ++i)
        if (upper(columns_[i].name) == u) return static_cast<int>(i);
    return -1;
}

const Index* Table::findIndex(const std::string& name) const {
    const std::string u = upper(name);
    for (const auto& ix : indexes_)
        if (upper(ix.name) == u) return &ix;
    return nullptr;
}

const Index* Table::primaryKey() const {
    for (const auto& ix : indexes_)
        if (ix.primaryKey) return &ix;
    return nullptr;
}

std::vector<uint32_t> Table::dataPages() const {
    const Format& f = db_.format();
    const Pager& pg = db_.pager();
    const std::string& file = db_.path();
    std::vector<uint32_t> out;
    const uint32_t mapPage = usedPagesRef_ >> 8;
    const uint16_t mapRow = static_cast<uint16_t>(usedPagesRef_ & 0xFF);
    if (mapPage == 0 || mapPage >= pg.pageCount())
        detail::throwCorrupt(file, "page map of table '" + name_ + "' points outside the file");
    const uint8_t* p = pg.page(mapPage);
    detail::RowSpan rs;
    if (!detail::rowOnPage(f, p, mapRow, rs, file, mapPage) || rs.len < 1)
        detail::throwCorrupt(file, "page map of table '" + name_ + "' is missing");

    auto consider = [&](uint64_t n) {
        if (n == 0 || n >= pg.pageCount()) return;
        const uint8_t* dp = pg.page(static_cast<uint32_t>(n));
        if (dp[0] == kPageData && bytes::u32(dp + f.dataTdefPage) == tdefPage_) out.push_back(static_cast<uint32_t>(n));
    };
    auto bitmap = [&](const uint8_t* bits, size_t n, uint64_t base) {
        for (size_t i = 0; i < n; ++i) {
            uint8_t b = bits[i];
            if (!b) continue;
            for (int k = 0; k < 8; ++k)
                if (b & (1u << k)) consider(base + i * 8 + k);
        }
    };

    const uint8_t type = rs.data[0];
    if (type == 0) {
        if (rs.len < 5) detail::throwCorrupt(file, "page map of table '" + name_ + "' is too short");
        bitmap(rs.data + 5, rs.len - 5, bytes::u32(rs.data + 1));
    } else if (type == 1) {
        const uint64_t perPage = static_cast<uint64_t>(f.pageSize - 4) * 8;
        std::unordered_set<uint32_t> seen;
        for (size_t k = 0; 1 + 4 * k + 4 <= rs.len; ++k) {
            uint32_t mp = bytes::u32(rs.data + 1 + 4 * k);
            if (mp == 0) continue;
            if (mp >= pg.pageCount() || !seen.insert(mp).second)
                detail::throwCorrupt(file, "page map of table '" + name_ + "' refers to a bad map page");
            const uint8_t* m = pg.page(mp);
            if (m[0] != kPageUsageMap)
                detail::throwCorrupt(file, "page map of table '" + name_ + "' refers to page " + std::to_string(mp) +
                                               ", which is not a map page");
            bitmap(m + 4, f.pageSize - 4, k * perPage);
        }
    } else {
        detail::throwCorrupt(file, "page map of table '" + name_ + "' has unknown type " + std::to_string(type));
    }
    return out;
}

bool Table::locateRow(RowId id, const uint8_t*& data, size_t& len) const {
    const Format& f = db_.format();
    const Pager& pg = db_.pager();
    const std::string& file = db_.path();
    for (int hop = 0; hop <= kMaxOverflowHops; ++hop) {
        if (id.page == 0 || id.page >= pg.pageCount()) {
            if (hop == 0) return false;
            detail::throwCorrupt(file, "overflow row of table '" + name_ + "' points outside the file");
        }
        const uint8_t* p = pg.page(id.page);
        if (p[0] != kPageData) {
            if (hop == 0) return false;
            detail::throwCorrupt(file, "overflow row of table '" + name_ + "' points to a page that holds no rows");
        }
        detail::RowSpan rs;
        if (!detail::rowOnPage(f, p, id.row, rs, file, id.page)) {
            if (hop == 0) return false;
            detail::throwCorrupt(file, "overflow row of table '" + name_ + "' points to a missing row");
        }
        if (hop == 0 && bytes::u32(p + f.dataTdefPage) != tdefPage_) return false;
        if (hop == 0 && (rs.flags & detail::kRowDeleted)) return false;
        if (!(rs.flags & detail::kRowLookup)) {
            data = rs.data;
            len = rs.len;
            return true;
        }
        if (rs.len < 4) detail::throwCorrupt(file, "overflow row of table '" + name_ + "' is too short");
        uint32_t ptr = bytes::u32(rs.data);
        id = RowId{ptr >> 8, static_cast<uint16_t>(ptr & 0xFF)};
    }
    detail::throwCorrupt(file, "overflow rows of table '" + name_ + "' form a chain that does not end");
}

void Table::decodeRow(const uint8_t* row, size_t len, const std::vector<int>* wanted, Row& out) const {
    const bool j4 = db_.format().jet4();
    const std::string& file = db_.path();
    auto corrupt = [&](const char* what) {
        detail::throwCorrupt(file, std::string("a row of table '") + name_ + "' " + what);
    };
    out.resize(columns_.size());
    const size_t hdr = j4 ? 2 : 1;
    if (len < hdr) corrupt("is empty");
    const unsigned rowCols = j4 ? bytes::u16(row) : row[0];
    const size_t maskLen = (rowCols + 7) / 8;
    if (hdr + maskLen > len) corrupt("is shorter than its null mask");
    const uint8_t* mask = row + len - maskLen;
    size_t dataEnd = len - maskLen;  // end of the fixed and variable data plus the offset table

    // Variable column offsets, relative to the row start; the last entry ends the data.
    std::array<uint16_t, 257> jet3Offs;
    unsigned varLen = 0;
    const bool hasVar = numVarCols_ > 0;
    if (hasVar) {
        if (j4) {
            if (dataEnd < hdr + 2) corrupt("has no variable column table");
            varLen = bytes::u16(row + dataEnd - 2);
            if (2u + 2u * (varLen + 1) > dataEnd - hdr) corrupt("has a variable column table longer than the row");
            dataEnd -= 2 + 2 * (varLen + 1);
        } else {
            if (dataEnd < hdr + 1) corrupt("has no variable column table");
            varLen = row[dataEnd - 1];
            // Offsets are single bytes; a jump table records where each next 256 bytes begins.
            const size_t jumps = (len - 1) / 256;
            if (1 + jumps + varLen + 1 > dataEnd - hdr) corrupt("has a variable column table longer than the row");
            const size_t tablePos = dataEnd - 1 - jumps - 1;  // var column 0's offset; later ones below it
            const size_t eodPos = tablePos - varLen;
            size_t realJumps = jumps;
            if (realJumps > 0 && eodPos / 256 < realJumps) --realJumps;
            size_t used = 0;
            for (unsigned i = 0; i <= varLen; ++i) {
                while (used < realJumps && row[dataEnd - 2 - used] == i) ++used;
                jet3Offs[i] = static_cast<uint16_t>(row[tablePos - i] + 256 * used);
            }
            dataEnd = eodPos;
        }
    }
    // A cursor decodes every row into the same Values: a text's buffer is reused.
    auto textInto = [&](Value& v, const uint8_t* p, size_t n) {
        std::string s = v.isText() ? std::move(const_cast<std::string&>(v.asText())) : std::string();
        s.clear();
        appendText(db_, s, p, n);
        v.setText(std::move(s));
    };
    auto varOffset = [&](unsigned i) -> size_t {
        if (j4) return bytes::u16(row + len - maskLen - 4 - 2 * i);
        return jet3Offs[i];
    };

    const size_t count = wanted ? wanted->size() : columns_.size();
    for (size_t w = 0; w < count; ++w) {
        const int ci = wanted ? (*wanted)[w] : static_cast<int>(w);
        if (ci < 0 || static_cast<size_t>(ci) >= columns_.size()) continue;
        const Column& c = columns_[ci];
        Value& v = out[ci];
        if (c.number >= rowCols) {
            v.setNull();
            continue;
        }
        const bool bit = (mask[c.number / 8] >> (c.number % 8)) & 1;
        if (c.type == ColType::Bool) {
            v.setBool(bit);
            continue;
        }
        if (!bit) {
            v.setNull();
            continue;
        }
        const uint8_t* p;
        size_t n;
        if (c.fixed) {
            n = fixedSize(c);
            size_t start = hdr + c.fixedOffset;
            if (start + n > dataEnd) corrupt("is too short for its fixed columns");
            p = row + start;
        } else {
            if (!hasVar || c.varIndex >= varLen) {
                v.setNull();
                continue;
            }
            size_t s = varOffset(c.varIndex), e = varOffset(c.varIndex + 1u);
            if (s > e || e > dataEnd || s < hdr) corrupt("has a variable column outside the row");
            p = row + s;
            n = e - s;
        }
        // A damaged definition can declare a number column variable, so sizes are checked here too.
        if (const uint32_t need = minSize(c.type); n < need) corrupt("has a value shorter than its type");
        switch (c.type) {
            case ColType::Byte: v.setByte(p[0]); break;
            case ColType::Int: v.setInt16(bytes::i16(p)); break;
            case ColType::Long: v.setInt32(bytes::i32(p)); break;
            case ColType::Money: v.setCurrency(Currency{bytes::i64(p)}); break;
            case ColType::Float: v.setSingle(bytes::f32(p)); break;
            case ColType::Double: v.setDouble(bytes::f64(p)); break;
            case ColType::DateTime: v.setDate(bytes::f64(p)); break;
            case ColType::Guid: {
                Guid g;
                std::memcpy(g.bytes.data(), p, 16);
                v = Value::guid(g);
                break;
            }
            case ColType::Numeric: {
                unsigned __int128 mag = 0;
                for (int k = 0; k < 4; ++k) mag = (mag << 32) | bytes::u32(p + 1 + 4 * k);  // most significant word first
                Decimal d;
                // Magnitudes beyond 127 bits cannot be represented; Jet never stores more than 28 digits.
                __int128 m = static_cast<__int128>(mag & ~(static_cast<unsigned __int128>(1) << 127));
                d.unscaled = (p[0] & 0x80) ? -m : m;
                d.precision = c.precision;
                d.scale = c.scale;
                v = Value::decimal(d);
                break;
            }
            case ColType::Text: textInto(v, p, n); break;
            case ColType::Memo: {
                // A memo kept within its row (most notes) is decoded where it lies.
                if (const auto in = Database::inlineLongValue(p, n)) {
                    textInto(v, in->data(), in->size());
                    break;
                }
                const Bytes b = db_.readLongValue(p, n);
                textInto(v, b.data(), b.size());
                break;
            }
            case ColType::OLE: v = Value::binary(db_.readLongValue(p, n)); break;
            default: v = Value::binary(Bytes(p, p + n)); break;
        }
    }
}

std::optional<Row> Table::readRow(RowId id) const {
    const uint8_t* data;
    size_t len;
    if (!locateRow(id, data, len)) return std::nullopt;
    Row r;
    decodeRow(data, len, nullptr, r);
    return r;
}

std::optional<Row> Table::readRow(RowId id, const std::vector<int>& wanted) const {
    const uint8_t* data;
    size_t len;
    if (!locateRow(id, data, len)) return std::nullopt;
    Row r(columns_.size());
    decodeRow(data, len, &wanted, r);
    return r;
}

Table::Cursor::Cursor(const Table& t, std::vector<int> wanted)
    : table_(t), wanted_(std::move(wanted)), pages_(t.dataPages()) {
    row_.resize(t.columns().size());
}

bool Table::Cursor::next() {
    const Format& f = table_.db_.format();
    const Pager& pg = table_.db_.pager();
    while (pageIdx_ < pages_.size()) {
        const uint32_t pageNo = pages_[pageIdx_];
        const uint8_t* p = pg.page(pageNo);
        const uint16_t n = detail::rowCountOnPage(f, p);
        while (++rowIdx_ < n) {
            const RowId id{pageNo, static_cast<uint16_t>(rowIdx_)};
            const uint8_t* data;
            size_t len;
            if (!table_.locateRow(id, data, len)) continue;
            table_.decodeRow(data, len, wanted_.empty() ? nullptr : &wanted_, row_);
            current_ = id;
            return true;
        }
        ++pageIdx_;
        rowIdx_ = -1;
    }
    return false;
}

}  // namespace jet
