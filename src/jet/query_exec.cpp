// Runs SELECT queries: sources (tables and saved queries, recursively), joins,
// filters, grouping, projection, DISTINCT/DISTINCTROW, ordering and TOP.
//
// Rows of a join are tuples of pointers, one per source, into the sources'
// materialized rows; nothing is copied until the projection. A chain of inner and
// left joins (the usual lookup of names by ID) reads its first source a row at a
// time and projects as it goes instead. Filters that touch
// one source are applied while that source is read, and filters on a saved
// query's columns are handed down into that query, so a parameter query over a
// big joined query only joins the rows it keeps.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <ctime>
#include <numeric>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "database.h"
#include "error.h"
#include "expr_eval.h"
#include "query.h"
#include "table.h"
#include "platform.h"

namespace jet {

namespace {

// Names compare without regard to ASCII case, as Jet's object and field names do.
int compareNames(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int x = std::tolower(static_cast<unsigned char>(a[i])), y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const { return compareNames(a, b) < 0; }

int ResultSet::columnIndex(const std::string& name) const {
    for (size_t i = 0; i < columns.size(); ++i)
        if (compareNames(columns[i].name, name) == 0) return static_cast<int>(i);
    return -1;
}

namespace {

using ev::Node;
using ev::NodePtr;
using Op = Node::Op;

bool iequals(const std::string& a, const std::string& b) { return a.size() == b.size() && compareNames(a, b) == 0; }

std::string upper(const std::string& s) {
    std::string u = s;
    for (auto& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

double systemNow() {
    std::time_t t = std::time(nullptr);
    const std::tm lt = platform::localTime(t);
    return ev::fromCivil(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) +
           ev::timeFraction(lt.tm_hour, lt.tm_min, lt.tm_sec);
}

constexpr int kMaxDepth = 64;

// Shared by a query and the saved queries it reads.
struct RunContext {
    const Database& db;
    const Params& params;
    double now = 0;
    std::vector<std::string> stack;  // upper-cased names of the saved queries being run
    size_t plans = 0;                // saved-query uses so far: a file could nest them exponentially
};

constexpr size_t kMaxPlans = 4096;
// Room reserved up front for a table's rows: its stored count, which a damaged file can overstate.
constexpr size_t kReserveRows = 1u << 20;
constexpr size_t kMaxNodes = 1000000;
// Joined rows held at once; a cross product of big tables stops here instead of exhausting memory.
constexpr size_t kMaxTuples = 50000000;

const Expr* unparen(const Expr* e) {
    while (e && e->kind == Expr::Kind::Paren && !e->args.empty()) e = e->args[0].get();
    return e;
}

void splitAnd(const ExprPtr& e, std::vector<ExprPtr>& out) {
    const Expr* u = unparen(e.get());
    if (u && u->kind == Expr::Kind::Binary && iequals(u->name, "And") && u->args.size() == 2) {
        splitAnd(u->args[0], out);
        splitAnd(u->args[1], out);
        return;
    }
    if (e) out.push_back(e);
}

void collectSources(const NodePtr& n, std::set<int>& out) {
    if (!n) return;
    if (n->op == Op::Field) out.insert(n->slot.source);
    for (const auto& a : n->args) collectSources(a, out);
}

bool hasAggregate(const Expr* e) {
    if (!e) return false;
    if (e->kind == Expr::Kind::Call && ev::isAggregateName(e->name)) return true;
    for (const auto& a : e->args)
        if (hasAggregate(a.get())) return true;
    return false;
}

struct Aggregate {
    std::string fn;  // upper-cased
    NodePtr arg;     // null for Count(*)
};

// A join's conditions split into equal keys between its two sides and the rest, and the
// inner side's tuples hashed by their keys.
class JoinKeys {
public:
    JoinKeys(const std::vector<NodePtr>& conds, const std::set<int>& outer, const std::set<int>& inner, const ev::Env& env)
        : env_(env) {
        auto within = [](const std::set<int>& s, const std::set<int>& side) {
            return !s.empty() && std::includes(side.begin(), side.end(), s.begin(), s.end());
        };
        for (const auto& c : conds) {
            if (c->op == Op::Eq) {
                std::set<int> a, b;
                collectSources(c->args[0], a);
                collectSources(c->args[1], b);
                if (within(a, outer) && within(b, inner)) {
                    outerKeys_.push_back(c->args[0].get());
                    innerKeys_.push_back(c->args[1].get());
                    continue;
                }
                if (within(b, outer) && within(a, inner)) {
                    outerKeys_.push_back(c->args[1].get());
                    innerKeys_.push_back(c->args[0].get());
                    continue;
                }
            }
            residual_.push_back(c.get());
        }
        single_ = outerKeys_.size() == 1;
    }
    // False: no equal keys, every pair of tuples is a candidate.
    bool keyed() const { return !outerKeys_.empty(); }
    void add(const Row* const* innerTuple, uint32_t i) {
        if (keyOf(innerTuple, innerKeys_)) (isNumber_ ? numbers_[bits_] : hash_[key_]).push_back(i);
    }
    // The inner tuples whose keys equal the outer tuple's (none when a key part is Null).
    const std::vector<uint32_t>& find(const Row* const* outerTuple) {
        static const std::vector<uint32_t> none;
        if (!keyOf(outerTuple, outerKeys_)) return none;
        if (isNumber_) {
            auto it = numbers_.find(bits_);
            return it == numbers_.end() ? none : it->second;
        }
        auto it = hash_.find(key_);
        return it == hash_.end() ? none : it->second;
    }
    bool residualHolds(const Row* const* tuple) const {
        for (const Node* c : residual_)
            if (!ev::isTrue(*c, ev::RowView{tuple, nullptr}, env_)) return false;
        return true;
    }

private:
    // One key's value for a tuple, read in place for a column; nullptr for Null.
    const Value* keyValue(const Row* const* tuple, const Node* k) {
        if (k->op == Op::Field) {
            const Value* v = ev::fieldValue(*k, ev::RowView{tuple, nullptr});
            return v && !v->isNull() ? v : nullptr;
        }
        scratch_ = ev::eval(*k, ev::RowView{tuple, nullptr}, env_);
        return scratch_.isNull() ? nullptr : &scratch_;
    }
    // Where a tuple's key goes: one number key (most joins: an ID against an ID)
    // by the bits of its value in `numbers_`, anything else as appendKey writes it
    // in `hash_` (a number's key never equals another kind's). False for a Null part.
    bool keyOf(const Row* const* tuple, const std::vector<const Node*>& keys) {
        key_.clear();
        isNumber_ = false;
        for (const Node* k : keys) {
            const Value* v = keyValue(tuple, k);
            if (!v) return false;
            const bool int32 = v->kind() == Value::Kind::Int32;  // an ID: most keys
            if (single_ && (int32 || ev::isNumberKind(*v))) {
                double d = int32 ? v->asInt32() : ev::numberOf(*v);
                if (d == 0) d = 0;  // -0 equals 0
                std::memcpy(&bits_, &d, sizeof bits_);
                isNumber_ = true;
                return true;
            }
            ev::appendKey(key_, *v);
        }
        return true;
    }

    const ev::Env& env_;
    std::vector<const Node*> outerKeys_, innerKeys_, residual_;
    bool single_ = false;
    std::unordered_map<uint64_t, std::vector<uint32_t>> numbers_;
    std::unordered_map<std::string, std::vector<uint32_t>> hash_;
    Value scratch_;
    std::string key_;
    uint64_t bits_ = 0;
    bool isNumber_ = false;
};

class Plan;
ResultSet runModel(RunContext& ctx, std::shared_ptr<const QueryModel> q, int depth);

struct Leaf {
    std::string name;       // table or query name
    std::string qualifier;  // alias, or the name when there is none
    bool hasAlias = false;
    std::shared_ptr<const Table> table;
    std::unique_ptr<Plan> child;
    std::vector<std::string> columns;
    std::vector<bool> wanted;
    std::vector<NodePtr> filters;  // conditions on this source alone
    bool nullSupplied = false;     // on the optional side of an outer join
    std::vector<Row> rows;
    std::vector<ColType> types;
    bool preloaded = false;  // rows already read (a UNION query used as a source)
};

struct Relation {
    std::vector<const Row*> tuples;  // stride = number of leaves
    std::set<int> leaves;
};

class Plan {
public:
    Plan(RunContext& ctx, std::shared_ptr<const QueryModel> q, int depth);
    ~Plan();

    const std::vector<std::string>& outputNames() const { return outNames_; }
    bool canAcceptFilters() const { return canPush_; }
    // A condition in terms of this query's sources (already rewritten by the caller).
    void addFilter(ExprPtr e) { pushed_.push_back(std::move(e)); }
    const ExprPtr& outputExpr(size_t i) const { return outExprs_[i]; }
    ResultSet run();

private:
    struct Resolved {
        enum Kind { Slot, Param, Alias } kind = Slot;
        ev::Slot slot;
        Value value;
        size_t alias = 0;
    };

    void addLeaves(const FromPtr& f, bool nullSupplied);
    void expandSelect();
    Resolved resolve(const Expr& e) const;
    Value paramValue(const std::string& name) const;
    NodePtr compile(const Expr& e, bool allowAggregates, int aliasDepth = 0);
    ExprPtr rewriteForChild(const Expr& e, int leaf) const;
    void markWanted(const NodePtr& n);
    bool passesFilters(const Leaf& leaf, const Row& row);
    void readLeaf(Leaf& leaf);
    void scanTable(Leaf& leaf, const std::function<void(Row&)>& use);
    bool streamChain(std::vector<std::pair<NodePtr, std::set<int>>>& residual, std::vector<Row>& out,
                     const std::function<void(const Row* const*)>& project);
    std::optional<std::vector<RowId>> indexedRows(const Leaf& leaf, size_t leafIndex) const;
    Relation fromRelation(const FromPtr& f);
    Relation leafRelation(int leaf);
    Relation join(Relation l, Relation r, FromItem::JoinType type, std::vector<NodePtr> conds);
    [[noreturn]] void fail(const std::string& problem) const { ev::fail(env_, problem); }

    RunContext& ctx_;
    std::shared_ptr<const QueryModel> model_;
    const QueryModel& q_;
    int depth_;
    ev::Env env_;
    std::vector<Leaf> leaves_;
    std::map<const FromItem*, int> leafOf_;
    std::vector<ExprPtr> outExprs_;  // one per output column
    std::vector<std::string> outNames_;
    std::vector<int> starLeaf_;      // leaf of a column that came from *, or -1
    bool canPush_ = false;
    bool grouped_ = false;
    std::vector<ExprPtr> pushed_;
    std::vector<Aggregate> aggregates_;
    std::map<const FromItem*, std::vector<NodePtr>> onConds_;
    size_t compiledNodes_ = 0;
    std::vector<const Row*> filterView_;  // passesFilters' tuple, kept to spare an allocation a row
};

Plan::~Plan() = default;

Plan::Plan(RunContext& ctx, std::shared_ptr<const QueryModel> model, int depth)
    : ctx_(ctx), model_(std::move(model)), q_(*model_), depth_(depth) {
    const QueryModel& q = q_;
    env_.queryName = q.name;
    env_.now = ctx.now;
    if (depth > kMaxDepth) fail("saved queries nested too deeply");
    if (++ctx.plans > kMaxPlans) fail("too many uses of saved queries");
    if (q.type != QueryModel::Type::Select) fail("only SELECT queries can be run here");
    for (const auto& f : q.from) addLeaves(f, false);
    expandSelect();
    grouped_ = !q.groupBy.empty() || q.having != nullptr;
    for (const auto& item : q.columns) grouped_ = grouped_ || hasAggregate(item.expr.get());
    for (const auto& o : q.orderBy) grouped_ = grouped_ || hasAggregate(o.expr.get());
    canPush_ = !grouped_ && !q.distinct && q.top.empty();
}

void Plan::addLeaves(const FromPtr& f, bool nullSupplied) {
    if (!f) fail("empty FROM item");
    if (f->kind == FromItem::Kind::Join) {
        addLeaves(f->left, nullSupplied || f->joinType == FromItem::JoinType::Right);
        addLeaves(f->right, nullSupplied || f->joinType == FromItem::JoinType::Left);
        return;
    }
    Leaf leaf;
    leaf.name = f->name;
    leaf.hasAlias = !f->alias.empty();
    leaf.qualifier = leaf.hasAlias ? f->alias : f->name;
    leaf.nullSupplied = nullSupplied;
    const Database& db = ctx_.db;
    if (db.hasTable(f->name)) {
        leaf.table = db.table(f->name);
        for (const auto& c : leaf.table->columns()) {
            leaf.columns.push_back(c.name);
            leaf.types.push_back(c.type);
        }
    } else if (db.hasQuery(f->name)) {
        std::string key = upper(f->name);
        if (std::find(ctx_.stack.begin(), ctx_.stack.end(), key) != ctx_.stack.end())
            fail("query '" + f->name + "' refers to itself");
        std::shared_ptr<const QueryModel> model = db.query(f->name);
        if (!model) fail("query '" + f->name + "' not found");
        auto named = std::make_shared<QueryModel>(*model);
        if (named->name.empty()) named->name = f->name;
        ctx_.stack.push_back(key);
        if (named->type == QueryModel::Type::Union) {
            // A union has no single source to hand filters to: its rows are read up front.
            ResultSet rs = runModel(ctx_, named, depth_ + 1);
            for (const auto& c : rs.columns) {
                leaf.columns.push_back(c.name);
                leaf.types.push_back(c.type);
            }
            leaf.rows = std::move(rs.rows);
            leaf.preloaded = true;
        } else {
            leaf.child = std::make_unique<Plan>(ctx_, named, depth_ + 1);
            leaf.columns = leaf.child->outputNames();
        }
        ctx_.stack.pop_back();
    } else {
        fail("table or query '" + f->name + "' not found");
    }
    leaf.wanted.assign(leaf.columns.size(), false);
    leafOf_[f.get()] = static_cast<int>(leaves_.size());
    leaves_.push_back(std::move(leaf));
}

void Plan::expandSelect() {
    int exprCounter = 1000;
    for (const auto& item : q_.columns) {
        const Expr* e = unparen(item.expr.get());
        if (!e) fail("empty SELECT item");
        if (e->kind == Expr::Kind::Star) {
            bool any = false;
            for (size_t li = 0; li < leaves_.size(); ++li) {
                const Leaf& leaf = leaves_[li];
                if (!e->table.empty() && !iequals(e->table, leaf.qualifier) && (leaf.hasAlias || !iequals(e->table, leaf.name)))
                    continue;
                any = true;
                for (const auto& col : leaf.columns) {
                    auto f = std::make_shared<Expr>();
                    f->kind = Expr::Kind::Field;
                    f->table = leaf.qualifier;
                    f->name = col;
                    outExprs_.push_back(f);
                    outNames_.push_back(col);
                    starLeaf_.push_back(static_cast<int>(li));
                }
            }
            if (!any) fail(e->table.empty() ? "SELECT * without a source" : "unknown table '" + e->table + "' in " + e->table + ".*");
            continue;
        }
        outExprs_.push_back(item.expr);
        starLeaf_.push_back(-1);
        if (!item.alias.empty()) {
            outNames_.push_back(item.alias);
        } else if (e->kind == Expr::Kind::Field) {
            outNames_.push_back(e->name);
        } else if (e->kind == Expr::Kind::Call && ev::isAggregateName(e->name) && e->args.size() == 1 &&
                   unparen(e->args[0].get())->kind == Expr::Kind::Field) {
            // Access names an unnamed aggregate of a field "SumOfAmount".
            std::string fn = e->name;
            for (size_t i = 0; i < fn.size(); ++i)
                fn[i] = static_cast<char>(i == 0 ? std::toupper(static_cast<unsigned char>(fn[i]))
                                                 : std::tolower(static_cast<unsigned char>(fn[i])));
            if (iequals(fn, "StDev")) fn = "StDev";
            if (iequals(fn, "StDevP")) fn = "StDevP";
            if (iequals(fn, "VarP")) fn = "VarP";
            outNames_.push_back(fn + "Of" + unparen(e->args[0].get())->name);
        } else {
            outNames_.push_back("Expr" + std::to_string(exprCounter++));
        }
    }
    // Plain fields of the same name from different sources are told apart by their source ("T.ID").
    std::vector<int> fieldLeaf(outNames_.size(), -1);
    for (size_t i = 0; i < outNames_.size(); ++i) {
        if (starLeaf_[i] >= 0) {
            fieldLeaf[i] = starLeaf_[i];
            continue;
        }
        const Expr* e = unparen(outExprs_[i].get());
        if (e->kind != Expr::Kind::Field || !iequals(outNames_[i], e->name)) continue;
        for (size_t li = 0; li < leaves_.size() && fieldLeaf[i] < 0; ++li) {
            const Leaf& leaf = leaves_[li];
            bool named = e->table.empty() || iequals(e->table, leaf.qualifier) || (!leaf.hasAlias && iequals(e->table, leaf.name));
            if (!named) continue;
            for (const auto& c : leaf.columns)
                if (iequals(c, e->name)) {
                    fieldLeaf[i] = static_cast<int>(li);
                    break;
                }
        }
    }
    std::vector<std::string> names = outNames_;
    for (size_t i = 0; i < names.size(); ++i) {
        if (fieldLeaf[i] < 0) continue;
        for (size_t j = 0; j < names.size(); ++j)
            if (i != j && fieldLeaf[j] >= 0 && fieldLeaf[j] != fieldLeaf[i] && iequals(outNames_[i], outNames_[j])) {
                names[i] = leaves_[static_cast<size_t>(fieldLeaf[i])].qualifier + "." + outNames_[i];
                break;
            }
    }
    outNames_ = std::move(names);
}

Value Plan::paramValue(const std::string& name) const {
    auto it = ctx_.params.find(name);
    if (it == ctx_.params.end()) fail("parameter [" + name + "] has no value");
    for (const auto& p : q_.params)
        if (iequals(p.name, name)) return ev::convertParam(it->second, p.type, env_);
    return it->second;
}

Plan::Resolved Plan::resolve(const Expr& e) const {
    Resolved r;
    if (!e.table.empty()) {
        int found = -1;
        for (size_t li = 0; li < leaves_.size(); ++li) {
            const Leaf& leaf = leaves_[li];
            if (iequals(e.table, leaf.qualifier) || (!leaf.hasAlias && iequals(e.table, leaf.name))) {
                if (found >= 0) fail("source '" + e.table + "' is ambiguous: give each use an alias");
                found = static_cast<int>(li);
            }
        }
        if (found >= 0) {
            const auto& cols = leaves_[static_cast<size_t>(found)].columns;
            for (size_t c = 0; c < cols.size(); ++c)
                if (iequals(cols[c], e.name)) {
                    r.slot = {found, static_cast<int>(c)};
                    return r;
                }
        }
        // Jet asks for anything it cannot resolve as a parameter.
        r.kind = Resolved::Param;
        r.value = paramValue(e.table + "." + e.name);
        return r;
    }
    int hits = 0;
    std::string where;
    for (size_t li = 0; li < leaves_.size(); ++li) {
        const auto& cols = leaves_[li].columns;
        for (size_t c = 0; c < cols.size(); ++c)
            if (iequals(cols[c], e.name)) {
                if (hits++ == 0) r.slot = {static_cast<int>(li), static_cast<int>(c)};
                where += (where.empty() ? "" : ", ") + leaves_[li].qualifier;
                break;
            }
    }
    if (hits > 1) fail("field '" + e.name + "' is ambiguous: it is in " + where);
    if (hits == 1) return r;
    for (size_t i = 0; i < q_.columns.size(); ++i)
        if (iequals(q_.columns[i].alias, e.name)) {
            r.kind = Resolved::Alias;
            r.alias = i;
            return r;
        }
    r.kind = Resolved::Param;
    r.value = paramValue(e.name);
    return r;
}

NodePtr Plan::compile(const Expr& e, bool allowAggregates, int aliasDepth) {
    // Names resolve over the FROM sources, then the SELECT aliases (expanded in
    // place; a chain of them doubles at every step), then the parameters.
    class PlanCompiler : public ev::Compiler {
    public:
        PlanCompiler(Plan& p, bool allowAggregates, int aliasDepth)
            : ev::Compiler(p.env_, p.compiledNodes_, kMaxNodes), p_(p), allowAggregates_(allowAggregates),
              aliasDepth_(aliasDepth) {}
        void raise(const std::string& problem) const override { p_.fail(problem); }

    protected:
        NodePtr field(const Expr& e) override {
            Resolved r = p_.resolve(e);
            if (r.kind == Resolved::Param) return constant(r.value);
            if (r.kind == Resolved::Alias) {
                if (aliasDepth_ > 16) fail("circular reference to '" + e.name + "'");
                return p_.compile(*p_.q_.columns[r.alias].expr, allowAggregates_, aliasDepth_ + 1);
            }
            auto n = std::make_unique<Node>();
            n->op = Op::Field;
            n->slot = r.slot;
            return n;
        }
        NodePtr aggregate(const Expr& e) override {
            if (!allowAggregates_) return ev::Compiler::aggregate(e);
            if (e.args.size() != 1 || !e.args[0]) fail("wrong number of arguments to function " + e.name + "()");
            Aggregate agg;
            agg.fn = upper(e.name);
            const Expr* a = unparen(e.args[0].get());
            if (a->kind == Expr::Kind::Star) {
                if (agg.fn != "COUNT") fail(e.name + "(*) is not allowed");
            } else {
                agg.arg = p_.compile(*e.args[0], false, aliasDepth_);
            }
            auto n = std::make_unique<Node>();
            n->op = Op::Aggregate;
            n->aggregate = static_cast<int>(p_.aggregates_.size());
            p_.aggregates_.push_back(std::move(agg));
            return n;
        }

    private:
        Plan& p_;
        bool allowAggregates_;
        int aliasDepth_;
    };
    return PlanCompiler(*this, allowAggregates, aliasDepth).compile(e);
}

ExprPtr Plan::rewriteForChild(const Expr& e, int leaf) const {
    switch (e.kind) {
        case Expr::Kind::Field: {
            Resolved r = resolve(e);
            if (r.kind == Resolved::Param) {
                auto lit = std::make_shared<Expr>();
                lit->kind = Expr::Kind::Literal;
                lit->value = r.value;
                return lit;
            }
            if (r.kind != Resolved::Slot || r.slot.source != leaf) return nullptr;
            auto p = std::make_shared<Expr>();
            p->kind = Expr::Kind::Paren;
            p->args.push_back(leaves_[static_cast<size_t>(leaf)].child->outputExpr(static_cast<size_t>(r.slot.column)));
            return p;
        }
        case Expr::Kind::Star: return nullptr;
        case Expr::Kind::Call:
            if (ev::isAggregateName(e.name)) return nullptr;
            break;
        default: break;
    }
    auto copy = std::make_shared<Expr>(e);
    for (auto& a : copy->args) {
        if (!a) return nullptr;
        a = rewriteForChild(*a, leaf);
        if (!a) return nullptr;
    }
    return copy;
}

void Plan::markWanted(const NodePtr& n) {
    if (!n) return;
    if (n->op == Op::Field) {
        Leaf& leaf = leaves_[static_cast<size_t>(n->slot.source)];
        if (static_cast<size_t>(n->slot.column) < leaf.wanted.size()) leaf.wanted[static_cast<size_t>(n->slot.column)] = true;
    }
    for (const auto& a : n->args) markWanted(a);
}

bool Plan::passesFilters(const Leaf& leaf, const Row& row) {
    filterView_.assign(leaves_.size(), nullptr);
    filterView_[static_cast<size_t>(&leaf - leaves_.data())] = &row;
    for (const auto& f : leaf.filters)
        if (!ev::isTrue(*f, ev::RowView{filterView_.data(), nullptr}, env_)) return false;
    return true;
}

void Plan::readLeaf(Leaf& leaf) {
    if (leaf.preloaded) {
        if (!leaf.filters.empty()) {
            std::vector<Row> kept;
            for (auto& r : leaf.rows)
                if (passesFilters(leaf, r)) kept.push_back(std::move(r));
            leaf.rows = std::move(kept);
        }
        return;
    }
    if (leaf.child) {
        ResultSet rs = leaf.child->run();
        leaf.types.clear();
        for (const auto& c : rs.columns) leaf.types.push_back(c.type);
        if (leaf.filters.empty()) {
            leaf.rows = std::move(rs.rows);
        } else {
            for (auto& r : rs.rows)
                if (passesFilters(leaf, r)) leaf.rows.push_back(std::move(r));
        }
        return;
    }
    if (leaf.filters.empty()) leaf.rows.reserve(std::min<size_t>(leaf.table->rowCount(), kReserveRows));
    scanTable(leaf, [&](Row& r) { leaf.rows.push_back(std::move(r)); });
}

void Plan::scanTable(Leaf& leaf, const std::function<void(Row&)>& use) {
    const size_t leafIndex = static_cast<size_t>(&leaf - leaves_.data());
    const Table& t = *leaf.table;
    std::vector<int> wanted, filterCols;
    std::vector<bool> inFilter(leaf.columns.size(), false);
    for (const auto& f : leaf.filters) {
        std::vector<const Node*> stack{f.get()};
        while (!stack.empty()) {
            const Node* n = stack.back();
            stack.pop_back();
            if (n->op == Op::Field && static_cast<size_t>(n->slot.column) < inFilter.size()) inFilter[static_cast<size_t>(n->slot.column)] = true;
            for (const auto& a : n->args) stack.push_back(a.get());
        }
    }
    bool extra = false;
    for (size_t c = 0; c < leaf.columns.size(); ++c) {
        if (leaf.wanted[c] || inFilter[c]) wanted.push_back(static_cast<int>(c));
        if (inFilter[c]) filterCols.push_back(static_cast<int>(c));
        if (leaf.wanted[c] && !inFilter[c]) extra = true;
    }
    // An empty list would mean "every column".
    if (wanted.empty() && !leaf.columns.empty()) wanted.push_back(0);
    if (auto ids = indexedRows(leaf, leafIndex)) {
        for (const RowId& id : *ids) {
            auto row = t.readRow(id, wanted);
            if (row && passesFilters(leaf, *row)) use(*row);
        }
        return;
    }
    if (!extra || leaf.filters.empty()) {
        auto cur = t.scan(wanted);
        while (cur.next())
            if (leaf.filters.empty() || passesFilters(leaf, cur.row())) use(cur.row());
        return;
    }
    // Read the filter's columns first and the rest only for the rows that pass.
    std::vector<RowId> keep;
    auto cur = t.scan(filterCols);
    while (cur.next())
        if (passesFilters(leaf, cur.row())) keep.push_back(cur.rowId());
    for (const RowId& id : keep)
        if (auto row = t.readRow(id, wanted)) use(*row);
}

// The value an index key holds for `v` in a column of type `t`, when the two
// compare equal exactly (otherwise the filter is left to a scan).
std::optional<Value> keyValue(ColType t, const Value& v) {
    if (v.isNull()) return std::nullopt;
    if (t == ColType::Text || t == ColType::Memo) {
        if (!v.isText()) return std::nullopt;
        return v;
    }
    if (!ev::isNumberKind(v)) return std::nullopt;
    double d = ev::numberOf(v);
    auto integral = [&](double lo, double hi) { return d == std::trunc(d) && d >= lo && d <= hi; };
    switch (t) {
        case ColType::Long:
            if (!integral(-2147483648.0, 2147483647.0)) return std::nullopt;
            return Value::int32(static_cast<int32_t>(d));
        case ColType::Int:
            if (!integral(-32768, 32767)) return std::nullopt;
            return Value::int16(static_cast<int16_t>(d));
        case ColType::Byte:
            if (!integral(0, 255)) return std::nullopt;
            return Value::byte(static_cast<uint8_t>(d));
        case ColType::DateTime: return Value::date(d);
        case ColType::Double: return Value::dbl(d);
        default: return std::nullopt;
    }
}

// Rows of a table leaf found through an index, for a filter "column = constant"
// on an indexed column, in the table's own order. Nullopt: no usable index.
std::optional<std::vector<RowId>> Plan::indexedRows(const Leaf& leaf, size_t leafIndex) const {
    const Table& t = *leaf.table;
    for (const auto& f : leaf.filters) {
        if (f->op != Op::Eq) continue;
        const Node* field = f->args[0].get();
        const Node* constant = f->args[1].get();
        if (field->op != Op::Field) std::swap(field, constant);
        if (field->op != Op::Field || constant->op != Op::Const) continue;
        if (static_cast<size_t>(field->slot.source) != leafIndex) continue;
        int col = field->slot.column;
        const auto& cols = t.columns();
        if (col < 0 || static_cast<size_t>(col) >= cols.size()) continue;
        auto key = keyValue(cols[static_cast<size_t>(col)].type, constant->value);
        if (!key) continue;
        for (const Index& ix : t.indexes()) {
            if (ix.columns.empty() || ix.columns[0].column != col) continue;
            std::vector<RowId> ids;
            try {
                ids = t.seek(ix, {*key});
            } catch (const Error&) {
                continue;  // an index that cannot be read leaves the scan to do the work
            }
            std::unordered_map<uint32_t, size_t> rank;
            auto pages = t.dataPages();
            for (size_t i = 0; i < pages.size(); ++i) rank.emplace(pages[i], i);
            auto rankOf = [&](const RowId& id) {
                auto it = rank.find(id.page);
                return it == rank.end() ? pages.size() : it->second;
            };
            std::sort(ids.begin(), ids.end(), [&](const RowId& a, const RowId& b) {
                size_t ra = rankOf(a), rb = rankOf(b);
                return ra != rb ? ra < rb : a.row < b.row;
            });
            ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
            return ids;
        }
    }
    return std::nullopt;
}

Relation Plan::leafRelation(int li) {
    Relation r;
    size_t n = leaves_.size();
    const Leaf& leaf = leaves_[static_cast<size_t>(li)];
    r.leaves.insert(li);
    r.tuples.assign(leaf.rows.size() * n, nullptr);
    for (size_t i = 0; i < leaf.rows.size(); ++i) r.tuples[i * n + static_cast<size_t>(li)] = &leaf.rows[i];
    return r;
}

Relation Plan::fromRelation(const FromPtr& f) {
    if (f->kind == FromItem::Kind::Source) return leafRelation(leafOf_.at(f.get()));
    Relation l = fromRelation(f->left);
    Relation r = fromRelation(f->right);
    return join(std::move(l), std::move(r), f->joinType, std::move(onConds_[f.get()]));
}

Relation Plan::join(Relation l, Relation r, FromItem::JoinType type, std::vector<NodePtr> conds) {
    const size_t n = leaves_.size();
    bool rightJoin = type == FromItem::JoinType::Right;
    Relation& outer = rightJoin ? r : l;
    Relation& inner = rightJoin ? l : r;
    bool keepUnmatched = type != FromItem::JoinType::Inner;
    JoinKeys keys(conds, outer.leaves, inner.leaves, env_);
    size_t innerCount = inner.tuples.size() / std::max<size_t>(n, 1);
    size_t outerCount = outer.tuples.size() / std::max<size_t>(n, 1);
    if (keys.keyed())
        for (size_t i = 0; i < innerCount; ++i) keys.add(&inner.tuples[i * n], static_cast<uint32_t>(i));
    Relation out;
    out.leaves = l.leaves;
    out.leaves.insert(r.leaves.begin(), r.leaves.end());
    std::vector<const Row*> combined(n);
    if (keys.keyed()) out.tuples.reserve(outer.tuples.size());  // one match each, as joins on an ID give
    std::vector<uint32_t> all;
    if (!keys.keyed()) {
        all.resize(innerCount);
        std::iota(all.begin(), all.end(), 0u);
    }
    for (size_t i = 0; i < outerCount; ++i) {
        const Row* const* o = &outer.tuples[i * n];
        const std::vector<uint32_t>& matches = keys.keyed() ? keys.find(o) : all;
        bool matched = false;
        for (uint32_t j : matches) {
            const Row* const* in = &inner.tuples[static_cast<size_t>(j) * n];
            for (size_t k = 0; k < n; ++k) combined[k] = o[k] ? o[k] : in[k];
            if (!keys.residualHolds(combined.data())) continue;
            matched = true;
            if (out.tuples.size() >= kMaxTuples * std::max<size_t>(n, 1)) fail("the join gives too many rows");
            out.tuples.insert(out.tuples.end(), combined.begin(), combined.end());
        }
        if (!matched && keepUnmatched) out.tuples.insert(out.tuples.end(), o, o + n);
    }
    return out;
}

struct AggState {
    int64_t count = 0;
    double sum = 0, sumSq = 0;
    int64_t curSum = 0;
    bool allCurrency = true, allIntegral = true, allDate = true;
    Value min, max, first, last;
    bool seen = false;
};

void accumulate(AggState& s, const Aggregate& agg, const Row* const* tuple, const ev::Env& env) {
    if (!agg.arg) {
        ++s.count;
        return;
    }
    Value v = ev::eval(*agg.arg, ev::RowView{tuple, nullptr}, env);
    if (!s.seen) {
        s.first = v;
        s.seen = true;
    }
    s.last = v;
    if (v.isNull()) return;
    ++s.count;
    if (agg.fn == "COUNT") return;
    if (agg.fn == "MIN" || agg.fn == "MAX") {
        if (s.count == 1) s.min = s.max = v;
        else {
            if (ev::compareForSort(v, s.min) < 0) s.min = v;
            if (ev::compareForSort(v, s.max) > 0) s.max = v;
        }
        return;
    }
    if (agg.fn == "FIRST" || agg.fn == "LAST") return;
    double d = ev::toNumber(v, env);
    s.sum += d;
    s.sumSq += d * d;
    auto k = v.kind();
    if (k == Value::Kind::Currency) s.curSum += v.asCurrency().scaled;
    else s.allCurrency = false;
    if (k != Value::Kind::Int16 && k != Value::Kind::Int32 && k != Value::Kind::Byte && k != Value::Kind::Bool) s.allIntegral = false;
    if (k != Value::Kind::Date) s.allDate = false;
}

Value finish(const AggState& s, const Aggregate& agg) {
    const std::string& f = agg.fn;
    if (f == "COUNT") return Value::int32(static_cast<int32_t>(s.count));
    if (f == "FIRST") return s.first;
    if (f == "LAST") return s.last;
    if (s.count == 0) return Value::null();
    if (f == "MIN") return s.min;
    if (f == "MAX") return s.max;
    if (f == "SUM") {
        if (s.allCurrency) return Value::currency(Currency{s.curSum});
        if (s.allIntegral && std::fabs(s.sum) <= 2147483647.0) return Value::int32(static_cast<int32_t>(s.sum));
        if (s.allDate) return Value::date(s.sum);
        return Value::dbl(s.sum);
    }
    if (f == "AVG") {
        double avg = s.sum / static_cast<double>(s.count);
        if (s.allCurrency) return Value::currency(Currency{static_cast<int64_t>(ev::roundHalfEven(avg * 10000.0))});
        if (s.allDate) return Value::date(avg);
        return Value::dbl(avg);
    }
    bool population = f == "STDEVP" || f == "VARP";
    double n = static_cast<double>(s.count);
    if (!population && s.count < 2) return Value::null();
    double mean = s.sum / n;
    double var = (s.sumSq - n * mean * mean) / (population ? n : n - 1);
    if (var < 0) var = 0;
    return Value::dbl(f == "STDEV" || f == "STDEVP" ? std::sqrt(var) : var);
}

// "TOP 10" / "TOP 25 PERCENT" / "10"
bool parseTop(const std::string& text, double& n, bool& percent) {
    std::string u = upper(text);
    size_t i = u.find_first_of("0123456789");
    if (i == std::string::npos) return false;
    size_t j = i;
    while (j < u.size() && (std::isdigit(static_cast<unsigned char>(u[j])) || u[j] == '.')) ++j;
    n = std::atof(u.substr(i, j - i).c_str());
    percent = u.find("PERCENT") != std::string::npos;
    return true;
}

// A FROM of one source joined, left to right, to one table or query after another by inner or
// left joins runs a row of its first source at a time: the others are read and hashed by their
// join keys, and each combination that passes goes straight to `project` in the order the joins
// would give it, so no relation of every combination is held. False, with nothing done, for
// any other FROM.
bool Plan::streamChain(std::vector<std::pair<NodePtr, std::set<int>>>& residual, std::vector<Row>& out,
                       const std::function<void(const Row* const*)>& project) {
    if (q_.from.size() != 1) return false;
    std::vector<const FromItem*> joins;
    const FromItem* f = q_.from[0].get();
    for (; f->kind == FromItem::Kind::Join; f = f->left.get()) {
        if (f->joinType == FromItem::JoinType::Right || f->right->kind != FromItem::Kind::Source) return false;
        joins.push_back(f);
    }
    std::reverse(joins.begin(), joins.end());
    struct Step {
        size_t leaf;
        bool left;
        JoinKeys keys;
        std::vector<uint32_t> all;  // every row, for a join without equal keys
    };
    std::vector<Step> steps;
    steps.reserve(joins.size());
    std::vector<const Row*> tuple(leaves_.size(), nullptr);
    const size_t first = static_cast<size_t>(leafOf_.at(f));
    std::set<int> outer{static_cast<int>(first)};
    for (const FromItem* j : joins) {
        const int li = leafOf_.at(j->right.get());
        Leaf& leaf = leaves_[static_cast<size_t>(li)];
        readLeaf(leaf);
        Step& st = steps.emplace_back(Step{static_cast<size_t>(li), j->joinType == FromItem::JoinType::Left,
                                           JoinKeys(onConds_[j], outer, std::set<int>{li}, env_), {}});
        for (uint32_t i = 0; i < leaf.rows.size(); ++i) {
            tuple[st.leaf] = &leaf.rows[i];
            if (st.keys.keyed()) st.keys.add(tuple.data(), i);
            else st.all.push_back(i);
        }
        tuple[st.leaf] = nullptr;
        outer.insert(li);
    }
    size_t produced = 0;
    auto descend = [&](auto& self, size_t s) -> void {
        if (s == steps.size()) {
            for (const auto& [node, srcs] : residual)
                if (!ev::isTrue(*node, ev::RowView{tuple.data(), nullptr}, env_)) return;
            if (++produced > kMaxTuples) fail("the join gives too many rows");
            return project(tuple.data());
        }
        Step& st = steps[s];
        const std::vector<Row>& rows = leaves_[st.leaf].rows;
        bool matched = false;
        for (uint32_t j : st.keys.keyed() ? st.keys.find(tuple.data()) : st.all) {
            tuple[st.leaf] = &rows[j];
            if (!st.keys.residualHolds(tuple.data())) continue;
            matched = true;
            self(self, s + 1);
        }
        tuple[st.leaf] = nullptr;
        if (!matched && st.left) self(self, s + 1);
    };
    auto drive = [&](Row& r) {
        tuple[first] = &r;
        descend(descend, 0);
    };
    Leaf& driver = leaves_[first];
    if (driver.table) {
        if (driver.filters.empty()) out.reserve(std::min<size_t>(driver.table->rowCount(), kReserveRows));
        scanTable(driver, drive);
    } else {
        readLeaf(driver);
        for (Row& r : driver.rows) drive(r);
    }
    residual.clear();
    return true;
}

ResultSet Plan::run() {
    const size_t nLeaves = leaves_.size();
    // Output expressions
    std::vector<NodePtr> outNodes;
    for (size_t i = 0; i < outExprs_.size(); ++i) outNodes.push_back(compile(*outExprs_[i], grouped_));
    // Conditions: the query's own WHERE and any handed down by an outer query.
    std::vector<ExprPtr> conjuncts;
    splitAnd(q_.where, conjuncts);
    for (const auto& p : pushed_) splitAnd(p, conjuncts);
    bool nothing = false;
    std::vector<std::pair<NodePtr, std::set<int>>> residual;
    for (const auto& c : conjuncts) {
        NodePtr node = compile(*c, false);
        std::set<int> srcs;
        collectSources(node, srcs);
        if (srcs.empty()) {
            if (!ev::isTrue(*node, ev::RowView{nullptr, nullptr}, env_)) nothing = true;
            continue;
        }
        if (srcs.size() == 1) {
            Leaf& leaf = leaves_[static_cast<size_t>(*srcs.begin())];
            if (!leaf.nullSupplied) {
                if (leaf.child && leaf.child->canAcceptFilters()) {
                    if (ExprPtr down = rewriteForChild(*c, *srcs.begin())) {
                        leaf.child->addFilter(down);
                        continue;
                    }
                }
                markWanted(node);
                leaf.filters.push_back(std::move(node));
                continue;
            }
        }
        markWanted(node);
        residual.emplace_back(std::move(node), std::move(srcs));
    }
    // Join conditions
    std::vector<const FromItem*> stack;
    for (const auto& f : q_.from) stack.push_back(f.get());
    while (!stack.empty()) {
        const FromItem* f = stack.back();
        stack.pop_back();
        if (f->kind != FromItem::Kind::Join) continue;
        std::vector<ExprPtr> parts;
        splitAnd(f->on, parts);
        auto& conds = onConds_[f];
        for (const auto& p : parts) {
            conds.push_back(compile(*p, false));
            markWanted(conds.back());
        }
        stack.push_back(f->left.get());
        stack.push_back(f->right.get());
    }
    std::vector<NodePtr> groupNodes, orderNodes;
    for (const auto& g : q_.groupBy) groupNodes.push_back(compile(*g, false));
    for (const auto& o : q_.orderBy) orderNodes.push_back(compile(*o.expr, grouped_));
    NodePtr having = q_.having ? compile(*q_.having, true) : nullptr;
    for (const auto& n : outNodes) markWanted(n);
    for (const auto& n : groupNodes) markWanted(n);
    for (const auto& n : orderNodes) markWanted(n);
    markWanted(having);
    for (const auto& a : aggregates_) markWanted(a.arg);
    for (size_t i = 0; i < starLeaf_.size(); ++i)
        if (starLeaf_[i] >= 0) leaves_[static_cast<size_t>(starLeaf_[i])].wanted.assign(leaves_[static_cast<size_t>(starLeaf_[i])].columns.size(), true);

    ResultSet rs;
    std::vector<std::vector<Value>> orderKeys;
    std::vector<const Row*> noRows(std::max<size_t>(nLeaves, 1), nullptr);
    auto project = [&](const Row* const* t, const std::vector<Value>* aggs) {
        ev::RowView view{t, aggs};
        Row out;
        out.reserve(outNodes.size());
        for (const auto& n : outNodes) {
            if (n->op == Op::Field) {  // most output columns: copied straight into the row
                const Value* v = ev::fieldValue(*n, view);
                if (v) out.push_back(*v);
                else out.emplace_back();
                continue;
            }
            out.push_back(ev::eval(*n, view, env_));
        }
        rs.rows.push_back(std::move(out));
        if (orderNodes.empty()) return;
        std::vector<Value> keys;
        keys.reserve(orderNodes.size());
        for (const auto& n : orderNodes) keys.push_back(ev::eval(*n, view, env_));
        orderKeys.push_back(std::move(keys));
    };
    // Sources and joins
    const bool streamed = !nothing && !grouped_ && !(q_.distinctRow && nLeaves > 1) &&
                          streamChain(residual, rs.rows, [&](const Row* const* t) { project(t, nullptr); });
    Relation rel;
    if (!streamed && !nothing && !q_.from.empty()) {
        for (auto& leaf : leaves_) readLeaf(leaf);
        rel = fromRelation(q_.from[0]);
        for (size_t i = 1; i < q_.from.size(); ++i) {
            Relation next = fromRelation(q_.from[i]);
            std::set<int> both = rel.leaves;
            both.insert(next.leaves.begin(), next.leaves.end());
            std::vector<NodePtr> conds;
            for (auto it = residual.begin(); it != residual.end();) {
                if (std::includes(both.begin(), both.end(), it->second.begin(), it->second.end())) {
                    conds.push_back(std::move(it->first));
                    it = residual.erase(it);
                } else {
                    ++it;
                }
            }
            rel = join(std::move(rel), std::move(next), FromItem::JoinType::Inner, std::move(conds));
        }
    } else if (!streamed && !nothing) {
        rel.tuples.clear();  // SELECT without FROM: one empty tuple
    }
    size_t count = streamed ? 0 : nLeaves ? rel.tuples.size() / nLeaves : (nothing ? 0 : 1);
    if (!residual.empty()) {
        std::vector<const Row*> kept;
        for (size_t i = 0; i < count; ++i) {
            const Row* const* t = &rel.tuples[i * nLeaves];
            bool ok = true;
            for (const auto& [node, srcs] : residual)
                if (!ev::isTrue(*node, ev::RowView{t, nullptr}, env_)) {
                    ok = false;
                    break;
                }
            if (ok) kept.insert(kept.end(), t, t + nLeaves);
        }
        rel.tuples = std::move(kept);
        count = rel.tuples.size() / nLeaves;
    }

    // DISTINCTROW: one output row per combination of the rows of the sources the
    // output shows; when it shows every source the tuples are distinct already.
    if (q_.distinctRow && !grouped_ && nLeaves > 1) {
        std::set<int> shown;
        for (const auto& n : outNodes) collectSources(n, shown);
        for (int s : starLeaf_) if (s >= 0) shown.insert(s);
        if (shown.size() < nLeaves) {
            std::unordered_set<std::string> seen;
            std::vector<const Row*> kept;
            for (size_t i = 0; i < count; ++i) {
                const Row* const* t = &rel.tuples[i * nLeaves];
                std::string key;
                for (int s : shown) key.append(reinterpret_cast<const char*>(&t[s]), sizeof(const Row*));
                if (seen.insert(key).second) kept.insert(kept.end(), t, t + nLeaves);
            }
            rel.tuples = std::move(kept);
            count = rel.tuples.size() / nLeaves;
        }
    }

    if (!grouped_) {
        rs.rows.reserve(count);
        for (size_t i = 0; i < count; ++i) project(nLeaves ? &rel.tuples[i * nLeaves] : noRows.data(), nullptr);
    } else {
        struct Group {
            size_t first;
            std::vector<Value> keys;
            std::vector<AggState> states;
        };
        std::vector<Group> groups;
        std::unordered_map<std::string, size_t> index;
        for (size_t i = 0; i < count; ++i) {
            const Row* const* t = nLeaves ? &rel.tuples[i * nLeaves] : noRows.data();
            std::string key;
            std::vector<Value> keys;
            for (const auto& g : groupNodes) {
                keys.push_back(ev::eval(*g, ev::RowView{t, nullptr}, env_));
                ev::appendKey(key, keys.back());
            }
            auto [it, fresh] = index.emplace(key, groups.size());
            if (fresh) groups.push_back(Group{i, std::move(keys), std::vector<AggState>(aggregates_.size())});
            Group& g = groups[it->second];
            for (size_t a = 0; a < aggregates_.size(); ++a) accumulate(g.states[a], aggregates_[a], t, env_);
        }
        if (groups.empty() && groupNodes.empty()) groups.push_back(Group{SIZE_MAX, {}, std::vector<AggState>(aggregates_.size())});
        // Jet groups by sorting, so groups come out in the order of their keys.
        std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
            for (size_t k = 0; k < a.keys.size(); ++k) {
                int c = ev::compareForSort(a.keys[k], b.keys[k]);
                if (c) return c < 0;
            }
            return false;
        });
        for (const Group& g : groups) {
            std::vector<Value> aggs;
            for (size_t a = 0; a < aggregates_.size(); ++a) aggs.push_back(finish(g.states[a], aggregates_[a]));
            const Row* const* t = g.first == SIZE_MAX || !nLeaves ? noRows.data() : &rel.tuples[g.first * nLeaves];
            if (having && !ev::isTrue(*having, ev::RowView{t, &aggs}, env_)) continue;
            project(t, &aggs);
        }
    }

    // Order: ORDER BY keys, then for DISTINCT the output columns (Jet sorts to find duplicates).
    std::vector<size_t> order(rs.rows.size());
    std::iota(order.begin(), order.end(), 0);
    bool sortOutputs = q_.distinct;
    if (!orderNodes.empty() || sortOutputs) {
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            for (size_t k = 0; k < orderNodes.size(); ++k) {
                int c = ev::compareForSort(orderKeys[a][k], orderKeys[b][k]);
                if (c) return q_.orderBy[k].descending ? c > 0 : c < 0;
            }
            if (sortOutputs)
                for (size_t k = 0; k < rs.rows[a].size(); ++k) {
                    int c = ev::compareForSort(rs.rows[a][k], rs.rows[b][k]);
                    if (c) return c < 0;
                }
            return false;
        });
    }
    if (q_.distinct) {
        std::unordered_set<std::string> seen;
        std::vector<size_t> kept;
        for (size_t i : order) {
            std::string key;
            for (const auto& v : rs.rows[i]) ev::appendKey(key, v);
            if (seen.insert(key).second) kept.push_back(i);
        }
        order = std::move(kept);
    }
    double topN;
    bool percent;
    if (!q_.top.empty() && parseTop(q_.top, topN, percent)) {
        double wanted = percent ? std::ceil(topN * static_cast<double>(order.size()) / 100.0) : topN;
        size_t limit = wanted >= static_cast<double>(order.size()) ? order.size() : static_cast<size_t>(wanted);
        if (limit < order.size()) {
            // Rows tied with the last one on the ORDER BY keys come along, as in Jet.
            size_t end = limit;
            if (!orderNodes.empty() && limit > 0)
                while (end < order.size()) {
                    bool same = true;
                    for (size_t k = 0; k < orderNodes.size() && same; ++k)
                        same = ev::compareForSort(orderKeys[order[end]][k], orderKeys[order[limit - 1]][k]) == 0;
                    if (!same) break;
                    ++end;
                }
            order.resize(end);
        }
    }
    std::vector<Row> sorted;
    sorted.reserve(order.size());
    for (size_t i : order) sorted.push_back(std::move(rs.rows[i]));
    rs.rows = std::move(sorted);

    // Column names and types
    for (size_t i = 0; i < outNodes.size(); ++i) {
        ResultColumn col;
        col.name = outNames_[i];
        const Node& n = *outNodes[i];
        if (n.op == Op::Field) {
            const Leaf& leaf = leaves_[static_cast<size_t>(n.slot.source)];
            col.type = static_cast<size_t>(n.slot.column) < leaf.types.size() ? leaf.types[static_cast<size_t>(n.slot.column)] : ColType::Text;
        } else {
            bool found = false;
            for (const auto& r : rs.rows)
                if (!r[i].isNull()) {
                    col.type = ev::colTypeOfValue(r[i]);
                    found = true;
                    break;
                }
            if (!found && n.op == Op::Const && !n.value.isNull()) col.type = ev::colTypeOfValue(n.value);
        }
        rs.columns.push_back(std::move(col));
    }
    return rs;
}

ResultSet runUnion(RunContext& ctx, const QueryModel& q, int depth);

ResultSet runModel(RunContext& ctx, std::shared_ptr<const QueryModel> q, int depth) {
    if (q->type == QueryModel::Type::Union) return runUnion(ctx, *q, depth);
    Plan plan(ctx, std::move(q), depth);
    return plan.run();
}

ResultSet runUnion(RunContext& ctx, const QueryModel& q, int depth) {
    ev::Env env{q.name, ctx.now};
    if (q.unionParts.empty()) ev::fail(env, "UNION query without parts");
    ResultSet out;
    for (size_t i = 0; i < q.unionParts.size(); ++i) {
        if (!q.unionParts[i]) ev::fail(env, "empty UNION part");
        auto part = std::make_shared<QueryModel>(*q.unionParts[i]);
        if (part->name.empty()) part->name = q.name;
        ResultSet rs = runModel(ctx, part, depth + 1);
        if (i == 0) {
            out.columns = rs.columns;
        } else if (rs.columns.size() != out.columns.size()) {
            ev::fail(env, "the parts of the UNION have different numbers of columns");
        }
        for (auto& r : rs.rows) out.rows.push_back(std::move(r));
    }
    if (!q.unionAll) {
        // UNION drops duplicates by sorting, so its rows come out in order.
        std::stable_sort(out.rows.begin(), out.rows.end(), [](const Row& a, const Row& b) {
            for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
                int c = ev::compareForSort(a[k], b[k]);
                if (c) return c < 0;
            }
            return false;
        });
        std::unordered_set<std::string> seen;
        std::vector<Row> kept;
        for (auto& r : out.rows) {
            std::string key;
            for (const auto& v : r) ev::appendKey(key, v);
            if (seen.insert(key).second) kept.push_back(std::move(r));
        }
        out.rows = std::move(kept);
    }
    if (!q.orderBy.empty()) {
        std::vector<std::pair<size_t, bool>> keys;
        for (const auto& o : q.orderBy) {
            const Expr* e = unparen(o.expr.get());
            int c = e && e->kind == Expr::Kind::Field ? out.columnIndex(e->name) : -1;
            if (c < 0) ev::fail(env, "ORDER BY of a UNION query must name one of its columns");
            keys.emplace_back(static_cast<size_t>(c), o.descending);
        }
        std::stable_sort(out.rows.begin(), out.rows.end(), [&](const Row& a, const Row& b) {
            for (const auto& [c, desc] : keys) {
                int r = ev::compareForSort(a[c], b[c]);
                if (r) return desc ? r > 0 : r < 0;
            }
            return false;
        });
    }
    return out;
}

}  // namespace

