// Locked file access: the read-write pager with its commit journal, and the
// read-only pager that shares the file with other readers.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "error.h"
#include "journal.h"
#include "pager.h"

namespace jet {
namespace {

// Jet 4 files stop at 2 GB, Jet 3 files at 1 GB.
uint64_t maxFileBytes(uint32_t pageSize) { return pageSize == 2048 ? (1ull << 30) : (1ull << 31); }

[[noreturn]] void throwBadPage(const std::string& path, uint32_t n, uint32_t count) {
    throw Error(path + ": page " + std::to_string(n) + " is outside the file (" + std::to_string(count) + " pages)",
                Error::Code::Corrupt);
}

std::string errText(int e) { return std::strerror(e); }

std::string folderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes a created or removed journal durable; file systems that cannot sync a
// folder say so with EINVAL, which is not a failure of ours.
bool syncFolder(const std::string& path) {
    int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return ok;
}

bool writeAll(int fd, const uint8_t* p, size_t n, uint64_t at) {
    while (n > 0) {
        ssize_t put = ::pwrite(fd, p, n, static_cast<off_t>(at));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            return false;
        }
        p += put;
        n -= static_cast<size_t>(put);
        at += static_cast<uint64_t>(put);
    }
    return true;
}

// Reads pages of the database for checking a journal against it.
detail::PageReader pageReader(int fd, uint32_t pageSize) {
    return [fd, pageSize](uint32_t n, uint8_t* buf) -> size_t {
        size_t got = 0;
        while (got < pageSize) {
            ssize_t r = ::pread(fd, buf + got, pageSize - got, static_cast<off_t>(uint64_t(n) * pageSize + got));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) throw Error(std::string("cannot read the database file: ") + std::strerror(errno), Error::Code::Io);
            if (r == 0) break;
            got += static_cast<size_t>(r);
        }
        return got;
    };
}

enum class LockResult { Held, Busy, Unsupported };

// Open-file-description locks conflict between two opens of one process as well
// as between processes, and vanish with the descriptor when a process dies.
LockResult lockFile(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return LockResult::Held;
    if (errno == EAGAIN || errno == EACCES) return LockResult::Busy;
    return LockResult::Unsupported;  // e.g. a network file system without locks: go on unlocked
}

[[noreturn]] void throwInUse(const std::string& path) {
    throw Error(path + " is in use by another program; close it there and try again.", Error::Code::InUse);
}

int openFile(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd >= 0) return fd;
    int e = errno;
    if (e == ENOENT || e == ENOTDIR) throw Error("file not found: " + path, Error::Code::NotFound);
    if (e == EISDIR) throw Error(path + " is a folder, not a database file", Error::Code::NotJet);
    if ((flags & O_ACCMODE) == O_RDWR && (e == EACCES || e == EROFS || e == EPERM))
        throw Error(path + " is read-only: changes to it cannot be saved.", Error::Code::ReadOnly);
    throw Error("cannot open " + path + ": " + errText(e), Error::Code::Io);
}

uint64_t fileSize(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw Error("cannot read " + path + ": " + errText(errno), Error::Code::Io);
    if (S_ISDIR(st.st_mode)) throw Error(path + " is a folder, not a database file", Error::Code::NotJet);
    if (!S_ISREG(st.st_mode)) throw Error(path + " is not a regular file", Error::Code::NotJet);
    return static_cast<uint64_t>(st.st_size);
}

uint32_t readPageSize(int fd, const std::string& path) {
    uint8_t head[0x20] = {};
    ssize_t got;
    do got = ::pread(fd, head, sizeof head, 0);
    while (got < 0 && errno == EINTR);
    if (got < 0) throw Error("cannot read " + path + ": " + errText(errno), Error::Code::Io);
    return detail::detectPageSize(head, static_cast<size_t>(got), path);
}

