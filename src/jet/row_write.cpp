// Inserting, updating and deleting rows: placing row bytes on data pages, long
// values on LVAL pages, overflow pointers, the table's page maps and counters.
#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <unordered_set>

#include "bytes.h"
#include "database.h"
#include "error.h"
#include "page_rows.h"
#include "row_encode.h"
#include "write_internal.h"

namespace jet {
namespace detail {
namespace {

constexpr uint8_t kPageData = 0x01;
constexpr uint8_t kPageUsageMap = 0x05;
// A slot Access has emptied: both flags set and no bytes.
constexpr uint16_t kSlotEmpty = kRowDeleted | kRowLookup;
// Data moved away by an update sits in a slot flagged deleted so scans skip it.
constexpr uint16_t kSlotMovedData = kRowDeleted;
constexpr unsigned kMaxRowsPerPage = 255;
// Long values up to this size stay inside the row when the row has room.
constexpr size_t kInlineLongValueMax = 64;
constexpr uint8_t kLvInline = 0x80;
constexpr uint8_t kLvSingle = 0x40;

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool isLvalPage(const uint8_t* p) { return p[0] == kPageData && std::memcmp(p + 4, "LVAL", 4) == 0; }

// ---- usage maps (read side) ----

// The row a usage-map reference points at; throws when the map is not there.
RowSpan mapRow(const Database& db, uint32_t ref) {
    const Pager& pg = db.pager();
    const uint32_t page = ref >> 8;
    if (page == 0 || page >= pg.pageCount()) throwCorrupt(db.path(), "a page map points outside the file");
    RowSpan rs;
    if (!rowOnPage(db.format(), pg.page(page), static_cast<uint16_t>(ref & 0xFF), rs, db.path(), page) ||
        rs.len < 1 || (rs.flags & kRowDeleted))
        throwCorrupt(db.path(), "a page map is missing");
    return rs;
}

std::vector<uint32_t> mapPages(const Database& db, uint32_t ref) {
    std::vector<uint32_t> out;
    const Pager& pg = db.pager();
    const Format& f = db.format();
    const RowSpan rs = mapRow(db, ref);
    auto bits = [&](const uint8_t* b, size_t n, uint64_t base) {
        for (size_t i = 0; i < n; ++i) {
            if (!b[i]) continue;
            for (int k = 0; k < 8; ++k)
                if (b[i] >> k & 1) {
                    uint64_t v = base + i * 8 + k;
                    if (v < pg.pageCount()) out.push_back(static_cast<uint32_t>(v));
                }
        }
    };
    if (rs.data[0] == 0) {
        if (rs.len < 5) throwCorrupt(db.path(), "a page map is too short");
        bits(rs.data + 5, rs.len - 5, bytes::u32(rs.data + 1));
    } else if (rs.data[0] == 1) {
        const uint64_t perPage = static_cast<uint64_t>(f.pageSize - 4) * 8;
        for (size_t k = 0; 1 + 4 * k + 4 <= rs.len; ++k) {
            uint32_t mp = bytes::u32(rs.data + 1 + 4 * k);
            if (mp == 0 || (mp & 0x80000000u) || mp >= pg.pageCount()) continue;
            const uint8_t* m = pg.page(mp);
            if (m[0] != kPageUsageMap) continue;
            bits(m + 4, f.pageSize - 4, k * perPage);
        }
    } else {
        throwCorrupt(db.path(), "a page map has unknown type " + std::to_string(rs.data[0]));
    }
    return out;
}

// One page's bit, read the way mapPages reads the whole map.
bool mapHas(const Database& db, uint32_t ref, uint32_t page) {
    const Pager& pg = db.pager();
    const Format& f = db.format();
    const RowSpan rs = mapRow(db, ref);
    if (page >= pg.pageCount()) return false;
    if (rs.data[0] == 0) {
        if (rs.len < 5) throwCorrupt(db.path(), "a page map is too short");
        const uint32_t start = bytes::u32(rs.data + 1);
        if (page < start) return false;
        const uint64_t bit = page - start;
        return bit / 8 < rs.len - 5 && (rs.data[5 + bit / 8] >> (bit % 8) & 1);
    }
    if (rs.data[0] == 1) {
        const uint64_t perPage = static_cast<uint64_t>(f.pageSize - 4) * 8;
        const uint64_t k = page / perPage, bit = page % perPage;
        if (1 + 4 * k + 4 > rs.len) return false;
        const uint32_t mp = bytes::u32(rs.data + 1 + 4 * k);
        if (mp == 0 || (mp & 0x80000000u) || mp >= pg.pageCount()) return false;
        const uint8_t* m = pg.page(mp);
        return m[0] == kPageUsageMap && (m[4 + bit / 8] >> (bit % 8) & 1);
    }
    throwCorrupt(db.path(), "a page map has unknown type " + std::to_string(rs.data[0]));
}

// ---- slots on data and long-value pages ----

struct Layout {
    bool ok = false;
    uint16_t count = 0;
    uint32_t lowest = 0;  // start of the lowest row; the row bytes run from here to the page end
    uint32_t free = 0;
};

uint16_t entryAt(const Format& f, const uint8_t* p, unsigned i) { return bytes::u16(p + f.dataRowTable + 2 * i); }

// Rows sit back to back from the page end in slot order; pages that break this are left alone.
Layout layoutOf(const Format& f, const uint8_t* p) {
    Layout l;
    l.count = bytes::u16(p + f.dataRowCount);
    const uint32_t tableEnd = f.dataRowTable + 2u * l.count;
    if (tableEnd > f.pageSize) return l;
    uint32_t end = f.pageSize;
    for (unsigned i = 0; i < l.count; ++i) {
        uint32_t start = entryAt(f, p, i) & kRowOffsetMask;
        if (start > end || start < tableEnd) return l;
        end = start;
    }
    l.lowest = end;
    l.free = end - tableEnd;
    l.ok = true;
    return l;
}

uint32_t slotStart(const Format& f, const uint8_t* p, unsigned i) { return entryAt(f, p, i) & kRowOffsetMask; }
uint32_t slotEnd(const Format& f, const uint8_t* p, unsigned i) {
    return i == 0 ? f.pageSize : slotStart(f, p, i - 1);
}

// Stores `len` bytes in slot `slot` of a page (slot == count appends one), moving the
// rows below it; false when the page lacks the room. The page's free-space count follows.
bool putSlot(Database& db, uint32_t pageNo, unsigned slot, const uint8_t* data, size_t len, uint16_t flags) {
    const Format& f = db.format();
    WritablePager& wp = writablePager(db);
    const uint8_t* p = wp.page(pageNo);
    const Layout l = layoutOf(f, p);
    if (!l.ok) {
        if (slot < l.count && slot < kMaxRowsPerPage)
            throwCorrupt(db.path(), "the rows of page " + std::to_string(pageNo) + " overlap");
        return false;
    }
    if (slot > l.count) throw Error("internal error: slot beyond the row table");
    const bool append = slot == l.count;
    if (append && l.count >= kMaxRowsPerPage) return false;
    const unsigned newCount = append ? l.count + 1u : l.count;
    const uint32_t start = append ? l.lowest : slotStart(f, p, slot);
    const uint32_t end = append ? l.lowest : slotEnd(f, p, slot);
    const long delta = static_cast<long>(len) - static_cast<long>(end - start);
    const long newLowest = static_cast<long>(l.lowest) - delta;
    const long tableEnd = static_cast<long>(f.dataRowTable + 2u * newCount);
    if (newLowest < tableEnd) return false;

    uint8_t* m = wp.mutablePage(pageNo);
    std::memmove(m + newLowest, m + l.lowest, start - l.lowest);
    if (len) std::memcpy(m + end - len, data, len);
    for (unsigned j = slot + 1; j < l.count; ++j) {
        uint16_t e = entryAt(f, m, j);
        put16(m + f.dataRowTable + 2 * j,
              static_cast<uint16_t>(((e & kRowOffsetMask) - delta) | (e & ~kRowOffsetMask)));
    }
    put16(m + f.dataRowTable + 2 * slot, static_cast<uint16_t>((end - len) | flags));
    if (append) put16(m + f.dataRowCount, static_cast<uint16_t>(newCount));
    std::memset(m + tableEnd, 0, static_cast<size_t>(newLowest - tableEnd));
    put16(m + f.dataFreeSpace, static_cast<uint16_t>(newLowest - tableEnd));
    return true;
}

// A slot for a new row: an emptied one when the page has it, else a new one at the end.
unsigned slotForNewRow(const Format& f, const uint8_t* p) {
    const Layout l = layoutOf(f, p);
    for (unsigned i = 0; i < l.count; ++i)
        if ((entryAt(f, p, i) & kSlotEmpty) == kSlotEmpty && slotStart(f, p, i) == slotEnd(f, p, i)) return i;
    return l.count;
}

uint32_t rowPointer(uint32_t page, unsigned slot) { return page << 8 | slot; }

void initDataPage(Database& db, uint32_t pageNo, const uint8_t owner[4]) {
    const Format& f = db.format();
    uint8_t* m = writablePager(db).mutablePage(pageNo);
    std::memset(m, 0, f.pageSize);
    m[0] = kPageData;
    m[1] = 0x01;
    put16(m + f.dataFreeSpace, static_cast<uint16_t>(f.pageSize - f.dataRowTable));
    std::memcpy(m + f.dataTdefPage, owner, 4);
}

// ---- one write operation on one table ----

class RowWriter {
public:
    RowWriter(Database& db, const std::string& tableName)
        : db_(db), f_(db.format()), t_(db.table(tableName)) {
        writablePager(db);  // Error(ReadOnly) before anything else
        // What the definition gives the writer is worked out once per definition.
        auto shape = std::static_pointer_cast<const Shape>(t_->writerMemo());
        if (!shape) {
            auto fresh = std::make_shared<Shape>();
            fresh->extras = readColumnExtras(db, *t_);
            std::vector<FieldBytes> empty(t_->columns().size());
            fresh->minRow = assembleRow(db_, *t_, empty).size();
            t_->setWriterMemo(fresh);
            shape = std::move(fresh);
        }
        shape_ = std::move(shape);
        for (const Index& ix : t_->indexes()) {
            bool seen = false;
            for (const Index* u : physical_) seen |= u->realIndex == ix.realIndex;
            if (!seen) physical_.push_back(&ix);
        }
    }

