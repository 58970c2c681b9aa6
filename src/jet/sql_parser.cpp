// Jet SQL text to QueryModel: a hand-written lexer and a precedence-climbing
// parser. Input may be hostile (fuzzed), so every recursion is counted and the
// depth of the trees built by operator chains is bounded.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"
#include "query.h"
#include "sql_internal.h"

namespace jet {
namespace {

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// Words that end an expression or a name list; a bare name must not be one of them.
const char* const kReserved[] = {
    "SELECT", "FROM", "WHERE", "GROUP", "BY", "HAVING", "ORDER", "AS", "ON", "JOIN", "INNER", "LEFT",
    "RIGHT", "OUTER", "AND", "OR", "XOR", "EQV", "IMP", "NOT", "MOD", "LIKE", "BETWEEN", "IN", "IS",
    "NULL", "TRUE", "FALSE", "DISTINCT", "DISTINCTROW", "TOP", "PERCENT", "UNION", "ALL", "INTO",
    "VALUES", "INSERT", "UPDATE", "SET", "DELETE", "PARAMETERS", "TRANSFORM", "PIVOT", "ASC", "DESC",
    "WITH", "OWNERACCESS", "OPTION", "CREATE", "ALTER", "DROP",
};

bool isReserved(std::string_view w) {
    for (const char* r : kReserved)
        if (iequals(w, r)) return true;
    return false;
}

bool isWordStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }
bool isWordChar(unsigned char c) { return isWordStart(c) || (c >= '0' && c <= '9') || c == '$'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------- lexer

enum class Tok { End, Word, Bracket, String, Number, Date, Op, Comma, Dot, LParen, RParen, Semicolon };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // Word/Op/Number: as written; Bracket: the name inside; String: the value; Date: inside #…#
    std::string raw;   // the source slice (literals keep it for rendering)
    size_t pos = 0;    // byte offset in the input
};

[[noreturn]] void syntaxError(const std::string& what, size_t pos) {
    throw Error("SQL syntax error at position " + std::to_string(pos + 1) + ": " + what, Error::Code::Query);
}

std::string describe(const Token& t) {
    switch (t.kind) {
    case Tok::End: return "the end of the text";
    case Tok::Bracket: return "'[" + t.text + "]'";
    case Tok::String: return "string " + t.raw;
    case Tok::Date: return "date " + t.raw;
    default: {
        std::string s = t.raw;
        if (s.size() > 40) s = s.substr(0, 40) + "...";
        return "'" + s + "'";
    }
    }
}

std::vector<Token> tokenize(const std::string& s) {
    std::vector<Token> out;
    size_t i = 0, n = s.size();
    auto push = [&](Tok k, size_t start, std::string text) {
        Token t;
        t.kind = k;
        t.text = std::move(text);
        t.raw = s.substr(start, i - start);
        t.pos = start;
        out.push_back(std::move(t));
    };
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t start = i;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++i;
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(static_cast<unsigned char>(s[i]))) ++i;
            push(Tok::Word, start, s.substr(start, i - start));
        } else if (c == '[') {
            size_t close = s.find(']', i + 1);
            if (close == std::string::npos) syntaxError("'[' without a closing ']'", start);
            if (close == i + 1) syntaxError("empty name '[]'", start);
            i = close + 1;
            push(Tok::Bracket, start, s.substr(start + 1, close - start - 1));
        } else if (c == '"' || c == '\'') {
            std::string value;
            ++i;
            for (;;) {
                if (i >= n) syntaxError("text literal without its closing quote", start);
                if (static_cast<unsigned char>(s[i]) == c) {
                    if (i + 1 < n && static_cast<unsigned char>(s[i + 1]) == c) {
                        value += static_cast<char>(c);
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += s[i++];
            }
            push(Tok::String, start, std::move(value));
        } else if (c == '#') {
            size_t close = s.find('#', i + 1);
            if (close == std::string::npos) syntaxError("date literal without its closing '#'", start);
            i = close + 1;
            push(Tok::Date, start, s.substr(start + 1, close - start - 1));
        } else if (isDigit(static_cast<char>(c)) ||
                   (c == '.' && i + 1 < n && isDigit(s[i + 1]) &&
                    (out.empty() || (out.back().kind == Tok::Word ? isReserved(out.back().text)
                                                                   : out.back().kind != Tok::Bracket &&
                                                                         out.back().kind != Tok::RParen)))) {
            while (i < n && isDigit(s[i])) ++i;
            if (i < n && s[i] == '.') {
                ++i;
                while (i < n && isDigit(s[i])) ++i;
            }
            if (i < n && (s[i] == 'e' || s[i] == 'E')) {
                size_t j = i + 1;
                if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
                if (j < n && isDigit(s[j])) {
                    i = j;
                    while (i < n && isDigit(s[i])) ++i;
                }
            }
            push(Tok::Number, start, s.substr(start, i - start));
        } else if (c == '<' || c == '>') {
            ++i;
            if (i < n && (s[i] == '=' || (c == '<' && s[i] == '>'))) ++i;
            push(Tok::Op, start, s.substr(start, i - start));
        } else if (std::strchr("+-*/\\^&=", static_cast<char>(c)) != nullptr && c != 0) {
            ++i;
            push(Tok::Op, start, s.substr(start, 1));
        } else if (c == ',') {
            ++i;
            push(Tok::Comma, start, ",");
        } else if (c == '.') {
            ++i;
            push(Tok::Dot, start, ".");
        } else if (c == '(') {
            ++i;
            push(Tok::LParen, start, "(");
        } else if (c == ')') {
            ++i;
            push(Tok::RParen, start, ")");
        } else if (c == ';') {
            ++i;
            push(Tok::Semicolon, start, ";");
        } else if (c == '!') {
            syntaxError("'!' references (such as [Forms]![Form]![Control]) are not supported", start);
        } else {
            std::string shown = c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : "\\x" + [&] {
                const char* hex = "0123456789ABCDEF";
                return std::string{hex[c >> 4], hex[c & 15]};
            }();
            syntaxError("unexpected character '" + shown + "'", start);
        }
    }
    Token end;
    end.kind = Tok::End;
    end.pos = n;
    out.push_back(end);
    return out;
}

