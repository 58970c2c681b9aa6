// The exported guard, the billable toggle, note edits through the Activity
// Detail dialog and the duration editor's double-click, checked in the Timer file.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "editing/detail.h"
#include "marks_util.h"

using namespace marks;

namespace {

const std::string kExportedQuestion =
    "This activity has already been exported. You can change the status to unexported, or leave the status "
    "as exported. Do you want to change the status to unexported?";

using CheckExportedTest = MarksFixture;
using BCellTest = MarksFixture;
using NCellTest = MarksFixture;
using DetailDblClickTest = MarksFixture;

// Plays the user in the Activity Detail dialog.
struct DetailScript {
    std::optional<std::string> note;  // text typed into Note, if any
    std::optional<int> billable{};    // Billable value set, if any
    enum { Ok, Cancel, Close } close = Ok;
    // What the dialog showed when it opened.
    std::string shownNote{};
    bool shownBillableVisible = false;
    int shownBillable = -1;
    std::string caption{};
    int opened = 0;
};

void script(ScriptedPlatform& platform, DetailScript& s) {
    platform.onModal = [&s](ui::Form& f) {
        auto& d = dynamic_cast<app::Detail&>(f);
        ++s.opened;
        s.caption = d.caption();
        s.shownNote = d.Note.text();
        s.shownBillableVisible = d.Billable.visible();
        s.shownBillable = d.Billable.value();
        if (s.note) d.Note.userEdited(*s.note);
        if (s.billable) d.Billable.setValue(*s.billable);
        if (s.close == DetailScript::Ok) d.OK.click();
        else if (s.close == DetailScript::Cancel) d.Cancel.click();
    };
}

}  // namespace

// ---- CheckExported ----

TEST_F(CheckExportedTest, UnexportedOrMissingActivityPassesWithoutAQuestion) {
    auto& w = openWeek();
    std::string before = dump();
    EXPECT_TRUE(Access::checkExported(w, 1, durCol(0)));  // activity 1, not exported
    EXPECT_TRUE(Access::checkExported(w, 1, durCol(1)));  // no activity on Tuesday
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(dump(), before);
}

TEST_F(CheckExportedTest, EachAnswerOnAnExportedActivity) {
    for (const ExportedAnswer& c : kExportedAnswers) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        auto& w = openWeek();
        platform.messages.clear();
        platform.answers = {c.answer};
        const Activity before = act(2);
        ASSERT_TRUE(before.exported);
        EXPECT_EQ(Access::checkExported(w, 1, durCol(2)), c.goesOn);
        expectOnlyQuestion(kExportedQuestion);
        const Activity after = act(2);
        EXPECT_EQ(after.exported, c.exportedAfter);
        // Only the flag changes; the grid waits for the cell's next write.
        EXPECT_EQ(after.billable, before.billable);
        EXPECT_EQ(after.createTime, before.createTime);
        EXPECT_EQ(w.Grid.backColorAt(1, durCol(2)), ui::kSysWindowBackground);
    }
}

TEST_F(CheckExportedTest, YesIsInTheFileForOtherReaders) {
    openWeek();
    platform.answers = {ui::Answer::Yes};
    EXPECT_TRUE(Access::checkExported(*win, 2, durCol(1)));  // activity 6
    win.reset();
    auto rows = mdbExportActivities(timerPath);
    ASSERT_EQ(rows.count(6), 1u);
    // ...,Billable Status,Note,Exported,... : billable 1, the long note, then Exported 0
    EXPECT_NE(rows[6].find("next week.\",0,"), std::string::npos) << rows[6];
    EXPECT_NE(rows[7].find(",0,,1,"), std::string::npos) << rows[7];  // activity 7 untouched
}

// ---- B cell ----

