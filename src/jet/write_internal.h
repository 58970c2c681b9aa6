// The pieces the writing modules share: page allocation, usage-map edits,
// index maintenance and cache invalidation. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "database.h"
#include "pager.h"
#include "table.h"

namespace jet::detail {

// The database's writable pager; Error(ReadOnly) for a read-only open. Every
// change goes through it inside a transaction (the write entry points open an
// implicit one when the caller has not).
WritablePager& writablePager(const Database& db);

// Takes a page for new use: a free page listed by the global usage map when there
// is one, else a new page at the end of the file; either way the global map is
// updated as Jet does and the page comes back zero-filled.
uint32_t allocatePage(Database& db);
// Gives a page back to the global usage map (its content is zeroed).
void freePage(Database& db, uint32_t page);

// Usage maps addressed by a row pointer (page << 8 | row), inline (type 0) or
// reference (type 1): set or clear one page's bit, converting or growing the map
// the way Jet does when the page lies outside what the map covers.
void usageMapAdd(Database& db, uint32_t mapRowPtr, uint32_t page);
void usageMapRemove(Database& db, uint32_t mapRowPtr, uint32_t page);

// Index maintenance for one index of a table. `row` is the full row as stored.
// Duplicate checks come first so a refused write changes nothing.
bool indexWouldDuplicate(const Database& db, const Table& t, const Index& idx, const Row& row, RowId self);
void indexInsert(Database& db, const Table& t, const Index& idx, const Row& row, RowId id);
void indexRemove(Database& db, const Table& t, const Index& idx, const Row& row, RowId id);

// What Access keeps as column and table properties (MSysObjects.LvProp) and Jet
// enforces on every insert and update.
struct TableRules {
    struct ColumnRule {
        int column = -1;  // position in Table::columns()
        bool required = false;
        bool allowZeroLength = true;
        std::string rule, text;  // validation rule and the message it shows
    };
    std::vector<ColumnRule> columns;  // only columns with something to enforce
    std::string rule, text;           // the table's own validation rule
};
TableRules loadTableRules(const Database& db, const Table& t);
void enforceTableRules(const Database& db, const Table& t, const TableRules& rules, const Row& row);
// Throws Error naming the column or the rule when `row` breaks one; changes nothing.
void checkTableRules(const Database& db, const Table& t, const Row& row);

// Forgets cached tables, queries and the catalog after a change or rollback.
void invalidateCaches(const Database& db);
// After rows of one table changed: a user table's decoded definition stands (its
// counters are read from the page); a system table's change forgets every cache,
// since the catalog and queries come from them.
void invalidateTable(const Database& db, const Table& t);

// What the row writer remembers between statements so an insert need not search
// the table's pages: the page each table last took a row on, and pages found too
// full for a row of some size. A refusal holds only while the page's free-space
// count and row count are unchanged, so no write elsewhere has to keep it up to date.
struct PlacementHints {
    struct Refusal {
        uint32_t rowSize;  // smallest row the page could not take
        uint16_t free, rows;
    };
    std::unordered_map<uint32_t, uint32_t> lastPage;  // table definition page -> data page
    std::unordered_map<uint32_t, Refusal> refused;    // data page -> refusal
};
PlacementHints& placementHints(const Database& db);

// Where the index writer keeps the pages it decoded (defined and filled there).
struct IndexNodeCache;
std::shared_ptr<IndexNodeCache>& indexNodeSlot(const Database& db);

// Wraps one write entry point: its own transaction when the caller has none
// open, else an undoable step of the caller's transaction. Without commit()
// the destructor undoes everything done since construction.
class AutoTxn {
public:
    explicit AutoTxn(Database& db);
    ~AutoTxn();
    AutoTxn(const AutoTxn&) = delete;
    AutoTxn& operator=(const AutoTxn&) = delete;
    void commit();

private:
    Database& db_;
    bool own_ = false;
    bool done_ = false;
    size_t level_ = 0;
};

}  // namespace jet::detail
