// PLACEHOLDER: owned by the evaluator work; replaced wholesale.
#include "error.h"
#include "query.h"

#include <strings.h>

namespace jet {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}
int ResultSet::columnIndex(const std::string& name) const {
    for (size_t i = 0; i < columns.size(); ++i)
        if (strcasecmp(columns[i].name.c_str(), name.c_str()) == 0) return static_cast<int>(i);
    return -1;
}
ResultSet runQuery(const Database&, const QueryModel&, const Params&, const EvalOptions&) {
    throw Error("query evaluation not implemented", Error::Code::Query);
}
ResultSet runNamed(const Database&, const std::string&, const Params&, const EvalOptions&) {
    throw Error("query evaluation not implemented", Error::Code::Query);
}

}  // namespace jet
