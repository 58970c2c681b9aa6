#include "value.h"

#include <cmath>
#include <cstdio>

#include "error.h"

namespace jet {

const char* colTypeName(ColType t) {
    switch (t) {
        case ColType::Bool: return "Yes/No";
        case ColType::Byte: return "Byte";
        case ColType::Int: return "Integer";
        case ColType::Long: return "Long Integer";
        case ColType::Money: return "Currency";
        case ColType::Float: return "Single";
        case ColType::Double: return "Double";
        case ColType::DateTime: return "Date/Time";
        case ColType::Binary: return "Binary";
        case ColType::Text: return "Text";
        case ColType::OLE: return "OLE Object";
        case ColType::Memo: return "Memo";
        case ColType::Guid: return "Replication ID";
        case ColType::Numeric: return "Decimal";
    }
    return "Unknown";
}

bool Value::isNumeric() const {
    switch (kind()) {
        case Kind::Bool:
        case Kind::Byte:
        case Kind::Int16:
        case Kind::Int32:
        case Kind::Currency:
        case Kind::Single:
        case Kind::Double:
        case Kind::Date:
        case Kind::Decimal: return true;
        default: return false;
    }
}

namespace {

double pow10(int n) {
    double r = 1;
    while (n-- > 0) r *= 10;
    return r;
}

std::string int128ToString(__int128 v) {
    bool neg = v < 0;
    unsigned __int128 u = neg ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    std::string s;
    do {
        s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
        u /= 10;
    } while (u);
    if (neg) s.insert(s.begin(), '-');
    return s;
}

std::string scaledToString(__int128 v, int scale) {
    bool neg = v < 0;
    std::string digits = int128ToString(neg ? -v : v);
    if (scale > 0) {
        if (static_cast<int>(digits.size()) <= scale) digits.insert(0, scale - digits.size() + 1, '0');
        digits.insert(digits.size() - scale, 1, '.');
    }
    return neg ? "-" + digits : digits;
}

}  // namespace

double Value::toDouble() const {
    switch (kind()) {
        case Kind::Bool: return asBool() ? -1.0 : 0.0;
        case Kind::Byte: return asByte();
        case Kind::Int16: return asInt16();
        case Kind::Int32: return asInt32();
        case Kind::Currency: return static_cast<double>(asCurrency().scaled) / 10000.0;
        case Kind::Single: return asSingle();
        case Kind::Double: return asDouble();
        case Kind::Date: return asDate().days;
        case Kind::Decimal: {
            const Decimal& d = asDecimal();
            return static_cast<double>(d.unscaled) / pow10(d.scale);
        }
        default: throw Error("value is not numeric", Error::Code::Generic);
    }
}

int64_t Value::toInt64() const {
    switch (kind()) {
        case Kind::Bool: return asBool() ? -1 : 0;
        case Kind::Byte: return asByte();
        case Kind::Int16: return asInt16();
        case Kind::Int32: return asInt32();
        default: throw Error("value is not an integer", Error::Code::Generic);
    }
}

std::string toDebugString(const Value& v) {
    char buf[64];
    switch (v.kind()) {
        case Value::Kind::Null: return "NULL";
        case Value::Kind::Bool: return v.asBool() ? "True" : "False";
        case Value::Kind::Byte: return std::to_string(v.asByte());
        case Value::Kind::Int16: return std::to_string(v.asInt16());
        case Value::Kind::Int32: return std::to_string(v.asInt32());
        case Value::Kind::Currency: return scaledToString(v.asCurrency().scaled, 4);
        case Value::Kind::Single: std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v.asSingle())); return buf;
        case Value::Kind::Double: std::snprintf(buf, sizeof buf, "%.17g", v.asDouble()); return buf;
        case Value::Kind::Date: std::snprintf(buf, sizeof buf, "#%.17g#", v.asDate().days); return buf;
        case Value::Kind::Text: return "\"" + v.asText() + "\"";
        case Value::Kind::Binary: {
            static const char* hex = "0123456789ABCDEF";
            std::string s = "0x";
            for (uint8_t b : v.asBinary()) {
                s.push_back(hex[b >> 4]);
                s.push_back(hex[b & 15]);
            }
            return s;
        }
        case Value::Kind::Guid: {
            const auto& g = v.asGuid().bytes;
            std::snprintf(buf, sizeof buf,
                          "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                          g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
            return buf;
        }
        case Value::Kind::Decimal: return scaledToString(v.asDecimal().unscaled, v.asDecimal().scale);
    }
    return "?";
}

}  // namespace jet
