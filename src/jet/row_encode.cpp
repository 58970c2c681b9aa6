#include "row_encode.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bytes.h"
#include "error.h"
#include "page_rows.h"

namespace jet::detail {
namespace {


[[noreturn]] void refuse(const Table& t, const Column& c, const std::string& why) {
    throw Error("cannot store this value in column '" + c.name + "' of table '" + t.name() + "': " + why);
}

const char* kindName(Value::Kind k) {
    switch (k) {
        case Value::Kind::Null: return "Null";
        case Value::Kind::Bool: return "a Yes/No value";
        case Value::Kind::Byte:
        case Value::Kind::Int16:
        case Value::Kind::Int32: return "a whole number";
        case Value::Kind::Currency: return "a currency amount";
        case Value::Kind::Single:
        case Value::Kind::Double: return "a number";
        case Value::Kind::Date: return "a date";
        case Value::Kind::Text: return "text";
        case Value::Kind::Binary: return "binary data";
        case Value::Kind::Guid: return "a replication ID";
        case Value::Kind::Decimal: return "a decimal number";
    }
    return "a value";
}

bool isNumberKind(Value::Kind k) {
    switch (k) {
        case Value::Kind::Bool:
        case Value::Kind::Byte:
        case Value::Kind::Int16:
        case Value::Kind::Int32:
        case Value::Kind::Currency:
        case Value::Kind::Single:
        case Value::Kind::Double:
        case Value::Kind::Date:
        case Value::Kind::Decimal: return true;
        default: return false;
    }
}

__int128 pow10i(int n) {
    __int128 r = 1;
    for (int i = 0; i < n; ++i) r *= 10;
    return r;
}

// unscaled / 10^drop rounded half away from zero, as Access rounds decimals.
__int128 dropDigits(__int128 v, int drop) {
    if (drop <= 0) return v;
    const __int128 p = pow10i(drop);
    __int128 q = v / p, r = v % p;
    if (r < 0) r = -r;
    if (r * 2 >= p) q += v < 0 ? -1 : 1;
    return q;
}

// Banker's rounding of x / 10^4 for currency to whole numbers, as Jet's conversions do.
int64_t roundCurrency(int64_t scaled) {
    int64_t q = scaled / 10000, r = scaled % 10000;
    int64_t ar = r < 0 ? -r : r;
    if (ar > 5000 || (ar == 5000 && (q % 2 != 0))) q += scaled < 0 ? -1 : 1;
    return q;
}

// A whole number from any numeric kind; false when it is not finite.
bool wholeNumber(const Value& v, __int128& out) {
    switch (v.kind()) {
        case Value::Kind::Bool: out = v.asBool() ? -1 : 0; return true;
        case Value::Kind::Byte:
        case Value::Kind::Int16:
        case Value::Kind::Int32: out = v.toInt64(); return true;
        case Value::Kind::Currency: out = roundCurrency(v.asCurrency().scaled); return true;
        case Value::Kind::Decimal: out = dropDigits(v.asDecimal().unscaled, v.asDecimal().scale); return true;
        default: {
            double d = v.kind() == Value::Kind::Date ? v.asDate().days : v.toDouble();
            if (!std::isfinite(d) || std::fabs(d) > 9.2e18) return false;
            out = static_cast<__int128>(std::nearbyint(d));
            return true;
        }
    }
}

double asDouble(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Date: return v.asDate().days;
        case Value::Kind::Currency: return static_cast<double>(v.asCurrency().scaled) / 10000.0;
        case Value::Kind::Decimal:
            return static_cast<double>(v.asDecimal().unscaled) / std::pow(10.0, v.asDecimal().scale);
        default: return v.toDouble();
    }
}

// A number as unscaled digits at `scale`; false when it cannot be represented.
bool scaledNumber(const Value& v, int scale, __int128& out) {
    switch (v.kind()) {
        case Value::Kind::Bool:
        case Value::Kind::Byte:
        case Value::Kind::Int16:
        case Value::Kind::Int32: {
            __int128 w = 0;
            wholeNumber(v, w);
            out = w * pow10i(scale);
            return true;
        }
        case Value::Kind::Currency: {
            __int128 s = v.asCurrency().scaled;
            out = scale >= 4 ? s * pow10i(scale - 4) : dropDigits(s, 4 - scale);
            return true;
        }
        case Value::Kind::Decimal: {
            const Decimal& d = v.asDecimal();
            if (d.scale > 38 || scale > 38) return false;
            if (d.scale <= scale) {
                if (scale - d.scale > 28) return false;
                __int128 lim = pow10i(38 - (scale - d.scale));
                if (d.unscaled >= lim || d.unscaled <= -lim) return false;
                out = d.unscaled * pow10i(scale - d.scale);
            } else {
                out = dropDigits(d.unscaled, d.scale - scale);
            }
            return true;
        }
        default: {
            double d = asDouble(v) * std::pow(10.0, scale);
            if (!std::isfinite(d) || std::fabs(d) >= 1e36) return false;
            out = static_cast<__int128>(std::nearbyint(d));
            return true;
        }
    }
}

// UTF-8 to code points; false for malformed input.
bool decodeUtf8(const std::string& s, std::vector<uint32_t>& out) {
    out.clear();
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        uint8_t b = static_cast<uint8_t>(s[i]);
        uint32_t cp;
        int extra;
        if (b < 0x80) {
            cp = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (extra > 0 && i + extra >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            uint8_t c = static_cast<uint8_t>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const uint32_t minFor[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < minFor[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        out.push_back(cp);
        i += 1 + extra;
    }
    return true;
}

// Windows-1252 bytes 0x80..0x9F; positions Windows leaves undefined stand for themselves.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool toCp1252(uint32_t cp, uint8_t& out) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        out = static_cast<uint8_t>(cp);
        return true;
    }
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp) {
            out = static_cast<uint8_t>(0x80 + i);
            return true;
        }
    return false;
}

// UTF-16 code units of the text.
std::vector<uint16_t> utf16Units(const std::vector<uint32_t>& cps) {
    std::vector<uint16_t> u;
    u.reserve(cps.size());
    for (uint32_t cp : cps) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            u.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
            u.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            u.push_back(static_cast<uint16_t>(cp));
        }
    }
    return u;
}

