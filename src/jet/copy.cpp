// A consistent copy of an open database.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "database.h"
#include "error.h"

namespace jet {

void Database::copyTo(const std::string& dest) const {
    // The pages of an open transaction are not yet the file's.
    if (inTransaction()) throw Error("cannot copy " + path() + " while a change to it is in progress", Error::Code::Io);
    std::error_code ec;
    // Renaming over the open file would leave it unlocked and nameless.
    if (std::filesystem::equivalent(path(), dest, ec))
        throw Error("cannot copy " + path() + " onto itself", Error::Code::Io);

    const std::string tmp = dest + ".partial";
    auto fail = [&](const std::string& what, int e) {
        ::unlink(tmp.c_str());
        throw Error("cannot copy " + path() + " to " + dest + " (" + what + "): " + std::strerror(e), Error::Code::Io);
    };
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) fail("creating " + tmp, errno);

    const uint32_t size = pager_->pageSize(), count = pager_->pageCount();
    // Several pages a write: one call per page makes large files slow to copy.
    constexpr uint32_t kBatch = 64;
    std::vector<uint8_t> buf(static_cast<size_t>(size) * kBatch);
    int err = 0;
    for (uint32_t n = 0; n < count && !err; n += kBatch) {
        const uint32_t k = std::min(kBatch, count - n);
        for (uint32_t i = 0; i < k; ++i) std::memcpy(buf.data() + static_cast<size_t>(i) * size, pager_->page(n + i), size);
        const uint8_t* p = buf.data();
        size_t left = static_cast<size_t>(k) * size;
        while (left > 0) {
            ssize_t put = ::write(fd, p, left);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                err = put == 0 ? EIO : errno;
                break;
            }
            p += put;
            left -= static_cast<size_t>(put);
        }
    }
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (err) fail("writing " + tmp, err);
    if (::rename(tmp.c_str(), dest.c_str()) != 0) fail("renaming " + tmp, errno);
    // The new name durable too; a folder that cannot be synced says EINVAL.
    const std::string folder = std::filesystem::path(dest).parent_path().string();
    int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace jet