// Two toggles change the flag in the file and back; marker and colour follow each.
TEST_F(BCellTest, TwoTogglesChangeBillableAndBackWithMarkerAndColour) {
    auto& w = openWeek();
    struct Case {
        int day;
        int32_t id;
        const char* marker[2];  // after the first and the second toggle
        ui::Color fore[2];
    };
    const Case cases[] = {{4, 5, {"*", ""}, {kGreen, ui::kSysWindowText}},  // not billable, no note
                          {0, 1, {"", "*"}, {kBlue, kMagenta}}};           // billable, with a note
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const bool start = act(c.id).billable;
        makeCurrent(w, 1, bCol(c.day));
        for (int i = 0; i < 2; ++i) {
            Access::bCellAction(w);
            EXPECT_EQ(act(c.id).billable, i == 0 ? !start : start);
            EXPECT_EQ(w.Grid.textMatrix(1, bCol(c.day)), c.marker[i]);
            EXPECT_EQ(w.Grid.foreColorAt(1, durCol(c.day)), c.fore[i]);
            EXPECT_EQ(w.Grid.row(), 1);
            EXPECT_EQ(w.Grid.col(), bCol(c.day));
        }
        EXPECT_FALSE(act(c.id).exported);
    }
    EXPECT_EQ(w.Grid.backColorAt(1, durCol(4)), kNotExported);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(BCellTest, DayWithoutActivityChangesNothing) {
    auto& w = openWeek();
    const std::string before = dump();
    makeCurrent(w, 1, bCol(1));
    Access::bCellAction(w);
    EXPECT_EQ(dump(), before);
    EXPECT_EQ(w.Grid.col(), bCol(1));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(BCellTest, ExportedActivityFollowsTheAnswer) {
    // Activity 7 (Saturday of row 3): not billable, exported; billable once the toggle goes on.
    for (const ExportedAnswer& c : kExportedAnswers) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        auto& w = openWeek();
        platform.messages.clear();
        platform.answers = {c.answer};
        makeCurrent(w, 3, bCol(5));
        Access::bCellAction(w);
        expectOnlyQuestion(kExportedQuestion);
        EXPECT_EQ(act(7).billable, c.goesOn);
        EXPECT_EQ(act(7).exported, c.exportedAfter);
        EXPECT_EQ(w.Grid.col(), bCol(5));
        // The cell is written again after the toggle: light yellow once unexported.
        EXPECT_EQ(w.Grid.backColorAt(3, durCol(5)), c.exportedAfter ? ui::kSysWindowBackground : kNotExported);
        EXPECT_EQ(w.Grid.textMatrix(3, bCol(5)), c.goesOn ? "*" : "");
    }
}

TEST_F(BCellTest, IdWithoutARecordTouchesNoOtherRecord) {
    auto rows = sampleWeek();
    rows[0].days.push_back({1, 9999, "01:00"});  // Tuesday: a record that is not in the file
    auto& w = openWeek(rows);
    const std::string before = dump();
    makeCurrent(w, 1, bCol(1));
    Access::bCellAction(w);
    makeCurrent(w, 1, nCol(1));
    DetailScript s{"changed"};
    script(platform, s);
    Access::nCellAction(w);
    EXPECT_EQ(s.opened, 0);
    EXPECT_EQ(dump(), before);
}

// ---- N cell ----

