// Opening for writing, transactions and cache invalidation.
#include <cctype>

#include "database.h"
#include "error.h"
#include "journal.h"
#include "write_internal.h"

namespace jet {
namespace detail {

struct WriteAccess {
    static WritablePager* pager(const Database& db) { return db.wpager_; }
    static void reload(const Database& cdb) {
        // Databases are always created non-const; only the cache accessors are const.
        auto& db = const_cast<Database&>(cdb);
        db.tables_.clear();
        db.queries_.clear();
        db.rules_.clear();
        // A rollback may have taken back the pages the hints name.
        db.placement_.reset();
        db.catalog_.clear();
        db.header_.pageCount = db.pager_->pageCount();
        db.loadCatalog();
    }
    // A row written to a user table changes only that table's counters, which
    // Table reads from the page each time, so its decoded definition stands;
    // the catalog and saved queries live in system tables.
    static void forgetTable(const Database& cdb, const Table& t) {
        auto& db = const_cast<Database&>(cdb);
        if (t.isSystem()) return reload(cdb);
        db.header_.pageCount = db.pager_->pageCount();
    }
    static PlacementHints& placement(const Database& db) {
        if (!db.placement_) db.placement_ = std::make_shared<PlacementHints>();
        return *db.placement_;
    }
    static std::shared_ptr<IndexNodeCache>& indexNodes(const Database& db) { return db.indexNodes_; }
    static std::unique_ptr<Database> create() { return std::unique_ptr<Database>(new Database()); }
    static void init(Database& db, std::unique_ptr<Pager> pager) { db.init(std::move(pager)); }
    static void setWritable(Database& db, WritablePager* wp) { db.wpager_ = wp; }
    static auto& rules(const Database& db) { return db.rules_; }
};

void checkTableRules(const Database& db, const Table& t, const Row& row) {
    auto& cache = WriteAccess::rules(db);
    std::string key = t.name();
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, std::make_shared<const TableRules>(loadTableRules(db, t))).first;
    enforceTableRules(db, t, *it->second, row);
}

WritablePager& writablePager(const Database& db) {
    WritablePager* wp = WriteAccess::pager(db);
    if (!wp) throw Error(db.path() + " was opened read-only; it cannot be changed", Error::Code::ReadOnly);
    return *wp;
}

void invalidateCaches(const Database& db) { WriteAccess::reload(db); }

void invalidateTable(const Database& db, const Table& t) { WriteAccess::forgetTable(db, t); }

PlacementHints& placementHints(const Database& db) { return WriteAccess::placement(db); }

std::shared_ptr<IndexNodeCache>& indexNodeSlot(const Database& db) { return WriteAccess::indexNodes(db); }

AutoTxn::AutoTxn(Database& db) : db_(db) {
    WritablePager& wp = writablePager(db);
    if (!wp.inTransaction()) {
        db.beginTransaction();
        own_ = true;
    } else {
        level_ = wp.mark();
    }
}

AutoTxn::~AutoTxn() {
    if (done_) return;
    try {
        if (own_) {
            db_.rollbackTransaction();
        } else {
            WritablePager& wp = writablePager(db_);
            if (wp.inTransaction()) {
                wp.rollbackToMark(level_);
                invalidateCaches(db_);
            }
        }
    } catch (...) {
        // Unwinding already: the first error is the one to report.
    }
}

void AutoTxn::commit() {
    done_ = true;
    if (own_)
        db_.commitTransaction();
    else
        writablePager(db_).releaseMark(level_);
}

}  // namespace detail

std::unique_ptr<Database> Database::open(const std::string& path, OpenMode mode) {
    auto db = detail::WriteAccess::create();
    if (mode == OpenMode::Exclusive) {
        auto wp = openWritableFilePager(path, 0);
        WritablePager* raw = wp.get();
        detail::WriteAccess::init(*db, std::move(wp));
        detail::WriteAccess::setWritable(*db, raw);
    } else {
        detail::WriteAccess::init(*db, detail::openSharedFilePager(path));
    }
    return db;
}

bool Database::isWritable() const { return wpager_ != nullptr; }

bool Database::inTransaction() const { return wpager_ && wpager_->inTransaction(); }

void Database::beginTransaction() {
    WritablePager& wp = detail::writablePager(*this);
    if (wp.inTransaction()) throw Error("a transaction is already open on " + path());
    wp.begin();
}

void Database::commitTransaction() {
    WritablePager& wp = detail::writablePager(*this);
    if (!wp.inTransaction()) throw Error("no transaction is open on " + path());
    try {
        wp.commit();
    } catch (...) {
        // The pager has rolled back (or stopped after a simulated crash); what
        // was cached may describe the abandoned changes.
        try {
            detail::invalidateCaches(*this);
        } catch (...) {
        }
        throw;
    }
    detail::invalidateCaches(*this);
}

void Database::rollbackTransaction() {
    WritablePager& wp = detail::writablePager(*this);
    if (!wp.inTransaction()) return;
    wp.rollback();
    detail::invalidateCaches(*this);
}

}  // namespace jet
