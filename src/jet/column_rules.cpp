// Column and table rules kept as Access properties: Required, AllowZeroLength and
// validation rules with their messages. Jet enforces them on every write, so a
// row another program would refuse never reaches the file.
//
// A property blob starts with "MR2\0" (Jet 4) or "KKD\0" (Jet 3), then chunks of
// (u32 length, u16 type): type 0x80 lists the property names, types 0 and 1 hold
// one object's values (the table's, or a column's, named at the chunk's start).
// Each value is (u16 length, u8 flags, u8 data type, u16 name number, u16 size, bytes).
#include <cctype>
#include <cstring>
#include <strings.h>

#include "database.h"
#include "error.h"
#include "expr_eval.h"
#include "sql_internal.h"
#include "table.h"
#include "write_internal.h"

namespace jet::detail {
namespace {

constexpr uint8_t kPropBool = 1, kPropText = 10, kPropMemo = 12;

bool iequals(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

struct PropValue {
    std::string object, name;
    uint8_t type = 0;
    std::vector<uint8_t> bytes;
};

std::vector<PropValue> parseProperties(const Database& db, const Bytes& b) {
    std::vector<PropValue> out;
    if (b.size() < 4 || (std::memcmp(b.data(), "MR2", 4) != 0 && std::memcmp(b.data(), "KKD", 4) != 0)) return out;
    auto u16 = [&](size_t at) -> uint32_t { return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0; };
    auto u32 = [&](size_t at) -> uint32_t { return u16(at) | (u16(at + 2) << 16); };
    std::vector<std::string> names;
    for (size_t pos = 4; pos + 6 <= b.size();) {
        const uint32_t len = u32(pos), type = u16(pos + 4);
        if (len < 6 || len > b.size() - pos) break;
        const size_t end = pos + len;
        if (type == 0x80) {
            for (size_t q = pos + 6; q + 2 <= end;) {
                const uint32_t n = u16(q);
                if (n > end - q - 2) break;
                names.push_back(db.decodeText(&b[q + 2], n));
                q += 2 + n;
            }
        } else if (type == 0x00 || type == 0x01) {
            const uint32_t head = u32(pos + 6), nameLen = u16(pos + 10);
            if (head < 6 || nameLen > head - 6 || head > len - 6) break;
            const std::string object = db.decodeText(&b[pos + 12], nameLen);
            for (size_t q = pos + 6 + head; q + 8 <= end;) {
                const uint32_t vlen = u16(q), size = u16(q + 6), idx = u16(q + 4);
                if (vlen < 8 || vlen > end - q || size > vlen - 8) break;
                if (idx < names.size())
                    out.push_back({object, names[idx], b[q + 3], std::vector<uint8_t>(&b[q + 8], &b[q + 8] + size)});
                q += vlen;
            }
        }
        pos = end;
    }
    return out;
}

// Compiles a rule over the table's columns; Null and False mean the row breaks it.
class RuleCompiler : public ev::Compiler {
public:
    RuleCompiler(const Table& t, const ev::Env& env) : ev::Compiler(env, nodes_, 10000), t_(t) {}
    void raise(const std::string& problem) const override { throw Error(problem, Error::Code::Query); }

protected:
    ev::NodePtr field(const Expr& e) override {
        int col = t_.columnIndex(e.name);
        if (col < 0) fail("the validation rule names '" + e.name + "', which is not a column of table '" + t_.name() + "'");
        auto n = std::make_unique<ev::Node>();
        n->op = ev::Node::Op::Field;
        n->slot = {0, col};
        return n;
    }

private:
    const Table& t_;
    size_t nodes_ = 0;
};

// A column's rule may leave out the column it tests: ">0" means "[col] > 0".
std::string ruleText(const std::string& rule, const std::string& column) {
    size_t i = rule.find_first_not_of(" \t\r\n");
    if (i == std::string::npos) return rule;
    std::string word;
    for (size_t j = i; j < rule.size() && std::isalpha(static_cast<unsigned char>(rule[j])); ++j)
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(rule[j])));
    auto isOperator = [](const std::string& w) { return w == "BETWEEN" || w == "LIKE" || w == "IN" || w == "IS"; };
    std::string second;
    if (word == "NOT") {
        size_t j = rule.find_first_not_of(" \t\r\n", i + 3);
        for (; j != std::string::npos && j < rule.size() && std::isalpha(static_cast<unsigned char>(rule[j])); ++j)
            second += static_cast<char>(std::toupper(static_cast<unsigned char>(rule[j])));
    }
    const bool operatorFirst = std::strchr("<>=", rule[i]) != nullptr || isOperator(word) || isOperator(second);
    return operatorFirst ? "[" + column + "] " + rule : rule;
}

bool passes(const Table& t, const std::string& rule, const Row& row) {
    ev::Env env;
    RuleCompiler comp(t, env);
    ev::NodePtr n = comp.compile(*sql::parseExpression(rule));
    const Row* rows[1] = {&row};
    ev::RowView view{rows, nullptr};
    Value v = ev::eval(*n, view, env);
    // Access lets a rule that comes out Null pass; Required covers missing values.
    return v.isNull() || ev::isTrue(*n, view, env);
}

}  // namespace

