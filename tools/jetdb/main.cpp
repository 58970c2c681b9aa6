// jetdb: inspects and exports Jet 3 / Jet 4 databases from the command line.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "jetdb_format.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/platform.h"
#include "jet/query.h"
#include "jet/table.h"

#if __has_include("jet/check.h")
#include "jet/check.h"
#define JETDB_HAVE_CHECK 1
#endif

namespace {

const char kUsage[] =
    "usage: jetdb COMMAND FILE [ARGS]\n"
    "commands:\n"
    "  info FILE                          format, page size, page count, code page, sort order\n"
    "  tables FILE [--system]             table names (system tables only with --system)\n"
    "  queries FILE                       saved query names\n"
    "  schema FILE TABLE                  columns and indexes of a table\n"
    "  showquery FILE QUERY               the saved query's SQL\n"
    "  export FILE TABLE-OR-QUERY [NAME=VALUE ...]   rows as CSV\n"
    "  sql FILE \"SELECT ...\" [NAME=VALUE ...]        an ad-hoc query's rows as CSV\n"
    "  check FILE                         integrity check (\"ok\" or one problem a line)\n"
    "  exec FILE \"INSERT|UPDATE|DELETE ...\" [NAME=VALUE ...]  change rows; prints the count\n"
    "  createquery FILE NAME \"SQL\"        save a query\n"
    "  dropquery FILE NAME                delete a saved query\n"
    "  backup FILE DEST                   a consistent copy of the file, written to DEST\n"
    "CSV: a header of column names; Text and Memo quoted; Null empty; Yes/No as 1/0;\n"
    "dates as YYYY-MM-DD HH:MM:SS; Binary and OLE as hex. Parameter values read as a\n"
    "number, a date (YYYY-MM-DD [HH:MM:SS]) or else text.\n";

// A failure worth one line on stderr and exit code 2.
struct Failure {
    std::string message;
    bool usage = false;  // about the command line rather than the file
};

[[noreturn]] void usageError(const std::string& what) { throw Failure{what + " (jetdb --help for usage)", true}; }

// Output buffered in large blocks: row-by-row stdio calls dominate an export otherwise.
class Out {
public:
    static constexpr size_t kBlock = 1u << 20;
    Out() { buf_.reserve(kBlock + (1u << 16)); }
    ~Out() { flush(); }
    std::string& buf() { return buf_; }
    void line(const std::string& s) {
        buf_ += s;
        buf_ += '\n';
        maybeFlush();
    }
    void endLine() {
        buf_ += '\n';
        maybeFlush();
    }
    // After a whole line was appended to buf().
    void lineDone() { maybeFlush(); }
    void flush() {
        if (!buf_.empty()) std::fwrite(buf_.data(), 1, buf_.size(), stdout);
        buf_.clear();
    }

private:
    void maybeFlush() {
        if (buf_.size() >= kBlock) flush();
    }
    std::string buf_;
};

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

jet::Params parseParams(const std::vector<std::string>& args, size_t from) {
    jet::Params params;
    for (size_t i = from; i < args.size(); ++i) {
        const auto eq = args[i].find('=');
        if (eq == std::string::npos || eq == 0) usageError("parameter '" + args[i] + "' is not NAME=VALUE");
        std::string name = args[i].substr(0, eq);
        if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
        params[name] = jetdb::parseParamValue(args[i].substr(eq + 1));
    }
    return params;
}

void writeCsv(Out& out, const jet::ResultSet& rs) {
    std::string& b = out.buf();
    for (size_t i = 0; i < rs.columns.size(); ++i) {
        if (i) b += ',';
        jetdb::appendCsvName(b, rs.columns[i].name);
    }
    out.endLine();
    for (const jet::Row& row : rs.rows) {
        jetdb::appendCsvRow(b, row);
        out.lineDone();
    }
}

// Tables are streamed from a cursor so a large one is never held in memory.
void exportTable(Out& out, const jet::Table& t) {
    std::string& b = out.buf();
    const auto& cols = t.columns();
    for (size_t i = 0; i < cols.size(); ++i) {
        if (i) b += ',';
        jetdb::appendCsvName(b, cols[i].name);
    }
    out.endLine();
    for (auto cur = t.scan(); cur.next();) {
        jetdb::appendCsvRow(b, cur.row());
        out.lineDone();
    }
}

std::string typeName(const jet::Column& c) {
    using T = jet::ColType;
    switch (c.type) {
    case T::Bool: return "Yes/No";
    case T::Byte: return "Byte";
    case T::Int: return "Integer";
    case T::Long: return "Long Integer";
    case T::Money: return "Currency";
    case T::Float: return "Single";
    case T::Double: return "Double";
    case T::DateTime: return "Date/Time";
    case T::Binary: return "Binary";
    case T::Text: return "Text";
    case T::OLE: return "OLE Object";
    case T::Memo: return "Memo";
    case T::Guid: return "Replication ID";
    case T::Numeric:
        return "Decimal(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "type 0x%02X", static_cast<unsigned>(c.type));
    return buf;
}

void printSchema(Out& out, const jet::Database& db, const jet::Table& t) {
    const bool jet4 = db.format().jet4();
    out.line("Table: " + t.name());
    out.line("Columns:");
    for (const auto& c : t.columns()) {
        std::string s = "  [" + c.name + "] " + typeName(c);
        if (c.type != jet::ColType::Memo && c.type != jet::ColType::OLE) {
            // Jet 4 stores text as UCS-2, so its declared size counts bytes, not characters.
            const unsigned size = c.type == jet::ColType::Text && jet4 ? c.length / 2u : c.length;
            s += ", size " + std::to_string(size);
        }
        s += c.nullable ? ", nullable" : ", not null";
        if (c.autonumber) s += ", autonumber";
        if (c.replication) s += ", autonumber (GUID)";
        out.line(s);
    }
    out.line("Indexes:");
    for (const auto& ix : t.indexes()) {
        std::string s = "  [" + ix.name + "] (";
        for (size_t i = 0; i < ix.columns.size(); ++i) {
            if (i) s += ", ";
            const int col = ix.columns[i].column;
            if (col >= 0 && static_cast<size_t>(col) < t.columns().size()) {
                s += '[';
                s += t.columns()[static_cast<size_t>(col)].name;
                s += ']';
            } else {
                s += '#';
                s += std::to_string(col);
            }
            s += ix.columns[i].ascending ? " ASC" : " DESC";
        }
        s += ")";
        if (ix.unique) s += ", unique";
        if (ix.primaryKey) s += ", primary key";
        if (ix.foreignKey) s += ", foreign key";
        if (ix.ignoreNulls) s += ", ignore nulls";
        if (ix.required) s += ", required";
        out.line(s);
    }
}

void need(const std::vector<std::string>& a, size_t min, size_t max, const char* form) {
    if (a.size() < min || a.size() > max) usageError(std::string("usage: jetdb ") + form);
}

int run(const std::vector<std::string>& a, std::string& file) {
    if (a.empty()) usageError("no command given");
    const std::string& cmd = a[0];
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    static const char* const kCommands[] = {"info", "tables", "queries", "schema", "showquery", "export", "sql",
                                            "check", "exec", "createquery", "dropquery", "backup"};
    bool known = false;
    for (const char* c : kCommands) known = known || cmd == c;
    if (!known) usageError("unknown command '" + cmd + "'");
    if (a.size() < 2) usageError("usage: jetdb " + cmd + " FILE ...");
    file = a[1];

    Out out;
    if (cmd == "info") {
        need(a, 2, 2, "info FILE");
        auto db = jet::Database::open(file);
        const auto& h = db->header();
        out.line(std::string("format: ") + (h.version == jet::Version::Jet3 ? "JET3" : "JET4"));
        out.line("page size: " + std::to_string(h.pageSize));
        out.line("page count: " + std::to_string(h.pageCount));
        out.line("code page: " + std::to_string(h.codePage));
        out.line("sort order: " + std::to_string(h.sortOrder));
    } else if (cmd == "tables") {
        bool system = false;
        if (a.size() == 3 && a[2] == "--system")
            system = true;
        else
            need(a, 2, 2, "tables FILE [--system]");
        auto db = jet::Database::open(file);
        for (const auto& n : db->tableNames(system)) out.line(n);
    } else if (cmd == "queries") {
        need(a, 2, 2, "queries FILE");
        auto db = jet::Database::open(file);
        for (const auto& n : db->queryNames()) out.line(n);
    } else if (cmd == "schema") {
        need(a, 3, 3, "schema FILE TABLE");
        auto db = jet::Database::open(file);
        printSchema(out, *db, *db->table(a[2]));
    } else if (cmd == "showquery") {
        need(a, 3, 3, "showquery FILE QUERY");
        auto db = jet::Database::open(file);
        out.line(jet::renderSql(*db->query(a[2])));
    } else if (cmd == "export") {
        need(a, 3, static_cast<size_t>(-1), "export FILE TABLE-OR-QUERY [NAME=VALUE ...]");
        const jet::Params params = parseParams(a, 3);
        auto db = jet::Database::open(file);
        if (db->hasTable(a[2])) {
            if (!params.empty()) throw Failure{"'" + a[2] + "' is a table; parameters apply only to queries"};
            exportTable(out, *db->table(a[2]));
        } else {
            writeCsv(out, jet::runNamed(*db, a[2], params));
        }
    } else if (cmd == "sql") {
        need(a, 3, static_cast<size_t>(-1), "sql FILE \"SELECT ...\" [NAME=VALUE ...]");
        const jet::Params params = parseParams(a, 3);
        auto db = jet::Database::open(file);
        writeCsv(out, jet::runQuery(*db, *jet::parseSql(a[2]), params));
    } else if (cmd == "exec") {
        need(a, 3, static_cast<size_t>(-1), "exec FILE \"INSERT|UPDATE|DELETE ...\" [NAME=VALUE ...]");
        const jet::Params params = parseParams(a, 3);
        auto db = jet::Database::open(file, jet::OpenMode::Exclusive);
        const jet::ExecResult r = jet::execSql(*db, a[2], params);
        out.line("rows affected: " + std::to_string(r.rowsAffected));
        if (r.newAutonumber) out.line("new autonumber: " + std::to_string(*r.newAutonumber));
    } else if (cmd == "createquery") {
        need(a, 4, 4, "createquery FILE NAME \"SQL\"");
        auto db = jet::Database::open(file, jet::OpenMode::Exclusive);
        db->createQuery(a[2], a[3]);
    } else if (cmd == "dropquery") {
        need(a, 3, 3, "dropquery FILE NAME");
        auto db = jet::Database::open(file, jet::OpenMode::Exclusive);
        db->dropQuery(a[2]);
    } else if (cmd == "backup") {
        need(a, 3, 3, "backup FILE DEST");
        // A shared open keeps writers out while the copy is read; an interrupted
        // write's journal is applied to what is read, not to the file.
        jet::Database::open(file)->copyTo(a[2]);
    } else if (cmd == "check") {
        need(a, 2, 2, "check FILE");
#ifdef JETDB_HAVE_CHECK
        auto db = jet::Database::open(file);
        const jet::CheckReport report = jet::checkDatabase(*db);
        for (const auto& n : report.notes) std::fprintf(stderr, "note: %s\n", oneLine(n).c_str());
        if (report.problems.empty()) {
            out.line("ok");
            return 0;
        }
        for (const auto& p : report.problems) out.line(oneLine(p));
        return 1;
#else
        throw Failure{"the integrity check is not available in this build"};
#endif
    }
    out.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) throw Failure{"cannot write the output"};
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = jet::platform::commandLineArgs(argc, argv);
    std::string file;
    std::string message;
    try {
        return run(args, file);
    } catch (const Failure& f) {
        message = f.message;
        if (f.usage) file.clear();
    } catch (const jet::Error& e) {
        message = e.what();
    } catch (const std::bad_alloc&) {
        message = "out of memory";
    } catch (const std::exception& e) {
        message = std::string("internal error: ") + e.what();
    }
    std::fflush(stdout);
    // The engine's messages often name the file already.
    const bool named = !file.empty() && message.find(file) != std::string::npos;
    std::fprintf(stderr, "jetdb: %s%s\n", file.empty() || named ? "" : (file + ": ").c_str(), oneLine(message).c_str());
    return 2;
}