// Text as the file stores it: Jet 3 in its code page, Jet 4 as UCS-2 or, in columns
// flagged for it, compressed to one byte per character when every character allows.
Bytes encodeText(const Database& db, const Table* t, const Column& c, const ColumnExtra& x, const std::string& s,
                 bool allowCompression) {
    std::vector<uint32_t> cps;
    if (!decodeUtf8(s, cps)) {
        if (t) refuse(*t, c, "the text is not valid UTF-8");
        throw Error("text for column '" + c.name + "' is not valid UTF-8");
    }
    Bytes out;
    if (!db.format().jet4()) {
        out.reserve(cps.size());
        for (uint32_t cp : cps) {
            uint8_t b;
            if (!toCp1252(cp, b)) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "U+%04X", cp);
                throw Error("cannot store the character " + std::string(buf) + " in column '" + c.name +
                            "': an Access 97 database holds only Western European (code page 1252) text");
            }
            out.push_back(b);
        }
        return out;
    }
    std::vector<uint16_t> units = utf16Units(cps);
    bool compressible = allowCompression && x.compressedUnicode && units.size() > 2;
    for (uint16_t u : units)
        if (u == 0 || u > 0xFF) compressible = false;
    if (compressible) {
        out.reserve(units.size() + 2);
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (uint16_t u : units) out.push_back(static_cast<uint8_t>(u));
        return out;
    }
    out.reserve(units.size() * 2);
    for (uint16_t u : units) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

size_t textLengthInColumnUnits(const Database& db, const std::string& s) {
    std::vector<uint32_t> cps;
    if (!decodeUtf8(s, cps)) return 0;
    if (!db.format().jet4()) return cps.size();
    return utf16Units(cps).size();
}

void put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

template <class T>
void appendLe(Bytes& b, T v) {
    size_t at = b.size();
    b.resize(at + sizeof(T));
    std::memcpy(b.data() + at, &v, sizeof(T));  // the engine targets little-endian hosts, as Jet files are
}

}  // namespace

size_t maxRowSize(const Format& f) { return f.jet4() ? 4060 : 2012; }

