// Validating the week and writing it back: cells against the records of a copy of
// sample.tdb (Alice Moreno's week of 11/30/2026, today Sunday 12/06/2026 10:00),
// checked with the engine and with mdb-export.
#include <gtest/gtest.h>

#include <QDate>
#include <QTime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/hourgrid.h"
#include "app_fixture.h"
#include "jet/database.h"
#include "jet/table.h"
#include "jet/write_internal.h"
#include "week_access.h"
#include "week_test_util.h"

using app::Hourgrid;
using Access = app::HourgridTestAccess;

namespace {

constexpr ui::Color kGreen = 0x009600, kBlue = 0xFF0000, kMagenta = 0xC800C8, kYellow = 0xD5FFFF;
const std::string kLongNote =
    "Installed the upper cabinets, adjusted the hinges on all doors, sealed the backsplash and met the electrician "
    "to plan the under-cabinet lighting for next week.";
const std::string kEnterValid = "Enter a valid time. For example: 2:00 or 120 or 2";
const std::string kNotSaved = "None of the week's changes were saved.";

using weektest::serial;
using weektest::shortDate;

// Changes fields of the activity with this ID.
void edit(jet::Database& db, int32_t id, const std::map<std::string, jet::Value>& values) {
    auto t = db.table("Activities");
    auto hits = t->seek(*t->primaryKey(), {jet::Value::int32(id)});
    ASSERT_EQ(hits.size(), 1u);
    db.updateRow("Activities", hits[0], weektest::fieldValues(*t, values));
}
std::string dateValue(const QDate& d, const QTime& t = QTime(0, 0)) {
    return jet::toDebugString(jet::Value::date(serial(d, t)));
}
std::string durationValue(int h, int m, int s = 0) { return dateValue(QDate(1899, 12, 30), QTime(h, m, s)); }
const std::string kNow = dateValue(QDate(2026, 12, 6), QTime(10, 0));
const std::string kCreatedBefore = dateValue(QDate(2026, 12, 4), QTime(17, 5));

// Every field of every activity, as the engine reads it, by ID.
using Record = std::map<std::string, std::string>;
using Records = std::map<int32_t, Record>;

Records readActivities(jet::Database& db) {
    auto t = db.table("Activities");
    Records out;
    int idCol = t->columnIndex("ID");
    auto cur = t->scan();
    while (cur.next()) {
        Record r;
        for (size_t c = 0; c < t->columns().size(); ++c) r[t->columns()[c].name] = jet::toDebugString(cur.row()[c]);
        out[cur.row()[static_cast<size_t>(idCol)].asInt32()] = r;
    }
    return out;
}

Records readFile(const std::string& path) {
    auto db = jet::Database::open(path, jet::OpenMode::Exclusive);  // also rolls back an interrupted write
    return readActivities(*db);
}

// The "Activities" table as mdb-export prints it, by ID.
std::map<std::string, Record> mdbExport(const std::string& path) {
    std::string cmd = "mdb-export -d '|' -Q -T '%Y-%m-%d %H:%M:%S' '" + path + "' Activities";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("cannot run mdb-export");
    std::string all;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) all.append(buf, n);
    if (pclose(p) != 0) throw std::runtime_error("mdb-export failed on " + path);
    std::stringstream lines(all);
    std::string line;
    std::vector<std::string> header;
    std::map<std::string, Record> out;
    while (std::getline(lines, line)) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
            parts.push_back(line.substr(start, bar - start));
        parts.push_back(line.substr(start));
        if (header.empty()) {
            header = parts;
            continue;
        }
        Record r;
        for (size_t i = 0; i < header.size(); ++i) r[header[i]] = i < parts.size() ? parts[i] : "";
        out[r["ID"]] = r;
    }
    return out;
}

class SaveWeek : public AppFixture {
protected:
    weektest::UsLocale locale;

