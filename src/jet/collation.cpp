#include "collation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "error.h"
#include "text_key.h"

namespace jet {

namespace collation_data {
extern const char* const kGeneral97[];
extern const unsigned short kGeneral97Map[][2];
extern const char* const kGeneralLegacy[];
extern const char* const kGeneral2010[];
}  // namespace collation_data

namespace {

// How one UTF-16 code unit contributes to a key.
enum class Kind : uint8_t {
    Ignored,
    Simple,       // primary bytes only
    Accented,     // primary bytes plus an accent byte sequence
    Unprintable,  // no primary; recorded with its position after the accents
    Modifier,     // no primary; adjusts the accent byte of the previous character
    Compat,       // primary, optional accent and a 2-bit compatibility flag
    Significant,  // Jet 3: primary, and takes an accent placeholder slot
    HighSurrogate,
    LowSurrogate,
};

struct Code {
    uint32_t primaryOff = 0;
    uint32_t extraOff = 0;  // accent, unprintable or modifier bytes
    Kind kind = Kind::Ignored;
    uint8_t primaryLen = 0;
    uint8_t extraLen = 0;
    uint8_t flag = 0;
};

struct Table {
    std::vector<Code> codes;
    std::vector<uint8_t> pool;
    std::array<uint16_t, 0x10000> map97{};  // Jet 3 only: code point -> Latin-1 slot (0 = none)

    const uint8_t* bytes(uint32_t off) const { return pool.data() + off; }
};

// Reads the generated tables (see scripts/gen_collation_tables.py for the alphabet).
class TableParser {
public:
    explicit TableParser(const char* const* chunks) : chunks_(chunks), p_(chunks[0]) {}

    int peek() {
        while (p_ && *p_ == 0) p_ = chunks_[++chunk_];
        return p_ ? static_cast<unsigned char>(*p_) : -1;
    }
    int get() {
        int c = peek();
        if (c >= 0) ++p_;
        return c;
    }

