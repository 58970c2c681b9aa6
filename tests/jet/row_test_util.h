// Helpers for the row-writing tests: scratch copies, reading tables back, the
// integrity check and the independent readers.
#pragma once


#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "test_util.h"

namespace rowtest {

class Scratch {
public:
    Scratch() {
        dir_ = testutil::makeTempDir("hourgrid-rows");
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    // A writable copy of a file under tests/data.
    std::string copy(const std::string& rel) const {
        std::string to = dir_ + "/" + std::filesystem::path(rel).filename().string();
        testutil::copyOver(testutil::dataPath(rel), to);
        std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        return to;
    }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};

inline std::vector<std::pair<jet::RowId, jet::Row>> rowsOf(const jet::Database& db, const std::string& table) {
    std::vector<std::pair<jet::RowId, jet::Row>> out;
    auto t = db.table(table);
    for (auto cur = t->scan(); cur.next();) out.emplace_back(cur.rowId(), cur.row());
    return out;
}

inline std::string problems(const jet::Database& db) {
    std::string s;
    for (const auto& p : jet::checkDatabase(db).problems) s += "  " + p + "\n";
    return s;
}

inline std::string shellQuote(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'')
            r += "'\\''";
        else
            r += c;
    }
    return r + "'";
}

// Runs the three-way comparison (this engine's export against mdb-export and
// mdb-reader) on one table. Empty when they agree or the readers are not installed.
// Windows builds have no node or shell to run them: there only the engine's own
// checks in each test judge the file.
inline std::string oracleDisagreement(const std::string& file, const std::string& table) {
#ifdef _WIN32
    (void)file;
    (void)table;
    return "";
#else
    const std::string script = std::string(TEST_DATA_DIR) + "/../oracle/compare.mjs";
    std::string cmd = "node " + shellQuote(script) + " --jetdb " + shellQuote(JETDB_PATH) + " --table " +
                      shellQuote(table) + " " + shellQuote(file) + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return "cannot run node";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = ::pclose(p);
    int rc = testutil::exitCode(st);
    if (rc == 0 || rc == 77) return "";
    return "compare.mjs exit " + std::to_string(rc) + ":\n" + out;
#endif
}

}  // namespace rowtest
