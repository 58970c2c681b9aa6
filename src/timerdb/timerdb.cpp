#include "timerdb/timerdb.h"

#include <algorithm>
#include <charconv>

#include "jet/query_model.h"

namespace timerdb {

const std::string kSqlByDateRange =
    std::string("PARAMETERS PStartDate DateTime, PEndDate DateTime;") +
    " SELECT DISTINCTROW [All Activities].UserDate, [All Activities].[Customer/Job], [All Activities].[Service Item], "
    "[All Activities].[Service ID], DateAdd(\"s\",30,Duration) AS RoundedDuration, [All Activities].[Billable Status], "
    "[All Activities].[Export Status], [All Activities].Exported, [All Activities].Class, [All Activities].[Class ID], "
    "[All Activities].ActivityID, [All Activities].[CustJob ID], [All Activities].Name, [All Activities].[Name ID], "
    "[All Activities].[Payroll Item], [All Activities].Note, [All Activities].[Billable Y/N], [All Activities].Duration, "
    "[All Activities].CreateTime" +
    " From [All Activities]" +
    " WHERE ((([All Activities].UserDate) Between [PStartDate] And [PEndDate]) AND (([All Activities].[Name ID])=[PNameID]))" +
    " ORDER BY [All Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].Class, [All Activities].UserDate;";

const std::string kSqlRecent =
    std::string("SELECT DISTINCT [All Activities].[Customer/Job], [All Activities].[CustJob ID], "
                "[All Activities].[Service Item], [All Activities].[Service ID], [All Activities].Class, "
                "[All Activities].[Class ID] ") +
    "From [All Activities] " +
    "WHERE ((([All Activities].CreateTime)>Date()-[PNumDays]+1) AND (([All Activities].[Name ID])=[PNameID])) " +
    "ORDER BY [All Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].Class;";

std::string describe(const std::exception& e) { return e.what(); }

std::shared_ptr<Database> Database::OpenDatabase(const std::string& path) {
    auto d = std::shared_ptr<Database>(new Database());
    d->db_ = jet::Database::open(path, jet::OpenMode::Exclusive);
    return d;
}

QueryDef Database::QueryDefs(const std::string& name) {
    if (!db_->hasQuery(name)) throw jet::Error("Item not found in this collection: " + name, jet::Error::Code::NotFound);
    return QueryDef(*this, name);
}

std::unique_ptr<Recordset> Database::OpenTable(const std::string& table) {
    return std::make_unique<Recordset>(*this, Recordset::Type::Table, table);
}

std::unique_ptr<Recordset> Database::OpenDynaset(const std::string& table) {
    return std::make_unique<Recordset>(*this, Recordset::Type::Dynaset, table);
}

std::unique_ptr<Recordset> Database::OpenKeyedDynaset(const std::string& table) {
    return std::make_unique<Recordset>(*this, Recordset::Type::Dynaset, table, false);
}

std::unique_ptr<Recordset> QueryDef::OpenRecordset() {
    auto rs = std::make_unique<Recordset>(*db_, Recordset::Type::Query, name_);
    rs->loadResult(jet::runNamed(db_->engine(), name_, params_, db_->evalOptions()));
    return rs;
}

namespace {
bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}
std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}
}  // namespace

Recordset::Recordset(Database& db, Type type, std::string source, bool readRows)
    : db_(db), type_(type), source_(std::move(source)) {
    if (type_ == Type::Query) {
        // Parameters are looked up on the QueryDef that opened us; see QueryDef::OpenRecordset.
        return;
    }
    const jet::Table& t = table();
    for (const auto& c : t.columns()) columns_.push_back(c.name);
    rowsRead_ = false;
    if (readRows) readAllRows();
}

void Recordset::readAllRows() {
    if (rowsRead_) return;
    rows_.clear();
    ids_.clear();
    auto cur = table().scan();
    while (cur.next()) {
        rows_.push_back(cur.row());
        ids_.push_back(cur.rowId());
    }
    pos_ = 0;
    rowsRead_ = true;
}

