#include "text.h"

namespace jet::text {
namespace {

// Windows-1252 0x80..0x9F; the rest of the page coincides with Latin-1.
// Undefined positions map to themselves, as Windows does.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendUtf16le(std::string& out, const uint8_t* p, size_t n) {
    size_t units = n / 2;
    out.reserve(out.size() + units);
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = p[2 * i] | (p[2 * i + 1] << 8);
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            uint32_t lo = p[2 * i + 2] | (p[2 * i + 3] << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, u);  // a lone surrogate becomes U+FFFD there
    }
}

void appendCompressed(std::string& out, const uint8_t* p, size_t n) {
    out.reserve(out.size() + n);
    bool compressed = true;
    size_t i = 0;
    while (i < n) {
        if (p[i] == 0) {
            compressed = !compressed;
            ++i;
        } else if (compressed) {
            // Runs of ASCII, most of any text, are copied as they are.
            size_t j = i;
            while (j < n && p[j] != 0 && p[j] < 0x80) ++j;
            if (j > i) {
                out.append(reinterpret_cast<const char*>(p + i), j - i);
                i = j;
                continue;
            }
            appendUtf8(out, p[i]);
            ++i;
        } else {
            if (i + 1 >= n) break;
            uint32_t u = p[i] | (p[i + 1] << 8);
            if (u >= 0xD800 && u <= 0xDBFF && i + 3 < n) {
                uint32_t lo = p[i + 2] | (p[i + 3] << 8);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                    i += 4;
                    continue;
                }
            }
            appendUtf8(out, u);
            i += 2;
        }
    }
}

void appendCodePage(std::string& out, const uint8_t* p, size_t n, uint16_t) {
    out.reserve(out.size() + n);
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = p[i];
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else if (c < 0xA0)
            appendUtf8(out, kCp1252High[c - 0x80]);
        else
            appendUtf8(out, c);
    }
}


std::u32string decodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool ok = extra != 9 && i + extra < s.size() + (extra == 0);
        for (size_t k = 1; ok && k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out.push_back(c);
            ++i;
        } else {
            out.push_back(cp);
            i += extra + 1;
        }
    }
    return out;
}

}  // namespace jet::text
