// INSERT, UPDATE and DELETE statements run against one table. Matching rows
// are all found before the first write, so a change never feeds back into the
// search, and the writes share one transaction.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <strings.h>
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

using ev::Node;
using ev::NodePtr;
using Op = Node::Op;

bool iequals(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

constexpr size_t kMaxNodes = 100000;

// Compiles expressions over the rows of one table: its columns are source 0,
// any other name is a parameter.
class Compiler : public ev::Compiler {
public:
    Compiler(const Table& t, const QueryModel& q, const Params& params, const ev::Env& env)
        : ev::Compiler(env, nodes_, kMaxNodes), t_(t), q_(q), params_(params) {}

    void setAlias(const std::string& a) { alias_ = a; }
    // VALUES lists have no row: every name in them is a parameter.
    void withoutColumns() { columns_ = false; }

    void raise(const std::string& problem) const override { throw Error(problem, Error::Code::Query); }

protected:
    NodePtr field(const Expr& e) override {
        int col = -1;
        if (columns_ && (e.table.empty() || iequals(e.table, t_.name()) || iequals(e.table, alias_)))
            col = t_.columnIndex(e.name);
        if (col < 0) return constant(param(e.table.empty() ? e.name : e.table + "." + e.name));
        auto n = std::make_unique<Node>();
        n->op = Op::Field;
        n->slot = {0, col};
        return n;
    }

private:
    const Table& t_;
    const QueryModel& q_;
    const Params& params_;
    std::string alias_;
    bool columns_ = true;
    size_t nodes_ = 0;

    Value param(const std::string& name) const {
        auto it = params_.find(name);
        if (it == params_.end()) fail("parameter [" + name + "] has no value");
        for (const auto& p : q_.params)
            if (iequals(p.name, name)) return ev::convertParam(it->second, p.type, env_);
        return it->second;
    }
};

double systemNow() {
    std::time_t t = std::time(nullptr);
    const std::tm lt = platform::localTime(t);
    return ev::fromCivil(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) + ev::timeFraction(lt.tm_hour, lt.tm_min, lt.tm_sec);
}

// The one table an UPDATE or DELETE changes; joins are not supported here.
const FromItem& singleSource(const QueryModel& q) {
    if (q.from.size() != 1 || !q.from[0] || q.from[0]->kind != FromItem::Kind::Source)
        throw Error("UPDATE and DELETE work on a single table here, without joins", Error::Code::Unsupported);
    if (!q.fromDbPath.empty()) throw Error("UPDATE and DELETE on another database are not supported", Error::Code::Unsupported);
    return *q.from[0];
}

int columnOf(const Table& t, const Expr& target, const std::string& alias) {
    const Expr* e = &target;
    while (e->kind == Expr::Kind::Paren && !e->args.empty()) e = e->args[0].get();
    if (e->kind != Expr::Kind::Field) throw Error("a target that is not a column", Error::Code::Query);
    if (!e->table.empty() && !iequals(e->table, t.name()) && !iequals(e->table, alias))
        throw Error("column " + e->table + "." + e->name + " is not in table " + t.name(), Error::Code::Query);
    int c = t.columnIndex(e->name);
    if (c < 0) throw Error("table " + t.name() + " has no column '" + e->name + "'", Error::Code::Query);
    return c;
}

// Rows of the table for which `where` holds (all rows without one). An equality
// between an indexed column and a constant is looked up in the index first.
std::vector<std::pair<RowId, Row>> matchingRows(const Table& t, const Node* where, const ev::Env& env) {
    std::vector<std::pair<RowId, Row>> out;
    auto test = [&](const Row& r) {
        if (!where) return true;
        const Row* rows[1] = {&r};
        ev::RowView view{rows, nullptr};
        return ev::isTrue(*where, view, env);
    };
    if (where && where->op == Op::Eq && where->args.size() == 2) {
        const Node* a = where->args[0].get();
        const Node* b = where->args[1].get();
        if (a->op != Op::Field) std::swap(a, b);
        if (a->op == Op::Field && b->op == Op::Const && !b->value.isNull()) {
            const int col = a->slot.column;
            for (const Index& idx : t.indexes()) {
                if (idx.columns.size() != 1 || idx.columns[0].column != col) continue;
                const ColType type = t.columns()[static_cast<size_t>(col)].type;
                // Index keys are typed; only look up when the constant already has the column's kind.
                if (ev::colTypeOfValue(b->value) != type) break;
                for (const RowId& id : t.seek(idx, {b->value})) {
                    auto row = t.readRow(id);
                    if (row && test(*row)) out.emplace_back(id, std::move(*row));
                }
                return out;
            }
        }
    }
    for (auto cur = t.scan(); cur.next();)
        if (test(cur.row())) out.emplace_back(cur.rowId(), cur.row());
    return out;
}

}  // namespace

