// Built-in functions of Jet expressions (the VBA subset Access queries use).
// Text functions count characters, not UTF-8 bytes.
#include <cctype>
#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>

#include "collation.h"
#include "expr_eval.h"
#include "text.h"

namespace jet::ev {
namespace {

using Args = std::vector<Value>;

// ---- UTF-8 code points ----

std::u32string decode(std::string_view s) { return text::decodeUtf8(s); }

std::string encode(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) {
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

char32_t upper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

char32_t lower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

std::u32string folded(std::u32string s) {
    for (auto& c : s) c = upper(c);
    return s;
}

// ---- argument helpers ----

bool anyNull(const Args& a, size_t n) {
    for (size_t i = 0; i < n && i < a.size(); ++i)
        if (a[i].isNull()) return true;
    return false;
}

// A whole number argument (counts, positions): rounded as VBA rounds to Long.
int64_t wholeArg(const Value& v, const Env& env, const char* fn) {
    if (v.isNull()) fail(env, std::string("invalid use of Null in ") + fn + "()");
    double d = roundHalfEven(toNumber(v, env));
    if (d < -2147483648.0 || d > 2147483647.0) fail(env, std::string("overflow in ") + fn + "()");
    return static_cast<int64_t>(d);
}

[[noreturn]] void badCall(const Env& env, const char* fn) {
    fail(env, std::string("invalid procedure call or argument in ") + fn + "()");
}

std::string upperWord(const Value& v) {
    std::string s = toText(v), out;
    for (char c : s)
        if (c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Dates Jet can hold run from 1/1/100 to 12/31/9999; anything else (a damaged
// field, a huge number) is refused before calendar arithmetic sees it.
double dateArg(const Value& v, const Env& env) {
    double d = numberOf(toDateValue(v, env));
    if (!std::isfinite(d) || d < -657434.0 || d >= 2958466.0) fail(env, "date out of range");
    return d;
}

Value dateResult(double d, const Env& env) {
    if (!std::isfinite(d) || d < -657434.0 || d >= 2958466.0) fail(env, "date out of range");
    return Value::date(d);
}

// Keeps integral results integral, as Int/Fix/Abs do for their argument's type.
Value sameKind(const Value& like, double r, const Env& env) {
    switch (like.kind()) {
        case Value::Kind::Bool:
        case Value::Kind::Int16:
            if (r >= -32768 && r <= 32767) return Value::int16(static_cast<int16_t>(r));
            return Value::int32(static_cast<int32_t>(r));
        case Value::Kind::Byte:
            if (r >= 0 && r <= 255) return Value::byte(static_cast<uint8_t>(r));
            return Value::int16(static_cast<int16_t>(r));
        case Value::Kind::Int32:
            if (r >= -2147483648.0 && r <= 2147483647.0) return Value::int32(static_cast<int32_t>(r));
            return Value::dbl(r);
        case Value::Kind::Currency: return Value::currency(Currency{static_cast<int64_t>(std::llround(r * 10000.0))});
        case Value::Kind::Single: return Value::single(static_cast<float>(r));
        case Value::Kind::Date: return dateResult(r, env);
        default: return Value::dbl(r);
    }
}

// ---- conversion functions ----

Value fnCInt(const Args& a, const Env& env) {
    double d = roundHalfEven(toNumber(a[0], env));
    if (d < -32768 || d > 32767) fail(env, "overflow in CInt()");
    return Value::int16(static_cast<int16_t>(d));
}
Value fnCLng(const Args& a, const Env& env) {
    double d = roundHalfEven(toNumber(a[0], env));
    if (d < -2147483648.0 || d > 2147483647.0) fail(env, "overflow in CLng()");
    return Value::int32(static_cast<int32_t>(d));
}
Value fnCByte(const Args& a, const Env& env) {
    double d = roundHalfEven(toNumber(a[0], env));
    if (d < 0 || d > 255) fail(env, "overflow in CByte()");
    return Value::byte(static_cast<uint8_t>(d));
}
Value fnCSng(const Args& a, const Env& env) {
    double d = toNumber(a[0], env);
    if (std::fabs(d) > std::numeric_limits<float>::max()) fail(env, "overflow in CSng()");
    return Value::single(static_cast<float>(d));
}
Value fnCDbl(const Args& a, const Env& env) { return Value::dbl(toNumber(a[0], env)); }
Value fnCCur(const Args& a, const Env& env) {
    if (a[0].kind() == Value::Kind::Currency) return a[0];
    double d = toNumber(a[0], env);
    if (std::fabs(d) > 922337203685477.0) fail(env, "overflow in CCur()");
    return Value::currency(Currency{static_cast<int64_t>(roundHalfEven(d * 10000.0))});
}
Value fnCStr(const Args& a, const Env& env) {
    if (a[0].isNull()) fail(env, "invalid use of Null in CStr()");
    return Value::text(toText(a[0]));
}
Value fnCDate(const Args& a, const Env& env) { return toDateValue(a[0], env); }
Value fnCBool(const Args& a, const Env& env) {
    if (a[0].isNull()) fail(env, "invalid use of Null in CBool()");
    if (a[0].isText()) {
        std::string u = upperWord(a[0]);
        if (u == "TRUE") return Value::boolean(true);
        if (u == "FALSE") return Value::boolean(false);
    }
    return Value::boolean(toNumber(a[0], env) != 0);
}
Value fnCVar(const Args& a, const Env&) { return a[0]; }

Value fnNz(const Args& a, const Env&) {
    if (!a[0].isNull()) return a[0];
    // In a query expression Nz without a replacement gives a zero-length string.
    return a.size() > 1 ? a[1] : Value::text("");
}
Value fnIsNull(const Args& a, const Env&) { return Value::boolean(a[0].isNull()); }
Value fnIsNumeric(const Args& a, const Env&) {
    const Value& v = a[0];
    if (v.isNull() || v.kind() == Value::Kind::Date) return Value::boolean(false);
    if (isNumberKind(v)) return Value::boolean(true);
    double d;
    return Value::boolean(v.isText() && parseNumber(v.asText(), d));
}
Value fnIsDate(const Args& a, const Env&) {
    const Value& v = a[0];
    if (v.kind() == Value::Kind::Date) return Value::boolean(true);
    double d;
    return Value::boolean(v.isText() && parseDate(v.asText(), d));
}

// ---- numbers ----

Value fnInt(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    if (a[0].isText()) return Value::dbl(std::floor(toNumber(a[0], env)));
    return sameKind(a[0], std::floor(toNumber(a[0], env)), env);
}
Value fnFix(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    if (a[0].isText()) return Value::dbl(std::trunc(toNumber(a[0], env)));
    return sameKind(a[0], std::trunc(toNumber(a[0], env)), env);
}
Value fnAbs(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    if (a[0].isText()) return Value::dbl(std::fabs(toNumber(a[0], env)));
    if (a[0].kind() == Value::Kind::Currency) {
        int64_t s = a[0].asCurrency().scaled;
        if (s == INT64_MIN) fail(env, "overflow in Abs()");
        return Value::currency(Currency{s < 0 ? -s : s});
    }
    return sameKind(a[0], std::fabs(toNumber(a[0], env)), env);
}
Value fnSgn(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    double d = toNumber(a[0], env);
    return Value::int16(d > 0 ? 1 : d < 0 ? -1 : 0);
}
Value fnRound(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    int64_t places = a.size() > 1 ? wholeArg(a[1], env, "Round") : 0;
    if (places < 0 || places > 15) badCall(env, "Round");
    double d = toNumber(a[0], env);
    double scale = std::pow(10.0, static_cast<double>(places));
    // Round the decimal the user sees, not its binary neighbour (2.675 * 100 = 267.49999...).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d * scale);
    double r = roundHalfEven(std::strtod(buf, nullptr)) / scale;
    if (a[0].kind() == Value::Kind::Currency)
        return Value::currency(Currency{static_cast<int64_t>(roundHalfEven(r * 10000.0))});
    if (a[0].isText()) return Value::dbl(r);
    return places == 0 ? sameKind(a[0], r, env) : (a[0].kind() == Value::Kind::Single ? Value::single(static_cast<float>(r)) : Value::dbl(r));
}
Value fnSqr(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    double d = toNumber(a[0], env);
    if (d < 0) badCall(env, "Sqr");
    return Value::dbl(std::sqrt(d));
}
Value fnExp(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    double r = std::exp(toNumber(a[0], env));
    if (!std::isfinite(r)) fail(env, "overflow in Exp()");
    return Value::dbl(r);
}
Value fnLog(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    double d = toNumber(a[0], env);
    if (d <= 0) badCall(env, "Log");
    return Value::dbl(std::log(d));
}
Value fnVal(const Args& a, const Env& env) {
    if (a[0].isNull()) fail(env, "invalid use of Null in Val()");
    // Val reads as much of a number as it can, skipping blanks, and never fails.
    std::string s;
    for (char c : toText(a[0]))
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;
    if (s.size() > 1 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        size_t n = 2;
        int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
        while (n < s.size() && n < 18 && std::isxdigit(static_cast<unsigned char>(s[n])) &&
               (base == 16 || (s[n] >= '0' && s[n] <= '7')))
            ++n;
        double d;
        return Value::dbl(n > 2 && parseNumber(s.substr(0, n), d) ? d : 0);
    }
    size_t i = 0;
    std::string num;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) num += s[i++];
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) num += s[i++];
    if (i < s.size() && s[i] == '.') {
        num += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) num += s[i++];
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::string e = "e";
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) e += s[j++];
        size_t digitsStart = j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])) && j - digitsStart < 5) e += s[j++];
        if (j > digitsStart) num += e;
    }
    double d = std::strtod(num.c_str(), nullptr);
    if (!std::isfinite(d)) fail(env, "overflow in Val()");
    return Value::dbl(d);
}
Value fnStr(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    if (!isNumberKind(a[0])) return Value::text(" " + toText(Value::dbl(toNumber(a[0], env))));
    std::string s = toText(a[0]);
    if (a[0].kind() == Value::Kind::Bool) s = a[0].asBool() ? "-1" : "0";
    return Value::text(s.empty() || s[0] == '-' ? s : " " + s);
}

