// Conversions, comparisons and date arithmetic with Jet's rules, shared by the
// operators, the built-in functions and the query executor.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "collation.h"
#include "error.h"
#include "expr_eval.h"

namespace jet::ev {

void fail(const Env& env, const std::string& problem) {
    if (env.queryName.empty()) throw Error("Query: " + problem, Error::Code::Query);
    throw Error("Query '" + env.queryName + "': " + problem, Error::Code::Query);
}

bool isNumberKind(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Bool: case Value::Kind::Byte: case Value::Kind::Int16: case Value::Kind::Int32:
        case Value::Kind::Currency: case Value::Kind::Single: case Value::Kind::Double: case Value::Kind::Date:
        case Value::Kind::Decimal:
            return true;
        default:
            return false;
    }
}

double numberOf(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Bool: return v.asBool() ? -1.0 : 0.0;
        case Value::Kind::Byte: return v.asByte();
        case Value::Kind::Int16: return v.asInt16();
        case Value::Kind::Int32: return v.asInt32();
        case Value::Kind::Currency: return static_cast<double>(v.asCurrency().scaled) / 10000.0;
        case Value::Kind::Single: return v.asSingle();
        case Value::Kind::Double: return v.asDouble();
        case Value::Kind::Date: return v.asDate().days;
        case Value::Kind::Decimal: {
            const Decimal& d = v.asDecimal();
            return static_cast<double>(d.unscaled) / std::pow(10.0, d.scale);
        }
        default: return 0;
    }
}

static std::string trimSpaces(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

bool parseNumber(std::string_view in, double& out) {
    std::string s = trimSpaces(in);
    if (s.empty()) return false;
    if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
        if (s.size() > 18) return false;
        uint64_t acc = 0;
        for (size_t i = 2; i < s.size(); ++i) {
            int dgt;
            char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
            if (c >= '0' && c <= '9') dgt = c - '0';
            else if (base == 16 && c >= 'A' && c <= 'F') dgt = c - 'A' + 10;
            else return false;
            if (dgt >= base) return false;
            acc = acc * base + dgt;
        }
        out = static_cast<double>(acc);
        return true;
    }
    // sign, digits (thousands separators allowed), optional fraction and exponent
    std::string clean;
    size_t i = 0;
    if (s[i] == '+' || s[i] == '-') clean += s[i++];
    bool digits = false;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || (s[i] == ',' && digits))) {
        if (s[i] != ',') clean += s[i];
        digits = true;
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        clean += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            clean += s[i++];
            digits = true;
        }
    }
    if (!digits) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        clean += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) clean += s[i++];
        bool expDigits = false;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            clean += s[i++];
            expDigits = true;
        }
        if (!expDigits) return false;
    }
    if (i != s.size()) return false;
    char* end = nullptr;
    double d = std::strtod(clean.c_str(), &end);
    if (!std::isfinite(d)) return false;
    out = d;
    return true;
}

double toNumber(const Value& v, const Env& env) {
    if (isNumberKind(v)) return numberOf(v);
    if (v.isText()) {
        double d;
        if (parseNumber(v.asText(), d)) return d;
        double dt;
        if (parseDate(v.asText(), dt)) return dt;
    }
    if (v.isNull()) fail(env, "invalid use of Null");
    fail(env, "type mismatch: '" + toText(v) + "' is not a number");
}

// ---- dates ----

static int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;  // serial days from 1899-12-30
}

static void civilFromDays(int64_t serial, int& y, int& m, int& d) {
    int64_t z = serial - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

void splitDate(double v, double& dayPart, double& timePart) {
    dayPart = std::trunc(v);
    timePart = std::fabs(v - dayPart);
}

double composeDate(double dayPart, double timePart) {
    return dayPart >= 0 ? dayPart + timePart : dayPart - timePart;
}

Civil toCivil(double v) {
    Civil c;
    if (!std::isfinite(v) || std::fabs(v) > 3e6) return c;
    double dayPart, timePart;
    splitDate(v, dayPart, timePart);
    int64_t secs = std::llround(timePart * 86400.0);
    int64_t day = static_cast<int64_t>(dayPart);
    if (secs >= 86400) {
        secs -= 86400;
        day += 1;
    }
    civilFromDays(day, c.year, c.month, c.day);
    c.hour = static_cast<int>(secs / 3600);
    c.minute = static_cast<int>(secs / 60 % 60);
    c.second = static_cast<int>(secs % 60);
    return c;
}

double fromCivil(int year, int month, int day) {
    int64_t y = year, m = month;
    int64_t m0 = m - 1;
    y += (m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12));
    m0 -= 12 * (m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12));
    return static_cast<double>(daysFromCivil(y, m0 + 1, 1) + day - 1);
}

