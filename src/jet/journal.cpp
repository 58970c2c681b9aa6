#include "journal.h"

#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "error.h"
#include "platform.h"

namespace jet::detail {
namespace {

// Version 2 journals hold only the original pages; version 3 adds the number of
// pages after the commit and, for every page written, a hash per sector of the
// new bytes. Sectors because a power cut may leave a page half written.
constexpr char kMagicV2[8] = {'H', 'G', 'J', 'R', 'N', 'L', '0', '2'};
constexpr char kMagicV3[8] = {'H', 'G', 'J', 'R', 'N', 'L', '0', '3'};
constexpr size_t kHeaderV2 = 40;
constexpr size_t kHeaderV3 = 48;
constexpr size_t kSector = 512;
constexpr uint64_t kFnvOffset = 1469598103934665603ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
// Records hold a page number and four reserved bytes before the page.
constexpr size_t kRecordHead = 8;

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// False only when the file ends first; a failed read throws, since a journal we
// could not read may still be needed to repair the file.
bool readAll(const platform::File& f, uint8_t* p, size_t n, uint64_t at) {
    size_t got = 0;
    if (!f.readAt(p, n, at, got))
        throw Error("cannot read the journal of an interrupted write: " + platform::lastError(), Error::Code::Io);
    return got == n;
}

uint64_t checksumAdd(uint64_t sum, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        sum ^= p[i];
        sum *= kFnvPrime;
    }
    return sum;
}

// Eight bytes at a time: hashing every page a commit writes must stay cheap.
uint64_t sectorHash(const uint8_t* p, size_t n) {
    uint64_t h = kFnvOffset ^ n;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        h = (h ^ bytes::u64(p + i)) * kFnvPrime;
        h ^= h >> 31;
    }
    return checksumAdd(h, p + i, n - i);
}

size_t sectorsPerPage(uint32_t pageSize) { return pageSize / kSector; }

// The fields before the checksum, as the checksum covers them.
std::vector<uint8_t> fields(const JournalHeader& h, bool v3) {
    std::vector<uint8_t> f(v3 ? 32 : 24, 0);
    put32(f.data(), h.pageSize);
    put32(f.data() + 4, h.pageCount);
    put64(f.data() + 8, h.originalLength);
    put64(f.data() + 16, h.headerPageHash);
    if (v3) put32(f.data() + 24, h.newPageCount);
    return f;
}

// First page a commit appends: the old last page may have been partial.
uint32_t firstAppended(const JournalHeader& h) { return static_cast<uint32_t>(h.originalLength / h.pageSize); }

void appendHashes(std::vector<uint8_t>& out, const uint8_t* page, uint32_t pageSize) {
    for (size_t s = 0; s < sectorsPerPage(pageSize); ++s) {
        const size_t at = out.size();
        out.resize(at + 8);
        put64(out.data() + at, sectorHash(page + s * kSector, kSector));
    }
}

std::vector<uint64_t> takeHashes(const uint8_t* p, uint32_t pageSize) {
    std::vector<uint64_t> h(sectorsPerPage(pageSize));
    for (size_t s = 0; s < h.size(); ++s) h[s] = bytes::u64(p + 8 * s);
    return h;
}

bool allZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

}  // namespace

uint64_t hashPage(const uint8_t* p, size_t n) { return checksumAdd(kFnvOffset, p, n); }