    // Starts the program on a copy of sample.tdb changed first by `prepare`.
    Hourgrid& openWeek(const std::function<void(jet::Database&)>& prepare = {}) {
        timerPath = copyTimer("sample.tdb");
        if (prepare) {
            auto db = jet::Database::open(timerPath, jet::OpenMode::Exclusive);
            prepare(*db);
        }
        writeSetting("File", timerPath);
        Hourgrid& w = start();
        w.Form_Load();
        EXPECT_EQ(w.m_lNameID, 200);
        EXPECT_EQ(w.days()[0], QDate(2026, 11, 30));
        EXPECT_EQ(w.id(3, 1), 1);  // the loaded week, as its own tests describe it
        // The program's own cell moves below are not edits to commit.
        Access::noLeaveCell(w) = true;
        return w;
    }
    Records inFile() { return readActivities(win->m_db->engine()); }
    void closeProgram() { win.reset(); }
    std::vector<std::string> messageTexts() const {
        std::vector<std::string> t;
        for (const auto& m : platform.messages) t.push_back(m.text);
        return t;
    }
    // Sets a cell's text and makes it current, then writes it as leaving it would.
    void saveCell(int row, int col, const std::optional<std::string>& text = std::nullopt) {
        if (text) win->Grid.setTextMatrix(row, col, *text);
        win->Grid.setRow(row);
        win->Grid.setCol(col);
        Access::saveCurrentCell(*win);
    }
};

// Every field named in `expected` has that value in `r`.
void expectFields(const Record& r, const Record& expected) {
    for (const auto& [field, value] : expected) EXPECT_EQ(r.at(field), value) << field;
}

// The Timer columns the program never writes, given values in record 2 first.
void markTimerColumns(jet::Database& db) {
    edit(db, 2, {{"Start Time", jet::Value::date(serial(QDate(2026, 12, 2), QTime(8, 15)))},
                 {"Rate", jet::Value::currency(jet::Currency{855000})},
                 {"Timer Flags", jet::Value::byte(3)}});
}

TEST_F(SaveWeek, NewChangedAndEmptiedCellsBecomeAddedUpdatedAndDeletedRecords) {
    Hourgrid& w = openWeek(markTimerColumns);
    const Records before = inFile();
    ASSERT_EQ(before.size(), 16u);

    w.Grid.setTextMatrix(1, 9, "02:00");   // Wednesday of activity 2, was 01:30
    w.Grid.setTextMatrix(2, 12, "");       // Thursday of activity 4, emptied
    w.Grid.setTextMatrix(1, 15, "01:15");  // Friday, new in Acme Website Redesign / Design / Commercial
    w.Grid.setTextMatrix(7, 3, "00:20");   // Monday, new in a recent row: Acme Support Contract / Consulting
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_TRUE(platform.messages.empty()) << messageTexts()[0];

    const Records after = inFile();
    EXPECT_EQ(after.size(), 17u);
    EXPECT_EQ(after.count(4), 0u);
    EXPECT_EQ(w.id(12, 2), 0);
    const int32_t fri = w.id(15, 1), mon = w.id(3, 7);
    ASSERT_GT(fri, 16);
    ASSERT_GT(mon, 16);
    EXPECT_NE(fri, mon);
    ASSERT_EQ(after.count(fri), 1u);
    ASSERT_EQ(after.count(mon), 1u);

    // New records: the row's references, the day, the person, payroll item 2, the billable default.
    expectFields(after.at(fri), {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"},
                                 {"Payroll Item ID", "2"}, {"UserDate", dateValue(QDate(2026, 12, 4))},
                                 {"CreateTime", kNow}, {"Duration", durationValue(1, 15)}, {"Billable Status", "True"},
                                 {"Note", "NULL"}, {"Start Time", "NULL"}, {"Rate", "NULL"}});
    expectFields(after.at(mon), {{"CustJob ID", "108"}, {"Service ID", "10"}, {"Class ID", "3"},
                                 {"UserDate", dateValue(QDate(2026, 11, 30))}, {"Duration", durationValue(0, 20)}});

    // The changed record: duration and time of writing; the rest as it was.
    Record expected2 = before.at(2);
    expected2["Duration"] = durationValue(2, 0);
    expected2["CreateTime"] = kNow;
    EXPECT_EQ(after.at(2), expected2);

    // Every other activity of the week is written again; nobody else's time, and
    // none of Alice's other weeks, is touched.
    for (int32_t id : {1, 3, 5, 6, 7, 8, 9}) {
        Record e = before.at(id);
        e["CreateTime"] = kNow;
        EXPECT_EQ(after.at(id), e) << "activity " << id;
    }
    for (int32_t id : {10, 11, 12, 13, 14, 15, 16}) EXPECT_EQ(after.at(id), before.at(id)) << "activity " << id;

    // An independent reader sees the same.
    const std::string fri_s = std::to_string(fri);
    closeProgram();
    auto x = mdbExport(timerPath);
    EXPECT_EQ(x.size(), 17u);
    EXPECT_EQ(x.count("4"), 0u);
    ASSERT_EQ(x.count(fri_s), 1u);
    expectFields(x.at(fri_s), {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"},
                               {"Payroll Item ID", "2"}, {"UserDate", "2026-12-04 00:00:00"},
                               {"CreateTime", "2026-12-06 10:00:00"}, {"Duration", "1899-12-30 01:15:00"},
                               {"Billable Status", "1"}, {"Exported", "0"}});
    expectFields(x.at("2"), {{"Duration", "1899-12-30 02:00:00"}, {"CreateTime", "2026-12-06 10:00:00"},
                             {"UserDate", "2026-12-02 00:00:00"}, {"Billable Status", "1"}, {"Exported", "1"},
                             {"Start Time", "2026-12-02 08:15:00"}, {"Rate", "85.5000"}, {"Timer Flags", "3"}});
    EXPECT_EQ(x.at("10").at("CreateTime"), "2026-12-04 17:05:00");
}