double timeFraction(int h, int m, int s) { return (h * 3600.0 + m * 60.0 + s) / 86400.0; }

// ---- text of values ----

static std::string formatDouble(double d, int precision) {
    if (d == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", precision, d);
    std::string s = buf;
    // %G keeps no trailing zeros; it writes exponents with at least two digits as VBA does.
    return s;
}

static std::string formatCurrency(int64_t scaled) {
    bool neg = scaled < 0;
    uint64_t a = neg ? static_cast<uint64_t>(-(scaled + 1)) + 1 : static_cast<uint64_t>(scaled);
    std::string s = std::to_string(a / 10000);
    uint64_t frac = a % 10000;
    if (frac) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(frac));
        std::string f = buf;
        while (!f.empty() && f.back() == '0') f.pop_back();
        s += "." + f;
    }
    return neg ? "-" + s : s;
}

static std::string formatDecimal(const Decimal& d) {
    __int128 u = d.unscaled;
    bool neg = u < 0;
    if (neg) u = -u;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
        u /= 10;
    } while (u > 0);
    if (d.scale > 0) {
        while (digits.size() <= d.scale) digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - d.scale, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    return neg && digits != "0" ? "-" + digits : digits;
}

static std::string generalDate(double v) {
    double dayPart, timePart;
    splitDate(v, dayPart, timePart);
    Civil c = toCivil(v);
    char buf[64];
    std::string out;
    bool hasTime = c.hour || c.minute || c.second;
    if (dayPart != 0 || !hasTime) {
        std::snprintf(buf, sizeof buf, "%d/%d/%d", c.month, c.day, c.year);
        out = buf;
    }
    if (hasTime) {
        int h12 = c.hour % 12 == 0 ? 12 : c.hour % 12;
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h12, c.minute, c.second, c.hour < 12 ? "AM" : "PM");
        if (!out.empty()) out += ' ';
        out += buf;
    }
    return out;
}

std::string toText(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: return "";
        case Value::Kind::Bool: return v.asBool() ? "True" : "False";
        case Value::Kind::Byte: return std::to_string(v.asByte());
        case Value::Kind::Int16: return std::to_string(v.asInt16());
        case Value::Kind::Int32: return std::to_string(v.asInt32());
        case Value::Kind::Currency: return formatCurrency(v.asCurrency().scaled);
        case Value::Kind::Single: return formatDouble(v.asSingle(), 7);
        case Value::Kind::Double: return formatDouble(v.asDouble(), 15);
        case Value::Kind::Date: return generalDate(v.asDate().days);
        case Value::Kind::Text: return v.asText();
        case Value::Kind::Decimal: return formatDecimal(v.asDecimal());
        case Value::Kind::Binary: {
            const Bytes& b = v.asBinary();
            return std::string(b.begin(), b.end());
        }
        case Value::Kind::Guid: {
            const auto& g = v.asGuid().bytes;
            char buf[48];
            std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3],
                          g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
            return buf;
        }
    }
    return "";
}

// ---- parsing dates ----

static int monthFromName(std::string_view w) {
    static const char* names[] = {"january", "february", "march",     "april",   "may",      "june",
                                  "july",    "august",   "september", "october", "november", "december"};
    if (w.size() < 3) return 0;
    std::string lw;
    for (char c : w) lw += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int i = 0; i < 12; ++i) {
        std::string_view n = names[i];
        if (lw.size() <= n.size() && n.substr(0, lw.size()) == lw) return i + 1;
        if (i == 8 && lw == "sept") return 9;
    }
    return 0;
}

static int expandYear(int y, size_t digits) {
    if (digits <= 2) return y < 30 ? 2000 + y : 1900 + y;
    return y;
}

