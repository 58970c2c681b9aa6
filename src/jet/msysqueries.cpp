// Saved queries: Access keeps no SQL text for them but one MSysQueries row per
// piece (type, parameters, tables, columns, joins, criteria, …), numbered per
// kind by the Order column. This rebuilds the query tree from those rows.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database.h"
#include "error.h"
#include "query.h"
#include "query_model.h"
#include "sql_internal.h"
#include "table.h"

namespace jet {
namespace {

// Attribute codes of MSysQueries rows.
enum Attr : int {
    kStart = 0,
    kType = 1,
    kParameter = 2,
    kFlags = 3,
    kRemoteDb = 4,
    kTable = 5,
    kColumn = 6,
    kJoin = 7,
    kWhere = 8,
    kGroupBy = 9,
    kHaving = 10,
    kOrderBy = 11,
    kEnd = 255,
};

// Flag bits of the kFlags row.
constexpr int kSelectStar = 0x01, kDistinct = 0x02, kOwnerAccess = 0x04, kDistinctRow = 0x08, kTop = 0x10,
              kPercent = 0x20;
constexpr int kUnionDistinct = 0x02;
// Flag bits of column rows: append VALUES items; crosstab pivot and row-heading items.
constexpr int kAppendValue = 0x8000, kCrosstabPivot = 0x01, kCrosstabRowHeading = 0x02;

// Hostile files must not make us build huge or deeply nested trees.
constexpr size_t kMaxRows = 20000;
constexpr size_t kMaxSources = 1000;

struct QRow {
    int attribute = -1;
    std::string order;  // raw bytes; big-endian sequence within an attribute
    std::optional<std::string> name1, name2, expression;
    std::optional<int64_t> flag, extra;
};

std::string upperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

bool sameName(const std::string& a, const std::string& b) { return upperAscii(a) == upperAscii(b); }

std::optional<int64_t> intOf(const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Bool:
    case Value::Kind::Byte:
    case Value::Kind::Int16:
    case Value::Kind::Int32: return v.toInt64();
    default: return std::nullopt;
    }
}

std::optional<std::string> textOf(const Value& v) {
    if (v.kind() != Value::Kind::Text) return std::nullopt;
    return v.asText();
}

std::string bytesOf(const Value& v) {
    if (v.kind() != Value::Kind::Binary) return {};
    const Bytes& b = v.asBinary();
    return std::string(b.begin(), b.end());
}

// Memo text written by some tools ends in NULs.
std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\0' || s.back() == ' ' || s.back() == '\r' || s.back() == '\n' ||
                          s.back() == '\t'))
        s.pop_back();
    size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\r' || s[b] == '\n' || s[b] == '\t')) ++b;
    return s.substr(b);
}

// Parameter type codes (column type codes) to the words Access writes after PARAMETERS.
const char* parameterType(int64_t code) {
    switch (code) {
    case 0: return "Value";
    case 1: return "Bit";
    case 2: return "Byte";
    case 3: return "Short";
    case 4: return "Long";
    case 5: return "Currency";
    case 6: return "IEEESingle";
    case 7: return "IEEEDouble";
    case 8: return "DateTime";
    case 9: return "Binary";
    case 10: return "Text";
    case 11: return "LongBinary";
    case 12: return "Memo";
    case 15: return "Guid";
    case 16: return "Decimal";
    default: return nullptr;
    }
}

class Builder {
public:
    Builder(const std::string& name, std::vector<QRow> rows) : name_(name), rows_(std::move(rows)) {
        // Rows of one kind keep their Order; kinds are read independently.
        std::stable_sort(rows_.begin(), rows_.end(), [](const QRow& a, const QRow& b) {
            if (a.attribute != b.attribute) return a.attribute < b.attribute;
            return a.order < b.order;
        });
    }

    std::shared_ptr<const QueryModel> build(uint32_t objectFlags);

private:
    const std::string& name_;
    std::vector<QRow> rows_;

    [[noreturn]] void fail(const std::string& problem) const {
        throw Error("saved query '" + name_ + "': " + problem, Error::Code::Query);
    }

