#pragma once

#include <stdexcept>
#include <string>

namespace jet {

// Every failure of the engine is reported as this exception with a message a
// user can read; nothing in the engine aborts on bad input.
class Error : public std::runtime_error {
public:
    // Rule: a column's Required/AllowZeroLength setting or a validation rule refused the row.
    enum class Code { Generic, NotFound, Corrupt, NotJet, InUse, Io, Unsupported, Query, Duplicate, ReadOnly, Rule };
    explicit Error(const std::string& msg, Code code = Code::Generic) : std::runtime_error(msg), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

}  // namespace jet