bool parseDate(std::string_view in, double& out) {
    std::string s = trimSpaces(in);
    if (s.empty() || s.size() > 64) return false;
    // Tokenize into numbers, words and separators.
    struct Tok {
        char kind = 0;  // 'n' number, 'w' word, ':' , '/', ',', '.', '-', ' '
        int value = 0;
        size_t digits = 0;
        std::string text;
    };
    std::vector<Tok> toks;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isdigit(c)) {
            Tok t;
            t.kind = 'n';
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
                if (t.digits < 9) t.value = t.value * 10 + (s[i] - '0');
                ++t.digits;
                ++i;
            }
            toks.push_back(t);
        } else if (std::isalpha(c)) {
            Tok t;
            t.kind = 'w';
            while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) t.text += s[i++];
            toks.push_back(t);
        } else if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == ':' || c == '/' || c == ',' || c == '.' || c == '-') {
            Tok t;
            t.kind = static_cast<char>(c);
            toks.push_back(t);
            ++i;
        } else {
            return false;
        }
    }
    // Time: h:mm[:ss] [AM|PM] or h AM/PM, anywhere after the date.
    bool haveTime = false, haveDate = false;
    int hh = 0, mi = 0, ss = 0;
    std::vector<Tok> rest;
    for (size_t i = 0; i < toks.size(); ++i) {
        if (toks[i].kind == 'n' && i + 2 < toks.size() && toks[i + 1].kind == ':' && toks[i + 2].kind == 'n') {
            if (haveTime) return false;
            hh = toks[i].value;
            mi = toks[i + 2].value;
            i += 2;
            if (i + 2 < toks.size() && toks[i + 1].kind == ':' && toks[i + 2].kind == 'n') {
                ss = toks[i + 2].value;
                i += 2;
            }
            haveTime = true;
            if (i + 1 < toks.size() && toks[i + 1].kind == 'w') {
                std::string w;
                for (char c : toks[i + 1].text) w += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (w == "AM" || w == "A" || w == "PM" || w == "P") {
                    if (hh < 1 || hh > 12) return false;
                    if (w[0] == 'P' && hh != 12) hh += 12;
                    if (w[0] == 'A' && hh == 12) hh = 0;
                    ++i;
                }
            }
            continue;
        }
        if (toks[i].kind == 'n' && i + 1 < toks.size() && toks[i + 1].kind == 'w' && !haveTime) {
            std::string w;
            for (char c : toks[i + 1].text) w += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (w == "AM" || w == "PM") {
                hh = toks[i].value;
                if (hh < 1 || hh > 12) return false;
                if (w[0] == 'P' && hh != 12) hh += 12;
                if (w[0] == 'A' && hh == 12) hh = 0;
                haveTime = true;
                ++i;
                continue;
            }
        }
        rest.push_back(toks[i]);
    }
    if (haveTime && (hh > 23 || mi > 59 || ss > 59)) return false;
    // Date: numbers and at most one month name, separated by / - . , or blanks.
    std::vector<Tok> parts;
    int monthName = 0;
    for (const Tok& t : rest) {
        if (t.kind == 'n') parts.push_back(t);
        else if (t.kind == 'w') {
            int m = monthFromName(t.text);
            if (!m || monthName) {
                // weekday names are allowed and ignored
                static const char* days[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
                std::string lw;
                for (char c : t.text) lw += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                bool isDay = false;
                for (auto* d : days)
                    if (lw.size() >= 3 && lw.compare(0, 3, d) == 0) isDay = true;
                if (!isDay) return false;
                continue;
            }
            monthName = m;
        }
    }
    int y = 0, m = 0, d = 0;
    if (monthName) {
        m = monthName;
        if (parts.size() == 2) {
            // "Dec 6, 2026", "6 Dec 2026" or "2026 Dec 6"
            if (parts[0].digits >= 3) { y = parts[0].value; d = parts[1].value; }
            else { d = parts[0].value; y = expandYear(parts[1].value, parts[1].digits); }
        } else {  // without a year the text depends on the clock: not accepted
            return false;
        }
        haveDate = true;
    } else if (parts.size() == 3) {
        if (parts[0].digits >= 3) {  // yyyy-mm-dd
            y = parts[0].value; m = parts[1].value; d = parts[2].value;
        } else {  // m/d/y as the US locale reads it
            m = parts[0].value; d = parts[1].value; y = expandYear(parts[2].value, parts[2].digits);
            if (m > 12 && d <= 12) std::swap(m, d);
        }
        haveDate = true;
    } else if (parts.size() == 2 && !haveTime) {
        return false;  // month/day without a year depends on the clock; not accepted
    } else if (!parts.empty()) {
        return false;
    }
    if (!haveDate && !haveTime) return false;
    double days = 0;
    if (haveDate) {
        if (m < 1 || m > 12 || d < 1 || d > 31 || y < 100 || y > 9999) return false;
        days = fromCivil(y, m, 1) + d - 1;
        if (toCivil(days).month != m) return false;  // day beyond the month's end
    }
    out = composeDate(days, haveTime ? timeFraction(hh, mi, ss) : 0);
    return true;
}

