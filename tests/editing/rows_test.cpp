// Adding rows, clearing the week and hiding the cell editors, checked in the grid
// and in the Timer file.
#include <gtest/gtest.h>

#include <algorithm>

#include <set>
#include <stdexcept>

#include "grid_driver.h"
#include "jet/pager.h"

namespace {

const std::string kCr(1, '\r');
const std::string kFirstQuestion = "This will clear all time entries for the current week." + kCr +
                                   "Caution: this function cannot be undone!" + kCr +
                                   "Are your sure you want to continue?";
const std::string kSecondQuestion = "Just checking!" + kCr + "This will clear all time entries for the current week." +
                                    kCr + "Are your sure you want to continue?";

class RowsTest : public GridFixture {
protected:
    void SetUp() override {
        GridFixture::SetUp();
        openTimer("sample.tdb");
        acme = rowOf(kAcme, "Design", "Commercial");
        ASSERT_GT(acme, 0);
    }
    // The totals as the grid shows them: each data row's, each day's and the grand total.
    std::vector<std::string> totals() {
        std::vector<std::string> out;
        for (int r = 1; r <= lastDataRow(); ++r)
            if (!cell(r, 0).empty()) out.push_back(cell(r, 24));
        for (int d = 0; d < 7; ++d) out.push_back(cell(totalsRow(), durCol(d)));
        out.push_back(cell(totalsRow(), 24));
        return out;
    }
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        for (int r = 0; r < rows(); ++r)
            for (int c = 0; c < grid().cols(); ++c) out.push_back(cell(r, c));
        return out;
    }
    int acme = -1;
};

// ---- AddGridRow ----

TEST_F(RowsTest, AddRowPutsAnEmptyRowAboveTheTotalsAndKeepsTheCurrentCell) {
    arrowTo(acme, bCol(2));
    const int n = rows();
    const auto before = totals();
    w().EditMenuAddRow_Click();
    w().tbToolBar_ButtonClick("AddRow");

    ASSERT_EQ(rows(), n + 2);
    EXPECT_EQ(grid().row(), acme);
    EXPECT_EQ(grid().col(), bCol(2));
    EXPECT_FALSE(w().noLeaveCell());
    for (int r : {n - 1, n}) {
        SCOPED_TRACE(r);
        EXPECT_EQ(grid().rowHeight(r), static_cast<int>(w().CustJobCombo.height()));
        for (int c = 0; c < 24; ++c) {
            EXPECT_EQ(cell(r, c), "");
            EXPECT_EQ(w().id(c, r), 0);
            EXPECT_EQ(grid().backColorAt(r, c), ui::kSysWindowBackground);
        }
        EXPECT_EQ(cell(r, 24), "00:00");
    }
    EXPECT_EQ(cell(totalsRow(), 2), "Totals:");
    EXPECT_EQ(grid().backColorAt(totalsRow(), 5), ui::kSys3DLight);
    EXPECT_EQ(totals(), before);
    // m_ids has exactly one row per grid row.
    EXPECT_EQ(w().id(3, rows() - 1), 0);
    EXPECT_THROW(w().id(3, rows()), std::out_of_range);
    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 16u);
}

TEST_F(RowsTest, AddRowCommitsAPendingDurationToItsOwnCell) {
    click(acme, durCol(1));
    type("2:15");
    w().tbToolBar_ButtonClick("AddRow");
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(cell(acme, durCol(1)), "02:15");
    EXPECT_EQ(cell(lastDataRow(), durCol(1)), "");
    const int32_t id = w().id(durCol(1), acme);
    auto all = closeAndRead();
    ASSERT_EQ(all.count(id), 1u);
    EXPECT_EQ(all[id].custJob, 109);
    EXPECT_EQ(all[id].minutes, 135);
}

TEST_F(RowsTest, AddRowWorksWithoutATimerFile) {
    const int n = rows();
    w().m_bDbOpen = false;
    w().EditMenuAddRow_Click();
    EXPECT_EQ(rows(), n + 1);
    EXPECT_EQ(cell(totalsRow(), 2), "Totals:");
    EXPECT_TRUE(platform.messages.empty());
}

// ---- EditMenuClear_Click ----

