// A scripted sequence of committed writes, interrupted by a simulated crash at every single page written to the journal or the
// file. After each crash the file must read (and, once reopened for writing, be byte for byte) exactly as it was before the
// interrupted commit.
#include <gtest/gtest.h>
#include <functional>
#include "test_util.h"

namespace fs = std::filesystem;
using jet::Database;
using jet::OpenMode;
using jet::Value;
using namespace testutil;

namespace {
struct SimulatedCrash : std::runtime_error {
    SimulatedCrash() : std::runtime_error("simulated crash") {}
};

// One committed transaction of the script.
using Step = std::function<void(Database&)>;

// New data pages for a table, listed in its usage map.
void addDataPages(Database& db, const std::string& table, int count) {
    const uint32_t tdef = db.table(table)->tdefPage(), map = usedPagesRef(db, tdef);
    for (int i = 0; i < count; ++i) {
        const uint32_t n = jet::detail::allocatePage(db);
        formatEmptyDataPage(db, n, tdef);
        jet::detail::usageMapAdd(db, map, n);
    }
}

// Takes the table's empty pages (those the script added) out of its map and frees them.
void dropAddedPages(Database& db, const std::string& table, size_t keep) {
    auto t = db.table(table);
    const uint32_t map = usedPagesRef(db, t->tdefPage());
    auto pages = t->dataPages();
    for (size_t i = keep; i < pages.size(); ++i) {
        jet::detail::usageMapRemove(db, map, pages[i]);
        jet::detail::freePage(db, pages[i]);
    }
}

void runStep(Database& db, const Step& step) {
    db.beginTransaction();
    step(db);
    db.commitTransaction();
}

// Reads the file through a read-only open (which applies a leftover journal in
// memory) and compares every page with the expected bytes.
void expectReadsAs(const std::string& f, const std::vector<uint8_t>& expected, const std::string& expectedDump) {
    auto ro = Database::open(f);
    const uint32_t ps = ro->pager().pageSize();
    ASSERT_EQ(size_t(ro->pager().pageCount()) * ps, expected.size());
    for (uint32_t n = 0; n < ro->pager().pageCount(); ++n)
        ASSERT_EQ(std::memcmp(ro->pager().page(n), expected.data() + size_t(n) * ps, ps), 0) << "page " << n;
    EXPECT_EQ(problems(*ro), "");
    EXPECT_EQ(exportAll(*ro), expectedDump);
}

// Runs the script once without faults, recording the file after every step and how many page writes each commit makes; then, for
// every step and every write of its commit, replays the script on a fresh copy with a crash at that write. Setup steps run once,
// uninterrupted, before the script.
void crashEverywhere(const std::string& file, const std::vector<Step>& script, const std::vector<Step>& setup = {}) {
    Scratch dir;
    const std::string base = dir.copy(file, "base.mdb");
    for (const Step& s : setup) runStep(*Database::open(base, OpenMode::Exclusive), s);
    const std::string f = dir.path() + "/db.mdb";
    fs::copy_file(base, f);
    std::vector<std::vector<uint8_t>> states{slurp(f)};
    std::vector<std::string> dumps{exportAll(*Database::open(f))};
    std::vector<int> writes;
    // Each step in an open of its own: Windows lets nobody read a file opened exclusively.
    for (const Step& s : script) {
        auto db = Database::open(f, OpenMode::Exclusive);
        int calls = 0;
        jet::detail::writablePager(*db).setFaultHook([&](const char*, uint32_t) { ++calls; });
        runStep(*db, s);
        writes.push_back(calls);
        dumps.push_back(exportAll(*db));
        ASSERT_EQ(problems(*db), "");
        db.reset();
        states.push_back(slurp(f));
    }
    int crashes = 0;
    for (size_t s = 0; s < script.size(); ++s) {
        ASSERT_GT(writes[s], 0);
        for (int k = 1; k <= writes[s]; ++k) {
            SCOPED_TRACE("step " + std::to_string(s) + ", crash before write " + std::to_string(k));
            testutil::copyOver(base, f);
            {
                auto db = Database::open(f, OpenMode::Exclusive);
                for (size_t i = 0; i < s; ++i) runStep(*db, script[i]);
                int calls = 0;
                jet::detail::writablePager(*db).setFaultHook([&](const char*, uint32_t) {
                    if (++calls == k) throw SimulatedCrash();
                });
                EXPECT_THROW(runStep(*db, script[s]), SimulatedCrash);
                ASSERT_EQ(calls, k);
                // The crashed process's open goes away without any clean-up.
            }
            ++crashes;
            ASSERT_TRUE(fs::exists(jet::journalPath(f)));
            expectReadsAs(f, states[s], dumps[s]);
            { auto db = Database::open(f, OpenMode::Exclusive); }
            EXPECT_FALSE(fs::exists(jet::journalPath(f)));
            ASSERT_EQ(slurp(f), states[s]);
            // And the script goes on from there as if nothing had happened.
            if (k == writes[s]) {
                auto db = Database::open(f, OpenMode::Exclusive);
                runStep(*db, script[s]);
                db.reset();
                EXPECT_EQ(slurp(f), states[s + 1]);
            }
        }
    }
    EXPECT_GT(crashes, 0);
}
}  // namespace

