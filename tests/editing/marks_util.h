// What the reference and marker tests share: reaching the main window's private
// editing routines, a week built by hand over an opened Timer test copy, and
// reading activities back from the file.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/hourgrid.h"
#include "app_fixture.h"
#include "grid_driver.h"
#include "jet/database.h"
#include "jet/pager.h"
#include "jet/query.h"
#include "jet/table.h"
#include "timerdb/timerdb.h"

namespace app {
// The one definition for the editing tests; add what other editing tests need here.
struct HourgridTestAccess {
    static std::vector<std::vector<int32_t>>& ids(Hourgrid& w) { return w.m_ids; }
    static bool& noLeaveCell(Hourgrid& w) { return w.m_bNoLeaveCell; }
    static bool checkExported(Hourgrid& w, int row, int col) {
        return w.CheckExported(static_cast<int16_t>(row), static_cast<int16_t>(col));
    }
    static void bCellAction(Hourgrid& w) { w.BCellAction(); }
    static void nCellAction(Hourgrid& w) { w.NCellAction(); }
    static bool headingCellCheck(Hourgrid& w) { return w.HeadingCellCheck(); }
    static void showComboAtCell(Hourgrid& w, ui::ComboBox& combo) { w.ShowComboAtCell(combo); }
    static void commitRowCombo(Hourgrid& w, int col, ui::ComboBox& combo) {
        w.CommitRowCombo(static_cast<int16_t>(col), combo);
    }
};
}  // namespace app

namespace marks {

using Access = app::HourgridTestAccess;

// Activity fields as the file holds them.
struct Activity {
    bool found = false;
    int32_t custJob = 0, service = 0, cls = 0;
    bool billable = false, exported = false;
    std::optional<std::string> note;  // nullopt: Null
    double createTime = 0;
};

inline Activity readActivity(timerdb::Database& db, int32_t id) {
    Activity a;
    auto rs = db.OpenDynaset("Activities");
    rs->FindFirst("ID=" + std::to_string(id));
    if (rs->NoMatch()) return a;
    auto i32 = [&](const char* f) { auto v = rs->Field(f); return v.isNull() ? 0 : static_cast<int32_t>(v.toDouble()); };
    auto flag = [&](const char* f) { auto v = rs->Field(f); return !v.isNull() && v.toDouble() != 0; };
    a.found = true;
    a.custJob = i32("CustJob ID");
    a.service = i32("Service ID");
    a.cls = i32("Class ID");
    a.billable = flag("Billable Status");
    a.exported = flag("Exported");
    auto note = rs->Field("Note");
    if (!note.isNull()) a.note = note.asText();
    a.createTime = rs->Field("CreateTime").toDouble();
    return a;
}

// Every activity of the file as text, to show that an action changed nothing.
inline std::string dumpActivities(timerdb::Database& db) {
    auto rs = jet::runNamed(db.engine(), "Activities");
    std::string out;
    for (const auto& row : rs.rows) {
        for (const auto& v : row) out += jet::toDebugString(v) + "|";
        out += "\n";
    }
    return out;
}

// The three answers to an exported question: whether the action goes on, and
// whether the activity is still exported afterwards.
struct ExportedAnswer {
    ui::Answer answer;
    bool goesOn, exportedAfter;
};
inline const ExportedAnswer kExportedAnswers[] = {
    {ui::Answer::Yes, true, false}, {ui::Answer::No, true, true}, {ui::Answer::Cancel, false, true}};

struct DayCell {
    int day;
    int32_t id;
    std::string text;
};
struct HandRow {
    std::string custJob, service, cls;
    int32_t custJobId, serviceId, classId;
    std::vector<DayCell> days;
};

// Alice Moreno's activities of the sample file, laid out as the week shows them.
inline std::vector<HandRow> sampleWeek() {
    return {
        {"Acme Corporation:Website Redesign", "Design", "Commercial", 109, 11, 3,
         {{0, 1, "02:30"}, {2, 2, "01:29"}, {3, 4, "03:00"}, {4, 5, "00:45"}}},
        {"Baker & Sons:Kitchen Remodel", "Installation", "Residential", 106, 14, 5, {{1, 6, "08:00"}}},
        {"City of Riverton:Parks Survey", "Consulting", "Government", 104, 10, 4, {{5, 7, "01:29"}}},
    };
}

// The main window with the week of 11/30/2026 built into its grid by hand, so
// that the editing routines can be driven whatever fills the grid at start-up.
class MarksFixture : public GridFixture {
protected:
    app::Hourgrid& openWeek(const std::vector<HandRow>& rows = sampleWeek()) {
        app::Hourgrid& w = openTimer("sample.tdb");
        setRows(w, rows);
        return w;
    }

    void setRows(app::Hourgrid& w, const std::vector<HandRow>& rows) {
        const int n = static_cast<int>(rows.size()) + 2;
        Access::noLeaveCell(w) = true;
        w.Grid.setRows(n);
        for (int r = 1; r < n; ++r)
            for (int c = 0; c < w.Grid.cols(); ++c) {
                w.Grid.setTextMatrix(r, c, "");
                w.Grid.setColorsAt(r, c, ui::kSysWindowText, ui::kSysWindowBackground);
            }
        auto& ids = Access::ids(w);
        ids.assign(25, std::vector<int32_t>(static_cast<size_t>(n), 0));
        for (int r = 1; r <= static_cast<int>(rows.size()); ++r) {
            const HandRow& h = rows[static_cast<size_t>(r - 1)];
            w.Grid.setTextMatrix(r, 0, h.custJob);
            w.Grid.setTextMatrix(r, 1, h.service);
            w.Grid.setTextMatrix(r, 2, h.cls);
            ids[0][static_cast<size_t>(r)] = h.custJobId;
            ids[1][static_cast<size_t>(r)] = h.serviceId;
            ids[2][static_cast<size_t>(r)] = h.classId;
            for (const auto& d : h.days) {
                w.Grid.setTextMatrix(r, durCol(d.day), d.text);
                ids[static_cast<size_t>(durCol(d.day))][static_cast<size_t>(r)] = d.id;
            }
        }
        w.Grid.setRow(1);
        w.Grid.setCol(3);
        Access::noLeaveCell(w) = false;
    }

    // Makes a cell current as the click handler does, without a commit.
    static void makeCurrent(app::Hourgrid& w, int r, int c) {
        Access::noLeaveCell(w) = true;
        w.Grid.setRow(r);
        w.Grid.setCol(c);
        Access::noLeaveCell(w) = false;
    }

    // Chooses `text` in the combo over heading cell (row, col) and commits it to the row.
    static void chooseInRow(app::Hourgrid& w, int row, int col, const std::string& text) {
        makeCurrent(w, row, col);
        Access::showComboAtCell(w, comboOf(w, col));
        comboOf(w, col).setListIndex(comboIndex(comboOf(w, col), text));
        Access::commitRowCombo(w, col, comboOf(w, col));
    }

    marks::Activity act(int32_t id) { return readActivity(*win->m_db, id); }

    std::string dump() { return dumpActivities(*win->m_db); }
};

}  // namespace marks

namespace marks {

// The week as the program fills it at start-up, driven through the grid's own
// events as a user's clicks and keys raise them.
class ClickFixture : public MarksFixture {
protected:
    app::Hourgrid& openLoaded() { return openTimer("sample.tdb"); }
};

}  // namespace marks