    std::vector<const QRow*> rowsOf(int attribute) const {
        std::vector<const QRow*> out;
        for (const QRow& r : rows_)
            if (r.attribute == attribute) out.push_back(&r);
        return out;
    }
    const QRow* rowOf(int attribute) const {
        auto rows = rowsOf(attribute);
        return rows.empty() ? nullptr : rows.front();
    }

    ExprPtr expr(const std::optional<std::string>& text, const char* what) const {
        if (!text || trimmed(*text).empty()) fail(std::string(what) + " has no expression");
        try {
            return sql::parseExpression(*text);
        } catch (const Error& e) {
            fail("cannot read " + std::string(what) + " \"" + *text + "\": " + e.what());
        }
    }

    std::vector<FromPtr> sources(QueryModel& q) const;
};

ExprPtr paren(ExprPtr inner) {
    Expr x;
    x.kind = Expr::Kind::Paren;
    x.args.push_back(std::move(inner));
    return std::make_shared<const Expr>(std::move(x));
}

// Tables and joins to FROM items: each join row links the trees holding its two
// names; a further join row between the same two trees adds its condition with And.
std::vector<FromPtr> Builder::sources(QueryModel& q) const {
    struct Tree {
        FromPtr node;
        std::vector<std::string> names;  // alias, or table name when there is none
        int conditions = 0;              // ON conditions of the top join
    };
    std::vector<Tree> trees;
    auto tableRows = rowsOf(kTable);
    auto joinRows = rowsOf(kJoin);
    if (tableRows.size() > kMaxSources || joinRows.size() > kMaxSources) fail("too many tables or joins");
    for (const QRow* r : tableRows) {
        if (!r->name1 || r->name1->empty()) fail("a table entry without a name");
        FromItem f;
        f.name = *r->name1;
        if (r->name2) f.alias = *r->name2;
        std::string key = f.alias.empty() ? f.name : f.alias;
        trees.push_back({std::make_shared<const FromItem>(std::move(f)), {key}, 0});
    }
    auto find = [&](const std::string& n) -> int {
        for (size_t i = 0; i < trees.size(); ++i)
            for (const auto& k : trees[i].names)
                if (sameName(k, n)) return static_cast<int>(i);
        return -1;
    };
    for (const QRow* r : joinRows) {
        if (!r->name1 || !r->name2) fail("a join without both of its tables");
        FromItem::JoinType type;
        switch (r->flag.value_or(0)) {
        case 1: type = FromItem::JoinType::Inner; break;
        case 2: type = FromItem::JoinType::Left; break;
        case 3: type = FromItem::JoinType::Right; break;
        default: fail("unknown join type " + std::to_string(r->flag.value_or(0)) + " between " + *r->name1 + " and " + *r->name2);
        }
        ExprPtr on = expr(r->expression, ("the join of " + *r->name1 + " and " + *r->name2).c_str());
        int a = find(*r->name1), b = find(*r->name2);
        if (a < 0 || b < 0) fail("a join names " + (a < 0 ? *r->name1 : *r->name2) + ", which is not among its tables");
        if (a == b) {
            Tree& t = trees[a];
            const FromItem& top = *t.node;
            if (top.kind != FromItem::Kind::Join || top.joinType != type)
                fail("inconsistent joins between " + *r->name1 + " and " + *r->name2);
            FromItem j = top;
            Expr both;
            both.kind = Expr::Kind::Binary;
            both.name = "And";
            both.args = {t.conditions == 1 ? paren(top.on) : top.on, paren(on)};
            j.on = std::make_shared<const Expr>(std::move(both));
            t.node = std::make_shared<const FromItem>(std::move(j));
            ++t.conditions;
            continue;
        }
        FromItem j;
        j.kind = FromItem::Kind::Join;
        j.joinType = type;
        j.left = trees[a].node;
        j.right = trees[b].node;
        j.on = on;
        Tree joined{std::make_shared<const FromItem>(std::move(j)), trees[a].names, 1};
        joined.names.insert(joined.names.end(), trees[b].names.begin(), trees[b].names.end());
        // The joined tree takes the place of whichever part came first.
        int keep = std::min(a, b), drop = std::max(a, b);
        trees[keep] = std::move(joined);
        trees.erase(trees.begin() + drop);
    }
    if (const QRow* remote = rowOf(kRemoteDb)) {
        q.fromDbPath = remote->name1.value_or("");
        q.fromDbConnect = remote->expression.value_or("");
    }
    std::vector<FromPtr> out;
    for (auto& t : trees) out.push_back(t.node);
    return out;
}

