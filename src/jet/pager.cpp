#include "pager.h"

#include <algorithm>
#include <vector>

#include "error.h"

namespace jet {
namespace {

[[noreturn]] void throwBadPage(const std::string& path, uint32_t n, uint32_t count) {
    throw Error(path + ": page " + std::to_string(n) + " is outside the file (" + std::to_string(count) + " pages)",
                Error::Code::Corrupt);
}

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

std::unique_ptr<Pager> openMemoryPager(const uint8_t* data, size_t size, uint32_t pageSize, std::string name) {
    return std::make_unique<MemoryPager>(data, size, pageSize, std::move(name));
}

}  // namespace jet
