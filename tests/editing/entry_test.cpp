// Cell selection and duration entry: clicks, keys typed on the grid and in the
// duration editor, the Enter walk through the week, commits checked in the file.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "grid_driver.h"

namespace {


class EntryTest : public GridFixture {
protected:
    void SetUp() override {
        GridFixture::SetUp();
        openTimer("sample.tdb");
        acme = rowOf(kAcme, "Design", "Commercial");
        acme2 = rowOf(kAcme, "Design", "Commercial", acme + 1);
        dev = rowOf(kAcme, "Development", "Commercial");
        ASSERT_GT(acme, 0);
        ASSERT_GT(acme2, acme);
        ASSERT_GT(dev, 0);
    }
    // Every cell's text and colours, to show that an action changed none.
    std::vector<std::tuple<std::string, ui::Color, ui::Color>> snapshot() {
        std::vector<std::tuple<std::string, ui::Color, ui::Color>> out;
        for (int r = 0; r < rows(); ++r)
            for (int c = 0; c < grid().cols(); ++c)
                out.emplace_back(cell(r, c), grid().foreColorAt(r, c), grid().backColorAt(r, c));
        return out;
    }
    bool anyComboVisible() {
        return w().CustJobCombo.visible() || w().ServiceCombo.visible() || w().ClassCombo.visible();
    }
    // Activities of a person on a date, as the file holds them after the window closed.
    static std::vector<StoredActivity> on(const std::map<int32_t, StoredActivity>& all, const QDate& d,
                                          int32_t custJob) {
        std::vector<StoredActivity> out;
        for (const auto& [id, a] : all)
            if (a.userDate == jetDate(d) && a.custJob == custJob && a.nameId == 200) out.push_back(a);
        return out;
    }

    // After Enter on a text that is no duration: one message beginning with `message`,
    // nothing committed, the editor still open with the text on cell (r, c), which keeps `kept`.
    void expectRefused(const std::string& message, const std::string& text, int r, int c, const std::string& kept) {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text.rfind(message, 0), 0u) << platform.messages[0].text;
        EXPECT_FALSE(w().commitOK());
        EXPECT_TRUE(w().TimeEntry.visible());
        EXPECT_EQ(w().TimeEntry.text(), text);
        EXPECT_EQ(grid().row(), r);
        EXPECT_EQ(grid().col(), c);
        EXPECT_EQ(cell(r, c), kept);
    }

    int acme = -1, acme2 = -1, dev = -1;
    const QDate mon{2026, 11, 30}, tue{2026, 12, 1}, wed{2026, 12, 2};
};

// ---- Grid_MouseDown ----

TEST_F(EntryTest, ClicksOnTheHeaderTheTotalsRowAndTheTotalsColumnChangeNothing) {
    arrowTo(acme, durCol(1));
    const auto before = snapshot();
    const std::vector<std::pair<int, int>> targets = {
        {0, durCol(1)}, {0, 0}, {0, 24}, {totalsRow(), durCol(1)}, {totalsRow(), 0}, {totalsRow(), bCol(3)},
        {totalsRow(), 24}, {acme, 24}, {dev, 24}, {lastDataRow(), 24}};
    for (auto [r, c] : targets) {
        SCOPED_TRACE("click on " + std::to_string(r) + "," + std::to_string(c));
        click(r, c);
        EXPECT_EQ(grid().row(), acme);
        EXPECT_EQ(grid().col(), durCol(1));
        EXPECT_FALSE(w().TimeEntry.visible());
        EXPECT_FALSE(anyComboVisible());
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_EQ(snapshot(), before);
        // Typing afterwards goes to the cell that stayed current, not to a totals cell.
        EXPECT_EQ(gridKey('4'), '4');
        EXPECT_TRUE(w().TimeEntry.visible());
        EXPECT_EQ(w().TimeEntry.text(), "4");
        w().HideCellEditors(false);
    }
    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 16u);
}

TEST_F(EntryTest, AClickOnTheTotalsStillCommitsThePendingDuration) {
    click(acme, durCol(1));
    type("2");
    click(totalsRow(), durCol(1));
    EXPECT_EQ(cell(acme, durCol(1)), "02:00");
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(grid().row(), acme);
    EXPECT_EQ(grid().col(), durCol(1));
    EXPECT_EQ(cell(totalsRow(), durCol(1)), "14:15");  // 04:15 + 08:00 + the new 02:00
    const int32_t id = w().id(durCol(1), acme);
    ASSERT_GT(id, 0);
    auto all = closeAndRead();
    ASSERT_EQ(all.count(id), 1u);
    EXPECT_EQ(all[id].minutes, 120);
    EXPECT_EQ(all[id].userDate, jetDate(tue));
}