// A shared read mapping of the file. Growing it maps anew and keeps the old
// mapping alive, so page pointers handed out earlier stay valid (both mappings
// show the same, current file content).
class FileMapping {
public:
    ~FileMapping() {
        for (auto& m : maps_) ::munmap(m.first, m.second);
    }
    void cover(int fd, uint64_t bytes, const std::string& path) {
        if (bytes <= len_) return;
        // Room to grow: mapping past the end of the file is allowed, and those pages
        // become readable as commits extend the file.
        uint64_t want = std::max<uint64_t>(bytes + bytes / 2, bytes + (16u << 20));
        const uint64_t unit = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
        want = (want + unit - 1) / unit * unit;
        void* m = ::mmap(nullptr, want, PROT_READ, MAP_SHARED, fd, 0);
        if (m == MAP_FAILED) throw Error("cannot map " + path + ": " + errText(errno), Error::Code::Io);
        maps_.emplace_back(m, want);
        base_ = static_cast<const uint8_t*>(m);
        len_ = want;
    }
    const uint8_t* base() const { return base_; }

private:
    std::vector<std::pair<void*, size_t>> maps_;
    const uint8_t* base_ = nullptr;
    uint64_t len_ = 0;
};

class SharedFilePager final : public Pager {
public:
    explicit SharedFilePager(std::string path) : path_(std::move(path)) {
        fd_ = openFile(path_, O_RDONLY);
        try {
            open();
        } catch (...) {
            ::close(fd_);
            throw;
        }
    }
    ~SharedFilePager() override { ::close(fd_); }
    uint32_t pageSize() const override { return pageSize_; }
    uint32_t pageCount() const override { return count_; }
    const uint8_t* page(uint32_t n) const override {
        if (n >= count_) throwBadPage(path_, n, count_);
        if (!overlay_.empty()) {
            auto it = overlay_.find(n);
            if (it != overlay_.end()) return it->second.data();
            // Beyond what the file holds now but inside the length the journal restores.
            if (static_cast<uint64_t>(n + 1) * pageSize_ > size_) return zero_.data();
        }
        return map_.base() + static_cast<size_t>(n) * pageSize_;
    }
    const std::string& path() const override { return path_; }

private:
    void open() {
        if (lockFile(fd_, F_RDLCK) == LockResult::Busy) throwInUse(path_);
        size_ = fileSize(fd_, path_);
        uint64_t length = size_;
        detail::JournalImage img;
        const uint32_t filePageSize = readPageSize(fd_, path_);
        // A journal of another page size is not this file's.
        const std::string jp = detail::journalFor(path_);
        if (detail::readJournal(jp, img) && img.header.pageSize == filePageSize && fits(img, jp)) {
            // An interrupted commit: show the file as it was before it.
            length = img.header.originalLength;
            overlay_ = std::move(img.pages);
        }
        auto hdr = overlay_.find(0);
        if (hdr != overlay_.end())
            pageSize_ = detail::detectPageSize(hdr->second.data(), hdr->second.size(), path_);
        else
            pageSize_ = filePageSize;
        if (pageSize_ != filePageSize) overlay_.clear();
        zero_.assign(pageSize_, 0);
        count_ = static_cast<uint32_t>(std::min<uint64_t>(length / pageSize_, UINT32_MAX));
        if (size_ > 0) map_.cover(fd_, size_, path_);
    }

    bool fits(const detail::JournalImage& img, const std::string& jp) const {
        switch (detail::judgeJournal(img, size_, pageReader(fd_, img.header.pageSize))) {
            case detail::JournalFit::Applies: return true;
            case detail::JournalFit::OtherFile: return false;
            case detail::JournalFit::Overwritten: break;
        }
        detail::throwOverwritten(path_, jp);
    }

    std::string path_;
    int fd_ = -1;
    uint32_t pageSize_ = 0;
    uint32_t count_ = 0;
    uint64_t size_ = 0;
    FileMapping map_;
    std::map<uint32_t, std::vector<uint8_t>> overlay_;
    std::vector<uint8_t> zero_;
};

class WritableFilePager final : public WritablePager {
public:
    WritableFilePager(std::string path, uint32_t pageSize)
        : path_(std::move(path)), journal_(detail::journalFor(path_)) {
        fd_ = openFile(path_, O_RDWR);
        try {
            open(pageSize);
        } catch (...) {
            ::close(fd_);
            throw;
        }
    }
    // Only releases what the process holds: a commit cut short by the fault hook
    // leaves the file and journal exactly as a crash there would.
    ~WritableFilePager() override { ::close(fd_); }

    uint32_t pageSize() const override { return pageSize_; }
    uint32_t pageCount() const override { return inTxn_ ? txnCount_ : count_; }
    const std::string& path() const override { return path_; }

