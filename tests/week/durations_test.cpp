// Typed durations, adding duration texts and the totals row and column.
#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <QTime>
#include <string>
#include <vector>

#include "app/hourgrid.h"
#include "app_fixture.h"
#include "week_access.h"

using app::Hourgrid;
using Access = app::HourgridTestAccess;

namespace {

const std::string kEnterValid = "Enter a valid time. For example: 2:00 or 120 or 2";
const std::string kTooLong = "You cannot enter more than 23:59 for any activity: ";

class Durations : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        savedLocale = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        start();
        auto& days = Access::days(*win);
        for (int d = 0; d < 7; ++d) days[static_cast<size_t>(d)] = QDate(2026, 11, 30).addDays(d);
    }
    void TearDown() override {
        QLocale::setDefault(savedLocale);
        AppFixture::TearDown();
    }
    QLocale savedLocale;
    static std::string shortDate(const QDate& d) { return QLocale().toString(d, QLocale::ShortFormat).toStdString(); }

    // An empty grid of `dataRows` data rows plus the totals row, current cell (1, 3).
    void emptyGrid(int dataRows) {
        Hourgrid& w = *win;
        Access::noLeaveCell(w) = true;
        w.Grid.setRow(1);
        w.Grid.setCol(3);
        w.Grid.clear();
        w.Grid.setRows(dataRows + 2);
        Access::noLeaveCell(w) = false;
    }
    std::string total(int r, int c) { return win->Grid.textMatrix(r, c); }
};

struct ParseCase {
    std::string typed;
    bool ok;
    int hours, minutes;     // the parsed duration when ok
    std::string message;    // the one message shown, "" for none
};

TEST_F(Durations, ParseDurationExamples) {
    const std::vector<ParseCase> cases = {
        // Hours, minutes above 12, decimal hours, h:mm.
        {"2", true, 2, 0, ""},
        {"12", true, 12, 0, ""},
        {"13", true, 0, 13, ""},
        {"120", true, 2, 0, ""},
        {"90", true, 1, 30, ""},
        {"1.5", true, 1, 30, ""},
        {"0.25", true, 0, 15, ""},
        {"2.1", true, 2, 6, ""},
        {"13.5", true, 13, 30, ""},
        {"12.99", true, 12, 59, ""},
        {"12.995", true, 13, 0, ""},  // 59.7 minutes round to a whole hour
        {"2:00", true, 2, 0, ""},
        {"0:45", true, 0, 45, ""},
        {"1:75", true, 2, 15, ""},
        {"23:59", true, 23, 59, ""},
        {"1439", true, 23, 59, ""},
        {" 1 : 30 ", true, 1, 30, ""},
        // Halves go to the even neighbour, in both forms.
        {"1.125", true, 1, 8, ""},    // 7.5 minutes
        {"1.375", true, 1, 22, ""},   // 22.5 minutes
        {"1.5:00", true, 2, 0, ""},
        {"2.5:00", true, 2, 0, ""},
        {"0:30.5", true, 0, 30, ""},
        {"0:31.5", true, 0, 32, ""},
        // Nothing typed: no message.
        {"", false, 0, 0, ""},
        {"    ", false, 0, 0, ""},
        // No duration at all.
        {"0", false, 0, 0, kEnterValid},
        {"0:00", false, 0, 0, kEnterValid},
        {"0.004", false, 0, 0, kEnterValid},
        {"-2", false, 0, 0, kEnterValid},
        {"-0.5", false, 0, 0, kEnterValid},
        {"1:-5", false, 0, 0, kEnterValid},
        {":30", false, 0, 0, kEnterValid},
        {"2:", false, 0, 0, kEnterValid},
        {"abc", false, 0, 0, kEnterValid},
        {"2x", false, 0, 0, kEnterValid},
        {"1:30:00", false, 0, 0, kEnterValid},
        // Beyond 16 bits.
        {"32768", false, 0, 0, kEnterValid},
        {"40000.5", false, 0, 0, kEnterValid},
        {"32768:00", false, 0, 0, kEnterValid},
        {"1:32768", false, 0, 0, kEnterValid},
        {"1:32767.5", false, 0, 0, kEnterValid},
        // A whole day or more is refused, naming the day (Thursday's cell is current).
        {"24:00", false, 0, 0, kTooLong},
        {"23:60", false, 0, 0, kTooLong},
        {"1440", false, 0, 0, kTooLong},
        {"1500", false, 0, 0, kTooLong},
        {"32767", false, 0, 0, kTooLong},
        {"25.5", false, 0, 0, kTooLong},
    };
    Hourgrid& w = *win;
    Access::noLeaveCell(w) = true;
    w.Grid.setCol(12);  // Thursday 12/03/2026
    for (const auto& c : cases) {
        SCOPED_TRACE("typed \"" + c.typed + "\"");
        platform.messages.clear();
        std::string text = c.typed;
        QTime value(7, 7);
        bool ok = w.ParseDuration(text, value);
        EXPECT_EQ(ok, c.ok);
        if (c.ok) EXPECT_EQ(value, QTime(c.hours, c.minutes));
        if (c.message.empty()) {
            EXPECT_TRUE(platform.messages.empty());
        } else {
            ASSERT_EQ(platform.messages.size(), 1u);
            std::string expected = c.message == kTooLong ? kTooLong + shortDate(QDate(2026, 12, 3)) : c.message;
            EXPECT_EQ(platform.messages[0].text, expected);
            EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::OK);
            EXPECT_EQ(platform.messages[0].icon, ui::Icon::None);
            EXPECT_EQ(platform.messages[0].title, "Hourgrid");
        }
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
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kTooLong + shortDate(QDate(2026, 12, 6)));
    EXPECT_NE(platform.messages[0].text.find("12/6/26"), std::string::npos);  // US short form

    // Without a day, the day of the current duration, B or N cell.
    Access::noLeaveCell(*win) = true;
    for (int col : {3, 7, 23}) {
        platform.messages.clear();
        win->Grid.setCol(col);
        text = "24:00";
        EXPECT_FALSE(win->ParseDuration(text, value));
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, kTooLong + shortDate(QDate(2026, 11, 30).addDays((col - 3) / 3)));
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
    emptyGrid(2);
    win->UpdateTotals();
    const int last = 3;
    for (int c = 3; c <= 21; c += 3) EXPECT_EQ(total(last, c), "00:00") << c;
    EXPECT_EQ(total(1, 24), "00:00");
    EXPECT_EQ(total(2, 24), "00:00");
    EXPECT_EQ(total(last, 24), "00:00");
    EXPECT_EQ(total(last, 2), "Totals:");
}