TEST_F(SaveWeek, NewRecordsTakeTheBillablePreference) {
    Hourgrid& w = openWeek();
    w.m_bBillable = false;
    w.Grid.setTextMatrix(1, 15, "01:15");
    ASSERT_TRUE(w.SaveGrid());
    const Records after = inFile();
    EXPECT_EQ(after.at(w.id(15, 1)).at("Billable Status"), "False");
    EXPECT_EQ(after.at(1).at("Billable Status"), "True");  // existing records keep theirs
    EXPECT_EQ(after.at(3).at("Billable Status"), "False");
}

TEST_F(SaveWeek, AnUnchangedWeekRewritesCreateTimeOnly) {
    Hourgrid& w = openWeek();
    const Records before = inFile();
    const auto idsBefore = Access::ids(w);
    w.Grid.setRow(4);
    w.Grid.setCol(6);
    auto gridTexts = [&] {
        std::vector<std::string> texts;
        for (int r = 0; r < w.Grid.rows(); ++r)
            for (int c = 0; c < w.Grid.cols(); ++c) texts.push_back(w.Grid.textMatrix(r, c));
        return texts;
    };
    const auto texts = gridTexts();
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(Access::ids(w), idsBefore);
    EXPECT_EQ(gridTexts(), texts);  // the grid is left as it was, current cell included
    EXPECT_EQ(w.Grid.row(), 4);
    EXPECT_EQ(w.Grid.col(), 6);

    const Records after = inFile();
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [id, rec] : before) {
        Record e = rec;
        if (id <= 9 && rec.at("Name ID") == "200") e["CreateTime"] = kNow;
        EXPECT_EQ(after.at(id), e) << "activity " << id;
    }
    // Durations with seconds keep them although the grid shows whole minutes.
    EXPECT_EQ(after.at(2).at("Duration"), durationValue(1, 29, 30));
    EXPECT_EQ(after.at(7).at("Duration"), durationValue(1, 29, 29));

    closeProgram();
    auto x = mdbExport(timerPath);
    EXPECT_EQ(x.at("2").at("Duration"), "1899-12-30 01:29:30");
    EXPECT_EQ(x.at("7").at("Duration"), "1899-12-30 01:29:29");
    EXPECT_EQ(x.at("8").at("CreateTime"), "2026-12-06 10:00:00");
    EXPECT_EQ(x.at("11").at("CreateTime"), "2026-12-04 17:05:00");
}

TEST_F(SaveWeek, CellIdsFollowTheRecordsAcrossSaves) {
    Hourgrid& w = openWeek();
    w.Grid.setTextMatrix(2, 15, "");       // activity 5
    w.Grid.setTextMatrix(3, 21, "02:00");  // new on Sunday
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_EQ(w.id(15, 2), 0);
    const int32_t added = w.id(21, 3);
    ASSERT_GT(added, 16);
    const size_t count = inFile().size();

    // Saving again neither deletes nor adds anything more.
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_EQ(w.id(15, 2), 0);
    EXPECT_EQ(w.id(21, 3), added);
    const Records again = inFile();
    EXPECT_EQ(again.size(), count);
    EXPECT_EQ(again.at(added).at("Duration"), durationValue(2, 0));

    // Changing the new cell updates its record in place.
    w.Grid.setTextMatrix(3, 21, "03:10");
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_EQ(w.id(21, 3), added);
    EXPECT_EQ(inFile().at(added).at("Duration"), durationValue(3, 10));
    EXPECT_TRUE(platform.messages.empty());
}

