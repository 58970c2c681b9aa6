// Jet's Like operator (ANSI-89 wildcards), matched on code points so that
// ? stands for one character of a non-ASCII name too.
#include <cstdint>
#include <string_view>
#include <string>
#include <vector>

#include "expr_eval.h"
#include "text.h"

namespace jet::ev {
namespace {


// Case folding for ASCII, Latin-1, Greek and Cyrillic letters.
char32_t fold(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

struct Matcher {
    const std::u32string& t;
    const std::u32string& p;

    // Matches a bracket class at p[pi] ('[' already seen at pi); returns the index after ']' or
    // npos when the class is unterminated (then '[' is literal).
    size_t classEnd(size_t pi) const {
        size_t j = pi + 1;
        if (j < p.size() && p[j] == '!') ++j;
        if (j < p.size() && p[j] == ']') ++j;  // "[]" and "[!]" keep a literal ']' as a member
        while (j < p.size() && p[j] != ']') ++j;
        return j < p.size() ? j + 1 : std::string_view::npos;
    }

    bool classMatches(size_t pi, size_t end, char32_t c) const {
        size_t j = pi + 1;
        bool neg = false;
        if (j < end - 1 && p[j] == '!') { neg = true; ++j; }
        char32_t fc = fold(c);
        bool hit = false;
        size_t last = end - 1;  // index of ']'
        if (j == last) return neg ? true : false;  // "[]" matches nothing, "[!]" anything
        while (j < last) {
            char32_t lo = p[j];
            if (j + 2 < last && p[j + 1] == '-') {
                char32_t hi = p[j + 2];
                char32_t flo = fold(lo), fhi = fold(hi);
                if (flo <= fc && fc <= fhi) hit = true;
                j += 3;
            } else {
                if (fold(lo) == fc) hit = true;
                ++j;
            }
        }
        return hit != neg;
    }

    // Every token but '*' consumes exactly one character, so the classic
    // single-backtrack-point scan is exact and runs in O(text * pattern).
    bool matchOne(size_t& pi, char32_t c) const {
        char32_t pc = p[pi];
        if (pc == '?') { ++pi; return true; }
        if (pc == '#') { ++pi; return c >= '0' && c <= '9'; }
        if (pc == '[') {
            size_t end = classEnd(pi);
            if (end != std::string_view::npos) {
                bool ok = classMatches(pi, end, c);
                pi = end;
                return ok;
            }
        }
        ++pi;
        return fold(pc) == fold(c);
    }

    bool match() const {
        size_t ti = 0, pi = 0;
        size_t starP = std::string_view::npos, starT = 0;
        while (ti < t.size()) {
            if (pi < p.size() && p[pi] == '*') {
                starP = ++pi;
                starT = ti;
                continue;
            }
            size_t next = pi;
            if (pi < p.size() && matchOne(next, t[ti])) {
                pi = next;
                ++ti;
                continue;
            }
            if (starP == std::string_view::npos) return false;
            pi = starP;
            ti = ++starT;
        }
        while (pi < p.size() && p[pi] == '*') ++pi;
        return pi == p.size();
    }
};

}  // namespace

bool likeMatch(std::string_view text, std::string_view pattern) {
    auto t = text::decodeUtf8(text);
    auto p = text::decodeUtf8(pattern);
    Matcher m{t, p};
    return m.match();
}

}  // namespace jet::ev