// ---------------------------------------------------------------- dates

int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// #m/d/yyyy [h:nn[:ss] [AM|PM]]# or #h:nn[:ss] [AM|PM]# as Access writes them in SQL.
double parseDateLiteral(const std::string& text, size_t pos) {
    auto bad = [&]() -> double { syntaxError("invalid date literal #" + text + "#", pos); };
    size_t i = 0, n = text.size();
    auto skipSpace = [&] {
        while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    };
    auto number = [&](int maxDigits) -> int {
        size_t start = i;
        long v = 0;
        while (i < n && isDigit(text[i])) {
            if (i - start >= static_cast<size_t>(maxDigits)) bad();
            v = v * 10 + (text[i] - '0');
            ++i;
        }
        if (i == start) bad();
        return static_cast<int>(v);
    };
    skipSpace();
    double days = 0;
    bool hasDate = false;
    size_t save = i;
    int first = number(4);
    if (i < n && (text[i] == '/' || text[i] == '-')) {
        char sep = text[i++];
        int second = number(4);
        if (i >= n || text[i] != sep) bad();
        ++i;
        size_t ystart = i;
        int third = number(4);
        int y, m, d;
        if (i - ystart <= 2 && first <= 12) {  // two-digit year as Jet reads it
            y = third < 30 ? 2000 + third : 1900 + third;
            m = first;
            d = second;
        } else if (first > 31) {  // yyyy-mm-dd
            y = first;
            m = second;
            d = third;
        } else {
            m = first;
            d = second;
            y = third;
        }
        static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > mdays[m - 1] + (m == 2 && leapYear(y))) bad();
        days = static_cast<double>(daysFromCivil(y, m, d) - daysFromCivil(1899, 12, 30));
        hasDate = true;
        skipSpace();
        save = i;
    } else {
        i = save;
    }
    double frac = 0;
    if (i < n) {
        int h = number(2);
        if (i >= n || text[i] != ':') bad();
        ++i;
        int mi = number(2);
        int sec = 0;
        if (i < n && text[i] == ':') {
            ++i;
            sec = number(2);
        }
        skipSpace();
        if (i + 2 <= n && (iequals(text.substr(i, 2), "AM") || iequals(text.substr(i, 2), "PM"))) {
            bool pm = iequals(text.substr(i, 2), "PM");
            if (h < 1 || h > 12) bad();
            h = h % 12 + (pm ? 12 : 0);
            i += 2;
        }
        skipSpace();
        if (h > 23 || mi > 59 || sec > 59) bad();
        frac = (h * 3600 + mi * 60 + sec) / 86400.0;
    } else if (!hasDate) {
        bad();
    }
    if (i != n) bad();
    // Before 12/30/1899 Jet keeps the time as a positive fraction away from zero.
    return days < 0 ? days - frac : days + frac;
}

// ---------------------------------------------------------------- parser

// An expression with the depth of its tree, so operator chains cannot grow unbounded.
struct PE {
    ExprPtr e;
    int depth = 1;
};

constexpr int kPrecImp = 1, kPrecEqv = 2, kPrecXor = 3, kPrecOr = 4, kPrecAnd = 5, kPrecNot = 6, kPrecCompare = 7,
              kPrecConcat = 8, kPrecAdd = 9, kPrecMod = 10, kPrecIntDiv = 11, kPrecMul = 12, kPrecNeg = 13,
              kPrecPow = 14, kPrecPrimary = 15;

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text), toks_(tokenize(text)) {}

    std::shared_ptr<const QueryModel> statement();
    ExprPtr standaloneExpression() {
        PE e = expr(1);
        if (peek().kind == Tok::Semicolon) ++pos_;
        expectEnd();
        return e.e;
    }

