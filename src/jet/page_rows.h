// Locating rows in data and long-value pages (both use the same offset table).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "format.h"

namespace jet::detail {

constexpr uint16_t kRowDeleted = 0x8000;
constexpr uint16_t kRowLookup = 0x4000;  // the row holds a pointer to the real row
constexpr uint16_t kRowOffsetMask = 0x1FFF;

struct RowSpan {
    const uint8_t* data = nullptr;
    size_t len = 0;
    uint16_t flags = 0;  // kRowDeleted / kRowLookup bits of the offset entry
};

// Number of entries in the page's row offset table (0 when the table would not fit).
uint16_t rowCountOnPage(const Format& f, const uint8_t* page);

// The extent of row `row`; false when the page has no such row. Throws Corrupt
// when the offsets point outside the page.
bool rowOnPage(const Format& f, const uint8_t* page, uint16_t row, RowSpan& out, const std::string& file,
               uint32_t pageNo);

[[noreturn]] void throwCorrupt(const std::string& file, const std::string& what);

}  // namespace jet::detail