JournalBytes encodeJournal(uint32_t pageSize, uint64_t originalLength, const uint8_t* page0, uint32_t newPageCount,
                           const std::vector<JournalPage>& pages) {
    JournalHeader h;
    h.pageSize = pageSize;
    h.originalLength = originalLength;
    h.headerPageHash = hashPage(page0, pageSize);
    h.newPageCount = newPageCount;
    for (const auto& p : pages)
        if (p.before) ++h.pageCount;
    JournalBytes out;
    auto& b = out.bytes;
    const size_t hashBytes = 8 * sectorsPerPage(pageSize);
    b.reserve(kHeaderV3 + h.pageCount * (kRecordHead + pageSize + hashBytes) + (pages.size() - h.pageCount) * hashBytes);
    b.assign(kHeaderV3, 0);
    out.headerSize = kHeaderV3;
    for (const auto& p : pages) {
        if (!p.before) continue;
        const size_t at = b.size();
        b.resize(at + kRecordHead);
        put32(b.data() + at, p.number);
        b.insert(b.end(), p.before, p.before + pageSize);
        appendHashes(b, p.after, pageSize);
        out.recordEnds.push_back(b.size());
    }
    // Appended pages follow in order from the first one, so only their hashes are kept.
    uint32_t next = firstAppended(h);
    for (const auto& p : pages) {
        if (p.before) continue;
        if (p.number != next++) throw Error("internal error: appended pages out of order");
        appendHashes(b, p.after, pageSize);
    }
    if (next != newPageCount && next != firstAppended(h))
        throw Error("internal error: appended pages do not reach the new end of the file");
    const auto f = fields(h, true);
    uint64_t sum = checksumAdd(kFnvOffset, f.data(), f.size());
    sum = checksumAdd(sum, b.data() + kHeaderV3, b.size() - kHeaderV3);
    std::memcpy(b.data(), kMagicV3, sizeof kMagicV3);
    std::memcpy(b.data() + 8, f.data(), f.size());
    put64(b.data() + 40, sum);
    return out;
}

bool readJournal(const std::string& jp, JournalImage& out) {
    platform::File fd;
    switch (fd.open(jp, platform::Access::Peek)) {
        case platform::OpenResult::Ok: break;
        case platform::OpenResult::NotFound:
        case platform::OpenResult::Folder:
        case platform::OpenResult::NotRegular: return false;
        default:
            throw Error("cannot read the journal " + jp + " of an interrupted write: " + platform::lastError(),
                        Error::Code::Io);
    }
    uint64_t size = 0;
    if (!fd.size(size))
        throw Error("cannot read the journal " + jp + " of an interrupted write: " + platform::lastError(),
                    Error::Code::Io);
    uint8_t raw[kHeaderV3];
    if (size < kHeaderV2 || !readAll(fd, raw, kHeaderV2, 0)) return false;
    const bool v3 = std::memcmp(raw, kMagicV3, 8) == 0;
    if (!v3 && std::memcmp(raw, kMagicV2, 8) != 0) return false;
    const size_t headerSize = v3 ? kHeaderV3 : kHeaderV2;
    if (v3 && (size < kHeaderV3 || !readAll(fd, raw, kHeaderV3, 0))) return false;
    JournalHeader h;
    h.pageSize = bytes::u32(raw + 8);
    h.pageCount = bytes::u32(raw + 12);
    h.originalLength = bytes::u64(raw + 16);
    h.headerPageHash = bytes::u64(raw + 24);
    if (v3) h.newPageCount = bytes::u32(raw + 32);
    const uint64_t want = bytes::u64(raw + headerSize - 8);
    if (h.pageSize != 2048 && h.pageSize != 4096) return false;
    if (h.originalLength / h.pageSize > UINT32_MAX) return false;
    const uint32_t appended = v3 && h.newPageCount > firstAppended(h) ? h.newPageCount - firstAppended(h) : 0;
    // The size must match exactly: a shorter file is a journal whose writing was cut off.
    const uint64_t hashLen = v3 ? 8 * sectorsPerPage(h.pageSize) : 0;
    const uint64_t recLen = kRecordHead + h.pageSize + hashLen;
    if (size != headerSize + static_cast<uint64_t>(h.pageCount) * recLen + appended * hashLen) return false;
    const auto f = fields(h, v3);
    uint64_t sum = checksumAdd(kFnvOffset, f.data(), f.size());
    std::vector<uint8_t> rec(recLen);
    JournalImage img;
    img.header = h;
    img.knowsWrites = v3;
    uint64_t at = headerSize;
    for (uint32_t i = 0; i < h.pageCount; ++i, at += recLen) {
        if (!readAll(fd, rec.data(), rec.size(), at)) return false;
        sum = checksumAdd(sum, rec.data(), rec.size());
        const uint32_t pg = bytes::u32(rec.data());
        if (static_cast<uint64_t>(pg) * h.pageSize >= h.originalLength) return false;
        img.pages[pg].assign(rec.begin() + kRecordHead, rec.begin() + kRecordHead + h.pageSize);
        if (v3) img.written[pg] = takeHashes(rec.data() + kRecordHead + h.pageSize, h.pageSize);
    }
    for (uint32_t i = 0; i < appended; ++i, at += hashLen) {
        if (!readAll(fd, rec.data(), hashLen, at)) return false;
        sum = checksumAdd(sum, rec.data(), hashLen);
        img.written[firstAppended(h) + i] = takeHashes(rec.data(), h.pageSize);
    }
    if (sum != want) return false;
    out = std::move(img);
    return true;
}

