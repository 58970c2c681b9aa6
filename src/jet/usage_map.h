// Reading and editing one usage map in place, inside the current transaction.
// Internal to the engine (page allocation and the usage-map entry points).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database.h"
#include "pager.h"

namespace jet::detail {

constexpr uint8_t kUsageMapPage = 0x05;
constexpr uint8_t kInlineMap = 0;
constexpr uint8_t kReferenceMap = 1;

class UsageMapEditor {
public:
    // The map stored in the row at rowPtr (page << 8 | row). Throws Corrupt when
    // the row is missing, too short, or of an unknown type.
    UsageMapEditor(Database& db, uint32_t rowPtr, std::string what);

    uint8_t type() const { return row()[0]; }
    // Inline maps: first page covered and how many pages the bitmap spans.
    uint32_t inlineStart() const;
    uint64_t inlineCapacity() const { return (len_ - 5) * 8; }

    // Whether the map has a bit for the page at all, and its value.
    bool covers(uint32_t page) const;
    bool test(uint32_t page) const;
    // Sets or clears a covered page's bit (no-op for an uncovered page).
    void set(uint32_t page, bool on);
    // Lowest page in [from, below) whose bit is set.
    std::optional<uint32_t> firstSet(uint32_t from, uint32_t below) const;
    // Every page whose bit is set, in order (inline maps and existing map pages).
    std::vector<uint32_t> setPages() const;

    // Inline maps: rebase the bitmap at `start` with every bit equal to `allOn`.
    void resetInline(uint32_t start, bool allOn);
    // Reference maps: the map page for slot k, allocating one when `create`.
    uint32_t slotPage(size_t k) const;  // 0 when the slot holds no map page
    size_t slotCount() const { return (len_ - 1) / 4; }
    uint64_t pagesPerSlot() const { return static_cast<uint64_t>(wp_.pageSize() - 4) * 8; }
    // Turns an inline map into a reference map with no map pages yet.
    void makeReference();
    // Stores a new, empty map page in slot k (the page comes from allocatePage).
    void attachMapPage(size_t k, uint32_t mapPage);

private:
    const uint8_t* row() const { return wp_.page(page_) + off_; }
    uint8_t* mutableRow() { return wp_.mutablePage(page_) + off_; }

    Database& db_;
    WritablePager& wp_;
    std::string what_;
    uint32_t page_ = 0;
    size_t off_ = 0;
    size_t len_ = 0;
};

}  // namespace jet::detail