Value toDateValue(const Value& v, const Env& env) {
    if (v.isNull()) fail(env, "invalid use of Null");
    if (v.kind() == Value::Kind::Date) return v;
    if (isNumberKind(v)) return Value::date(numberOf(v));
    if (v.isText()) {
        double d;
        if (parseDate(v.asText(), d)) return Value::date(d);
        if (parseNumber(v.asText(), d)) return Value::date(d);
    }
    fail(env, "type mismatch: '" + toText(v) + "' is not a date");
}

double roundHalfEven(double x) {
    double r = std::nearbyint(x);  // default rounding mode: to nearest, ties to even
    return r;
}

Value convertParam(const Value& v, const std::string& typeWord, const Env& env) {
    if (v.isNull()) return v;
    std::string t;
    for (char c : typeWord) if (c != ' ') t += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto range = [&](double lo, double hi) {
        double n = roundHalfEven(toNumber(v, env));
        if (n < lo || n > hi) fail(env, "overflow converting '" + toText(v) + "' to " + typeWord);
        return n;
    };
    if (t == "DATETIME" || t == "DATE" || t == "TIME") return toDateValue(v, env);
    if (t == "LONG" || t == "INTEGER4" || t == "INT" || t == "INTEGER" || t == "COUNTER" || t == "AUTOINCREMENT")
        return Value::int32(static_cast<int32_t>(range(-2147483648.0, 2147483647.0)));
    if (t == "SHORT" || t == "SMALLINT" || t == "INTEGER2") return Value::int16(static_cast<int16_t>(range(-32768, 32767)));
    if (t == "BYTE" || t == "INTEGER1" || t == "TINYINT") return Value::byte(static_cast<uint8_t>(range(0, 255)));
    if (t == "DOUBLE" || t == "FLOAT" || t == "NUMBER" || t == "IEEEDOUBLE" || t == "FLOAT8" || t == "NUMERIC" ||
        t == "DECIMAL" || t == "VALUE")
        return Value::dbl(toNumber(v, env));
    if (t == "SINGLE" || t == "REAL" || t == "IEEESINGLE" || t == "FLOAT4") return Value::single(static_cast<float>(toNumber(v, env)));
    if (t == "CURRENCY" || t == "MONEY") {
        double n = toNumber(v, env);
        if (std::fabs(n) > 922337203685477.0) fail(env, "overflow converting '" + toText(v) + "' to " + typeWord);
        return Value::currency(Currency{static_cast<int64_t>(roundHalfEven(n * 10000.0))});
    }
    if (t == "BIT" || t == "YESNO" || t == "BOOLEAN" || t == "LOGICAL" || t == "LOGICAL1") {
        if (v.isText()) {
            std::string u;
            for (char c : v.asText()) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            u = trimSpaces(u);
            if (u == "TRUE" || u == "YES" || u == "ON") return Value::boolean(true);
            if (u == "FALSE" || u == "NO" || u == "OFF") return Value::boolean(false);
        }
        return Value::boolean(toNumber(v, env) != 0);
    }
    if (t.rfind("TEXT", 0) == 0 || t.rfind("CHAR", 0) == 0 || t.rfind("VARCHAR", 0) == 0 || t == "MEMO" ||
        t == "LONGTEXT" || t == "STRING" || t == "ALPHANUMERIC" || t == "NOTE" || t == "LONGCHAR")
        return Value::text(toText(v));
    return v;  // Binary, GUID, Value and unknown words: as supplied
}