// ---- text ----

Value fnLen(const Args& a, const Env&) {
    if (a[0].isNull()) return a[0];
    return Value::int32(static_cast<int32_t>(decode(toText(a[0])).size()));
}
Value fnLeft(const Args& a, const Env& env) {
    int64_t n = wholeArg(a[1], env, "Left");
    if (n < 0) badCall(env, "Left");
    if (a[0].isNull()) return a[0];
    auto s = decode(toText(a[0]));
    return Value::text(encode(std::u32string_view(s).substr(0, static_cast<size_t>(n))));
}
Value fnRight(const Args& a, const Env& env) {
    int64_t n = wholeArg(a[1], env, "Right");
    if (n < 0) badCall(env, "Right");
    if (a[0].isNull()) return a[0];
    auto s = decode(toText(a[0]));
    size_t k = std::min(s.size(), static_cast<size_t>(n));
    return Value::text(encode(std::u32string_view(s).substr(s.size() - k)));
}
Value fnMid(const Args& a, const Env& env) {
    int64_t start = wholeArg(a[1], env, "Mid");
    if (start < 1) badCall(env, "Mid");
    int64_t len = -1;
    if (a.size() > 2 && !a[2].isNull()) {
        len = wholeArg(a[2], env, "Mid");
        if (len < 0) badCall(env, "Mid");
    }
    if (a[0].isNull()) return a[0];
    auto s = decode(toText(a[0]));
    if (static_cast<size_t>(start) > s.size()) return Value::text("");
    auto sub = std::u32string_view(s).substr(static_cast<size_t>(start - 1),
                                             len < 0 ? std::u32string_view::npos : static_cast<size_t>(len));
    return Value::text(encode(sub));
}
Value trimImpl(const Args& a, bool left, bool right) {
    if (a[0].isNull()) return a[0];
    std::string s = toText(a[0]);
    size_t b = 0, e = s.size();
    if (left) while (b < e && s[b] == ' ') ++b;
    if (right) while (e > b && s[e - 1] == ' ') --e;
    return Value::text(s.substr(b, e - b));
}
Value fnTrim(const Args& a, const Env&) { return trimImpl(a, true, true); }
Value fnLTrim(const Args& a, const Env&) { return trimImpl(a, true, false); }
Value fnRTrim(const Args& a, const Env&) { return trimImpl(a, false, true); }
Value fnUCase(const Args& a, const Env&) {
    if (a[0].isNull()) return a[0];
    auto s = decode(toText(a[0]));
    for (auto& c : s) c = upper(c);
    return Value::text(encode(s));
}
Value fnLCase(const Args& a, const Env&) {
    if (a[0].isNull()) return a[0];
    auto s = decode(toText(a[0]));
    for (auto& c : s) c = lower(c);
    return Value::text(encode(s));
}
// Position (1-based) of needle in hay at or after start, 0 when absent.
size_t findFrom(const std::u32string& hay, const std::u32string& needle, size_t start, bool binary) {
    if (start > hay.size() + 1) return 0;
    if (needle.empty()) return start;
    size_t p = binary ? hay.find(needle, start - 1) : folded(hay).find(folded(needle), start - 1);
    return p == std::u32string::npos ? 0 : p + 1;
}
Value fnInStr(const Args& a, const Env& env) {
    size_t i = 0;
    int64_t start = 1;
    if (a.size() >= 3) {
        if (a[0].isNull()) fail(env, "invalid use of Null in InStr()");
        start = wholeArg(a[0], env, "InStr");
        if (start < 1) badCall(env, "InStr");
        i = 1;
    }
    bool binary = false;
    if (a.size() == 4 && !a[3].isNull()) binary = wholeArg(a[3], env, "InStr") == 0;
    if (a[i].isNull() || a[i + 1].isNull()) return Value::null();
    auto hay = decode(toText(a[i])), needle = decode(toText(a[i + 1]));
    return Value::int32(static_cast<int32_t>(findFrom(hay, needle, static_cast<size_t>(start), binary)));
}
Value fnInStrRev(const Args& a, const Env& env) {
    if (a[0].isNull() || a[1].isNull()) return Value::null();
    auto hay = decode(toText(a[0])), needle = decode(toText(a[1]));
    int64_t start = a.size() > 2 ? wholeArg(a[2], env, "InStrRev") : -1;
    if (start == 0 || start < -1) badCall(env, "InStrRev");
    size_t end = start < 0 ? hay.size() : static_cast<size_t>(start);
    if (end > hay.size()) return Value::int32(0);
    if (needle.empty()) return Value::int32(static_cast<int32_t>(end));
    auto h = folded(hay.substr(0, end));
    size_t p = h.rfind(folded(needle));
    return Value::int32(p == std::u32string::npos ? 0 : static_cast<int32_t>(p + 1));
}
Value fnReplace(const Args& a, const Env& env) {
    if (a[0].isNull()) fail(env, "invalid use of Null in Replace()");
    if (a[1].isNull() || a[2].isNull()) fail(env, "invalid use of Null in Replace()");
    int64_t start = a.size() > 3 ? wholeArg(a[3], env, "Replace") : 1;
    int64_t count = a.size() > 4 ? wholeArg(a[4], env, "Replace") : -1;
    bool binary = a.size() > 5 && wholeArg(a[5], env, "Replace") == 0;
    if (start < 1 || count < -1) badCall(env, "Replace");
    auto s = decode(toText(a[0])), find = decode(toText(a[1])), rep = decode(toText(a[2]));
    if (static_cast<size_t>(start) > s.size()) return Value::text("");
    // The result starts at `start`, as VBA's Replace does.
    std::u32string src = s.substr(static_cast<size_t>(start - 1)), out;
    if (find.empty() || count == 0) return Value::text(encode(src));
    std::u32string fsrc = binary ? src : folded(src), ffind = binary ? find : folded(find);
    size_t pos = 0;
    int64_t done = 0;
    while (pos <= src.size()) {
        size_t hit = (count >= 0 && done >= count) ? std::u32string::npos : fsrc.find(ffind, pos);
        if (hit == std::u32string::npos) {
            out.append(src, pos, std::u32string::npos);
            break;
        }
        out.append(src, pos, hit - pos);
        out += rep;
        pos = hit + find.size();
        ++done;
    }
    return Value::text(encode(out));
}
Value fnSpace(const Args& a, const Env& env) {
    int64_t n = wholeArg(a[0], env, "Space");
    if (n < 0 || n > 65535) badCall(env, "Space");
    return Value::text(std::string(static_cast<size_t>(n), ' '));
}
Value fnString(const Args& a, const Env& env) {
    int64_t n = wholeArg(a[0], env, "String");
    if (n < 0 || n > 65535) badCall(env, "String");
    if (a[1].isNull()) return a[1];
    char32_t c;
    if (a[1].isText()) {
        auto s = decode(a[1].asText());
        if (s.empty()) badCall(env, "String");
        c = s[0];
    } else {
        int64_t code = wholeArg(a[1], env, "String");
        c = static_cast<char32_t>(((code % 256) + 256) % 256);
    }
    return Value::text(encode(std::u32string(static_cast<size_t>(n), c)));
}
Value fnChr(const Args& a, const Env& env) {
    int64_t code = wholeArg(a[0], env, "Chr");
    if (code < 0 || code > 65535) badCall(env, "Chr");
    return Value::text(encode(std::u32string(1, static_cast<char32_t>(code))));
}
Value fnAsc(const Args& a, const Env& env) {
    if (a[0].isNull()) fail(env, "invalid use of Null in Asc()");
    auto s = decode(toText(a[0]));
    if (s.empty()) badCall(env, "Asc");
    return Value::int32(static_cast<int32_t>(s[0]));
}
Value fnStrComp(const Args& a, const Env& env) {
    if (a[0].isNull() || a[1].isNull()) return Value::null();
    bool binary = a.size() > 2 && wholeArg(a[2], env, "StrComp") == 0;
    std::string x = toText(a[0]), y = toText(a[1]);
    int c = binary ? x.compare(y) : compareText(x, y);
    return Value::int16(c < 0 ? -1 : c > 0 ? 1 : 0);
}

