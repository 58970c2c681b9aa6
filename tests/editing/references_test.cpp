// Row references: the combos laid over heading cells, a choice taken back into
// the grid and written into every activity of the row, and the heading-cell
// check of exported activities, checked in the Timer file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marks_util.h"

using namespace marks;

namespace {

const std::string kRowQuestion =
    "One or more of these activities has already been exported. You can change the status to unexported, "
    "or leave the status as exported. Do you want to change the status to unexported?";

using ShowComboTest = MarksFixture;
using CommitComboTest = MarksFixture;
using HeadingCheckTest = MarksFixture;

// Row 1 with two exported activities (2 on Wednesday, 7 on Saturday) and an
// unexported one (1 on Monday); activity 6, exported, sits in the row without a
// duration text and must not be looked at.
std::vector<HandRow> exportedRow() {
    return {{"Acme Corporation:Website Redesign", "Design", "Commercial", 109, 11, 3,
             {{0, 1, "02:30"}, {2, 2, "01:29"}, {5, 7, "01:29"}, {1, 6, ""}}}};
}

}  // namespace

// ---- ShowComboAtCell ----

TEST_F(ShowComboTest, SelectsTheItemSpelledExactlyLikeTheCell) {
    auto& w = openWeek();
    struct Case {
        int col;
        std::string cellText;
        bool listed;  // an item with exactly this text exists
    };
    const Case cases[] = {
        {0, "Acme Corporation:Website Redesign", true},
        {0, "Café Aurora:Menu Design", true},
        {0, "acme corporation:website redesign", false},  // case matters
        {0, "Acme Corporation:Website Redesign ", false},
        {0, "Removed Customer", false},
        {1, "Design", true},
        {1, "design", false},
        {2, "Government", true},
        {2, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cellText);
        ui::ComboBox& combo = comboOf(w, c.col);
        ASSERT_GT(combo.listCount(), 0);
        combo.setListIndex(0);  // a selection left from before must not survive
        w.Grid.setTextMatrix(2, c.col, c.cellText);
        makeCurrent(w, 2, c.col);
        Access::showComboAtCell(w, combo);
        EXPECT_TRUE(combo.visible());
        if (c.listed) {
            ASSERT_GE(combo.listIndex(), 0);
            EXPECT_EQ(combo.list(combo.listIndex()), c.cellText);
        } else {
            EXPECT_EQ(combo.listIndex(), -1);
            EXPECT_EQ(combo.text(), "");
        }
        combo.setVisible(false);
    }
}

TEST_F(ShowComboTest, LiesExactlyOverTheCell) {
    auto& w = openWeek();
    w.Grid.setColWidth(1, 2345);
    w.Grid.setRowHeight(3, 400);
    for (int row : {1, 2, 3})
        for (int col : {0, 1, 2}) {
            SCOPED_TRACE(std::to_string(row) + "," + std::to_string(col));
            ui::ComboBox& combo = comboOf(w, col);
            const double height = combo.height();
            makeCurrent(w, row, col);
            Access::showComboAtCell(w, combo);
            const ui::CellRect cell = w.Grid.cellRect(row, col);
            EXPECT_DOUBLE_EQ(combo.left(), w.Grid.left() + cell.left);
            EXPECT_DOUBLE_EQ(combo.top(), w.Grid.top() + cell.top);
            EXPECT_DOUBLE_EQ(combo.width(), cell.width);
            EXPECT_DOUBLE_EQ(combo.height(), height);
        }
    EXPECT_DOUBLE_EQ(w.ServiceCombo.width(), 2345);
}

// ---- CommitRowCombo and WriteRowReference ----