ExecResult execSql(Database& db, const std::string& sql, const Params& params, const EvalOptions& opts) {
    using T = QueryModel::Type;
    auto q = parseSql(sql);
    ev::Env env;
    env.now = opts.now ? opts.now() : systemNow();
    ExecResult result;

    if (q->type == T::Append) {
        if (!q->targetDbPath.empty()) throw Error("INSERT INTO another database is not supported", Error::Code::Unsupported);
        auto t = db.table(q->target);
        std::vector<int> targets;
        for (const ExprPtr& c : q->targetColumns) targets.push_back(columnOf(*t, *c, ""));
        std::vector<Row> rows;
        if (!q->values.empty()) {
            // VALUES: expressions with no row to read from.
            Compiler comp(*t, *q, params, env);
            comp.withoutColumns();
            Row values;
            Row empty(t->columns().size());
            const Row* rowsView[1] = {&empty};
            for (const ExprPtr& v : q->values) {
                if (!v) throw Error("malformed VALUES list", Error::Code::Query);
                NodePtr n = comp.compile(*v);
                values.push_back(ev::eval(*n, ev::RowView{rowsView, nullptr}, env));
            }
            rows.push_back(std::move(values));
            if (targets.empty())
                for (size_t i = 0; i < rows[0].size() && i < t->columns().size(); ++i) targets.push_back(static_cast<int>(i));
        } else {
            auto select = std::make_shared<QueryModel>(*q);
            select->type = T::Select;
            select->target.clear();
            select->targetColumns.clear();
            ResultSet rs = runQuery(db, *select, params, opts);
            if (targets.empty())
                for (const ResultColumn& c : rs.columns) {
                    int col = t->columnIndex(c.name);
                    if (col < 0) throw Error("table " + t->name() + " has no column '" + c.name + "'", Error::Code::Query);
                    targets.push_back(col);
                }
            rows = std::move(rs.rows);
        }
        detail::AutoTxn txn(db);
        for (const Row& r : rows) {
            if (r.size() != targets.size())
                throw Error("INSERT INTO " + t->name() + " gives " + std::to_string(r.size()) + " values for " +
                                std::to_string(targets.size()) + " columns",
                            Error::Code::Query);
            FieldValues fv;
            for (size_t i = 0; i < r.size(); ++i) fv.push_back({targets[i], r[i]});
            Row stored;
            db.insertRow(t->name(), fv, &stored);
            ++result.rowsAffected;
            for (size_t c = 0; c < t->columns().size() && c < stored.size(); ++c)
                if (t->columns()[c].autonumber && stored[c].kind() == Value::Kind::Int32)
                    result.newAutonumber = stored[c].asInt32();
        }
        txn.commit();
        if (result.rowsAffected != 1) result.newAutonumber.reset();
        return result;
    }

    if (q->type != T::Update && q->type != T::Delete)
        throw Error("only INSERT, UPDATE and DELETE statements can be executed; use a query to read rows",
                    Error::Code::Query);
    const FromItem& src = singleSource(*q);
    auto t = db.table(src.name);
    if (q->type == T::Delete && !q->target.empty() && !iequals(q->target, src.name) && !iequals(q->target, src.alias))
        throw Error("DELETE names " + q->target + ", which is not its table", Error::Code::Query);
    Compiler comp(*t, *q, params, env);
    comp.setAlias(src.alias);
    NodePtr where = q->where ? comp.compile(*q->where) : nullptr;
    std::vector<int> targets;
    std::vector<NodePtr> values;
    if (q->type == T::Update) {
        if (q->targetColumns.size() != q->values.size()) throw Error("malformed SET list", Error::Code::Query);
        for (size_t i = 0; i < q->values.size(); ++i) {
            targets.push_back(columnOf(*t, *q->targetColumns[i], src.alias));
            if (!q->values[i]) throw Error("malformed SET list", Error::Code::Query);
            values.push_back(comp.compile(*q->values[i]));
        }
    }

    auto rows = matchingRows(*t, where.get(), env);
    // New values come from the rows as they were before this statement.
    std::vector<FieldValues> changes;
    if (q->type == T::Update) {
        changes.reserve(rows.size());
        for (const auto& [id, row] : rows) {
            const Row* view[1] = {&row};
            FieldValues fv;
            for (size_t i = 0; i < values.size(); ++i)
                fv.push_back({targets[i], ev::eval(*values[i], ev::RowView{view, nullptr}, env)});
            changes.push_back(std::move(fv));
        }
    }
    detail::AutoTxn txn(db);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (q->type == T::Update)
            db.updateRow(t->name(), rows[i].first, changes[i]);
        else
            db.deleteRow(t->name(), rows[i].first);
        ++result.rowsAffected;
    }
    txn.commit();
    return result;
}

}  // namespace jet
