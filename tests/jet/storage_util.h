// Helpers shared by the storage and crash tests: scratch copies of the test
// files, whole-database dumps and raw looks at usage maps.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "jet/bytes.h"
#include "jet/check.h"
#include "jet/database.h"
#include "jet/page_rows.h"
#include "jet/write_internal.h"
#include "test_util.h"

namespace storagetest {

class TempDir {
public:
    TempDir() {
        path_ = testutil::makeTempDir("hourgrid-storage");
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    // Copies a test data file (path relative to tests/data) into the folder.
    std::string copy(const std::string& rel, const std::string& as = "") const {
        std::string to = path_ + "/" + (as.empty() ? std::filesystem::path(rel).filename().string() : as);
        testutil::copyOver(testutil::dataPath(rel), to);
        std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        return to;
    }

private:
    std::string path_;
};

inline std::vector<uint8_t> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string joined(const jet::CheckReport& r) {
    std::string s;
    for (const auto& p : r.problems) s += "  " + p + "\n";
    return s;
}

// Every row of every table (system tables included), as text.
inline std::string exportAll(const jet::Database& db) {
    std::string out;
    for (const auto& name : db.tableNames(true)) {
        out += "[" + name + "]\n";
        auto t = db.table(name);
        for (auto cur = t->scan(); cur.next();) {
            for (const auto& v : cur.row()) out += jet::toDebugString(v) + "|";
            out += "\n";
        }
    }
    return out;
}

// Bytes of the usage-map row at ptr (page << 8 | row).
inline std::pair<const uint8_t*, size_t> mapRow(const jet::Database& db, uint32_t ptr) {
    jet::detail::RowSpan rs;
    const uint8_t* p = db.pager().page(ptr >> 8);
    if (!jet::detail::rowOnPage(db.format(), p, ptr & 0xFF, rs, db.path(), ptr >> 8))
        throw std::runtime_error("no usage map row");
    return {rs.data, rs.len};
}

inline int mapType(const jet::Database& db, uint32_t ptr) { return mapRow(db, ptr).first[0]; }

// Pages inside the file that the global usage map lists as free.
inline std::set<uint32_t> freePages(const jet::Database& db) {
    auto [m, len] = mapRow(db, 1u << 8);
    std::set<uint32_t> out;
    const uint32_t count = db.pager().pageCount();
    if (m[0] == 0) {
        uint64_t start = jet::bytes::u32(m + 1);
        for (size_t i = 5; i < len; ++i)
            for (int b = 0; b < 8; ++b)
                if ((m[i] >> b & 1) && start + (i - 5) * 8 + b < count) out.insert(start + (i - 5) * 8 + b);
    } else {
        const uint64_t per = (db.pager().pageSize() - 4) * 8ull;
        for (size_t k = 0; 1 + 4 * k + 4 <= len; ++k) {
            uint32_t mp = jet::bytes::u32(m + 1 + 4 * k);
            if (mp == 0 || (mp & 0x80000000u) || mp >= count) continue;
            const uint8_t* pg = db.pager().page(mp);
            for (uint32_t i = 4; i < db.pager().pageSize(); ++i)
                for (int b = 0; b < 8; ++b)
                    if ((pg[i] >> b & 1) && k * per + (i - 4) * 8 + b < count) out.insert(k * per + (i - 4) * 8 + b);
        }
    }
    return out;
}

inline uint32_t usedPagesRef(const jet::Database& db, uint32_t tdefPage) {
    return jet::bytes::u32(db.pager().page(tdefPage) + db.format().tdefUsedPages);
}

// Turns page n into a data page of the table whose definition is at tdefPage,
// holding one deleted, empty row (mdb-export reads a phantom row from a data
// page whose row count is zero, so the pages these tests add are never empty).
inline void formatEmptyDataPage(jet::Database& db, uint32_t n, uint32_t tdefPage) {
    const jet::Format& f = db.format();
    uint8_t* p = jet::detail::writablePager(db).mutablePage(n);
    std::memset(p, 0, f.pageSize);
    auto put16 = [&](uint32_t at, uint32_t v) {
        p[at] = static_cast<uint8_t>(v);
        p[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    p[0] = 0x01;
    p[1] = 0x01;
    put16(f.dataFreeSpace, f.pageSize - f.dataRowTable - 2);
    for (int i = 0; i < 4; ++i) p[f.dataTdefPage + i] = static_cast<uint8_t>(tdefPage >> (8 * i));
    put16(f.dataRowCount, 1);
    put16(f.dataRowTable, 0xC000 | f.pageSize);  // Access marks deleted rows with both flag bits
}

// Leaves a journal as a crash in the middle of writing the file would: the first
// changed page is written, the second is not, a page is appended.
inline void crashWhileWriting(const std::string& path) {
    auto db = jet::Database::open(path, jet::OpenMode::Exclusive);
    auto& wp = jet::detail::writablePager(*db);
    db->beginTransaction();
    // Each change spans two sectors.
    for (uint32_t n : {2u, 5u}) std::memset(wp.mutablePage(n) + 400, 0xCD, 256);
    jet::detail::allocatePage(*db);
    int writes = 0;
    wp.setFaultHook([&](const char* phase, uint32_t) {
        if (std::strcmp(phase, "file") == 0 && ++writes == 2) throw std::runtime_error("simulated crash");
    });
    try {
        db->commitTransaction();
    } catch (const std::runtime_error&) {
        return;
    }
    throw std::logic_error("the commit did not crash");
}

}  // namespace storagetest