// What was saved is what the week shows when it is loaded again.
TEST_F(SaveWeek, TheSavedWeekLoadsAsItWasLeft) {
    Hourgrid& w = openWeek();
    w.Grid.setTextMatrix(1, 9, "02:00");
    w.Grid.setTextMatrix(2, 12, "");
    w.Grid.setTextMatrix(3, 21, "01:15");  // Acme Website Redesign / Development, Sunday
    ASSERT_TRUE(w.SaveGrid());
    const int32_t added = w.id(21, 3);
    w.SetMonday("11/30/2026");
    EXPECT_EQ(w.Grid.textMatrix(1, 3), "02:30");
    EXPECT_EQ(w.Grid.textMatrix(1, 9), "02:00");
    EXPECT_EQ(w.id(9, 1), 2);
    EXPECT_EQ(w.Grid.textMatrix(3, 6), "04:15");
    EXPECT_EQ(w.Grid.textMatrix(3, 21), "01:15");
    EXPECT_EQ(w.id(21, 3), added);
    EXPECT_EQ(w.Grid.textMatrix(3, 22), "*");
    EXPECT_EQ(w.Grid.foreColorAt(3, 21), kGreen);
    EXPECT_EQ(w.Grid.backColorAt(3, 21), kYellow);
    // Activity 4 is gone; Wednesday's second activity keeps its row with Friday's.
    EXPECT_EQ(w.Grid.textMatrix(2, 9), "01:00");
    EXPECT_EQ(w.Grid.textMatrix(2, 12), "");
    EXPECT_EQ(w.Grid.textMatrix(2, 15), "00:45");
    EXPECT_EQ(w.Grid.textMatrix(w.Grid.rows() - 1, 24), "45:13");  // 46:28 less 03:00, plus 00:30 and 01:15
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SaveWeek, AVanishedRecordIsWrittenAgainAndTheCellFollows) {
    Hourgrid& w = openWeek();
    {
        auto rs = w.m_db->OpenDynaset("Activities");
        for (int id : {9, 4}) {
            rs->FindFirst("ID=" + std::to_string(id));
            ASSERT_FALSE(rs->NoMatch());
            rs->Delete();
        }
    }
    w.Grid.setTextMatrix(2, 12, "");  // the cell of vanished activity 4, emptied
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(w.id(12, 2), 0);
    const int32_t again = w.id(6, 3);
    EXPECT_GT(again, 16);
    const Records after = inFile();
    ASSERT_EQ(after.count(again), 1u);
    expectFields(after.at(again), {{"Duration", durationValue(4, 15)}, {"UserDate", dateValue(QDate(2026, 12, 1))},
                                   {"CustJob ID", "109"}, {"Service ID", "13"}, {"Payroll Item ID", "2"},
                                   {"Billable Status", "True"}});
    EXPECT_EQ(after.size(), 15u);
}

// The dynaset the week's writes use reads only the records it finds by key.
TEST_F(SaveWeek, KeyedDynasetReadsWhatItFinds) {
    Hourgrid& w = openWeek();
    auto rs = w.m_db->OpenKeyedDynaset("Activities");
    EXPECT_EQ(rs->RecordCount(), 0);
    rs->FindFirst("ID=7");
    ASSERT_FALSE(rs->NoMatch());
    EXPECT_EQ(rs->Field("Duration").toDouble(), serial(QDate(1899, 12, 30), QTime(1, 29, 29)));
    EXPECT_EQ(rs->RecordCount(), 1);
    rs->FindFirst("ID=7");  // found again, not read twice
    EXPECT_EQ(rs->RecordCount(), 1);
    rs->FindFirst("ID=999");
    EXPECT_TRUE(rs->NoMatch());
    rs->Edit();  // still on activity 7
    rs->SetField("Note", jet::Value::text("seen"));
    rs->Update();
    EXPECT_EQ(inFile().at(7).at("Note"), "\"seen\"");
    // Any other criterion reads the table.
    rs->FindFirst("Name ID=202");
    ASSERT_FALSE(rs->NoMatch());
    EXPECT_EQ(rs->Field("ID").toDouble(), 11);
    EXPECT_EQ(rs->RecordCount(), 16);
}

struct Fault {
    const char* phase;
    int nth;  // fail before the nth page of that phase
};
void PrintTo(const Fault& f, std::ostream* os) { *os << f.phase << " page " << f.nth; }

