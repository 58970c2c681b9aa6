#include "jetdb_format.h"

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace jetdb {

namespace {

// Day 0 of Jet's calendar, 1899-12-30, counted from 1970-01-01.
constexpr int64_t kJetEpochUnixDays = -25569;
// Day numbers beyond this are no calendar date Access can hold; showing them as
// raw numbers keeps the calendar arithmetic far from overflow.
constexpr double kMaxDateDays = 1e7;

struct Civil {
    int64_t year;
    unsigned month, day;
};

// Proleptic Gregorian calendar over 400-year eras (146097 days each), with
// years starting on March 1st so the leap day falls at the end of a year.
Civil civilFromUnixDays(int64_t z) {
    z += 719468;  // shift the epoch to 0000-03-01
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    Civil c;
    c.day = static_cast<unsigned>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    c.month = static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    c.year = yearOfEra + era * 400 + (c.month <= 2 ? 1 : 0);
    return c;
}

int64_t unixDaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool isLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(int64_t y, unsigned m) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Decimal digits of a magnitude with `scale` digits after the point, trailing
// fractional zeros dropped.
void appendScaled(std::string& out, unsigned __int128 magnitude, unsigned scale, bool negative) {
    char digits[64];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0 && n < 60);
    while (n <= static_cast<int>(scale) && n < 60) digits[n++] = '0';
    int last = 0;  // lowest fractional digit that is not a trailing zero
    while (last < static_cast<int>(scale) && digits[last] == '0') ++last;
    const bool zero = n == static_cast<int>(scale) + 1 && digits[n - 1] == '0' && last == static_cast<int>(scale);
    if (negative && !zero) out += '-';
    for (int i = n - 1; i >= static_cast<int>(scale); --i) out += digits[i];
    if (last < static_cast<int>(scale)) {
        out += '.';
        for (int i = static_cast<int>(scale) - 1; i >= last; --i) out += digits[i];
    }
}

template <class F>
void appendShortest(std::string& out, F x) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, x);
    out.append(buf, static_cast<size_t>(r.ptr - buf));
}

// Room a field of a fixed-size kind can take: a date, a number, a Yes/No.
constexpr size_t kMaxFixedField = 64;

// Two digits of 0..99.
inline char* put2(char* p, unsigned v) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    std::memcpy(p, kPairs + 2 * v, 2);
    return p + 2;
}

void appendHex(std::string& out, const uint8_t* p, size_t n) {
    static const char kHex[] = "0123456789abcdef";
    out.reserve(out.size() + 2 * n);
    for (size_t i = 0; i < n; ++i) {
        out += kHex[p[i] >> 4];
        out += kHex[p[i] & 15];
    }
}

bool parseDigits(std::string_view s, size_t pos, size_t count, int& value) {
    if (pos + count > s.size()) return false;
    value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

bool parseDate(std::string_view s, double& days) {
    int y, mo, d, h = 0, mi = 0, se = 0;
    if (s.size() != 10 && s.size() != 19) return false;
    if (!parseDigits(s, 0, 4, y) || s[4] != '-' || !parseDigits(s, 5, 2, mo) || s[7] != '-' ||
        !parseDigits(s, 8, 2, d))
        return false;
    if (s.size() == 19 && (s[10] != ' ' || !parseDigits(s, 11, 2, h) || s[13] != ':' ||
                           !parseDigits(s, 14, 2, mi) || s[16] != ':' || !parseDigits(s, 17, 2, se)))
        return false;
    return dayNumber(y, mo, d, h, mi, se, days);
}

bool parseNumber(const std::string& s, jet::Value& v) {
    std::string_view t = s;
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    const size_t firstDigit = !t.empty() && t[0] == '-' ? 1 : 0;
    if (t.size() <= firstDigit) return false;
    const char c = t[firstDigit];
    if (!(c >= '0' && c <= '9') && !(c == '.' && t.size() > firstDigit + 1 && t[firstDigit + 1] >= '0' &&
                                     t[firstDigit + 1] <= '9'))
        return false;
    int32_t i = 0;
    auto ri = std::from_chars(t.data(), t.data() + t.size(), i);
    if (ri.ec == std::errc() && ri.ptr == t.data() + t.size()) {
        v = jet::Value::int32(i);
        return true;
    }
    double d = 0;
    auto rd = std::from_chars(t.data(), t.data() + t.size(), d);
    if (rd.ec == std::errc() && rd.ptr == t.data() + t.size() && std::isfinite(d)) {
        v = jet::Value::dbl(d);
        return true;
    }
    return false;
}

}  // namespace