std::vector<ColumnExtra> readColumnExtras(const Database& db, const Table& t) {
    const Format& f = db.format();
    const bool j4 = f.jet4();
    const std::vector<uint8_t>& d = t.definitionBytes();
    std::vector<ColumnExtra> out(t.columns().size());
    auto bad = [&]() { throwCorrupt(db.path(), "definition of table '" + t.name() + "' is truncated"); };
    auto need = [&](size_t at, size_t n) {
        if (at > d.size() || n > d.size() - at) bad();
    };
    auto u16 = [&](size_t at) {
        need(at, 2);
        return bytes::u16(d.data() + at);
    };
    auto u32 = [&](size_t at) {
        need(at, 4);
        return bytes::u32(d.data() + at);
    };
    auto byNumber = [&](uint16_t num) -> int {
        for (size_t i = 0; i < t.columns().size(); ++i)
            if (t.columns()[i].number == num) return static_cast<int>(i);
        return -1;
    };
    const uint16_t numCols = u16(f.tdefNumCols);
    const uint32_t numIdx = u32(f.tdefNumIdx);
    const uint32_t numReal = u32(f.tdefNumRealIdx);
    if (numIdx > d.size() || numReal > d.size()) bad();
    size_t pos = f.tdefIndexStart + static_cast<size_t>(numReal) * f.tdefRealIdxEntrySize;
    for (uint16_t i = 0; i < numCols; ++i) {
        size_t c = pos + static_cast<size_t>(i) * f.tdefColumnSize;
        need(c, f.tdefColumnSize);
        if (!j4) continue;
        int idx = byNumber(u16(c + 5));
        if (idx >= 0) out[idx].compressedUnicode = (d[c + 16] & 0x01) != 0;
    }
    pos += static_cast<size_t>(numCols) * f.tdefColumnSize;
    for (uint16_t i = 0; i < numCols; ++i) {
        need(pos, j4 ? 2 : 1);
        pos += j4 ? 2u + u16(pos) : 1u + d[pos];
    }
    pos += static_cast<size_t>(numReal) * f.tdefRealIdxSize + static_cast<size_t>(numIdx) * f.tdefLogIdxSize;
    for (uint32_t i = 0; i < numIdx; ++i) {
        need(pos, j4 ? 2 : 1);
        pos += j4 ? 2u + u16(pos) : 1u + d[pos];
    }
    // Long-value columns may carry their own page maps, listed until column number 0xFFFF.
    for (int guard = 0; guard < 4096 && pos + 2 <= d.size(); ++guard) {
        uint16_t num = u16(pos);
        if (num == 0xFFFF || pos + 10 > d.size()) break;
        int idx = byNumber(num);
        if (idx >= 0) {
            out[idx].lvUsedMap = u32(pos + 2);
            out[idx].lvFreeMap = u32(pos + 6);
        }
        pos += 10;
    }
    return out;
}

