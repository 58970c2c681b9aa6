#include "database.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "bytes.h"
#include "error.h"
#include "journal.h"
#include "page_rows.h"
#include "text.h"

namespace jet {
namespace {

constexpr uint32_t kCatalogTdefPage = 2;
constexpr uint32_t kHeaderMaskOffset = 0x18;

std::string upper(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

// `name` equals the upper-cased `u`, letters compared without case.
bool sameUpper(const std::string& name, const std::string& u) {
    if (name.size() != u.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != u[i]) return false;
    }
    return true;
}

bool startsWithMSys(const std::string& name) {
    return name.size() >= 4 && upper(name.substr(0, 4)) == "MSYS";
}

// The header page is masked with RC4 under a key fixed by the format.
void unmaskHeader(uint8_t* data, size_t n) {
    static const uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

}  // namespace

bool CatalogEntry::isSystem() const {
    return (flags & 0x80000002u) != 0 || startsWithMSys(name);
}

std::unique_ptr<Database> Database::open(const std::string& path) { return open(path, OpenMode::ReadOnly); }

std::unique_ptr<Database> Database::openMemory(const uint8_t* data, size_t size, const std::string& name) {
    uint32_t pageSize = detail::detectPageSize(data, data ? size : 0, name);
    std::unique_ptr<Database> db(new Database());
    db->init(openMemoryPager(data, size, pageSize, name));
    return db;
}

Database::~Database() = default;

void Database::init(std::unique_ptr<Pager> pager) {
    pager_ = std::move(pager);
    const uint32_t ps = pager_->pageSize();
    format_ = ps == 2048 ? &Format::jet3() : &Format::jet4fmt();
    if (pager_->pageCount() < 3)
        throw Error(pager_->path() + " is truncated: it ends before the catalog", Error::Code::Corrupt);

    std::vector<uint8_t> hdr(pager_->page(0), pager_->page(0) + ps);
    const size_t masked = format_->jet4() ? 128 : 126;
    unmaskHeader(hdr.data() + kHeaderMaskOffset, masked);
    header_.version = format_->version;
    header_.pageSize = ps;
    header_.pageCount = pager_->pageCount();
    header_.codePage = bytes::u16(hdr.data() + 0x3C);
    header_.dbKey = bytes::u32(hdr.data() + 0x3E);
    header_.sortOrder = bytes::u16(hdr.data() + (format_->jet4() ? 0x6E : 0x3A));
    loadCatalog();
}

void Database::loadCatalog() {
    auto sys = std::make_shared<Table>(*this, "MSysObjects", kCatalogTdefPage, true);
    const int cId = sys->columnIndex("Id"), cParent = sys->columnIndex("ParentId"), cName = sys->columnIndex("Name"),
              cType = sys->columnIndex("Type"), cFlags = sys->columnIndex("Flags");
    if (cId < 0 || cParent < 0 || cName < 0 || cType < 0 || cFlags < 0)
        detail::throwCorrupt(path(), "the catalog table lacks its Id/ParentId/Name/Type/Flags columns");
    auto intOf = [](const Value& v) -> int64_t {
        switch (v.kind()) {
            case Value::Kind::Byte:
            case Value::Kind::Int16:
            case Value::Kind::Int32: return v.toInt64();
            default: return 0;
        }
    };
    for (auto cur = sys->scan({cId, cParent, cName, cType, cFlags}); cur.next();) {
        const Row& r = cur.row();
        if (!r[cName].isText()) continue;
        CatalogEntry e;
        e.id = static_cast<int32_t>(intOf(r[cId]));
        e.parentId = static_cast<int32_t>(intOf(r[cParent]));
        e.name = r[cName].asText();
        e.type = static_cast<int16_t>(intOf(r[cType]));
        e.flags = static_cast<uint32_t>(intOf(r[cFlags]));
        catalog_.push_back(std::move(e));
    }
    tables_[upper("MSysObjects")] = sys;
}

std::vector<std::string> Database::tableNames(bool includeSystem) const {
    std::vector<std::string> out;
    for (const auto& e : catalog_)
        if (e.type == 1 && (includeSystem || !e.isSystem())) out.push_back(e.name);
    return out;
}

std::vector<std::string> Database::queryNames() const {
    std::vector<std::string> out;
    for (const auto& e : catalog_)
        if (e.type == 5) out.push_back(e.name);
    return out;
}

bool Database::hasTable(const std::string& name) const {
    const std::string u = upper(name);
    for (const auto& e : catalog_)
        if (e.type == 1 && sameUpper(e.name, u)) return true;
    return false;
}

bool Database::hasQuery(const std::string& name) const {
    const std::string u = upper(name);
    for (const auto& e : catalog_)
        if (e.type == 5 && sameUpper(e.name, u)) return true;
    return false;
}

std::shared_ptr<const Table> Database::table(const std::string& name) const {
    const std::string u = upper(name);
    if (auto it = tables_.find(u); it != tables_.end()) return it->second;
    for (const auto& e : catalog_) {
        if (e.type == 1 && sameUpper(e.name, u)) {
            auto t = std::make_shared<const Table>(*this, e.name, e.tdefPage(), e.isSystem());
            tables_[u] = t;
            return t;
        }
    }
    throw Error("no table named '" + name + "' in " + path(), Error::Code::NotFound);
}

std::string Database::decodeText(const uint8_t* p, size_t n) const {
    std::string out;
    if (!format_->jet4()) {
        text::appendCodePage(out, p, n, header_.codePage);
    } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        text::appendCompressed(out, p + 2, n - 2);
    } else {
        text::appendUtf16le(out, p, n);
    }
    return out;
}

std::optional<std::span<const uint8_t>> Database::inlineLongValue(const uint8_t* field, size_t len) {
    if (len < 12 || !(field[3] & 0x80)) return std::nullopt;
    const uint32_t total = bytes::u32(field) & 0x3FFFFFFF;
    if (total > len - 12) return std::nullopt;
    return std::span<const uint8_t>(field + 12, total);
}

Bytes Database::readLongValue(const uint8_t* field, size_t len) const {
    if (len < 12) detail::throwCorrupt(path(), "long value header is shorter than 12 bytes");
    const uint32_t word = bytes::u32(field);
    const uint8_t kind = field[3];
    const uint32_t total = word & 0x3FFFFFFF;
    const uint64_t fileBytes = static_cast<uint64_t>(pager_->pageCount()) * pager_->pageSize();
    if (total > fileBytes) detail::throwCorrupt(path(), "long value claims " + std::to_string(total) + " bytes");
    if (kind & 0x80) {
        const auto in = inlineLongValue(field, len);
        if (!in) detail::throwCorrupt(path(), "inline long value runs past its row");
        return Bytes(in->begin(), in->end());
    }
    uint32_t ptr = bytes::u32(field + 4);
    Bytes out;
    if (total == 0) return out;
    out.reserve(total);
    const bool single = (kind & 0x40) != 0;
    // Every page of a chain holds some bytes, so a longer walk means a loop.
    size_t hops = 0;
    const size_t maxHops = static_cast<size_t>(pager_->pageCount()) * 256;
    while (out.size() < total) {
        uint32_t pageNo = ptr >> 8;
        uint16_t rowNo = static_cast<uint16_t>(ptr & 0xFF);
        if (pageNo == 0 || pageNo >= pager_->pageCount())
            detail::throwCorrupt(path(), "long value points to page " + std::to_string(pageNo));
        if (++hops > maxHops) detail::throwCorrupt(path(), "long value chain loops");
        const uint8_t* page = pager_->page(pageNo);
        if (page[0] != 0x01 || std::memcmp(page + 4, "LVAL", 4) != 0)
            detail::throwCorrupt(path(), "long value points to page " + std::to_string(pageNo) +
                                             ", which is not a long value page");
        detail::RowSpan rs;
        if (!detail::rowOnPage(*format_, page, rowNo, rs, path(), pageNo) || (rs.flags & detail::kRowDeleted))
            detail::throwCorrupt(path(), "long value row " + std::to_string(rowNo) + " of page " +
                                             std::to_string(pageNo) + " is missing");
        if (single) {
            size_t take = std::min<size_t>(rs.len, total);
            out.insert(out.end(), rs.data, rs.data + take);
            if (take < total) detail::throwCorrupt(path(), "long value is shorter than its declared length");
            break;
        }
        if (rs.len < 4) detail::throwCorrupt(path(), "long value chain row is too short");
        ptr = bytes::u32(rs.data);
        size_t take = std::min<size_t>(rs.len - 4, total - out.size());
        out.insert(out.end(), rs.data + 4, rs.data + 4 + take);
        if (out.size() < total && ptr == 0)
            detail::throwCorrupt(path(), "long value chain ends before its declared length");
    }
    return out;
}

}  // namespace jet