private:
    const std::string& text_;
    std::vector<Token> toks_;
    size_t pos_ = 0;
    int nesting_ = 0;

    struct Nest {
        Parser& p;
        explicit Nest(Parser& parser) : p(parser) {
            if (++p.nesting_ > sql::kMaxNesting)
                syntaxError("nested too deeply (more than " + std::to_string(sql::kMaxNesting) + " levels)",
                            p.peek().pos);
        }
        ~Nest() { --p.nesting_; }
    };

    const Token& peek(size_t ahead = 0) const {
        size_t i = pos_ + ahead;
        return i < toks_.size() ? toks_[i] : toks_.back();
    }
    const Token& next() {
        const Token& t = peek();
        if (pos_ < toks_.size() - 1) ++pos_;
        return t;
    }
    bool isKw(const char* kw, size_t ahead = 0) const {
        const Token& t = peek(ahead);
        return t.kind == Tok::Word && iequals(t.text, kw);
    }
    bool acceptKw(const char* kw) {
        if (!isKw(kw)) return false;
        ++pos_;
        return true;
    }
    bool isOp(const char* op, size_t ahead = 0) const {
        const Token& t = peek(ahead);
        return t.kind == Tok::Op && t.text == op;
    }
    [[noreturn]] void expected(const std::string& what) const {
        syntaxError("expected " + what + " but found " + describe(peek()), peek().pos);
    }
    void expectKw(const char* kw) {
        if (!acceptKw(kw)) expected(std::string(kw));
    }
    void expect(Tok k, const char* what) {
        if (peek().kind != k) expected(what);
        next();
    }
    void expectEnd() {
        if (peek().kind != Tok::End) syntaxError("unexpected " + describe(peek()) + " after the end of the statement",
                                                  peek().pos);
    }
    static void checkDepth(int depth, size_t pos) {
        if (depth > sql::kMaxTreeDepth)
            syntaxError("expression too complex (more than " + std::to_string(sql::kMaxTreeDepth) + " levels)", pos);
    }

    // A table, column or alias name: bracketed, or a word that is no keyword.
    bool atName() const {
        const Token& t = peek();
        return t.kind == Tok::Bracket || (t.kind == Tok::Word && !isReserved(t.text));
    }
    std::string name(const char* what) {
        if (!atName()) expected(what);
        return next().text;
    }

    // ---- expressions

    static PE make(Expr&& x, int depth) {
        return PE{std::make_shared<const Expr>(std::move(x)), depth};
    }

    PE expr(int minPrec);
    PE prefix();
    PE primary();
    PE literalNumber(const Token& t);
    std::vector<PE> exprList();  // ( a, b, … ) after the '(' was consumed

    // ---- statements

    void parameters(QueryModel& q);
    void selectCore(QueryModel& q, bool allowInto);
    void selectItems(std::vector<SelectItem>& items);
    void fromList(QueryModel& q, std::vector<FromPtr>& out);
    std::pair<FromPtr, int> joinExpr();
    std::pair<FromPtr, int> fromPrimary();
    void externalDb(std::string& path, std::string& connect);
    void tail(QueryModel& q);  // WHERE … GROUP BY … HAVING …
    void orderBy(QueryModel& q);
    std::shared_ptr<QueryModel> selectOrUnion(std::vector<QueryParam> params);
    std::shared_ptr<QueryModel> transform(std::vector<QueryParam> params);
    std::shared_ptr<QueryModel> insert(std::vector<QueryParam> params);
    std::shared_ptr<QueryModel> update(std::vector<QueryParam> params);
    std::shared_ptr<QueryModel> remove(std::vector<QueryParam> params);
};

struct BinOp {
    const char* name;
    int prec;
};

PE Parser::literalNumber(const Token& t) {
    Expr x;
    x.kind = Expr::Kind::Literal;
    x.name = t.raw;
    bool integral = t.text.find_first_not_of("0123456789") == std::string::npos;
    if (integral && t.text.size() <= 10) {
        int64_t v = 0;
        for (char c : t.text) v = v * 10 + (c - '0');
        if (v <= INT32_MAX) {
            x.value = Value::int32(static_cast<int32_t>(v));
            return make(std::move(x), 1);
        }
    }
    // Digits a Double cannot hold exactly become a Decimal, so that large whole numbers,
    // Currency and Decimal values reach their columns unrounded.
    if (t.text.find_first_of("eE") == std::string::npos) {
        __int128 unscaled = 0;
        int digits = 0, scale = 0;
        bool afterPoint = false;
        for (char c : t.text) {
            if (c == '.') {
                afterPoint = true;
                continue;
            }
            if (digits > 0 || c != '0') ++digits;
            if (digits > 28) break;
            unscaled = unscaled * 10 + (c - '0');
            scale += afterPoint;
        }
        if (digits <= 28 && (digits > 15 || (integral && unscaled > INT32_MAX))) {
            x.value = Value::decimal(Decimal{unscaled, static_cast<uint8_t>(std::max(digits, scale)),
                                             static_cast<uint8_t>(scale)});
            return make(std::move(x), 1);
        }
    }
    double d = 0;
    const char* b = t.text.data();
    const char* e = b + t.text.size();
    auto r = std::from_chars(b, e, d);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(d)) syntaxError("number " + t.text + " out of range", t.pos);
    x.value = Value::dbl(d);
    return make(std::move(x), 1);
}