Value convertForColumn(const Database& db, const Table& t, const Column& c, const Value& v) {
    if (v.isNull()) return c.type == ColType::Bool ? Value::boolean(false) : v;  // Yes/No has no Null
    const Value::Kind k = v.kind();
    auto wrongType = [&]() { refuse(t, c, std::string(kindName(k)) + " does not fit a " + colTypeName(c.type) + " column"); };
    auto whole = [&](int64_t lo, int64_t hi) -> int64_t {
        if (!isNumberKind(k)) wrongType();
        __int128 w = 0;
        if (!wholeNumber(v, w) || w < lo || w > hi)
            refuse(t, c, "the number " + toDebugString(v) + " is outside the column's range " + std::to_string(lo) +
                             " to " + std::to_string(hi));
        return static_cast<int64_t>(w);
    };
    switch (c.type) {
        case ColType::Bool:
            if (!isNumberKind(k)) wrongType();
            if (k == Value::Kind::Bool) return v;
            return Value::boolean(asDouble(v) != 0.0);
        case ColType::Byte: return Value::byte(static_cast<uint8_t>(whole(0, 255)));
        case ColType::Int: return Value::int16(static_cast<int16_t>(whole(-32768, 32767)));
        case ColType::Long: return Value::int32(static_cast<int32_t>(whole(INT32_MIN, INT32_MAX)));
        case ColType::Money: {
            if (!isNumberKind(k)) wrongType();
            if (k == Value::Kind::Currency) return v;
            __int128 s = 0;
            const __int128 lim = static_cast<__int128>(INT64_MAX);
            if (!scaledNumber(v, 4, s) || s > lim || s < -lim) refuse(t, c, "the amount is outside the Currency range");
            return Value::currency(Currency{static_cast<int64_t>(s)});
        }
        case ColType::Float: {
            if (!isNumberKind(k)) wrongType();
            if (k == Value::Kind::Single) return v;
            double d = asDouble(v);
            if (!std::isfinite(d) || std::fabs(d) > FLT_MAX) refuse(t, c, "the number is outside the Single range");
            return Value::single(static_cast<float>(d));
        }
        case ColType::Double: {
            if (!isNumberKind(k)) wrongType();
            double d = asDouble(v);
            if (!std::isfinite(d)) refuse(t, c, "the number is not finite");
            return Value::dbl(d);
        }
        case ColType::DateTime: {
            if (!isNumberKind(k) || k == Value::Kind::Bool) wrongType();
            double d = asDouble(v);
            // Access accepts dates from 1/1/100 to 12/31/9999.
            if (!std::isfinite(d) || d < -657434.0 || d >= 2958466.0)
                refuse(t, c, "the date is outside the range 1/1/100 to 12/31/9999");
            return Value::date(d);
        }
        case ColType::Text:
        case ColType::Memo: {
            if (k != Value::Kind::Text) wrongType();
            std::vector<uint32_t> cps;
            if (!decodeUtf8(v.asText(), cps)) refuse(t, c, "the text is not valid UTF-8");
            if (c.type == ColType::Text) {
                size_t units = textLengthInColumnUnits(db, v.asText());
                size_t limit = db.format().jet4() ? c.length / 2u : c.length;
                if (units > limit)
                    refuse(t, c, "the text has " + std::to_string(units) + " characters, the column holds at most " +
                                     std::to_string(limit));
            }
            return v;
        }
        case ColType::Binary:
            if (k != Value::Kind::Binary) wrongType();
            if (c.length && v.asBinary().size() > c.length)
                refuse(t, c, "the data has " + std::to_string(v.asBinary().size()) + " bytes, the column holds at most " +
                                 std::to_string(c.length));
            return v;
        case ColType::OLE:
            if (k != Value::Kind::Binary) wrongType();
            return v;
        case ColType::Guid:
            if (k != Value::Kind::Guid) wrongType();
            return v;
        case ColType::Numeric: {
            if (!isNumberKind(k)) wrongType();
            __int128 s = 0;
            const int prec = c.precision ? c.precision : 18;
            if (!scaledNumber(v, c.scale, s) || s >= pow10i(std::min(prec, 38)) || s <= -pow10i(std::min(prec, 38)))
                refuse(t, c, "the number does not fit Decimal(" + std::to_string(prec) + ", " + std::to_string(c.scale) + ")");
            Decimal d;
            d.unscaled = s;
            d.precision = c.precision;
            d.scale = c.scale;
            return Value::decimal(d);
        }
    }
    refuse(t, c, std::string("columns of type ") + colTypeName(c.type) + " cannot be written");
}

Bytes encodeFixedOrVar(const Database& db, const Column& c, const ColumnExtra& x, const Value& v) {
    Bytes b;
    switch (c.type) {
        case ColType::Byte: b.push_back(v.asByte()); break;
        case ColType::Int: appendLe(b, v.asInt16()); break;
        case ColType::Long: appendLe(b, v.asInt32()); break;
        case ColType::Money: appendLe(b, v.asCurrency().scaled); break;
        case ColType::Float: appendLe(b, v.asSingle()); break;
        case ColType::Double: appendLe(b, v.asDouble()); break;
        case ColType::DateTime: appendLe(b, v.asDate().days); break;
        case ColType::Guid: b.assign(v.asGuid().bytes.begin(), v.asGuid().bytes.end()); break;
        case ColType::Numeric: {
            const __int128 u = v.asDecimal().unscaled;
            unsigned __int128 mag = u < 0 ? static_cast<unsigned __int128>(-u) : static_cast<unsigned __int128>(u);
            b.push_back(u < 0 ? 0x80 : 0x00);
            for (int k = 3; k >= 0; --k) appendLe(b, static_cast<uint32_t>(mag >> (32 * k)));  // most significant word first
            break;
        }
        case ColType::Text:
            b = encodeText(db, nullptr, c, x, v.asText(), !c.fixed);
            if (c.fixed) {
                // Fixed-width text is blank-padded to the column's width.
                while (b.size() + (db.format().jet4() ? 2 : 1) <= c.length) {
                    b.push_back(0x20);
                    if (db.format().jet4()) b.push_back(0x00);
                }
                b.resize(c.length, 0);
            }
            break;
        case ColType::Binary:
            b = v.asBinary();
            if (c.fixed) b.resize(c.length, 0);
            break;
        default: throw Error("column '" + c.name + "' does not hold its value inside the row");
    }
    return b;
}