bool dayNumber(int year, int month, int day, int hour, int minute, int second, double& days) {
    if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > daysInMonth(year, month)) return false;
    if (hour > 23 || minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0) return false;
    const int64_t d = unixDaysFromCivil(year, month, day) - kJetEpochUnixDays;
    const double t = (hour * 3600 + minute * 60 + second) / 86400.0;
    days = d >= 0 ? static_cast<double>(d) + t : static_cast<double>(d) - t;
    return true;
}

// Writes the date at p (room for kMaxFixedField characters); returns its end.
char* putDateTime(char* p, double days) {
    if (!std::isfinite(days) || std::fabs(days) >= kMaxDateDays) return std::to_chars(p, p + kMaxFixedField, days).ptr;
    const double whole = std::trunc(days);
    int64_t day = static_cast<int64_t>(whole);
    // Rounds half away from zero as llround does, without the library call.
    const double frac = std::fabs(days - whole) * 86400.0;
    int64_t secs = static_cast<int64_t>(frac);
    if (frac - static_cast<double>(secs) >= 0.5) ++secs;
    if (secs >= 86400) {  // rounded up to midnight: the next calendar day
        secs -= 86400;
        day += 1;
    }
    // Rows of one table share few days (a row's date and time columns, durations
    // on day zero): recent conversions are kept, one per slot.
    struct Seen {
        int64_t day = INT64_MIN;
        Civil civil{};
    };
    static thread_local std::array<Seen, 64> seen;
    Seen& slot = seen[static_cast<uint64_t>(day) % seen.size()];
    if (slot.day != day) {
        slot.civil = civilFromUnixDays(day + kJetEpochUnixDays);
        slot.day = day;
    }
    const Civil c = slot.civil;
    // The year takes at least four characters, a minus sign included.
    int64_t y = c.year;
    if (y < 0) {
        *p++ = '-';
        y = -y;
    }
    if (c.year >= 1000 && c.year <= 9999) {
        p = put2(p, static_cast<unsigned>(y / 100));
        p = put2(p, static_cast<unsigned>(y % 100));
    } else {
        char yd[20];
        int yn = 0;
        do {
            yd[yn++] = static_cast<char>('0' + y % 10);
            y /= 10;
        } while (y);
        for (int pad = 4 - yn - (c.year < 0 ? 1 : 0); pad > 0; --pad) *p++ = '0';
        while (yn) *p++ = yd[--yn];
    }
    *p++ = '-';
    p = put2(p, c.month);
    *p++ = '-';
    p = put2(p, c.day);
    *p++ = ' ';
    const auto s = static_cast<unsigned>(secs);
    p = put2(p, s / 3600);
    *p++ = ':';
    p = put2(p, s / 60 % 60);
    *p++ = ':';
    p = put2(p, s % 60);
    return p;
}

void appendDateTime(std::string& out, double days) {
    char buf[kMaxFixedField];
    out.append(buf, static_cast<size_t>(putDateTime(buf, days) - buf));
}

void appendCurrency(std::string& out, jet::Currency c) {
    const bool neg = c.scaled < 0;
    const uint64_t mag = neg ? 0 - static_cast<uint64_t>(c.scaled) : static_cast<uint64_t>(c.scaled);
    appendScaled(out, mag, 4, neg);
}

void appendDecimal(std::string& out, const jet::Decimal& d) {
    const bool neg = d.unscaled < 0;
    const unsigned __int128 mag =
        neg ? 0 - static_cast<unsigned __int128>(d.unscaled) : static_cast<unsigned __int128>(d.unscaled);
    appendScaled(out, mag, d.scale > 38 ? 38 : d.scale, neg);
}

