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

// What a complete journal restores: the file's length and the original bytes of
// every page the interrupted commit was about to overwrite.
struct JournalImage {
    uint32_t pageSize = 0;
    uint64_t originalLength = 0;
    std::map<uint32_t, std::vector<uint8_t>> pages;
};

// Serialises a journal: header (magic, page size, original length, page count,
// checksum over everything else) followed by page-number + page records.
std::vector<uint8_t> journalHeader(uint32_t pageSize, uint64_t originalLength, uint32_t pageCount,
                                   uint64_t checksum);
constexpr size_t kJournalHeaderSize = 32;
// Running checksum (FNV-1a, 64 bit) of the header fields and the records.
uint64_t journalChecksumStart(uint32_t pageSize, uint64_t originalLength, uint32_t pageCount);
uint64_t journalChecksumAdd(uint64_t sum, const uint8_t* p, size_t n);

// Reads the journal of dbPath. Returns false when there is none or when it is
// incomplete or damaged (a crash while it was being written: the file itself was
// not touched yet). Throws Error(Io) only when an existing journal cannot be read.
bool readJournal(const std::string& dbPath, JournalImage& out);

// Page size from the first bytes of a file; Error(NotJet) for anything but a
// Jet 3 / Jet 4 database.
uint32_t detectPageSize(const uint8_t* p, size_t n, const std::string& name);

// Read-only open holding a shared lock (refused with Error(InUse) while a writer
// holds the file); a leftover journal is applied in memory, the file is not changed.
std::unique_ptr<Pager> openSharedFilePager(const std::string& path);

}  // namespace jet::detail
