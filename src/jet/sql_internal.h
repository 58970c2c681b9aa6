// Pieces of the SQL parser and renderer shared with the saved-query loader.
#pragma once

#include <string>

#include "query_model.h"

namespace jet::sql {

// Parses one expression (a saved query's column, criteria or join text). Throws Error(Query).
ExprPtr parseExpression(const std::string& text);

// A table, column or alias name as Jet SQL needs it written: bracketed unless it is a
// plain identifier that is no keyword.
std::string quoteName(const std::string& name);

// Limits that keep hostile input from exhausting the stack or memory.
inline constexpr int kMaxNesting = 200;     // parentheses, calls, unary operators
inline constexpr int kMaxTreeDepth = 500;   // operator chains (a+b+c…) and join chains

}  // namespace jet::sql