TEST_F(Durations, DayRowAndGrandTotals) {
    emptyGrid(3);
    Hourgrid& w = *win;
    for (int c = 3; c <= 21; c += 3) w.Grid.setTextMatrix(1, c, "23:59");
    w.Grid.setTextMatrix(2, 3, "09:45");
    w.Grid.setTextMatrix(3, 3, "08:30");
    w.Grid.setTextMatrix(3, 9, "00:45");
    w.Grid.setTextMatrix(3, 4, "*");          // B and N cells are no durations
    w.Grid.setTextMatrix(3, 5, "12:00 note");
    w.UpdateTotals();
    const int last = 4;
    EXPECT_EQ(total(1, 24), "167:53");
    EXPECT_EQ(total(2, 24), "09:45");
    EXPECT_EQ(total(3, 24), "09:15");
    EXPECT_EQ(total(last, 3), "42:14");  // 23:59 + 09:45 + 08:30
    EXPECT_EQ(total(last, 6), "23:59");
    EXPECT_EQ(total(last, 9), "24:44");
    EXPECT_EQ(total(last, 21), "23:59");
    EXPECT_EQ(total(last, 24), "186:53");
    EXPECT_EQ(total(last, 2), "Totals:");
    for (int c = 4; c <= 23; c += 3) {
        EXPECT_EQ(total(last, c), "") << c;
        EXPECT_EQ(total(last, c + 1), "") << c + 1;
    }

    // Totals are rebuilt from the cells every time.
    w.Grid.setTextMatrix(2, 3, "");
    w.UpdateTotals();
    EXPECT_EQ(total(2, 24), "00:00");
    EXPECT_EQ(total(last, 3), "32:29");
    EXPECT_EQ(total(last, 24), "177:08");
}

TEST_F(Durations, TotalsOfAHundredHoursAndMore) {
    emptyGrid(6);
    Hourgrid& w = *win;
    for (int r = 1; r <= 6; ++r)
        for (int c = 3; c <= 21; c += 3) w.Grid.setTextMatrix(r, c, r == 6 ? "" : "23:59");
    w.Grid.setTextMatrix(6, 12, "07:35");
    w.UpdateTotals();
    const int last = 7;
    EXPECT_EQ(total(1, 24), "167:53");
    EXPECT_EQ(total(6, 24), "07:35");
    EXPECT_EQ(total(last, 3), "119:55");
    EXPECT_EQ(total(last, 12), "127:30");
    EXPECT_EQ(total(last, 24), "847:00");  // 5 x 167:53 + 07:35
}

TEST_F(Durations, CellsThatAreNoDurationTextsAddNothing) {
    emptyGrid(1);
    Hourgrid& w = *win;
    w.Grid.setTextMatrix(1, 3, "0130");
    w.Grid.setTextMatrix(1, 6, "x:30");
    w.Grid.setTextMatrix(1, 9, "02:yy");
    w.Grid.setTextMatrix(1, 12, "01:15");
    w.UpdateTotals();
    EXPECT_EQ(total(2, 3), "00:00");
    EXPECT_EQ(total(2, 6), "00:00");
    EXPECT_EQ(total(2, 9), "02:00");
    EXPECT_EQ(total(1, 24), "03:15");
    EXPECT_EQ(total(2, 24), "03:15");
}

TEST_F(Durations, TotalsCellsAreShadedAndTheCurrentCellIsKept) {
    emptyGrid(2);
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