    const uint8_t* page(uint32_t n) const override {
        if (inTxn_) {
            if (n >= txnCount_) throwBadPage(path_, n, txnCount_);
            if (!dirty_.empty()) {
                auto it = dirty_.find(n);
                if (it != dirty_.end()) return it->second.get();
            }
        } else if (n >= count_) {
            throwBadPage(path_, n, count_);
        }
        return map_.base() + static_cast<size_t>(n) * pageSize_;
    }

    uint8_t* mutablePage(uint32_t n) override {
        requireTxn();
        if (n >= txnCount_) throwBadPage(path_, n, txnCount_);
        auto it = dirty_.find(n);
        const bool wasDirty = it != dirty_.end();
        if (!marks_.empty()) {
            auto& before = marks_.back().before;
            if (!before.count(n)) before.emplace(n, wasDirty ? copyOf(it->second.get()) : nullptr);
        }
        if (wasDirty) return it->second.get();
        auto buf = std::make_unique<uint8_t[]>(pageSize_);
        std::memcpy(buf.get(), map_.base() + static_cast<size_t>(n) * pageSize_, pageSize_);
        uint8_t* p = buf.get();
        dirty_.emplace(n, std::move(buf));
        return p;
    }

    uint32_t appendPage() override {
        requireTxn();
        if (static_cast<uint64_t>(txnCount_ + 1) * pageSize_ > maxFileBytes(pageSize_))
            throw Error(path_ + " has reached the largest size an Access database can have", Error::Code::Io);
        const uint32_t n = txnCount_++;
        auto buf = std::make_unique<uint8_t[]>(pageSize_);
        std::memset(buf.get(), 0, pageSize_);
        dirty_[n] = std::move(buf);
        return n;
    }

    void begin() override {
        if (broken_) throwBroken();
        if (inTxn_) throw Error("a transaction is already open on " + path_);
        inTxn_ = true;
        txnCount_ = count_;
    }

    void rollback() override {
        dirty_.clear();
        marks_.clear();
        inTxn_ = false;
        txnCount_ = count_;
    }

    bool inTransaction() const override { return inTxn_; }

    void setFaultHook(std::function<void(const char* phase, uint32_t page)> hook) override { hook_ = std::move(hook); }

    size_t mark() override {
        requireTxn();
        marks_.push_back(Mark{txnCount_, {}});
        return marks_.size();
    }

    void rollbackToMark(size_t level) override {
        requireTxn();
        checkLevel(level);
        while (marks_.size() >= level) {
            Mark m = std::move(marks_.back());
            marks_.pop_back();
            for (auto& [n, before] : m.before) {
                if (n >= m.count) continue;
                if (!before) {
                    dirty_.erase(n);
                } else {
                    auto it = dirty_.find(n);
                    if (it != dirty_.end()) std::memcpy(it->second.get(), before.get(), pageSize_);
                }
            }
            for (auto it = dirty_.begin(); it != dirty_.end();) {
                if (it->first >= m.count)
                    it = dirty_.erase(it);
                else
                    ++it;
            }
            txnCount_ = m.count;
        }
    }

    void releaseMark(size_t level) override {
        requireTxn();
        checkLevel(level);
        while (marks_.size() >= level) {
            Mark m = std::move(marks_.back());
            marks_.pop_back();
            if (marks_.empty()) continue;
            // What the inner level saw first is also what the outer one saw for
            // pages the outer level had not touched yet.
            auto& outer = marks_.back().before;
            for (auto& [n, before] : m.before)
                if (!outer.count(n)) outer.emplace(n, std::move(before));
        }
    }

