// Rollback journal kept beside a database while a transaction commits, and the
// locked file pagers built on it. Internal to the engine.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pager.h"

namespace jet::detail {

// The fixed part of a journal. The header page's hash ties the journal to its
// database: a file copied over the database after a crash is not "repaired"
// with another file's pages.
struct JournalHeader {
    uint32_t pageSize = 0;
    uint32_t pageCount = 0;        // page records that follow
    uint64_t originalLength = 0;   // file length before the commit
    uint64_t headerPageHash = 0;   // hash of page 0 before the commit
};
constexpr size_t kJournalHeaderSize = 40;

// What a complete journal restores: the file's length and the original bytes of
// every page the interrupted commit was about to overwrite.
struct JournalImage {
    JournalHeader header;
    std::map<uint32_t, std::vector<uint8_t>> pages;
};

// Layout: magic, the header fields, a checksum (FNV-1a, 64 bit) over the fields
// and every record; then records of page number, four reserved bytes and the page.
std::vector<uint8_t> encodeJournalHeader(const JournalHeader& h, uint64_t checksum);
uint64_t journalChecksumStart(const JournalHeader& h);
uint64_t journalChecksumAdd(uint64_t sum, const uint8_t* p, size_t n);
uint64_t hashPage(const uint8_t* p, size_t n);

// Reads a journal file. Returns false when there is none or when it is
// incomplete or damaged (a crash while it was being written: the database itself
// was not touched yet). Throws Error(Io) only when an existing journal cannot be read.
bool readJournal(const std::string& journalFile, JournalImage& out);

// Whether a complete journal belongs to the database as it is now: the file is
// at least as long as before the commit and its header page is the one the
// journal saw (unless the journal holds page 0 itself).
bool journalMatches(const JournalImage& img, uint64_t fileSize, const uint8_t* page0, size_t page0Len);

// Where the journal of a database lives: beside the file a symbolic link points to.
std::string journalFor(const std::string& dbPath);

// Page size from the first bytes of a file; Error(NotJet) for anything but a
// Jet 3 / Jet 4 database.
uint32_t detectPageSize(const uint8_t* p, size_t n, const std::string& name);

// Read-only open holding a shared lock (refused with Error(InUse) while a writer
// holds the file); a leftover journal is applied in memory, the file is not changed.
std::unique_ptr<Pager> openSharedFilePager(const std::string& path);

}  // namespace jet::detail
