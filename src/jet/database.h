// An open Jet 3 or Jet 4 database.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "format.h"
#include "pager.h"
#include "table.h"
#include "value.h"

namespace jet {

struct QueryModel;
namespace detail {
struct WriteAccess;
struct TableRules;
struct PlacementHints;
struct IndexNodeCache;
}

// One row of the catalog (MSysObjects).
struct CatalogEntry {
    int32_t id = 0;
    int32_t parentId = 0;
    std::string name;
    int16_t type = 0;      // 1 table, 5 query, 6 linked table, ...
    uint32_t flags = 0;    // 0x80000000 / 0x00000002: system objects
    uint32_t tdefPage() const { return static_cast<uint32_t>(id) & 0x00FFFFFF; }
    bool isSystem() const;
};

struct HeaderInfo {
    Version version = Version::Jet4;
    uint32_t pageSize = 4096;
    uint32_t pageCount = 0;
    uint16_t codePage = 0;
    uint16_t sortOrder = 0;  // collation id from the header (e.g. 1033 general)
    uint32_t dbKey = 0;
};

// A column value to store: position in Table::columns() and the value.
struct FieldValue {
    int column = -1;
    Value value;
};
using FieldValues = std::vector<FieldValue>;

enum class OpenMode {
    ReadOnly,   // shared; refused while another open holds the file for writing
    Exclusive,  // read-write; refused while any other open (any process) holds the file
};

class Database {
public:
    // Opens a file. Throws Error: NotFound for a missing file, NotJet for a
    // file that is not a Jet 3/4 database, Corrupt for a damaged one, InUse when
    // the lock cannot be had. A leftover journal of an interrupted write is rolled
    // back first (read-only opens read the file as rolled back without changing it).
    static std::unique_ptr<Database> open(const std::string& path, OpenMode mode);
    // Opens read-only. Throws Error: NotFound for a missing file, NotJet for a
    // file that is not a Jet 3/4 database, Corrupt for a damaged one.
    static std::unique_ptr<Database> open(const std::string& path);
    // Opens bytes in memory (tests, fuzzing).
    static std::unique_ptr<Database> openMemory(const uint8_t* data, size_t size, const std::string& name = "<memory>");
    ~Database();

    const HeaderInfo& header() const { return header_; }
    const Format& format() const { return *format_; }
    const Pager& pager() const { return *pager_; }
    const std::string& path() const { return pager_->path(); }

    const std::vector<CatalogEntry>& catalog() const { return catalog_; }
    std::vector<std::string> tableNames(bool includeSystem) const;  // catalog order
    std::vector<std::string> queryNames() const;                   // catalog order
    bool hasTable(const std::string& name) const;
    bool hasQuery(const std::string& name) const;

    // Case-insensitive. Throws Error(NotFound) naming the table.
    std::shared_ptr<const Table> table(const std::string& name) const;
    // The saved query's model from its MSysQueries rows. Throws Error(NotFound).
    std::shared_ptr<const QueryModel> query(const std::string& name) const;

    // Text decoding for this file (Jet 3: the code page; Jet 4: UCS-2 / compressed).
    std::string decodeText(const uint8_t* p, size_t n) const;

    // A long value (Memo/OLE) column's raw bytes from its 12-byte field header.
    Bytes readLongValue(const uint8_t* field, size_t len) const;
    // The bytes of a long value kept within its row, in place; nullopt for one kept on
    // other pages or whose header does not fit its field (readLongValue says why).
    static std::optional<std::span<const uint8_t>> inlineLongValue(const uint8_t* field, size_t len);

    // Writes the database as this open sees it to `dest`: under a temporary name
    // beside it, synced, then renamed over it, so `dest` is never half written.
    // While this open holds the file no other writer can change it, and outside
    // a transaction the pages seen are the committed ones; inside one the copy is
    // refused. Throws Error(Io) naming what failed.
    void copyTo(const std::string& dest) const;

    // ---- Writing (Exclusive opens only; Error(ReadOnly) otherwise) ----
    bool isWritable() const;
    // Groups writes; without an explicit transaction every write below is its own.
    // A transaction is atomic on disk (journal beside the file). Nested begin is an error.
    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction();
    bool inTransaction() const;

    // Values not given take Null, or the next autonumber for an autonumber column.
    // Unique indexes refuse a duplicate with Error(Duplicate) and no change.
    // Returns the new row's id; `stored` (when given) receives the row as written.
    RowId insertRow(const std::string& table, const FieldValues& values, Row* stored = nullptr);
    // Columns not given keep their values. The row keeps its RowId (an update that
    // no longer fits its page moves the data and leaves an overflow pointer).
    void updateRow(const std::string& table, RowId id, const FieldValues& changes);
    void deleteRow(const std::string& table, RowId id);

    // Saved queries stored as Access stores them (MSysObjects + MSysQueries rows).
    // Error(Duplicate) when the name exists, Error(NotFound) when dropping a missing one.
    void createQuery(const std::string& name, const std::string& sql);
    void dropQuery(const std::string& name);

private:
    friend struct detail::WriteAccess;
    Database() = default;
    void init(std::unique_ptr<Pager> pager);
    void loadCatalog();

    HeaderInfo header_;
    const Format* format_ = nullptr;
    std::unique_ptr<Pager> pager_;
    std::vector<CatalogEntry> catalog_;
    mutable std::map<std::string, std::shared_ptr<const Table>> tables_;  // key: upper-cased name
    mutable std::map<std::string, std::shared_ptr<const QueryModel>> queries_;
    mutable std::map<std::string, std::shared_ptr<const detail::TableRules>> rules_;  // key: upper-cased name
    WritablePager* wpager_ = nullptr;  // pager_ itself for Exclusive opens
    // Where rows were last placed, kept across statements by the row writer.
    mutable std::shared_ptr<detail::PlacementHints> placement_;
    // Decoded index pages, kept by the index writer (each checked against the page's bytes).
    mutable std::shared_ptr<detail::IndexNodeCache> indexNodes_;
};

}  // namespace jet