Bytes encodeLongValueData(const Database& db, const Column& c, const ColumnExtra& x, const Value& v) {
    if (c.type == ColType::Memo) return encodeText(db, nullptr, c, x, v.asText(), true);
    return v.asBinary();
}

Bytes assembleRow(const Database& db, const Table& t, const std::vector<FieldBytes>& fields) {
    const bool j4 = db.format().jet4();
    const auto& cols = t.columns();
    unsigned rowCols = t.maxColumns();
    unsigned varLen = t.varColumnCount();
    size_t fixedLen = 0;
    bool anyVar = false;
    for (const Column& c : cols) {
        rowCols = std::max<unsigned>(rowCols, c.number + 1u);
        if (c.fixed) {
            fixedLen = std::max<size_t>(fixedLen, static_cast<size_t>(c.fixedOffset) + fixedSize(c));
        } else if (c.type != ColType::Bool) {
            anyVar = true;
            varLen = std::max<unsigned>(varLen, c.varIndex + 1u);
        }
    }
    if (anyVar && t.varColumnCount() == 0)
        throwCorrupt(db.path(), "table '" + t.name() + "' has variable-length columns its definition does not count");
    const bool hasVar = t.varColumnCount() > 0;
    if (!j4 && (rowCols > 255 || varLen > 255))
        throw Error("table '" + t.name() + "' has more columns than an Access 97 row can hold", Error::Code::Unsupported);
    const size_t hdr = j4 ? 2 : 1;
    const size_t maskLen = (rowCols + 7) / 8;

    Bytes row;
    row.reserve(hdr + fixedLen + maskLen + 64);  // grown once more below for variable data
    row.resize(hdr + fixedLen, 0);
    Bytes mask(maskLen, 0);
    if (j4)
        put16(row, 0, static_cast<uint16_t>(rowCols));
    else
        row[0] = static_cast<uint8_t>(rowCols);
    std::vector<int> byVar(varLen, -1);
    size_t varBytes = 0;
    for (size_t i = 0; i < cols.size(); ++i) {
        const Column& c = cols[i];
        const FieldBytes& fb = fields[i];
        auto setBit = [&]() { mask[c.number / 8] |= static_cast<uint8_t>(1u << (c.number % 8)); };
        if (c.type == ColType::Bool) {
            if (fb.boolValue) setBit();
            continue;
        }
        if (!fb.present) continue;
        setBit();
        if (c.fixed) {
            size_t n = std::min<size_t>(fixedSize(c), fb.bytes.size());
            std::memcpy(row.data() + hdr + c.fixedOffset, fb.bytes.data(), n);
        } else {
            byVar[c.varIndex] = static_cast<int>(i);
            varBytes += fb.bytes.size();
        }
    }

    if (!hasVar) {
        row.insert(row.end(), mask.begin(), mask.end());
        return row;
    }

    // Jet 3 stores single-byte offsets plus a byte per 256-byte boundary the row crosses;
    // metadata longer than 256 bytes would confuse readers, so the data is padded then.
    size_t pad = 0;
    size_t eod = 0, jumps = 0;
    if (!j4) {
        for (int round = 0; round < 64; ++round) {
            eod = row.size() + pad + varBytes;
            jumps = 0;
            for (;;) {
                size_t len = eod + (varLen + 1) + jumps + 1 + maskLen;
                size_t need = (len - 1) / 256;
                if (need == jumps) break;
                jumps = need;
            }
            if (eod / 256 + 1 >= jumps) break;
            pad += 256;
        }
    }
    row.reserve(row.size() + pad + varBytes + 2 * (varLen + 2) + jumps + 1 + maskLen);
    row.resize(row.size() + pad, 0);
    std::vector<size_t> offs(varLen + 1);
    for (unsigned vi = 0; vi < varLen; ++vi) {
        offs[vi] = row.size();
        if (byVar[vi] >= 0) {
            const Bytes& b = fields[byVar[vi]].bytes;
            row.insert(row.end(), b.begin(), b.end());
        }
    }
    offs[varLen] = row.size();
    if (j4) {
        for (unsigned vi = varLen + 1; vi-- > 0;) {
            row.push_back(0);
            row.push_back(0);
            put16(row, row.size() - 2, static_cast<uint16_t>(offs[vi]));
        }
        row.push_back(0);
        row.push_back(0);
        put16(row, row.size() - 2, static_cast<uint16_t>(varLen));
    } else {
        eod = offs[varLen];
        for (unsigned vi = varLen + 1; vi-- > 0;) row.push_back(static_cast<uint8_t>(offs[vi] & 0xFF));
        // Jump entries, nearest the count byte first: the first column whose offset reaches each boundary.
        const size_t realJumps = eod / 256;
        std::vector<uint8_t> jt(jumps, 0xFF);
        for (size_t k = 1; k <= realJumps && k <= jumps; ++k) {
            unsigned first = varLen;
            for (unsigned vi = 0; vi <= varLen; ++vi)
                if (offs[vi] >= 256 * k) {
                    first = vi;
                    break;
                }
            jt[k - 1] = static_cast<uint8_t>(first);
        }
        for (size_t k = jumps; k-- > 0;) row.push_back(jt[k]);
        row.push_back(static_cast<uint8_t>(varLen));
    }
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
}

