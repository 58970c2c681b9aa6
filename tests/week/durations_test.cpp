// Typed durations, adding duration texts and the totals row and column.
#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <QTime>
#include <string>
#include <tuple>
#include <vector>

#include "app/hourgrid.h"
#include "app_fixture.h"
#include "week_access.h"
#include "week_test_util.h"

using app::Hourgrid;
using Access = app::HourgridTestAccess;

namespace {

const std::string kEnterValid = "Enter a valid time. For example: 2:00 or 120 or 2";
const std::string kTooLong = "You cannot enter more than 23:59 for any activity: ";

class Durations : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        start();
        auto& days = Access::days(*win);
        for (int d = 0; d < 7; ++d) days[static_cast<size_t>(d)] = QDate(2026, 11, 30).addDays(d);
    }
    weektest::UsLocale locale;

    // An empty grid of `dataRows` data rows plus the totals row, current cell (1, 3),
    // then the given duration cells {row, col, text}, and the totals made.
    void totalsOf(int dataRows, const std::vector<std::tuple<int, int, std::string>>& cells = {}) {
        Hourgrid& w = *win;
        Access::noLeaveCell(w) = true;
        w.Grid.setRow(1);
        w.Grid.setCol(3);
        w.Grid.clear();
        w.Grid.setRows(dataRows + 2);
        Access::noLeaveCell(w) = false;
        for (const auto& [r, c, text] : cells) w.Grid.setTextMatrix(r, c, text);
        w.UpdateTotals();
    }
    std::string total(int r, int c) { return win->Grid.textMatrix(r, c); }
    // Every {row, col, text} of the grid as expected.
    void expectCells(const std::vector<std::tuple<int, int, std::string>>& cells) {
        for (const auto& [r, c, text] : cells) EXPECT_EQ(total(r, c), text) << r << "," << c;
    }
};

TEST_F(Durations, ParseDurationExamples) {
    struct Ok {
        std::string typed;
        int hours, minutes;
    };
    const Ok accepted[] = {
        // Hours, minutes above 12, decimal hours, h:mm.
        {"2", 2, 0}, {"12", 12, 0}, {"13", 0, 13}, {"120", 2, 0}, {"90", 1, 30}, {"1.5", 1, 30}, {"0.25", 0, 15},
        {"2.1", 2, 6}, {"13.5", 13, 30}, {"12.99", 12, 59},
        {"12.995", 13, 0},  // 59.7 minutes round to a whole hour
        {"2:00", 2, 0}, {"0:45", 0, 45}, {"1:75", 2, 15}, {"23:59", 23, 59}, {"1439", 23, 59}, {" 1 : 30 ", 1, 30},
        // Halves go to the even neighbour, in both forms: 7.5 and 22.5 minutes, then h.5:00 and m.5.
        {"1.125", 1, 8}, {"1.375", 1, 22}, {"1.5:00", 2, 0}, {"2.5:00", 2, 0}, {"0:30.5", 0, 30}, {"0:31.5", 0, 32},
    };
    const std::pair<std::string, std::vector<std::string>> refused[] = {
        // Nothing typed: no message.
        {"", {"", "    "}},
        // No duration at all, or beyond 16 bits.
        {kEnterValid, {"0", "0:00", "0.004", "-2", "-0.5", "1:-5", ":30", "2:", "abc", "2x", "1:30:00", "32768",
                       "40000.5", "32768:00", "1:32768", "1:32767.5"}},
        // A whole day or more is refused, naming the day (Thursday's cell is current).
        {kTooLong + weektest::shortDate(QDate(2026, 12, 3)), {"24:00", "23:60", "1440", "1500", "32767", "25.5"}},
    };
    Hourgrid& w = *win;
    Access::noLeaveCell(w) = true;
    w.Grid.setCol(12);  // Thursday 12/03/2026
    for (const auto& c : accepted) {
        SCOPED_TRACE("typed \"" + c.typed + "\"");
        std::string text = c.typed;
        QTime value(7, 7);
        EXPECT_TRUE(w.ParseDuration(text, value));
        EXPECT_EQ(value, QTime(c.hours, c.minutes));
        EXPECT_TRUE(platform.messages.empty());
    }
    for (const auto& [message, texts] : refused)
        for (const auto& typed : texts) {
            SCOPED_TRACE("typed \"" + typed + "\"");
            platform.messages.clear();
            std::string text = typed;
            QTime value;
            EXPECT_FALSE(w.ParseDuration(text, value));
            if (message.empty())
                EXPECT_TRUE(platform.messages.empty());
            else
                weektest::expectOnlyMessage(platform, message);
        }
}

