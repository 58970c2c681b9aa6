// PLACEHOLDER: owned by the SQL work; replaced wholesale.
#include "error.h"
#include "query.h"

namespace jet {

std::shared_ptr<const QueryModel> parseSql(const std::string&) { throw Error("SQL parser not implemented", Error::Code::Query); }
std::string renderSql(const QueryModel&) { throw Error("SQL rendering not implemented", Error::Code::Query); }
std::string renderExpr(const Expr&) { throw Error("SQL rendering not implemented", Error::Code::Query); }

}  // namespace jet