class SaveFault : public SaveWeek, public ::testing::WithParamInterface<Fault> {};

// A failure in the middle of writing the file: the file keeps the whole week as it
// was, the cells' IDs name the records it holds, and the typed cells stay.
TEST_P(SaveFault, LeavesTheFileAndTheIdsAsBefore) {
    Hourgrid& w = openWeek();
    const Records before = inFile();
    w.Grid.setTextMatrix(1, 9, "02:00");  // changed
    w.Grid.setTextMatrix(2, 12, "");      // emptied
    w.Grid.setTextMatrix(1, 15, "01:15"); // new
    w.Grid.setTextMatrix(7, 3, "00:20");  // new
    const auto idsBefore = Access::ids(w);

    int pages = 0;
    bool failed = false;
    const Fault f = GetParam();
    jet::detail::writablePager(w.m_db->engine()).setFaultHook([&](const char* phase, uint32_t) {
        if (std::strcmp(phase, f.phase) == 0 && ++pages == f.nth) {
            failed = true;
            throw std::runtime_error("simulated crash");
        }
    });
    EXPECT_FALSE(w.SaveGrid());
    ASSERT_TRUE(failed) << "the save wrote fewer pages than the fault waits for";
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("simulated crash"), std::string::npos);
    EXPECT_NE(platform.messages[0].text.find(kNotSaved), std::string::npos);
    EXPECT_EQ(Access::ids(w), idsBefore);
    EXPECT_EQ(w.id(15, 1), 0);
    EXPECT_EQ(w.id(12, 2), 4);
    EXPECT_EQ(w.Grid.textMatrix(1, 15), "01:15");

    closeProgram();
    const Records after = readFile(timerPath);
    EXPECT_EQ(after, before);
    EXPECT_FALSE(std::filesystem::exists(jet::journalPath(timerPath)));
    for (int r = 1; r < static_cast<int>(idsBefore[3].size()); ++r)
        for (int c = 3; c <= 21; c += 3) {
            int32_t id = idsBefore[static_cast<size_t>(c)][static_cast<size_t>(r)];
            if (id > 0) {
                EXPECT_EQ(after.count(id), 1u) << "cell " << r << "," << c;
            }
        }
    auto x = mdbExport(timerPath);
    EXPECT_EQ(x.size(), 16u);
    EXPECT_EQ(x.at("2").at("Duration"), "1899-12-30 01:29:30");
    EXPECT_EQ(x.at("4").at("Duration"), "1899-12-30 03:00:00");
    EXPECT_EQ(x.at("1").at("CreateTime"), "2026-12-04 17:05:00");
}

INSTANTIATE_TEST_SUITE_P(Phases, SaveFault,
                         ::testing::Values(Fault{"journal", 1}, Fault{"file", 1}, Fault{"file", 2}, Fault{"file", 3}),
                         [](const auto& info) {
                             return std::string(info.param.phase) + std::to_string(info.param.nth);
                         });

// A write error the file reports (here: the journal cannot be created beside it)
// saves nothing; the program goes on with the file, and the same save made again
// once the file can be written does the whole week once.
TEST_F(SaveWeek, AFailedSaveCanBeMadeAgain) {
    Hourgrid& w = openWeek();
    const Records before = inFile();
    w.Grid.setTextMatrix(1, 9, "02:00");
    w.Grid.setTextMatrix(2, 12, "");
    w.Grid.setTextMatrix(1, 15, "01:15");
    const auto idsBefore = Access::ids(w);
    const std::string journal = jet::journalPath(timerPath);
    std::filesystem::create_directory(journal);

    EXPECT_FALSE(w.SaveGrid());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find(kNotSaved), std::string::npos);
    EXPECT_EQ(Access::ids(w), idsBefore);
    EXPECT_EQ(inFile(), before);

    std::filesystem::remove(journal);
    platform.messages.clear();
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_TRUE(platform.messages.empty());
    const Records after = inFile();
    EXPECT_EQ(after.size(), 16u);  // one deleted, one added
    EXPECT_EQ(after.count(4), 0u);
    EXPECT_EQ(w.id(12, 2), 0);
    ASSERT_EQ(after.count(w.id(15, 1)), 1u);
    EXPECT_EQ(after.at(w.id(15, 1)).at("Duration"), durationValue(1, 15));
    EXPECT_EQ(after.at(2).at("Duration"), durationValue(2, 0));
}