TEST_F(Durations, ParseDurationTrimsTheCallersText) {
    std::string text = "   2:30  ";
    QTime value;
    ASSERT_TRUE(win->ParseDuration(text, value));
    EXPECT_EQ(text, "2:30");
    EXPECT_EQ(value, QTime(2, 30));
    text = "  abc ";
    EXPECT_FALSE(win->ParseDuration(text, value));
    EXPECT_EQ(text, "abc");
}

TEST_F(Durations, ADayOrMoreNamesTheDayGivenOrTheCurrentCellsDay) {
    std::string text = "26:00";
    QTime value;
    EXPECT_FALSE(win->ParseDuration(text, value, QDate(2026, 12, 6)));
    weektest::expectOnlyMessage(platform, kTooLong + weektest::shortDate(QDate(2026, 12, 6)));
    EXPECT_NE(platform.messages[0].text.find("12/6/26"), std::string::npos);  // US short form

    // Without a day, the day of the current duration, B or N cell.
    Access::noLeaveCell(*win) = true;
    for (int col : {3, 7, 23}) {
        platform.messages.clear();
        win->Grid.setCol(col);
        text = "24:00";
        EXPECT_FALSE(win->ParseDuration(text, value));
        weektest::expectOnlyMessage(platform, kTooLong + weektest::shortDate(QDate(2026, 11, 30).addDays((col - 3) / 3)));
    }
}

TEST_F(Durations, DecimalHoursFollowTheUsersLocale) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::string text = "1,5";
    QTime value;
    ASSERT_TRUE(win->ParseDuration(text, value));
    EXPECT_EQ(value, QTime(1, 30));
    text = "0,25";
    ASSERT_TRUE(win->ParseDuration(text, value));
    EXPECT_EQ(value, QTime(0, 15));
}

struct AddCase {
    int hours, minutes;
    std::string text;
    int expectHours, expectMinutes;
};

TEST(AddDurationText, AddsTheCellTextToThePair) {
    const std::vector<AddCase> cases = {
        {0, 0, "", 0, 0},
        {0, 0, "02:30", 2, 30},
        {1, 50, "00:15", 2, 5},
        {0, 59, "23:59", 24, 58},
        {120, 0, "03:05", 123, 5},
        {0, 30, "1:75", 2, 45},        // minutes of the text above 59 carry too
        {5, 10, "0230", 5, 10},        // no colon: nothing
        {5, 10, "ab:30", 5, 10},       // hours unreadable: nothing
        {5, 10, "03:xx", 8, 10},       // minutes unreadable: hours only
        {5, 10, "03:", 8, 10},
        {32760, 0, "23:59", 32767, 59},  // the counter stops at its limit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int16_t h = static_cast<int16_t>(c.hours), m = static_cast<int16_t>(c.minutes);
        Hourgrid::AddDurationText(h, m, c.text);
        EXPECT_EQ(h, c.expectHours);
        EXPECT_EQ(m, c.expectMinutes);
    }
}

TEST_F(Durations, EmptyWeekTotalsZero) {
    totalsOf(2);
    for (int c = 3; c <= 24; c += 3) EXPECT_EQ(total(3, c), "00:00") << c;
    expectCells({{1, 24, "00:00"}, {2, 24, "00:00"}, {3, 2, "Totals:"}});
}