// ---- dates ----

double nowValue(const Env& env) { return env.now; }

Value fnDate(const Args&, const Env& env) { return Value::date(std::trunc(nowValue(env))); }
Value fnNow(const Args&, const Env& env) { return Value::date(nowValue(env)); }
Value fnTime(const Args&, const Env& env) {
    double day, t;
    splitDate(nowValue(env), day, t);
    return Value::date(t);
}

int64_t toSeconds(double linear) { return std::llround(linear * 86400.0); }

// Jet keeps a negative date's time as a positive fraction after the day; the
// timeline value (day + fraction) is what arithmetic on times works with.
double linearOf(double jet) {
    double day, t;
    splitDate(jet, day, t);
    return day + t;
}
double jetOf(double linear) {
    double day = std::floor(linear);
    double t = linear - day;
    return composeDate(day, t);
}

int dayOfWeek(double dayPart, int firstDay) {  // 1..7, firstDay 1 = Sunday
    int64_t d = static_cast<int64_t>(dayPart);
    int sunday1 = static_cast<int>(((d - 1) % 7 + 7) % 7) + 1;  // day 0 (12/30/1899) was a Saturday
    return ((sunday1 - firstDay) % 7 + 7) % 7 + 1;
}

int firstDayArg(const Args& a, size_t i, const Env& env, const char* fn) {
    if (a.size() <= i || a[i].isNull()) return 1;
    int64_t f = wholeArg(a[i], env, fn);
    if (f < 0 || f > 7) badCall(env, fn);
    return f == 0 ? 1 : static_cast<int>(f);  // 0: the system's setting, Sunday here
}

