// QueryModel back to Access-style SQL. Parentheses the author wrote are Paren
// nodes and come back as written; others are added only where the tree could
// not be read back otherwise, so parsing the output gives the same tree.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "error.h"
#include "query.h"
#include "sql_internal.h"

namespace jet {
namespace {

using sql::quoteName;

[[noreturn]] void cannotRender(const std::string& what) {
    throw Error("cannot write the query as SQL: " + what, Error::Code::Query);
}

bool iequals(const std::string& a, const char* b) {
    size_t n = a.size();
    for (size_t i = 0; i < n; ++i) {
        if (b[i] == 0) return false;
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return b[n] == 0;
}

// Same levels as the parser: higher binds tighter.
constexpr int kPrecCompare = 7, kPrecNeg = 13, kPrecPow = 14, kPrecPrimary = 15;

struct OpInfo {
    const char* text;  // canonical spelling
    int prec;
    bool word;
};

const OpInfo* binaryOp(const std::string& name) {
    static const OpInfo ops[] = {
        {"Imp", 1, true},  {"Eqv", 2, true},  {"Xor", 3, true},  {"Or", 4, true},  {"And", 5, true},
        {"=", 7, false},   {"<>", 7, false},  {"<", 7, false},   {"<=", 7, false}, {">", 7, false},
        {">=", 7, false},  {"Like", 7, true}, {"&", 8, false},   {"+", 9, false},  {"-", 9, false},
        {"Mod", 10, true}, {"\\", 11, false}, {"*", 12, false},  {"/", 12, false}, {"^", 14, false},
    };
    for (const OpInfo& o : ops)
        if (iequals(name, o.text)) return &o;
    return nullptr;
}

bool isNotLike(const Expr& e) {
    return e.kind == Expr::Kind::Unary && e.negated && iequals(e.name, "Not") && e.args.size() == 1 &&
           e.args[0]->kind == Expr::Kind::Binary && iequals(e.args[0]->name, "Like") && e.args[0]->args.size() == 2;
}

bool negativeNumber(const Expr& e) {
    if (e.kind != Expr::Kind::Literal || !e.name.empty()) return false;
    const Value& v = e.value;
    switch (v.kind()) {
    case Value::Kind::Int16: return v.asInt16() < 0;
    case Value::Kind::Int32: return v.asInt32() < 0;
    case Value::Kind::Currency: return v.asCurrency().scaled < 0;
    case Value::Kind::Single: return std::signbit(v.asSingle());
    case Value::Kind::Double: return std::signbit(v.asDouble());
    case Value::Kind::Decimal: return v.asDecimal().unscaled < 0;
    default: return false;
    }
}

// A prefix operator's operand runs over every operator of at least this level that
// follows it; 0 when the node does not start with a prefix operator.
int prefixReach(const Expr& e) {
    if (e.kind == Expr::Kind::Unary && !isNotLike(e)) return iequals(e.name, "Not") ? kPrecCompare : kPrecNeg;
    if (negativeNumber(e)) return kPrecNeg;
    return 0;
}

int precedence(const Expr& e) {
    switch (e.kind) {
    case Expr::Kind::Binary: {
        const OpInfo* op = binaryOp(e.name);
        if (!op) cannotRender("unknown operator '" + e.name + "'");
        return op->prec;
    }
    case Expr::Kind::Between:
    case Expr::Kind::In:
    case Expr::Kind::IsNull: return kPrecCompare;
    case Expr::Kind::Unary: return isNotLike(e) ? kPrecCompare : kPrecNeg;
    default: return kPrecPrimary;
    }
}

std::string shortestDouble(double d) {
    if (!std::isfinite(d)) cannotRender("a number that is not finite");
    char buf[40];
    for (int prec = 1; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    std::string s = buf;
    // Keep a whole Double a Double when read back (a bare 3 would become a Long).
    if (s.find_first_of(".eE") == std::string::npos && std::fabs(d) <= 2147483647.0) s += ".0";
    return s;
}

std::string scaledText(__int128 v, int scale) {
    bool neg = v < 0;
    unsigned __int128 u = neg ? static_cast<unsigned __int128>(-(v + 1)) + 1 : static_cast<unsigned __int128>(v);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
        u /= 10;
    } while (u != 0);
    if (scale > 0) {
        while (digits.size() <= static_cast<size_t>(scale)) digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - scale, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits += '0';
    }
    return (neg ? "-" : "") + digits;
}

void civilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

std::string dateText(double v) {
    if (!std::isfinite(v) || std::fabs(v) > 3000000) cannotRender("a date out of range");
    double whole = std::trunc(v);
    int64_t secs = std::llround(std::fabs(v - whole) * 86400.0);
    int64_t days = static_cast<int64_t>(whole);
    if (secs >= 86400) {  // rounding reached the next day
        secs -= 86400;
        days += v < 0 ? -1 : 1;
    }
    std::string out = "#";
    if (days != 0 || secs == 0) {
        int64_t y;
        int m, d;
        civilFromDays(days - 25569, y, m, d);  // 25569: days from 12/30/1899 to 1/1/1970
        out += std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
    }
    if (secs != 0) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d", static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                      static_cast<int>(secs % 60));
        if (out.size() > 1) out += ' ';
        out += buf;
    }
    return out + "#";
}

std::string quoteText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string literalText(const Expr& e) {
    if (!e.name.empty()) return e.name;
    const Value& v = e.value;
    switch (v.kind()) {
    case Value::Kind::Null: return "Null";
    case Value::Kind::Bool: return v.asBool() ? "True" : "False";
    case Value::Kind::Byte: return std::to_string(v.asByte());
    case Value::Kind::Int16: return std::to_string(v.asInt16());
    case Value::Kind::Int32: return std::to_string(v.asInt32());
    case Value::Kind::Currency: return scaledText(v.asCurrency().scaled, 4);
    case Value::Kind::Single: return shortestDouble(v.asSingle());
    case Value::Kind::Double: return shortestDouble(v.asDouble());
    case Value::Kind::Date: return dateText(v.asDate().days);
    case Value::Kind::Text: return quoteText(v.asText());
    case Value::Kind::Decimal: return scaledText(v.asDecimal().unscaled, v.asDecimal().scale);
    case Value::Kind::Guid: {
        const auto& b = v.asGuid().bytes;
        char buf[64];
        std::snprintf(buf, sizeof buf, "{guid {%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}}",
                      b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                      b[15]);
        return buf;
    }
    case Value::Kind::Binary: break;
    }
    cannotRender("binary values have no SQL literal");
}

std::string qualified(const std::string& table, const std::string& name) {
    return table.empty() ? quoteName(name) : quoteName(table) + "." + quoteName(name);
}

class ExprWriter {
public:
    // `follow` is the level of the operator written right after this expression (0 for none);
    // a prefix operator must not be followed by one it would take into its operand.
    std::string write(const Expr& e, int follow) {
        if (++depth_ > sql::kMaxTreeDepth * 2) cannotRender("expression nested too deeply");
        std::string s = writeNode(e, follow);
        --depth_;
        return s;
    }

private:
    int depth_ = 0;

