// Page access to a Jet file. Reads are bounds-checked: a page number outside
// the file raises a Corrupt error instead of reading past the mapping.
#pragma once

#include <cstdint>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace jet {

class Pager {
public:
    virtual ~Pager() = default;
    virtual uint32_t pageSize() const = 0;
    virtual uint32_t pageCount() const = 0;
    // Pointer to pageSize() bytes, valid until the pager is destroyed or the page is written.
    virtual const uint8_t* page(uint32_t n) const = 0;
    virtual const std::string& path() const = 0;
};

// Read-write access with page-level transactions. Pages changed in a transaction
// live in memory until commit; commit first writes the original pages to a
// journal beside the file and syncs it, then writes and syncs the file, then
// removes the journal, so a crash at any point leaves a file that opens as
// either the old or the new state.
class WritablePager : public Pager {
public:
    // A page to change; the caller must be inside a transaction. The returned
    // pointer stays valid until commit or rollback.
    virtual uint8_t* mutablePage(uint32_t n) = 0;
    // A new zero-filled page at the end of the file (part of the transaction).
    virtual uint32_t appendPage() = 0;
    virtual void begin() = 0;
    virtual void commit() = 0;    // throws Error(Io) and leaves the file as before on failure
    virtual void rollback() = 0;
    virtual bool inTransaction() const = 0;
    // Test hook called before every page written to the journal or the file during
    // commit (phase "journal" / "file"); throwing from it simulates a crash there.
    virtual void setFaultHook(std::function<void(const char* phase, uint32_t page)> hook) = 0;
    // Statement-level undo inside a transaction: mark() opens a level and returns
    // it; rollbackToMark(level) undoes every page change made since (pages
    // appended since are dropped), releaseMark(level) keeps them. Levels nest.
    virtual size_t mark() = 0;
    virtual void rollbackToMark(size_t level) = 0;
    virtual void releaseMark(size_t level) = 0;
};

// Opens a file for writing, holding it exclusively; rolls back a leftover journal.
// Throws Error(InUse) when another open (this or another process) holds the file.
std::unique_ptr<WritablePager> openWritableFilePager(const std::string& path, uint32_t pageSize);

// Path of the journal kept beside a database file while a transaction commits.
std::string journalPath(const std::string& dbPath);

// A pager over bytes in memory (used by the fuzzer and tests); copies the data.
std::unique_ptr<Pager> openMemoryPager(const uint8_t* data, size_t size, uint32_t pageSize, std::string name);

}  // namespace jet
