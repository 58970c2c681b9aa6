// Plays the user on the main window over a copy of sample.tdb and reads its "Activities" back, with the
// engine and, from the closed file, with mdb-export. Alice Moreno's week of 11/30/2026 as it loads (today
// Sunday 12/06/2026 10:00; day d's duration, B and N cells are columns 3d+3 to 3d+5, the totals column 24):
//   row 1  Acme Corporation:Website Redesign / Design / Commercial: Mon 02:30 (activity 1), Wed 01:30 (2, exported)
//   row 2  the same: Wed 01:00 (3), Thu 03:00 (4), Fri 00:45 (5)      row 3  Acme / Development: Tue 04:15 (9)
//   row 4  Baker & Sons / Installation / Residential: Tue 08:00 (6, exported)    row 5  Café Aurora: Sun 23:59 (8)
//   row 6  City of Riverton / Consulting / Government: Sat 01:29 (7, exported)
//   rows 7-13 the combinations used in the last 30 days, row 14 empty, row 15 the totals.
#pragma once
#include <QLocale>
#include <functional>
#include <sstream>
#include "app_fixture.h"
#include "jet/pager.h"
#include "jet/table.h"
#include "jet/write_internal.h"

using app::Hourgrid;
using Record = std::map<std::string, std::string>;  // field -> value as the engine (or mdb-export) prints it
using Records = std::map<int32_t, Record>;

inline double serial(const QDate& d, const QTime& t = {0, 0}) { return QDate(1899, 12, 30).daysTo(d) + t.msecsSinceStartOfDay() / 86400000.0; }
inline std::string dateValue(const QDate& d, const QTime& t = {0, 0}) { return jet::toDebugString(jet::Value::date(serial(d, t))); }
inline std::string dur(int h, int m, int s = 0) { return dateValue(QDate(1899, 12, 30), QTime(h, m, s)); }
inline const std::string kNow = dateValue(QDate(2026, 12, 6), QTime(10, 0)), kCreated = dateValue(QDate(2026, 12, 4), QTime(17, 5));

inline Records readActivities(jet::Database& db) {
    auto t = db.table("Activities");
    Records out;
    for (auto cur = t->scan(); cur.next();)
        for (size_t c = 0; c < t->columns().size(); ++c)
            out[std::stoi(jet::toDebugString(cur.row()[t->columnIndex("ID")]))][t->columns()[c].name] = jet::toDebugString(cur.row()[c]);
    return out;
}
inline Records readFile(const std::string& path) { return readActivities(*jet::Database::open(path, jet::OpenMode::Exclusive)); }
inline Records sampleFile() { return readFile(std::string(TEST_DATA_DIR) + "/timer/sample.tdb"); }
inline Records mdbExport(const std::string& path) {  // "Activities" as mdb-export prints it from a closed file
    std::stringstream lines(testfiles::output("mdb-export -d '|' -Q -T '%Y-%m-%d %H:%M:%S' '" + path + "' Activities"));
    if (lines.str().empty()) throw std::runtime_error("mdb-export failed on " + path);
    Texts header;
    Records out;
    for (std::string line, f; std::getline(lines, line);) {  // a header line, then a row a line
        Texts parts;
        for (std::stringstream fields(line + "|"); std::getline(fields, f, '|');) parts.push_back(f);
        for (size_t i = 0; i < header.size(); ++i) out[std::stoi(parts[0])][header[i]] = i < parts.size() ? parts[i] : "";
        if (header.empty()) header = parts;
    }
    return out;
}
inline void expectFields(const Record& r, const Record& expected) {  // every field named has that value
    for (const auto& [field, value] : expected) EXPECT_EQ(r.count(field) ? r.at(field) : "<none>", value) << field;
}
inline void edit(jet::Database& db, int32_t id, const std::map<std::string, jet::Value>& values) {  // activity `id`, by the engine
    auto t = db.table("Activities");
    jet::FieldValues fv;
    for (const auto& [name, v] : values) fv.push_back({t->columnIndex(name), v});
    db.updateRow("Activities", t->seek(*t->primaryKey(), {jet::Value::int32(id)}).at(0), fv);
}
struct RefusedWrites {  // while it lives, the Timer file refuses every write: its journal cannot be created
    std::string journal;
    explicit RefusedWrites(const std::string& path) : journal(jet::journalPath(path)) { std::filesystem::create_directory(journal); }
    ~RefusedWrites() { std::filesystem::remove(journal); }
};
inline int durCol(int d) { return 3 + 3 * d; }  // day d, 0 Monday .. 6 Sunday