std::string leftmost(const std::vector<FromPtr>& from) {
    if (from.empty()) return {};
    const FromItem* p = from.front().get();
    while (p && p->kind == FromItem::Kind::Join) p = p->left.get();
    return p ? p->name : std::string();
}

std::shared_ptr<const QueryModel> Builder::build(uint32_t objectFlags) {
    using T = QueryModel::Type;
    auto q = std::make_shared<QueryModel>();
    q->name = name_;

    const QRow* typeRow = rowOf(kType);
    int64_t code = typeRow && typeRow->flag ? *typeRow->flag : 0;
    if (code == 0) {
        // No type row: the catalog's object flags tell the kind.
        static const int64_t byFlags[] = {1, 6, 5, 4, 3, 2, 7, 8, 9};
        uint32_t k = (objectFlags & 0xF0) >> 4;
        code = k < 9 ? byFlags[k] : 0;
    }
    static const T types[] = {T::Select, T::MakeTable, T::Append, T::Update, T::Delete, T::Crosstab,
                              T::DataDefinition, T::PassThrough, T::Union};
    if (code < 1 || code > 9) fail("unknown query type " + std::to_string(code));
    q->type = types[code - 1];

    if (q->type == T::DataDefinition || q->type == T::PassThrough) {
        if (!typeRow || !typeRow->expression) fail("no SQL text stored");
        q->rawSql = trimmed(*typeRow->expression);
        if (q->type == T::PassThrough) q->connect = typeRow->name1.value_or("");
        return q;
    }

    for (const QRow* r : rowsOf(kParameter)) {
        QueryParam p;
        p.name = r->name1.value_or("");
        if (p.name.size() >= 2 && p.name.front() == '[' && p.name.back() == ']') p.name = p.name.substr(1, p.name.size() - 2);
        if (p.name.empty()) fail("a parameter without a name");
        const char* type = parameterType(r->flag.value_or(0));
        if (!type) fail("parameter " + p.name + " has unknown type code " + std::to_string(r->flag.value_or(0)));
        p.type = type;
        if (p.type == "Text" && r->extra && *r->extra > 0 && *r->extra <= 255) p.size = static_cast<int>(*r->extra);
        q->params.push_back(std::move(p));
    }

    const QRow* flagsRow = rowOf(kFlags);
    int64_t flags = flagsRow ? flagsRow->flag.value_or(0) : 0;

    auto orderBy = [&] {
        for (const QRow* r : rowsOf(kOrderBy)) {
            OrderItem o;
            o.expr = expr(r->expression, "an ORDER BY item");
            o.descending = r->name1 && sameName(*r->name1, "D");
            q->orderBy.push_back(std::move(o));
        }
    };

    if (q->type == T::Union) {
        std::string parts[2];
        for (const QRow* r : rowsOf(kTable)) {
            if (r->name2 && *r->name2 == "X7YZ_____1") parts[0] = trimmed(r->expression.value_or(""));
            if (r->name2 && *r->name2 == "X7YZ_____2") parts[1] = trimmed(r->expression.value_or(""));
        }
        if (parts[0].empty() || parts[1].empty()) fail("a union without its two SELECT texts");
        q->unionAll = (flags & kUnionDistinct) == 0;
        orderBy();
        q->rawSql = parts[0] + (q->unionAll ? "\nUNION ALL\n" : "\nUNION\n") + parts[1];
        try {
            for (int i = 0; i < 2; ++i) {
                std::string text = parts[i];
                while (!text.empty() && text.back() == ';') text = trimmed(text.substr(0, text.size() - 1));
                auto part = parseSql(text);
                if (part->type != T::Select && part->type != T::Union) fail("a union part that is no SELECT");
                // A first part that is a union of the same kind reads as one flat list, as the text would.
                if (i == 0 && part->type == T::Union && part->unionAll == q->unionAll && part->orderBy.empty())
                    q->unionParts = part->unionParts;
                else
                    q->unionParts.push_back(part);
            }
        } catch (const Error&) {
            // Kept as text: rendering gives the stored SQL back, evaluation reports what it cannot run.
            q->unionParts.clear();
        }
        if (q->unionParts.empty() && !q->orderBy.empty()) {
            q->rawSql += "\nORDER BY ";
            for (size_t i = 0; i < q->orderBy.size(); ++i)
                q->rawSql += (i ? ", " : "") + renderExpr(*q->orderBy[i].expr) + (q->orderBy[i].descending ? " DESC" : "");
        }
        return q;
    }

    if (q->type == T::Append || q->type == T::MakeTable) {
        q->target = typeRow ? typeRow->name1.value_or("") : "";
        if (q->target.empty()) fail("no target table");
        q->targetDbPath = typeRow->name2.value_or("");
        q->targetDbConnect = typeRow->expression.value_or("");
    }

    q->distinct = (flags & kDistinct) != 0;
    q->distinctRow = !q->distinct && (flags & kDistinctRow) != 0;
    q->ownerAccess = (flags & kOwnerAccess) != 0;
    if (flags & kTop) {
        std::string n = trimmed(flagsRow->name1.value_or(""));
        if (n.empty() || n.find_first_not_of("0123456789.") != std::string::npos) fail("TOP without a valid count");
        q->top = "TOP " + n + ((flags & kPercent) ? " PERCENT" : "");
    }

    q->from = sources(*q);

    bool anyTargets = false, allTargets = true;
    for (const QRow* r : rowsOf(kColumn)) {
        int64_t f = r->flag.value_or(0);
        const char* what = "a column";
        if (q->type == T::Update) {
            if (!r->name2 || r->name2->empty()) fail("an UPDATE column without its target");
            ExprPtr target = expr(r->name2, "an UPDATE target");
            if (target->kind != Expr::Kind::Field) fail("UPDATE target \"" + *r->name2 + "\" is not a column");
            q->targetColumns.push_back(target);
            q->values.push_back(expr(r->expression, "an UPDATE value"));
            continue;
        }
        SelectItem item;
        item.expr = expr(r->expression, what);
        item.alias = r->name1.value_or("");
        if (q->type == T::Crosstab) {
            if (f & kCrosstabPivot) {
                q->pivot = item.expr;
            } else if (f & kCrosstabRowHeading) {
                q->columns.push_back(std::move(item));
            } else {
                q->transform = std::move(item);
            }
            continue;
        }
        if (q->type == T::Append) {
            bool hasTarget = r->name2 && !r->name2->empty();
            anyTargets = anyTargets || hasTarget;
            allTargets = allTargets && hasTarget;
            if (hasTarget) {
                ExprPtr target = expr(r->name2, "an append target column");
                if (target->kind != Expr::Kind::Field) fail("append target \"" + *r->name2 + "\" is not a column");
                q->targetColumns.push_back(target);
            }
            if (f & kAppendValue) {
                q->values.push_back(item.expr);
                continue;
            }
        }
        q->columns.push_back(std::move(item));
    }
    if (q->type == T::Append && anyTargets && !allTargets) fail("only some appended columns name their target");
    if (q->type == T::Append && !q->values.empty() && !q->columns.empty()) fail("both VALUES and SELECT columns");
    if (q->type == T::Crosstab && (!q->transform.expr || !q->pivot)) fail("a crosstab without its value or pivot column");
    if (flags & kSelectStar) {
        Expr star;
        star.kind = Expr::Kind::Star;
        q->columns.push_back({std::make_shared<const Expr>(std::move(star)), ""});
    }

    if (const QRow* r = rowOf(kWhere)) q->where = expr(r->expression, "the WHERE condition");
    for (const QRow* r : rowsOf(kGroupBy)) {
        // A crosstab groups by its pivot column too; PIVOT says that already.
        if (q->type == T::Crosstab && (r->flag.value_or(0) & kCrosstabPivot)) continue;
        q->groupBy.push_back(expr(r->expression, "a GROUP BY item"));
    }
    if (const QRow* r = rowOf(kHaving)) q->having = expr(r->expression, "the HAVING condition");
    orderBy();

    if (q->type == T::Update || q->type == T::Delete) {
        if (q->from.empty()) fail("no table to change");
        q->target = leftmost(q->from);
        if (q->type == T::Delete && !q->columns.empty() && q->columns.front().expr->kind == Expr::Kind::Star &&
            !q->columns.front().expr->table.empty())
            q->target = q->columns.front().expr->table;
        if (q->type == T::Update && q->values.empty()) fail("an UPDATE that sets nothing");
    } else if (q->columns.empty() && q->values.empty()) {
        fail("no columns");
    }
    return q;
}

}  // namespace

