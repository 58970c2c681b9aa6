#include "pager.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "error.h"

namespace jet {
namespace {

[[noreturn]] void throwBadPage(const std::string& path, uint32_t n, uint32_t count) {
    throw Error(path + ": page " + std::to_string(n) + " is outside the file (" + std::to_string(count) + " pages)",
                Error::Code::Corrupt);
}

class FilePager final : public Pager {
public:
    FilePager(std::string path, uint32_t pageSize) : path_(std::move(path)), pageSize_(pageSize) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            int e = errno;
            if (e == ENOENT || e == ENOTDIR)
                throw Error("file not found: " + path_, Error::Code::NotFound);
            throw Error("cannot open " + path_ + ": " + std::strerror(e), Error::Code::Io);
        }
        struct stat st {};
        if (::fstat(fd_, &st) != 0) {
            int e = errno;
            ::close(fd_);
            throw Error("cannot read " + path_ + ": " + std::strerror(e), Error::Code::Io);
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd_);
            throw Error(path_ + " is not a regular file", Error::Code::NotJet);
        }
        size_ = static_cast<size_t>(st.st_size);
        // A trailing partial page is ignored: nothing valid can live in it.
        count_ = pageSize_ ? static_cast<uint32_t>(std::min<size_t>(size_ / pageSize_, UINT32_MAX)) : 0;
        if (size_ > 0) {
            void* m = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
            if (m == MAP_FAILED) {
                int e = errno;
                ::close(fd_);
                throw Error("cannot map " + path_ + ": " + std::strerror(e), Error::Code::Io);
            }
            base_ = static_cast<const uint8_t*>(m);
        }
    }
    ~FilePager() override {
        if (base_) ::munmap(const_cast<uint8_t*>(base_), size_);
        if (fd_ >= 0) ::close(fd_);
    }
    uint32_t pageSize() const override { return pageSize_; }
    uint32_t pageCount() const override { return count_; }
    const uint8_t* page(uint32_t n) const override {
        if (n >= count_) throwBadPage(path_, n, count_);
        return base_ + static_cast<size_t>(n) * pageSize_;
    }
    const std::string& path() const override { return path_; }

private:
    std::string path_;
    uint32_t pageSize_;
    int fd_ = -1;
    size_t size_ = 0;
    uint32_t count_ = 0;
    const uint8_t* base_ = nullptr;
};

class MemoryPager final : public Pager {
public:
    MemoryPager(const uint8_t* data, size_t size, uint32_t pageSize, std::string name)
        : name_(std::move(name)), pageSize_(pageSize), bytes_(data, data + size) {
        count_ = pageSize_ ? static_cast<uint32_t>(std::min<size_t>(size / pageSize_, UINT32_MAX)) : 0;
    }
    uint32_t pageSize() const override { return pageSize_; }
    uint32_t pageCount() const override { return count_; }
    const uint8_t* page(uint32_t n) const override {
        if (n >= count_) throwBadPage(name_, n, count_);
        return bytes_.data() + static_cast<size_t>(n) * pageSize_;
    }
    const std::string& path() const override { return name_; }

private:
    std::string name_;
    uint32_t pageSize_;
    uint32_t count_ = 0;
    std::vector<uint8_t> bytes_;
};

}  // namespace

std::unique_ptr<Pager> openFilePager(const std::string& path, uint32_t pageSize) {
    return std::make_unique<FilePager>(path, pageSize);
}

std::unique_ptr<Pager> openMemoryPager(const uint8_t* data, size_t size, uint32_t pageSize, std::string name) {
    return std::make_unique<MemoryPager>(data, size, pageSize, std::move(name));
}

}  // namespace jet