std::vector<FieldBytes> splitRow(const Database& db, const Table& t, const uint8_t* row, size_t len) {
    const bool j4 = db.format().jet4();
    const auto& cols = t.columns();
    auto corrupt = [&](const char* what) {
        throwCorrupt(db.path(), std::string("a row of table '") + t.name() + "' " + what);
    };
    std::vector<FieldBytes> out(cols.size());
    const size_t hdr = j4 ? 2 : 1;
    if (len < hdr) corrupt("is empty");
    const unsigned rowCols = j4 ? bytes::u16(row) : row[0];
    const size_t maskLen = (rowCols + 7) / 8;
    if (hdr + maskLen > len) corrupt("is shorter than its null mask");
    const uint8_t* mask = row + len - maskLen;
    size_t dataEnd = len - maskLen;
    std::vector<size_t> offs;
    unsigned varLen = 0;
    if (t.varColumnCount() > 0) {
        if (j4) {
            if (dataEnd < hdr + 2) corrupt("has no variable column table");
            varLen = bytes::u16(row + dataEnd - 2);
            if (2u + 2u * (varLen + 1) > dataEnd - hdr) corrupt("has a variable column table longer than the row");
            offs.resize(varLen + 1);
            for (unsigned i = 0; i <= varLen; ++i) offs[i] = bytes::u16(row + dataEnd - 4 - 2 * i);
            dataEnd -= 2 + 2 * (varLen + 1);
        } else {
            if (dataEnd < hdr + 1) corrupt("has no variable column table");
            varLen = row[dataEnd - 1];
            const size_t jumps = (len - 1) / 256;
            if (1 + jumps + varLen + 1 > dataEnd - hdr) corrupt("has a variable column table longer than the row");
            const size_t tablePos = dataEnd - 1 - jumps - 1;
            const size_t eodPos = tablePos - varLen;
            size_t realJumps = jumps;
            if (realJumps > 0 && eodPos / 256 < realJumps) --realJumps;
            size_t used = 0;
            offs.resize(varLen + 1);
            for (unsigned i = 0; i <= varLen; ++i) {
                while (used < realJumps && row[dataEnd - 2 - used] == i) ++used;
                offs[i] = row[tablePos - i] + 256 * used;
            }
            dataEnd = eodPos;
        }
    }
    for (size_t ci = 0; ci < cols.size(); ++ci) {
        const Column& c = cols[ci];
        FieldBytes& fb = out[ci];
        if (c.number >= rowCols) continue;
        const bool bit = (mask[c.number / 8] >> (c.number % 8)) & 1;
        if (c.type == ColType::Bool) {
            fb.boolValue = bit;
            continue;
        }
        if (!bit) continue;
        if (c.fixed) {
            size_t n = fixedSize(c), start = hdr + c.fixedOffset;
            if (start + n > dataEnd) corrupt("is too short for its fixed columns");
            fb.present = true;
            fb.bytes.assign(row + start, row + start + n);
        } else {
            if (c.varIndex >= varLen) continue;
            size_t s = offs[c.varIndex], e = offs[c.varIndex + 1u];
            if (s > e || e > dataEnd || s < hdr) corrupt("has a variable column outside the row");
            fb.present = true;
            fb.bytes.assign(row + s, row + e);
        }
    }
    return out;
}

}  // namespace jet::detail