double calendarDay(double jet) {
    double day, t;
    splitDate(jet, day, t);
    if (std::llround(t * 86400.0) >= 86400) day += 1;
    return day;
}

Value datePart(const std::string& iv, double d, int firstDay, int firstWeek, const Env& env) {
    Civil c = toCivil(d);
    double day = calendarDay(d);
    if (iv == "YYYY") return Value::int32(c.year);
    if (iv == "Q") return Value::int32((c.month - 1) / 3 + 1);
    if (iv == "M") return Value::int32(c.month);
    if (iv == "Y") return Value::int32(static_cast<int32_t>(day - fromCivil(c.year, 1, 1)) + 1);
    if (iv == "D") return Value::int32(c.day);
    if (iv == "W") return Value::int32(dayOfWeek(day, firstDay));
    if (iv == "WW") {
        double jan1 = fromCivil(c.year, 1, 1);
        double weekStartJan1 = jan1 - (dayOfWeek(jan1, firstDay) - 1);
        double weekStart = day - (dayOfWeek(day, firstDay) - 1);
        int week = static_cast<int>((weekStart - weekStartJan1) / 7) + 1;
        if (firstWeek == 2 || firstWeek == 3) {
            // Week 1 needs four days (2) or all seven (3) of the new year.
            int need = firstWeek == 2 ? 4 : 7;
            int daysInFirst = 7 - static_cast<int>(jan1 - weekStartJan1);
            if (daysInFirst < need) --week;
            if (week == 0) {
                return datePart(iv, fromCivil(c.year, 1, 1) - 1, firstDay, firstWeek, env);
            }
        }
        return Value::int32(week);
    }
    if (iv == "H") return Value::int32(c.hour);
    if (iv == "N") return Value::int32(c.minute);
    if (iv == "S") return Value::int32(c.second);
    badCall(env, "DatePart");
}

Value fnDatePart(const Args& a, const Env& env) {
    std::string iv = upperWord(a[0]);
    if (a[1].isNull()) return a[1];
    int fd = firstDayArg(a, 2, env, "DatePart");
    int fw = a.size() > 3 && !a[3].isNull() ? static_cast<int>(wholeArg(a[3], env, "DatePart")) : 1;
    if (fw < 0 || fw > 3) badCall(env, "DatePart");
    return datePart(iv, dateArg(a[1], env), fd, fw == 0 ? 1 : fw, env);
}