void appendGuid(std::string& out, const jet::Guid& g) {
    static const char kHex[] = "0123456789ABCDEF";
    // The first three groups are stored little-endian, the rest as a byte string.
    static const int kOrder[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    char buf[40];
    char* p = buf;
    *p++ = '{';
    for (int i : kOrder) {
        if (i < 0) {
            *p++ = '-';
            continue;
        }
        *p++ = kHex[g.bytes[i] >> 4];
        *p++ = kHex[g.bytes[i] & 15];
    }
    *p++ = '}';
    out.append(buf, static_cast<size_t>(p - buf));
}

std::string formatDateTime(double days) {
    std::string s;
    appendDateTime(s, days);
    return s;
}

std::string formatCurrency(jet::Currency c) {
    std::string s;
    appendCurrency(s, c);
    return s;
}

std::string formatDecimal(const jet::Decimal& d) {
    std::string s;
    appendDecimal(s, d);
    return s;
}

std::string formatGuid(const jet::Guid& g) {
    std::string s;
    appendGuid(s, g);
    return s;
}

std::string formatDouble(double d) {
    std::string s;
    appendShortest(s, d);
    return s;
}

std::string formatSingle(float f) {
    std::string s;
    appendShortest(s, f);
    return s;
}

void appendCsvText(std::string& out, std::string_view s) {
    out += '"';
    for (size_t q; (q = s.find('"')) != std::string_view::npos; s.remove_prefix(q + 1)) {
        out.append(s.data(), q + 1);
        out += '"';
    }
    out += s;
    out += '"';
}

void appendCsvName(std::string& out, std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos)
        out += s;
    else
        appendCsvText(out, s);
}

namespace {

// Writes a field of a kind whose text is short and bounded at p (room for
// kMaxFixedField characters) and returns its end; nullptr for other kinds.
char* putFixedField(char* p, const jet::Value& v) {
    using K = jet::Value::Kind;
    char* const end = p + kMaxFixedField;
    switch (v.kind()) {
    case K::Null: return p;
    case K::Bool: *p = v.asBool() ? '1' : '0'; return p + 1;
    case K::Byte: return std::to_chars(p, end, v.asByte()).ptr;
    case K::Int16: return std::to_chars(p, end, v.asInt16()).ptr;
    case K::Int32: return std::to_chars(p, end, v.asInt32()).ptr;
    case K::Single: return std::to_chars(p, end, v.asSingle()).ptr;
    case K::Double: return std::to_chars(p, end, v.asDouble()).ptr;
    case K::Date: return putDateTime(p, v.asDate().days);
    default: return nullptr;
    }
}

}  // namespace

void appendCsvField(std::string& out, const jet::Value& v) {
    using K = jet::Value::Kind;
    char buf[kMaxFixedField];
    if (const char* e = putFixedField(buf, v)) {
        out.append(buf, static_cast<size_t>(e - buf));
        return;
    }
    switch (v.kind()) {
    case K::Currency: appendCurrency(out, v.asCurrency()); break;
    case K::Text: appendCsvText(out, v.asText()); break;
    case K::Binary: appendHex(out, v.asBinary().data(), v.asBinary().size()); break;
    case K::Guid: appendGuid(out, v.asGuid()); break;
    case K::Decimal: appendDecimal(out, v.asDecimal()); break;
    default: break;
    }
}

void appendCsvRow(std::string& out, const jet::Row& row) {
    // Short fields gather in a local line and reach `out` in one append.
    char line[2048];
    size_t used = 0;
    for (size_t i = 0; i < row.size(); ++i) {
        if (used + 1 + kMaxFixedField > sizeof line) {
            out.append(line, used);
            used = 0;
        }
        if (i) line[used++] = ',';
        if (const char* e = putFixedField(line + used, row[i])) {
            used = static_cast<size_t>(e - line);
            continue;
        }
        out.append(line, used);
        used = 0;
        appendCsvField(out, row[i]);
    }
    line[used++] = '\n';
    out.append(line, used);
}

jet::Value parseParamValue(const std::string& s) {
    jet::Value v;
    if (parseNumber(s, v)) return v;
    double days = 0;
    if (parseDate(s, days)) return jet::Value::date(days);
    return jet::Value::text(s);
}

}  // namespace jetdb
