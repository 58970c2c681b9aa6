// Integrity check of an open database: page ownership, usage maps, rows,
// long values and indexes, each cross-checked against the others.
#pragma once

#include <string>
#include <vector>

namespace jet {

class Database;

struct CheckReport {
    // One line per problem, naming the table, page and row concerned; empty when the file is sound.
    std::vector<std::string> problems;
    // Statistics that differ from what the file holds; Access itself lets them drift, so they are not damage.
    std::vector<std::string> notes;
    bool ok() const { return problems.empty(); }
};

// Reads the whole file; never throws for damage it finds (that becomes a problem line).
CheckReport checkDatabase(const Database& db);

}  // namespace jet
