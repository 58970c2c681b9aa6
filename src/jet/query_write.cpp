// Saving and dropping queries. Access stores a query as one MSysObjects row
// and one MSysQueries row per piece; the rows written here are the ones the
// saved-query reader (msysqueries.cpp) and other readers turn back into SQL.
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "database.h"
#include "error.h"
#include "expr_eval.h"
#include "query.h"
#include "query_model.h"
#include "table.h"
#include "write_internal.h"
#include "platform.h"

namespace jet {
namespace {

enum Attr : int {
    kStart = 0, kType = 1, kParameter = 2, kFlags = 3, kRemoteDb = 4, kTable = 5, kColumn = 6,
    kJoin = 7, kWhere = 8, kGroupBy = 9, kHaving = 10, kOrderBy = 11, kEnd = 255,
};
constexpr int kSelectStar = 0x01, kDistinct = 0x02, kOwnerAccess = 0x04, kDistinctRow = 0x08, kTop = 0x10,
              kPercent = 0x20;
constexpr int kAppendValue = 0x8000, kCrosstabPivot = 0x01, kCrosstabRowHeading = 0x02;
constexpr int32_t kTablesContainerFallback = 0x0F000001;

std::string upperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}
bool sameName(const std::string& a, const std::string& b) { return upperAscii(a) == upperAscii(b); }

// One MSysQueries row before numbering.
struct QRow {
    int attribute = 0;
    std::optional<std::string> name1, name2, expression;
    std::optional<int16_t> flag;
    std::optional<int32_t> extra;
};

// Type words of PARAMETERS, with the synonyms Jet SQL accepts, to column type codes.
int parameterCode(const std::string& word) {
    static const struct {
        const char* word;
        int code;
    } words[] = {
        {"VALUE", 0},      {"BIT", 1},         {"YESNO", 1},       {"BOOLEAN", 1},     {"LOGICAL", 1},
        {"LOGICAL1", 1},   {"BYTE", 2},        {"INTEGER1", 2},    {"TINYINT", 2},     {"SHORT", 3},
        {"SMALLINT", 3},   {"INTEGER2", 3},    {"LONG", 4},        {"INTEGER", 4},     {"INT", 4},
        {"INTEGER4", 4},   {"COUNTER", 4},     {"AUTOINCREMENT", 4}, {"CURRENCY", 5},  {"MONEY", 5},
        {"IEEESINGLE", 6}, {"SINGLE", 6},      {"REAL", 6},        {"FLOAT4", 6},      {"IEEEDOUBLE", 7},
        {"DOUBLE", 7},     {"FLOAT", 7},       {"FLOAT8", 7},      {"NUMBER", 7},      {"DATETIME", 8},
        {"DATE", 8},       {"TIME", 8},        {"TIMESTAMP", 8},   {"BINARY", 9},      {"VARBINARY", 9},
        {"TEXT", 10},      {"CHAR", 10},       {"VARCHAR", 10},    {"STRING", 10},     {"ALPHANUMERIC", 10},
        {"CHARACTER", 10}, {"NCHAR", 10},      {"NVARCHAR", 10},   {"LONGBINARY", 11}, {"OLEOBJECT", 11},
        {"GENERAL", 11},   {"IMAGE", 11},      {"MEMO", 12},       {"LONGTEXT", 12},   {"LONGCHAR", 12},
        {"NOTE", 12},      {"NTEXT", 12},      {"GUID", 15},       {"UNIQUEIDENTIFIER", 15},
        {"DECIMAL", 16},   {"NUMERIC", 16},    {"DEC", 16},
    };
    std::string u = upperAscii(word);
    for (const auto& w : words)
        if (u == w.word) return w.code;
    throw Error("unknown parameter type '" + word + "'", Error::Code::Query);
}

int typeCode(QueryModel::Type t) {
    using T = QueryModel::Type;
    switch (t) {
    case T::Select: return 1;
    case T::MakeTable: return 2;
    case T::Append: return 3;
    case T::Update: return 4;
    case T::Delete: return 5;
    case T::Crosstab: return 6;
    case T::DataDefinition: return 7;
    case T::PassThrough: return 8;
    case T::Union: return 9;
    }
    return 1;
}

// MSysObjects Flags of a query: its kind in bits 4-7 (a select query has 0).
uint32_t objectFlags(QueryModel::Type t) {
    static const uint32_t byCode[] = {0, 0x00, 0x50, 0x40, 0x30, 0x20, 0x10, 0x60, 0x70, 0x80};
    return byCode[typeCode(t)];
}

const Expr* unparen(const Expr* e) {
    while (e && e->kind == Expr::Kind::Paren && !e->args.empty()) e = e->args[0].get();
    return e;
}

// Names a join row may use for the sources under a FROM node: alias, else table name.
void sourceKeys(const FromItem& f, std::vector<std::string>& out) {
    if (f.kind == FromItem::Kind::Join) {
        if (f.left) sourceKeys(*f.left, out);
        if (f.right) sourceKeys(*f.right, out);
        return;
    }
    out.push_back(f.alias.empty() ? f.name : f.alias);
}

void fieldTables(const Expr& e, std::vector<std::string>& out) {
    if (e.kind == Expr::Kind::Field && !e.table.empty()) out.push_back(e.table);
    for (const auto& a : e.args)
        if (a) fieldTables(*a, out);
}

class RowBuilder {
public:
    std::vector<QRow> rows;