Value fnDateAdd(const Args& a, const Env& env) {
    std::string iv = upperWord(a[0]);
    if (a[1].isNull() || a[2].isNull()) return Value::null();
    double n = toNumber(a[1], env);
    if (!std::isfinite(n) || std::fabs(n) > 1e9) badCall(env, "DateAdd");
    n = std::trunc(n);
    double d = dateArg(a[2], env);
    if (iv == "YYYY" || iv == "Q" || iv == "M") {
        double months = iv == "YYYY" ? n * 12 : iv == "Q" ? n * 3 : n;
        if (std::fabs(months) > 200000) badCall(env, "DateAdd");
        Civil c = toCivil(d);
        double day, t;
        splitDate(d, day, t);
        int64_t total = static_cast<int64_t>(c.year) * 12 + (c.month - 1) + static_cast<int64_t>(months);
        int y = static_cast<int>(total >= 0 ? total / 12 : -((-total + 11) / 12));
        int m = static_cast<int>(total - static_cast<int64_t>(y) * 12) + 1;
        if (y < 100 || y > 9999) fail(env, "date out of range in DateAdd()");
        int dim = toCivil(fromCivil(y, m + 1, 1) - 1).day;  // the month's last day caps the day
        double nd = fromCivil(y, m, std::min(c.day, dim));
        return dateResult(composeDate(nd, t), env);
    }
    double seconds;
    if (iv == "Y" || iv == "D" || iv == "W") seconds = n * 86400;
    else if (iv == "WW") seconds = n * 7 * 86400;
    else if (iv == "H") seconds = n * 3600;
    else if (iv == "N") seconds = n * 60;
    else if (iv == "S") seconds = n;
    else badCall(env, "DateAdd");
    // Work in whole milliseconds so that adding seconds to a time lands exactly on the second.
    double ms = std::round(linearOf(d) * 86400000.0) + seconds * 1000.0;
    return dateResult(jetOf(ms / 86400000.0), env);
}

Value fnDateDiff(const Args& a, const Env& env) {
    std::string iv = upperWord(a[0]);
    if (a[1].isNull() || a[2].isNull()) return Value::null();
    double d1 = dateArg(a[1], env), d2 = dateArg(a[2], env);
    int fd = firstDayArg(a, 3, env, "DateDiff");
    Civil c1 = toCivil(d1), c2 = toCivil(d2);
    double day1 = calendarDay(d1), day2 = calendarDay(d2);
    auto result = [&](double v) {
        if (v < -2147483648.0 || v > 2147483647.0) fail(env, "overflow in DateDiff()");
        return Value::int32(static_cast<int32_t>(v));
    };
    if (iv == "YYYY") return result(c2.year - c1.year);
    if (iv == "Q") return result((c2.year * 4 + (c2.month - 1) / 3) - (c1.year * 4 + (c1.month - 1) / 3));
    if (iv == "M") return result((c2.year * 12.0 + c2.month) - (c1.year * 12.0 + c1.month));
    if (iv == "Y" || iv == "D") return result(day2 - day1);
    if (iv == "W") return result(std::trunc((day2 - day1) / 7));
    if (iv == "WW") {
        double w1 = day1 - (dayOfWeek(day1, fd) - 1), w2 = day2 - (dayOfWeek(day2, fd) - 1);
        return result((w2 - w1) / 7);
    }
    int64_t s1 = toSeconds(linearOf(d1)), s2 = toSeconds(linearOf(d2));
    auto floorDiv = [](int64_t x, int64_t y) { return x >= 0 ? x / y : -((-x + y - 1) / y); };
    if (iv == "H") return result(static_cast<double>(floorDiv(s2, 3600) - floorDiv(s1, 3600)));
    if (iv == "N") return result(static_cast<double>(floorDiv(s2, 60) - floorDiv(s1, 60)));
    if (iv == "S") return result(static_cast<double>(s2 - s1));
    badCall(env, "DateDiff");
}

int twoDigitYear(int64_t y) { return static_cast<int>(y >= 0 && y < 30 ? 2000 + y : y >= 30 && y < 100 ? 1900 + y : y); }

Value fnDateSerial(const Args& a, const Env& env) {
    if (anyNull(a, 3)) fail(env, "invalid use of Null in DateSerial()");
    int64_t y = wholeArg(a[0], env, "DateSerial"), m = wholeArg(a[1], env, "DateSerial"),
            d = wholeArg(a[2], env, "DateSerial");
    if (std::llabs(m) > 1200000 || std::llabs(d) > 4000000) fail(env, "date out of range in DateSerial()");
    int year = twoDigitYear(y);
    if (year < -10000 || year > 20000) fail(env, "date out of range in DateSerial()");
    double r = fromCivil(year, static_cast<int>(m), static_cast<int>(d));
    Civil c = toCivil(r);
    if (c.year < 100 || c.year > 9999) fail(env, "date out of range in DateSerial()");
    return Value::date(r);
}
Value fnTimeSerial(const Args& a, const Env& env) {
    if (anyNull(a, 3)) fail(env, "invalid use of Null in TimeSerial()");
    int64_t h = wholeArg(a[0], env, "TimeSerial"), m = wholeArg(a[1], env, "TimeSerial"),
            s = wholeArg(a[2], env, "TimeSerial");
    double secs = static_cast<double>(h) * 3600 + static_cast<double>(m) * 60 + static_cast<double>(s);
    if (std::fabs(secs) > 86400.0 * 3e6) fail(env, "date out of range in TimeSerial()");
    return dateResult(jetOf(secs / 86400.0), env);
}
Value fnDateValue(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    double d = dateArg(a[0], env);
    double day, t;
    splitDate(d, day, t);
    return Value::date(day);
}
Value fnTimeValue(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    double d = dateArg(a[0], env);
    double day, t;
    splitDate(d, day, t);
    return Value::date(t);
}
Value civilPart(const Args& a, const Env& env, int Civil::*field) {
    if (a[0].isNull()) return a[0];
    return Value::int16(static_cast<int16_t>(toCivil(dateArg(a[0], env)).*field));
}
Value fnYear(const Args& a, const Env& env) { return civilPart(a, env, &Civil::year); }
Value fnMonth(const Args& a, const Env& env) { return civilPart(a, env, &Civil::month); }
Value fnDay(const Args& a, const Env& env) { return civilPart(a, env, &Civil::day); }
Value fnHour(const Args& a, const Env& env) { return civilPart(a, env, &Civil::hour); }
Value fnMinute(const Args& a, const Env& env) { return civilPart(a, env, &Civil::minute); }
Value fnSecond(const Args& a, const Env& env) { return civilPart(a, env, &Civil::second); }
Value fnWeekday(const Args& a, const Env& env) {
    if (a[0].isNull()) return a[0];
    int fd = firstDayArg(a, 1, env, "Weekday");
    return Value::int16(static_cast<int16_t>(dayOfWeek(calendarDay(dateArg(a[0], env)), fd)));
}
const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                             "July",    "August",   "September", "October", "November", "December"};
const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
Value fnMonthName(const Args& a, const Env& env) {
    int64_t m = wholeArg(a[0], env, "MonthName");
    if (m < 1 || m > 12) badCall(env, "MonthName");
    bool abbr = a.size() > 1 && !a[1].isNull() && toNumber(a[1], env) != 0;
    std::string s = kMonthNames[m - 1];
    return Value::text(abbr ? s.substr(0, 3) : s);
}
Value fnWeekdayName(const Args& a, const Env& env) {
    int64_t w = wholeArg(a[0], env, "WeekdayName");
    if (w < 1 || w > 7) badCall(env, "WeekdayName");
    bool abbr = a.size() > 1 && !a[1].isNull() && toNumber(a[1], env) != 0;
    int fd = firstDayArg(a, 2, env, "WeekdayName");
    std::string s = kDayNames[(w - 1 + fd - 1) % 7];
    return Value::text(abbr ? s.substr(0, 3) : s);
}

