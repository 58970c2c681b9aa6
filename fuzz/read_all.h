// Reads everything a database offers through the public interfaces, so that the
// fuzzer and the robustness tests reach every reader path. Damage must surface as
// jet::Error; any other exception or a crash is a bug.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/query.h"
#include "jet/table.h"

namespace fuzzread {

inline jet::Value dummyParam(const std::string& type) {
    std::string t;
    for (char c : type) t += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (t.find("date") != std::string::npos) return jet::Value::date(46000.5);
    if (t.find("text") != std::string::npos || t.find("char") != std::string::npos) return jet::Value::text("x");
    return jet::Value::int32(1);
}

inline void readTable(const jet::Database& db, const std::string& name) {
    auto t = db.table(name);
    std::vector<jet::Row> firstRows;
    auto cur = t->scan();
    while (cur.next())
        if (firstRows.size() < 2) firstRows.push_back(cur.row());
    for (const jet::Index& ix : t->indexes()) {
        try {
            auto entries = t->indexEntries(ix);
            for (const auto& e : entries) (void)t->readRow(e.row);
        } catch (const jet::Error&) {
        }
        // A key taken from a real row and an all-Null key both descend the tree.
        std::vector<std::vector<jet::Value>> keys(1, std::vector<jet::Value>(ix.columns.size()));
        for (const jet::Row& r : firstRows) {
            std::vector<jet::Value> k;
            for (const jet::IndexColumn& ic : ix.columns)
                k.push_back(ic.column >= 0 && static_cast<size_t>(ic.column) < r.size() ? r[ic.column] : jet::Value());
            keys.push_back(std::move(k));
        }
        for (const auto& k : keys) {
            try {
                for (jet::RowId id : t->seek(ix, k)) (void)t->readRow(id);
            } catch (const jet::Error&) {
            }
        }
    }
}

inline void readQuery(const jet::Database& db, const std::string& name) {
    auto q = db.query(name);
    try {
        (void)jet::renderSql(*q);
    } catch (const jet::Error&) {
    }
    jet::Params params;
    for (const jet::QueryParam& p : q->params) params[p.name] = dummyParam(p.type);
    jet::EvalOptions opts;
    opts.now = [] { return 46000.5; };
    if (q->type == jet::QueryModel::Type::Select) (void)jet::runQuery(db, *q, params, opts);
}

// Opens the bytes and reads all of it; returns the number of problems the check found
// (or -1 when the file does not open), which callers may ignore.
inline long readAll(const uint8_t* data, size_t size) {
    std::unique_ptr<jet::Database> db;
    try {
        db = jet::Database::openMemory(data, size, "<input>");
    } catch (const jet::Error&) {
        return -1;
    }
    std::vector<std::string> tables, queries;
    try {
        tables = db->tableNames(true);
        queries = db->queryNames();
    } catch (const jet::Error&) {
    }
    for (const std::string& n : tables) {
        try {
            readTable(*db, n);
        } catch (const jet::Error&) {
        }
    }
    for (const std::string& n : queries) {
        try {
            readQuery(*db, n);
        } catch (const jet::Error&) {
        }
    }
    return static_cast<long>(jet::checkDatabase(*db).problems.size());
}

}  // namespace fuzzread
