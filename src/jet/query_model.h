// A saved or ad-hoc query as a tree: what MSysQueries rows and Jet SQL text
// both turn into, what the evaluator runs and what is rendered back to SQL.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "value.h"

namespace jet {

struct Expr;
using ExprPtr = std::shared_ptr<const Expr>;

struct Expr {
    enum class Kind {
        Literal,   // value
        Field,     // [table].[name] or [name]; a name no source has is a parameter
        Unary,     // op: "-", "+", "Not"
        Binary,    // op: "+","-","*","/","\\","Mod","^","&","=","<>","<",
                   //     "<=",">",">=","And","Or","Xor","Eqv","Imp","Like"
        Between,   // args: value, low, high; negated for Not Between
        In,        // args[0] value, rest the list; negated for Not In
        IsNull,    // args[0]; negated for Is Not Null
        Call,      // name(args)
        Star,      // * or table.* (table may be empty)
        Paren,     // (args[0]), kept so rendering preserves the author's parentheses
    };
    Kind kind = Kind::Literal;
    Value value;               // Literal
    std::string table;         // Field / Star qualifier, as written (without brackets)
    std::string name;          // Field name, function name, operator
    std::vector<ExprPtr> args;
    bool negated = false;
};

struct QueryParam {
    std::string name;
    std::string type;  // Jet SQL type word as written, e.g. "DateTime", "Long", "Text"
};

struct SelectItem {
    ExprPtr expr;
    std::string alias;  // empty when none
};

// FROM clause node: a table or saved query, or a join of two nodes.
struct FromItem {
    enum class Kind { Source, Join };
    enum class JoinType { Inner, Left, Right };
    Kind kind = Kind::Source;
    std::string name;   // Source: table or query name
    std::string alias;  // Source: AS alias, empty when none
    JoinType joinType = JoinType::Inner;
    std::shared_ptr<const FromItem> left, right;
    ExprPtr on;
};
using FromPtr = std::shared_ptr<const FromItem>;

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct QueryModel {
    enum class Type { Select, MakeTable, Append, Update, Delete, Crosstab, DataDefinition, PassThrough, Union };
    Type type = Type::Select;
    std::string name;  // saved query name, empty for ad-hoc SQL

    std::vector<QueryParam> params;
    bool distinct = false;
    bool distinctRow = false;
    std::string top;  // "TOP n" / "TOP n PERCENT" text, empty when none
    std::vector<SelectItem> columns;
    std::vector<FromPtr> from;  // comma-separated sources
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    std::vector<OrderItem> orderBy;

    // Action and special queries, kept for rendering.
    std::string target;                 // INTO / UPDATE / INSERT INTO table
    std::string rawSql;                 // DDL, pass-through and union text as stored
    std::vector<std::shared_ptr<const QueryModel>> unionParts;
    bool unionAll = false;
};

}  // namespace jet