    void add(int attribute, std::optional<std::string> n1 = {}, std::optional<std::string> n2 = {},
             std::optional<std::string> ex = {}, std::optional<int16_t> flag = {}, std::optional<int32_t> extra = {}) {
        rows.push_back({attribute, std::move(n1), std::move(n2), std::move(ex), flag, extra});
    }

    void tables(const FromItem& f) {
        if (f.kind == FromItem::Kind::Join) {
            if (!f.left || !f.right) throw Error("a join without both sides", Error::Code::Query);
            tables(*f.left);
            tables(*f.right);
            return;
        }
        add(kTable, f.name, f.alias.empty() ? std::nullopt : std::optional<std::string>(f.alias));
    }

    // Children first, so every join row links two trees the reader already has.
    void joins(const FromItem& f) {
        if (f.kind != FromItem::Kind::Join) return;
        joins(*f.left);
        joins(*f.right);
        std::vector<std::string> left, right, used;
        sourceKeys(*f.left, left);
        sourceKeys(*f.right, right);
        if (!f.on) throw Error("a join without a condition", Error::Code::Query);
        fieldTables(*f.on, used);
        auto pick = [&](const std::vector<std::string>& side) {
            for (const auto& u : used)
                for (const auto& s : side)
                    if (sameName(u, s)) return s;
            return side.front();
        };
        int16_t type = f.joinType == FromItem::JoinType::Inner ? 1 : f.joinType == FromItem::JoinType::Left ? 2 : 3;
        const Expr* on = unparen(f.on.get());
        add(kJoin, pick(left), pick(right), renderExpr(*on), type);
    }
};

std::vector<QRow> queryRows(const QueryModel& q) {
    using T = QueryModel::Type;
    RowBuilder b;
    b.add(kStart, {}, {}, {}, int16_t{0});
    if (q.type == T::DataDefinition || q.type == T::PassThrough) {
        b.add(kType, q.type == T::PassThrough ? std::optional<std::string>(q.connect) : std::nullopt, {}, q.rawSql,
              static_cast<int16_t>(typeCode(q.type)));
        b.add(kEnd);
        return b.rows;
    }
    if (q.type == T::Append || q.type == T::MakeTable) {
        b.add(kType, q.target, q.targetDbPath.empty() ? std::nullopt : std::optional<std::string>(q.targetDbPath),
              q.targetDbConnect.empty() ? std::nullopt : std::optional<std::string>(q.targetDbConnect),
              static_cast<int16_t>(typeCode(q.type)));
    } else {
        b.add(kType, {}, {}, {}, static_cast<int16_t>(typeCode(q.type)));
    }
    for (const QueryParam& p : q.params) {
        int code = parameterCode(p.type);
        b.add(kParameter, p.name, {}, {}, static_cast<int16_t>(code),
              code == 10 && p.size > 0 ? std::optional<int32_t>(p.size) : std::nullopt);
    }

    if (q.type == T::Union) {
        if (q.unionParts.size() < 2) throw Error("a union needs two SELECT statements", Error::Code::Query);
        // Access keeps the two halves as text; a longer union nests in the first half.
        std::string first;
        if (q.unionParts.size() == 2) {
            first = renderSql(*q.unionParts[0]);
        } else {
            QueryModel head;
            head.type = T::Union;
            head.unionAll = q.unionAll;
            head.unionParts.assign(q.unionParts.begin(), q.unionParts.end() - 1);
            first = renderSql(head);
        }
        b.add(kFlags, {}, {}, {}, static_cast<int16_t>(q.unionAll ? 0 : 0x02));
        b.add(kTable, {}, "X7YZ_____1", first);
        b.add(kTable, {}, "X7YZ_____2", renderSql(*q.unionParts.back()));
        for (const OrderItem& o : q.orderBy)
            b.add(kOrderBy, o.descending ? std::optional<std::string>("D") : std::nullopt, {}, renderExpr(*o.expr));
        b.add(kEnd);
        return b.rows;
    }

    int flags = 0;
    std::optional<std::string> topCount;
    if (q.distinct) flags |= kDistinct;
    if (q.distinctRow) flags |= kDistinctRow;
    if (q.ownerAccess) flags |= kOwnerAccess;
    if (!q.top.empty()) {
        std::string t = q.top;
        if (upperAscii(t.substr(0, 4)) == "TOP ") t = t.substr(4);
        size_t sp = t.find(' ');
        if (sp != std::string::npos) {
            if (upperAscii(t.substr(sp + 1)) == "PERCENT") flags |= kPercent;
            t = t.substr(0, sp);
        }
        flags |= kTop;
        topCount = t;
    }
    std::vector<SelectItem> columns;
    for (const SelectItem& c : q.columns) {
        const Expr* e = unparen(c.expr.get());
        if (e && e->kind == Expr::Kind::Star && e->table.empty() && q.type != T::Crosstab)
            flags |= kSelectStar;
        else
            columns.push_back(c);
    }
    b.add(kFlags, topCount, {}, {}, static_cast<int16_t>(flags));

    if (!q.fromDbPath.empty() || !q.fromDbConnect.empty())
        b.add(kRemoteDb, q.fromDbPath, {}, q.fromDbConnect.empty() ? std::nullopt : std::optional<std::string>(q.fromDbConnect));
    for (const FromPtr& f : q.from) b.tables(*f);

    auto target = [&](size_t i) -> std::optional<std::string> {
        if (i >= q.targetColumns.size() || !q.targetColumns[i]) return std::nullopt;
        return renderExpr(*q.targetColumns[i]);
    };
    if (q.type == T::Update) {
        for (size_t i = 0; i < q.values.size(); ++i) b.add(kColumn, {}, target(i), renderExpr(*q.values[i]), int16_t{0});
    } else if (q.type == T::Crosstab) {
        if (!q.transform.expr || !q.pivot) throw Error("a crosstab needs TRANSFORM and PIVOT", Error::Code::Query);
        b.add(kColumn, q.transform.alias.empty() ? std::nullopt : std::optional<std::string>(q.transform.alias), {},
              renderExpr(*q.transform.expr), int16_t{0});
        for (const SelectItem& c : columns)
            b.add(kColumn, c.alias.empty() ? std::nullopt : std::optional<std::string>(c.alias), {}, renderExpr(*c.expr),
                  int16_t{kCrosstabRowHeading});
        b.add(kColumn, {}, {}, renderExpr(*q.pivot), int16_t{kCrosstabPivot});
    } else {
        for (size_t i = 0; i < columns.size(); ++i)
            b.add(kColumn, columns[i].alias.empty() ? std::nullopt : std::optional<std::string>(columns[i].alias),
                  q.type == T::Append ? target(i) : std::nullopt, renderExpr(*columns[i].expr), int16_t{0});
        for (size_t i = 0; i < q.values.size(); ++i)
            b.add(kColumn, {}, target(i), renderExpr(*q.values[i]), static_cast<int16_t>(kAppendValue));
    }
    for (const FromPtr& f : q.from) b.joins(*f);
    if (q.where) b.add(kWhere, {}, {}, renderExpr(*q.where));
    // A crosstab's GROUP BY lists its row headings; Access adds the pivot, marked as such.
    const int16_t groupFlag = q.type == T::Crosstab ? int16_t{kCrosstabRowHeading} : int16_t{0};
    for (const ExprPtr& g : q.groupBy) b.add(kGroupBy, {}, {}, renderExpr(*g), groupFlag);
    if (q.type == T::Crosstab) b.add(kGroupBy, {}, {}, renderExpr(*q.pivot), int16_t{kCrosstabPivot});
    if (q.having) b.add(kHaving, {}, {}, renderExpr(*q.having));
    for (const OrderItem& o : q.orderBy)
        b.add(kOrderBy, o.descending ? std::optional<std::string>("D") : std::nullopt, {}, renderExpr(*o.expr));
    b.add(kEnd);
    return b.rows;
}

double localNow() {
    std::time_t t = std::time(nullptr);
    const std::tm lt = platform::localTime(t);
    return ev::fromCivil(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) + ev::timeFraction(lt.tm_hour, lt.tm_min, lt.tm_sec);
}

Bytes orderBytes(uint32_t n) {
    return Bytes{static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                 static_cast<uint8_t>(n)};
}

void setIf(FieldValues& out, int column, Value v) {
    if (column >= 0) out.push_back({column, std::move(v)});
}

std::optional<Value> textOrNull(const std::optional<std::string>& s) {
    if (!s) return std::nullopt;
    return Value::text(*s);
}

// Access gives a new object the Tables container's inheritable permissions,
// not inherited further, leaving out the creator placeholder entry (rights 0xF00FE).
constexpr int64_t kCreatorRights = 0xF00FE;

void addPermissions(Database& db, int32_t containerId, int32_t objectId) {
    if (!db.hasTable("MSysACEs")) return;
    auto aces = db.table("MSysACEs");
    const int cObj = aces->columnIndex("ObjectId"), cSid = aces->columnIndex("SID"), cAcm = aces->columnIndex("ACM"),
              cInh = aces->columnIndex("FInheritable");
    if (cObj < 0 || cSid < 0 || cAcm < 0 || cInh < 0) return;
    std::vector<FieldValues> rows;
    for (auto cur = aces->scan({cObj, cSid, cAcm, cInh}); cur.next();) {
        const Row& r = cur.row();
        if (r[cObj].kind() != Value::Kind::Int32 || r[cObj].asInt32() != containerId) continue;
        if (r[cInh].kind() != Value::Kind::Bool || !r[cInh].asBool()) continue;
        if (r[cAcm].kind() != Value::Kind::Int32 || r[cAcm].asInt32() == kCreatorRights) continue;
        if (rows.size() >= 64) break;
        rows.push_back({{cObj, Value::int32(objectId)}, {cSid, r[cSid]}, {cAcm, r[cAcm]}, {cInh, Value::boolean(false)}});
    }
    for (const FieldValues& v : rows) db.insertRow("MSysACEs", v);
}

// Rows of a system table whose Long column `column` holds `id`.
std::vector<RowId> rowsWithId(const Database& db, const std::string& table, const std::string& column, int32_t id) {
    std::vector<RowId> out;
    if (!db.hasTable(table)) return out;
    auto t = db.table(table);
    const int c = t->columnIndex(column);
    if (c < 0) return out;
    for (auto cur = t->scan({c}); cur.next();) {
        const Value& v = cur.row()[c];
        if (v.kind() == Value::Kind::Int32 && v.asInt32() == id) out.push_back(cur.rowId());
    }
    return out;
}

}  // namespace