TEST_F(RowsTest, ClearAsksTwiceAndEitherNoChangesNothing) {
    for (int noAt : {1, 2}) {
        SCOPED_TRACE(noAt);
        platform.messages.clear();
        platform.answers = noAt == 1 ? std::deque<ui::Answer>{ui::Answer::No}
                                     : std::deque<ui::Answer>{ui::Answer::Yes, ui::Answer::No};
        const auto before = texts();
        w().EditMenuClear_Click();
        ASSERT_EQ(platform.messages.size(), static_cast<size_t>(noAt));
        for (size_t i = 0; i < platform.messages.size(); ++i) {
            EXPECT_EQ(platform.messages[i].text, i == 0 ? kFirstQuestion : kSecondQuestion);
            EXPECT_EQ(platform.messages[i].buttons, ui::Buttons::YesNo);
            EXPECT_EQ(platform.messages[i].icon, ui::Icon::Critical);
            EXPECT_EQ(platform.messages[i].title, "Hourgrid");
        }
        EXPECT_EQ(texts(), before);
    }
    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 16u);
}

TEST_F(RowsTest, ClearAnsweredYesTwiceEmptiesTheWeekInTheGridAndInTheFile) {
    const int n = rows();
    std::vector<std::string> headings;
    for (int r = 1; r <= lastDataRow(); ++r) headings.push_back(cell(r, 0) + "|" + cell(r, 1) + "|" + cell(r, 2));

    w().EditMenuClear_Click();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(rows(), n);
    for (int r = 1; r <= lastDataRow(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(cell(r, 0) + "|" + cell(r, 1) + "|" + cell(r, 2), headings[static_cast<size_t>(r - 1)]);
        for (int c = 3; c <= 23; ++c) {
            EXPECT_EQ(cell(r, c), "");
            EXPECT_EQ(grid().foreColorAt(r, c), ui::kSysWindowText);
            EXPECT_EQ(grid().backColorAt(r, c), ui::kSysWindowBackground);
            EXPECT_EQ(w().id(c, r), 0);
        }
        // No total goes on showing time that is gone.
        EXPECT_EQ(cell(r, 24), "00:00");
    }
    for (int d = 0; d < 7; ++d) EXPECT_EQ(cell(totalsRow(), durCol(d)), "00:00");
    EXPECT_EQ(cell(totalsRow(), 24), "00:00");
    EXPECT_EQ(cell(totalsRow(), 2), "Totals:");

    auto all = closeAndRead();
    std::set<int32_t> left;
    for (const auto& [id, a] : all) left.insert(id);
    // Alice's week (1-9) is gone; other people's time and Alice's other weeks stay.
    EXPECT_EQ(left, (std::set<int32_t>{10, 11, 12, 13, 14, 15, 16}));

    const std::string out = mdbExport(timerPath);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 8);  // header and seven rows
    EXPECT_NE(out.find("\n10,201,"), std::string::npos);
}

TEST_F(RowsTest, AClearThatTheFileRefusesShowsTheWeekItStillHolds) {
    {
        RefusedWrites refused(timerPath);
        const std::vector<std::string> before = texts();
        w().EditMenuClear_Click();
        ASSERT_EQ(platform.messages.size(), 3u);  // the two questions and the failure
        EXPECT_EQ(texts(), before);
        EXPECT_EQ(w().id(durCol(0), acme), 1);
    }
    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 16u);
}

TEST_F(RowsTest, ClearDropsAHalfTypedDurationWithTheWeek) {
    const int last = lastDataRow();
    click(last, durCol(3));
    type("4");
    w().EditMenuClear_Click();
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_NE(w().TimeEntry.text(), "4");
    EXPECT_EQ(cell(last, durCol(3)), "");
    // Enter afterwards has nothing left to write.
    arrowTo(last, durCol(3));
    gridKey(13);
    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 7u);
}

// ---- HideCellEditors ----

TEST_F(RowsTest, HidingTheEditorsDiscardsAHalfTypedDurationAndParksTheEditor) {
    click(acme, durCol(0));
    type("9");
    w().HideCellEditors(false);
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(w().TimeEntry.text(), "^");
    EXPECT_EQ(cell(acme, durCol(0)), "02:30");

    click(acme, 0);
    ASSERT_TRUE(w().CustJobCombo.visible());
    w().HideCellEditors(false);
    EXPECT_FALSE(w().CustJobCombo.visible());
    EXPECT_FALSE(w().ServiceCombo.visible());
    EXPECT_FALSE(w().ClassCombo.visible());
    EXPECT_EQ(w().TimeEntry.text(), "^");

    arrowTo(acme, durCol(1));  // a parked editor commits nothing
    auto all = closeAndRead();
    EXPECT_EQ(all.at(1).minutes, 150);
    EXPECT_EQ(all.size(), 16u);
}

}  // namespace