// ---- Format (named formats and the common custom date/number codes) ----

std::string two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

std::string formatDateCustom(double d, const std::string& f) {
    Civil c = toCivil(d);
    double day = calendarDay(d);
    std::string out;
    bool ampm = false;
    for (size_t i = 0; i + 1 < f.size() + 1; ++i) {
        std::string rest = f.substr(i);
        auto starts = [&](const char* p) {
            size_t n = std::strlen(p);
            if (rest.size() < n) return false;
            for (size_t k = 0; k < n; ++k)
                if (std::tolower(static_cast<unsigned char>(rest[k])) != p[k]) return false;
            return true;
        };
        if (starts("am/pm") || starts("a/p")) ampm = true;
    }
    char prev = 0;  // last date/time code, so "m" after "h" means minutes
    for (size_t i = 0; i < f.size();) {
        char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
        size_t run = 1;
        while (i + run < f.size() && std::tolower(static_cast<unsigned char>(f[i + run])) == ch) ++run;
        std::string rest = f.substr(i);
        std::string lrest;
        for (char x : rest) lrest += static_cast<char>(std::tolower(static_cast<unsigned char>(x)));
        if (lrest.rfind("am/pm", 0) == 0) {
            bool up = f[i] == 'A';
            out += c.hour < 12 ? (up ? "AM" : "am") : (up ? "PM" : "pm");
            i += 5;
            continue;
        }
        if (lrest.rfind("a/p", 0) == 0) {
            bool up = f[i] == 'A';
            out += c.hour < 12 ? (up ? "A" : "a") : (up ? "P" : "p");
            i += 3;
            continue;
        }
        if (f[i] == '"') {
            size_t j = f.find('"', i + 1);
            if (j == std::string::npos) j = f.size();
            out += f.substr(i + 1, j - i - 1);
            i = j + 1;
            continue;
        }
        if (f[i] == '\\' && i + 1 < f.size()) {
            out += f[i + 1];
            i += 2;
            continue;
        }
        switch (ch) {
            case 'y':
                if (run >= 3) out += std::to_string(c.year);
                else if (run == 2) out += two(c.year % 100);
                else out += std::to_string(static_cast<int>(day - fromCivil(c.year, 1, 1)) + 1);
                break;
            case 'q': out += std::to_string((c.month - 1) / 3 + 1); break;
            case 'm': {
                bool minutes = run <= 2 && prev == 'h';
                if (!minutes && run <= 2) {
                    // "m" right before seconds is minutes too (h:mm:ss without h first)
                    size_t j = i + run;
                    while (j < f.size() && !std::isalpha(static_cast<unsigned char>(f[j]))) ++j;
                    if (j < f.size() && std::tolower(static_cast<unsigned char>(f[j])) == 's') minutes = true;
                }
                if (minutes) out += run == 2 ? two(c.minute) : std::to_string(c.minute);
                else if (run == 1) out += std::to_string(c.month);
                else if (run == 2) out += two(c.month);
                else if (run == 3) out += std::string(kMonthNames[c.month - 1]).substr(0, 3);
                else out += kMonthNames[c.month - 1];
                break;
            }
            case 'n': out += run >= 2 ? two(c.minute) : std::to_string(c.minute); break;
            case 'd': {
                int wd = dayOfWeek(day, 1) - 1;
                if (run == 1) out += std::to_string(c.day);
                else if (run == 2) out += two(c.day);
                else if (run == 3) out += std::string(kDayNames[wd]).substr(0, 3);
                else if (run == 4) out += kDayNames[wd];
                else if (run == 5) out += std::to_string(c.month) + "/" + std::to_string(c.day) + "/" + std::to_string(c.year);
                else out += std::string(kDayNames[wd]) + ", " + kMonthNames[c.month - 1] + " " + two(c.day) + ", " + std::to_string(c.year);
                break;
            }
            case 'w':
                if (run == 1) out += std::to_string(dayOfWeek(day, 1));
                else out += std::to_string(datePart("WW", d, 1, 1, Env{}).asInt32());
                break;
            case 'h': {
                int h = ampm ? (c.hour % 12 == 0 ? 12 : c.hour % 12) : c.hour;
                out += run >= 2 ? two(h) : std::to_string(h);
                break;
            }
            case 's': out += run >= 2 ? two(c.second) : std::to_string(c.second); break;
            default: out.append(f, i, run); break;
        }
        if (std::isalpha(static_cast<unsigned char>(ch))) prev = ch;
        i += run;
    }
    return out;
}

std::string withThousands(const std::string& digits) {
    std::string out;
    int n = 0;
    for (size_t i = digits.size(); i-- > 0;) {
        out.insert(out.begin(), digits[i]);
        if (++n % 3 == 0 && i > 0) out.insert(out.begin(), ',');
    }
    return out;
}