    RowId insert(const FieldValues& values, Row* stored);
    std::shared_ptr<const Table> tablePtr() const { return t_; }
    void update(RowId id, const FieldValues& changes);
    void remove(RowId id);

private:
    struct Located {
        RowId header;
        std::vector<RowId> chain;  // overflow targets, header excluded; the last holds the data
        const uint8_t* data = nullptr;
        size_t len = 0;
        RowId dataId() const { return chain.empty() ? header : chain.back(); }
    };
    Located locate(RowId id) const;
    const Column& column(int i) const { return t_->columns()[static_cast<size_t>(i)]; }
    Value convert(int col, const Value& v) const { return convertForColumn(db_, *t_, column(col), v); }
    void checkColumnIndex(int col) const {
        if (col < 0 || static_cast<size_t>(col) >= t_->columns().size())
            throw Error("table '" + t_->name() + "' has no column number " + std::to_string(col));
    }

    FieldBytes fieldFor(int col, const Value& v);
    Bytes longValueField(int col, const Bytes& data, bool allowInline);
    uint32_t placeLvalRow(int col, const Bytes& row);
    void freeLongValue(int col, const Bytes& field);
    void releaseLvalRow(int col, uint32_t ptr);
    Bytes buildRow(std::vector<FieldBytes>& fields, const std::vector<int>& newLongValues,
                   const std::vector<Bytes>& lvData);