TEST_F(Durations, DayRowAndGrandTotals) {
    std::vector<std::tuple<int, int, std::string>> cells = {
        {2, 3, "09:45"}, {3, 3, "08:30"}, {3, 9, "00:45"},
        {3, 4, "*"}, {3, 5, "12:00 note"}};  // B and N cells are no durations
    for (int c = 3; c <= 21; c += 3) cells.emplace_back(1, c, "23:59");
    totalsOf(3, cells);
    expectCells({{1, 24, "167:53"}, {2, 24, "09:45"}, {3, 24, "09:15"}, {4, 3, "42:14"},  // 23:59 + 09:45 + 08:30
                 {4, 6, "23:59"}, {4, 9, "24:44"}, {4, 21, "23:59"}, {4, 24, "186:53"}, {4, 2, "Totals:"}});
    for (int c = 4; c <= 23; c += 3) expectCells({{4, c, ""}, {4, c + 1, ""}});

    // Totals are rebuilt from the cells every time.
    win->Grid.setTextMatrix(2, 3, "");
    win->UpdateTotals();
    expectCells({{2, 24, "00:00"}, {4, 3, "32:29"}, {4, 24, "177:08"}});
}

TEST_F(Durations, TotalsOfAHundredHoursAndMore) {
    std::vector<std::tuple<int, int, std::string>> cells = {{6, 12, "07:35"}};
    for (int r = 1; r <= 5; ++r)
        for (int c = 3; c <= 21; c += 3) cells.emplace_back(r, c, "23:59");
    totalsOf(6, cells);
    expectCells({{1, 24, "167:53"}, {6, 24, "07:35"}, {7, 3, "119:55"}, {7, 12, "127:30"},
                 {7, 24, "847:00"}});  // 5 x 167:53 + 07:35
}

TEST_F(Durations, CellsThatAreNoDurationTextsAddNothing) {
    totalsOf(1, {{1, 3, "0130"}, {1, 6, "x:30"}, {1, 9, "02:yy"}, {1, 12, "01:15"}});
    expectCells({{2, 3, "00:00"}, {2, 6, "00:00"}, {2, 9, "02:00"}, {1, 24, "03:15"}, {2, 24, "03:15"}});
}

TEST_F(Durations, TotalsCellsAreShadedAndTheCurrentCellIsKept) {
    totalsOf(2);
    Hourgrid& w = *win;
    Access::noLeaveCell(w) = true;
    w.Grid.setRow(2);
    w.Grid.setCol(9);
    Access::noLeaveCell(w) = true;  // left True by a grid clear before a load
    w.Grid.setTextMatrix(1, 6, "01:00");

    int leaves = 0, unguarded = 0;
    w.Grid.onLeaveCell = [&] {
        ++leaves;
        if (!w.noLeaveCell()) ++unguarded;
    };
    std::vector<ui::MousePointer> pointers;
    w.viewChanged = [&] { pointers.push_back(w.mousePointer()); };
    w.UpdateTotals();

    EXPECT_GT(leaves, 0);        // it moves the current cell itself
    EXPECT_EQ(unguarded, 0);     // but never without the guard
    EXPECT_FALSE(w.noLeaveCell());
    EXPECT_EQ(w.Grid.row(), 2);
    EXPECT_EQ(w.Grid.col(), 9);
    ASSERT_FALSE(pointers.empty());
    EXPECT_EQ(pointers.front(), ui::MousePointer::Hourglass);
    EXPECT_EQ(w.mousePointer(), ui::MousePointer::Default);

    const int last = 3;
    for (int c = 0; c <= 24; ++c) EXPECT_EQ(w.Grid.backColorAt(last, c), ui::kSys3DLight) << c;
    for (int r = 1; r < last; ++r) {
        EXPECT_EQ(w.Grid.backColorAt(r, 24), ui::kSys3DLight) << r;
        for (int c = 0; c < 24; ++c) EXPECT_EQ(w.Grid.backColorAt(r, c), ui::kSysWindowBackground) << r << "," << c;
    }
}

}  // namespace