TEST_F(SaveWeek, ACellThatPassesValidationButIsNoDurationIsLeftOut) {
    Hourgrid& w = openWeek();
    w.Grid.setTextMatrix(1, 3, "00:00");   // activity 1
    w.Grid.setTextMatrix(1, 15, "01:00");  // new
    ASSERT_TRUE(w.SaveGrid());
    weektest::expectOnlyMessage(platform, kEnterValid);
    const Records after = inFile();
    EXPECT_EQ(w.id(3, 1), 1);
    EXPECT_EQ(after.at(1).at("Duration"), durationValue(2, 30));
    EXPECT_EQ(after.at(1).at("CreateTime"), kCreatedBefore);
    EXPECT_GT(w.id(15, 1), 16);
    EXPECT_EQ(after.at(3).at("CreateTime"), kNow);
}

TEST_F(SaveWeek, ValidateCellExamples) {
    Hourgrid& w = openWeek();
    const QDate day(2026, 12, 2);
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        // "" passes; minutes over 59 below 23 hours pass; a whole day in minutes does not.
        {"", {"", "23:59", "5:75", "00:00", "12", "1.5", "1:30.5"}},
        {"You cannot enter more than 23:59 for any activity: ", {"24:00", "23:60", "24", "22:120"}},
        {"You cannot enter negative time: ", {"-1:00", "0:-5", "-1"}},
        {"Invalid time entry: ", {"a:00", ":30", "2:", "abc", "   ", "32768:00", "1:32768"}},
    };
    for (const auto& [message, texts] : cases)
        for (const auto& text : texts) {
            SCOPED_TRACE("cell \"" + text + "\"");
            platform.messages.clear();
            EXPECT_EQ(Access::validateCell(w, 1, text, day), message.empty());
            if (message.empty())
                EXPECT_TRUE(platform.messages.empty());
            else
                weektest::expectOnlyMessage(platform, message + shortDate(day));  // each names the day
        }
}

TEST_F(SaveWeek, ValidateCellWantsTheRowsReferencesAndAPerson) {
    Hourgrid& w = openWeek();
    const int r = 14;  // the empty row
    const QDate day(2026, 11, 30);
    auto check = [&](const std::string& text, const std::string& expected) {
        platform.messages.clear();
        EXPECT_FALSE(Access::validateCell(w, r, text, day));
        weektest::expectOnlyMessage(platform, expected);
    };
    check("01:00", "Please select a Customer:Job for every activity");
    check("24:00", "You cannot enter more than 23:59 for any activity: " + shortDate(day));  // time first
    w.Grid.setTextMatrix(r, 0, "Delta Logistics");
    check("01:00", "Please select a Service Item for every activity");
    w.Grid.setTextMatrix(r, 1, "Project Management");
    check("01:00", "Please select a Class for every activity");
    w.Grid.setTextMatrix(r, 2, "Commercial");
    // Only the heading texts count, not the IDs behind them.
    platform.messages.clear();
    EXPECT_TRUE(Access::validateCell(w, r, "01:00", day));
    EXPECT_TRUE(platform.messages.empty());
    w.m_lNameID = -1;
    check("01:00", "Please select a Name by clicking on the Name button.");
    platform.messages.clear();
    EXPECT_TRUE(Access::validateCell(w, r, "", day));  // an empty cell needs nothing
}

TEST_F(SaveWeek, AnInvalidWeekShowsTheFirstFailureAndWritesNothing) {
    Hourgrid& w = openWeek();
    const Records before = inFile();
    w.Grid.setTextMatrix(3, 9, "abc");    // row 3, Wednesday
    w.Grid.setTextMatrix(3, 6, "24:00");  // row 3, Tuesday: earlier in the row
    w.Grid.setTextMatrix(5, 3, "-1:00");  // a later row
    w.Grid.setTextMatrix(1, 15, "01:00"); // a valid new cell
    EXPECT_FALSE(w.ValidateGrid());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "You cannot enter more than 23:59 for any activity: " + shortDate(QDate(2026, 12, 1)));
    platform.messages.clear();
    EXPECT_FALSE(w.SaveGrid());
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(inFile(), before);
    EXPECT_EQ(w.id(15, 1), 0);
}