TEST_F(NCellTest, NoteIsSetChangedAndEmptiedWithColoursFollowing) {
    auto& w = openWeek();
    DetailScript s;
    script(platform, s);
    makeCurrent(w, 1, nCol(4));  // activity 5: Null note, not billable

    s.note = "Called the printer";
    Access::nCellAction(w);
    EXPECT_EQ(s.opened, 1);
    EXPECT_EQ(s.caption, "Activity Detail");
    EXPECT_EQ(s.shownNote, "");
    EXPECT_FALSE(s.shownBillableVisible);
    EXPECT_EQ(act(5).note, "Called the printer");
    EXPECT_EQ(w.Grid.textMatrix(1, nCol(4)), "Called the printer");
    EXPECT_EQ(w.Grid.foreColorAt(1, durCol(4)), kBlue);
    EXPECT_EQ(w.Grid.col(), nCol(4));

    s.note = "Called the printer twice";
    Access::nCellAction(w);
    EXPECT_EQ(s.shownNote, "Called the printer");
    EXPECT_EQ(act(5).note, "Called the printer twice");
    EXPECT_EQ(w.Grid.textMatrix(1, nCol(4)), "Called the printer twice");

    s.note = "";
    Access::nCellAction(w);
    EXPECT_TRUE(!act(5).note || act(5).note->empty());
    EXPECT_EQ(w.Grid.textMatrix(1, nCol(4)), "");
    EXPECT_EQ(w.Grid.foreColorAt(1, durCol(4)), ui::kSysWindowText);
    EXPECT_EQ(act(5).billable, false);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(NCellTest, CancelOrClosingKeepsTheNote) {
    for (auto how : {DetailScript::Cancel, DetailScript::Close}) {
        auto& w = openWeek();
        DetailScript s{"must not be stored"};
        s.close = how;
        script(platform, s);
        makeCurrent(w, 1, nCol(0));
        Access::nCellAction(w);
        EXPECT_EQ(s.opened, 1);
        EXPECT_EQ(act(1).note, "Homepage mockups");
        EXPECT_EQ(w.Grid.textMatrix(1, nCol(0)), "Homepage mockups");  // redrawn from the record
    }
}

TEST_F(NCellTest, AnEarlierOkDoesNotCarryOverToAClose) {
    auto& w = openWeek();
    DetailScript s{"first"};
    script(platform, s);
    makeCurrent(w, 1, nCol(3));  // activity 4
    Access::nCellAction(w);
    ASSERT_EQ(act(4).note, "first");
    s.note = "second";
    s.close = DetailScript::Close;
    Access::nCellAction(w);
    EXPECT_EQ(act(4).note, "first");
}

TEST_F(NCellTest, ExportedActivityAsksFirst) {
    for (const ExportedAnswer& c : kExportedAnswers) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        auto& w = openWeek();
        const std::string original = *act(6).note;
        platform.messages.clear();
        platform.answers = {c.answer};
        DetailScript s{"short now"};
        script(platform, s);
        makeCurrent(w, 2, nCol(1));
        Access::nCellAction(w);
        EXPECT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(s.opened, c.goesOn ? 1 : 0);
        EXPECT_EQ(act(6).exported, c.exportedAfter);
        EXPECT_EQ(act(6).note, c.goesOn ? "short now" : original);
    }
}

TEST_F(NCellTest, DayWithoutActivityOpensNoDialog) {
    auto& w = openWeek();
    DetailScript s{"x"};
    script(platform, s);
    const std::string before = dump();
    makeCurrent(w, 2, nCol(0));
    Access::nCellAction(w);
    EXPECT_EQ(s.opened, 0);
    EXPECT_EQ(dump(), before);
}

// ---- Double-click on the duration editor ----

TEST_F(DetailDblClickTest, EditsNoteAndBillableTogether) {
    auto& w = openWeek();
    DetailScript s{"Homepage mockups, round 2", 0};
    script(platform, s);
    makeCurrent(w, 1, durCol(0));  // activity 1: billable, with a note
    const Activity before = act(1);
    w.TimeEntry_DblClick();
    EXPECT_EQ(s.opened, 1);
    EXPECT_EQ(s.shownNote, "Homepage mockups");
    EXPECT_TRUE(s.shownBillableVisible);
    EXPECT_EQ(s.shownBillable, 1);
    const Activity after = act(1);
    EXPECT_EQ(after.note, "Homepage mockups, round 2");
    EXPECT_FALSE(after.billable);
    EXPECT_EQ(after.exported, before.exported);
    EXPECT_EQ(after.createTime, before.createTime);
    EXPECT_TRUE(w.TimeEntry.hasFocus());
    // The grid follows only when the editor is committed.
    EXPECT_EQ(w.Grid.textMatrix(1, nCol(0)), "");

    s = DetailScript{std::nullopt, 1};
    makeCurrent(w, 1, durCol(4));  // activity 5: not billable, Null note
    w.TimeEntry_DblClick();
    EXPECT_EQ(s.shownBillable, 0);
    EXPECT_EQ(s.shownNote, "");
    EXPECT_TRUE(act(5).billable);
}