std::vector<PE> Parser::exprList() {
    std::vector<PE> out;
    if (peek().kind == Tok::RParen) {
        next();
        return out;
    }
    for (;;) {
        out.push_back(expr(1));
        if (peek().kind == Tok::Comma) {
            next();
            continue;
        }
        expect(Tok::RParen, "',' or ')'");
        return out;
    }
}

PE Parser::primary() {
    Nest guard(*this);
    const Token& t = peek();
    switch (t.kind) {
    case Tok::Number: {
        next();
        return literalNumber(t);
    }
    case Tok::String: {
        next();
        Expr x;
        x.kind = Expr::Kind::Literal;
        x.value = Value::text(t.text);
        x.name = t.raw;
        return make(std::move(x), 1);
    }
    case Tok::Date: {
        next();
        Expr x;
        x.kind = Expr::Kind::Literal;
        x.value = Value::date(parseDateLiteral(t.text, t.pos));
        x.name = t.raw;
        return make(std::move(x), 1);
    }
    case Tok::LParen: {
        next();
        if (isKw("SELECT")) syntaxError("subqueries are not supported", peek().pos);
        PE inner = expr(1);
        expect(Tok::RParen, "')'");
        Expr x;
        x.kind = Expr::Kind::Paren;
        x.args.push_back(inner.e);
        return make(std::move(x), inner.depth + 1);
    }
    case Tok::Op:
        if (t.text == "*") {
            next();
            Expr x;
            x.kind = Expr::Kind::Star;
            return make(std::move(x), 1);
        }
        break;
    case Tok::Word:
    case Tok::Bracket: {
        if (t.kind == Tok::Word) {
            if (iequals(t.text, "NULL") || iequals(t.text, "TRUE") || iequals(t.text, "FALSE")) {
                next();
                Expr x;
                x.kind = Expr::Kind::Literal;
                if (!iequals(t.text, "NULL")) x.value = Value::boolean(iequals(t.text, "TRUE"));
                return make(std::move(x), 1);
            }
            // A call: any word but the operator words (Left( and Right( are functions here).
            static const char* const kOperatorWords[] = {"AND", "OR", "XOR", "EQV", "IMP", "NOT", "MOD",
                                                         "LIKE", "BETWEEN", "IN", "IS"};
            bool opWord = false;
            for (const char* w : kOperatorWords) opWord = opWord || iequals(t.text, w);
            if (!opWord && peek(1).kind == Tok::LParen) {
                next();
                next();
                if (isKw("SELECT")) syntaxError("subqueries are not supported", peek().pos);
                std::vector<PE> args = exprList();
                Expr x;
                x.kind = Expr::Kind::Call;
                x.name = t.text;
                int depth = 1;
                for (auto& a : args) {
                    depth = std::max(depth, a.depth + 1);
                    x.args.push_back(a.e);
                }
                return make(std::move(x), depth);
            }
            if (isReserved(t.text)) break;
        }
        std::string first = next().text;
        if (peek().kind != Tok::Dot) {
            Expr x;
            x.kind = Expr::Kind::Field;
            x.name = first;
            return make(std::move(x), 1);
        }
        next();
        Expr x;
        x.table = first;
        if (isOp("*")) {
            next();
            x.kind = Expr::Kind::Star;
            return make(std::move(x), 1);
        }
        const Token& second = peek();
        if (second.kind != Tok::Word && second.kind != Tok::Bracket) expected("a column name after '.'");
        next();
        if (peek().kind == Tok::Dot)
            syntaxError("names with more than two parts are not supported", peek().pos);
        x.kind = Expr::Kind::Field;
        x.name = second.text;
        return make(std::move(x), 1);
    }
    default:
        break;
    }
    expected("an expression");
}

PE Parser::prefix() {
    if (isOp("-") || isOp("+")) {
        Nest guard(*this);
        std::string op = next().text;
        PE operand = expr(kPrecNeg);
        Expr x;
        x.kind = Expr::Kind::Unary;
        x.name = op;
        x.args.push_back(operand.e);
        return make(std::move(x), operand.depth + 1);
    }
    if (isKw("NOT")) {
        Nest guard(*this);
        next();
        PE operand = expr(kPrecCompare);
        Expr x;
        x.kind = Expr::Kind::Unary;
        x.name = "Not";
        x.args.push_back(operand.e);
        return make(std::move(x), operand.depth + 1);
    }
    return primary();
}

