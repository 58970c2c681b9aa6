// Filling the week from copies of the Timer test files, with today Sunday
// 12/06/2026: rows, days, markers, colours, recent rows and the row layout.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

#include "app_fixture.h"
#include "week_test_util.h"

using app::Hourgrid;
using weektest::rowText;

namespace {

constexpr ui::Color kGreen = 0x009600, kBlue = 0xFF0000, kMagenta = 0xC800C8, kYellow = 0xD5FFFF;
const std::string kLongNote =
    "Installed the upper cabinets, adjusted the hinges on all doors, sealed the backsplash and met the electrician "
    "to plan the under-cabinet lighting for next week.";

const char* kAcmeWeb = "Acme Corporation:Website Redesign";
const char* kBaker = "Baker & Sons:Kitchen Remodel";
const char* kCafe = "Caf\xC3\xA9 Aurora:Menu Design";
const char* kCity = "City of Riverton:Parks Survey";

class PopulateTest : public AppFixture {
protected:
    // Starts the program on a copy of sample.tdb changed first by `prepare`.
    Hourgrid& openChanged(const std::function<void(const std::string& path)>& prepare) {
        std::string path = copyTimer("sample.tdb");
        prepare(path);
        writeSetting("File", path);
        Hourgrid& w = start();
        w.Form_Load();
        return w;
    }
};

void expectRows(const Hourgrid& w, const std::vector<weektest::RowText>& expected) {
    ASSERT_EQ(w.Grid.rows(), static_cast<int>(expected.size()) + 2);
    for (size_t i = 0; i < expected.size(); ++i) {
        auto got = rowText(w, static_cast<int>(i) + 1);
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(got.custJob, expected[i].custJob);
        EXPECT_EQ(got.service, expected[i].service);
        EXPECT_EQ(got.cls, expected[i].cls);
        EXPECT_EQ(got.days, expected[i].days);
    }
}

}  // namespace