TEST_F(DetailDblClickTest, CancelOrNoActivityWritesNothing) {
    auto& w = openWeek();
    DetailScript s{"nope", 0};
    s.close = DetailScript::Cancel;
    script(platform, s);
    const std::string before = dump();
    makeCurrent(w, 1, durCol(0));
    w.TimeEntry_DblClick();
    EXPECT_EQ(s.opened, 1);
    makeCurrent(w, 1, durCol(1));  // no activity
    w.TimeEntry_DblClick();
    makeCurrent(w, 1, 0);  // not a day column
    w.TimeEntry_DblClick();
    EXPECT_EQ(s.opened, 1);
    EXPECT_EQ(dump(), before);
}

TEST_F(DetailDblClickTest, ExportedActivityIsNotAskedAgain) {
    auto& w = openWeek();
    DetailScript s{"after export", 1};
    script(platform, s);
    makeCurrent(w, 1, durCol(2));  // activity 2, exported
    w.TimeEntry_DblClick();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(act(2).note, "after export");
    EXPECT_TRUE(act(2).exported);
}

// ---- The same actions reached through clicks on the loaded week ----

using MarkerClickTest = ClickFixture;

TEST_F(MarkerClickTest, BCellClickTogglesAndRedraws) {
    auto& w = openLoaded();
    const int r = rowOfActivity(5, 4);  // Friday, not billable, no note
    ASSERT_GT(r, 0);
    click(r, bCol(4));
    EXPECT_TRUE(act(5).billable);
    EXPECT_EQ(w.Grid.textMatrix(r, bCol(4)), "*");
    EXPECT_EQ(w.Grid.foreColorAt(r, durCol(4)), kGreen);
    EXPECT_EQ(w.Grid.row(), r);
    EXPECT_EQ(w.Grid.col(), bCol(4));
    EXPECT_FALSE(w.TimeEntry.visible());
    click(r, bCol(4));
    EXPECT_FALSE(act(5).billable);
    EXPECT_EQ(w.Grid.textMatrix(r, bCol(4)), "");
    EXPECT_EQ(w.Grid.foreColorAt(r, durCol(4)), ui::kSysWindowText);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(MarkerClickTest, NCellClickEditsTheNote) {
    auto& w = openLoaded();
    const int r = rowOfActivity(4, 3);  // Thursday, billable, "Review with client"
    ASSERT_GT(r, 0);
    DetailScript s{"Reviewed with the client twice"};
    script(platform, s);
    click(r, nCol(3));
    EXPECT_EQ(s.shownNote, "Review with client");
    EXPECT_FALSE(s.shownBillableVisible);
    EXPECT_EQ(act(4).note, "Reviewed with the client twice");
    EXPECT_EQ(w.Grid.textMatrix(r, nCol(3)), "Reviewed with the client twice");
    EXPECT_EQ(w.Grid.foreColorAt(r, durCol(3)), kMagenta);
    EXPECT_EQ(w.Grid.col(), nCol(3));
    s.note = "";
    click(r, nCol(3));
    EXPECT_EQ(w.Grid.textMatrix(r, nCol(3)), "");
    EXPECT_EQ(w.Grid.foreColorAt(r, durCol(3)), kGreen);
    win.reset();
    auto rows = mdbExportActivities(timerPath);
    // ...,Billable Status,Note,Exported,...: billable, an empty note, not exported
    EXPECT_NE(rows[4].find(",1,,0,"), std::string::npos) << rows[4];
}

TEST_F(MarkerClickTest, ExportedDurationClickFollowsTheAnswer) {
    for (const ExportedAnswer& c : kExportedAnswers) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        auto& w = openLoaded();
        const int r = rowOfActivity(6, 1);  // Tuesday, exported
        ASSERT_GT(r, 0);
        platform.messages.clear();
        platform.answers = {c.answer};
        click(r, durCol(1));
        expectOnlyQuestion(kExportedQuestion);
        EXPECT_EQ(w.TimeEntry.visible(), c.goesOn);
        EXPECT_EQ(act(6).exported, c.exportedAfter);
        EXPECT_EQ(w.Grid.row(), r);
        EXPECT_EQ(w.Grid.col(), durCol(1));
    }
}