PE Parser::expr(int minPrec) {
    Nest guard(*this);
    PE left = prefix();
    // The level of what `left` is; an operator binding tighter cannot take it as its
    // left operand (`x Is Null & y` is an error, not (x Is Null) & y).
    int leftPrec = kPrecPrimary;
    if (left.e->kind == Expr::Kind::Unary) leftPrec = left.e->name == "Not" ? kPrecNot : kPrecNeg;
    for (;;) {
        const Token& t = peek();
        size_t opPos = t.pos;
        // Binary operators written as symbols or words.
        BinOp op{nullptr, 0};
        if (t.kind == Tok::Op) {
            static const BinOp ops[] = {{"^", kPrecPow}, {"*", kPrecMul}, {"/", kPrecMul}, {"\\", kPrecIntDiv},
                                        {"+", kPrecAdd}, {"-", kPrecAdd}, {"&", kPrecConcat}, {"=", kPrecCompare},
                                        {"<>", kPrecCompare}, {"<", kPrecCompare}, {"<=", kPrecCompare},
                                        {">", kPrecCompare}, {">=", kPrecCompare}};
            for (const BinOp& o : ops)
                if (t.text == o.name) op = o;
        } else if (t.kind == Tok::Word) {
            static const BinOp words[] = {{"Mod", kPrecMod}, {"Like", kPrecCompare}, {"And", kPrecAnd},
                                          {"Or", kPrecOr},   {"Xor", kPrecXor},      {"Eqv", kPrecEqv},
                                          {"Imp", kPrecImp}};
            for (const BinOp& o : words)
                if (iequals(t.text, o.name)) op = o;
            if (!op.name && kPrecCompare >= minPrec && leftPrec >= kPrecCompare) {
                bool negated = false;
                size_t ahead = 0;
                if (iequals(t.text, "NOT") && (isKw("LIKE", 1) || isKw("IN", 1) || isKw("BETWEEN", 1))) {
                    negated = true;
                    ahead = 1;
                }
                if (isKw("LIKE", ahead) && negated) {
                    next();
                    next();
                    PE right = expr(kPrecCompare + 1);
                    Expr like;
                    like.kind = Expr::Kind::Binary;
                    like.name = "Like";
                    like.args = {left.e, right.e};
                    PE inner = make(std::move(like), std::max(left.depth, right.depth) + 1);
                    Expr x;
                    x.kind = Expr::Kind::Unary;
                    x.name = "Not";
                    x.negated = true;
                    x.args.push_back(inner.e);
                    left = make(std::move(x), inner.depth + 1);
                    checkDepth(left.depth, opPos);
                    leftPrec = kPrecCompare;
                    continue;
                }
                if (isKw("BETWEEN", ahead)) {
                    pos_ += ahead + 1;
                    PE low = expr(kPrecConcat);
                    expectKw("AND");
                    PE high = expr(kPrecConcat);
                    Expr x;
                    x.kind = Expr::Kind::Between;
                    x.negated = negated;
                    x.args = {left.e, low.e, high.e};
                    left = make(std::move(x), std::max({left.depth, low.depth, high.depth}) + 1);
                    checkDepth(left.depth, opPos);
                    leftPrec = kPrecCompare;
                    continue;
                }
                // `IN 'path'` after a join's ON condition names a database, not a list.
                if (isKw("IN", ahead) && peek(ahead + 1).kind == Tok::LParen) {
                    pos_ += ahead + 1;
                    if (peek().kind != Tok::LParen) expected("'(' after In");
                    next();
                    if (isKw("SELECT")) syntaxError("subqueries are not supported", peek().pos);
                    std::vector<PE> list = exprList();
                    if (list.empty()) syntaxError("empty In list", opPos);
                    Expr x;
                    x.kind = Expr::Kind::In;
                    x.negated = negated;
                    x.args.push_back(left.e);
                    int depth = left.depth;
                    for (auto& a : list) {
                        depth = std::max(depth, a.depth);
                        x.args.push_back(a.e);
                    }
                    left = make(std::move(x), depth + 1);
                    checkDepth(left.depth, opPos);
                    leftPrec = kPrecCompare;
                    continue;
                }
                if (iequals(t.text, "IS")) {
                    next();
                    bool neg = acceptKw("NOT");
                    expectKw("NULL");
                    Expr x;
                    x.kind = Expr::Kind::IsNull;
                    x.negated = neg;
                    x.args.push_back(left.e);
                    left = make(std::move(x), left.depth + 1);
                    checkDepth(left.depth, opPos);
                    leftPrec = kPrecCompare;
                    continue;
                }
            }
        }
        if (!op.name || op.prec < minPrec) return left;
        if (op.prec > leftPrec)
            syntaxError("'" + t.text + "' needs parentheses around the expression before it", opPos);
        next();
        // Left-associative throughout; the right side of ^ is a single (signed) operand.
        PE right = expr(op.prec == kPrecPow ? kPrecPrimary : op.prec + 1);
        Expr x;
        x.kind = Expr::Kind::Binary;
        x.name = op.name;
        x.args = {left.e, right.e};
        left = make(std::move(x), std::max(left.depth, right.depth) + 1);
        checkDepth(left.depth, opPos);
        leftPrec = op.prec;
    }
}