TEST(Crash, PageAllocationAndUsageMaps) {
    const std::string table = "Classes";
    std::vector<Step> script = {
        // A few pages for a table: global map and the table's inline map change.
        [&](Database& db) { addDataPages(db, table, 3); },
        // Free them again, then reuse one of them.
        [&](Database& db) { dropAddedPages(db, table, db.table(table)->dataPages().size() - 3); },
        [&](Database& db) { addDataPages(db, table, 1); },
        // Raw edits of existing pages together with growth.
        [&](Database& db) {
            auto& wp = jet::detail::writablePager(db);
            const uint32_t n = jet::detail::allocatePage(db);
            std::memset(wp.mutablePage(n), 0, wp.pageSize());
            addDataPages(db, table, 2);
            jet::detail::freePage(db, n);
        },
    };
    crashEverywhere("timer/sample.tdb", script);
}

// The table's inline map fills up (setup), then a commit turns it into a
// reference map: new map page, map row rewritten, every listed page moved over.
TEST(Crash, InlineMapBecomesReference) {
    const std::vector<Step> setup = {[](Database& db) {
        const uint32_t map = usedPagesRef(db, db.table("Table")->tdefPage());
        const uint32_t capacity = static_cast<uint32_t>(mapRow(db, map).second - 5) * 8;
        const uint32_t room = db.table("Table")->dataPages().front() + capacity - db.pager().pageCount();
        ASSERT_GT(room, 3u);
        addDataPages(db, "Table", static_cast<int>(room - 3));
        EXPECT_EQ(mapType(db, map), 0);
    }};
    std::vector<Step> script = {
        [](Database& db) {
            addDataPages(db, "Table", 6);
            EXPECT_EQ(mapType(db, usedPagesRef(db, db.table("Table")->tdefPage())), 1);
        },
        [](Database& db) { dropAddedPages(db, "Table", db.table("Table")->dataPages().size() - 4); },
    };
    crashEverywhere("jet4/delTestV2000.mdb", script, setup);
}

namespace {
jet::RowId findRow(Database& db, const std::string& table, const std::string& column, const Value& v) {
    auto t = db.table(table);
    const int c = t->columnIndex(column);
    for (auto cur = t->scan(); cur.next();)
        if (cur.row()[c] == v) return cur.rowId();
    throw std::runtime_error("row not found");
}

jet::FieldValues activity(Database& db, int32_t nameId, double day, const std::string& note) {
    return fields(*db.table("Activities"),
                  {{"Name ID", Value::int32(nameId)}, {"CustJob ID", Value::int32(nameId)}, {"Service ID", Value::int32(1)},
                   {"UserDate", Value::date(day)}, {"CreateTime", Value::date(day + 0.5)}, {"Duration", Value::date(0.0625)},
                   {"Billable Status", Value::boolean(true)}, {"Exported", Value::boolean(false)},
                   {"Note", note.empty() ? Value::null() : Value::text(note)}});
}
}  // namespace

// The Timer's own kind of writes: rows with indexes and memo values, inserted,
// updated and deleted, one commit each and several in one.
TEST(Crash, RowWrites) {
    const std::string longNote(3000, 'n');
    std::vector<Step> script = {
        [](Database& db) {
            db.insertRow("Classes", fields(*db.table("Classes"), {{"ID", Value::int32(900)}, {"Name", Value::text("Crash test class")}}));
        },
        [&](Database& db) { db.insertRow("Activities", activity(db, 1, 46360, longNote)); },
        [&](Database& db) {
            jet::RowId r = findRow(db, "Activities", "Note", Value::text(longNote));
            db.updateRow("Activities", r,
                         fields(*db.table("Activities"), {{"Note", Value::text(longNote + longNote + "!")}, {"UserDate", Value::date(46361)}}));
            jet::RowId c = findRow(db, "Classes", "ID", Value::int32(900));
            db.updateRow("Classes", c, fields(*db.table("Classes"), {{"Name", Value::text("Renamed class")}}));
        },
        [](Database& db) {
            for (int i = 0; i < 12; ++i) db.insertRow("Activities", activity(db, 2 + i % 3, 46300 + i, "short " + std::to_string(i)));
        },
        [](Database& db) {
            db.deleteRow("Classes", findRow(db, "Classes", "ID", Value::int32(900)));
            db.deleteRow("Activities", findRow(db, "Activities", "Note", Value::text("short 4")));
        },
    };
    crashEverywhere("timer/sample.tdb", script);
}