inline constexpr ui::Color kNotExported = 0xD5FFFF, kGreen = 0x009600, kBlue = 0xFF0000, kMagenta = 0xC800C8;
inline constexpr ui::Color kText = ui::kSysWindowText, kBack = ui::kSysWindowBackground;
inline constexpr const char *kAcme = "Acme Corporation:Website Redesign", *kBadTime = "Enter a valid time. For example: 2:00 or 120 or 2";
inline constexpr const char *kTooLong = "You cannot enter more than 23:59 for any activity: ", *kNotSaved = "None of the week's changes were saved.";
inline constexpr const char* kExportedQuestion = "This activity has already been exported. You can change the status to "
                                                 "unexported, or leave the status as exported. Do you want to change the status to unexported?";
inline const std::string kLongNote = "Installed the upper cabinets, adjusted the hinges on all doors, sealed the backsplash and met the "
                                     "electrician to plan the under-cabinet lighting for next week.";

class Week : public AppFixture {
protected:
    void SetUp() override { AppFixture::SetUp(), QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }  // US dates
    void TearDown() override { QLocale::setDefault(QLocale::system()), AppFixture::TearDown(); }
    // Starts the program afresh on a new copy of sample.tdb changed first by `prepare`.
    Hourgrid& open(const std::function<void(jet::Database&)>& prepare = {}) {
        win.reset(), platform = ScriptedPlatform(), app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
        timerPath = copyTimer("sample.tdb");
        if (prepare) prepare(*jet::Database::open(timerPath, jet::OpenMode::Exclusive));
        return load(timerPath);
    }
    Hourgrid& w() { return *win; }
    ui::FlexGrid& grid() { return win->Grid; }
    std::string cell(int r, int c) { return win->Grid.textMatrix(r, c); }
    int lastRow() { return win->Grid.rows() - 2; }
    std::pair<int, int> at() { return {grid().row(), grid().col()}; }
    std::pair<ui::Color, ui::Color> colors(int r, int c) { return {grid().foreColorAt(r, c), grid().backColorAt(r, c)}; }
    // The activities in the file the window holds open, or in the file it let go.
    Records inFile() { return win && win->m_db ? readActivities(win->m_db->engine()) : readFile(timerPath); }
    Records closeAndRead() { return win.reset(), readFile(timerPath); }
    void deleteActivity(int32_t id) { auto rs = win->m_db->OpenDynaset("Activities"); rs->FindFirst("ID=" + std::to_string(id)), rs->Delete(); }
    Texts messages(Texts out = {}) const { for (const auto& m : platform.messages) out.push_back(m.text); return out; }
    void expectOnlyMessage(const std::string& text, ui::Buttons buttons = ui::Buttons::OK) {  // no icon, the program's title
        ASSERT_EQ(messages(), Texts{text});
        EXPECT_TRUE(platform.messages[0].buttons == buttons && platform.messages[0].icon == ui::Icon::None && platform.messages[0].title == "Hourgrid");
    }
    // The engine's report of a write the file refused.
    void expectRefusedWrite() { EXPECT_NE((messages().empty() ? "" : messages().back()).find("cannot save changes"), std::string::npos); }
    void failWritesAfter(int allowed) {
        auto fail = [allowed, n = 0](const char*, uint32_t) mutable { if (++n > allowed) throw std::runtime_error("simulated write failure"); };
        jet::detail::writablePager(win->m_db->engine()).setFaultHook(fail);
    }
    void click(int r, int c) { win->Grid.userMouseDown(r, c, 1, 0, 0, 0); }
    int gridKey(int k) { return win->Grid.userKeyPress(k), k; }  // the code as the handler left it
    void enter() { win->TimeEntry.typeKey(13); }
    void entry(int r, int c, const std::string& text) { click(r, c), win->TimeEntry.userEdited(text), enter(); }  // typed over, and Enter
    void arrowTo(int r, int c) { win->Grid.setRow(r), win->Grid.setCol(c); }  // the grid's own leave-cell event runs
    ui::ComboBox& combo(int c) { return c == 0 ? win->CustJobCombo : c == 1 ? win->ServiceCombo : win->ClassCombo; }
    // Picks `text` in the combo a click opens over heading cell (r, c); a click elsewhere commits it.
    void choose(int r, int c, const std::string& text) {
        click(r, c);
        for (int i = 0; i < combo(c).listCount(); ++i)
            if (combo(c).list(i) == text) combo(c).setListIndex(i);
        ASSERT_EQ(combo(c).visible() ? combo(c).text() : "<hidden>", text);
    }
};
