#include "journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "bytes.h"
#include "error.h"

namespace jet::detail {
namespace {

constexpr char kMagic[8] = {'H', 'G', 'J', 'R', 'N', 'L', '0', '2'};
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
bool readAll(int fd, uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        ssize_t got = ::pread(fd, p, n, at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
            throw Error(std::string("cannot read the journal of an interrupted write: ") + std::strerror(errno),
                        Error::Code::Io);
        if (got == 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
        at += got;
    }
    return true;
}

void putFields(uint8_t* p, const JournalHeader& h) {
    put32(p, h.pageSize);
    put32(p + 4, h.pageCount);
    put64(p + 8, h.originalLength);
    put64(p + 16, h.headerPageHash);
}

}  // namespace

uint64_t journalChecksumAdd(uint64_t sum, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        sum ^= p[i];
        sum *= kFnvPrime;
    }
    return sum;
}

uint64_t hashPage(const uint8_t* p, size_t n) { return journalChecksumAdd(kFnvOffset, p, n); }

uint64_t journalChecksumStart(const JournalHeader& h) {
    uint8_t fields[24];
    putFields(fields, h);
    return journalChecksumAdd(kFnvOffset, fields, sizeof fields);
}

std::vector<uint8_t> encodeJournalHeader(const JournalHeader& h, uint64_t checksum) {
    std::vector<uint8_t> out(kJournalHeaderSize, 0);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    putFields(out.data() + 8, h);
    put64(out.data() + 32, checksum);
    return out;
}

bool readJournal(const std::string& jp, JournalImage& out) {
    int fd = ::open(jp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return false;
        throw Error("cannot read the journal " + jp + " of an interrupted write: " + std::strerror(errno),
                    Error::Code::Io);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw Error("cannot read the journal " + jp + " of an interrupted write: " + std::strerror(errno),
                    Error::Code::Io);
    if (!S_ISREG(st.st_mode)) return false;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    uint8_t raw[kJournalHeaderSize];
    if (size < kJournalHeaderSize || !readAll(fd, raw, sizeof raw, 0)) return false;
    if (std::memcmp(raw, kMagic, sizeof kMagic) != 0) return false;
    JournalHeader h;
    h.pageSize = bytes::u32(raw + 8);
    h.pageCount = bytes::u32(raw + 12);
    h.originalLength = bytes::u64(raw + 16);
    h.headerPageHash = bytes::u64(raw + 24);
    const uint64_t want = bytes::u64(raw + 32);
    if (h.pageSize != 2048 && h.pageSize != 4096) return false;
    if (h.originalLength / h.pageSize > UINT32_MAX) return false;
    // The size must match exactly: a shorter file is a journal whose writing was cut off.
    const uint64_t recLen = kRecordHead + h.pageSize;
    if (size != kJournalHeaderSize + static_cast<uint64_t>(h.pageCount) * recLen) return false;
    uint64_t sum = journalChecksumStart(h);
    std::vector<uint8_t> rec(recLen);
    JournalImage img;
    img.header = h;
    for (uint32_t i = 0; i < h.pageCount; ++i) {
        if (!readAll(fd, rec.data(), rec.size(), static_cast<off_t>(kJournalHeaderSize + i * recLen))) return false;
        sum = journalChecksumAdd(sum, rec.data(), rec.size());
        const uint32_t pg = bytes::u32(rec.data());
        if (static_cast<uint64_t>(pg) * h.pageSize >= h.originalLength) return false;
        img.pages[pg].assign(rec.begin() + kRecordHead, rec.end());
    }
    if (sum != want) return false;
    out = std::move(img);
    return true;
}

bool journalMatches(const JournalImage& img, uint64_t fileSize, const uint8_t* page0, size_t page0Len) {
    if (fileSize < img.header.originalLength) return false;
    if (img.pages.count(0)) return true;
    return page0 && page0Len == img.header.pageSize && hashPage(page0, page0Len) == img.header.headerPageHash;
}

std::string journalFor(const std::string& dbPath) {
    std::error_code ec;
    auto real = std::filesystem::canonical(dbPath, ec);
    return journalPath(ec ? dbPath : real.string());
}

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