TableRules loadTableRules(const Database& db, const Table& t) {
    TableRules rules;
    int32_t id = -1;
    for (const CatalogEntry& e : db.catalog())
        if (e.type == 1 && e.tdefPage() == t.tdefPage()) id = e.id;
    auto sys = db.table("MSysObjects");
    const int cId = sys->columnIndex("Id"), cProp = sys->columnIndex("LvProp");
    if (id < 0 || cId < 0 || cProp < 0) return rules;
    Bytes blob;
    for (auto cur = sys->scan({cId}); cur.next();) {
        if (cur.row()[cId].isNull() || cur.row()[cId].toInt64() != id) continue;
        auto full = sys->readRow(cur.rowId(), {cProp});
        if (full && (*full)[cProp].kind() == Value::Kind::Binary) blob = (*full)[cProp].asBinary();
        break;
    }
    auto textOf = [&](const PropValue& p) {
        return p.type == kPropText || p.type == kPropMemo ? db.decodeText(p.bytes.data(), p.bytes.size()) : std::string();
    };
    for (const PropValue& p : parseProperties(db, blob)) {
        const int col = t.columnIndex(p.object);
        if (col < 0 || p.object.empty()) {
            if (iequals(p.name, "ValidationRule")) rules.rule = textOf(p);
            else if (iequals(p.name, "ValidationText")) rules.text = textOf(p);
            continue;
        }
        TableRules::ColumnRule* r = nullptr;
        for (auto& c : rules.columns)
            if (c.column == col) r = &c;
        if (!r) {
            rules.columns.push_back({});
            r = &rules.columns.back();
            r->column = col;
        }
        const bool yes = p.type == kPropBool && !p.bytes.empty() && p.bytes[0] != 0;
        if (iequals(p.name, "Required")) r->required = yes;
        else if (iequals(p.name, "AllowZeroLength")) r->allowZeroLength = p.type != kPropBool || yes;
        else if (iequals(p.name, "ValidationRule")) r->rule = textOf(p);
        else if (iequals(p.name, "ValidationText")) r->text = textOf(p);
    }
    return rules;
}

void enforceTableRules(const Database&, const Table& t, const TableRules& rules, const Row& row) {
    for (const auto& r : rules.columns) {
        const Column& c = t.columns()[static_cast<size_t>(r.column)];
        const Value& v = row[static_cast<size_t>(r.column)];
        if (r.required && v.isNull())
            throw Error("the field '" + t.name() + "." + c.name + "' cannot contain a Null value because its Required "
                        "property is set to Yes", Error::Code::Rule);
        const bool text = c.type == ColType::Text || c.type == ColType::Memo;
        if (!r.allowZeroLength && text && v.isText() && v.asText().empty())
            throw Error("the field '" + t.name() + "." + c.name + "' cannot be a zero-length string because its "
                        "AllowZeroLength property is set to No", Error::Code::Rule);
        if (!r.rule.empty() && !passes(t, ruleText(r.rule, c.name), row))
            throw Error(!r.text.empty() ? r.text
                                        : "the value of '" + t.name() + "." + c.name +
                                              "' breaks its validation rule " + r.rule,
                        Error::Code::Rule);
    }
    if (!rules.rule.empty() && !passes(t, rules.rule, row))
        throw Error(!rules.text.empty() ? rules.text
                                        : "the row breaks the validation rule of table '" + t.name() + "': " + rules.rule,
                    Error::Code::Rule);
}

}  // namespace jet::detail