TEST_F(CommitComboTest, AChoiceReachesTheCellTheIdsAndEveryActivityOfTheRow) {
    struct Case {
        int col;
        std::string choice;
        int32_t choiceId;
    };
    const Case cases[] = {{0, "Zenith Dental", 100}, {1, "Training", 12}, {2, "Internal", 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        auto& w = openWeek();
        ui::ComboBox& combo = comboOf(w, c.col);
        const std::vector<Activity> before = {act(1), act(2), act(3), act(4), act(5), act(6)};
        chooseInRow(w, 1, c.col, c.choice);

        EXPECT_EQ(w.Grid.textMatrix(1, c.col), c.choice);
        EXPECT_EQ(w.id(c.col, 1), c.choiceId);
        EXPECT_FALSE(combo.visible());
        EXPECT_EQ(combo.listIndex(), -1);
        for (int32_t id : {1, 2, 4, 5}) {  // the row's activities
            SCOPED_TRACE(id);
            const Activity a = act(id), b = before[static_cast<size_t>(id - 1)];
            EXPECT_EQ(a.custJob, c.col == 0 ? c.choiceId : b.custJob);
            EXPECT_EQ(a.service, c.col == 1 ? c.choiceId : b.service);
            EXPECT_EQ(a.cls, c.col == 2 ? c.choiceId : b.cls);
            EXPECT_EQ(a.createTime, b.createTime);
            EXPECT_EQ(a.exported, b.exported);
            EXPECT_EQ(a.billable, b.billable);
        }
        // Activity 3 shares the combination but is not in this row; 6 is another row's.
        EXPECT_EQ(act(3).custJob, before[2].custJob);
        EXPECT_EQ(act(3).cls, before[2].cls);
        EXPECT_EQ(act(6).custJob, before[5].custJob);
        EXPECT_EQ(act(6).service, before[5].service);
    }
}

TEST_F(CommitComboTest, NoChoiceKeepsTheOldTextIdAndRecords) {
    auto& w = openWeek();
    w.Grid.setTextMatrix(1, 0, "Removed Customer");  // not in the list: shown with no selection
    makeCurrent(w, 1, 0);
    Access::showComboAtCell(w, w.CustJobCombo);
    ASSERT_EQ(w.CustJobCombo.listIndex(), -1);
    const std::string before = dump();
    Access::commitRowCombo(w, 0, w.CustJobCombo);
    EXPECT_EQ(w.Grid.textMatrix(1, 0), "Removed Customer");
    EXPECT_EQ(w.id(0, 1), 109);
    EXPECT_FALSE(w.CustJobCombo.visible());
    EXPECT_EQ(dump(), before);

    // A combo that was never shown commits nothing either.
    makeCurrent(w, 2, 2);
    Access::commitRowCombo(w, 2, w.ClassCombo);
    EXPECT_EQ(w.Grid.textMatrix(2, 2), "Residential");
    EXPECT_EQ(dump(), before);
}

TEST_F(CommitComboTest, OnlyActivitiesWithADurationInTheGridAreWritten) {
    auto rows = sampleWeek();
    // Monday: an ID the file does not have; Wednesday: activity 2 whose cell was
    // emptied; Thursday: activity 4.
    rows[0].days = {{0, 9999, "01:00"}, {2, 2, ""}, {3, 4, "03:00"}};
    auto& w = openWeek(rows);
    const Activity one = act(1), two = act(2), six = act(6);
    chooseInRow(w, 1, 0, "Delta Logistics");
    EXPECT_EQ(act(4).custJob, 103);
    EXPECT_EQ(act(1).custJob, one.custJob);
    EXPECT_EQ(act(2).custJob, two.custJob);
    EXPECT_EQ(act(6).custJob, six.custJob);
    EXPECT_FALSE(act(9999).found);
}

TEST_F(CommitComboTest, ANewRowKeepsItsChoiceUntilItHasActivities) {
    std::vector<HandRow> rows = sampleWeek();
    rows.push_back({"", "", "", 0, 0, 0, {}});
    auto& w = openWeek(rows);
    const std::string before = dump();
    makeCurrent(w, 4, 1);
    Access::showComboAtCell(w, w.ServiceCombo);
    EXPECT_EQ(w.ServiceCombo.listIndex(), -1);
    w.ServiceCombo.setListIndex(comboIndex(w.ServiceCombo, "Travel Time"));
    Access::commitRowCombo(w, 1, w.ServiceCombo);
    EXPECT_EQ(w.Grid.textMatrix(4, 1), "Travel Time");
    EXPECT_EQ(w.id(1, 4), 16);
    EXPECT_EQ(dump(), before);
}

TEST_F(CommitComboTest, TheNewReferenceIsInTheFileForOtherReaders) {
    auto& w = openWeek();
    chooseInRow(w, 2, 2, "Commercial");
    win.reset();
    auto rows = mdbExportActivities(timerPath);
    EXPECT_EQ(rows[6].rfind("6,200,106,14,3,2,", 0), 0u) << rows[6];
    EXPECT_EQ(rows[11].rfind("11,202,103,12,6,2,", 0), 0u) << rows[11];
}

// ---- The heading-cell check ----

TEST_F(HeadingCheckTest, EachAnswerForARowWithTwoExportedActivities) {
    for (const ExportedAnswer& c : kExportedAnswers) {  // for activities 2 and 7
        for (int headingCol : {0, 1, 2}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c.answer)) + " col " + std::to_string(headingCol));
            auto& w = openWeek(exportedRow());
            platform.messages.clear();
            platform.answers = {c.answer};
            // Every move the check makes must be one that commits nothing.
            int committingMoves = 0;
            w.Grid.onLeaveCell = [&] {
                if (!w.noLeaveCell()) ++committingMoves;
                w.Grid_LeaveCell();
            };
            makeCurrent(w, 1, headingCol);
            EXPECT_EQ(Access::headingCellCheck(w), c.goesOn);
            expectOnlyQuestion(kRowQuestion);
            EXPECT_EQ(act(2).exported, c.exportedAfter);
            EXPECT_EQ(act(7).exported, c.exportedAfter);
            EXPECT_TRUE(act(6).exported);
            EXPECT_FALSE(act(1).exported);
            const ui::Color expectBack = c.exportedAfter ? ui::kSysWindowBackground : kNotExported;
            EXPECT_EQ(w.Grid.backColorAt(1, durCol(2)), expectBack);
            EXPECT_EQ(w.Grid.backColorAt(1, durCol(5)), expectBack);
            EXPECT_EQ(w.Grid.backColorAt(1, durCol(0)), ui::kSysWindowBackground);
            EXPECT_EQ(w.Grid.row(), 1);
            EXPECT_EQ(w.Grid.col(), headingCol);
            EXPECT_FALSE(w.noLeaveCell());
            EXPECT_EQ(committingMoves, 0);
        }
    }
}

