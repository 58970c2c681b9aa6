// Table definitions and row access.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format.h"
#include "value.h"

namespace jet {

class Database;

struct Column {
    std::string name;
    ColType type = ColType::Long;
    uint16_t number = 0;       // column number stored in rows (may have gaps after deletions)
    uint16_t varIndex = 0;     // index into the row's variable-length offset table
    uint16_t fixedOffset = 0;  // offset of a fixed column's data after the column count
    uint16_t length = 0;       // declared size in bytes (Text: bytes, i.e. 2 per char in Jet 4)
    bool fixed = true;
    bool nullable = true;
    bool autonumber = false;
    bool replication = false;  // auto-generated GUID
    uint8_t precision = 0;     // Decimal
    uint8_t scale = 0;         // Decimal
    uint16_t sortOrder = 0;    // Text/Memo: collation id stored with the column
    uint8_t flags = 0;         // raw column flag byte
};

// Bytes a fixed-length column takes in a row: 0 for Yes/No, which lives in the
// null mask; the declared length for fixed text and binary.
uint32_t fixedSize(const Column& c);

struct IndexColumn {
    int column = -1;  // position in Table::columns()
    bool ascending = true;
};

// A logical index as Access shows it, with the physical ("real") index it uses.
struct Index {
    std::string name;
    int number = 0;           // logical index number
    int realIndex = 0;        // physical index number
    std::vector<IndexColumn> columns;
    bool unique = false;
    bool ignoreNulls = false;
    bool required = false;
    bool primaryKey = false;
    bool foreignKey = false;
    uint8_t flags = 0;        // raw physical index flags
    uint32_t firstPage = 0;   // root page of the B-tree
    uint32_t usedPagesRef = 0;  // row pointer of the index's usage map
    uint32_t rowCountAtDef = 0;
};

struct RowId {
    uint32_t page = 0;
    uint16_t row = 0;
    bool operator==(const RowId&) const = default;
    auto operator<=>(const RowId&) const = default;
};

class Table {
public:
    Table(const Database& db, std::string name, uint32_t tdefPage, bool system);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& name() const { return name_; }
    bool isSystem() const { return system_; }
    uint32_t tdefPage() const { return tdefPage_; }
    // Counters as the definition holds them now: row writes change them in place
    // and leave the rest of the definition, and so this object, as it was.
    uint32_t rowCount() const;
    uint32_t nextAutonumber() const;
    const std::vector<Column>& columns() const { return columns_; }
    const std::vector<Index>& indexes() const { return indexes_; }
    int columnIndex(const std::string& name) const;  // case-insensitive; -1 if absent
    const Index* findIndex(const std::string& name) const;  // case-insensitive
    const Index* primaryKey() const;

    // Data pages owned by the table, in the order the usage map lists them.
    std::vector<uint32_t> dataPages() const;

    // Reads one row; nullopt for a deleted or missing row. Overflow pointers are followed.
    std::optional<Row> readRow(RowId id) const;
    // Reads only the listed columns (positions in columns()); others are left Null.
    std::optional<Row> readRow(RowId id, const std::vector<int>& wanted) const;

    // Forward cursor over live rows in the table's own order.
    class Cursor {
    public:
        explicit Cursor(const Table& t, std::vector<int> wanted = {});
        bool next();  // advances; false at the end
        RowId rowId() const { return current_; }
        const Row& row() const { return row_; }
        // The current row, which the caller may take values from: next() decodes into whatever is left.
        Row& row() { return row_; }
        // Hands the current row over to the caller; the next call to next() decodes into a fresh one.
        Row takeRow() { return std::move(row_); }

    private:
        const Table& table_;
        std::vector<int> wanted_;
        std::vector<uint32_t> pages_;
        size_t pageIdx_ = 0;
        int rowIdx_ = -1;
        RowId current_;
        Row row_;
    };
    Cursor scan(std::vector<int> wanted = {}) const { return Cursor(*this, std::move(wanted)); }

    // Rows whose key equals `key` (one value per index column), found by descending the B-tree.
    std::vector<RowId> seek(const Index& index, const std::vector<Value>& key) const;
    // All entries of an index in index order (used by the integrity check).
    struct IndexEntry {
        std::vector<uint8_t> key;
        RowId row;
    };
    std::vector<IndexEntry> indexEntries(const Index& index) const;
    // Every page of an index's B-tree as stored, root first, children in key order (integrity check).
    struct IndexPageInfo {
        uint32_t page = 0;
        uint32_t parent = 0;  // 0 for the root
        int depth = 0;        // 0 for the root
        bool leaf = true;
        uint32_t prev = 0, next = 0, tail = 0;
        uint32_t tailField = 0;  // as stored; a leaf has no tail child and Access leaves it 0
        uint32_t freeField = 0;  // the page's count of its free bytes, as stored
        uint32_t unused = 0;     // bytes its entries leave free
        std::vector<IndexEntry> entries;
        std::vector<uint32_t> children;  // intermediate pages: the child of each entry
    };
    std::vector<IndexPageInfo> indexPages(const Index& index) const;
    // The encoded key of a row for an index (same bytes as stored in index pages).
    std::vector<uint8_t> encodeKey(const Index& index, const Row& row) const;

    const Database& database() const { return db_; }

    // Definition fields the row writer needs besides the decoded view.
    uint16_t maxColumns() const { return maxCols_; }        // column count written in each row
    uint16_t varColumnCount() const { return numVarCols_; }
    uint32_t usedPagesMap() const { return usedPagesRef_; }  // row pointers of the table's usage maps
    uint32_t freePagesMap() const { return freePagesRef_; }
    const std::vector<uint8_t>& definitionBytes() const { return tdef_; }  // counters as first read
    // What the row writer derives from the definition, kept with it so each
    // write need not derive it again.
    const std::shared_ptr<const void>& writerMemo() const { return writerMemo_; }
    void setWriterMemo(std::shared_ptr<const void> memo) const { writerMemo_ = std::move(memo); }

private:
    friend class TableLoader;
    const Database& db_;
    std::string name_;
    uint32_t tdefPage_;
    bool system_;
    uint32_t usedPagesRef_ = 0;
    uint32_t freePagesRef_ = 0;
    std::vector<Column> columns_;
    std::vector<Index> indexes_;
    std::vector<uint8_t> tdef_;  // the whole definition, all its pages concatenated
    uint16_t numVarCols_ = 0;
    uint16_t maxCols_ = 0;
    mutable std::shared_ptr<const void> writerMemo_;

    // The bytes of a live row, following overflow pointers; false for a deleted or missing row.
    bool locateRow(RowId id, const uint8_t*& data, size_t& len) const;
    // Decodes the wanted columns (all when null) of a row into out (sized to columns()).
    void decodeRow(const uint8_t* data, size_t len, const std::vector<int>* wanted, Row& out) const;
};

}  // namespace jet