TEST_F(SaveWeek, ARowWithoutClassBlocksTheSaveUntilOneIsChosen) {
    Hourgrid& w = openWeek();
    const int r = 14;
    w.Grid.setTextMatrix(r, 0, "Delta Logistics");
    w.Grid.setTextMatrix(r, 1, "Project Management");
    Access::idRef(w, 0, r) = 103;
    Access::idRef(w, 1, r) = 15;
    w.Grid.setTextMatrix(r, 3, "01:00");
    const size_t count = inFile().size();
    EXPECT_FALSE(w.SaveGrid());
    weektest::expectOnlyMessage(platform, "Please select a Class for every activity");
    EXPECT_EQ(inFile().size(), count);

    w.Grid.setTextMatrix(r, 2, "Commercial");
    Access::idRef(w, 2, r) = 3;
    EXPECT_TRUE(w.SaveGrid());
    const int32_t id = w.id(3, r);
    ASSERT_GT(id, 16);
    expectFields(inFile().at(id), {{"CustJob ID", "103"}, {"Service ID", "15"}, {"Class ID", "3"}});
}

TEST_F(SaveWeek, WithoutAPersonTheWeekCannotBeSaved) {
    Hourgrid& w = openWeek();
    const Records before = inFile();
    w.m_lNameID = -1;
    EXPECT_FALSE(w.SaveGrid());
    weektest::expectOnlyMessage(platform, "Please select a Name by clicking on the Name button.");
    EXPECT_EQ(inFile(), before);
}

TEST_F(SaveWeek, WithoutATimerFileNothingIsValidatedOrSaved) {
    Hourgrid& w = start();
    EXPECT_FALSE(w.m_bDbOpen);
    w.Grid.setRows(3);
    w.Grid.setTextMatrix(1, 3, "01:00");
    EXPECT_FALSE(w.ValidateGrid());
    EXPECT_FALSE(w.SaveGrid());
    Access::noLeaveCell(w) = true;
    w.Grid.setRow(1);
    w.Grid.setCol(3);
    Access::saveCurrentCell(w);
    EXPECT_TRUE(platform.messages.empty());
}

struct MarkerCase {
    int row, col;
    int32_t id;
    ui::Color fore, back;
    std::string b, n;
};

