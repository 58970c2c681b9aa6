// What the engine's tests share: scratch copies of tests/data files, whole-file dumps, the jetdb tool and the
// independent readers, raw looks at usage maps and index trees, and a text form of query trees.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <tuple>
#include <string>
#include <utility>
#include <vector>
#include "jet/bytes.h"
#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/page_rows.h"
#include "jet/query_model.h"
#include "jet/write_internal.h"

namespace testutil {
inline std::string dataPath(const std::string& rel) { return std::string(TEST_DATA_DIR) + "/" + rel; }
// A new, empty folder under the system's temporary folder.
inline std::string makeTempDir(const std::string& prefix) {
    static std::mt19937_64 rng(std::random_device{}() ^
                               static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int i = 0; i < 100; ++i) {
        auto p = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(rng() % 1000000000));
        std::error_code ec;
        if (std::filesystem::create_directory(p, ec)) return p.string();
    }
    throw std::runtime_error("cannot create a temporary folder");
}

// Every Access-made and Timer file under tests/data ("jet4/x.mdb"), in name order.
inline std::vector<std::string> allDataFiles() {
    std::vector<std::string> out;
    for (const char* dir : {"jet3", "jet4", "timer"})
        for (const auto& e : std::filesystem::directory_iterator(dataPath(dir)))
            if (e.path().extension() == ".mdb" || e.path().extension() == ".tdb")
                out.push_back(std::string(dir) + "/" + e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Copies a file over another. Removes the target first: some standard
// libraries (MinGW's) refuse overwrite_existing with "File exists".
inline void copyOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::remove(to);
    std::filesystem::copy_file(from, to);
}

// The exit code of a command run through std::system or pclose (-1: killed).
inline int exitCode(int status) {
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// The code of the jet::Error an action raises (Generic when it raises none), and its message.
inline jet::Error::Code errorCode(const std::function<void()>& f, std::string* msg = nullptr) {
    try { f(); } catch (const jet::Error& e) {
        if (msg) *msg = e.what();
        return e.code();
    }
    return jet::Error::Code::Generic;
}

inline jet::Error::Code openError(const std::string& path, jet::OpenMode mode, std::string* msg = nullptr) {
    return errorCode([&] { jet::Database::open(path, mode); }, msg);
}

// A temporary folder for writable copies of the test files, removed at the end.
class Scratch {
public:
    Scratch() : dir_(makeTempDir("hourgrid-test")) {}
    ~Scratch() { std::error_code ec; std::filesystem::remove_all(dir_, ec); }
    Scratch(const Scratch&) = delete; Scratch& operator=(const Scratch&) = delete;
    // A writable copy of a file under tests/data.
    std::string copy(const std::string& rel, const std::string& as = "") const {
        std::string to = dir_ + "/" + (as.empty() ? std::filesystem::path(rel).filename().string() : as);
        copyOver(dataPath(rel), to);
        std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        return to;
    }
    const std::string& path() const { return dir_; }
private:
    std::string dir_;
};

inline std::vector<uint8_t> slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string joined(const jet::CheckReport& r) {
    std::string s;
    for (const auto& p : r.problems) s += "  " + p + "\n";
    return s;
}
// What the integrity check finds wrong, one line each ("" when sound).
inline std::string problems(const jet::Database& db) { return joined(jet::checkDatabase(db)); }
inline std::vector<std::pair<jet::RowId, jet::Row>> rowsOf(const jet::Table& t) {
    std::vector<std::pair<jet::RowId, jet::Row>> out;
    for (auto cur = t.scan(); cur.next();) out.emplace_back(cur.rowId(), cur.row());
    return out;
}
inline auto rowsOf(const jet::Database& db, const std::string& table) { return rowsOf(*db.table(table)); }

// Every row of every table (system tables included), as text.
inline std::string exportAll(const jet::Database& db) {
    std::string out;
    for (const auto& name : db.tableNames(true)) {
        out += "[" + name + "]\n";
        for (const auto& [id, row] : rowsOf(db, name)) {
            for (const auto& v : row) out += jet::toDebugString(v) + "|";
            out += "\n";
        }
    }
    return out;
}

// Column values by name.
inline jet::FieldValues fields(const jet::Table& t, std::vector<std::pair<std::string, jet::Value>> kv) {
    jet::FieldValues out;
    for (auto& [name, v] : kv) {
        const int c = t.columnIndex(name);
        if (c < 0) throw std::runtime_error("no column " + name);
        out.push_back(jet::FieldValue{c, std::move(v)});
    }
    return out;
}

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
struct ToolRun { int status = -1; std::string out, err; };
// A file's text, and the file gone.
inline std::string takeText(const std::string& path) {
    const auto b = slurp(path);
    std::remove(path.c_str());
    return {b.begin(), b.end()};
}
// Where the programs a test runs leave their output: one folder for the whole test process.
inline const std::string& runDir() { static const std::string dir = makeTempDir("jetdb_run"); return dir; }
// Runs the jetdb program as a user would.
inline ToolRun runJetdb(const std::vector<std::string>& args) {
    const std::string base = runDir() + "/run";
    std::string cmd = shellQuote(JETDB_PATH);
    for (const auto& a : args) cmd += " " + shellQuote(a);
    cmd += " >" + shellQuote(base + ".out") + " 2>" + shellQuote(base + ".err");
    const int status = exitCode(std::system(cmd.c_str()));
    return {status, takeText(base + ".out"), takeText(base + ".err")};
}

// Runs the three-way comparison (this engine's export against mdb-export and mdb-reader) on one table. Empty when
// they agree or the readers are not installed; Windows builds have no node or shell to run them.
inline std::string oracleDisagreement(const std::string& file, const std::string& table) {
#ifdef _WIN32
    (void)file, (void)table;
    return "";
#else
    const std::string log = runDir() + "/oracle";
    const std::string cmd = "node " + shellQuote(std::string(TEST_DATA_DIR) + "/../oracle/compare.mjs") + " --jetdb " +
                            shellQuote(JETDB_PATH) + " --table " + shellQuote(table) + " " + shellQuote(file) + " >" +
                            shellQuote(log) + " 2>&1";
    const int rc = exitCode(std::system(cmd.c_str()));
    const std::string out = takeText(log);
    return rc == 0 || rc == 77 ? "" : "compare.mjs exit " + std::to_string(rc) + ":\n" + out;
#endif
}

// The program's two saved queries, as it stores them.
inline const char* kWeekSql =
    "PARAMETERS PStartDate DateTime, PEndDate DateTime; SELECT DISTINCTROW [All Activities].UserDate, [All "
    "Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].[Service ID], DateAdd(\"s\",30,Duration) AS "
    "RoundedDuration, [All Activities].[Billable Status], [All Activities].[Export Status], [All Activities].Exported, [All "
    "Activities].Class, [All Activities].[Class ID], [All Activities].ActivityID, [All Activities].[CustJob ID], [All "
    "Activities].Name, [All Activities].[Name ID], [All Activities].[Payroll Item], [All Activities].Note, [All "
    "Activities].[Billable Y/N], [All Activities].Duration, [All Activities].CreateTime From [All Activities] WHERE ((([All "
    "Activities].UserDate) Between [PStartDate] And [PEndDate]) AND (([All Activities].[Name ID])=[PNameID])) ORDER BY [All "
    "Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].Class, [All Activities].UserDate;";
inline const char* kRecentSql =
    "SELECT DISTINCT [All Activities].[Customer/Job], [All Activities].[CustJob ID], [All Activities].[Service "
    "Item], [All Activities].[Service ID], [All Activities].Class, [All Activities].[Class ID] From [All Activities] "
    "WHERE ((([All Activities].CreateTime)>Date()-[PNumDays]+1) AND (([All Activities].[Name ID])=[PNameID])) ORDER "
    "BY [All Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].Class;";

// ------------------------------------------------------------ usage maps, pages
// Bytes of the usage-map row at ptr (page << 8 | row).
inline std::pair<const uint8_t*, size_t> mapRow(const jet::Database& db, uint32_t ptr) {
    jet::detail::RowSpan rs;
    const uint8_t* p = db.pager().page(ptr >> 8);
    if (!jet::detail::rowOnPage(db.format(), p, ptr & 0xFF, rs, db.path(), ptr >> 8))
        throw std::runtime_error("no usage map row");
    return {rs.data, rs.len};
}
inline int mapType(const jet::Database& db, uint32_t ptr) { return mapRow(db, ptr).first[0]; }
// Pages inside the file that the usage map at ptr lists (inline bitmap or map pages).
inline std::set<uint32_t> mapPages(const jet::Database& db, uint32_t ptr) {
    auto [m, len] = mapRow(db, ptr);
    std::set<uint32_t> out;
    const uint32_t count = db.pager().pageCount();
    auto bits = [&](const uint8_t* from, size_t n, uint64_t first) {
        for (size_t i = 0; i < n; ++i)
            for (int b = 0; b < 8; ++b)
                if ((from[i] >> b & 1) && first + i * 8 + b < count) out.insert(static_cast<uint32_t>(first + i * 8 + b));
    };
    if (m[0] == 0) bits(m + 5, len - 5, jet::bytes::u32(m + 1));
    else
        for (size_t k = 0, per = (db.pager().pageSize() - 4) * 8; 1 + 4 * k + 4 <= len; ++k)
            if (uint32_t mp = jet::bytes::u32(m + 1 + 4 * k); mp != 0 && !(mp & 0x80000000u) && mp < count)
                bits(db.pager().page(mp) + 4, db.pager().pageSize() - 4, k * per);
    return out;
}

// Pages inside the file that the global usage map lists as free.
inline std::set<uint32_t> freePages(const jet::Database& db) { return mapPages(db, 1u << 8); }
inline uint32_t usedPagesRef(const jet::Database& db, uint32_t tdef) {
    return jet::bytes::u32(db.pager().page(tdef) + db.format().tdefUsedPages);
}

// Turns page n into a data page of the table at tdefPage holding one deleted, empty row (mdb-export reads a
// phantom row from a data page whose row count is zero, so the pages these tests add are never empty).
inline void formatEmptyDataPage(jet::Database& db, uint32_t n, uint32_t tdefPage) {
    const jet::Format& f = db.format();
    uint8_t* p = jet::detail::writablePager(db).mutablePage(n);
    std::memset(p, 0, f.pageSize);
    auto put = [&](uint32_t at, uint32_t v, int n) { for (int i = 0; i < n; ++i) p[at + i] = static_cast<uint8_t>(v >> 8 * i); };
    p[0] = p[1] = 0x01;
    put(f.dataFreeSpace, f.pageSize - f.dataRowTable - 2, 2);
    put(f.dataTdefPage, tdefPage, 4);
    put(f.dataRowCount, 1, 2);
    put(f.dataRowTable, 0xC000 | f.pageSize, 2);  // Access marks deleted rows with both flag bits
}

// Leaves a journal as a crash mid-write would: the first changed page written, the second not, a page appended.
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
    try { db->commitTransaction(); } catch (const std::runtime_error&) { return; }
    throw std::logic_error("the commit did not crash");
}

// ------------------------------------------------------------ index trees
// A table's index B-trees read page by page, apart from the engine's index code, listing what breaks the layout
// Jet keeps: a parent entry that is not its child's last entry, an empty page, a wrong tail, a broken sibling
// link, entries out of order, a distinct-key count that differs from the leaves.
struct IndexEntry { std::vector<uint8_t> key; uint32_t row = 0; auto operator<=>(const IndexEntry&) const = default; };
struct IndexPage {
    uint32_t no = 0, prev = 0, next = 0, tail = 0;
    bool leaf = true;
    std::vector<IndexEntry> entries;
    std::vector<uint32_t> children;
};
inline uint32_t be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
inline IndexPage readIndexPage(const jet::Database& db, uint32_t no) {
    const jet::Format& f = db.format();
    const bool j4 = f.jet4();
    const uint8_t* p = db.pager().page(no);
    IndexPage pg{no, jet::bytes::u32(p + (j4 ? 12 : 8)), jet::bytes::u32(p + (j4 ? 16 : 12)), 0, p[0] == 0x04, {}, {}};
    if (!pg.leaf) pg.tail = jet::bytes::u32(p + (j4 ? 20 : 16));
    const size_t prefix = j4 ? jet::bytes::u16(p + 24) : p[20], trailer = pg.leaf ? 4 : 8;
    std::vector<uint8_t> first;
    size_t start = 0;
    for (size_t bit = 0; bit < (f.idxEntryStart - f.idxBitmaskStart) * 8u; ++bit) {
        if (!(p[f.idxBitmaskStart + bit / 8] >> (bit % 8) & 1)) continue;
        std::vector<uint8_t> e;
        if (!pg.entries.empty()) e.assign(first.begin(), first.begin() + std::min(prefix, first.size()));
        e.insert(e.end(), p + f.idxEntryStart + start, p + f.idxEntryStart + bit);
        if (pg.entries.empty()) first = e;
        start = bit;
        if (e.size() < trailer) return pg;
        const size_t k = e.size() - trailer;
        pg.entries.push_back(IndexEntry{{e.begin(), e.begin() + static_cast<std::ptrdiff_t>(k)}, be32(e.data() + k)});
        if (!pg.leaf) pg.children.push_back(be32(e.data() + k + 4));
    }
    return pg;
}

// Every problem of every index of the table, one per line ("" when sound).
inline std::string treeProblems(const jet::Database& db, const std::string& table) {
    auto t = db.table(table);
    const jet::Format& f = db.format();
    std::set<int> done;
    std::string out;
    for (const jet::Index& ix : t->indexes()) {
        if (!done.insert(ix.realIndex).second) continue;
        int found = 0;
        auto problem = [&](const std::string& s) { if (found++ < 8) out += table + "." + ix.name + ": " + s + "\n"; };
        auto checkChain = [&](const std::vector<IndexPage>& ps, const std::string& what) {
            for (size_t i = 0; i < ps.size(); ++i) {
                const uint32_t prev = i ? ps[i - 1].no : 0, next = i + 1 < ps.size() ? ps[i + 1].no : 0;
                if (ps[i].prev != prev || ps[i].next != next)
                    problem(what + ": page " + std::to_string(ps[i].no) + " links to " + std::to_string(ps[i].prev) + "/" +
                            std::to_string(ps[i].next) + ", expected " + std::to_string(prev) + "/" + std::to_string(next));
            }
        };
        std::vector<IndexPage> leaves;
        std::set<uint32_t> seen;
        // The greatest entry under a page, checking the subtree on the way.
        std::function<IndexEntry(uint32_t, int)> walk = [&](uint32_t no, int depth) -> IndexEntry {
            const std::string at = "page " + std::to_string(no);
            if (depth > 12 || no == 0 || no >= db.pager().pageCount() || !seen.insert(no).second) {
                problem(at + " is outside the file, revisited or too deep");
                return {};
            }
            if (const uint8_t type = db.pager().page(no)[0]; type != 0x03 && type != 0x04) problem(at + " is not an index page");
            const IndexPage pg = readIndexPage(db, no);
            for (size_t i = 1; i < pg.entries.size(); ++i)
                if (!(pg.entries[i - 1] < pg.entries[i])) problem(at + ": entries out of order");
            if (pg.leaf) {
                if (pg.entries.empty() && depth > 0) problem("leaf " + at + " is empty");
                leaves.push_back(pg);
                return pg.entries.empty() ? IndexEntry{} : pg.entries.back();
            }
            std::vector<uint32_t> kids = pg.children;
            if (pg.tail) kids.push_back(pg.tail);
            if (kids.empty()) problem("intermediate " + at + " has no child");
            if (pg.tail == 0 && pg.entries.size() >= 2) problem(at + " has no tail");
            if (pg.tail != 0 && pg.entries.empty()) problem(at + " has a lone tail");
            IndexEntry last;
            std::vector<IndexPage> nodes;
            for (size_t i = 0; i < kids.size(); ++i) {
                last = walk(kids[i], depth + 1);
                if (i < pg.entries.size() && last != pg.entries[i])
                    problem(at + " entry " + std::to_string(i) + " is not the last entry of page " + std::to_string(kids[i]));
                if (db.pager().page(kids[i])[0] == 0x03) nodes.push_back(readIndexPage(db, kids[i]));
            }
            checkChain(nodes, "intermediate pages under " + std::to_string(no));
            return last;
        };
        walk(ix.firstPage, 0);
        checkChain(leaves, "leaves");
        std::set<std::vector<uint8_t>> keys;
        for (const IndexPage& pg : leaves)
            for (const IndexEntry& e : pg.entries) keys.insert(e.key);
        const uint8_t* tdef = db.pager().page(t->tdefPage());
        const uint32_t counted = jet::bytes::u32(tdef + f.tdefIndexStart + ix.realIndex * f.tdefRealIdxEntrySize + 4);
        if (counted != keys.size())
            problem("distinct-key count " + std::to_string(counted) + ", leaves hold " + std::to_string(keys.size()));
    }
    return out;
}

// Each index against the table's rows: entries in order, exactly one per row (but for rows an IgnoreNulls index
// leaves out) holding the row's encoded key, and a seek for every seekEvery-th distinct key finds exactly its rows.
inline std::vector<std::string> indexProblems(const jet::Table& t, size_t seekEvery = 1) {
    std::vector<std::string> out;
    const auto rows = rowsOf(t);
    for (const jet::Index& ix : t.indexes()) {
        const std::string name = "index '" + ix.name + "': ";
        try {
            const auto entries = t.indexEntries(ix);
            std::map<jet::RowId, std::vector<uint8_t>> stored;
            for (size_t i = 0; i < entries.size(); ++i) {
                if (i && !(std::tie(entries[i - 1].key, entries[i - 1].row) < std::tie(entries[i].key, entries[i].row)))
                    out.push_back(name + "entries out of order at " + std::to_string(i));
                stored[entries[i].row] = entries[i].key;
            }
            std::map<std::vector<uint8_t>, std::pair<std::vector<jet::Value>, std::vector<jet::RowId>>> byKey;
            size_t expected = 0;
            for (const auto& [id, row] : rows) {
                std::vector<jet::Value> values;
                for (const auto& c : ix.columns) values.push_back(row[c.column]);
                // Jet leaves rows whose key columns are all null out of an IgnoreNulls index.
                if (ix.ignoreNulls && std::all_of(values.begin(), values.end(), [](auto& v) { return v.isNull(); })) continue;
                ++expected;
                const auto key = t.encodeKey(ix, row);
                auto it = stored.find(id);
                if (it == stored.end() || it->second != key)
                    out.push_back(name + "row " + std::to_string(id.page) + ":" + std::to_string(id.row) +
                                  (it == stored.end() ? " has no entry" : " is stored under another key"));
                byKey[key].first = values;
                byKey[key].second.push_back(id);
            }
            if (entries.size() != expected)
                out.push_back(name + std::to_string(entries.size()) + " entries for " + std::to_string(expected) + " rows");
            size_t n = 0;
            for (auto& [key, group] : byKey) {
                if (n++ % seekEvery) continue;
                auto hits = t.seek(ix, group.first);
                std::sort(hits.begin(), hits.end());
                std::sort(group.second.begin(), group.second.end());
                if (hits != group.second)
                    out.push_back(name + "a seek finds " + std::to_string(hits.size()) + " rows, " +
                                  std::to_string(group.second.size()) + " hold the key");
            }
        } catch (const jet::Error& e) {
            out.push_back(name + e.what());
        }
    }
    return out;
}

// ------------------------------------------------------------ query trees as text: "(+ 1 (* 2 3))"

inline std::string numberText(double d) {
    char buf[40];
    for (int p = 1; p <= 17; ++p) {
        std::snprintf(buf, sizeof buf, "%.*g", p, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    return buf;
}

inline std::string dumpExpr(const jet::ExprPtr& p, bool parens = true) {
    using K = jet::Expr::Kind;
    if (!p) return "<none>";
    const jet::Expr& e = *p;
    auto args = [&](size_t from) {
        std::string s;
        for (size_t i = from; i < e.args.size(); ++i) s += " " + dumpExpr(e.args[i], parens);
        return s;
    };
    switch (e.kind) {
    case K::Literal: {
        const jet::Value& v = e.value;
        switch (v.kind()) {
        case jet::Value::Kind::Null: return "null";
        case jet::Value::Kind::Bool: return v.asBool() ? "true" : "false";
        case jet::Value::Kind::Int32: return std::to_string(v.asInt32());
        case jet::Value::Kind::Double: {
            double d = v.asDouble();
            std::string s = d == static_cast<double>(static_cast<long long>(d)) && d < 1e15 && d > -1e15
                                ? std::to_string(static_cast<long long>(d))
                                : numberText(d);
            if (s.find_first_of(".e") == std::string::npos) s += ".0";
            return s + "d";
        }
        case jet::Value::Kind::Date: return "#" + numberText(v.asDate().days);
        case jet::Value::Kind::Text: return "\"" + v.asText() + "\"";
        default: return "<" + jet::toDebugString(v) + ">";
        }
    }
    case K::Field: return (e.table.empty() ? "" : "[" + e.table + "].") + "[" + e.name + "]";
    case K::Star: return e.table.empty() ? "*" : "[" + e.table + "].*";
    case K::Paren: return parens ? "(paren" + args(0) + ")" : dumpExpr(e.args.at(0), parens);
    case K::Call: return "(call " + e.name + args(0) + ")";
    case K::Unary:
        if (e.negated && e.name == "Not")
            return "(NotLike " + dumpExpr(e.args.at(0)->args.at(0), parens) + " " +
                   dumpExpr(e.args.at(0)->args.at(1), parens) + ")";
        return std::string("(") + (e.name == "Not" ? "Not" : "u" + e.name) + args(0) + ")";
    case K::Binary: return "(" + e.name + args(0) + ")";
    case K::Between: return std::string(e.negated ? "(NotBetween" : "(Between") + args(0) + ")";
    case K::In: return std::string(e.negated ? "(NotIn" : "(In") + args(0) + ")";
    case K::IsNull: return std::string(e.negated ? "(IsNotNull" : "(IsNull") + args(0) + ")";
    }
    return "?";
}

inline std::string dumpFrom(const jet::FromPtr& f) {
    if (!f) return "<none>";
    if (f->kind == jet::FromItem::Kind::Source) return "[" + f->name + "]" + (f->alias.empty() ? "" : " as [" + f->alias + "]");
    const char* t = f->joinType == jet::FromItem::JoinType::Inner ? "inner" : f->joinType == jet::FromItem::JoinType::Left ? "left" : "right";
    return std::string("(") + t + " " + dumpFrom(f->left) + " " + dumpFrom(f->right) + " on " + dumpExpr(f->on) + ")";
}

// Every member of the model, so two trees compare as text.
inline std::string dump(const jet::QueryModel& q) {
    std::string s = "type=" + std::to_string(static_cast<int>(q.type));
    for (const auto& p : q.params) s += " param[" + p.name + " " + p.type + " " + std::to_string(p.size) + "]";
    if (q.distinct) s += " distinct";
    if (q.distinctRow) s += " distinctrow";
    if (!q.top.empty()) s += " top[" + q.top + "]";
    if (q.ownerAccess) s += " owneraccess";
    for (const auto& c : q.columns) s += " col[" + dumpExpr(c.expr) + (c.alias.empty() ? "" : " as " + c.alias) + "]";
    for (const auto& f : q.from) s += " from[" + dumpFrom(f) + "]";
    if (!q.fromDbPath.empty() || !q.fromDbConnect.empty()) s += " fromdb[" + q.fromDbPath + "|" + q.fromDbConnect + "]";
    if (q.where) s += " where[" + dumpExpr(q.where) + "]";
    for (const auto& g : q.groupBy) s += " group[" + dumpExpr(g) + "]";
    if (q.having) s += " having[" + dumpExpr(q.having) + "]";
    for (const auto& o : q.orderBy) s += " order[" + dumpExpr(o.expr) + (o.descending ? " desc" : "") + "]";
    if (!q.target.empty()) s += " target[" + q.target + "]";
    if (!q.targetDbPath.empty() || !q.targetDbConnect.empty()) s += " targetdb[" + q.targetDbPath + "|" + q.targetDbConnect + "]";
    for (const auto& t : q.targetColumns) s += " tcol[" + dumpExpr(t) + "]";
    for (const auto& v : q.values) s += " value[" + dumpExpr(v) + "]";
    if (q.transform.expr) s += " transform[" + dumpExpr(q.transform.expr) + " as " + q.transform.alias + "]";
    if (q.pivot) s += " pivot[" + dumpExpr(q.pivot) + "]";
    for (const auto& v : q.pivotIn) s += " pivotin[" + dumpExpr(v) + "]";
    if (!q.rawSql.empty()) s += " raw[" + q.rawSql + "]";
    if (!q.connect.empty()) s += " connect[" + q.connect + "]";
    if (q.type == jet::QueryModel::Type::Union) s += q.unionAll ? " union-all" : " union";
    for (const auto& u : q.unionParts) s += " part{" + (u ? dump(*u) : std::string("<none>")) + "}";
    return s;
}
}  // namespace testutil
