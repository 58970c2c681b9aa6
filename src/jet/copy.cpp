// A consistent copy of an open database.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "database.h"
#include "error.h"
#include "platform.h"

namespace jet {

void Database::copyTo(const std::string& dest) const {
    // The pages of an open transaction are not yet the file's.
    if (inTransaction()) throw Error("cannot copy " + path() + " while a change to it is in progress", Error::Code::Io);
    std::error_code ec;
    // Renaming over the open file would leave it unlocked and nameless.
    if (std::filesystem::equivalent(std::filesystem::u8path(path()), std::filesystem::u8path(dest), ec))
        throw Error("cannot copy " + path() + " onto itself", Error::Code::Io);

    const std::string tmp = dest + ".partial";
    auto fail = [&](const std::string& what, const std::string& why) {
        platform::removeFile(tmp);
        throw Error("cannot copy " + path() + " to " + dest + " (" + what + "): " + why, Error::Code::Io);
    };
    {
        platform::File out;
        if (out.open(tmp, platform::Access::Replace) != platform::OpenResult::Ok)
            fail("creating " + tmp, platform::lastError());
        const uint32_t size = pager_->pageSize(), count = pager_->pageCount();
        // Several pages a write: one call per page makes large files slow to copy.
        constexpr uint32_t kBatch = 64;
        std::vector<uint8_t> buf(static_cast<size_t>(size) * kBatch);
        for (uint32_t n = 0; n < count; n += kBatch) {
            const uint32_t k = std::min(kBatch, count - n);
            for (uint32_t i = 0; i < k; ++i)
                std::memcpy(buf.data() + static_cast<size_t>(i) * size, pager_->page(n + i), size);
            if (!out.writeAt(buf.data(), static_cast<size_t>(k) * size, static_cast<uint64_t>(n) * size)) {
                const std::string why = platform::lastError();
                out.close();
                fail("writing " + tmp, why);
            }
        }
        if (!out.sync()) {
            const std::string why = platform::lastError();
            out.close();
            fail("writing " + tmp, why);
        }
    }
    if (!platform::replaceFile(tmp, dest)) fail("renaming " + tmp, platform::lastError());
    // The new name durable too.
    platform::syncFolderOf(dest);
}

}  // namespace jet