    RowId placeRow(const Bytes& row, uint16_t flags);
    void afterDataPageChange(uint32_t page);
    uint32_t newDataPage();
    void writeCounts(int rowDelta, std::optional<uint32_t> autonumber);
    void checkDuplicates(const Row& row, RowId self, const std::vector<const Index*>& which) const;

    Database& db_;
    const Format& f_;
    std::shared_ptr<const Table> t_;
    struct Shape {
        std::vector<ColumnExtra> extras;
        size_t minRow = 0;  // bytes of a row with every column Null
    };
    std::shared_ptr<const Shape> shape_;
    std::vector<const Index*> physical_;
    std::vector<std::pair<int, uint32_t>> freshLval_;  // (column, page) allocated by this operation
};

RowWriter::Located RowWriter::locate(RowId id) const {
    const Pager& pg = db_.pager();
    Located out;
    out.header = id;
    auto missing = [&]() {
        return Error("table '" + t_->name() + "' has no row at page " + std::to_string(id.page) + " row " +
                         std::to_string(id.row),
                     Error::Code::NotFound);
    };
    RowId cur = id;
    for (int hop = 0; hop < 8; ++hop) {
        if (cur.page == 0 || cur.page >= pg.pageCount()) {
            if (hop == 0) throw missing();
            throwCorrupt(db_.path(), "an overflow row of table '" + t_->name() + "' points outside the file");
        }
        const uint8_t* p = pg.page(cur.page);
        if (p[0] != kPageData || bytes::u32(p + f_.dataTdefPage) != t_->tdefPage()) {
            if (hop == 0) throw missing();
            throwCorrupt(db_.path(), "an overflow row of table '" + t_->name() + "' points to a foreign page");
        }
        RowSpan rs;
        if (!rowOnPage(f_, p, cur.row, rs, db_.path(), cur.page)) {
            if (hop == 0) throw missing();
            throwCorrupt(db_.path(), "an overflow row of table '" + t_->name() + "' points to a missing row");
        }
        if (hop == 0 && (rs.flags & kRowDeleted)) throw missing();
        if (hop > 0) out.chain.push_back(cur);
        if (!(rs.flags & kRowLookup)) {
            out.data = rs.data;
            out.len = rs.len;
            return out;
        }
        if (rs.len < 4) throwCorrupt(db_.path(), "an overflow row of table '" + t_->name() + "' is too short");
        uint32_t ptr = bytes::u32(rs.data);
        cur = RowId{ptr >> 8, static_cast<uint16_t>(ptr & 0xFF)};
    }
    throwCorrupt(db_.path(), "overflow rows of table '" + t_->name() + "' form a chain that does not end");
}

FieldBytes RowWriter::fieldFor(int col, const Value& v) {
    const Column& c = column(col);
    FieldBytes fb;
    if (c.type == ColType::Bool) {
        fb.boolValue = !v.isNull() && v.asBool();
        return fb;
    }
    if (v.isNull()) return fb;
    fb.present = true;
    if (c.type != ColType::Memo && c.type != ColType::OLE) fb.bytes = encodeFixedOrVar(db_, c, shape_->extras[col], v);
    return fb;
}

// The 12-byte header of a long value (plus its data when inline), placing the data on
// long-value pages otherwise: one row when it fits a page, else a chain of rows.
Bytes RowWriter::longValueField(int col, const Bytes& data, bool allowInline) {
    if (data.size() > 0x3FFFFFFFu) throw Error("a value for column '" + column(col).name + "' is too long");
    Bytes field(12, 0);
    const uint32_t len = static_cast<uint32_t>(data.size());
    if (allowInline) {
        put32(field.data(), len | static_cast<uint32_t>(kLvInline) << 24);
        field.insert(field.end(), data.begin(), data.end());
        return field;
    }
    const size_t rowRoom = f_.pageSize - f_.dataRowTable - 2;  // one row alone on a page
    if (data.size() <= rowRoom - 4) {
        put32(field.data(), len | static_cast<uint32_t>(kLvSingle) << 24);
        put32(field.data() + 4, placeLvalRow(col, data));
        return field;
    }
    // Chained rows each start with the pointer to the next; written last to first.
    const size_t chunk = rowRoom - 4;
    size_t nChunks = (data.size() + chunk - 1) / chunk;
    uint32_t next = 0;
    for (size_t k = nChunks; k-- > 0;) {
        size_t from = k * chunk, n = std::min(chunk, data.size() - from);
        Bytes row(4 + n);
        put32(row.data(), next);
        std::memcpy(row.data() + 4, data.data() + from, n);
        next = placeLvalRow(col, row);
    }
    put32(field.data(), len);
    put32(field.data() + 4, next);
    return field;
}

uint32_t RowWriter::placeLvalRow(int col, const Bytes& row) {
    const ColumnExtra& x = shape_->extras[col];
    WritablePager& wp = writablePager(db_);
    std::vector<uint32_t> candidates;
    for (auto& [c, pg] : freshLval_)
        if (c == col) candidates.push_back(pg);
    if (x.lvFreeMap) {
        for (uint32_t pg : mapPages(db_, x.lvFreeMap))
            if (std::find(candidates.begin(), candidates.end(), pg) == candidates.end()) candidates.push_back(pg);
    }
    for (uint32_t pg : candidates) {
        const uint8_t* p = wp.page(pg);
        if (!isLvalPage(p)) continue;
        const Layout l = layoutOf(f_, p);
        if (!l.ok || l.free < row.size() + 2) continue;
        unsigned slot = slotForNewRow(f_, p);
        if (putSlot(db_, pg, slot, row.data(), row.size(), 0)) {
            const Layout after = layoutOf(f_, wp.page(pg));
            if (x.lvFreeMap && after.free < kInlineLongValueMax && mapHas(db_, x.lvFreeMap, pg))
                usageMapRemove(db_, x.lvFreeMap, pg);
            return rowPointer(pg, slot);
        }
    }
    const uint32_t pg = allocatePage(db_);
    static const uint8_t kLval[4] = {'L', 'V', 'A', 'L'};
    initDataPage(db_, pg, kLval);
    freshLval_.emplace_back(col, pg);
    if (!putSlot(db_, pg, 0, row.data(), row.size(), 0))
        throw Error("internal error: a long-value row does not fit an empty page");
    if (x.lvUsedMap) usageMapAdd(db_, x.lvUsedMap, pg);
    if (x.lvFreeMap && layoutOf(f_, wp.page(pg)).free >= kInlineLongValueMax) usageMapAdd(db_, x.lvFreeMap, pg);
    return rowPointer(pg, 0);
}

// Empties one long-value row; a page left without rows goes back to the file.
void RowWriter::releaseLvalRow(int col, uint32_t ptr) {
    const ColumnExtra& x = shape_->extras[col];
    WritablePager& wp = writablePager(db_);
    const uint32_t pg = ptr >> 8;
    const unsigned slot = ptr & 0xFF;
    if (!putSlot(db_, pg, slot, nullptr, 0, kSlotEmpty)) return;
    const uint8_t* p = wp.page(pg);
    const Layout l = layoutOf(f_, p);
    bool anyLive = false;
    for (unsigned i = 0; i < l.count; ++i) anyLive |= !(entryAt(f_, p, i) & kRowDeleted);
    if (!anyLive) {
        if (x.lvUsedMap && mapHas(db_, x.lvUsedMap, pg)) usageMapRemove(db_, x.lvUsedMap, pg);
        if (x.lvFreeMap && mapHas(db_, x.lvFreeMap, pg)) usageMapRemove(db_, x.lvFreeMap, pg);
        freshLval_.erase(std::remove_if(freshLval_.begin(), freshLval_.end(),
                                        [&](const auto& e) { return e.second == pg; }),
                         freshLval_.end());
        freePage(db_, pg);
        return;
    }
    if (x.lvFreeMap && l.free >= kInlineLongValueMax && x.lvUsedMap && mapHas(db_, x.lvUsedMap, pg) &&
        !mapHas(db_, x.lvFreeMap, pg))
        usageMapAdd(db_, x.lvFreeMap, pg);
}

void RowWriter::freeLongValue(int col, const Bytes& field) {
    if (field.size() < 12) return;
    const uint8_t kind = field[3];
    if (kind & kLvInline) return;
    const Pager& pg = db_.pager();
    uint32_t ptr = bytes::u32(field.data() + 4);
    const uint32_t total = bytes::u32(field.data()) & 0x3FFFFFFF;
    if (total == 0 && ptr == 0) return;
    std::unordered_set<uint32_t> seen;
    while (ptr) {
        const uint32_t page = ptr >> 8;
        if (page == 0 || page >= pg.pageCount() || !isLvalPage(pg.page(page)) || !seen.insert(ptr).second) break;
        RowSpan rs;
        if (!rowOnPage(f_, pg.page(page), static_cast<uint16_t>(ptr & 0xFF), rs, db_.path(), page) ||
            (rs.flags & kRowDeleted))
            break;
        uint32_t next = 0;
        if (!(kind & kLvSingle) && rs.len >= 4) next = bytes::u32(rs.data);
        releaseLvalRow(col, ptr);
        ptr = next;
    }
}

// The row's bytes, moving long values out of the row when it would be too big.
Bytes RowWriter::buildRow(std::vector<FieldBytes>& fields, const std::vector<int>& newLongValues,
                          const std::vector<Bytes>& lvData) {
    const size_t maxRow = maxRowSize(f_);
    // Inline first where small; the largest inline values go out until the row fits.
    std::vector<bool> inlined(newLongValues.size(), false);
    for (size_t k = 0; k < newLongValues.size(); ++k) {
        inlined[k] = lvData[k].size() <= kInlineLongValueMax;
        if (inlined[k]) {
            fields[newLongValues[k]].bytes.assign(12, 0);
            fields[newLongValues[k]].bytes.insert(fields[newLongValues[k]].bytes.end(), lvData[k].begin(),
                                                  lvData[k].end());
        } else {
            fields[newLongValues[k]].bytes.assign(12, 0);  // placeholder of the final size
        }
    }
    for (;;) {
        Bytes row = assembleRow(db_, *t_, fields);
        if (row.size() <= maxRow) break;
        int best = -1;
        for (size_t k = 0; k < newLongValues.size(); ++k)
            if (inlined[k] && (best < 0 || lvData[k].size() > lvData[best].size())) best = static_cast<int>(k);
        if (best < 0)
            throw Error("the row is too large for table '" + t_->name() + "' (" + std::to_string(row.size()) +
                        " bytes; at most " + std::to_string(maxRow) + " fit on a page)");
        inlined[best] = false;
        fields[newLongValues[best]].bytes.assign(12, 0);
    }
    for (size_t k = 0; k < newLongValues.size(); ++k)
        fields[newLongValues[k]].bytes = longValueField(newLongValues[k], lvData[k], inlined[k]);
    return assembleRow(db_, *t_, fields);
}

uint32_t RowWriter::newDataPage() {
    const uint32_t pg = allocatePage(db_);
    uint8_t owner[4];
    put32(owner, t_->tdefPage());
    initDataPage(db_, pg, owner);
    usageMapAdd(db_, t_->usedPagesMap(), pg);
    if (t_->freePagesMap()) usageMapAdd(db_, t_->freePagesMap(), pg);
    return pg;
}

// A page is listed as having free space while another smallest row would still fit.
void RowWriter::afterDataPageChange(uint32_t page) {
    if (!t_->freePagesMap()) return;
    const Layout l = layoutOf(f_, writablePager(db_).page(page));
    const bool roomy = l.ok && l.free >= shape_->minRow + 2 && l.count < kMaxRowsPerPage;
    const bool listed = mapHas(db_, t_->freePagesMap(), page);
    if (roomy && !listed)
        usageMapAdd(db_, t_->freePagesMap(), page);
    else if (!roomy && listed)
        usageMapRemove(db_, t_->freePagesMap(), page);
}

// The page the table last took a row on comes first, then the pages its
// free-space map lists, then (without such a map) its last page, else a new one.
RowId RowWriter::placeRow(const Bytes& row, uint16_t flags) {
    const Pager& pg = db_.pager();
    PlacementHints& hints = placementHints(db_);
    const uint32_t size = static_cast<uint32_t>(row.size());
    auto tryPage = [&](uint32_t page) -> std::optional<RowId> {
        if (page == 0 || page >= pg.pageCount()) return std::nullopt;
        const uint8_t* p = pg.page(page);
        if (p[0] != kPageData || bytes::u32(p + f_.dataTdefPage) != t_->tdefPage()) return std::nullopt;
        const uint16_t free = bytes::u16(p + f_.dataFreeSpace), rows = bytes::u16(p + f_.dataRowCount);
        auto known = hints.refused.find(page);
        const bool stillValid = known != hints.refused.end() && known->second.free == free && known->second.rows == rows;
        if (stillValid && size >= known->second.rowSize) return std::nullopt;
        const Layout l = layoutOf(f_, p);
        if (l.ok && l.free >= size + 2) {
            const unsigned slot = slotForNewRow(f_, p);
            if (putSlot(db_, page, slot, row.data(), row.size(), flags)) {
                afterDataPageChange(page);
                hints.refused.erase(page);
                hints.lastPage[t_->tdefPage()] = page;
                return RowId{page, static_cast<uint16_t>(slot)};
            }
        }
        if (stillValid)
            known->second.rowSize = std::min(known->second.rowSize, size);
        else
            hints.refused[page] = PlacementHints::Refusal{size, free, rows};
        return std::nullopt;
    };
    const auto last = hints.lastPage.find(t_->tdefPage());
    const uint32_t lastPage = last == hints.lastPage.end() ? 0 : last->second;
    // The hint is only trusted while the table's own map still lists the page.
    if (lastPage && mapHas(db_, t_->usedPagesMap(), lastPage))
        if (auto id = tryPage(lastPage)) return *id;
    std::vector<uint32_t> candidates;
    if (t_->freePagesMap()) candidates = mapPages(db_, t_->freePagesMap());
    if (candidates.empty() && !lastPage) {
        std::vector<uint32_t> owned = t_->dataPages();
        if (!owned.empty()) candidates.push_back(owned.back());
    }
    for (uint32_t page : candidates)
        if (page != lastPage)
            if (auto id = tryPage(page)) return *id;
    const uint32_t page = newDataPage();
    if (!putSlot(db_, page, 0, row.data(), row.size(), flags))
        throw Error("internal error: a row does not fit an empty page");
    afterDataPageChange(page);
    hints.lastPage[t_->tdefPage()] = page;
    return RowId{page, 0};
}

void RowWriter::writeCounts(int rowDelta, std::optional<uint32_t> autonumber) {
    uint8_t* m = writablePager(db_).mutablePage(t_->tdefPage());
    const uint32_t rows = bytes::u32(m + f_.tdefRowCount);
    put32(m + f_.tdefRowCount, static_cast<uint32_t>(static_cast<int64_t>(rows) + rowDelta));
    if (autonumber) put32(m + f_.tdefAutonumber, *autonumber);
}

void RowWriter::checkDuplicates(const Row& row, RowId self, const std::vector<const Index*>& which) const {
    for (const Index* ix : which)
        if (indexWouldDuplicate(db_, *t_, *ix, row, self))
            throw Error("the change would create a duplicate value in index '" + ix->name + "' of table '" +
                            t_->name() + "'",
                        Error::Code::Duplicate);
}

RowId RowWriter::insert(const FieldValues& values, Row* stored) {
    const auto& cols = t_->columns();
    Row row(cols.size());
    for (size_t i = 0; i < cols.size(); ++i)
        if (cols[i].type == ColType::Bool) row[i] = Value::boolean(false);
    std::vector<bool> given(cols.size(), false);
    for (const FieldValue& fv : values) {
        checkColumnIndex(fv.column);
        row[fv.column] = convert(fv.column, fv.value);
        given[fv.column] = true;
    }
    std::optional<uint32_t> autonumber;
    for (size_t i = 0; i < cols.size(); ++i) {
        const Column& c = cols[i];
        if (c.autonumber && c.type == ColType::Long) {
            uint32_t last = autonumber ? *autonumber : t_->nextAutonumber();
            if (row[i].isNull()) {
                if (last >= static_cast<uint32_t>(INT32_MAX))
                    throw Error("the AutoNumber column '" + c.name + "' of table '" + t_->name() + "' is exhausted");
                row[i] = Value::int32(static_cast<int32_t>(last + 1));
                autonumber = last + 1;
            } else if (row[i].asInt32() > 0 && static_cast<uint32_t>(row[i].asInt32()) > last) {
                autonumber = static_cast<uint32_t>(row[i].asInt32());
            }
        } else if (c.type == ColType::Guid && (c.autonumber || c.replication) && row[i].isNull() && !given[i]) {
            static thread_local std::mt19937_64 rng{std::random_device{}()};
            Guid g;
            for (auto& b : g.bytes) b = static_cast<uint8_t>(rng());
            g.bytes[7] = static_cast<uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version 4, stored little-endian
            g.bytes[8] = static_cast<uint8_t>((g.bytes[8] & 0x3F) | 0x80);
            row[i] = Value::guid(g);
        }
    }
    checkTableRules(db_, *t_, row);
    checkDuplicates(row, RowId{0, 0}, physical_);

    std::vector<FieldBytes> fields(cols.size());
    std::vector<int> lvCols;
    std::vector<Bytes> lvData;
    for (size_t i = 0; i < cols.size(); ++i) {
        fields[i] = fieldFor(static_cast<int>(i), row[i]);
        if ((cols[i].type == ColType::Memo || cols[i].type == ColType::OLE) && !row[i].isNull()) {
            lvCols.push_back(static_cast<int>(i));
            lvData.push_back(encodeLongValueData(db_, cols[i], shape_->extras[i], row[i]));
        }
    }
    const Bytes bytesOut = buildRow(fields, lvCols, lvData);
    const RowId id = placeRow(bytesOut, 0);
    writeCounts(+1, autonumber);
    auto written = t_->readRow(id);
    if (!written) throw Error("internal error: the new row of table '" + t_->name() + "' cannot be read back");
    for (const Index* ix : physical_) indexInsert(db_, *t_, *ix, *written, id);
    if (stored) *stored = *written;
    return id;
}

void RowWriter::update(RowId id, const FieldValues& changes) {
    const auto& cols = t_->columns();
    Located loc = locate(id);
    auto oldRow = t_->readRow(id);
    if (!oldRow) throw Error("table '" + t_->name() + "' has no row at that position", Error::Code::NotFound);
    std::vector<FieldBytes> fields = splitRow(db_, *t_, loc.data, loc.len);
    const std::vector<FieldBytes> oldFields = fields;

    Row newRow = *oldRow;
    std::vector<bool> changed(cols.size(), false);
    for (const FieldValue& fv : changes) {
        checkColumnIndex(fv.column);
        Value v = convert(fv.column, fv.value);
        const Column& c = column(fv.column);
        if (v == (*oldRow)[fv.column] && !changed[fv.column]) continue;
        if (c.autonumber && !(v == (*oldRow)[fv.column]))
            throw Error("the AutoNumber column '" + c.name + "' of table '" + t_->name() + "' cannot be changed");
        newRow[fv.column] = v;
        changed[fv.column] = !(v == (*oldRow)[fv.column]);
    }
    if (std::none_of(changed.begin(), changed.end(), [](bool b) { return b; })) return;

    std::vector<const Index*> touched;
    for (const Index* ix : physical_) {
        bool keyChanged = false;
        for (const IndexColumn& ic : ix->columns)
            if (ic.column >= 0 && changed[static_cast<size_t>(ic.column)]) keyChanged = true;
        if (keyChanged) touched.push_back(ix);
    }
    checkTableRules(db_, *t_, newRow);
    checkDuplicates(newRow, id, touched);

    std::vector<int> lvCols;
    std::vector<Bytes> lvData;
    for (size_t i = 0; i < cols.size(); ++i) {
        if (!changed[i]) continue;
        fields[i] = fieldFor(static_cast<int>(i), newRow[i]);
        if ((cols[i].type == ColType::Memo || cols[i].type == ColType::OLE) && !newRow[i].isNull()) {
            lvCols.push_back(static_cast<int>(i));
            lvData.push_back(encodeLongValueData(db_, cols[i], shape_->extras[i], newRow[i]));
        }
    }
    const Bytes rowBytes = buildRow(fields, lvCols, lvData);

    const RowId home = loc.header;
    auto clearTargets = [&](const std::vector<RowId>& targets) {
        for (RowId r : targets) {
            putSlot(db_, r.page, r.row, nullptr, 0, kSlotEmpty);
            afterDataPageChange(r.page);
        }
    };
    if (putSlot(db_, home.page, home.row, rowBytes.data(), rowBytes.size(), 0)) {
        afterDataPageChange(home.page);
        clearTargets(loc.chain);
    } else if (!loc.chain.empty() && loc.chain.size() == 1 &&
               putSlot(db_, loc.chain[0].page, loc.chain[0].row, rowBytes.data(), rowBytes.size(), kSlotMovedData)) {
        afterDataPageChange(loc.chain[0].page);
    } else {
        const RowId target = placeRow(rowBytes, kSlotMovedData);
        uint8_t ptr[4];
        put32(ptr, rowPointer(target.page, target.row));
        if (!putSlot(db_, home.page, home.row, ptr, 4, kRowLookup))
            throw Error("page " + std::to_string(home.page) + " of table '" + t_->name() +
                        "' has no room left for the row's forwarding pointer");
        afterDataPageChange(home.page);
        clearTargets(loc.chain);
    }

    for (size_t i = 0; i < cols.size(); ++i)
        if (changed[i] && (cols[i].type == ColType::Memo || cols[i].type == ColType::OLE) && oldFields[i].present)
            freeLongValue(static_cast<int>(i), oldFields[i].bytes);

    if (!touched.empty()) {
        auto written = t_->readRow(id);
        if (!written) throw Error("internal error: the updated row of table '" + t_->name() + "' cannot be read back");
        for (const Index* ix : touched) {
            indexRemove(db_, *t_, *ix, *oldRow, id);
            indexInsert(db_, *t_, *ix, *written, id);
        }
    }
}

void RowWriter::remove(RowId id) {
    const auto& cols = t_->columns();
    Located loc = locate(id);
    auto oldRow = t_->readRow(id);
    if (!oldRow) throw Error("table '" + t_->name() + "' has no row at that position", Error::Code::NotFound);
    const std::vector<FieldBytes> fields = splitRow(db_, *t_, loc.data, loc.len);
    for (const Index* ix : physical_) indexRemove(db_, *t_, *ix, *oldRow, id);
    for (size_t i = 0; i < cols.size(); ++i)
        if ((cols[i].type == ColType::Memo || cols[i].type == ColType::OLE) && fields[i].present)
            freeLongValue(static_cast<int>(i), fields[i].bytes);
    putSlot(db_, loc.header.page, loc.header.row, nullptr, 0, kSlotEmpty);
    afterDataPageChange(loc.header.page);
    for (RowId r : loc.chain) {
        putSlot(db_, r.page, r.row, nullptr, 0, kSlotEmpty);
        afterDataPageChange(r.page);
    }
    writeCounts(-1, std::nullopt);
}

}  // namespace
}  // namespace detail

RowId Database::insertRow(const std::string& table, const FieldValues& values, Row* stored) {
    detail::AutoTxn txn(*this);
    RowId id;
    std::shared_ptr<const Table> written;
    {
        detail::RowWriter w(*this, table);
        id = w.insert(values, stored);
        written = w.tablePtr();
    }
    detail::invalidateTable(*this, *written);
    txn.commit();
    return id;
}

void Database::updateRow(const std::string& table, RowId id, const FieldValues& changes) {
    detail::AutoTxn txn(*this);
    std::shared_ptr<const Table> written;
    {
        detail::RowWriter w(*this, table);
        w.update(id, changes);
        written = w.tablePtr();
    }
    detail::invalidateTable(*this, *written);
    txn.commit();
}

void Database::deleteRow(const std::string& table, RowId id) {
    detail::AutoTxn txn(*this);
    std::shared_ptr<const Table> written;
    {
        detail::RowWriter w(*this, table);
        w.remove(id);
        written = w.tablePtr();
    }
    detail::invalidateTable(*this, *written);
    txn.commit();
}

}  // namespace jet
