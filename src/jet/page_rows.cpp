#include "page_rows.h"

#include "bytes.h"
#include "error.h"

namespace jet::detail {

void throwCorrupt(const std::string& file, const std::string& what) {
    throw Error(file + ": damaged database: " + what, Error::Code::Corrupt);
}

uint16_t rowCountOnPage(const Format& f, const uint8_t* page) {
    uint16_t n = bytes::u16(page + f.dataRowCount);
    if (f.dataRowTable + 2u * n > f.pageSize) return 0;
    return n;
}

bool rowOnPage(const Format& f, const uint8_t* page, uint16_t row, RowSpan& out, const std::string& file,
               uint32_t pageNo) {
    uint16_t n = bytes::u16(page + f.dataRowCount);
    if (f.dataRowTable + 2u * n > f.pageSize)
        throwCorrupt(file, "row table of page " + std::to_string(pageNo) + " is too long");
    if (row >= n) return false;
    uint16_t entry = bytes::u16(page + f.dataRowTable + 2u * row);
    uint32_t start = entry & kRowOffsetMask;
    uint32_t end = row == 0 ? f.pageSize : (bytes::u16(page + f.dataRowTable + 2u * (row - 1)) & kRowOffsetMask);
    if (start < f.dataRowTable + 2u * n || start > end || end > f.pageSize) {
        if (entry & kRowDeleted) {  // deleted rows' extents are never used
            out = RowSpan{page, 0, entry};
            return true;
        }
        throwCorrupt(file, "row " + std::to_string(row) + " of page " + std::to_string(pageNo) +
                               " lies outside the page");
    }
    out = RowSpan{page + start, end - start, static_cast<uint16_t>(entry & ~kRowOffsetMask)};
    return true;
}

}  // namespace jet::detail