    std::string child(const ExprPtr& c, int minPrec, int follow) {
        if (!c) cannotRender("an operand is missing");
        if (int reach = prefixReach(*c)) {
            if (follow < reach) return write(*c, follow);
            return "(" + write(*c, 0) + ")";
        }
        if (precedence(*c) < minPrec) return "(" + write(*c, 0) + ")";
        return write(*c, follow);
    }

    void arity(const Expr& e, size_t n) {
        if (e.args.size() != n || std::any_of(e.args.begin(), e.args.end(), [](const ExprPtr& a) { return !a; }))
            cannotRender("a malformed expression node");
    }

    std::string writeNode(const Expr& e, int follow) {
        switch (e.kind) {
        case Expr::Kind::Literal: return literalText(e);
        case Expr::Kind::Field:
            if (e.name.empty()) cannotRender("a field without a name");
            return qualified(e.table, e.name);
        case Expr::Kind::Star: return e.table.empty() ? "*" : quoteName(e.table) + ".*";
        case Expr::Kind::Paren: arity(e, 1); return "(" + write(*e.args[0], 0) + ")";
        case Expr::Kind::Call: {
            if (e.name.empty()) cannotRender("a function call without a name");
            std::string s = e.name + "(";
            for (size_t i = 0; i < e.args.size(); ++i) {
                if (!e.args[i]) cannotRender("a missing argument");
                if (i) s += ",";
                s += write(*e.args[i], 0);
            }
            return s + ")";
        }
        case Expr::Kind::Unary: {
            arity(e, 1);
            if (isNotLike(e)) {
                const Expr& like = *e.args[0];
                return child(like.args[0], kPrecCompare, kPrecCompare) + " Not Like " +
                       child(like.args[1], kPrecCompare + 1, follow);
            }
            if (iequals(e.name, "Not")) return "Not " + child(e.args[0], kPrecCompare, follow);
            if (e.name != "-" && e.name != "+") cannotRender("unknown operator '" + e.name + "'");
            return e.name + child(e.args[0], kPrecNeg, follow);
        }
        case Expr::Kind::Binary: {
            arity(e, 2);
            const OpInfo* op = binaryOp(e.name);
            if (!op) cannotRender("unknown operator '" + e.name + "'");
            std::string l = child(e.args[0], op->prec, op->prec);
            std::string r = child(e.args[1], op->prec == kPrecPow ? kPrecPrimary : op->prec + 1, follow);
            if (op->word) return l + " " + op->text + " " + r;
            return l + op->text + r;
        }
        case Expr::Kind::Between:
            arity(e, 3);
            return child(e.args[0], kPrecCompare, kPrecCompare) + (e.negated ? " Not Between " : " Between ") +
                   child(e.args[1], kPrecCompare + 1, 5) + " And " + child(e.args[2], kPrecCompare + 1, follow);
        case Expr::Kind::In: {
            if (e.args.size() < 2) cannotRender("an In without a list");
            std::string s = child(e.args[0], kPrecCompare, kPrecCompare) + (e.negated ? " Not In (" : " In (");
            for (size_t i = 1; i < e.args.size(); ++i) {
                if (!e.args[i]) cannotRender("a missing list item");
                if (i > 1) s += ",";
                s += write(*e.args[i], 0);
            }
            return s + ")";
        }
        case Expr::Kind::IsNull:
            arity(e, 1);
            return child(e.args[0], kPrecCompare, kPrecCompare) + (e.negated ? " Is Not Null" : " Is Null");
        }
        cannotRender("an unknown expression node");
    }
};

std::string expr(const ExprPtr& e) {
    if (!e) cannotRender("an expression is missing");
    return ExprWriter().write(*e, 0);
}

std::string fromItem(const FromItem& f, bool top, int depth) {
    if (depth > sql::kMaxTreeDepth * 2) cannotRender("joins nested too deeply");
    if (f.kind == FromItem::Kind::Source) {
        if (f.name.empty()) cannotRender("a source without a name");
        return quoteName(f.name) + (f.alias.empty() ? "" : " AS " + quoteName(f.alias));
    }
    if (!f.left || !f.right) cannotRender("a join without both sides");
    const char* type = f.joinType == FromItem::JoinType::Inner  ? " INNER JOIN "
                       : f.joinType == FromItem::JoinType::Left ? " LEFT JOIN "
                                                                : " RIGHT JOIN ";
    std::string s = fromItem(*f.left, false, depth + 1) + type + fromItem(*f.right, false, depth + 1) + " ON " + expr(f.on);
    return top ? s : "(" + s + ")";
}

std::string externalDb(const std::string& path, const std::string& connect) {
    if (path.empty() && connect.empty()) return "";
    std::string s = " IN '";
    for (char c : path) {
        if (c == '\'') s += '\'';
        s += c;
    }
    s += "'";
    if (!connect.empty()) s += " [" + connect + "]";
    return s;
}

std::string list(const std::vector<ExprPtr>& xs) {
    std::string s;
    for (size_t i = 0; i < xs.size(); ++i) s += (i ? ", " : "") + expr(xs[i]);
    return s;
}

std::string selectList(const std::vector<SelectItem>& items) {
    std::string s;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) s += ", ";
        s += expr(items[i].expr);
        if (!items[i].alias.empty()) s += " AS " + quoteName(items[i].alias);
    }
    return s;
}