// ---- statements

void Parser::parameters(QueryModel& q) {
    for (;;) {
        QueryParam p;
        p.name = name("a parameter name");
        const Token& type = peek();
        if (type.kind != Tok::Word) expected("the parameter's type");
        static const char* const kTypes[] = {
            "Bit", "Boolean", "YesNo", "Logical", "Logical1", "Byte", "Short", "SmallInt", "Integer2", "Integer",
            "Long", "Int", "Integer4", "Counter", "AutoIncrement", "Currency", "Money", "IEEESingle", "Single",
            "Real", "Float4", "IEEEDouble", "Double", "Float", "Float8", "Number", "Numeric", "Decimal", "Dec",
            "DateTime", "Date", "Time", "TimeStamp", "Text", "Char", "VarChar", "String", "Alphanumeric",
            "Character", "NChar", "NVarChar", "Memo", "LongText", "LongChar", "Note", "NText", "Binary",
            "VarBinary", "LongBinary", "OLEObject", "General", "Image", "Guid", "UniqueIdentifier", "Value"};
        bool known = false;
        for (const char* k : kTypes) known = known || iequals(type.text, k);
        if (!known) syntaxError("unknown parameter type '" + type.text + "'", type.pos);
        p.type = next().text;
        if (peek().kind == Tok::LParen) {
            next();
            const Token& size = peek();
            if (size.kind != Tok::Number || size.text.find_first_not_of("0123456789") != std::string::npos ||
                size.text.size() > 5)
                expected("a size");
            p.size = std::stoi(next().text);
            expect(Tok::RParen, "')'");
        }
        q.params.push_back(std::move(p));
        if (peek().kind == Tok::Comma) {
            next();
            continue;
        }
        expect(Tok::Semicolon, "';' after the parameters");
        return;
    }
}

void Parser::selectItems(std::vector<SelectItem>& items) {
    for (;;) {
        SelectItem item;
        item.expr = expr(1).e;
        if (acceptKw("AS")) item.alias = name("an alias after AS");
        items.push_back(std::move(item));
        if (peek().kind != Tok::Comma) return;
        next();
    }
}

void Parser::externalDb(std::string& path, std::string& connect) {
    // IN 'path' [connect] / IN "" [ODBC;…]
    if (peek().kind != Tok::String) expected("the database path after IN");
    path = next().text;
    if (peek().kind == Tok::Bracket) connect = next().text;
}

std::pair<FromPtr, int> Parser::fromPrimary() {
    Nest guard(*this);
    if (peek().kind == Tok::LParen) {
        next();
        if (isKw("SELECT")) syntaxError("subqueries in FROM are not supported", peek().pos);
        auto inner = joinExpr();
        expect(Tok::RParen, "')'");
        return inner;
    }
    FromItem f;
    f.kind = FromItem::Kind::Source;
    f.name = name("a table or query name");
    if (peek().kind == Tok::Dot) syntaxError("qualified table names are not supported", peek().pos);
    if (acceptKw("AS"))
        f.alias = name("an alias after AS");
    else if (atName())
        f.alias = next().text;
    return {std::make_shared<const FromItem>(std::move(f)), 1};
}

std::pair<FromPtr, int> Parser::joinExpr() {
    Nest guard(*this);
    auto left = fromPrimary();
    for (;;) {
        FromItem::JoinType type;
        size_t at = peek().pos;
        if (acceptKw("INNER")) {
            type = FromItem::JoinType::Inner;
        } else if (acceptKw("LEFT")) {
            type = FromItem::JoinType::Left;
            acceptKw("OUTER");
        } else if (acceptKw("RIGHT")) {
            type = FromItem::JoinType::Right;
            acceptKw("OUTER");
        } else {
            return left;
        }
        expectKw("JOIN");
        auto right = fromPrimary();
        expectKw("ON");
        FromItem j;
        j.kind = FromItem::Kind::Join;
        j.joinType = type;
        j.left = left.first;
        j.right = right.first;
        j.on = expr(1).e;
        int depth = std::max(left.second, right.second) + 1;
        checkDepth(depth, at);
        left = {std::make_shared<const FromItem>(std::move(j)), depth};
    }
}

void Parser::fromList(QueryModel& q, std::vector<FromPtr>& out) {
    for (;;) {
        out.push_back(joinExpr().first);
        if (peek().kind != Tok::Comma) break;
        next();
    }
    if (acceptKw("IN")) externalDb(q.fromDbPath, q.fromDbConnect);
}

void Parser::tail(QueryModel& q) {
    if (acceptKw("WHERE")) q.where = expr(1).e;
    if (isKw("GROUP")) {
        next();
        expectKw("BY");
        for (;;) {
            q.groupBy.push_back(expr(1).e);
            if (peek().kind != Tok::Comma) break;
            next();
        }
    }
    if (acceptKw("HAVING")) q.having = expr(1).e;
}