const jet::Table& Recordset::table() const {
    if (type_ == Type::Query) throw jet::Error("Operation is not supported for this type of object.", jet::Error::Code::Unsupported);
    return *db_.engine().table(source_);
}

void Recordset::MoveFirst() {
    if (rows_.empty()) throw jet::Error("No current record.", jet::Error::Code::NotFound);
    pos_ = 0;
}

void Recordset::MoveNext() {
    if (Eof()) throw jet::Error("No current record.", jet::Error::Code::NotFound);
    ++pos_;
}

int Recordset::column(const std::string& name) const {
    for (size_t i = 0; i < columns_.size(); ++i)
        if (equalsNoCase(columns_[i], name)) return static_cast<int>(i);
    throw jet::Error("Item not found in this collection: " + name, jet::Error::Code::NotFound);
}

Value Recordset::Field(const std::string& name) const {
    int c = column(name);
    if (mode_ != EditMode::None) {
        auto it = changes_.find(c);
        if (it != changes_.end()) return it->second;
        if (mode_ == EditMode::AddNew) return Value();
    }
    if (Bof() || Eof()) throw jet::Error("No current record.", jet::Error::Code::NotFound);
    return rows_[static_cast<size_t>(pos_)][static_cast<size_t>(c)];
}

void Recordset::requireWritable() const {
    if (type_ == Type::Query) throw jet::Error("Database or object is read-only.", jet::Error::Code::ReadOnly);
}

void Recordset::SetField(const std::string& name, Value v) {
    if (mode_ == EditMode::None) throw jet::Error("Update or CancelUpdate without AddNew or Edit.", jet::Error::Code::Generic);
    changes_[column(name)] = std::move(v);
}

void Recordset::SetIndex(const std::string& indexName) {
    if (type_ != Type::Table) throw jet::Error("Operation is not supported for this type of object.", jet::Error::Code::Unsupported);
    const jet::Index* ix = table().findIndex(indexName);
    if (!ix) throw jet::Error("'" + indexName + "' isn't an index in this table.", jet::Error::Code::NotFound);
    index_ = ix;
}

long Recordset::find(jet::RowId id) const {
    for (size_t i = 0; i < ids_.size(); ++i)
        if (ids_[i] == id) return static_cast<long>(i);
    return -1;
}

void Recordset::Seek(const std::string& op, const std::vector<Value>& key) {
    if (!index_) throw jet::Error("Operation is not supported without a current index.", jet::Error::Code::Unsupported);
    if (op != "=") throw jet::Error("Only exact seeks are supported.", jet::Error::Code::Unsupported);
    auto hits = table().seek(*index_, key);
    noMatch_ = true;
    for (const auto& id : hits) {
        long i = find(id);
        if (i >= 0) {
            pos_ = i;
            noMatch_ = false;
            return;
        }
    }
}

void Recordset::FindFirst(const std::string& criteria) {
    if (type_ != Type::Dynaset) throw jet::Error("Operation is not supported for this type of object.", jet::Error::Code::Unsupported);
    auto eq = criteria.find('=');
    if (eq == std::string::npos) throw jet::Error("Unsupported criteria: " + criteria, jet::Error::Code::Query);
    std::string field = trim(criteria.substr(0, eq)), num = trim(criteria.substr(eq + 1));
    if (field.size() > 2 && field.front() == '[' && field.back() == ']') field = field.substr(1, field.size() - 2);
    int32_t n = 0;
    auto [p, ec] = std::from_chars(num.data(), num.data() + num.size(), n);
    if (ec != std::errc() || p != num.data() + num.size())
        throw jet::Error("Unsupported criteria: " + criteria, jet::Error::Code::Query);
    int c = column(field);
    noMatch_ = true;
    const jet::Table& t = table();
    const jet::Index* pk = t.primaryKey();
    if (pk && pk->columns.size() == 1 && pk->columns[0].column == c) {
        for (const auto& id : t.seek(*pk, {Value::int32(n)})) {
            long i = find(id);
            if (i < 0 && !rowsRead_) {
                if (auto r = t.readRow(id)) {
                    rows_.push_back(*r);
                    ids_.push_back(id);
                    i = static_cast<long>(rows_.size()) - 1;
                }
            }
            if (i >= 0) {
                pos_ = i;
                noMatch_ = false;
                return;
            }
        }
        return;
    }
    readAllRows();
    for (size_t i = 0; i < rows_.size(); ++i) {
        const Value& v = rows_[i][static_cast<size_t>(c)];
        if (!v.isNull() && v.isNumeric() && v.toDouble() == n) {
            pos_ = static_cast<long>(i);
            noMatch_ = false;
            return;
        }
    }
}