std::string fromClause(const QueryModel& q) {
    std::string s;
    for (size_t i = 0; i < q.from.size(); ++i) {
        if (!q.from[i]) cannotRender("a missing source");
        s += (i ? ", " : "") + fromItem(*q.from[i], true, 0);
    }
    return s + externalDb(q.fromDbPath, q.fromDbConnect);
}

// SELECT … [INTO …] FROM … WHERE … GROUP BY … HAVING …, without ORDER BY.
std::string selectBody(const QueryModel& q, bool into) {
    if (q.columns.empty()) cannotRender("a SELECT without columns");
    std::string s = "SELECT ";
    if (q.distinct)
        s += "DISTINCT ";
    else if (q.distinctRow)
        s += "DISTINCTROW ";
    if (!q.top.empty()) s += q.top + " ";
    s += selectList(q.columns);
    if (into) s += " INTO " + quoteName(q.target) + externalDb(q.targetDbPath, q.targetDbConnect);
    if (!q.from.empty()) s += "\nFROM " + fromClause(q);
    if (q.where) s += "\nWHERE " + expr(q.where);
    if (!q.groupBy.empty()) s += "\nGROUP BY " + list(q.groupBy);
    if (q.having) s += "\nHAVING " + expr(q.having);
    return s;
}

std::string orderClause(const QueryModel& q) {
    if (q.orderBy.empty()) return "";
    std::string s = "\nORDER BY ";
    for (size_t i = 0; i < q.orderBy.size(); ++i) {
        if (i) s += ", ";
        s += expr(q.orderBy[i].expr);
        if (q.orderBy[i].descending) s += " DESC";
    }
    return s;
}

