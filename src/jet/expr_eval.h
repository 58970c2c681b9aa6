// Jet expression evaluation: compiled expression trees, operators, built-in
// functions and the Like matcher. Internal to the engine; the query executor
// compiles model expressions once per query and evaluates them per row.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"
#include "query_model.h"
#include "value.h"

namespace jet::ev {

// Where field references point: one source of the FROM clause and a column in it.
struct Slot {
    int source = -1;
    int column = -1;
};

// What an evaluation reads: the current row of every source (null when the
// source is null-extended by an outer join), and the group's aggregates.
struct RowView {
    const Row* const* rows = nullptr;  // one entry per source
    const std::vector<Value>* aggregates = nullptr;
};

struct Node;
using NodePtr = std::unique_ptr<Node>;

using Builtin = Value (*)(const std::vector<Value>& args, const struct Env& env);

// Per-query evaluation environment.
struct Env {
    std::string queryName;  // for messages; empty for ad-hoc SQL
    double now = 0;         // Date()/Now()/Time() source, days since 1899-12-30
};

struct Node {
    enum class Op {
        Const, Field, Aggregate,
        Neg, Not,
        Add, Sub, Mul, Div, IntDiv, Mod, Pow, Concat,
        Eq, Ne, Lt, Le, Gt, Ge,
        And, Or, Xor, Eqv, Imp, Like,
        Between, In, IsNull,
        IIf, Call,
    };
    Op op = Op::Const;
    Value value;            // Const
    Slot slot;              // Field
    int aggregate = -1;     // Aggregate: index into RowView::aggregates
    bool negated = false;   // Between / In / IsNull
    Builtin fn = nullptr;   // Call
    std::string name;       // Call: function name as written (messages)
    std::vector<NodePtr> args;
};

// Thrown inside evaluation and turned into Error(Query) with the query's name by the caller.
[[noreturn]] void fail(const Env& env, const std::string& problem);

// Turns a parsed expression into an evaluation tree. What names and aggregate
// calls mean is the caller's: a SELECT resolves them over its sources and
// aliases, a data-changing statement over the columns of its one table.
class Compiler {
public:
    // `nodes` counts the nodes made against `maxNodes` (shared by every compiler of one statement).
    Compiler(const Env& env, size_t& nodes, size_t maxNodes) : env_(env), nodes_(nodes), maxNodes_(maxNodes) {}
    virtual ~Compiler() = default;
    NodePtr compile(const Expr& e);
    static NodePtr constant(Value v);

protected:
    // A field reference: a column slot, or what a name stands for (a constant, an alias).
    virtual NodePtr field(const Expr& e) = 0;
    // An aggregate call (Count, Sum, ...); refused unless the caller allows them.
    virtual NodePtr aggregate(const Expr& e);
    // Throws the caller's error for a problem in the expression.
    virtual void raise(const std::string& problem) const = 0;
    // Non-virtual, so that compilers see that it never returns.
    [[noreturn]] void fail(const std::string& problem) const {
        raise(problem);
        throw Error(problem, Error::Code::Query);
    }
    const Env& env_;

private:
    NodePtr compileArg(const ExprPtr& a);
    size_t& nodes_;
    size_t maxNodes_;
};

Value eval(const Node& n, const RowView& row, const Env& env);
// The value a Field node reads in place; nullptr when its source row is absent
// (a Null, as eval gives).
inline const Value* fieldValue(const Node& n, const RowView& row) {
    const Row* r = row.rows[n.slot.source];
    if (!r || static_cast<size_t>(n.slot.column) >= r->size()) return nullptr;
    return &(*r)[static_cast<size_t>(n.slot.column)];
}
// WHERE/ON/HAVING truth: Null and False reject the row.
bool isTrue(const Node& n, const RowView& row, const Env& env);

// Looks up a built-in function by name (case-insensitive) and checks the
// argument count. Returns nullptr for an unknown name; throws for a bad count.
Builtin findFunction(const std::string& name, size_t argCount, const Env& env);
bool isAggregateName(const std::string& name);

// ---- Value helpers shared by operators, functions and the executor ----

bool isNumberKind(const Value& v);  // Bool..Double, Date, Decimal
double numberOf(const Value& v);    // numeric kinds only
// A value as a number, converting text that looks like a number; throws type mismatch otherwise.
double toNumber(const Value& v, const Env& env);
std::string toText(const Value& v);  // as CStr would give it
bool parseNumber(std::string_view s, double& out);
bool parseDate(std::string_view s, double& out);  // date and/or time text → days
Value toDateValue(const Value& v, const Env& env);   // CDate
Value convertParam(const Value& v, const std::string& typeWord, const Env& env);

// Three-way comparison with Jet's rules (text case-insensitive via the collation,
// numbers and dates numerically). Neither argument may be Null.
int compareValues(const Value& a, const Value& b, const Env& env);
// Order for sorting: Null first, then as compareValues; mixed text/number puts numbers first.
int compareForSort(const Value& a, const Value& b);
// Key equal for values that compare equal (numbers by value, text case-insensitively).
void appendKey(std::string& key, const Value& v);

ColType colTypeOfValue(const Value& v);

// Banker's rounding to an integer (CInt/CLng).
double roundHalfEven(double x);

// Dates: days since 1899-12-30; the time fraction of a negative date counts away from day 0.
struct Civil {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};
Civil toCivil(double days);
double fromCivil(int year, int month, int day);  // normalises out-of-range months/days
double timeFraction(int h, int m, int s);        // may exceed one day or be negative
double composeDate(double dayPart, double timePart);  // inverse of splitDate
void splitDate(double d, double& dayPart, double& timePart);

// Like with Jet's wildcards (* ? # [a-z] [!x]), case-insensitive.
bool likeMatch(std::string_view text, std::string_view pattern);

}  // namespace jet::ev