TEST_F(MarkerClickTest, DoubleClickInTheEditorThenCommit) {
    auto& w = openLoaded();
    const int r = rowOfActivity(1, 0);  // Monday, billable, "Homepage mockups"
    ASSERT_GT(r, 0);
    click(r, durCol(0));
    ASSERT_TRUE(w.TimeEntry.visible());
    DetailScript s{std::nullopt, 0};
    script(platform, s);
    w.TimeEntry.onDblClick();
    EXPECT_EQ(s.opened, 1);
    EXPECT_TRUE(s.shownBillableVisible);
    EXPECT_EQ(s.shownBillable, 1);
    EXPECT_FALSE(act(1).billable);
    EXPECT_TRUE(w.TimeEntry.visible());
    EXPECT_EQ(w.Grid.textMatrix(r, bCol(0)), "*");  // not redrawn before the commit
    w.TimeEntry.typeKey(13);
    EXPECT_EQ(w.Grid.textMatrix(r, bCol(0)), "");
    EXPECT_EQ(w.Grid.foreColorAt(r, durCol(0)), kBlue);
    EXPECT_EQ(act(1).note, "Homepage mockups");
}

TEST_F(MarkerClickTest, TypingOnAnExportedDurationAsksFirst) {
    for (const ExportedAnswer& c : kExportedAnswers) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        auto& w = openLoaded();
        const int r = rowOfActivity(7, 5);  // Saturday, exported
        ASSERT_GT(r, 0);
        w.Grid.setRow(r);
        w.Grid.setCol(durCol(5));
        platform.messages.clear();
        platform.answers = {c.answer};
        int key = '4';
        w.Grid.userKeyPress(key);
        expectOnlyQuestion(kExportedQuestion);
        EXPECT_EQ(w.TimeEntry.visible(), c.goesOn);
        if (c.goesOn) {
            EXPECT_EQ(w.TimeEntry.text(), "4");
        }
        EXPECT_EQ(act(7).exported, c.exportedAfter);
    }
}

// ---- Writes the file refuses ----

using RefusedWriteTest = MarksFixture;

TEST_F(RefusedWriteTest, EachActionReportsAndLeavesTheRecordAndGridAsTheyWere) {
    auto& w = openWeek();
    const std::string before = dump();
    DetailScript s{"not stored", 0};
    script(platform, s);
    struct Case {
        const char* what;
        int row, col;
        ui::Answer answer;  // to the exported question, where one comes
        std::function<void()> act;
    };
    const Case cases[] = {
        {"exported duration, Yes", 1, durCol(2), ui::Answer::Yes,
         [&] { EXPECT_FALSE(Access::checkExported(w, 1, durCol(2))); }},
        {"B cell", 1, bCol(4), ui::Answer::Yes, [&] { Access::bCellAction(w); }},
        {"B cell of an exported activity, Yes", 3, bCol(5), ui::Answer::Yes, [&] { Access::bCellAction(w); }},
        {"N cell", 1, nCol(0), ui::Answer::Yes, [&] { Access::nCellAction(w); }},
        {"double-click", 1, durCol(3), ui::Answer::Yes, [&] { w.TimeEntry_DblClick(); }},
    };
    RefusedWrites refused(timerPath);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeCurrent(w, c.row, c.col);
        const std::string cellB = w.Grid.textMatrix(c.row, c.col - (c.col - 3) % 3 + 1);
        platform.messages.clear();
        platform.answers = {c.answer};
        c.act();
        ASSERT_FALSE(platform.messages.empty());
        EXPECT_NE(platform.messages.back().text.find("cannot save changes"), std::string::npos)
            << platform.messages.back().text;
        EXPECT_EQ(w.Grid.row(), c.row);
        EXPECT_EQ(w.Grid.col(), c.col);
        EXPECT_EQ(w.Grid.textMatrix(c.row, c.col - (c.col - 3) % 3 + 1), cellB);
        EXPECT_FALSE(w.noLeaveCell());
    }
    EXPECT_EQ(dump(), before);
}