// The week of 11/30/2026 for Alice Moreno: six rows of activities (the two
// Wednesday activities of one combination split it in two rows, and its
// Thursday and Friday follow the second), then the seven combinations she used
// in the last 30 days, one empty row and the totals row.
TEST_F(PopulateTest, AliceWeekRowsDaysAndIds) {
    Hourgrid& w = openTimer();
    ASSERT_EQ(w.m_lNameID, 200);
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_TRUE(platform.messages.empty());

    expectRows(w, {
        {kAcmeWeb, "Design", "Commercial", {"02:30", "", "01:30", "", "", "", ""}},
        {kAcmeWeb, "Design", "Commercial", {"", "", "01:00", "03:00", "00:45", "", ""}},
        {kAcmeWeb, "Development", "Commercial", {"", "04:15", "", "", "", "", ""}},
        {kBaker, "Installation", "Residential", {"", "08:00", "", "", "", "", ""}},
        {kCafe, "Design", "Commercial", {"", "", "", "", "", "", "23:59"}},
        {kCity, "Consulting", "Government", {"", "", "", "", "", "01:29", ""}},
        {"Acme Corporation:Support Contract", "Consulting", "Commercial", {}},
        {kAcmeWeb, "Design", "Commercial", {}},
        {kAcmeWeb, "Development", "Commercial", {}},
        {kBaker, "Installation", "Residential", {}},
        {kCafe, "Design", "Commercial", {}},
        {kCity, "Consulting", "Government", {}},
        {"Delta Logistics", "Project Management", "Commercial", {}},
        {"", "", "", {}},
    });

    // Heading IDs of every data row, and the activity behind each duration cell.
    const int32_t heading[][3] = {{109, 11, 3}, {109, 11, 3}, {109, 13, 3}, {106, 14, 5}, {101, 11, 3},
                                  {104, 10, 4}, {108, 10, 3}, {109, 11, 3}, {109, 13, 3}, {106, 14, 5},
                                  {101, 11, 3}, {104, 10, 4}, {103, 15, 3}, {0, 0, 0}};
    for (int r = 1; r <= 14; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(w.id(c, r), heading[r - 1][c]) << "row " << r << " col " << c;
    struct Cell { int row, col; int32_t id; };
    const Cell cells[] = {{1, 3, 1}, {1, 9, 2}, {2, 9, 3}, {2, 12, 4}, {2, 15, 5},
                          {3, 6, 9}, {4, 6, 6}, {5, 21, 8}, {6, 18, 7}};
    std::set<std::pair<int, int>> filled;
    for (const auto& c : cells) {
        EXPECT_EQ(w.id(c.col, c.row), c.id) << "row " << c.row << " col " << c.col;
        filled.insert({c.row, c.col});
    }
    // Nothing else carries an ID: not the B, N and totals columns, not the
    // other rows, and nothing of Brian's or Chen's time in the same week.
    for (int r = 0; r < w.Grid.rows(); ++r)
        for (int c = 3; c < 25; ++c)
            if (!filled.count({r, c})) {
                EXPECT_EQ(w.id(c, r), 0) << "row " << r << " col " << c;
            }
    for (int c = 0; c < 25; ++c) {
        EXPECT_EQ(w.id(c, 0), 0);
        EXPECT_EQ(w.id(c, w.Grid.rows() - 1), 0);
    }
}

TEST_F(PopulateTest, MarkersNotesAndColours) {
    // A note on Friday's activity, which is not billable: the week then has all four colours.
    Hourgrid& w = openChanged([](const std::string& path) {
        weektest::editActivity(path, 5, {{"Note", jet::Value::text("Waiting for assets")}});
    });

    struct Expect {
        int row, col;
        const char* b;
        std::string n;
        ui::Color fore, back;
    };
    const Expect cells[] = {
        {1, 3, "*", "Homepage mockups", kMagenta, kYellow},           // billable, note, not exported
        {1, 9, "*", "", kGreen, ui::kSysWindowBackground},            // billable, exported
        {2, 9, "", "", ui::kSysWindowText, kYellow},                  // neither, not exported
        {2, 12, "*", "Review with client", kMagenta, kYellow},
        {2, 15, "", "Waiting for assets", kBlue, kYellow},            // note only
        {3, 6, "*", "", kGreen, kYellow},
        {4, 6, "*", kLongNote, kMagenta, ui::kSysWindowBackground},   // note over 100 characters, exported
        {5, 21, "*", "Late-night menu proofs", kMagenta, kYellow},
        {6, 18, "", "", ui::kSysWindowText, ui::kSysWindowBackground},  // neither, exported
    };
    for (const auto& e : cells) {
        SCOPED_TRACE("row " + std::to_string(e.row) + " col " + std::to_string(e.col));
        EXPECT_EQ(w.Grid.textMatrix(e.row, e.col + 1), e.b);
        EXPECT_EQ(w.Grid.textMatrix(e.row, e.col + 2), e.n);
        EXPECT_EQ(w.Grid.foreColorAt(e.row, e.col), e.fore);
        EXPECT_EQ(w.Grid.backColorAt(e.row, e.col), e.back);
    }
    // Empty day cells, headings and markers keep the default colours.
    for (int r = 1; r <= w.Grid.rows() - 2; ++r)
        for (int c = 0; c < 24; ++c) {
            bool activity = false, day = false;
            for (const auto& e : cells) {
                activity |= (e.row == r && e.col == c);
                day |= (e.row == r && c >= 3 && e.col == c - (c - 3) % 3);
            }
            if (activity) continue;
            EXPECT_EQ(w.Grid.foreColorAt(r, c), ui::kSysWindowText) << r << "," << c;
            EXPECT_EQ(w.Grid.backColorAt(r, c), ui::kSysWindowBackground) << r << "," << c;
            if (c >= 3 && !day) {
                EXPECT_EQ(w.Grid.textMatrix(r, c), "") << r << "," << c;  // markers only beside activities
            }
        }
}

TEST_F(PopulateTest, SecondsRoundToTheNearestMinute) {
    // 23:59:45 rounds past midnight; the cell keeps the largest duration instead of 00:00.
    Hourgrid& w = openChanged([](const std::string& path) {
        weektest::editActivity(path, 8, {{"Duration", weektest::duration(23, 59, 45)}});
        weektest::editActivity(path, 4, {{"Duration", weektest::duration(2, 59, 30)}});
        weektest::editActivity(path, 5, {{"Duration", weektest::duration(0, 0, 29)}});
    });
    EXPECT_EQ(w.Grid.textMatrix(1, 9), "01:30");   // 1:29:30
    EXPECT_EQ(w.Grid.textMatrix(6, 18), "01:29");  // 1:29:29
    EXPECT_EQ(w.Grid.textMatrix(5, 21), "23:59");  // 23:59:45
    EXPECT_EQ(w.Grid.textMatrix(2, 12), "03:00");  // 2:59:30
    EXPECT_EQ(w.Grid.textMatrix(2, 15), "00:00");  // 0:00:29, as stored
}

TEST_F(PopulateTest, TotalsOfTheLoadedWeek) {
    Hourgrid& w = openTimer();
    int last = w.Grid.rows() - 1;
    ASSERT_EQ(last, 15);
    EXPECT_EQ(w.Grid.textMatrix(last, 2), "Totals:");
    const char* days[] = {"02:30", "12:15", "02:30", "03:00", "00:45", "01:29", "23:59"};
    for (int d = 0; d < 7; ++d) EXPECT_EQ(w.Grid.textMatrix(last, 3 + 3 * d), days[d]) << "day " << d;
    EXPECT_EQ(w.Grid.textMatrix(last, 24), "46:28");
    const char* rows[] = {"04:00", "04:45", "04:15", "08:00", "23:59", "01:29"};
    for (int r = 1; r <= 6; ++r) EXPECT_EQ(w.Grid.textMatrix(r, 24), rows[r - 1]) << "row " << r;
    for (int r = 7; r <= 14; ++r) EXPECT_EQ(w.Grid.textMatrix(r, 24), "00:00") << "row " << r;
    for (int c = 0; c < 25; ++c) EXPECT_EQ(w.Grid.backColorAt(last, c), ui::kSys3DLight) << c;
    for (int r = 1; r < last; ++r) EXPECT_EQ(w.Grid.backColorAt(r, 24), ui::kSys3DLight) << r;
    EXPECT_FALSE(w.noLeaveCell());
}

// The four layouts: k rows of activities, m recent combinations.
TEST_F(PopulateTest, RowLayouts) {
    Hourgrid& w = openTimer();
    struct Case {
        const char* monday;
        int16_t recentDays;
        int rows;        // Rows
        int emptyRow;    // 0: none
        int firstRecent; // 0: none
    };
    const Case cases[] = {
        {"11/30/2026", 30, 16, 14, 7},  // k 6, m 7
        {"11/30/2026", 0, 8, 0, 0},     // k 6, m 0: no empty row
        {"11/02/2026", 30, 10, 8, 1},   // k 0, m 7
        {"11/02/2026", 0, 3, 1, 0},     // k 0, m 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.monday) + " recent " + std::to_string(c.recentDays));
        w.m_recentDays = c.recentDays;
        w.SetMonday(c.monday);
        ASSERT_EQ(w.Grid.rows(), c.rows);
        EXPECT_EQ(w.Grid.textMatrix(c.rows - 1, 2), "Totals:");
        if (c.emptyRow) {
            auto e = rowText(w, c.emptyRow);
            EXPECT_EQ(e.custJob + e.service + e.cls, "");
            EXPECT_EQ(w.Grid.textMatrix(c.emptyRow, 24), "00:00");
        } else {
            EXPECT_NE(w.Grid.textMatrix(c.rows - 2, 0), "");
        }
        if (c.firstRecent) {
            EXPECT_EQ(w.Grid.textMatrix(c.firstRecent, 0), "Acme Corporation:Support Contract");
        }
        // Row heights follow the combo box so that it fits over a heading cell.
        for (int r = 1; r < c.rows; ++r) EXPECT_EQ(w.Grid.rowHeight(r), 315) << r;
        EXPECT_EQ(w.Grid.textMatrix(c.rows - 1, 24), c.rows == 16 || c.rows == 8 ? "46:28" : "00:00");
    }
    EXPECT_TRUE(platform.messages.empty());
}

// Row breaking that the sample does not show: one combination
// on Monday and Friday shares a row; another Class gets its own row; a Tuesday
// activity after a same-day pair follows the second row.
TEST_F(PopulateTest, RowBreaking) {
    const int32_t chen = 202;
    const QDate mon(2026, 11, 30);
    // Zenith Dental / Training: {class, day, duration}, each expected at {row, col}.
    struct Added { int32_t cls; int day; QTime duration; int row, col; int32_t id; };
    Added added[] = {{3, 0, QTime(1, 0), 2, 3, 0},   {3, 4, QTime(2, 0), 2, 15, 0},  {4, 0, QTime(3, 0), 3, 3, 0},
                     {5, 0, QTime(0, 10), 4, 3, 0}, {5, 0, QTime(0, 20), 5, 3, 0}, {5, 1, QTime(0, 30), 5, 6, 0},
                     {5, 1, QTime(0, 40), 6, 6, 0}};
    Hourgrid& w = openChanged([&](const std::string& path) {
        for (auto& a : added) a.id = weektest::addActivity(path, chen, 100, 12, a.cls, mon.addDays(a.day), a.duration);
    });
    w.m_lNameID = chen;
    w.SetMonday("11/30/2026");
    // Chen's own activity of that week (Delta Logistics, Training, Internal) comes first.
    ASSERT_GE(w.Grid.rows(), 7);
    expectRows(w, {
        {"Delta Logistics", "Training", "Internal", {"", "02:00", "", "", "", "", ""}},
        {"Zenith Dental", "Training", "Commercial", {"01:00", "", "", "", "02:00", "", ""}},
        {"Zenith Dental", "Training", "Government", {"03:00", "", "", "", "", "", ""}},
        {"Zenith Dental", "Training", "Residential", {"00:10", "", "", "", "", "", ""}},
        {"Zenith Dental", "Training", "Residential", {"00:20", "00:30", "", "", "", "", ""}},
        {"Zenith Dental", "Training", "Residential", {"", "00:40", "", "", "", "", ""}},
        // recent combinations, in their own order, then the empty row
        {"Delta Logistics", "Training", "Internal", {}},
        {"Zenith Dental", "Training", "Commercial", {}},
        {"Zenith Dental", "Training", "Government", {}},
        {"Zenith Dental", "Training", "Residential", {}},
        {"", "", "", {}},
    });
    for (const auto& a : added) EXPECT_EQ(w.id(a.col, a.row), a.id) << a.row << "," << a.col;
    EXPECT_EQ(w.id(6, 1), 11);
}

TEST_F(PopulateTest, OtherPeopleAndNobody) {
    Hourgrid& w = openTimer();
    // Brian: his one activity shares Alice's combination and Monday, and only his shows.
    w.m_lNameID = 201;
    w.SetMonday("11/30/2026");
    expectRows(w, {{kAcmeWeb, "Design", "Commercial", {"06:00", "", "", "", "", "", ""}},
                   {kAcmeWeb, "Design", "Commercial", {}},
                   {"", "", "", {}}});
    EXPECT_EQ(w.id(3, 1), 10);
    EXPECT_EQ(w.Grid.textMatrix(1, 5), "Brian's work");
    EXPECT_EQ(w.Grid.textMatrix(w.Grid.rows() - 1, 24), "06:00");

    // Nobody selected: headers and days are written, nothing is read.
    w.m_lNameID = -1;
    w.SetMonday("12/07/2026");
    EXPECT_EQ(w.Grid.rows(), 2);
    EXPECT_EQ(w.Grid.textMatrix(0, 3), "M 7");
    EXPECT_EQ(w.days()[0], QDate(2026, 12, 7));
    EXPECT_EQ(w.Grid.textMatrix(1, 0), "");
    EXPECT_EQ(w.Grid.textMatrix(1, 3), "");
    EXPECT_TRUE(platform.messages.empty());
}

// A reload starts from scratch: nothing of a bigger week leaks into a smaller one.
TEST_F(PopulateTest, ReloadLeavesNothingBehind) {
    Hourgrid& w = openTimer();
    w.m_recentDays = 0;
    w.SetMonday("12/07/2026");
    expectRows(w, {{kAcmeWeb, "Design", "Commercial", {"02:00", "", "", "", "", "", ""}}});
    EXPECT_EQ(w.Grid.foreColorAt(1, 3), kGreen);
    EXPECT_EQ(w.Grid.backColorAt(1, 3), kYellow);
    EXPECT_EQ(w.Grid.backColorAt(1, 9), ui::kSysWindowBackground);
    EXPECT_EQ(w.Grid.textMatrix(1, 5), "");
    EXPECT_EQ(w.id(3, 1), 16);
    EXPECT_EQ(w.id(9, 1), 0);
    EXPECT_EQ(w.Grid.textMatrix(2, 24), "02:00");
}

TEST_F(PopulateTest, HourglassWhileReading) {
    Hourgrid& w = openTimer();
    std::vector<ui::MousePointer> seen;
    w.viewChanged = [&] { seen.push_back(w.mousePointer()); };
    w.SetMonday("11/23/2026");
    w.viewChanged = nullptr;
    EXPECT_NE(std::find(seen.begin(), seen.end(), ui::MousePointer::Hourglass), seen.end());
    EXPECT_EQ(w.mousePointer(), ui::MousePointer::Default);
    EXPECT_EQ(w.Grid.textMatrix(1, 0), "Delta Logistics");
    EXPECT_EQ(w.Grid.textMatrix(1, 3), "03:00");
}

// A query that cannot be run is reported; the grid shows an empty week of the right shape.
TEST_F(PopulateTest, MissingQueryIsReportedAndLeavesAnEmptyWeek) {
    Hourgrid& w = openTimer();
    w.m_db->DeleteQueryDef(timerdb::names::kQueryRecent);
    w.SetMonday("11/30/2026");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("Hourgrid Recent Activities By Num Days"), std::string::npos);
    EXPECT_EQ(platform.messages[0].title, "Hourgrid");
    ASSERT_EQ(w.Grid.rows(), 3);
    EXPECT_EQ(w.Grid.textMatrix(1, 0), "");
    EXPECT_EQ(w.Grid.textMatrix(1, 3), "");
    EXPECT_EQ(w.id(3, 1), 0);
    EXPECT_EQ(w.Grid.textMatrix(0, 3), "M 30");
    EXPECT_EQ(w.Grid.textMatrix(2, 2), "Totals:");
    EXPECT_EQ(w.mousePointer(), ui::MousePointer::Default);
}

// Loading leaves the last activity filled as the current cell, or Monday of row 1
// in a week without activities; start-up then moves to row 1, Monday.
TEST_F(PopulateTest, CurrentCellAfterLoading) {
    Hourgrid& w = openTimer();
    EXPECT_EQ(w.Grid.row(), 1);
    EXPECT_EQ(w.Grid.col(), 3);
    struct Case {
        const char* monday;
        int row, col;
    };
    const Case cases[] = {{"11/30/2026", 6, 18}, {"11/02/2026", 1, 3}, {"12/07/2026", 1, 3}, {"11/23/2026", 1, 3}};
    for (const auto& c : cases) {
        w.SetMonday(c.monday);
        EXPECT_EQ(w.Grid.row(), c.row) << c.monday;
        EXPECT_EQ(w.Grid.col(), c.col) << c.monday;
        EXPECT_FALSE(w.noLeaveCell());
    }
}