void Recordset::Edit() {
    requireWritable();
    if (Bof() || Eof()) throw jet::Error("No current record.", jet::Error::Code::NotFound);
    mode_ = EditMode::Edit;
    changes_.clear();
}

void Recordset::AddNew() {
    requireWritable();
    mode_ = EditMode::AddNew;
    changes_.clear();
}

void Recordset::Update() {
    if (mode_ == EditMode::None) throw jet::Error("Update or CancelUpdate without AddNew or Edit.", jet::Error::Code::Generic);
    jet::FieldValues fv;
    for (auto& [c, v] : changes_) fv.push_back({c, v});
    db_.aboutToWrite();
    if (mode_ == EditMode::AddNew) {
        jet::Row stored;
        jet::RowId id = db_.engine().insertRow(source_, fv, &stored);
        rows_.push_back(stored);
        ids_.push_back(id);
        lastModified_ = id;
        // A new record does not become current, as in the data access objects.
    } else {
        jet::RowId id = ids_[static_cast<size_t>(pos_)];
        db_.engine().updateRow(source_, id, fv);
        if (auto r = table().readRow(id)) rows_[static_cast<size_t>(pos_)] = *r;
        lastModified_ = id;
    }
    mode_ = EditMode::None;
    changes_.clear();
}

void Recordset::Delete() {
    requireWritable();
    if (Bof() || Eof()) throw jet::Error("No current record.", jet::Error::Code::NotFound);
    db_.aboutToWrite();
    db_.engine().deleteRow(source_, ids_[static_cast<size_t>(pos_)]);
    rows_.erase(rows_.begin() + pos_);
    ids_.erase(ids_.begin() + pos_);
}

void Recordset::loadResult(jet::ResultSet r) {
    columns_.clear();
    for (const auto& c : r.columns) columns_.push_back(c.name);
    rows_ = std::move(r.rows);
    ids_.assign(rows_.size(), jet::RowId{});
    pos_ = 0;
}

jet::RowId Recordset::Bookmark() const {
    if (type_ == Type::Query || Bof() || Eof()) throw jet::Error("No current record.", jet::Error::Code::NotFound);
    return ids_[static_cast<size_t>(pos_)];
}

void Recordset::SetBookmark(jet::RowId id) {
    long i = find(id);
    if (i < 0) {
        if (auto r = table().readRow(id)) {
            rows_.push_back(*r);
            ids_.push_back(id);
            i = static_cast<long>(rows_.size()) - 1;
        } else {
            throw jet::Error("Not a valid bookmark.", jet::Error::Code::NotFound);
        }
    }
    pos_ = i;
}

std::string firstMissingObject(const Database& db) {
    for (const char* t : {names::kActivities, names::kPrefsStartup, names::kNames, names::kClasses})
        if (!db.hasTable(t)) return std::string("table \"") + t + "\"";
    for (const char* q : {names::kAllActivities, names::kCustomerJobs, names::kServiceItems, names::kEmployeesVendors})
        if (!db.hasQueryDef(q)) return std::string("query \"") + q + "\"";
    return {};
}

}  // namespace timerdb
