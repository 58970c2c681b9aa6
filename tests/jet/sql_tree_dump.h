// Compact text form of query trees for the SQL tests: "(+ 1 (* 2 3))".
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/query_model.h"

namespace testutil {

inline std::string numberText(double d) {
    char buf[40];
    for (int p = 1; p <= 17; ++p) {
        std::snprintf(buf, sizeof buf, "%.*g", p, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    return buf;
}

inline std::string dumpExpr(const jet::ExprPtr& p, bool parens = true) {
    using K = jet::Expr::Kind;
    if (!p) return "<none>";
    const jet::Expr& e = *p;
    auto args = [&](size_t from) {
        std::string s;
        for (size_t i = from; i < e.args.size(); ++i) s += " " + dumpExpr(e.args[i], parens);
        return s;
    };
    switch (e.kind) {
    case K::Literal: {
        const jet::Value& v = e.value;
        switch (v.kind()) {
        case jet::Value::Kind::Null: return "null";
        case jet::Value::Kind::Bool: return v.asBool() ? "true" : "false";
        case jet::Value::Kind::Int32: return std::to_string(v.asInt32());
        case jet::Value::Kind::Double: {
            double d = v.asDouble();
            std::string s = d == static_cast<double>(static_cast<long long>(d)) && d < 1e15 && d > -1e15
                                ? std::to_string(static_cast<long long>(d))
                                : numberText(d);
            if (s.find_first_of(".e") == std::string::npos) s += ".0";
            return s + "d";
        }
        case jet::Value::Kind::Date: return "#" + numberText(v.asDate().days);
        case jet::Value::Kind::Text: return "\"" + v.asText() + "\"";
        default: return "<" + jet::toDebugString(v) + ">";
        }
    }
    case K::Field: return (e.table.empty() ? "" : "[" + e.table + "].") + "[" + e.name + "]";
    case K::Star: return e.table.empty() ? "*" : "[" + e.table + "].*";
    case K::Paren: return parens ? "(paren" + args(0) + ")" : dumpExpr(e.args.at(0), parens);
    case K::Call: return "(call " + e.name + args(0) + ")";
    case K::Unary:
        if (e.negated && e.name == "Not") return "(NotLike" + std::string(" ") + dumpExpr(e.args.at(0)->args.at(0), parens) +
                                                 " " + dumpExpr(e.args.at(0)->args.at(1), parens) + ")";
        return std::string("(") + (e.name == "Not" ? "Not" : "u" + e.name) + args(0) + ")";
    case K::Binary: return "(" + e.name + args(0) + ")";
    case K::Between: return std::string(e.negated ? "(NotBetween" : "(Between") + args(0) + ")";
    case K::In: return std::string(e.negated ? "(NotIn" : "(In") + args(0) + ")";
    case K::IsNull: return std::string(e.negated ? "(IsNotNull" : "(IsNull") + args(0) + ")";
    }
    return "?";
}

inline std::string dumpExprNoParens(const jet::ExprPtr& p) { return dumpExpr(p, false); }

inline std::string dumpFrom(const jet::FromPtr& f) {
    if (!f) return "<none>";
    if (f->kind == jet::FromItem::Kind::Source) return "[" + f->name + "]" + (f->alias.empty() ? "" : " as [" + f->alias + "]");
    const char* t = f->joinType == jet::FromItem::JoinType::Inner ? "inner" : f->joinType == jet::FromItem::JoinType::Left ? "left" : "right";
    return std::string("(") + t + " " + dumpFrom(f->left) + " " + dumpFrom(f->right) + " on " + dumpExpr(f->on) + ")";
}

// Every member of the model, so two trees compare as text.
inline std::string dump(const jet::QueryModel& q) {
    std::string s = "type=" + std::to_string(static_cast<int>(q.type));
    for (const auto& p : q.params) s += " param[" + p.name + " " + p.type + " " + std::to_string(p.size) + "]";
    if (q.distinct) s += " distinct";
    if (q.distinctRow) s += " distinctrow";
    if (!q.top.empty()) s += " top[" + q.top + "]";
    if (q.ownerAccess) s += " owneraccess";
    for (const auto& c : q.columns) s += " col[" + dumpExpr(c.expr) + (c.alias.empty() ? "" : " as " + c.alias) + "]";
    for (const auto& f : q.from) s += " from[" + dumpFrom(f) + "]";
    if (!q.fromDbPath.empty() || !q.fromDbConnect.empty()) s += " fromdb[" + q.fromDbPath + "|" + q.fromDbConnect + "]";
    if (q.where) s += " where[" + dumpExpr(q.where) + "]";
    for (const auto& g : q.groupBy) s += " group[" + dumpExpr(g) + "]";
    if (q.having) s += " having[" + dumpExpr(q.having) + "]";
    for (const auto& o : q.orderBy) s += " order[" + dumpExpr(o.expr) + (o.descending ? " desc" : "") + "]";
    if (!q.target.empty()) s += " target[" + q.target + "]";
    if (!q.targetDbPath.empty() || !q.targetDbConnect.empty()) s += " targetdb[" + q.targetDbPath + "|" + q.targetDbConnect + "]";
    for (const auto& t : q.targetColumns) s += " tcol[" + dumpExpr(t) + "]";
    for (const auto& v : q.values) s += " value[" + dumpExpr(v) + "]";
    if (q.transform.expr) s += " transform[" + dumpExpr(q.transform.expr) + " as " + q.transform.alias + "]";
    if (q.pivot) s += " pivot[" + dumpExpr(q.pivot) + "]";
    for (const auto& v : q.pivotIn) s += " pivotin[" + dumpExpr(v) + "]";
    if (!q.rawSql.empty()) s += " raw[" + q.rawSql + "]";
    if (!q.connect.empty()) s += " connect[" + q.connect + "]";
    if (q.type == jet::QueryModel::Type::Union) s += q.unionAll ? " union-all" : " union";
    for (const auto& u : q.unionParts) s += " part{" + (u ? dump(*u) : std::string("<none>")) + "}";
    return s;
}

}  // namespace testutil