TEST_F(EntryTest, AClickOnADurationLaysTheEditorExactlyOverTheCellWithTheOldTextSelected) {
    std::vector<std::pair<int, int>> scrolledTo;
    grid().scrollToCurrent = [&] { scrolledTo.emplace_back(grid().row(), grid().col()); };
    grid().setColWidth(durCol(0), 777);
    grid().setRowHeight(acme, 413);

    click(acme, durCol(0));
    auto expectEditorAt = [&](double left, double top, double width, double height) {
        EXPECT_DOUBLE_EQ(w().TimeEntry.left(), grid().left() + left);
        EXPECT_DOUBLE_EQ(w().TimeEntry.top(), grid().top() + top);
        EXPECT_DOUBLE_EQ(w().TimeEntry.width(), width);
        EXPECT_DOUBLE_EQ(w().TimeEntry.height(), height);
    };
    const ui::CellRect rc = grid().cellRect(acme, durCol(0));
    EXPECT_TRUE(w().TimeEntry.visible());
    EXPECT_EQ(w().TimeEntry.text(), "02:30");
    EXPECT_EQ(w().TimeEntry.selStart(), 0);
    EXPECT_EQ(w().TimeEntry.selLength(), 5);
    EXPECT_TRUE(w().TimeEntry.hasFocus());
    expectEditorAt(rc.left, rc.top, 777, 413);
    ASSERT_FALSE(scrolledTo.empty());
    EXPECT_EQ(scrolledTo.back(), std::make_pair(acme, durCol(0)));

    // A scrolled view reports other positions; the editor follows them.
    grid().cellGeometry = [](int r, int c) { return ui::CellRect{100.0 * c - 850, 240.0 * r - 480, 615, 300}; };
    click(dev, durCol(1));
    expectEditorAt(100.0 * durCol(1) - 850, 240.0 * dev - 480, 615, 300);
    EXPECT_EQ(w().TimeEntry.text(), "04:15");
    EXPECT_EQ(scrolledTo.back(), std::make_pair(dev, durCol(1)));
}

TEST_F(EntryTest, AClickOnAnotherCellCommitsThePendingDurationBeforeTheNewEditorOpens) {
    click(acme, durCol(1));
    type("1.5");
    click(dev, durCol(0));
    EXPECT_EQ(cell(acme, durCol(1)), "01:30");
    EXPECT_EQ(grid().row(), dev);
    EXPECT_EQ(grid().col(), durCol(0));
    EXPECT_TRUE(w().TimeEntry.visible());
    EXPECT_EQ(w().TimeEntry.text(), "");
    EXPECT_EQ(cell(acme, 24), "05:30");
    auto all = closeAndRead();
    auto tuesday = on(all, tue, 109);
    // The Development activity of that Tuesday and the new Design one.
    ASSERT_EQ(tuesday.size(), 2u);
    bool found = false;
    for (const auto& a : tuesday)
        if (a.service == 11) {
            found = true;
            EXPECT_EQ(a.minutes, 90);
            EXPECT_EQ(a.cls, 3);
            EXPECT_EQ(a.payrollItem, 2);
            EXPECT_TRUE(a.billable);  // the file's preference
            EXPECT_FALSE(a.exported);
        }
    EXPECT_TRUE(found);
}

TEST_F(EntryTest, TheExportedQuestionGuardsTheEditorOfAClickedDuration) {
    const int32_t id = w().id(durCol(2), acme);  // exported Wednesday activity
    ASSERT_GT(id, 0);

    platform.answers = {ui::Answer::Cancel};
    click(acme, durCol(2));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::YesNoCancel);
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(grid().row(), acme);
    EXPECT_EQ(grid().col(), durCol(2));

    platform.answers = {ui::Answer::No};
    click(acme, durCol(2));
    EXPECT_TRUE(w().TimeEntry.visible());
    EXPECT_EQ(w().TimeEntry.text(), "01:30");
    w().HideCellEditors(false);

    platform.answers = {ui::Answer::Yes};
    arrowTo(dev, durCol(0));
    click(acme, durCol(2));
    EXPECT_TRUE(w().TimeEntry.visible());
    EXPECT_EQ(platform.messages.size(), 3u);
    auto all = closeAndRead();
    EXPECT_FALSE(all.at(id).exported);
}

// ---- Grid_KeyPress: characters ----