std::string fixedDigits(double v, int places, bool thousands) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", places, std::fabs(v));
    std::string s = buf;
    size_t dot = s.find('.');
    std::string ip = s.substr(0, dot), fp = dot == std::string::npos ? "" : s.substr(dot);
    if (thousands) ip = withThousands(ip);
    bool zero = true;
    for (char c : s) if (c >= '1' && c <= '9') zero = false;
    return (v < 0 && !zero ? "-" : "") + ip + fp;
}

std::string formatNumberCustom(double v, const std::string& fmtIn) {
    // Sections: positive;negative;zero
    std::vector<std::string> sections;
    size_t p = 0;
    while (true) {
        size_t q = fmtIn.find(';', p);
        sections.push_back(fmtIn.substr(p, q == std::string::npos ? std::string::npos : q - p));
        if (q == std::string::npos) break;
        p = q + 1;
    }
    std::string f = sections[0];
    bool negSection = false;
    if (v < 0 && sections.size() > 1 && !sections[1].empty()) {
        f = sections[1];
        negSection = true;
    }
    if (v == 0 && sections.size() > 2 && !sections[2].empty()) f = sections[2];
    bool percent = f.find('%') != std::string::npos;
    double x = percent ? v * 100 : v;
    size_t dot = f.find('.');
    int places = 0, minInt = 0;
    bool thousands = false;
    size_t firstCode = std::string::npos, lastCode = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        char c = f[i];
        if (c == '0' || c == '#' || c == '.' || c == ',') {
            if (firstCode == std::string::npos) firstCode = i;
            lastCode = i;
            if (c == ',') thousands = true;
            if (c == '0' && (dot == std::string::npos || i < dot)) ++minInt;
            if ((c == '0' || c == '#') && dot != std::string::npos && i > dot) ++places;
        }
    }
    if (firstCode == std::string::npos) return f;
    int zeroPlaces = 0;
    if (dot != std::string::npos)
        for (size_t i = dot + 1; i < f.size() && (f[i] == '0' || f[i] == '#'); ++i)
            if (f[i] == '0') zeroPlaces = static_cast<int>(i - dot);
    std::string num = fixedDigits(negSection ? std::fabs(x) : x, places, thousands);
    bool neg = !num.empty() && num[0] == '-';
    if (neg) num.erase(0, 1);
    size_t nd = num.find('.');
    std::string ip = nd == std::string::npos ? num : num.substr(0, nd);
    std::string fp = nd == std::string::npos ? "" : num.substr(nd + 1);
    while (static_cast<int>(fp.size()) > zeroPlaces && !fp.empty() && fp.back() == '0') fp.pop_back();
    if (ip == "0" && minInt == 0) ip = "";
    while (static_cast<int>(ip.size()) < minInt) ip = "0" + ip;
    std::string body = ip + (fp.empty() ? (f.find('.') != std::string::npos && zeroPlaces == 0 ? "" : "") : "." + fp);
    std::string out = f.substr(0, firstCode);
    out += (neg ? "-" : "") + body;
    out += f.substr(lastCode + 1);
    std::string clean;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '"') continue;
        if (out[i] == '\\' && i + 1 < out.size()) { clean += out[++i]; continue; }
        clean += out[i];
    }
    return clean;
}

Value fnFormat(const Args& a, const Env& env) {
    const Value& v = a[0];
    if (v.isNull()) return Value::null();
    std::string f = a.size() > 1 && !a[1].isNull() ? toText(a[1]) : "";
    std::string lf;
    for (char c : f) lf += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (f.empty()) return Value::text(toText(v));
    auto asDate = [&]() -> double { return dateArg(v, env); };
    auto asNum = [&]() -> double { return toNumber(v, env); };
    if (lf == "general date") return Value::text(toText(Value::date(asDate())));
    if (lf == "long date") return Value::text(formatDateCustom(asDate(), "dddd, mmmm d, yyyy"));
    if (lf == "medium date") return Value::text(formatDateCustom(asDate(), "dd-mmm-yy"));
    if (lf == "short date") return Value::text(formatDateCustom(asDate(), "m/d/yyyy"));
    if (lf == "long time") return Value::text(formatDateCustom(asDate(), "h:nn:ss AM/PM"));
    if (lf == "medium time") return Value::text(formatDateCustom(asDate(), "hh:nn AM/PM"));
    if (lf == "short time") return Value::text(formatDateCustom(asDate(), "hh:nn"));
    if (lf == "general number") return Value::text(toText(Value::dbl(asNum())));
    if (lf == "fixed") return Value::text(fixedDigits(asNum(), 2, false));
    if (lf == "standard") return Value::text(fixedDigits(asNum(), 2, true));
    if (lf == "percent") return Value::text(fixedDigits(asNum() * 100, 2, false) + "%");
    if (lf == "currency") {
        double n = asNum();
        std::string s = fixedDigits(std::fabs(n), 2, true);
        return Value::text(n < 0 ? "($" + s + ")" : "$" + s);
    }
    if (lf == "scientific") {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2E", asNum());
        return Value::text(buf);
    }
    if (lf == "yes/no") return Value::text(asNum() != 0 ? "Yes" : "No");
    if (lf == "true/false") return Value::text(asNum() != 0 ? "True" : "False");
    if (lf == "on/off") return Value::text(asNum() != 0 ? "On" : "Off");
    if (lf.find_first_of("0#") != std::string::npos && lf.find_first_of("ymdhnsw") == std::string::npos) {
        if (v.isText()) {
            double d;
            if (!parseNumber(v.asText(), d)) return v;
        }
        return Value::text(formatNumberCustom(asNum(), f));
    }
    if (lf.find_first_of("ymdhnsqw") != std::string::npos) {
        if (v.isText()) {
            double d;
            if (!parseDate(v.asText(), d) && !parseNumber(v.asText(), d)) return v;
        }
        return Value::text(formatDateCustom(asDate(), f));
    }
    if (lf == ">" ) return fnUCase(Args{v}, env);
    if (lf == "<" ) return fnLCase(Args{v}, env);
    return Value::text(toText(v));
}