ResultSet runQuery(const Database& db, const QueryModel& q, const Params& params, const EvalOptions& opts) {
    RunContext ctx{db, params, opts.now ? opts.now() : systemNow(), {}};
    if (!q.name.empty()) ctx.stack.push_back(upper(q.name));
    // The caller keeps the model alive for the call; no ownership is taken.
    std::shared_ptr<const QueryModel> model(std::shared_ptr<const QueryModel>(), &q);
    return runModel(ctx, model, 0);
}

ResultSet runNamed(const Database& db, const std::string& name, const Params& params, const EvalOptions& opts) {
    if (db.hasTable(name)) {
        auto t = db.table(name);
        ResultSet rs;
        for (const auto& c : t->columns()) rs.columns.push_back(ResultColumn{c.name, c.type});
        rs.rows.reserve(std::min<size_t>(t->rowCount(), kReserveRows));
        auto cur = t->scan();
        while (cur.next()) rs.rows.push_back(cur.takeRow());
        return rs;
    }
    if (!db.hasQuery(name)) throw Error("table or query '" + name + "' not found", Error::Code::NotFound);
    auto model = db.query(name);
    if (!model) throw Error("query '" + name + "' not found", Error::Code::NotFound);
    auto named = std::make_shared<QueryModel>(*model);
    if (named->name.empty()) named->name = name;
    RunContext ctx{db, params, opts.now ? opts.now() : systemNow(), {upper(name)}};
    return runModel(ctx, named, 0);
}

}  // namespace jet