    static int hexVal(int c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    }
    // Reads hex digit pairs into the pool; returns how many bytes were read.
    uint8_t hex(std::vector<uint8_t>& pool) {
        uint8_t n = 0;
        while (hexVal(peek()) >= 0) {
            int hi = hexVal(get());
            int lo = hexVal(get());
            if (lo < 0) broken();
            pool.push_back(static_cast<uint8_t>(hi * 16 + lo));
            ++n;
        }
        return n;
    }
    size_t number() {
        size_t v = 0;
        bool any = false;
        while (peek() >= '0' && peek() <= '9') {
            v = v * 10 + static_cast<size_t>(get() - '0');
            any = true;
        }
        if (!any) broken();
        return v;
    }
    void expect(char c) {
        if (get() != c) broken();
    }
    [[noreturn]] static void broken() { throw Error("internal collation table is damaged"); }

private:
    const char* const* chunks_;
    size_t chunk_ = 0;
    const char* p_;
};

// Parses a table; `isSurrogateAware` tables skip D800-DFFF, whose codes are computed.
Table parseTable(const char* const* chunks, size_t units, bool surrogatesComputed) {
    Table t;
    t.codes.resize(units);
    TableParser in(chunks);
    size_t u = 0;
    auto skipSurrogates = [&] {
        if (!surrogatesComputed) return;
        while (u < units && u >= 0xD800 && u <= 0xDFFF) {
            t.codes[u].kind = u <= 0xDBFF ? Kind::HighSurrogate : Kind::LowSurrogate;
            ++u;
        }
    };
    skipSurrogates();
    while (in.peek() >= 0) {
        if (u >= units) TableParser::broken();
        Code& c = t.codes[u];
        int k = in.get();
        switch (k) {
        case '.': {
            size_t extra = 0;
            if (in.peek() == '*') {
                in.get();
                extra = in.number();
            }
            for (size_t i = 0; i <= extra; ++i) {
                skipSurrogates();
                if (u >= units) TableParser::broken();
                t.codes[u++].kind = Kind::Ignored;
            }
            skipSurrogates();
            continue;
        }
        case '=': {
            c.kind = Kind::Simple;
            c.primaryOff = static_cast<uint32_t>(t.pool.size());
            c.primaryLen = in.hex(t.pool);
            if (c.primaryLen == 0) TableParser::broken();
            size_t more = 0;
            if (in.peek() == '+') {
                in.get();
                more = in.number();
            }
            Code base = c;
            ++u;
            for (size_t i = 1; i <= more; ++i) {
                skipSurrogates();
                if (u >= units) TableParser::broken();
                // Consecutive characters whose primaries count up: big-endian increment.
                Code next = base;
                next.primaryOff = static_cast<uint32_t>(t.pool.size());
                for (size_t b = 0; b < base.primaryLen; ++b) t.pool.push_back(t.pool[base.primaryOff + b]);
                size_t carry = i;
                for (size_t b = base.primaryLen; b-- > 0 && carry;) {
                    size_t v = t.pool[next.primaryOff + b] + carry;
                    t.pool[next.primaryOff + b] = static_cast<uint8_t>(v & 0xFF);
                    carry = v >> 8;
                }
                t.codes[u++] = next;
            }
            skipSurrogates();
            continue;
        }
        case '~':
        case '%':
            c.kind = k == '~' ? Kind::Accented : Kind::Compat;
            c.primaryOff = static_cast<uint32_t>(t.pool.size());
            c.primaryLen = in.hex(t.pool);
            in.expect('/');
            c.extraOff = static_cast<uint32_t>(t.pool.size());
            c.extraLen = in.hex(t.pool);
            if (k == '%') {
                in.expect('/');
                int f = in.get();
                if (f != '2' && f != '3') TableParser::broken();
                c.flag = static_cast<uint8_t>(f - '0');
            } else if (c.extraLen == 0) {
                TableParser::broken();
            }
            break;
        case '!':
        case '^':
            c.kind = k == '!' ? Kind::Unprintable : Kind::Modifier;
            c.extraOff = static_cast<uint32_t>(t.pool.size());
            c.extraLen = in.hex(t.pool);
            if (c.extraLen == 0 || (k == '^' && c.extraLen != 1)) TableParser::broken();
            break;
        case '#':
            c.kind = Kind::Significant;
            c.primaryOff = static_cast<uint32_t>(t.pool.size());
            c.primaryLen = in.hex(t.pool);
            break;
        default:
            TableParser::broken();
        }
        ++u;
        skipSurrogates();
    }
    if (u != units) TableParser::broken();
    return t;
}

const Table& table97() {
    static const Table t = [] {
        Table r = parseTable(collation_data::kGeneral97, 256, false);
        for (size_t i = 0; collation_data::kGeneral97Map[i][0] != 0; ++i)
            r.map97[collation_data::kGeneral97Map[i][0]] = collation_data::kGeneral97Map[i][1];
        return r;
    }();
    return t;
}
const Table& tableLegacy() {
    static const Table t = parseTable(collation_data::kGeneralLegacy, 0x10000, true);
    return t;
}
const Table& table2010() {
    static const Table t = parseTable(collation_data::kGeneral2010, 0x10000, true);
    return t;
}

// UTF-8 to UTF-16 code units; malformed sequences become U+FFFD.
std::u16string toUtf16(std::string_view s) {
    std::u16string r;
    r.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else {
            r.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = i + n <= s.size();
        for (size_t k = 1; ok && k < n; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok || cp > 0x10FFFF) {
            r.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            r.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            r.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            r.push_back(static_cast<char16_t>(cp));
        }
        i += n;
    }
    return r;
}

// Jet indexes at most 255 characters of a text or memo value and ignores trailing blanks.
std::u16string_view indexedPart(const std::u16string& s) {
    size_t len = std::min<size_t>(s.size(), 255);
    while (len > 0 && s[len - 1] == u' ') --len;
    return std::u16string_view(s.data(), len);
}

void invert(std::vector<uint8_t>& out, size_t from) {
    for (size_t i = from; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
}

constexpr uint8_t kEndPrimary = 0x01;
constexpr uint8_t kEndKey = 0x00;
constexpr uint8_t kAccentPlaceholder = 0x02;

void appendGeneral(std::vector<uint8_t>& out, std::u16string_view text, const Table& t, bool ascending) {
    const size_t start = out.size();

    // Accent bytes, one slot per character with a primary; unaccented ones get a placeholder.
    std::vector<uint8_t> accents;
    bool accentsStarted = false;
    size_t accentChars = 0;
    size_t accentLead = 0;  // a modifier that arrived before any accent byte
    std::vector<uint8_t> unprintables;
    std::vector<uint8_t> compatFlags;

    size_t position = 0;  // characters with primary bytes so far
    for (char16_t ch : text) {
        const Code& c = t.codes[ch];
        const size_t pos = position;
        uint8_t surrogate[2];
        const uint8_t* extra = c.extraLen ? t.bytes(c.extraOff) : nullptr;
        size_t extraLen = c.extraLen;
        static const uint8_t kSurrogateAccent = 0x3F;

        switch (c.kind) {
        case Kind::Ignored:
            continue;
        case Kind::Simple:
            out.insert(out.end(), t.bytes(c.primaryOff), t.bytes(c.primaryOff) + c.primaryLen);
            ++position;
            continue;
        case Kind::HighSurrogate:
        case Kind::LowSurrogate: {
            unsigned v = ch;
            if (c.kind == Kind::HighSurrogate) {
                v -= 10238;
            } else {
                unsigned off = (v - 0xDC00) % 1024;
                v -= off < 8 ? 9992 : off < 262 ? 9990 : off < 516 ? 9988 : off < 770 ? 9986 : 9984;
            }
            surrogate[0] = static_cast<uint8_t>(v >> 8);
            surrogate[1] = static_cast<uint8_t>(v);
            out.insert(out.end(), surrogate, surrogate + 2);
            ++position;
            extra = &kSurrogateAccent;
            extraLen = 1;
            break;
        }
        case Kind::Accented:
        case Kind::Compat:
        case Kind::Significant:
            out.insert(out.end(), t.bytes(c.primaryOff), t.bytes(c.primaryOff) + c.primaryLen);
            ++position;
            break;
        case Kind::Unprintable:
        case Kind::Modifier:
            break;
        }

        if (c.kind != Kind::Unprintable && (extraLen || c.kind == Kind::Modifier)) {
            accentsStarted = true;
            if (accentChars < pos) {
                accents.insert(accents.end(), pos - accentChars, kAccentPlaceholder);
                accentChars = pos;
            }
            if (c.kind != Kind::Modifier) {
                accents.insert(accents.end(), extra, extra + extraLen);
                ++accentChars;
            } else if (!accents.empty()) {
                accents.back() = static_cast<uint8_t>(accents.back() + extra[0]);
            } else {
                accents.push_back(extra[0]);
                accentLead = 1;
            }
        }
        if (c.kind == Kind::Unprintable) {
            // The recorded position counts accent bytes, including placeholders not yet written.
            size_t p = pos;
            if (accentsStarted) p = accents.size() + (pos - accentChars) - accentLead;
            unsigned v = static_cast<unsigned>((7 + 4 * p) | 0x8000);
            unprintables.push_back(static_cast<uint8_t>(v >> 8));
            unprintables.push_back(static_cast<uint8_t>(v));
            unprintables.push_back(0x06);
            unprintables.insert(unprintables.end(), extra, extra + extraLen);
        }
        if (c.flag) compatFlags.push_back(c.flag);
    }

    out.push_back(kEndPrimary);

    // Trailing placeholders (and zero accents) carry no information.
    while (!accents.empty() && accents.back() <= kAccentPlaceholder) accents.pop_back();
    const bool haveAccents = !accents.empty();
    const bool haveUnprintables = !unprintables.empty();
    const bool haveCompat = !compatFlags.empty();
    if (haveAccents) out.insert(out.end(), accents.begin(), accents.end());
    if (haveUnprintables || haveCompat) {
        out.push_back(kEndPrimary);
        out.push_back(kEndPrimary);
        if (haveCompat) {
            while (!compatFlags.empty() && compatFlags.back() == 3) compatFlags.pop_back();
            // Three 2-bit flags per byte under a 0x80 marker.
            for (size_t i = 0; i < compatFlags.size(); i += 3) {
                uint8_t b = 0x80;
                for (size_t k = 0; k < 3 && i + k < compatFlags.size(); ++k)
                    b = static_cast<uint8_t>(b | (compatFlags[i + k] << ((2 - k) * 2)));
                out.push_back(b);
            }
            static const uint8_t kCompatTrailer[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
            out.insert(out.end(), std::begin(kCompatTrailer), std::end(kCompatTrailer));
            if (haveUnprintables) out.push_back(0xFF);
        }
        if (haveUnprintables) {
            out.push_back(kEndPrimary);
            out.insert(out.end(), unprintables.begin(), unprintables.end());
        }
    }

    if (!ascending) {
        out.push_back(kEndKey);
        invert(out, start);
    }
    out.push_back(kEndKey);
}

void append97(std::vector<uint8_t>& out, std::u16string_view text, bool ascending) {
    const Table& t = table97();
    const size_t start = out.size();

    // Accents are packed as nibbles between two zero nibbles; significant characters
    // without an accent leave a placeholder nibble only when an accent follows them.
    std::vector<uint8_t> nibbles;
    size_t pendingSignificant = 0;
    for (char16_t ch : text) {
        unsigned slot = ch <= 0xFF ? ch : t.map97[ch];
        const Code& c = t.codes[slot];
        if (c.primaryLen) out.insert(out.end(), t.bytes(c.primaryOff), t.bytes(c.primaryOff) + c.primaryLen);
        if (c.kind == Kind::Significant) {
            ++pendingSignificant;
        } else if (c.kind == Kind::Accented) {
            if (nibbles.empty()) nibbles.push_back(0);
            nibbles.insert(nibbles.end(), pendingSignificant, kAccentPlaceholder);
            pendingSignificant = 0;
            nibbles.push_back(t.bytes(c.extraOff)[0] & 0x0F);
        }
    }
    if (nibbles.empty()) {
        out.push_back(kEndKey);
    } else {
        nibbles.push_back(0);
        for (size_t i = 0; i < nibbles.size(); i += 2) {
            uint8_t lo = i + 1 < nibbles.size() ? nibbles[i + 1] : 0;
            out.push_back(static_cast<uint8_t>((nibbles[i] << 4) | lo));
        }
    }
    if (!ascending) invert(out, start);
}

}  // namespace

void appendTextKey(std::vector<uint8_t>& out, std::string_view utf8, TextOrder order, bool ascending) {
    std::u16string units = toUtf16(utf8);
    std::u16string_view text = indexedPart(units);
    switch (order) {
    case TextOrder::General97:
        append97(out, text, ascending);
        break;
    case TextOrder::GeneralLegacy:
        appendGeneral(out, text, tableLegacy(), ascending);
        break;
    case TextOrder::General2010:
        appendGeneral(out, text, table2010(), ascending);
        break;
    }
}

std::vector<uint8_t> textSortKey(std::string_view utf8, Version v) {
    std::vector<uint8_t> k;
    appendTextKey(k, utf8, v == Version::Jet3 ? TextOrder::General97 : TextOrder::GeneralLegacy, true);
    return k;
}

namespace {

// Texts of plain ASCII characters with single-part codes (the usual case) compare
// by their primary bytes alone; the key would add nothing but the end markers.
// Returns false when either text needs the full key.
bool comparePlain(std::string_view a, std::string_view b, int& result) {
    auto trim = [](std::string_view& s) {
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    };
    trim(a);
    trim(b);
    if (a.size() > 255 || b.size() > 255) return false;
    const Table& t = tableLegacy();
    const uint8_t *pa = nullptr, *pb = nullptr;
    size_t na = 0, nb = 0, ia = 0, ib = 0;
    auto refill = [&](std::string_view s, size_t& i, const uint8_t*& p, size_t& n) {
        while (n == 0 && i < s.size()) {
            unsigned char c = static_cast<unsigned char>(s[i++]);
            if (c >= 0x80) return false;
            const Code& code = t.codes[c];
            if (code.kind != Kind::Simple) return false;
            p = t.bytes(code.primaryOff);
            n = code.primaryLen;
        }
        return true;
    };
    for (;;) {
        if (!refill(a, ia, pa, na) || !refill(b, ib, pb, nb)) return false;
        if (na == 0 || nb == 0) {
            result = (na == 0 && nb == 0) ? 0 : (na == 0 ? -1 : 1);
            return true;
        }
        if (*pa != *pb) {
            result = *pa < *pb ? -1 : 1;
            return true;
        }
        ++pa, --na, ++pb, --nb;
    }
}

}  // namespace

// The whole key is compared, not only its primary part. Case is already folded
// into the primaries, so "abc" equals "ABC". Accents live after the primary end
// marker: they only break ties between texts whose letters agree, so "resume"
// sorts next to "résumé" yet the two are not equal, matching Jet's own
// accent-sensitive, case-insensitive comparison.
int compareText(std::string_view a, std::string_view b) {
    int plain;
    if (comparePlain(a, b, plain)) return plain;
    std::vector<uint8_t> ka, kb;
    appendTextKey(ka, a, TextOrder::GeneralLegacy, true);
    appendTextKey(kb, b, TextOrder::GeneralLegacy, true);
    size_t n = std::min(ka.size(), kb.size());
    int c = n ? std::memcmp(ka.data(), kb.data(), n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    return ka.size() < kb.size() ? -1 : (ka.size() > kb.size() ? 1 : 0);
}

}  // namespace jet
