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
    std::string name;          // Field name, function name, operator; Literal: the text as written
                               // (e.g. 1.50, 'it''s', #1/2/2003#) so rendering keeps it, empty when built
    std::vector<ExprPtr> args;
    bool negated = false;      // Between/In/IsNull as above; on a Unary "Not" over a Like: written
                               // infix as `a Not Like b` (the tree means Not (a Like b) either way)
};

struct QueryParam {
    std::string name;
    std::string type;  // Jet SQL type word as written, e.g. "DateTime", "Long", "Text"
    int size = 0;      // Text(n): n; 0 when not given
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
    std::vector<FromPtr> from;  // comma-separated sources (Update/Delete: the tables the statement names)
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    std::vector<OrderItem> orderBy;

    // Action and special queries, kept for rendering.
    std::string target;                 // INTO / UPDATE / INSERT INTO table; Delete: the table rows go from
    std::string rawSql;                 // DDL, pass-through and union text as stored
    // Union: the SELECTs joined by UNION (or UNION ALL when unionAll); a part is itself a Union
    // where UNION and UNION ALL are mixed. The union's ORDER BY is in orderBy.
    std::vector<std::shared_ptr<const QueryModel>> unionParts;
    bool unionAll = false;

    bool ownerAccess = false;           // WITH OWNERACCESS OPTION
    // FROM … IN 'path' [connect]: the sources live in another database.
    std::string fromDbPath, fromDbConnect;
    // INTO / INSERT INTO target IN 'path' [connect].
    std::string targetDbPath, targetDbConnect;
    // Append: the INSERT INTO t (…) columns, parallel to `columns` (… SELECT) or to `values`
    // (… VALUES); empty when not given. Update: the SET targets, parallel to `values`.
    // Each is a Field (table qualifier possible in UPDATE).
    std::vector<ExprPtr> targetColumns;
    std::vector<ExprPtr> values;        // INSERT … VALUES (…) / UPDATE … SET c = value
    // Crosstab: TRANSFORM expr [AS alias] … PIVOT expr [IN (…)]; `columns` are the row headings.
    SelectItem transform;
    ExprPtr pivot;
    std::vector<ExprPtr> pivotIn;
    std::string connect;                // pass-through: the ODBC connect string
};

}  // namespace jet