    void commit() override {
        requireTxn();
        std::vector<uint32_t> pages;
        pages.reserve(dirty_.size());
        for (auto& [n, buf] : dirty_) {
            // Pages written back unchanged need neither a journal entry nor a write.
            if (n < count_ && std::memcmp(buf.get(), map_.base() + static_cast<size_t>(n) * pageSize_, pageSize_) == 0)
                continue;
            pages.push_back(n);
        }
        std::sort(pages.begin(), pages.end());
        if (pages.empty()) {
            rollback();
            return;
        }
        const uint32_t newCount = txnCount_;
        // Appended pages are written in order from the old end, so the file never has a hole.
        std::vector<uint32_t> originals;
        for (uint32_t n : pages)
            if (n < count_) originals.push_back(n);
        std::vector<std::vector<uint8_t>> saved;
        saved.reserve(originals.size());
        for (uint32_t n : originals) {
            const uint8_t* p = map_.base() + static_cast<size_t>(n) * pageSize_;
            saved.emplace_back(p, p + pageSize_);
        }

        try {
            writeJournal(pages, saved);
        } catch (const Error&) {
            if (!broken_) {
                ::unlink(journal_.c_str());
                rollback();
            }
            throw;
        }

        int err = 0;
        try {
            for (uint32_t n : pages) {
                fault("file", n);
                if (!writeAll(fd_, dirty_[n].get(), pageSize_, static_cast<uint64_t>(n) * pageSize_)) {
                    err = errno;
                    break;
                }
            }
            if (!err && ::fdatasync(fd_) != 0) err = errno;
        } catch (...) {
            crashed();
            throw;
        }
        if (!err && ::unlink(journal_.c_str()) != 0) err = errno;
        if (err) {
            restore(originals, saved, err);  // throws
        }
        // The commit stands once the journal is gone; a failed folder sync only
        // risks the journal reappearing after a power cut, which rolls back cleanly.
        syncFolder(journal_);
        count_ = newCount;
        size_ = std::max<uint64_t>(size_, static_cast<uint64_t>(newCount) * pageSize_);
        map_.cover(fd_, size_, path_);
        rollback();
    }

private:
    struct Mark {
        uint32_t count = 0;  // pages in the transaction when the level was opened
        std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>> before;  // null: page was clean
    };

    void open(uint32_t pageSize) {
        if (lockFile(fd_, F_WRLCK) == LockResult::Busy) throwInUse(path_);
        recover();
        size_ = fileSize(fd_, path_);
        pageSize_ = pageSize ? pageSize : readPageSize(fd_, path_);
        count_ = static_cast<uint32_t>(std::min<uint64_t>(size_ / pageSize_, UINT32_MAX));
        txnCount_ = count_;
        if (size_ > 0) map_.cover(fd_, size_, path_);
        if (::access(folderOf(journal_).c_str(), W_OK | X_OK) != 0 && (errno == EACCES || errno == EROFS))
            throw Error("The folder holding " + path_ + " is read-only: changes to the file cannot be saved safely there.",
                        Error::Code::ReadOnly);
    }

    // Puts back the pages an interrupted commit had started to overwrite.
    void recover() {
        const std::string& jp = journal_;
        detail::JournalImage img;
        bool valid = detail::readJournal(jp, img) && img.header.pageSize == readPageSize(fd_, path_);
        if (valid) {
            auto fit = detail::judgeJournal(img, fileSize(fd_, path_), pageReader(fd_, img.header.pageSize));
            // Rolling back now would put old pages over another program's changes.
            if (fit == detail::JournalFit::Overwritten) detail::throwOverwritten(path_, jp);
            valid = fit == detail::JournalFit::Applies;
        }
        if (!valid) {
            // Incomplete journal: the crash came before the file was touched. Or
            // one left beside another file that has since taken this name.
            if (::unlink(jp.c_str()) == 0) syncFolder(journal_);
            return;
        }
        for (auto& [n, bytes] : img.pages)
            if (!writeAll(fd_, bytes.data(), bytes.size(), static_cast<uint64_t>(n) * img.header.pageSize))
                throw Error("cannot repair " + path_ + " after an interrupted write: " + errText(errno), Error::Code::Io);
        if (::ftruncate(fd_, static_cast<off_t>(img.header.originalLength)) != 0 || ::fsync(fd_) != 0)
            throw Error("cannot repair " + path_ + " after an interrupted write: " + errText(errno), Error::Code::Io);
        if (::unlink(jp.c_str()) != 0)
            throw Error("cannot remove " + jp + ": " + errText(errno), Error::Code::Io);
        syncFolder(journal_);
    }