void Parser::orderBy(QueryModel& q) {
    if (!isKw("ORDER")) return;
    next();
    expectKw("BY");
    for (;;) {
        OrderItem o;
        o.expr = expr(1).e;
        if (acceptKw("DESC"))
            o.descending = true;
        else
            acceptKw("ASC");
        q.orderBy.push_back(std::move(o));
        if (peek().kind != Tok::Comma) break;
        next();
    }
}

void Parser::selectCore(QueryModel& q, bool allowInto) {
    expectKw("SELECT");
    if (acceptKw("DISTINCT"))
        q.distinct = true;
    else if (acceptKw("DISTINCTROW"))
        q.distinctRow = true;
    else
        acceptKw("ALL");
    if (isKw("TOP")) {
        next();
        const Token& n = peek();
        if (n.kind != Tok::Number) expected("a number after TOP");
        next();
        q.top = "TOP " + n.text;
        if (acceptKw("PERCENT")) q.top += " PERCENT";
    }
    selectItems(q.columns);
    if (isKw("INTO")) {
        if (!allowInto) syntaxError("INTO is not allowed here", peek().pos);
        next();
        q.type = QueryModel::Type::MakeTable;
        q.target = name("the new table's name after INTO");
        if (acceptKw("IN")) externalDb(q.targetDbPath, q.targetDbConnect);
    }
    // Jet accepts a SELECT without FROM (saved union parts are stored that way).
    if (acceptKw("FROM")) fromList(q, q.from);
    tail(q);
}

std::shared_ptr<QueryModel> Parser::selectOrUnion(std::vector<QueryParam> params) {
    auto first = std::make_shared<QueryModel>();
    first->params = std::move(params);
    selectCore(*first, true);
    if (!isKw("UNION")) {
        orderBy(*first);
        return first;
    }
    if (first->type == QueryModel::Type::MakeTable) syntaxError("INTO is not allowed in a union", peek().pos);
    std::shared_ptr<QueryModel> u;
    std::vector<QueryParam> unionParams = std::move(first->params);
    first->params.clear();
    std::shared_ptr<QueryModel> current = first;
    int depth = 1;
    while (isKw("UNION")) {
        size_t at = peek().pos;
        next();
        bool all = acceptKw("ALL");
        auto part = std::make_shared<QueryModel>();
        selectCore(*part, false);
        if (u && u->unionAll == all) {
            u->unionParts.push_back(part);
            continue;
        }
        // A change between UNION and UNION ALL nests what came before, which keeps the left-to-right meaning.
        auto nu = std::make_shared<QueryModel>();
        nu->type = QueryModel::Type::Union;
        nu->unionAll = all;
        nu->unionParts = {u ? std::shared_ptr<const QueryModel>(u) : std::shared_ptr<const QueryModel>(current), part};
        checkDepth(++depth, at);
        u = nu;
    }
    orderBy(*u);
    u->params = std::move(unionParams);
    return u;
}

std::shared_ptr<QueryModel> Parser::transform(std::vector<QueryParam> params) {
    expectKw("TRANSFORM");
    auto q = std::make_shared<QueryModel>();
    q->type = QueryModel::Type::Crosstab;
    q->params = std::move(params);
    q->transform.expr = expr(1).e;
    if (acceptKw("AS")) q->transform.alias = name("an alias after AS");
    selectCore(*q, false);
    orderBy(*q);
    expectKw("PIVOT");
    q->pivot = expr(1).e;
    // PIVOT x IN (…) lists the column headings; the expression parser read it as an In test.
    if (q->pivot->kind == Expr::Kind::In && !q->pivot->negated) {
        q->pivotIn.assign(q->pivot->args.begin() + 1, q->pivot->args.end());
        q->pivot = q->pivot->args[0];
    }
    return q;
}

std::shared_ptr<QueryModel> Parser::insert(std::vector<QueryParam> params) {
    expectKw("INSERT");
    expectKw("INTO");
    auto q = std::make_shared<QueryModel>();
    q->type = QueryModel::Type::Append;
    q->params = std::move(params);
    q->target = name("the target table after INSERT INTO");
    if (acceptKw("IN")) externalDb(q->targetDbPath, q->targetDbConnect);
    if (peek().kind == Tok::LParen) {
        next();
        for (;;) {
            Expr col;
            col.kind = Expr::Kind::Field;
            col.name = name("a column name");
            if (peek().kind == Tok::Dot) {
                next();
                col.table = col.name;
                col.name = name("a column name");
            }
            q->targetColumns.push_back(std::make_shared<const Expr>(std::move(col)));
            if (peek().kind == Tok::Comma) {
                next();
                continue;
            }
            expect(Tok::RParen, "',' or ')'");
            break;
        }
    }
    if (acceptKw("VALUES")) {
        expect(Tok::LParen, "'(' after VALUES");
        for (auto& v : exprList()) q->values.push_back(v.e);
        if (!q->targetColumns.empty() && q->targetColumns.size() != q->values.size())
            syntaxError("INSERT INTO names " + std::to_string(q->targetColumns.size()) + " columns but VALUES gives " +
                            std::to_string(q->values.size()),
                        peek().pos);
        return q;
    }
    if (!isKw("SELECT")) expected("VALUES or SELECT");
    selectCore(*q, false);
    orderBy(*q);
    if (!q->targetColumns.empty() && q->targetColumns.size() != q->columns.size())
        syntaxError("INSERT INTO names " + std::to_string(q->targetColumns.size()) + " columns but SELECT gives " +
                        std::to_string(q->columns.size()),
                    peek().pos);
    return q;
}