TEST_F(EntryTest, ACharacterTypedOnADurationOpensTheEditorWithItAndTheCaretAfterIt) {
    arrowTo(acme, durCol(0));
    EXPECT_EQ(gridKey('7'), '7');  // not consumed
    EXPECT_TRUE(w().TimeEntry.visible());
    EXPECT_EQ(w().TimeEntry.text(), "7");
    EXPECT_EQ(w().TimeEntry.selStart(), 1);
    EXPECT_EQ(w().TimeEntry.selLength(), 0);
    EXPECT_TRUE(w().TimeEntry.hasFocus());
    EXPECT_EQ(cell(acme, durCol(0)), "02:30");  // until the commit
    type("5");
    EXPECT_EQ(w().TimeEntry.text(), "75");
    editorEnter();
    EXPECT_EQ(cell(acme, durCol(0)), "01:15");  // 75 minutes
    EXPECT_EQ(grid().col(), durCol(1));
}

TEST_F(EntryTest, CharactersTypedOnHeadingMarkerAndTotalsCellsOpenNoEditor) {
    const std::vector<std::pair<int, int>> cells = {{acme, 0},          {acme, 1},       {acme, 2},
                                                    {acme, bCol(0)},    {acme, nCol(0)}, {acme, nCol(6)},
                                                    {acme, 24},         {dev, bCol(1)},  {totalsRow(), durCol(0)},
                                                    {totalsRow(), durCol(6)}};
    for (auto [r, c] : cells) {
        SCOPED_TRACE("typing on " + std::to_string(r) + "," + std::to_string(c));
        arrowTo(r, c);
        for (int k : {int('7'), int('x'), 27, 8}) EXPECT_EQ(gridKey(k), k);
        EXPECT_FALSE(w().TimeEntry.visible());
        EXPECT_FALSE(anyComboVisible());
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EntryTest, EscAndBackspaceAreTypedAsCharactersThatDoNotParse) {
    for (int k : {27, 8}) {
        SCOPED_TRACE(k);
        platform.messages.clear();
        arrowTo(acme, durCol(1));
        gridKey(k);
        ASSERT_TRUE(w().TimeEntry.visible());
        editorEnter();
        expectRefused(kBadTime, std::string(1, static_cast<char>(k)), acme, durCol(1), "");
        EXPECT_EQ(platform.messages[0].text, kBadTime);
        w().HideCellEditors(false);
    }
    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 16u);
}

// ---- TimeEntry_KeyPress ----

TEST_F(EntryTest, EnterInTheEditorWritesTheDurationTotalsAndMovesToTheNextDay) {
    const std::string grandBefore = cell(totalsRow(), 24);
    typeAndEnter(acme, durCol(1), "2:30");
    EXPECT_TRUE(w().commitOK());
    EXPECT_EQ(cell(acme, durCol(1)), "02:30");
    EXPECT_EQ(cell(acme, bCol(1)), "*");  // the file's default is billable
    EXPECT_EQ(grid().backColorAt(acme, durCol(1)), kNotExported);
    EXPECT_EQ(grid().row(), acme);
    EXPECT_EQ(grid().col(), durCol(2));
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(w().TimeEntry.text(), "");
    EXPECT_EQ(cell(acme, 24), "06:30");
    EXPECT_EQ(cell(totalsRow(), durCol(1)), "14:45");
    EXPECT_NE(cell(totalsRow(), 24), grandBefore);
    EXPECT_TRUE(platform.messages.empty());

    const int32_t id = w().id(durCol(1), acme);
    ASSERT_GT(id, 16);
    auto all = closeAndRead();
    ASSERT_EQ(all.count(id), 1u);
    EXPECT_EQ(all[id].nameId, 200);
    expectStored(all[id], 109, 11, 3, 150, tue);
}

TEST_F(EntryTest, EnterInTheEditorOnSundayGoesToTheTotalsColumnWhereEnterDoesNothing) {
    typeAndEnter(dev, durCol(6), "45");
    EXPECT_EQ(cell(dev, durCol(6)), "00:45");
    EXPECT_EQ(grid().row(), dev);
    EXPECT_EQ(grid().col(), 24);
    EXPECT_EQ(gridKey(13), 13);  // not consumed
    EXPECT_EQ(grid().row(), dev);
    EXPECT_EQ(grid().col(), 24);
}

TEST_F(EntryTest, AnUnparseableEntryKeepsTheEditorOpenUntilItIsCorrected) {
    typeAndEnter(acme, durCol(1), "abc");
    expectRefused(kBadTime, "abc", acme, durCol(1), "");
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kBadTime});
    EXPECT_TRUE(w().TimeEntry.hasFocus());
    EXPECT_EQ(w().id(durCol(1), acme), 0);

    w().TimeEntry.userEdited("1:15");
    editorEnter();
    EXPECT_TRUE(w().commitOK());
    EXPECT_EQ(cell(acme, durCol(1)), "01:15");
    EXPECT_EQ(grid().col(), durCol(2));
    EXPECT_EQ(platform.messages.size(), 1u);
    auto all = closeAndRead();
    auto tuesday = on(all, tue, 109);
    EXPECT_EQ(tuesday.size(), 2u);
}