void Database::createQuery(const std::string& name, const std::string& sql) {
    detail::writablePager(*this);
    if (name.empty() || name.size() > 64) throw Error("a query name must have 1 to 64 characters", Error::Code::Query);
    if (name.front() == ' ' || name.find_first_of("[]!.`") != std::string::npos ||
        std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        throw Error("'" + name + "' cannot name a query: no leading space, control characters or . ! ` [ ]",
                    Error::Code::Query);
    for (const CatalogEntry& e : catalog_)
        if ((e.type == 1 || e.type == 5 || e.type == 6 || e.type == 4) && sameName(e.name, name))
            throw Error("'" + name + "' already exists in " + path(), Error::Code::Duplicate);
    if (!hasTable("MSysQueries") || !hasTable("MSysObjects"))
        throw Error(path() + " has no MSysObjects or MSysQueries table", Error::Code::Corrupt);

    auto model = parseSql(sql);
    std::vector<QRow> rows = queryRows(*model);

    // Ids of objects that own no table definition count up from 0x80000000; Access
    // takes the next one after the highest in use. Owner: as the file's other user objects.
    auto objects = table("MSysObjects");
    const int cId = objects->columnIndex("Id"), cParent = objects->columnIndex("ParentId"),
              cName = objects->columnIndex("Name"), cType = objects->columnIndex("Type"),
              cCreate = objects->columnIndex("DateCreate"), cUpdate = objects->columnIndex("DateUpdate"),
              cOwner = objects->columnIndex("Owner"), cFlags = objects->columnIndex("Flags");
    if (cId < 0 || cParent < 0 || cName < 0 || cType < 0)
        throw Error(path() + ": MSysObjects lacks its Id, ParentId, Name or Type column", Error::Code::Corrupt);
    int64_t highest = INT32_MIN - int64_t{1};
    int32_t tablesId = kTablesContainerFallback;
    for (const CatalogEntry& e : catalog_) {
        if (e.id < 0) highest = std::max<int64_t>(highest, e.id);
        if (e.type == 3 && e.parentId == 0x0F000000 && sameName(e.name, "Tables")) tablesId = e.id;
    }
    if (highest >= -1) throw Error(path() + " has no object ids left for a new query", Error::Code::Generic);
    const int32_t id = static_cast<int32_t>(highest + 1);

    std::optional<Value> owner, userOwner;
    if (cOwner >= 0) {
        std::vector<int> wanted{cType, cOwner};
        if (cFlags >= 0) wanted.push_back(cFlags);
        auto cursor = objects->scan(wanted);
        while (cursor.next()) {
            const Row& r = cursor.row();
            if (r[cOwner].isNull()) continue;
            auto type = r[cType].isNull() ? 0 : r[cType].toInt64();
            int64_t fl = cFlags >= 0 && !r[cFlags].isNull() ? r[cFlags].toInt64() : 0;
            bool system = (static_cast<uint32_t>(fl) & 0x80000002u) != 0;
            if (type == 5 && !owner) owner = r[cOwner];
            if (type == 1 && !system && !userOwner) userOwner = r[cOwner];
        }
        if (!owner) owner = userOwner;
    }

    const double now = localNow();
    detail::AutoTxn txn(*this);
    FieldValues obj;
    setIf(obj, cId, Value::int32(id));
    setIf(obj, cParent, Value::int32(tablesId));
    setIf(obj, cName, Value::text(name));
    setIf(obj, cType, Value::int16(5));
    setIf(obj, cCreate, Value::date(now));
    setIf(obj, cUpdate, Value::date(now));
    if (owner) setIf(obj, cOwner, *owner);
    setIf(obj, cFlags, Value::int32(static_cast<int32_t>(objectFlags(model->type))));
    insertRow("MSysObjects", obj);
    addPermissions(*this, tablesId, id);

    auto queries = table("MSysQueries");
    const int qObject = queries->columnIndex("ObjectId"), qAttr = queries->columnIndex("Attribute"),
              qOrder = queries->columnIndex("Order"), qName1 = queries->columnIndex("Name1"),
              qName2 = queries->columnIndex("Name2"), qExpr = queries->columnIndex("Expression"),
              qFlag = queries->columnIndex("Flag"), qExtra = queries->columnIndex("LvExtra");
    if (qObject < 0 || qAttr < 0)
        throw Error(path() + ": MSysQueries lacks its ObjectId or Attribute column", Error::Code::Corrupt);
    std::stable_sort(rows.begin(), rows.end(), [](const QRow& a, const QRow& b) { return a.attribute < b.attribute; });
    int lastAttr = -1;
    uint32_t seq = 0;
    for (const QRow& r : rows) {
        seq = r.attribute == lastAttr ? seq + 1 : 1;
        lastAttr = r.attribute;
        FieldValues v;
        setIf(v, qObject, Value::int32(id));
        setIf(v, qAttr, Value::byte(static_cast<uint8_t>(r.attribute)));
        setIf(v, qOrder, Value::binary(orderBytes(seq)));
        if (auto t = textOrNull(r.name1)) setIf(v, qName1, *t);
        if (auto t = textOrNull(r.name2)) setIf(v, qName2, *t);
        if (auto t = textOrNull(r.expression)) setIf(v, qExpr, *t);
        if (r.flag) setIf(v, qFlag, Value::int16(*r.flag));
        if (r.extra) {
            if (qExtra >= 0) setIf(v, qExtra, Value::int32(*r.extra));
        }
        insertRow("MSysQueries", v);
    }
    txn.commit();
}

void Database::dropQuery(const std::string& name) {
    detail::writablePager(*this);
    const CatalogEntry* entry = nullptr;
    for (const CatalogEntry& e : catalog_)
        if (e.type == 5 && sameName(e.name, name)) {
            entry = &e;
            break;
        }
    if (!entry) throw Error("no saved query named '" + name + "'", Error::Code::NotFound);
    const int32_t id = entry->id;

    auto objects = table("MSysObjects");
    const int cId = objects->columnIndex("Id"), cType = objects->columnIndex("Type");
    if (cId < 0 || cType < 0) throw Error(path() + ": MSysObjects lacks its Id or Type column", Error::Code::Corrupt);
    std::vector<RowId> objectRows;
    {
        auto cursor = objects->scan({cId, cType});
        while (cursor.next()) {
            const Row& r = cursor.row();
            if (r[cId].kind() == Value::Kind::Int32 && r[cId].asInt32() == id && !r[cType].isNull() &&
                r[cType].toInt64() == 5)
                objectRows.push_back(cursor.rowId());
        }
    }
    const std::vector<RowId> queryRowIds = rowsWithId(*this, "MSysQueries", "ObjectId", id);
    const std::vector<RowId> aceRowIds = rowsWithId(*this, "MSysACEs", "ObjectId", id);
    detail::AutoTxn txn(*this);
    for (const RowId& r : queryRowIds) deleteRow("MSysQueries", r);
    for (const RowId& r : aceRowIds) deleteRow("MSysACEs", r);
    for (const RowId& r : objectRows) deleteRow("MSysObjects", r);
    txn.commit();
}

}  // namespace jet
