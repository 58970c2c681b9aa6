// Random inserts, updates and deletes against an in-memory model of every table, with the integrity check, a full comparison and
// index lookups at checkpoints. HOURGRID_RANDOM_OPS sets the operation count per file (default small for CTest),
// HOURGRID_RANDOM_SEED the seed, HOURGRID_RANDOM_ORACLES=1 adds the independent readers.
#include <gtest/gtest.h>
#include <cstdlib>
#include <iostream>
#include "jet/error.h"
#include "test_util.h"

using namespace jet;

namespace {
using Model = std::map<std::string, std::map<RowId, Row>>;

long envLong(const char* name, long def) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 10) : def;
}

class RandomWriter {
public:
    RandomWriter(const std::string& path, uint64_t seed) : path_(path), rng_(seed) {}
    void run(long ops, bool oracles) {
        open();
        for (const std::string& name : db_->tableNames(false)) {
            tables_.push_back(name);
            for (auto& [id, row] : testutil::rowsOf(*db_, name)) model_[name][id] = row;
        }
        ASSERT_FALSE(tables_.empty());
        long done = 0;
        while (done < ops) {
            if (pick(10) == 0) {
                // A few operations in one transaction, sometimes abandoned.
                Model saved = model_;
                db_->beginTransaction();
                int n = 2 + pick(5);
                for (int i = 0; i < n && done < ops; ++i, ++done) step();
                const bool abandon = pick(3) == 0;
                abandon ? db_->rollbackTransaction() : db_->commitTransaction();
                if (abandon) model_ = saved;
            } else {
                step();
                ++done;
            }
            if (::testing::Test::HasFatalFailure()) return;
            if (done % 500 == 0) checkpoint(oracles);
        }
        checkpoint(oracles);
        SCOPED_TRACE(path_);
        std::cout << "[ random ] " << path_ << ": " << inserts_ << " inserts, " << updates_ << " updates, " << deletes_
                  << " deletes, " << duplicates_ << " refused duplicates\n";
    }

private:
    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint64_t>(n)); }
    void open() { db_ = Database::open(path_, OpenMode::Exclusive); }
    template <class Rows>
    auto anyRow(Rows& rows) { return std::next(rows.begin(), pick(static_cast<int>(rows.size()))); }
    Bytes bytes(size_t n) {
        Bytes b(n);
        for (auto& x : b) x = static_cast<uint8_t>(rng_());
        return b;
    }

    std::string text(size_t maxLen) {
        static const std::string chars =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 :/-&.,()";
        size_t n = maxLen == 0 ? 0 : static_cast<size_t>(pick(static_cast<int>(std::min<size_t>(maxLen, 40)) + 1));
        if (maxLen > 40 && pick(8) == 0) n = static_cast<size_t>(pick(static_cast<int>(maxLen) + 1));
        std::string s;
        for (size_t i = 0; i < n; ++i) s += chars[static_cast<size_t>(pick(static_cast<int>(chars.size())))];
        return s;
    }

    Value randomValue(const Column& c) {
        if (c.type != ColType::Bool && pick(8) == 0) return Value();
        switch (c.type) {
            case ColType::Bool: return Value::boolean(pick(2) == 0);
            case ColType::Byte: return Value::byte(static_cast<uint8_t>(pick(256)));
            case ColType::Int: return Value::int16(static_cast<int16_t>(pick(65536) - 32768));
            case ColType::Long: return Value::int32(static_cast<int32_t>(rng_()));
            case ColType::Money: return Value::currency(Currency{static_cast<int64_t>(rng_() % 2000000000000ULL) - 1000000000000LL});
            // Quarter steps with at most seven digits: mdb-export prints a Single to eight digits only.
            case ColType::Float: return Value::single(static_cast<float>(pick(400000) - 200000) / 4.0f);
            case ColType::Double: return Value::dbl(static_cast<double>(static_cast<int64_t>(rng_() % 2000000001) - 1000000000) / 1024.0);
            case ColType::DateTime: return Value::date(40000.0 + pick(10000) + pick(86400) / 86400.0);
            case ColType::Text: return Value::text(text(db_->format().jet4() ? c.length / 2u : c.length));
            case ColType::Memo: return Value::text(text(pick(3) == 0 ? 8000 : 300));
            case ColType::Binary: {
                Bytes b = bytes(static_cast<size_t>(pick(static_cast<int>(c.length ? c.length : 16) + 1)));
                if (c.fixed) b.resize(c.length);
                return Value::binary(b);
            }
            case ColType::OLE: return Value::binary(bytes(static_cast<size_t>(pick(pick(4) == 0 ? 9000 : 200))));
            case ColType::Guid: {
                Guid g;
                for (auto& x : g.bytes) x = static_cast<uint8_t>(rng_());
                return Value::guid(g);
            }
            case ColType::Numeric: {
                int digits = std::max(1, std::min<int>(c.precision ? c.precision : 18, 15));
                __int128 lim = 1;
                for (int i = 0; i < digits; ++i) lim *= 10;
                const auto unscaled = static_cast<__int128>(rng_() % static_cast<uint64_t>(lim)) * (pick(2) ? 1 : -1);
                return Value::decimal(Decimal{unscaled, c.precision, c.scale});
            }
        }
        return Value();
    }

    // Whether a write the file refused may be passed over: its own column rules, or a unique index
    // already holding the key (a refusal must come from one).
    bool refused(const Error& e, const Table& t, const Row& row, RowId self) {
        if (e.code() == Error::Code::Rule) return true;
        if (e.code() != Error::Code::Duplicate) return false;
        bool found = false;
        for (const Index& ix : t.indexes()) {
            if (!ix.unique) continue;
            std::vector<Value> key;
            bool allNull = true;
            for (const IndexColumn& ic : ix.columns) {
                key.push_back(row[static_cast<size_t>(ic.column)]);
                allNull &= key.back().isNull();
            }
            if (allNull && ix.ignoreNulls) continue;
            for (RowId r : t.seek(ix, key))
                if (r != self) found = true;
        }
        EXPECT_TRUE(found) << "a duplicate was reported where no unique index holds the key";
        ++duplicates_;
        return true;
    }

    // Gives the row another row's index keys, so unique indexes get to refuse duplicates.
    void copyKeys(const Table& t, const std::map<RowId, Row>& rows, Row& expect, FieldValues& fv) {
        auto it = anyRow(rows);
        for (const Index& ix : t.indexes())
            for (const IndexColumn& ic : ix.columns) {
                const size_t c = static_cast<size_t>(ic.column);
                if (t.columns()[c].autonumber) continue;
                expect[c] = it->second[c];
                fv.push_back(FieldValue{ic.column, expect[c]});
            }
    }

    void step() {
        const std::string& name = tables_[static_cast<size_t>(pick(static_cast<int>(tables_.size())))];
        auto& rows = model_[name];
        auto t = db_->table(name);
        const auto& cols = t->columns();
        const int what = rows.empty() ? 0 : pick(10);
        try {
            if (what < 4) {
                FieldValues fv;
                Row expect(cols.size());
                for (size_t i = 0; i < cols.size(); ++i) {
                    if (cols[i].autonumber || (pick(6) == 0 && cols[i].type != ColType::Bool)) continue;
                    expect[i] = randomValue(cols[i]);
                    fv.push_back(FieldValue{static_cast<int>(i), expect[i]});
                }
                if (!rows.empty() && pick(5) == 0) copyKeys(*t, rows, expect, fv);
                Row stored;
                RowId id;
                try {
                    id = db_->insertRow(name, fv, &stored);
                } catch (const Error& e) {
                    if (refused(e, *t, expect, RowId{})) return;
                    throw;
                }
                for (const FieldValue& f : fv)
                    EXPECT_EQ(stored[static_cast<size_t>(f.column)], expect[static_cast<size_t>(f.column)])
                        << name << "." << cols[f.column].name;
                EXPECT_EQ(rows.count(id), 0u) << "new row reuses a live row's id";
                rows[id] = stored;
                ++inserts_;
            } else if (what < 8) {
                auto it = anyRow(rows);
                FieldValues fv;
                Row expect = it->second;
                int n = 1 + pick(3);
                for (int k = 0; k < n; ++k) {
                    size_t i = static_cast<size_t>(pick(static_cast<int>(cols.size())));
                    if (cols[i].autonumber) continue;
                    expect[i] = randomValue(cols[i]);
                    fv.push_back(FieldValue{static_cast<int>(i), expect[i]});
                }
                if (pick(8) == 0) copyKeys(*t, rows, expect, fv);
                try {
                    db_->updateRow(name, it->first, fv);
                } catch (const Error& e) {
                    if (refused(e, *t, expect, it->first)) return;
                    throw;
                }
                it->second = expect;
                ++updates_;
            } else {
                auto it = anyRow(rows);
                db_->deleteRow(name, it->first);
                rows.erase(it);
                ++deletes_;
            }
        } catch (const std::exception& e) {
            FAIL() << path_ << " table " << name << ": " << e.what();
        }
    }

    void checkpoint(bool oracles) {
        ASSERT_FALSE(db_->inTransaction());
        db_.reset();
        {
            auto db = Database::open(path_);
            ASSERT_EQ(testutil::problems(*db), "") << path_;
            for (const std::string& name : tables_) {
                auto t = db->table(name);
                std::map<RowId, Row> actual;
                for (auto& [id, row] : testutil::rowsOf(*db, name)) actual[id] = row;
                ASSERT_TRUE(actual == model_[name]) << path_ << " table " << name << ": rows differ from the model";
                EXPECT_EQ(t->rowCount(), model_[name].size()) << name;
                for (const auto& p : testutil::indexProblems(*t)) ADD_FAILURE() << path_ << " table " << name << " " << p;
                if (oracles) { EXPECT_EQ(testutil::oracleDisagreement(path_, name), "") << name; }
            }
        }
        open();
    }

    std::string path_;
    std::mt19937_64 rng_;
    std::unique_ptr<Database> db_;
    std::vector<std::string> tables_;
    Model model_;
    long inserts_ = 0, updates_ = 0, deletes_ = 0, duplicates_ = 0;
};

class RandomWrites : public ::testing::TestWithParam<const char*> {};

TEST_P(RandomWrites, ModelMatchesAfterEveryCheckpoint) {
    testutil::Scratch s;
    const std::string path = s.copy(GetParam());
    const long ops = envLong("HOURGRID_RANDOM_OPS", 300);
    const uint64_t seed = static_cast<uint64_t>(envLong("HOURGRID_RANDOM_SEED", 20261206));
    RandomWriter w(path, seed);
    w.run(ops, envLong("HOURGRID_RANDOM_ORACLES", 0) != 0);
}

INSTANTIATE_TEST_SUITE_P(Files, RandomWrites,
                         ::testing::Values("timer/sample.tdb", "jet4/indexTestV2000.mdb", "jet3/indexTestV1997.mdb",
                                           "jet4/compIndexTestV2000.mdb", "jet3/compIndexTestV1997.mdb",
                                           "jet4/bigIndexTestV2000.mdb", "jet4/overflowTestV2000.mdb",
                                           "jet3/overflowTestV1997.mdb", "jet3/testIndexCodesV1997.mdb"));
}  // namespace