TEST_F(HeadingCheckTest, NoStopsAtTheFirstExportedDay) {
    auto& w = openWeek(exportedRow());
    platform.answers = {ui::Answer::No};
    makeCurrent(w, 1, 0);
    const std::string before = dump();
    EXPECT_TRUE(Access::headingCellCheck(w));
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(dump(), before);
}

TEST_F(HeadingCheckTest, RowWithoutExportedActivitiesAsksNothing) {
    auto& w = openWeek({{"Acme Corporation:Website Redesign", "Design", "Commercial", 109, 11, 3,
                         {{0, 1, "02:30"}, {3, 4, "03:00"}, {4, 5, "00:45"}}}});
    const std::string before = dump();
    for (int col : {0, 1, 2}) {
        makeCurrent(w, 1, col);
        EXPECT_TRUE(Access::headingCellCheck(w));
        EXPECT_EQ(w.Grid.col(), col);
    }
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(dump(), before);
}

// ---- Heading cells reached through clicks on the loaded week ----

using HeadingClickTest = ClickFixture;

TEST_F(HeadingClickTest, ExportedRowThenComboOverTheCell) {
    for (const ExportedAnswer& c : kExportedAnswers) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        auto& w = openLoaded();
        const int r = rowOfActivity(6, 1);  // Baker & Sons row, activity 6 exported
        ASSERT_GT(r, 0);
        platform.messages.clear();
        platform.answers = {c.answer};
        click(r, 2);
        expectOnlyQuestion(kRowQuestion);
        EXPECT_EQ(act(6).exported, c.exportedAfter);
        EXPECT_EQ(w.Grid.backColorAt(r, durCol(1)), c.exportedAfter ? ui::kSysWindowBackground : kNotExported);
        EXPECT_EQ(w.ClassCombo.visible(), c.goesOn);
        if (c.goesOn) {
            EXPECT_EQ(w.ClassCombo.text(), "Residential");
        }
        EXPECT_EQ(w.Grid.row(), r);
        EXPECT_EQ(w.Grid.col(), 2);
    }
}

