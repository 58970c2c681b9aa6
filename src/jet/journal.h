// Rollback journal kept beside a database while a transaction commits, and the
// locked file pagers built on it. Internal to the engine.
#pragma once

#include <cstdint>
#include <functional>
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
    uint32_t pageCount = 0;        // original pages recorded
    uint64_t originalLength = 0;   // file length before the commit
    uint64_t headerPageHash = 0;   // hash of page 0 before the commit
    uint32_t newPageCount = 0;     // pages in the file once the commit is written
};

// What a complete journal restores: the file's length and the original bytes of
// every page the interrupted commit was about to overwrite. Journals also record
// what was being written, sector by sector, so that recovery can tell a file
// still as the crash left it from one another program has written to since;
// older journals (knowsWrites false) do not.
struct JournalImage {
    JournalHeader header;
    std::map<uint32_t, std::vector<uint8_t>> pages;
    std::map<uint32_t, std::vector<uint64_t>> written;  // per page, a hash per sector
    bool knowsWrites = false;
};

// A page a commit writes: its original bytes (null for a page it appends) and its new ones.
struct JournalPage {
    uint32_t number = 0;
    const uint8_t* before = nullptr;
    const uint8_t* after = nullptr;
};

// A whole journal ready to write: the header, then one record per original page
// (recordEnds[i] is where record i ends), then the hashes of appended pages.
struct JournalBytes {
    std::vector<uint8_t> bytes;
    size_t headerSize = 0;
    std::vector<size_t> recordEnds;
};
JournalBytes encodeJournal(uint32_t pageSize, uint64_t originalLength, const uint8_t* page0, uint32_t newPageCount,
                           const std::vector<JournalPage>& pages);
uint64_t hashPage(const uint8_t* p, size_t n);

// Reads a journal file. Returns false when there is none or when it is
// incomplete or damaged (a crash while it was being written: the database itself
// was not touched yet). Throws Error(Io) only when an existing journal cannot be read.
bool readJournal(const std::string& journalFile, JournalImage& out);

enum class JournalFit {
    Applies,     // the file is as the interrupted commit left it: roll back
    OtherFile,   // an older journal that does not belong to the file: ignore it
    Overwritten  // written to since the crash (or replaced): the journal must not be applied
};

// Reads page n of the database into buf (pageSize bytes); returns how many bytes the file holds of it.
using PageReader = std::function<size_t(uint32_t n, uint8_t* buf)>;

// Whether a complete journal may be rolled back into the file as it is now.
JournalFit judgeJournal(const JournalImage& img, uint64_t fileSize, const PageReader& read);

// The refusal when a journal no longer fits the file it was written for.
[[noreturn]] void throwOverwritten(const std::string& dbPath, const std::string& journalFile);

// Where the journal of a database lives: beside the file a symbolic link points to.
std::string journalFor(const std::string& dbPath);

// Page size from the first bytes of a file; Error(NotJet) for anything but a
// Jet 3 / Jet 4 database.
uint32_t detectPageSize(const uint8_t* p, size_t n, const std::string& name);

// Read-only open holding a shared lock (refused with Error(InUse) while a writer
// holds the file); a leftover journal is applied in memory, the file is not changed.
std::unique_ptr<Pager> openSharedFilePager(const std::string& path);

}  // namespace jet::detail