std::string leftmostSource(const FromPtr& f) {
    const FromItem* p = f.get();
    int guard = 0;
    while (p && p->kind == FromItem::Kind::Join && ++guard < 10000) p = p->left.get();
    return p && p->kind == FromItem::Kind::Source ? p->name : std::string();
}

std::shared_ptr<QueryModel> Parser::update(std::vector<QueryParam> params) {
    expectKw("UPDATE");
    auto q = std::make_shared<QueryModel>();
    q->type = QueryModel::Type::Update;
    q->params = std::move(params);
    fromList(*q, q->from);
    q->target = leftmostSource(q->from.front());
    expectKw("SET");
    for (;;) {
        PE target = primary();
        if (target.e->kind != Expr::Kind::Field) syntaxError("SET needs a column name", peek().pos);
        if (!isOp("=")) expected("'=' after the column name");
        next();
        q->targetColumns.push_back(target.e);
        q->values.push_back(expr(1).e);
        if (peek().kind != Tok::Comma) break;
        next();
    }
    if (acceptKw("WHERE")) q->where = expr(1).e;
    return q;
}

std::shared_ptr<QueryModel> Parser::remove(std::vector<QueryParam> params) {
    expectKw("DELETE");
    auto q = std::make_shared<QueryModel>();
    q->type = QueryModel::Type::Delete;
    q->params = std::move(params);
    if (acceptKw("FROM")) {
        fromList(*q, q->from);
    } else {
        selectItems(q->columns);
        if (acceptKw("FROM")) {
            fromList(*q, q->from);
        } else {
            // DELETE t [WHERE …]: the single name is the table.
            const Expr& only = *q->columns.front().expr;
            if (q->columns.size() != 1 || only.kind != Expr::Kind::Field || !only.table.empty() ||
                !q->columns.front().alias.empty())
                expected("FROM");
            FromItem f;
            f.name = only.name;
            q->from.push_back(std::make_shared<const FromItem>(std::move(f)));
            q->columns.clear();
        }
    }
    q->target = leftmostSource(q->from.front());
    // DELETE T1.* FROM T1 INNER JOIN T2 …: the qualifier names the table rows go from.
    if (!q->columns.empty() && !q->columns.front().expr->table.empty()) q->target = q->columns.front().expr->table;
    if (acceptKw("WHERE")) q->where = expr(1).e;
    return q;
}

std::shared_ptr<const QueryModel> Parser::statement() {
    std::vector<QueryParam> params;
    if (acceptKw("PARAMETERS")) {
        QueryModel holder;
        parameters(holder);
        params = std::move(holder.params);
    }
    std::shared_ptr<QueryModel> q;
    if (isKw("SELECT")) {
        q = selectOrUnion(std::move(params));
    } else if (isKw("TRANSFORM")) {
        q = transform(std::move(params));
    } else if (isKw("INSERT")) {
        q = insert(std::move(params));
    } else if (isKw("UPDATE")) {
        q = update(std::move(params));
    } else if (isKw("DELETE")) {
        q = remove(std::move(params));
    } else if (params.empty() && (isKw("CREATE") || isKw("ALTER") || isKw("DROP"))) {
        q = std::make_shared<QueryModel>();
        q->type = QueryModel::Type::DataDefinition;
        size_t b = text_.find_first_not_of(" \t\r\n");
        size_t e = text_.find_last_not_of(" \t\r\n");
        q->rawSql = text_.substr(b, e - b + 1);
        return q;
    } else {
        expected(params.empty() ? "SELECT, TRANSFORM, INSERT, UPDATE, DELETE or PARAMETERS" : "a statement after PARAMETERS");
    }
    if (acceptKw("WITH")) {
        expectKw("OWNERACCESS");
        expectKw("OPTION");
        q->ownerAccess = true;
    }
    if (peek().kind == Tok::Semicolon) next();
    expectEnd();
    return q;
}

}  // namespace

std::shared_ptr<const QueryModel> parseSql(const std::string& sql) {
    Parser p(sql);
    return p.statement();
}

namespace sql {

ExprPtr parseExpression(const std::string& text) {
    Parser p(text);
    return p.standaloneExpression();
}

std::string quoteName(const std::string& name) {
    bool plain = !name.empty() && !isDigit(name[0]) && !isReserved(name);
    for (unsigned char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) plain = false;
    return plain ? name : "[" + name + "]";
}

}  // namespace sql
}  // namespace jet