TEST_F(HeadingClickTest, AChoiceIsCommittedByClickingAnotherCell) {
    auto& w = openLoaded();
    const int r = rowOfActivity(1, 0);  // Acme / Design / Commercial, with exported activity 2
    ASSERT_GT(r, 0);
    platform.answers = {ui::Answer::No};
    click(r, 1);
    ASSERT_TRUE(w.ServiceCombo.visible());
    EXPECT_EQ(w.ServiceCombo.text(), "Design");
    EXPECT_DOUBLE_EQ(w.ServiceCombo.left(), w.Grid.left() + w.Grid.cellRect(r, 1).left);
    EXPECT_DOUBLE_EQ(w.ServiceCombo.top(), w.Grid.top() + w.Grid.cellRect(r, 1).top);
    EXPECT_DOUBLE_EQ(w.ServiceCombo.width(), w.Grid.cellRect(r, 1).width);
    std::vector<int32_t> rowIds;
    for (int d = 0; d < 7; ++d)
        if (w.id(durCol(d), r) > 0) rowIds.push_back(w.id(durCol(d), r));
    ASSERT_FALSE(rowIds.empty());
    w.ServiceCombo.setListIndex(comboIndex(w.ServiceCombo, "Development"));
    click(r, durCol(0));
    EXPECT_EQ(w.Grid.textMatrix(r, 1), "Development");
    EXPECT_EQ(w.id(1, r), 13);
    EXPECT_FALSE(w.ServiceCombo.visible());
    for (int32_t id : rowIds) EXPECT_EQ(act(id).service, 13) << id;
    EXPECT_TRUE(act(2).exported);  // answered No
    EXPECT_EQ(act(11).service, 12);  // someone else's activity
}

TEST_F(HeadingClickTest, ArrowKeysAcrossHeadingsShowNoComboAndWriteNothing) {
    auto& w = openLoaded();
    const int r = rowOfActivity(1, 0);
    ASSERT_GT(r, 0);
    const std::string before = dump();
    for (int c : {2, 1, 0, 1, 2}) {
        w.Grid.setCol(c);
        w.Grid.setRow(r);
    }
    w.Grid.setCol(durCol(0));
    EXPECT_FALSE(w.CustJobCombo.visible());
    EXPECT_FALSE(w.ServiceCombo.visible());
    EXPECT_FALSE(w.ClassCombo.visible());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(w.Grid.textMatrix(r, 0), "Acme Corporation:Website Redesign");
    EXPECT_EQ(w.id(0, r), 109);
    // The commit rewrites the row's references unchanged.
    const std::string after = dump();
    EXPECT_EQ(after, before);
}

// ---- Writes the file refuses ----

using RefusedReferenceTest = MarksFixture;

TEST_F(RefusedReferenceTest, HeadingCheckReportsAndShowsNoCombo) {
    auto& w = openWeek(exportedRow());
    const std::string before = dump();
    RefusedWrites refused(timerPath);
    platform.answers = {ui::Answer::Yes};
    makeCurrent(w, 1, 1);
    EXPECT_FALSE(Access::headingCellCheck(w));
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].text, kRowQuestion);
    EXPECT_NE(platform.messages[1].text.find("cannot save changes"), std::string::npos);
    EXPECT_EQ(w.Grid.col(), 1);
    EXPECT_FALSE(w.noLeaveCell());
    EXPECT_EQ(w.Grid.backColorAt(1, durCol(2)), ui::kSysWindowBackground);
    EXPECT_EQ(dump(), before);
}

TEST_F(RefusedReferenceTest, AChoiceTheFileRefusesChangesNoActivityAndIsSavedLater) {
    auto& w = openWeek();
    const std::string before = dump();
    {
        RefusedWrites refused(timerPath);
        chooseInRow(w, 1, 0, "Delta Logistics");
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(platform.messages[0].text.find("cannot save changes"), std::string::npos);
        EXPECT_EQ(dump(), before);  // not one activity of the row changed
        EXPECT_EQ(w.Grid.textMatrix(1, 0), "Delta Logistics");
        EXPECT_EQ(w.id(0, 1), 103);
        EXPECT_FALSE(w.CustJobCombo.visible());
    }
    // Once the file takes writes again, leaving the cell writes the row's choice.
    makeCurrent(w, 1, 0);
    Access::commitRowCombo(w, 0, w.CustJobCombo);
    for (int32_t id : {1, 2, 4, 5}) EXPECT_EQ(act(id).custJob, 103) << id;
}
