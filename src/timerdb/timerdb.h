// A small data-access layer over the Jet engine: the handful of operations the
// program performs on a Timer file (open exclusively, saved queries, table and
// dynaset recordsets with seek and find, field reads and writes).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/query.h"
#include "jet/value.h"

namespace timerdb {

using jet::Value;

class Recordset;
class QueryDef;

// The description the user sees for a failure of the engine or of this layer.
std::string describe(const std::exception& e);

class Database {
public:
    // Exclusive read-write open. Throws jet::Error (NotFound, NotJet, Corrupt, InUse).
    static std::shared_ptr<Database> OpenDatabase(const std::string& path);

    jet::Database& engine() { return *db_; }
    const std::string& path() const { return db_->path(); }

    // Date()/Now() inside queries.
    void setClock(std::function<double()> now) { opts_.now = std::move(now); }
    const jet::EvalOptions& evalOptions() const { return opts_; }

    bool hasTable(const std::string& name) const { return db_->hasTable(name); }
    bool hasQueryDef(const std::string& name) const { return db_->hasQuery(name); }

    // Called before any change reaches the file, with no transaction open: at
    // BeginTrans, and at each write made outside a transaction.
    void setBeforeWrite(std::function<void(Database&)> hook) { beforeWrite_ = std::move(hook); }

    // QueryDefs.Delete: throws jet::Error(NotFound) when absent.
    void DeleteQueryDef(const std::string& name) {
        aboutToWrite();
        db_->dropQuery(name);
    }
    void CreateQueryDef(const std::string& name, const std::string& sql) {
        aboutToWrite();
        db_->createQuery(name, sql);
    }
    QueryDef QueryDefs(const std::string& name);

    // BeginTrans/CommitTrans/Rollback: the writes in between reach the file together
    // or not at all. A failed CommitTrans throws and leaves the file as it was.
    void BeginTrans() {
        aboutToWrite();
        db_->beginTransaction();
    }
    void CommitTrans() { db_->commitTransaction(); }
    void Rollback() { db_->rollbackTransaction(); }
    bool InTransaction() const { return db_->inTransaction(); }

    // Table-type recordset (supports Index/Seek) and dynaset (supports FindFirst).
    std::unique_ptr<Recordset> OpenTable(const std::string& table);
    std::unique_ptr<Recordset> OpenDynaset(const std::string& table);
    // A dynaset that reads a record only when FindFirst on the primary key reaches
    // it, instead of the whole table when it opens: one index lookup per record of
    // a large table. Other criteria read the whole table at that point; moving
    // (MoveFirst, MoveNext, Bof, Eof, RecordCount) covers only the records read.
    std::unique_ptr<Recordset> OpenKeyedDynaset(const std::string& table);

private:
    friend class Recordset;
    void aboutToWrite() {
        if (beforeWrite_ && !db_->inTransaction()) beforeWrite_(*this);
    }

    std::unique_ptr<jet::Database> db_;
    jet::EvalOptions opts_;
    std::function<void(Database&)> beforeWrite_;
};

class QueryDef {
public:
    QueryDef(Database& db, std::string name) : db_(&db), name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    void setParameter(const std::string& name, Value v) { params_[name] = std::move(v); }
    std::unique_ptr<Recordset> OpenRecordset();

private:
    Database* db_;
    std::string name_;
    jet::Params params_;
};

// A recordset reads its rows when opened; positions move over that list. Rows
// of a query are read-only.
class Recordset {
public:
    enum class Type { Table, Dynaset, Query };
    Recordset(Database& db, Type type, std::string source, bool readRows = true);

    bool Bof() const { return pos_ < 0 || rows_.empty(); }
    bool Eof() const { return pos_ >= static_cast<long>(rows_.size()) || rows_.empty(); }
    long RecordCount() const { return static_cast<long>(rows_.size()); }
    void MoveFirst();
    void MoveNext();

    // Fields(name).Value; throws jet::Error(NotFound) for an unknown field and
    // when there is no current record.
    Value Field(const std::string& name) const;
    // Fields(name).Value = v inside Edit/AddNew.
    void SetField(const std::string& name, Value v);

    // Table-type: the current index and an exact lookup through it.
    void SetIndex(const std::string& indexName);
    void Seek(const std::string& op, const std::vector<Value>& key);
    // Dynaset: "<field>=<integer>" (a primary-key field uses the index).
    void FindFirst(const std::string& criteria);
    bool NoMatch() const { return noMatch_; }

    void Edit();
    void AddNew();
    void Update();
    void Delete();
    jet::RowId Bookmark() const;
    void SetBookmark(jet::RowId id);
    jet::RowId LastModified() const { return lastModified_; }
    void Close() {}

    // Rows of a query, filled by QueryDef::OpenRecordset.
    void loadResult(jet::ResultSet r);

private:
    int column(const std::string& name) const;
    const jet::Table& table() const;
    void requireWritable() const;
    long find(jet::RowId id) const;
    void readAllRows();

    Database& db_;
    Type type_;
    std::string source_;
    std::vector<std::string> columns_;
    std::vector<jet::Row> rows_;
    std::vector<jet::RowId> ids_;
    long pos_ = 0;
    bool rowsRead_ = true;  // false while only the records found so far are held
    bool noMatch_ = false;
    const jet::Index* index_ = nullptr;
    enum class EditMode { None, Edit, AddNew } mode_ = EditMode::None;
    std::map<int, Value> changes_;
    jet::RowId lastModified_;
};

// The names of the Timer file that the program uses.
namespace names {
inline constexpr const char* kActivities = "Activities";
inline constexpr const char* kAllActivities = "All Activities";
inline constexpr const char* kPrefsStartup = "Prefs - Startup";
inline constexpr const char* kNames = "Names";
inline constexpr const char* kCustomerJobs = "Customer:Jobs";
inline constexpr const char* kServiceItems = "Service Items";
inline constexpr const char* kClasses = "Classes";
inline constexpr const char* kEmployeesVendors = "Employees Vendors And Other Names";
inline constexpr const char* kQueryByDateRange = "Hourgrid Activities By Date Range and Name ID";
inline constexpr const char* kQueryRecent = "Hourgrid Recent Activities By Num Days";
}  // namespace names

// The program's two saved queries, exactly as stored in the file.
extern const std::string kSqlByDateRange;
extern const std::string kSqlRecent;

// Tables and queries of the Timer file that the program relies on; empty when
// all are there, otherwise the first missing one.
std::string firstMissingObject(const Database& db);

}  // namespace timerdb
