// Locked file access: the read-write pager with its commit journal, and the
// read-only pager that shares the file with other readers.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "error.h"
#include "journal.h"
#include "pager.h"
#include "platform.h"

namespace jet {
namespace {

using platform::Access;
using platform::OpenResult;

// Jet 4 files stop at 2 GB, Jet 3 files at 1 GB.
uint64_t maxFileBytes(uint32_t pageSize) { return pageSize == 2048 ? (1ull << 30) : (1ull << 31); }

[[noreturn]] void throwBadPage(const std::string& path, uint32_t n, uint32_t count) {
    throw Error(path + ": page " + std::to_string(n) + " is outside the file (" + std::to_string(count) + " pages)",
                Error::Code::Corrupt);
}

// Reads pages of the database for checking a journal against it.
detail::PageReader pageReader(const platform::File& f, uint32_t pageSize) {
    return [&f, pageSize](uint32_t n, uint8_t* buf) -> size_t {
        size_t got = 0;
        if (!f.readAt(buf, pageSize, static_cast<uint64_t>(n) * pageSize, got))
            throw Error("cannot read the database file: " + platform::lastError(), Error::Code::Io);
        return got;
    };
}

void openFile(platform::File& f, const std::string& path, Access access) {
    switch (f.open(path, access)) {
        case OpenResult::Ok: return;
        case OpenResult::NotFound: throw Error("file not found: " + path, Error::Code::NotFound);
        case OpenResult::Folder: throw Error(path + " is a folder, not a database file", Error::Code::NotJet);
        case OpenResult::NotRegular: throw Error(path + " is not a regular file", Error::Code::NotJet);
        case OpenResult::InUse:
            throw Error(path + " is in use by another program; close it there and try again.", Error::Code::InUse);
        case OpenResult::Denied:
            if (access == Access::Write)
                throw Error(path + " is read-only: changes to it cannot be saved.", Error::Code::ReadOnly);
            break;
        case OpenResult::Failed: break;
    }
    throw Error("cannot open " + path + ": " + platform::lastError(), Error::Code::Io);
}

uint64_t fileSize(const platform::File& f, const std::string& path) {
    uint64_t size = 0;
    if (!f.size(size)) throw Error("cannot read " + path + ": " + platform::lastError(), Error::Code::Io);
    return size;
}

uint32_t readPageSize(const platform::File& f, const std::string& path) {
    uint8_t head[0x20] = {};
    size_t got = 0;
    if (!f.readAt(head, sizeof head, 0, got))
        throw Error("cannot read " + path + ": " + platform::lastError(), Error::Code::Io);
    return detail::detectPageSize(head, got, path);
}

void cover(platform::Mapping& map, const platform::File& f, uint64_t bytes, const std::string& path) {
    if (!map.cover(f, bytes)) throw Error("cannot map " + path + ": " + platform::lastError(), Error::Code::Io);
}

class SharedFilePager final : public Pager {
public:
    explicit SharedFilePager(std::string path) : path_(std::move(path)) {
        openFile(file_, path_, Access::Read);
        open();
    }
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
        size_ = fileSize(file_, path_);
        uint64_t length = size_;
        detail::JournalImage img;
        const uint32_t filePageSize = readPageSize(file_, path_);
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
        if (size_ > 0) cover(map_, file_, size_, path_);
    }

    bool fits(const detail::JournalImage& img, const std::string& jp) const {
        switch (detail::judgeJournal(img, size_, pageReader(file_, img.header.pageSize))) {
            case detail::JournalFit::Applies: return true;
            case detail::JournalFit::OtherFile: return false;
            case detail::JournalFit::Overwritten: break;
        }
        detail::throwOverwritten(path_, jp);
    }

    std::string path_;
    platform::File file_;
    uint32_t pageSize_ = 0;
    uint32_t count_ = 0;
    uint64_t size_ = 0;
    platform::Mapping map_;
    std::map<uint32_t, std::vector<uint8_t>> overlay_;
    std::vector<uint8_t> zero_;
};

class WritableFilePager final : public WritablePager {
public:
    WritableFilePager(std::string path, uint32_t pageSize)
        : path_(std::move(path)), journal_(detail::journalFor(path_)) {
        openFile(file_, path_, Access::Write);
        open(pageSize);
    }
    // Only releases what the process holds: a commit cut short by the fault hook
    // leaves the file and journal exactly as a crash there would.
    ~WritableFilePager() override = default;

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
        auto buf = copyOf(map_.base() + static_cast<size_t>(n) * pageSize_);
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
            if (marks_.empty()) {
                for (auto& [n, before] : m.before) recycle(std::move(before));
                continue;
            }
            // What the inner level saw first is also what the outer one saw for
            // pages the outer level had not touched yet.
            auto& outer = marks_.back().before;
            for (auto& [n, before] : m.before)
                if (!outer.count(n)) outer.emplace(n, std::move(before));
                else recycle(std::move(before));
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
                platform::removeFile(journal_);
                rollback();
            }
            throw;
        }

        bool ok = true;
        try {
            for (uint32_t n : pages) {
                fault("file", n);
                if (!(ok = file_.writeAt(dirty_[n].get(), pageSize_, static_cast<uint64_t>(n) * pageSize_))) break;
            }
            ok = ok && file_.sync();
        } catch (...) {
            crashed();
            throw;
        }
        ok = ok && platform::removeFile(journal_);
        if (!ok) restore(originals, saved, platform::lastError());  // throws
        // The commit stands once the journal is gone; a failed folder sync only
        // risks the journal reappearing after a power cut, which rolls back cleanly.
        platform::syncFolderOf(journal_);
        count_ = newCount;
        size_ = std::max<uint64_t>(size_, static_cast<uint64_t>(newCount) * pageSize_);
        cover(map_, file_, size_, path_);
        rollback();
    }