JournalFit judgeJournal(const JournalImage& img, uint64_t fileSize, const PageReader& read) {
    const JournalHeader& h = img.header;
    const size_t ps = h.pageSize;
    std::vector<uint8_t> buf(ps);
    const bool headerKept = img.pages.count(0) != 0;
    const bool headerSame = headerKept || (read(0, buf.data()) == ps && hashPage(buf.data(), ps) == h.headerPageHash);
    if (!img.knowsWrites)
        return fileSize >= h.originalLength && headerSame ? JournalFit::Applies : JournalFit::OtherFile;
    // The commit only grows the file, one whole page at a time.
    const uint64_t newLength = std::max<uint64_t>(h.originalLength, uint64_t(h.newPageCount) * ps);
    if (!headerSame || fileSize < h.originalLength || fileSize > newLength ||
        (fileSize != h.originalLength && fileSize % ps != 0))
        return JournalFit::Overwritten;
    // Every sector of every page the commit wrote holds what was there or what was being written.
    for (const auto& [n, hashes] : img.written) {
        auto old = img.pages.find(n);
        const size_t have = read(n, buf.data());
        for (size_t s = 0; s < hashes.size() && (s + 1) * kSector <= have; ++s) {
            const uint8_t* sec = buf.data() + s * kSector;
            if (sectorHash(sec, kSector) == hashes[s]) continue;
            if (old != img.pages.end() ? std::memcmp(sec, old->second.data() + s * kSector, kSector) == 0
                                       : allZero(sec, kSector))
                continue;
            return JournalFit::Overwritten;
        }
    }
    return JournalFit::Applies;
}

void throwOverwritten(const std::string& dbPath, const std::string& journalFile) {
    throw Error(dbPath + " was changed by another program after a write to it was interrupted, so the record of "
                "that write (" + journalFile + ") can no longer be used to repair it. Both were left as they are. "
                "If the file opens correctly in the program that changed it, delete " + journalFile +
                "; otherwise go back to a backup copy of the file.",
                Error::Code::Corrupt);
}

std::string journalFor(const std::string& dbPath) { return journalPath(platform::realPath(dbPath)); }

uint32_t detectPageSize(const uint8_t* p, size_t n, const std::string& name) {
    static const char jet[] = "Standard Jet DB";
    static const char ace[] = "Standard ACE DB";
    if (n < 0x20 || p[0] != 0x00 || p[1] != 0x01 || p[2] != 0x00 || p[3] != 0x00)
        throw Error(name + " is not a Jet database (the format of Timer files and Access 97-2003 databases).", Error::Code::NotJet);
    if (std::memcmp(p + 4, ace, sizeof ace - 1) == 0)
        throw Error(name + " is an Access 2007 or later (.accdb) database; only Access 97-2003 files are supported",
                    Error::Code::NotJet);
    if (std::memcmp(p + 4, jet, sizeof jet - 1) != 0)
        throw Error(name + " is not a Jet database (the format of Timer files and Access 97-2003 databases).", Error::Code::NotJet);
    switch (p[0x14]) {
        case 0: return 2048;
        case 1: return 4096;
        default:
            throw Error(name + ": unsupported Jet database version " + std::to_string(p[0x14]), Error::Code::NotJet);
    }
}

}  // namespace jet::detail

namespace jet {

std::string journalPath(const std::string& dbPath) { return dbPath + "-journal"; }

}  // namespace jet