TEST_F(EntryTest, ADayOrMoreIsRefusedRatherThanCutToItsRemainder) {
    for (const char* typed : {"25:00", "1500", "24:00"}) {
        SCOPED_TRACE(typed);
        platform.messages.clear();
        click(acme, durCol(0));
        w().TimeEntry.userEdited(typed);
        editorEnter();
        expectRefused("You cannot enter more than 23:59 for any activity: ", typed, acme, durCol(0), "02:30");
        w().HideCellEditors(false);
    }
    auto all = closeAndRead();
    EXPECT_EQ(all.at(1).minutes, 150);
}

TEST_F(EntryTest, EmptyingACellDeletesItsActivityAndResetsItsColours) {
    for (std::string emptied : {"", "   "}) {
        SCOPED_TRACE("'" + emptied + "'");
        const int r = emptied.empty() ? acme : acme2;
        const int c = emptied.empty() ? durCol(0) : durCol(3);  // activities 1 and 4: billable, noted
        const int32_t id = w().id(c, r);
        ASSERT_GT(id, 0);
        const std::string note = cell(r, c + 2);
        ASSERT_FALSE(note.empty());
        click(r, c);
        w().TimeEntry.userEdited(emptied);
        editorEnter();
        EXPECT_EQ(cell(r, c), "");
        EXPECT_EQ(grid().foreColorAt(r, c), ui::kSysWindowText);
        EXPECT_EQ(grid().backColorAt(r, c), ui::kSysWindowBackground);
        EXPECT_EQ(cell(r, c + 1), "*");   // the marker cells keep their text
        EXPECT_EQ(cell(r, c + 2), note);
        EXPECT_EQ(w().id(c, r), 0);
        EXPECT_EQ(grid().col(), c + 3);
    }
    EXPECT_EQ(cell(acme, 24), "01:30");
    EXPECT_TRUE(platform.messages.empty());
    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 14u);
    EXPECT_EQ(all.count(1), 0u);
    EXPECT_EQ(all.count(4), 0u);
    EXPECT_EQ(all.count(2), 1u);

    // An independent reader agrees.
    const std::string out = mdbExport(timerPath);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.find("\n1,"), std::string::npos);
    EXPECT_EQ(out.find("\n4,"), std::string::npos);
    EXPECT_NE(out.find("\n2,"), std::string::npos);
}

// ---- Grid_KeyPress: the Enter walk ----

TEST_F(EntryTest, EnterInTheGridWalksToTheSameKindOfCellOnTheNextDay) {
    struct Step { int from, toRow, toCol; };
    const std::vector<Step> steps = {{0, acme, 3},      {1, acme, 4},       {2, acme, 5},      {3, acme, 6},
                                     {4, acme, 7},      {5, acme, 8},       {18, acme, 21},    {20, acme, 23},
                                     {21, acme, 24},    {22, acme + 1, 3},  {23, acme + 1, 3}};
    for (const Step& s : steps) {
        SCOPED_TRACE("Enter on column " + std::to_string(s.from));
        arrowTo(acme, s.from);
        EXPECT_EQ(gridKey(13), 0);  // consumed
        EXPECT_EQ(grid().row(), s.toRow);
        EXPECT_EQ(grid().col(), s.toCol);
        EXPECT_FALSE(w().noLeaveCell());
        EXPECT_FALSE(w().TimeEntry.visible());
    }
    arrowTo(totalsRow(), durCol(2));
    EXPECT_EQ(gridKey(13), 13);
    EXPECT_EQ(grid().row(), totalsRow());
    EXPECT_EQ(grid().col(), durCol(2));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EntryTest, EnterOnTheLastColumnsOfAnUnusedLastRowWrapsToTheFirstRow) {
    const int n = rows();
    for (int from : {22, 23}) {
        arrowTo(lastDataRow(), from);
        EXPECT_EQ(gridKey(13), 0);
        EXPECT_EQ(grid().row(), 1);
        EXPECT_EQ(grid().col(), 3);
        EXPECT_EQ(rows(), n);
    }
}

