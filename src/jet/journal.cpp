#include "journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bytes.h"
#include "error.h"

namespace jet::detail {
namespace {

constexpr char kMagic[8] = {'H', 'G', 'J', 'R', 'N', 'L', '0', '1'};
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

bool readAll(int fd, uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        ssize_t got = ::pread(fd, p, n, at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
        at += got;
    }
    return true;
}

}  // namespace

uint64_t journalChecksumAdd(uint64_t sum, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        sum ^= p[i];
        sum *= kFnvPrime;
    }
    return sum;
}

uint64_t journalChecksumStart(uint32_t pageSize, uint64_t originalLength, uint32_t pageCount) {
    uint8_t fields[16];
    put32(fields, pageSize);
    put32(fields + 4, pageCount);
    put64(fields + 8, originalLength);
    return journalChecksumAdd(kFnvOffset, fields, sizeof fields);
}

std::vector<uint8_t> journalHeader(uint32_t pageSize, uint64_t originalLength, uint32_t pageCount, uint64_t checksum) {
    std::vector<uint8_t> h(kJournalHeaderSize, 0);
    std::memcpy(h.data(), kMagic, sizeof kMagic);
    put32(h.data() + 8, pageSize);
    put32(h.data() + 12, pageCount);
    put64(h.data() + 16, originalLength);
    put64(h.data() + 24, checksum);
    return h;
}

bool readJournal(const std::string& dbPath, JournalImage& out) {
    const std::string jp = journalPath(dbPath);
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
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    uint8_t h[kJournalHeaderSize];
    if (size < kJournalHeaderSize || !readAll(fd, h, sizeof h, 0)) return false;
    if (std::memcmp(h, kMagic, sizeof kMagic) != 0) return false;
    const uint32_t pageSize = bytes::u32(h + 8);
    const uint32_t count = bytes::u32(h + 12);
    const uint64_t origLen = bytes::u64(h + 16);
    const uint64_t want = bytes::u64(h + 24);
    if (pageSize != 2048 && pageSize != 4096) return false;
    // The size must match exactly: a shorter file is a journal whose writing was cut off.
    const uint64_t recLen = kRecordHead + pageSize;
    if (size != kJournalHeaderSize + static_cast<uint64_t>(count) * recLen) return false;
    if (origLen / pageSize > UINT32_MAX) return false;
    uint64_t sum = journalChecksumStart(pageSize, origLen, count);
    std::vector<uint8_t> rec(recLen);
    JournalImage img;
    img.pageSize = pageSize;
    img.originalLength = origLen;
    for (uint32_t i = 0; i < count; ++i) {
        if (!readAll(fd, rec.data(), rec.size(), static_cast<off_t>(kJournalHeaderSize + i * recLen))) return false;
        sum = journalChecksumAdd(sum, rec.data(), rec.size());
        const uint32_t pg = bytes::u32(rec.data());
        if (static_cast<uint64_t>(pg) * pageSize >= origLen) return false;
        img.pages[pg].assign(rec.begin() + kRecordHead, rec.end());
    }
    if (sum != want) return false;
    out = std::move(img);
    return true;
}

uint32_t detectPageSize(const uint8_t* p, size_t n, const std::string& name) {
    static const char jet[] = "Standard Jet DB";
    static const char ace[] = "Standard ACE DB";
    if (n < 0x20 || p[0] != 0x00 || p[1] != 0x01 || p[2] != 0x00 || p[3] != 0x00)
        throw Error(name + " is not an Access database (.mdb) file", Error::Code::NotJet);
    if (std::memcmp(p + 4, ace, sizeof ace - 1) == 0)
        throw Error(name + " is an Access 2007 or later (.accdb) database; only Access 97-2003 files are supported",
                    Error::Code::NotJet);
    if (std::memcmp(p + 4, jet, sizeof jet - 1) != 0)
        throw Error(name + " is not an Access database (.mdb) file", Error::Code::NotJet);
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
