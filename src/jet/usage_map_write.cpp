#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "error.h"
#include "page_rows.h"
#include "usage_map.h"
#include "write_internal.h"

namespace jet::detail {
namespace {

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

UsageMapEditor::UsageMapEditor(Database& db, uint32_t rowPtr, std::string what)
    : db_(db), wp_(writablePager(db)), what_(std::move(what)) {
    page_ = rowPtr >> 8;
    const uint16_t rowNo = static_cast<uint16_t>(rowPtr & 0xFF);
    const std::string& file = db.path();
    if (page_ == 0 || page_ >= wp_.pageCount())
        throwCorrupt(file, what_ + " points to page " + std::to_string(page_) + ", outside the file");
    const uint8_t* p = wp_.page(page_);
    RowSpan rs;
    if (!rowOnPage(db.format(), p, rowNo, rs, file, page_) || (rs.flags & kRowDeleted))
        throwCorrupt(file, what_ + " (page " + std::to_string(page_) + " row " + std::to_string(rowNo) + ") is missing");
    off_ = static_cast<size_t>(rs.data - p);
    len_ = rs.len;
    if (len_ < 1) throwCorrupt(file, what_ + " is empty");
    if (type() == kInlineMap) {
        if (len_ < 5) throwCorrupt(file, what_ + " is truncated");
    } else if (type() != kReferenceMap) {
        throwCorrupt(file, what_ + " has unknown type " + std::to_string(type()));
    }
}

uint32_t UsageMapEditor::inlineStart() const { return bytes::u32(row() + 1); }

uint32_t UsageMapEditor::slotPage(size_t k) const {
    if (k >= slotCount()) return 0;
    const uint32_t v = bytes::u32(row() + 1 + 4 * k);
    // Slots Jet never filled hold zero or leftover bytes with the top bit set.
    if (v == 0 || (v & 0x80000000u)) return 0;
    if (v >= wp_.pageCount() || wp_.page(v)[0] != kUsageMapPage)
        throwCorrupt(db_.path(), what_ + " refers to page " + std::to_string(v) + ", which is not a usage map page");
    return v;
}

bool UsageMapEditor::covers(uint32_t page) const {
    if (type() == kInlineMap) {
        const uint32_t start = inlineStart();
        return page >= start && static_cast<uint64_t>(page - start) < inlineCapacity();
    }
    return slotPage(page / pagesPerSlot()) != 0;
}

bool UsageMapEditor::test(uint32_t page) const {
    if (!covers(page)) return false;
    if (type() == kInlineMap) {
        const uint64_t bit = page - inlineStart();
        return row()[5 + bit / 8] >> (bit % 8) & 1;
    }
    const uint64_t per = pagesPerSlot();
    const uint64_t bit = page % per;
    return wp_.page(slotPage(page / per))[4 + bit / 8] >> (bit % 8) & 1;
}

void UsageMapEditor::set(uint32_t page, bool on) {
    if (!covers(page) || test(page) == on) return;
    uint8_t* byte;
    uint64_t bit;
    if (type() == kInlineMap) {
        bit = page - inlineStart();
        byte = mutableRow() + 5 + bit / 8;
    } else {
        const uint64_t per = pagesPerSlot();
        bit = page % per;
        byte = wp_.mutablePage(slotPage(page / per)) + 4 + bit / 8;
    }
    const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
    *byte = on ? (*byte | mask) : (*byte & ~mask);
}

std::optional<uint32_t> UsageMapEditor::firstSet(uint32_t from, uint32_t below) const {
    auto scan = [&](const uint8_t* bits, size_t n, uint64_t base) -> std::optional<uint32_t> {
        for (size_t i = 0; i < n; ++i) {
            if (!bits[i]) continue;
            for (int b = 0; b < 8; ++b) {
                const uint64_t pg = base + i * 8 + b;
                if (pg >= below) return std::nullopt;
                if ((bits[i] >> b & 1) && pg >= from) return static_cast<uint32_t>(pg);
            }
        }
        return std::nullopt;
    };
    if (type() == kInlineMap) return scan(row() + 5, len_ - 5, inlineStart());
    const uint64_t per = pagesPerSlot();
    for (size_t k = 0; k < slotCount() && k * per < below; ++k)
        if (uint32_t mp = slotPage(k))
            if (auto r = scan(wp_.page(mp) + 4, wp_.pageSize() - 4, k * per)) return r;
    return std::nullopt;
}

std::vector<uint32_t> UsageMapEditor::setPages() const {
    std::vector<uint32_t> out;
    auto collect = [&](const uint8_t* bits, size_t n, uint64_t base) {
        for (size_t i = 0; i < n; ++i)
            for (int b = 0; b < 8; ++b)
                if ((bits[i] >> b & 1) && base + i * 8 + b <= UINT32_MAX) out.push_back(static_cast<uint32_t>(base + i * 8 + b));
    };
    if (type() == kInlineMap) {
        collect(row() + 5, len_ - 5, inlineStart());
    } else {
        for (size_t k = 0; k < slotCount(); ++k)
            if (uint32_t mp = slotPage(k)) collect(wp_.page(mp) + 4, wp_.pageSize() - 4, k * pagesPerSlot());
    }
    return out;
}

void UsageMapEditor::resetInline(uint32_t start, bool allOn) {
    uint8_t* r = mutableRow();
    r[0] = kInlineMap;
    put32(r + 1, start);
    std::memset(r + 5, allOn ? 0xFF : 0x00, len_ - 5);
}

void UsageMapEditor::makeReference() {
    uint8_t* r = mutableRow();
    r[0] = kReferenceMap;
    std::memset(r + 1, 0, len_ - 1);
}

void UsageMapEditor::attachMapPage(size_t k, uint32_t mapPage) {
    uint8_t* mp = wp_.mutablePage(mapPage);
    std::memset(mp, 0, wp_.pageSize());
    mp[0] = kUsageMapPage;
    mp[1] = 0x01;
    put32(mutableRow() + 1 + 4 * k, mapPage);
}

namespace {

std::string mapName(uint32_t ptr) {
    return "usage map at page " + std::to_string(ptr >> 8) + " row " + std::to_string(ptr & 0xFF);
}

// A reference map needs a map page for every slot a listed page falls in; a
// page beyond the last slot cannot be recorded at all.
void referenceAdd(Database& db, UsageMapEditor& m, uint32_t ptr, uint32_t page) {
    const size_t k = page / m.pagesPerSlot();
    if (k >= m.slotCount())
        throw Error(db.path() + ": page " + std::to_string(page) + " lies beyond what the " + mapName(ptr) +
                        " can record",
                    Error::Code::Unsupported);
    if (!m.slotPage(k)) {
        const uint32_t mp = allocatePage(db);
        m.attachMapPage(k, mp);
    }
    m.set(page, true);
}

}  // namespace

void usageMapAdd(Database& db, uint32_t mapRowPtr, uint32_t page) {
    UsageMapEditor m(db, mapRowPtr, mapName(mapRowPtr));
    if (m.covers(page)) {
        m.set(page, true);
        return;
    }
    if (m.type() == kReferenceMap) {
        referenceAdd(db, m, mapRowPtr, page);
        return;
    }
    // Outside the inline window: slide the window when everything listed still
    // fits, else turn the map into a reference map as Jet does.
    std::vector<uint32_t> pages = m.setPages();
    pages.push_back(page);
    const auto [lo, hi] = std::minmax_element(pages.begin(), pages.end());
    if (static_cast<uint64_t>(*hi - *lo) < m.inlineCapacity()) {
        m.resetInline(*lo, false);
        for (uint32_t p : pages) m.set(p, true);
        return;
    }
    m.makeReference();
    for (uint32_t p : pages) {
        // allocatePage may touch other maps; this one is re-read on each step.
        UsageMapEditor again(db, mapRowPtr, mapName(mapRowPtr));
        referenceAdd(db, again, mapRowPtr, p);
    }
}

void usageMapRemove(Database& db, uint32_t mapRowPtr, uint32_t page) {
    UsageMapEditor m(db, mapRowPtr, mapName(mapRowPtr));
    m.set(page, false);
}

}  // namespace jet::detail