TEST_F(EntryTest, EnterOnTheLastColumnOfAUsedLastRowAddsAnEmptyRow) {
    // A duration committed in the new-combination row, on a Friday, before any reference.
    const int last = lastDataRow();
    typeAndEnter(last, durCol(4), "2");
    ASSERT_GT(w().id(durCol(4), last), 0);
    const int n = rows();
    for (int from : {23, 22}) {
        SCOPED_TRACE(from);
        const int used = lastDataRow();
        if (from == 22) {
            // The row added a moment ago is in use once it holds a Monday activity.
            typeAndEnter(used, durCol(0), "1");
        }
        arrowTo(used, from);
        EXPECT_EQ(gridKey(13), 0);
        EXPECT_EQ(rows(), from == 23 ? n + 1 : n + 2);
        EXPECT_EQ(grid().row(), rows() - 2);
        EXPECT_EQ(grid().col(), 3);
        for (int c = 0; c < 24; ++c) {
            EXPECT_EQ(cell(rows() - 2, c), "");
            EXPECT_EQ(w().id(c, rows() - 2), 0);
        }
        EXPECT_EQ(cell(totalsRow(), 2), "Totals:");
    }
    EXPECT_EQ(cell(totalsRow(), durCol(4)), "02:45");  // 00:45 of Friday + 02:00
    EXPECT_EQ(cell(last, 24), "02:00");
}

// ---- Leave-cell states ----

TEST_F(EntryTest, AParkedEditorCommitsNothingUntilItsTextIsReplaced) {
    click(acme, durCol(1));
    type("3");
    w().HideCellEditors(false);
    EXPECT_EQ(w().TimeEntry.text(), "^");
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(cell(acme, durCol(1)), "");  // the half-typed duration is gone

    arrowTo(acme, durCol(2));
    arrowTo(dev, durCol(0));
    EXPECT_EQ(w().TimeEntry.text(), "^");  // the moves were ignored

    gridKey('4');
    EXPECT_EQ(w().TimeEntry.text(), "4");
    editorEnter();
    EXPECT_EQ(cell(dev, durCol(0)), "04:00");
    EXPECT_EQ(w().TimeEntry.text(), "");
    auto all = closeAndRead();
    EXPECT_TRUE(on(all, tue, 109).size() == 1u);  // nothing written for the Tuesday of the Design row
    EXPECT_EQ(on(all, mon, 109).size(), 2u);
}

TEST_F(EntryTest, WithTheMainWindowDisabledTheEditorsStayAsTheyAre) {
    w().HideCellEditors(false);
    arrowTo(acme, durCol(0));
    w().setEnabled(false);
    gridKey(13);
    EXPECT_EQ(grid().col(), durCol(1));
    EXPECT_EQ(w().TimeEntry.text(), "^");
    w().setEnabled(true);
    gridKey(13);
    EXPECT_EQ(w().TimeEntry.text(), "");
}

TEST_F(EntryTest, NoTimerFileOpenCommitsNothing) {
    click(acme, durCol(1));
    type("2");
    w().m_bDbOpen = false;
    editorEnter();
    EXPECT_TRUE(w().commitOK());
    EXPECT_EQ(cell(acme, durCol(1)), "");
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(grid().col(), durCol(2));
    w().m_bDbOpen = true;
    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 16u);
}

// ---- A new row ----

TEST_F(EntryTest, ANewRowsDurationCommittedBeforeItsReferencesGetsThemWhenChosen) {
    const int last = lastDataRow();
    typeAndEnter(last, durCol(1), "3");
    const int32_t id = w().id(durCol(1), last);
    ASSERT_GT(id, 16);

    auto choose = [](ui::ComboBox& combo, const std::string& text) {
        ASSERT_GE(comboIndex(combo, text), 0) << text << " is not listed";
        combo.setListIndex(comboIndex(combo, text));
    };
    click(last, 0);
    ASSERT_TRUE(w().CustJobCombo.visible());
    EXPECT_EQ(w().CustJobCombo.listIndex(), -1);
    choose(w().CustJobCombo, "Delta Logistics");
    click(last, 1);
    EXPECT_EQ(cell(last, 0), "Delta Logistics");
    EXPECT_EQ(w().id(0, last), 103);
    ASSERT_TRUE(w().ServiceCombo.visible());
    choose(w().ServiceCombo, "Training");
    click(last, 2);
    ASSERT_TRUE(w().ClassCombo.visible());
    choose(w().ClassCombo, "Internal");
    click(last, durCol(2));
    EXPECT_EQ(cell(last, 1), "Training");
    EXPECT_EQ(cell(last, 2), "Internal");
    EXPECT_FALSE(anyComboVisible());

    auto all = closeAndRead();
    ASSERT_EQ(all.count(id), 1u);
    expectStored(all[id], 103, 12, 6, 180, tue);
}

}  // namespace