private:
    struct Mark {
        uint32_t count = 0;  // pages in the transaction when the level was opened
        std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>> before;  // null: page was clean
    };

    void open(uint32_t pageSize) {
        recover();
        size_ = fileSize(file_, path_);
        pageSize_ = pageSize ? pageSize : readPageSize(file_, path_);
        count_ = static_cast<uint32_t>(std::min<uint64_t>(size_ / pageSize_, UINT32_MAX));
        txnCount_ = count_;
        if (size_ > 0) cover(map_, file_, size_, path_);
        if (!platform::folderWritable(journal_))
            throw Error("The folder holding " + path_ + " is read-only: changes to the file cannot be saved safely there.",
                        Error::Code::ReadOnly);
    }

    // Puts back the pages an interrupted commit had started to overwrite.
    void recover() {
        const std::string& jp = journal_;
        detail::JournalImage img;
        bool valid = detail::readJournal(jp, img) && img.header.pageSize == readPageSize(file_, path_);
        if (valid) {
            auto fit = detail::judgeJournal(img, fileSize(file_, path_), pageReader(file_, img.header.pageSize));
            // Rolling back now would put old pages over another program's changes.
            if (fit == detail::JournalFit::Overwritten) detail::throwOverwritten(path_, jp);
            valid = fit == detail::JournalFit::Applies;
        }
        if (!valid) {
            // Incomplete journal: the crash came before the file was touched. Or
            // one left beside another file that has since taken this name.
            if (platform::removeFile(jp)) platform::syncFolderOf(jp);
            return;
        }
        bool ok = true;
        for (auto& [n, bytes] : img.pages)
            ok = ok && file_.writeAt(bytes.data(), bytes.size(), static_cast<uint64_t>(n) * img.header.pageSize);
        if (!ok || !file_.truncate(img.header.originalLength) || !file_.sync())
            throw Error("cannot repair " + path_ + " after an interrupted write: " + platform::lastError(),
                        Error::Code::Io);
        if (!platform::removeFile(jp)) throw Error("cannot remove " + jp + ": " + platform::lastError(), Error::Code::Io);
        platform::syncFolderOf(jp);
    }

    void writeJournal(const std::vector<uint32_t>& pages, const std::vector<std::vector<uint8_t>>& saved) {
        const std::string& jp = journal_;
        std::vector<detail::JournalPage> list;
        list.reserve(pages.size());
        size_t i = 0;
        for (uint32_t n : pages) list.push_back({n, n < count_ ? saved[i++].data() : nullptr, dirty_[n].get()});
        auto journal = detail::encodeJournal(pageSize_, size_, map_.base(), txnCount_, list);
        auto failed = [&](const char* what) {
            throw Error("cannot save changes to " + path_ + " (" + what + " " + jp + "): " + platform::lastError(),
                        Error::Code::Io);
        };
        platform::File jf;
        if (jf.open(jp, Access::Replace) != OpenResult::Ok) failed("creating");
        const uint8_t* b = journal.bytes.data();
        size_t at = 0;
        auto put = [&](size_t end) {
            if (!jf.writeAt(b + at, end - at, at)) failed("writing");
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
        if (!jf.sync()) failed("syncing");
        if (!platform::syncFolderOf(journal_)) failed("syncing the folder of");
    }

    // A write into the file failed: put the original pages back and drop the
    // journal; if even that fails, the journal stays for the next open to use.
    [[noreturn]] void restore(const std::vector<uint32_t>& originals, const std::vector<std::vector<uint8_t>>& saved,
                              const std::string& err) {
        bool ok = true;
        for (size_t i = 0; i < originals.size() && ok; ++i)
            ok = file_.writeAt(saved[i].data(), pageSize_, static_cast<uint64_t>(originals[i]) * pageSize_);
        ok = ok && file_.truncate(size_) && file_.sync() && platform::removeFile(journal_);
        rollback();
        if (!ok) {
            broken_ = true;
            throw Error("cannot save changes to " + path_ + ": " + err +
                            "; the file will be repaired the next time it is opened",
                        Error::Code::Io);
        }
        platform::syncFolderOf(journal_);
        throw Error("cannot save changes to " + path_ + ": " + err + "; the file was left unchanged",
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

    // Statement marks copy pages all the time: their buffers are used again.
    std::unique_ptr<uint8_t[]> copyOf(const uint8_t* p) {
        std::unique_ptr<uint8_t[]> c;
        if (spare_.empty()) {
            c = std::make_unique_for_overwrite<uint8_t[]>(pageSize_);
        } else {
            c = std::move(spare_.back());
            spare_.pop_back();
        }
        std::memcpy(c.get(), p, pageSize_);
        return c;
    }

    void recycle(std::unique_ptr<uint8_t[]> buf) {
        if (buf && spare_.size() < kSpareBuffers) spare_.push_back(std::move(buf));
    }

    std::string path_;
    std::string journal_;
    platform::File file_;
    uint32_t pageSize_ = 0;
    uint32_t count_ = 0;  // committed pages
    uint64_t size_ = 0;   // committed bytes (may end in a partial page Jet never uses)
    platform::Mapping map_;
    bool inTxn_ = false;
    bool broken_ = false;
    uint32_t txnCount_ = 0;
    std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>> dirty_;
    std::vector<Mark> marks_;
    static constexpr size_t kSpareBuffers = 64;
    std::vector<std::unique_ptr<uint8_t[]>> spare_;
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