std::string unionText(const QueryModel& q, int depth) {
    if (depth > sql::kMaxTreeDepth) cannotRender("unions nested too deeply");
    std::string s;
    for (size_t i = 0; i < q.unionParts.size(); ++i) {
        const auto& part = q.unionParts[i];
        if (!part) cannotRender("a missing union part");
        if (i) s += q.unionAll ? "\nUNION ALL\n" : "\nUNION\n";
        if (part->type == QueryModel::Type::Union) {
            std::string inner = part->unionParts.empty() ? part->rawSql : unionText(*part, depth + 1);
            s += i ? "(" + inner + ")" : inner;
        } else {
            s += selectBody(*part, false);
        }
    }
    return s;
}

}  // namespace

std::string renderExpr(const Expr& e) { return ExprWriter().write(e, 0); }

std::string renderSql(const QueryModel& q) {
    using T = QueryModel::Type;
    if (q.type == T::DataDefinition || q.type == T::PassThrough) return q.rawSql;
    if (q.type == T::Union && q.unionParts.empty()) return q.rawSql;

    std::string s;
    if (!q.params.empty()) {
        s += "PARAMETERS ";
        for (size_t i = 0; i < q.params.size(); ++i) {
            const QueryParam& p = q.params[i];
            if (i) s += ", ";
            s += quoteName(p.name) + " " + p.type;
            if (p.size > 0) s += "(" + std::to_string(p.size) + ")";
        }
        s += ";\n";
    }
    switch (q.type) {
    case T::Select: s += selectBody(q, false) + orderClause(q); break;
    case T::MakeTable: s += selectBody(q, true) + orderClause(q); break;
    case T::Crosstab:
        s += "TRANSFORM " + expr(q.transform.expr);
        if (!q.transform.alias.empty()) s += " AS " + quoteName(q.transform.alias);
        s += "\n" + selectBody(q, false) + orderClause(q) + "\nPIVOT " + expr(q.pivot);
        if (!q.pivotIn.empty()) s += " IN (" + list(q.pivotIn) + ")";
        break;
    case T::Append:
        s += "INSERT INTO " + quoteName(q.target) + externalDb(q.targetDbPath, q.targetDbConnect);
        if (!q.targetColumns.empty()) s += " (" + list(q.targetColumns) + ")";
        if (!q.values.empty() || q.columns.empty())
            s += "\nVALUES (" + list(q.values) + ")";
        else
            s += "\n" + selectBody(q, false) + orderClause(q);
        break;
    case T::Update:
        if (q.targetColumns.size() != q.values.size() || q.values.empty())
            cannotRender("an UPDATE needs one value per SET column");
        s += "UPDATE " + (q.from.empty() ? quoteName(q.target) : fromClause(q)) + "\nSET ";
        for (size_t i = 0; i < q.values.size(); ++i)
            s += (i ? ", " : "") + expr(q.targetColumns[i]) + " = " + expr(q.values[i]);
        if (q.where) s += "\nWHERE " + expr(q.where);
        break;
    case T::Delete:
        s += "DELETE";
        if (!q.columns.empty()) s += " " + selectList(q.columns);
        s += "\nFROM " + (q.from.empty() ? quoteName(q.target) : fromClause(q));
        if (q.where) s += "\nWHERE " + expr(q.where);
        break;
    case T::Union: s += unionText(q, 0) + orderClause(q); break;
    case T::DataDefinition:
    case T::PassThrough: break;
    }
    if (q.ownerAccess) s += "\nWITH OWNERACCESS OPTION";
    return s + ";";
}

}  // namespace jet
