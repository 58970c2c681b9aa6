// Evaluating SELECT queries over a database.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "query_model.h"
#include "value.h"

namespace jet {

class Database;

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
using Params = std::map<std::string, Value, CaseInsensitiveLess>;

struct EvalOptions {
    // The clock behind Date() and Now(): local date/time as days since 1899-12-30.
    // Empty: the system's local time.
    std::function<double()> now;
};

struct ResultColumn {
    std::string name;
    ColType type = ColType::Text;  // best description of the values (for formatting)
};

struct ResultSet {
    std::vector<ResultColumn> columns;
    std::vector<Row> rows;
    int columnIndex(const std::string& name) const;  // case-insensitive; -1 if absent
};

// Parses Jet SQL (SELECT, with PARAMETERS) into a model. Throws Error(Query).
std::shared_ptr<const QueryModel> parseSql(const std::string& sql);
// Renders a model as Access-style SQL text.
std::string renderSql(const QueryModel& q);
std::string renderExpr(const Expr& e);

// Runs a SELECT model. Errors (unknown function, type mismatch, missing table or
// query, parameter without a value) throw Error(Query) naming the query.
ResultSet runQuery(const Database& db, const QueryModel& q, const Params& params = {}, const EvalOptions& opts = {});
// A table or saved query by name (a table gives all its columns in table order).
ResultSet runNamed(const Database& db, const std::string& name, const Params& params = {}, const EvalOptions& opts = {});

// Runs INSERT INTO … VALUES / … SELECT, UPDATE … SET … WHERE or DELETE FROM … WHERE
// on one table in one transaction (all rows or none). Throws Error(Query) for other
// statements or what cannot be evaluated; write errors come from the row writer.
struct ExecResult {
    int64_t rowsAffected = 0;
    std::optional<int32_t> newAutonumber;  // INSERT of one row into a table with an AutoNumber
};
ExecResult execSql(Database& db, const std::string& sql, const Params& params = {}, const EvalOptions& opts = {});

}  // namespace jet