// ---- comparison ----

int compareValues(const Value& a, const Value& b, const Env& env) {
    if (a.isText() && b.isText()) {
        int c = compareText(a.asText(), b.asText());
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    if (a.kind() == Value::Kind::Binary && b.kind() == Value::Kind::Binary) {
        const Bytes &x = a.asBinary(), &y = b.asBinary();
        return x < y ? -1 : y < x ? 1 : 0;
    }
    if (a.kind() == Value::Kind::Guid && b.kind() == Value::Kind::Guid) {
        auto &x = a.asGuid().bytes, &y = b.asGuid().bytes;
        int c = std::memcmp(x.data(), y.data(), 16);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    if (a.kind() == Value::Kind::Currency && b.kind() == Value::Kind::Currency) {
        auto x = a.asCurrency().scaled, y = b.asCurrency().scaled;
        return x < y ? -1 : x > y ? 1 : 0;
    }
    double x, y;
    // A date compared with text reads the text as a date.
    if (a.kind() == Value::Kind::Date && b.isText()) {
        x = numberOf(a);
        y = numberOf(toDateValue(b, env));
    } else if (b.kind() == Value::Kind::Date && a.isText()) {
        x = numberOf(toDateValue(a, env));
        y = numberOf(b);
    } else {
        x = toNumber(a, env);
        y = toNumber(b, env);
    }
    return x < y ? -1 : x > y ? 1 : 0;
}

static int sortClass(const Value& v) {
    if (v.isNull()) return 0;
    if (isNumberKind(v)) return 1;
    if (v.isText()) return 2;
    return 3;
}

int compareForSort(const Value& a, const Value& b) {
    int ca = sortClass(a), cb = sortClass(b);
    if (ca != cb) return ca < cb ? -1 : 1;
    switch (ca) {
        case 0: return 0;
        case 1: {
            if (a.kind() == Value::Kind::Currency && b.kind() == Value::Kind::Currency) {
                auto x = a.asCurrency().scaled, y = b.asCurrency().scaled;
                return x < y ? -1 : x > y ? 1 : 0;
            }
            double x = numberOf(a), y = numberOf(b);
            return x < y ? -1 : x > y ? 1 : 0;
        }
        case 2: {
            int c = compareText(a.asText(), b.asText());
            return c < 0 ? -1 : c > 0 ? 1 : 0;
        }
        default: {
            std::string x = toText(a), y = toText(b);
            return x < y ? -1 : x > y ? 1 : 0;
        }
    }
}

void appendKey(std::string& key, const Value& v) {
    if (v.isNull()) {
        key += 'N';
        return;
    }
    if (isNumberKind(v)) {
        double d = numberOf(v);
        if (d == 0) d = 0;  // -0 equals 0
        key += 'D';
        key.append(reinterpret_cast<const char*>(&d), sizeof d);
        return;
    }
    std::string body;
    char tag;
    if (v.isText()) {
        tag = 'T';
        auto k = textSortKey(v.asText(), Version::Jet4);
        body.assign(k.begin(), k.end());
    } else if (v.kind() == Value::Kind::Binary) {
        tag = 'B';
        body.assign(v.asBinary().begin(), v.asBinary().end());
    } else {
        tag = 'G';
        body = toText(v);
    }
    key += tag;
    uint32_t n = static_cast<uint32_t>(body.size());
    key.append(reinterpret_cast<const char*>(&n), sizeof n);
    key += body;
}

ColType colTypeOfValue(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Bool: return ColType::Bool;
        case Value::Kind::Byte: return ColType::Byte;
        case Value::Kind::Int16: return ColType::Int;
        case Value::Kind::Int32: return ColType::Long;
        case Value::Kind::Currency: return ColType::Money;
        case Value::Kind::Single: return ColType::Float;
        case Value::Kind::Double: return ColType::Double;
        case Value::Kind::Date: return ColType::DateTime;
        case Value::Kind::Binary: return ColType::Binary;
        case Value::Kind::Guid: return ColType::Guid;
        case Value::Kind::Decimal: return ColType::Numeric;
        default: return ColType::Text;
    }
}

}  // namespace jet::ev