    void writeJournal(const std::vector<uint32_t>& pages, const std::vector<std::vector<uint8_t>>& saved) {
        const std::string& jp = journal_;
        std::vector<detail::JournalPage> list;
        list.reserve(pages.size());
        size_t i = 0;
        for (uint32_t n : pages) list.push_back({n, n < count_ ? saved[i++].data() : nullptr, dirty_[n].get()});
        auto journal = detail::encodeJournal(pageSize_, size_, map_.base(), txnCount_, list);
        auto failed = [&](const char* what, int e) {
            throw Error("cannot save changes to " + path_ + " (" + what + " " + jp + "): " + errText(e),
                        Error::Code::Io);
        };
        int jfd = ::open(jp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (jfd < 0) failed("creating", errno);
        struct Closer {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{jfd};
        const uint8_t* b = journal.bytes.data();
        size_t at = 0;
        auto put = [&](size_t end) {
            if (!writeAll(jfd, b + at, end - at, at)) failed("writing", errno);
            at = end;
        };
        put(journal.headerSize);
        for (size_t r = 0; r < journal.recordEnds.size(); ++r) {
            try {
                fault("journal", pages[r]);
            } catch (...) {
                crashed();
                throw;
            }
            put(journal.recordEnds[r]);
        }
        put(journal.bytes.size());
        if (::fsync(jfd) != 0) failed("syncing", errno);
        if (!syncFolder(journal_)) failed("syncing the folder of", errno);
    }

    // A write into the file failed: put the original pages back and drop the
    // journal; if even that fails, the journal stays for the next open to use.
    [[noreturn]] void restore(const std::vector<uint32_t>& originals, const std::vector<std::vector<uint8_t>>& saved,
                              int err) {
        bool ok = true;
        for (size_t i = 0; i < originals.size() && ok; ++i)
            ok = writeAll(fd_, saved[i].data(), pageSize_, static_cast<uint64_t>(originals[i]) * pageSize_);
        ok = ok && ::ftruncate(fd_, static_cast<off_t>(size_)) == 0 && ::fsync(fd_) == 0;
        if (ok && ::unlink(journal_.c_str()) != 0 && errno != ENOENT) ok = false;
        rollback();
        if (!ok) {
            broken_ = true;
            throw Error("cannot save changes to " + path_ + ": " + errText(err) +
                            "; the file will be repaired the next time it is opened",
                        Error::Code::Io);
        }
        syncFolder(journal_);
        throw Error("cannot save changes to " + path_ + ": " + errText(err) + "; the file was left unchanged",
                    Error::Code::Io);
    }

    void fault(const char* phase, uint32_t n) {
        if (hook_) hook_(phase, n);
    }

    // The fault hook stands for the process dying: nothing more may touch the file.
    void crashed() {
        broken_ = true;
        dirty_.clear();
        marks_.clear();
        inTxn_ = false;
        txnCount_ = count_;
    }

    void requireTxn() const {
        if (broken_) throwBroken();
        if (!inTxn_) throw Error("internal error: a change to " + path_ + " outside a transaction");
    }

    void checkLevel(size_t level) const {
        if (level == 0 || level > marks_.size()) throw Error("internal error: unknown transaction mark");
    }

    [[noreturn]] void throwBroken() const {
        throw Error("an earlier write to " + path_ + " failed; close and reopen the file", Error::Code::Io);
    }

    std::unique_ptr<uint8_t[]> copyOf(const uint8_t* p) const {
        auto c = std::make_unique<uint8_t[]>(pageSize_);
        std::memcpy(c.get(), p, pageSize_);
        return c;
    }

    std::string path_;
    std::string journal_;
    int fd_ = -1;
    uint32_t pageSize_ = 0;
    uint32_t count_ = 0;  // committed pages
    uint64_t size_ = 0;   // committed bytes (may end in a partial page Jet never uses)
    FileMapping map_;
    bool inTxn_ = false;
    bool broken_ = false;
    uint32_t txnCount_ = 0;
    std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>> dirty_;
    std::vector<Mark> marks_;
    std::function<void(const char*, uint32_t)> hook_;
};

}  // namespace

std::unique_ptr<WritablePager> openWritableFilePager(const std::string& path, uint32_t pageSize) {
    return std::make_unique<WritableFilePager>(path, pageSize);
}

namespace detail {

std::unique_ptr<Pager> openSharedFilePager(const std::string& path) { return std::make_unique<SharedFilePager>(path); }

}  // namespace detail
}  // namespace jet