std::shared_ptr<const QueryModel> Database::query(const std::string& name) const {
    const std::string key = upperAscii(name);
    auto cached = queries_.find(key);
    if (cached != queries_.end()) return cached->second;

    const CatalogEntry* entry = nullptr;
    for (const CatalogEntry& e : catalog_)
        if (e.type == 5 && upperAscii(e.name) == key) {
            entry = &e;
            break;
        }
    if (!entry) throw Error("no saved query named '" + name + "'", Error::Code::NotFound);

    std::vector<QRow> rows;
    try {
        if (!hasTable("MSysQueries"))
            throw Error("saved query '" + entry->name + "': the database has no MSysQueries table", Error::Code::Corrupt);
        auto t = table("MSysQueries");
        const int cObject = t->columnIndex("ObjectId"), cAttr = t->columnIndex("Attribute"), cOrder = t->columnIndex("Order"),
                  cName1 = t->columnIndex("Name1"), cName2 = t->columnIndex("Name2"), cExpr = t->columnIndex("Expression"),
                  cFlag = t->columnIndex("Flag"), cExtra = t->columnIndex("LvExtra");
        if (cObject < 0 || cAttr < 0)
            throw Error("saved query '" + entry->name + "': MSysQueries lacks its ObjectId or Attribute column",
                        Error::Code::Corrupt);
        std::vector<int> wanted;
        for (int c : {cObject, cAttr, cOrder, cName1, cName2, cExpr, cFlag, cExtra})
            if (c >= 0) wanted.push_back(c);

        auto cursor = t->scan(wanted);
        while (cursor.next()) {
            const Row& r = cursor.row();
            auto at = [&](int c) -> const Value& {
                static const Value null;
                return c >= 0 && static_cast<size_t>(c) < r.size() ? r[c] : null;
            };
            auto id = intOf(at(cObject));
            if (!id || *id != entry->id) continue;
            if (rows.size() >= kMaxRows)
                throw Error("saved query '" + entry->name + "': too many MSysQueries rows", Error::Code::Corrupt);
            QRow q;
            q.attribute = static_cast<int>(intOf(at(cAttr)).value_or(-1));
            q.order = bytesOf(at(cOrder));
            q.name1 = textOf(at(cName1));
            q.name2 = textOf(at(cName2));
            q.expression = textOf(at(cExpr));
            q.flag = intOf(at(cFlag));
            q.extra = intOf(at(cExtra));
            rows.push_back(std::move(q));
        }
    } catch (const Error& e) {
        if (std::string(e.what()).rfind("saved query", 0) == 0) throw;
        throw Error("saved query '" + entry->name + "': " + e.what(), e.code());
    }
    if (rows.empty())
        throw Error("saved query '" + entry->name + "': no definition rows in MSysQueries", Error::Code::Corrupt);

    auto model = Builder(entry->name, std::move(rows)).build(entry->flags);
    queries_[key] = model;
    return model;
}

}  // namespace jet