Value fnSwitch(const Args& a, const Env& env) {
    if (a.size() % 2) badCall(env, "Switch");
    for (size_t i = 0; i + 1 < a.size(); i += 2) {
        const Value& c = a[i];
        if (!c.isNull() && toNumber(c, env) != 0) return a[i + 1];
    }
    return Value::null();
}
Value fnChoose(const Args& a, const Env& env) {
    if (a[0].isNull()) return Value::null();
    double i = std::trunc(toNumber(a[0], env));
    if (i < 1 || i >= static_cast<double>(a.size())) return Value::null();
    return a[static_cast<size_t>(i)];
}

struct FnInfo {
    Builtin fn;
    size_t minArgs, maxArgs;
};

const std::map<std::string, FnInfo>& table() {
    static const std::map<std::string, FnInfo> t = {
        {"NZ", {fnNz, 1, 2}},           {"ISNULL", {fnIsNull, 1, 1}},     {"ISNUMERIC", {fnIsNumeric, 1, 1}},
        {"ISDATE", {fnIsDate, 1, 1}},   {"CINT", {fnCInt, 1, 1}},         {"CLNG", {fnCLng, 1, 1}},
        {"CBYTE", {fnCByte, 1, 1}},     {"CSNG", {fnCSng, 1, 1}},         {"CDBL", {fnCDbl, 1, 1}},
        {"CCUR", {fnCCur, 1, 1}},       {"CSTR", {fnCStr, 1, 1}},         {"CDATE", {fnCDate, 1, 1}},
        {"CVDATE", {fnCDate, 1, 1}},    {"CBOOL", {fnCBool, 1, 1}},       {"CVAR", {fnCVar, 1, 1}},
        {"INT", {fnInt, 1, 1}},         {"FIX", {fnFix, 1, 1}},           {"ABS", {fnAbs, 1, 1}},
        {"SGN", {fnSgn, 1, 1}},         {"ROUND", {fnRound, 1, 2}},       {"SQR", {fnSqr, 1, 1}},
        {"EXP", {fnExp, 1, 1}},         {"LOG", {fnLog, 1, 1}},           {"VAL", {fnVal, 1, 1}},
        {"STR", {fnStr, 1, 1}},         {"LEN", {fnLen, 1, 1}},           {"LEFT", {fnLeft, 2, 2}},
        {"RIGHT", {fnRight, 2, 2}},     {"MID", {fnMid, 2, 3}},           {"TRIM", {fnTrim, 1, 1}},
        {"LTRIM", {fnLTrim, 1, 1}},     {"RTRIM", {fnRTrim, 1, 1}},       {"UCASE", {fnUCase, 1, 1}},
        {"LCASE", {fnLCase, 1, 1}},     {"INSTR", {fnInStr, 2, 4}},       {"INSTRREV", {fnInStrRev, 2, 4}},
        {"REPLACE", {fnReplace, 3, 6}}, {"SPACE", {fnSpace, 1, 1}},       {"STRING", {fnString, 2, 2}},
        {"CHR", {fnChr, 1, 1}},         {"CHRW", {fnChr, 1, 1}},          {"ASC", {fnAsc, 1, 1}},
        {"ASCW", {fnAsc, 1, 1}},        {"STRCOMP", {fnStrComp, 2, 3}},   {"DATE", {fnDate, 0, 0}},
        {"NOW", {fnNow, 0, 0}},         {"TIME", {fnTime, 0, 0}},         {"DATEPART", {fnDatePart, 2, 4}},
        {"DATEADD", {fnDateAdd, 3, 3}}, {"DATEDIFF", {fnDateDiff, 3, 5}}, {"DATESERIAL", {fnDateSerial, 3, 3}},
        {"TIMESERIAL", {fnTimeSerial, 3, 3}}, {"DATEVALUE", {fnDateValue, 1, 1}},
        {"TIMEVALUE", {fnTimeValue, 1, 1}},   {"YEAR", {fnYear, 1, 1}},   {"MONTH", {fnMonth, 1, 1}},
        {"DAY", {fnDay, 1, 1}},         {"HOUR", {fnHour, 1, 1}},         {"MINUTE", {fnMinute, 1, 1}},
        {"SECOND", {fnSecond, 1, 1}},   {"WEEKDAY", {fnWeekday, 1, 2}},   {"MONTHNAME", {fnMonthName, 1, 2}},
        {"WEEKDAYNAME", {fnWeekdayName, 1, 3}}, {"FORMAT", {fnFormat, 1, 4}},
        {"SWITCH", {fnSwitch, 2, 64}},  {"CHOOSE", {fnChoose, 2, 64}},
    };
    return t;
}

}  // namespace

Builtin findFunction(const std::string& name, size_t argCount, const Env& env) {
    std::string u;
    for (char c : name) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!u.empty() && u.back() == '$') u.pop_back();  // Left$ and friends return text; same here
    auto it = table().find(u);
    if (it == table().end()) return nullptr;
    if (argCount < it->second.minArgs || argCount > it->second.maxArgs)
        fail(env, "wrong number of arguments to function " + name + "()");
    return it->second.fn;
}

bool isAggregateName(const std::string& name) {
    std::string u;
    for (char c : name) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u == "COUNT" || u == "SUM" || u == "AVG" || u == "MIN" || u == "MAX" || u == "FIRST" || u == "LAST" ||
           u == "STDEV" || u == "STDEVP" || u == "VAR" || u == "VARP";
}

}  // namespace jet::ev
