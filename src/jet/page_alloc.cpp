// The global usage map (page 1, row 0) lists free pages: a set bit means the
// page may be taken. Pages past the end of the file count as free, so Access
// keeps their bits set and the map's window slides forward as the file grows.
#include <cstring>

#include "error.h"
#include "usage_map.h"
#include "write_internal.h"

namespace jet::detail {
namespace {

constexpr uint32_t kGlobalMapPtr = 1u << 8;
// Page 0 is the header and page 1 holds the global map itself.
constexpr uint32_t kFirstAllocatable = 2;

}  // namespace

uint32_t allocatePage(Database& db) {
    WritablePager& wp = writablePager(db);
    UsageMapEditor map(db, kGlobalMapPtr, "global usage map");
    const uint32_t count = wp.pageCount();
    if (auto n = map.firstSet(kFirstAllocatable, count)) {
        map.set(*n, false);
        std::memset(wp.mutablePage(*n), 0, wp.pageSize());
        return *n;
    }
    const uint32_t n = wp.appendPage();
    if (map.covers(n)) {
        map.set(n, false);
    } else if (map.type() == kInlineMap && n >= map.inlineStart()) {
        // Past the window's end: no free page is left behind in it (the search
        // above found none), so the window can restart at the new page.
        map.resetInline(n, true);
        map.set(n, false);
    }
    // Otherwise nothing lists the page as free, which already marks it used.
    return n;
}

void freePage(Database& db, uint32_t page) {
    WritablePager& wp = writablePager(db);
    if (page < kFirstAllocatable || page >= wp.pageCount())
        throw Error("internal error: freeing page " + std::to_string(page) + " of " + db.path());
    std::memset(wp.mutablePage(page), 0, wp.pageSize());
    UsageMapEditor map(db, kGlobalMapPtr, "global usage map");
    // A page outside what the map records stays unused but unlisted: a few
    // lost pages, which compacting the database in Access recovers.
    map.set(page, true);
}

}  // namespace jet::detail