// The cell is written at once and its markers and colours come from the record.
TEST_F(SaveWeek, SaveCurrentCellRefreshesMarkersFromTheRecord) {
    Hourgrid& w = openWeek([](jet::Database& db) { edit(db, 5, {{"Note", jet::Value::text("Call notes")}}); });
    const std::vector<MarkerCase> cases = {
        {1, 3, 1, kMagenta, kYellow, "*", "Homepage mockups"},          // billable, note, not exported
        {4, 6, 6, kMagenta, ui::kSysWindowBackground, "*", kLongNote},  // exported
        {3, 6, 9, kGreen, kYellow, "*", ""},                            // billable, no note
        {2, 15, 5, kBlue, kYellow, "", "Call notes"},                   // not billable, note
        {6, 18, 7, ui::kSysWindowText, ui::kSysWindowBackground, "", ""},
        {2, 9, 3, ui::kSysWindowText, kYellow, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("activity " + std::to_string(c.id));
        w.Grid.setColorsAt(c.row, c.col, 0x123456, 0x654321);
        w.Grid.setTextMatrix(c.row, c.col + 1, "?");
        w.Grid.setTextMatrix(c.row, c.col + 2, "?");
        saveCell(c.row, c.col);
        EXPECT_EQ(w.id(c.col, c.row), c.id);
        EXPECT_EQ(w.Grid.foreColorAt(c.row, c.col), c.fore);
        EXPECT_EQ(w.Grid.backColorAt(c.row, c.col), c.back);
        EXPECT_EQ(w.Grid.textMatrix(c.row, c.col + 1), c.b);
        EXPECT_EQ(w.Grid.textMatrix(c.row, c.col + 2), c.n);
        EXPECT_EQ(inFile().at(c.id).at("CreateTime"), kNow);
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SaveWeek, SaveCurrentCellAddsChangesAndDeletes) {
    Hourgrid& w = openWeek();
    // A new duration in the empty row, before any reference is chosen.
    saveCell(14, 3, "01:00");
    const int32_t id = w.id(3, 14);
    ASSERT_GT(id, 16);
    expectFields(inFile().at(id), {{"CustJob ID", "0"}, {"Service ID", "0"}, {"Class ID", "0"}, {"Name ID", "200"},
                                   {"Payroll Item ID", "2"}, {"Billable Status", "True"},
                                   {"Duration", durationValue(1, 0)}});
    EXPECT_EQ(w.Grid.foreColorAt(14, 3), kGreen);
    EXPECT_EQ(w.Grid.backColorAt(14, 3), kYellow);
    EXPECT_EQ(w.Grid.textMatrix(14, 4), "*");

    // Changed, then emptied: the record follows, then goes; B and N stay as they were.
    saveCell(14, 3, "02:45");
    EXPECT_EQ(w.id(3, 14), id);
    EXPECT_EQ(inFile().at(id).at("Duration"), durationValue(2, 45));
    saveCell(14, 3, "");
    EXPECT_EQ(w.id(3, 14), 0);
    EXPECT_EQ(inFile().count(id), 0u);
    EXPECT_EQ(w.Grid.foreColorAt(14, 3), ui::kSysWindowText);
    EXPECT_EQ(w.Grid.backColorAt(14, 3), ui::kSysWindowBackground);
    EXPECT_EQ(w.Grid.textMatrix(14, 4), "*");
    EXPECT_TRUE(platform.messages.empty());
}

// A cell write the file refuses is reported, and the cell's ID still names what
// the file holds: nothing for a new cell, the record kept for an emptied one.
TEST_F(SaveWeek, SaveCurrentCellReportsAFailedWrite) {
    Hourgrid& w = openWeek();
    const Records before = inFile();
    const std::string journal = jet::journalPath(timerPath);
    std::filesystem::create_directory(journal);
    struct Step {
        int row, col;
        std::string text;
        int32_t id;
    };
    for (const Step& s : {Step{1, 15, "01:15", 0}, Step{2, 12, "", 4}, Step{1, 9, "02:00", 2}}) {
        SCOPED_TRACE(s.row * 100 + s.col);
        platform.messages.clear();
        saveCell(s.row, s.col, s.text);
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(platform.messages[0].text.find("cannot save changes"), std::string::npos) << platform.messages[0].text;
        EXPECT_EQ(w.id(s.col, s.row), s.id);
    }
    EXPECT_EQ(inFile(), before);
    std::filesystem::remove(journal);
}

TEST_F(SaveWeek, SaveCurrentCellIgnoresCellsThatAreNoDurations) {
    Hourgrid& w = openWeek();
    const Records before = inFile();
    for (int col : {0, 2, 4, 5, 22, 24}) saveCell(1, col);
    for (int col : {3, 21}) {  // the totals row
        w.Grid.setRow(w.Grid.rows() - 1);
        w.Grid.setCol(col);
        ASSERT_FALSE(w.Grid.text().empty());
        Access::saveCurrentCell(w);
    }
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(inFile(), before);
}

}  // namespace

TEST_F(SaveWeek, ADurationJustUnderADayShowsAndStaysAsStored) {
    // Sunday's 23:59 activity given 45 seconds more: the week shows 23:59, and
    // saving the unchanged week must not cut the stored seconds.
    int32_t sundayId = 0;
    Hourgrid& w = openWeek([&](jet::Database& db) {
        for (const auto& [id, rec] : readActivities(db))
            if (rec.at("Duration") == durationValue(23, 59)) sundayId = id;
        ASSERT_NE(sundayId, 0);
        edit(db, sundayId, {{"Duration", weektest::duration(23, 59, 45)}});
    });
    int row = 0;
    for (int r = 1; r < w.Grid.rows() - 1; ++r)
        if (w.id(21, r) == sundayId) row = r;
    ASSERT_NE(row, 0);
    EXPECT_EQ(w.Grid.textMatrix(row, 21), "23:59");
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_EQ(inFile().at(sundayId).at("Duration"), durationValue(23, 59, 45));
}

TEST_F(SaveWeek, AnActivityUnderHalfAMinuteShowsZeroAndSavesWithoutComplaint) {
    // Activity 1 (Monday) given 20 seconds: it reads 00:00, a text the parser
    // refuses; saving the untouched week keeps it as stored and says nothing.
    Hourgrid& w = openWeek([](jet::Database& db) {
        edit(db, 1, {{"Duration", weektest::duration(0, 0, 20)}});
    });
    EXPECT_EQ(w.Grid.textMatrix(1, 3), "00:00");
    ASSERT_TRUE(w.SaveGrid());
    EXPECT_TRUE(platform.messages.empty()) << platform.messages.front().text;
    EXPECT_EQ(w.id(3, 1), 1);
    const Records after = inFile();
    EXPECT_EQ(after.at(1).at("Duration"), durationValue(0, 0, 20));
    EXPECT_EQ(after.at(1).at("CreateTime"), kNow);
}
