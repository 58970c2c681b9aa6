// Editing the loaded week as the user does it: clicks, keys in the grid and in the
// duration editor, the Enter walk, rows added, the week cleared, hover hints, the
// billable and note markers and the row references, each checked in the Timer file.
#include "editing/detail.h"
#include "grid_driver.h"

namespace {

const char* const kRowQuestion =
    "One or more of these activities has already been exported. You can change the status to unexported, "
    "or leave the status as exported. Do you want to change the status to unexported?";
const std::string kCr(1, '\r');
const std::string kClearQuestions[] = {
    "This will clear all time entries for the current week." + kCr + "Caution: this function cannot be undone!" + kCr +
        "Are your sure you want to continue?",
    "Just checking!" + kCr + "This will clear all time entries for the current week." + kCr +
        "Are your sure you want to continue?"};
// The answers to an exported question: whether the action goes on, and whether the activity stays exported.
const std::tuple<ui::Answer, bool, bool> kAnswers[] = {
    {ui::Answer::No, true, true}, {ui::Answer::Cancel, false, true}, {ui::Answer::Yes, true, false}};

class Editing : public Week {
protected:
    void SetUp() override {
        Week::SetUp();
        open();
    }
    std::pair<int, int> at() { return {grid().row(), grid().col()}; }
    bool anyCombo() { return w().CustJobCombo.visible() || w().ServiceCombo.visible() || w().ClassCombo.visible(); }
    // Every cell's text and colours, to show that an action changed none.
    std::vector<std::string> snapshot() {
        std::vector<std::string> out;
        for (int r = 0; r < grid().rows(); ++r)
            for (int c = 0; c < grid().cols(); ++c)
                out.push_back(cell(r, c) + "/" + std::to_string(colors(r, c).first) + "/" + std::to_string(colors(r, c).second));
        return out;
    }
    std::string field(int32_t id, const char* name) { return inFile().at(id).at(name); }
    // Billable, exported and note of an activity, as the engine prints them.
    std::string marks(int32_t id) {
        Record r = inFile().at(id);
        return r["Billable Status"] + " " + r["Exported"] + " " + r["Note"];
    }
    // The next Activity Detail dialogs: the note typed and the Billable value set, if any,
    // closed with OK (0), Cancel (1) or neither; `shown` is what the last one offered.
    void answerDetail(std::optional<std::string> note, std::optional<int> billable = {}, int close = 0) {
        platform.onModal = [=, this](ui::Form& f) {
            auto& d = dynamic_cast<app::Detail&>(f);
            ++opened;
            shown = d.Note.text() + "|" + (d.Billable.visible() ? std::to_string(d.Billable.value()) : "hidden");
            if (note) d.Note.userEdited(*note);
            if (billable) d.Billable.setValue(*billable);
            if (close == 0) d.OK.click();
            if (close == 1) d.Cancel.click();
        };
    }
    void deleteActivity(int32_t id) {
        auto rs = w().m_db->OpenDynaset("Activities");
        rs->FindFirst("ID=" + std::to_string(id));
        ASSERT_FALSE(rs->NoMatch());
        rs->Delete();
    }
    int opened = 0;
    std::string shown;
};

// ---- Duration entry ----

TEST_F(Editing, ClicksCommitThePendingDurationToItsOwnCell) {
    click(1, 6);
    type("2");
    click(totalsRow(), 6);  // a totals cell changes nothing: the current cell goes back
    EXPECT_EQ(cell(1, 6) + " " + cell(totalsRow(), 6), "02:00 14:15");
    EXPECT_EQ(at(), std::make_pair(1, 6));
    EXPECT_FALSE(w().TimeEntry.visible());
    click(1, 15);
    type("1.5");
    click(3, 3);  // commits Friday before Monday's editor opens
    EXPECT_EQ(cell(1, 15) + " " + cell(1, 24) + " " + w().TimeEntry.text(), "01:30 07:30 ");
    EXPECT_EQ(at(), std::make_pair(3, 3));
    const int32_t tue = w().id(6, 1), fri = w().id(15, 1);
    enter();
    // Header, totals row and totals column: the current cell stays, and typing goes to it.
    const auto before = snapshot();
    for (auto [r, c] : {std::pair{0, 6}, {0, 0}, {0, 24}, {15, 6}, {15, 0}, {15, 13}, {15, 24}, {1, 24}, {14, 24}}) {
        SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
        click(r, c);
        EXPECT_EQ(at(), std::make_pair(3, 6));
        EXPECT_FALSE(w().TimeEntry.visible() || anyCombo());
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(gridKey('4'), '4');
        EXPECT_EQ(w().TimeEntry.text(), "4");
        w().HideCellEditors(false);
    }
    EXPECT_EQ(messages(), std::vector<std::string>{});
    const Records f = closeAndRead();
    EXPECT_EQ(f.size(), 18u);
    expectFields(f.at(tue), {{"Duration", dur(2, 0)}, {"UserDate", dateValue(QDate(2026, 12, 1))}});
    expectFields(f.at(fri), {{"Duration", dur(1, 30)}, {"UserDate", dateValue(QDate(2026, 12, 4))}, {"Class ID", "3"},
                             {"Payroll Item ID", "2"}, {"Billable Status", "True"}, {"Exported", "False"}});
}

TEST_F(Editing, EditorsLieExactlyOverTheirCell) {
    std::pair<int, int> scrolled;
    grid().scrollToCurrent = [&] { scrolled = at(); };
    auto box = [](const ui::Control& c) { return std::vector<double>{c.left(), c.top(), c.width(), c.height()}; };
    grid().setColWidth(3, 777);
    grid().setRowHeight(1, 413);
    click(1, 3);
    const ui::CellRect rc = grid().cellRect(1, 3);
    EXPECT_EQ(box(w().TimeEntry), (std::vector<double>{grid().left() + rc.left, grid().top() + rc.top, 777, 413}));
    EXPECT_EQ(w().TimeEntry.text() + std::to_string(w().TimeEntry.selStart()) + std::to_string(w().TimeEntry.selLength()),
              "02:3005");  // the old text, selected
    EXPECT_TRUE(w().TimeEntry.hasFocus());
    EXPECT_EQ(scrolled, std::make_pair(1, 3));
    // A scrolled view reports other positions; the editor and the combos follow them.
    grid().cellGeometry = [](int r, int c) { return ui::CellRect{100.0 * c - 850, 240.0 * r - 480, 615, 300}; };
    for (int c : {6, 0, 1, 2}) {
        click(3, c);
        ui::Control& editor = c == 0 ? w().CustJobCombo : c == 1 ? w().ServiceCombo : c == 2 ? static_cast<ui::Control&>(w().ClassCombo) : w().TimeEntry;
        EXPECT_TRUE(editor.visible());
        EXPECT_EQ(box(editor), (std::vector<double>{grid().left() + 100.0 * c - 850, grid().top() + 240.0 * 3 - 480, 615,
                                                    c == 6 ? 300 : editor.height()}));
        EXPECT_EQ(scrolled, std::make_pair(3, c));
    }
    EXPECT_EQ(w().ClassCombo.text(), "Commercial");
}

TEST_F(Editing, KeysTypedOnTheGrid) {
    arrowTo(1, 3);
    EXPECT_EQ(gridKey('7'), '7');  // not consumed: the editor opens with it, the caret after it
    EXPECT_EQ(w().TimeEntry.text() + std::to_string(w().TimeEntry.selStart()) + std::to_string(w().TimeEntry.selLength()), "710");
    EXPECT_TRUE(w().TimeEntry.hasFocus());
    EXPECT_EQ(cell(1, 3), "02:30");  // until the commit
    type("5");
    enter();
    EXPECT_EQ(cell(1, 3), "01:15");  // 75 minutes
    EXPECT_EQ(at(), std::make_pair(1, 6));
    for (auto [r, c] : {std::pair{1, 0}, {1, 1}, {1, 2}, {1, 4}, {1, 5}, {1, 23}, {1, 24}, {3, 7}, {15, 3}, {15, 21}}) {
        arrowTo(r, c);
        for (int k : {int('7'), int('x'), 27, 8}) EXPECT_EQ(gridKey(k), k);
        EXPECT_FALSE(w().TimeEntry.visible() || anyCombo()) << r << "," << c;
    }
    EXPECT_EQ(messages(), std::vector<std::string>{});
}

// A text that is no duration is refused at Enter: the editor keeps it over its cell,
// with the focus, until the user mends it; a day or more is not cut to its remainder.
TEST_F(Editing, AnEntryThatIsNoDurationStaysInTheEditor) {
    const std::string longer = kTooLong + shortDate(QDate(2026, 11, 30));
    for (auto [typed, c, message, kept] : {std::tuple{"\x1b", 6, kBadTime, ""}, {"\b", 6, kBadTime, ""},
                                          {"abc", 6, kBadTime, ""}, {"25:00", 3, longer.c_str(), "02:30"},
                                          {"1500", 3, longer.c_str(), "02:30"}, {"24:00", 3, longer.c_str(), "02:30"}}) {
        SCOPED_TRACE(typed);
        platform.messages.clear();
        if (typed[1]) {
            click(1, c);
            w().TimeEntry.userEdited(typed);
        } else {
            arrowTo(1, c);
            gridKey(typed[0]);  // Esc and Backspace are typed as characters
        }
        enter();
        expectOnlyMessage(message);
        EXPECT_FALSE(w().commitOK());
        EXPECT_TRUE(w().TimeEntry.visible() && w().TimeEntry.hasFocus());
        EXPECT_EQ(w().TimeEntry.text(), typed);
        EXPECT_EQ(at(), std::make_pair(1, c));
        EXPECT_EQ(cell(1, c), kept);
        w().HideCellEditors(false);
    }
    click(1, 6);
    w().TimeEntry.userEdited("abc");
    enter();
    w().TimeEntry.userEdited("1:15");
    enter();
    EXPECT_TRUE(w().commitOK());
    EXPECT_EQ(cell(1, 6), "01:15");
    EXPECT_EQ(at(), std::make_pair(1, 9));
    const int32_t id = w().id(6, 1);
    const Records f = closeAndRead();
    EXPECT_EQ(f.size(), 17u);
    EXPECT_EQ(f.at(1).at("Duration"), dur(2, 30));
    expectFields(f.at(id), {{"Duration", dur(1, 15)}, {"UserDate", dateValue(QDate(2026, 12, 1))}});
}

TEST_F(Editing, EnterCommitsAndWalksTheWeek) {
    entry(1, 6, "2:30");
    EXPECT_TRUE(w().commitOK());
    EXPECT_EQ(cell(1, 6) + cell(1, 7) + " " + cell(1, 24) + " " + cell(15, 6), "02:30* 06:30 14:45");  // billable by default
    EXPECT_EQ(colors(1, 6), std::make_pair(kGreen, kNotExported));
    EXPECT_EQ(at(), std::make_pair(1, 9));
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(w().TimeEntry.text(), "");
    const int32_t id = w().id(6, 1);
    ASSERT_GT(id, 16);
    expectFields(inFile().at(id), {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"},
                                   {"Duration", dur(2, 30)}, {"UserDate", dateValue(QDate(2026, 12, 1))}});
    entry(3, 21, "45");  // Sunday goes on to the totals column, where Enter does nothing
    EXPECT_EQ(cell(3, 21), "00:45");
    EXPECT_EQ(at(), std::make_pair(3, 24));
    EXPECT_EQ(gridKey(13), 13);
    EXPECT_EQ(at(), std::make_pair(3, 24));
    // Enter in the grid: the same kind of cell on the next day; Sunday's B and N go on to the next row.
    for (auto [from, r, c] : {std::tuple{0, 1, 3}, {1, 1, 4}, {2, 1, 5}, {3, 1, 6}, {4, 1, 7}, {5, 1, 8}, {18, 1, 21},
                              {20, 1, 23}, {21, 1, 24}, {22, 2, 3}, {23, 2, 3}}) {
        arrowTo(1, from);
        EXPECT_EQ(gridKey(13), 0) << from;  // consumed
        EXPECT_EQ(at(), std::make_pair(r, c)) << from;
        EXPECT_FALSE(w().noLeaveCell() || w().TimeEntry.visible());
    }
    arrowTo(15, 9);
    EXPECT_EQ(gridKey(13), 13);
    EXPECT_EQ(at(), std::make_pair(15, 9));
    // From the last row: back to the first while it is unused; once used, into a new empty row.
    for (int from : {22, 23}) {
        arrowTo(14, from);
        gridKey(13);
        EXPECT_EQ(at(), std::make_pair(1, 3));
    }
    entry(14, 15, "2");
    for (int from : {23, 22}) {
        const int used = lastRow();
        if (from == 22) entry(used, 3, "1");  // the row added a moment ago, in use once it holds an activity
        arrowTo(used, from);
        EXPECT_EQ(gridKey(13), 0);
        EXPECT_EQ(grid().rows(), from == 23 ? 17 : 18);
        EXPECT_EQ(at(), std::make_pair(lastRow(), 3));
        for (int c = 0; c < 24; ++c) EXPECT_EQ(cell(lastRow(), c) + std::to_string(w().id(c, lastRow())), "0");
    }
    EXPECT_EQ(cell(totalsRow(), 2) + cell(totalsRow(), 15) + cell(14, 24), "Totals:02:4502:00");
    EXPECT_EQ(messages(), std::vector<std::string>{});
}

TEST_F(Editing, EmptyingACellDeletesItsActivity) {
    entry(1, 3, "");
    entry(2, 12, "   ");
    for (auto [r, c, note] : {std::tuple{1, 3, "Homepage mockups"}, {2, 12, "Review with client"}}) {
        EXPECT_EQ(cell(r, c) + "|" + cell(r, c + 1) + "|" + cell(r, c + 2), std::string("|*|") + note);  // markers stay
        EXPECT_EQ(colors(r, c), std::make_pair(kText, kBack));
        EXPECT_EQ(w().id(c, r), 0);
    }
    EXPECT_EQ(at(), std::make_pair(2, 15));
    EXPECT_EQ(cell(1, 24), "01:30");
    const Records f = closeAndRead(), x = mdbExport(timerPath);
    EXPECT_EQ(f.size(), 14u);
    EXPECT_EQ(f.count(1) + f.count(4) + x.count(1) + x.count(4), 0u);
    EXPECT_EQ(x.size(), 14u);
    EXPECT_EQ(messages(), std::vector<std::string>{});
}

// A parked editor ("^") commits nothing until typing replaces its text; a disabled
// window leaves the editors alone; without a Timer file nothing is committed.
TEST_F(Editing, EditorsParkedDisabledAndWithoutAFile) {
    click(1, 6);
    type("3");
    w().HideCellEditors(false);
    EXPECT_FALSE(w().TimeEntry.visible() || anyCombo());
    EXPECT_EQ(w().TimeEntry.text() + cell(1, 6), "^");
    arrowTo(1, 9);
    arrowTo(3, 3);
    EXPECT_EQ(w().TimeEntry.text(), "^");
    gridKey('4');
    enter();
    EXPECT_EQ(cell(3, 3) + w().TimeEntry.text(), "04:00");
    w().HideCellEditors(false);
    arrowTo(1, 3);
    w().setEnabled(false);
    gridKey(13);
    EXPECT_EQ(grid().col(), 6);
    EXPECT_EQ(w().TimeEntry.text(), "^");
    w().setEnabled(true);
    gridKey(13);
    EXPECT_EQ(w().TimeEntry.text(), "");
    click(2, 6);
    type("2");
    w().m_bDbOpen = false;
    enter();
    EXPECT_TRUE(w().commitOK());
    EXPECT_EQ(cell(2, 6), "");
    EXPECT_EQ(at(), std::make_pair(2, 9));
    w().m_bDbOpen = true;
    const Records f = closeAndRead();
    EXPECT_EQ(f.size(), 17u);
    EXPECT_EQ(f.rbegin()->second.at("Duration"), dur(4, 0));
}

// References chosen in the new row reach its activities once it has one.
TEST_F(Editing, ANewRowsReferences) {
    const Records before = inFile();
    choose(14, 1, "Travel Time");
    click(14, 6);
    EXPECT_EQ(cell(14, 1), "Travel Time");
    EXPECT_EQ(w().id(1, 14), 16);
    EXPECT_EQ(inFile(), before);
    w().TimeEntry.userEdited("3");
    enter();
    const int32_t id = w().id(6, 14);
    ASSERT_GT(id, 16);
    expectFields(inFile().at(id), {{"CustJob ID", "0"}, {"Service ID", "16"}, {"Duration", dur(3, 0)}});
    choose(14, 0, "Delta Logistics");
    choose(14, 1, "Training");
    choose(14, 2, "Internal");
    click(14, 9);
    EXPECT_EQ(cell(14, 0) + "|" + cell(14, 1) + "|" + cell(14, 2), "Delta Logistics|Training|Internal");
    EXPECT_EQ(w().id(0, 14), 103);
    EXPECT_FALSE(anyCombo());
    expectFields(closeAndRead().at(id), {{"CustJob ID", "103"}, {"Service ID", "12"}, {"Class ID", "6"}});
}

// ---- Rows and clearing ----

TEST_F(Editing, AddRowAndClearTheWeek) {
    click(1, 6);
    type("2:15");
    w().EditMenuAddRow_Click();  // the pending entry reaches its own cell first
    w().tbToolBar_ButtonClick("AddRow");
    ASSERT_EQ(grid().rows(), 18);
    EXPECT_EQ(at(), std::make_pair(1, 6));
    EXPECT_FALSE(w().noLeaveCell() || w().TimeEntry.visible());
    EXPECT_EQ(cell(1, 6) + cell(16, 6), "02:15");
    for (int r : {15, 16}) {
        EXPECT_EQ(grid().rowHeight(r), static_cast<int>(w().CustJobCombo.height()));
        for (int c = 0; c < 24; ++c) EXPECT_EQ(cell(r, c) + std::to_string(w().id(c, r)) + std::to_string(colors(r, c).second), "0" + std::to_string(kBack));
        EXPECT_EQ(cell(r, 24), "00:00");
    }
    EXPECT_EQ(cell(17, 2) + cell(17, 24), "Totals:48:43");
    EXPECT_EQ(grid().backColorAt(17, 5), ui::kSys3DLight);
    EXPECT_EQ(w().id(3, 17), 0);
    EXPECT_THROW(w().id(3, 18), std::out_of_range);  // one row of IDs per grid row
    w().m_bDbOpen = false;
    w().EditMenuAddRow_Click();
    EXPECT_EQ(grid().rows(), 19);
    w().m_bDbOpen = true;
    // Clear asks twice; No to either changes nothing. A file that refuses the writes keeps the week it holds.
    const auto shown = snapshot();
    platform.answers = {ui::Answer::No, ui::Answer::Yes, ui::Answer::No};
    w().EditMenuClear_Click();
    w().EditMenuClear_Click();
    EXPECT_EQ(snapshot(), shown);
    {
        RefusedWrites refused(timerPath);
        w().EditMenuClear_Click();
        expectRefusedWrite();
    }
    const auto m = messages();
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(m.begin(), m.begin() + 5),
              (std::vector<std::string>{kClearQuestions[0], kClearQuestions[0], kClearQuestions[1], kClearQuestions[0],
                                        kClearQuestions[1]}));
    for (size_t i = 0; i < 5; ++i)
        EXPECT_TRUE(platform.messages[i].buttons == ui::Buttons::YesNo && platform.messages[i].icon == ui::Icon::Critical &&
                    platform.messages[i].title == "Hourgrid");
    EXPECT_EQ(grid().rows(), 16);
    EXPECT_EQ(cell(1, 3) + cell(1, 6) + std::to_string(w().id(3, 1)), "02:3002:151");
    // Yes twice: the week is emptied, a half-typed duration with it.
    click(14, 12);
    type("4");
    w().EditMenuClear_Click();
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_NE(w().TimeEntry.text(), "4");
    for (int r = 1; r <= 14; ++r) {
        for (int c = 3; c <= 23; ++c)
            EXPECT_EQ(cell(r, c) + std::to_string(w().id(c, r)) + std::to_string(colors(r, c).first), "0" + std::to_string(kText));
        EXPECT_EQ(cell(r, 24), "00:00");
    }
    EXPECT_EQ(cell(4, 0) + cell(15, 3) + cell(15, 24), "Baker & Sons:Kitchen Remodel00:0000:00");
    arrowTo(14, 12);
    gridKey(13);
    const Records f = closeAndRead();
    std::string left;
    for (const auto& [id, rec] : f) left += std::to_string(id) + " ";
    EXPECT_EQ(left, "10 11 12 13 14 15 16 ");  // Alice's week is gone, nobody else's time nor her other weeks
    EXPECT_EQ(mdbExport(timerPath).at(10).at("Name ID"), "201");
}

// ---- Hover hints ----

TEST_F(Editing, HoverHints) {
    for (int c = 3; c <= 23; ++c)
        EXPECT_EQ(tipAt(0, c), QLocale().toString(QDate(2026, 11, 30).addDays((c - 3) / 3), QLocale::LongFormat).toStdString());
    grid().setColWidth(0, 200);  // the name is cut off on screen, not in the hint
    const std::string note100 = kLongNote.substr(0, 100);
    const std::tuple<int, int, std::string> cases[] = {
        {1, 3, "Homepage mockups"}, {1, 5, "Homepage mockups"}, {1, 4, "Click to toggle billable status"},
        {1, 9, "Click to enter duration"}, {1, 11, "Click to edit Note"},  // activity 2 has a Null note
        {1, 6, "Click to enter duration"}, {1, 7, ""}, {1, 8, ""}, {4, 6, note100}, {4, 8, note100},
        {6, 18, ""}, {6, 20, ""}, {6, 19, "Click to toggle billable status"},  // activity 7: an empty note
        {15, 3, "Click to enter duration"}, {15, 4, ""}, {15, 5, ""}, {1, 0, kAcme}, {1, 1, "Design"},
        {1, 2, "Commercial"}, {1, 24, "04:00"}, {0, 0, "Customer:Job"}, {0, 24, "Totals"}, {15, 2, "Totals:"},
        {15, 24, "46:28"}, {14, 0, ""}};
    for (const auto& [r, c, tip] : cases) {
        grid().setToolTip("<stale>");
        EXPECT_EQ(tipAt(r, c), tip) << r << "," << c;
    }
    // A note changed in the dialog shows its first 100 characters (not bytes); a deleted activity none.
    std::string note, first100;
    for (int i = 0; i < 40; ++i) note += "Caf\xC3\xA9 ";
    for (int i = 0; i < 20; ++i) first100 += "Caf\xC3\xA9 ";
    answerDetail(note);
    click(1, 5);
    EXPECT_EQ(tipAt(1, 3) + "|" + tipAt(1, 5), first100 + "|" + first100);
    EXPECT_EQ(cell(1, 5), note);
    entry(1, 3, "");
    EXPECT_EQ(tipAt(1, 3) + "|" + tipAt(1, 5) + "|" + tipAt(1, 4), "Click to enter duration||");
}

// ---- Exported activities, billable and note markers ----

TEST_F(Editing, AnExportedDurationAsksBeforeItsEditorOpens) {
    click(1, 3);  // not exported: no question
    EXPECT_EQ(messages(), std::vector<std::string>{});
    for (auto [answer, goesOn, exportedAfter] : kAnswers)
        for (bool typing : {false, true}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(answer)) + (typing ? " typed" : " clicked"));
            open();
            const Record before = inFile().at(6);
            platform.answers = {answer};
            if (typing) arrowTo(4, 6), gridKey('4');
            else click(4, 6);
            expectOnlyMessage(kExportedQuestion, ui::Buttons::YesNoCancel);
            EXPECT_EQ(w().TimeEntry.visible(), goesOn);
            EXPECT_EQ(w().TimeEntry.text(), goesOn ? (typing ? "4" : "08:00") : "");
            Record after = inFile().at(6);
            EXPECT_EQ(after["Exported"], exportedAfter ? "True" : "False");
            after["Exported"] = before.at("Exported");  // only the flag changes; the cell waits for its next write
            EXPECT_EQ(after, before);
            EXPECT_EQ(colors(4, 6), std::make_pair(kMagenta, kBack));
            EXPECT_EQ(at(), std::make_pair(4, 6));
        }
    win.reset();
    expectFields(mdbExport(timerPath).at(6), {{"Exported", "0"}, {"Billable Status", "1"}, {"Note", kLongNote}});
}

TEST_F(Editing, TheBillableMarker) {
    // Two clicks change the flag in the file and back; marker and colour follow each.
    for (auto [r, d, id, marker, fore] : {std::tuple{2, 4, 5, "*", kGreen}, {1, 0, 1, "", kBlue}})
        for (int i = 0; i < 2; ++i) {
            click(r, bCol(d));
            EXPECT_EQ(field(id, "Billable Status"), (i == 0) == (*marker == '*') ? "True" : "False");
            EXPECT_EQ(cell(r, bCol(d)), i == 0 ? marker : *marker ? "" : "*");
            EXPECT_EQ(grid().foreColorAt(r, durCol(d)), i == 0 ? fore : fore == kGreen ? kText : kMagenta);
            EXPECT_EQ(at(), std::make_pair(r, bCol(d)));
            EXPECT_FALSE(w().TimeEntry.visible());
        }
    EXPECT_EQ(messages(), std::vector<std::string>{});
    // A day without an activity, or with one gone from the file, changes nothing and opens no dialog.
    deleteActivity(9);
    const Records before = inFile();
    answerDetail("must not be stored");
    for (auto [r, c] : {std::pair{1, 7}, {3, 7}, {3, 8}, {1, 8}}) click(r, c);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(inFile(), before);
    // Activity 7, exported and not billable: billable once the toggle goes on.
    for (auto [answer, goesOn, exportedAfter] : kAnswers) {
        open();
        platform.answers = {answer};
        click(6, 19);
        expectOnlyMessage(kExportedQuestion, ui::Buttons::YesNoCancel);
        EXPECT_EQ(marks(7), std::string(goesOn ? "True " : "False ") + (exportedAfter ? "True" : "False") + " \"\"");
        EXPECT_EQ(cell(6, 19), goesOn ? "*" : "");
        EXPECT_EQ(colors(6, 18), std::make_pair(goesOn ? kGreen : kText, exportedAfter ? kBack : kNotExported));
        EXPECT_EQ(at(), std::make_pair(6, 19));
    }
}

TEST_F(Editing, TheNoteMarker) {
    // Activity 5: not billable, a Null note; its note set, changed and emptied.
    for (auto [note, was, fore] : {std::tuple{"Called the printer", "", kBlue},
                                   {"Called twice", "Called the printer", kBlue}, {"", "Called twice", kText}}) {
        answerDetail(note);
        click(2, 17);
        EXPECT_EQ(shown, std::string(was) + "|hidden");
        EXPECT_EQ(marks(5), "False False \"" + std::string(note) + "\"");
        EXPECT_EQ(cell(2, 17), note);
        EXPECT_EQ(grid().foreColorAt(2, 15), fore);
        EXPECT_EQ(at(), std::make_pair(2, 17));
    }
    EXPECT_EQ(w().detailForm().caption(), "Activity Detail");
    // Cancel, or a close by other means, keeps the note, also after an earlier OK.
    answerDetail("first");
    click(2, 14);
    for (int close : {1, 2}) {
        answerDetail("must not be stored", {}, close);
        click(1, 5);
        click(2, 14);
    }
    EXPECT_EQ(opened, 8);
    EXPECT_EQ(marks(1) + " " + marks(4), "True False \"Homepage mockups\" True False \"first\"");
    EXPECT_EQ(cell(1, 5), "Homepage mockups");  // drawn again from the record
    // Activity 6 is exported: the question comes first.
    for (auto [answer, goesOn, exportedAfter] : kAnswers) {
        open();
        opened = 0;
        answerDetail("short now");
        platform.answers = {answer};
        click(4, 8);
        EXPECT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(opened, goesOn ? 1 : 0);
        EXPECT_EQ(marks(6), std::string("True ") + (exportedAfter ? "True" : "False") + " \"" +
                                (goesOn ? "short now" : kLongNote) + "\"");
    }
    win.reset();
    expectFields(mdbExport(timerPath).at(5), {{"Billable Status", "0"}, {"Note", ""}, {"Exported", "0"}});
}

// A double-click in the duration editor edits note and billable together; the grid
// follows when the editor is committed; an exported activity is not asked about again.
TEST_F(Editing, TheDetailDialogOfTheEditor) {
    click(1, 3);
    answerDetail("Homepage mockups, round 2", 0);
    w().TimeEntry.onDblClick();
    EXPECT_EQ(shown, "Homepage mockups|1");
    EXPECT_EQ(marks(1), "False False \"Homepage mockups, round 2\"");
    EXPECT_EQ(field(1, "CreateTime"), kCreated);
    EXPECT_TRUE(w().TimeEntry.visible() && w().TimeEntry.hasFocus());
    EXPECT_EQ(cell(1, 4), "*");
    enter();
    EXPECT_EQ(cell(1, 4) + "|" + cell(1, 5), "|Homepage mockups, round 2");
    EXPECT_EQ(grid().foreColorAt(1, 3), kBlue);
    click(2, 15);
    answerDetail({}, 1);
    w().TimeEntry.onDblClick();
    EXPECT_EQ(shown, "|0");
    EXPECT_EQ(marks(5), "True False \"\"");
    const Records before = inFile();
    answerDetail("nope", 0, 1);
    w().TimeEntry.onDblClick();  // cancelled
    w().HideCellEditors(false);
    click(1, 6);
    w().TimeEntry.onDblClick();  // no activity
    arrowTo(1, 0);
    w().TimeEntry_DblClick();  // no day
    EXPECT_EQ(opened, 3);
    EXPECT_EQ(inFile(), before);
    platform.answers = {ui::Answer::No};
    click(1, 9);
    answerDetail("after export", 1);
    w().TimeEntry.onDblClick();
    EXPECT_EQ(messages(), std::vector<std::string>{kExportedQuestion});
    EXPECT_EQ(marks(2), "True True \"after export\"");
}

// Each change the file refuses is reported; the record, the marker and the current cell stay.
TEST_F(Editing, MarkerWritesTheFileRefuses) {
    const Records before = inFile();
    answerDetail("not stored", 0);
    RefusedWrites refused(timerPath);
    for (auto [r, c, dblClick] : {std::tuple{1, 9, false}, {2, 16, false}, {6, 19, false}, {1, 5, false}, {2, 12, true}}) {
        SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
        const std::string b = cell(r, c - (c - 3) % 3 + 1);
        platform.messages.clear();
        platform.answers = {ui::Answer::Yes};
        click(r, c);
        if (dblClick) w().TimeEntry.onDblClick();
        expectRefusedWrite();
        EXPECT_EQ(at(), std::make_pair(r, c));
        EXPECT_EQ(cell(r, c - (c - 3) % 3 + 1), b);
        EXPECT_FALSE(w().noLeaveCell());
        w().HideCellEditors(false);
    }
    EXPECT_EQ(inFile(), before);
}

// ---- Row references ----

TEST_F(Editing, AComboSelectsTheItemSpelledLikeItsCell) {
    for (auto [c, text, listed] : {std::tuple{0, kAcme, true}, {0, "Caf\xC3\xA9 Aurora:Menu Design", true},
                                  {0, "acme corporation:website redesign", false}, {0, "Removed Customer ", false},
                                  {1, "Design", true}, {1, "design", false}, {2, "Government", true}, {2, "", false},
                                  {0, "Removed Customer", false}}) {
        ui::ComboBox& combo = c == 0 ? w().CustJobCombo : c == 1 ? w().ServiceCombo : w().ClassCombo;
        combo.setListIndex(0);  // a selection left from before must not survive
        w().HideCellEditors(false);
        grid().setTextMatrix(3, c, text);
        click(3, c);
        EXPECT_TRUE(combo.visible());
        EXPECT_EQ(combo.text(), listed ? text : "") << text;
    }
    // No choice keeps the cell's text, its ID and the records.
    const Records before = inFile();
    click(3, 6);
    EXPECT_EQ(cell(3, 0), "Removed Customer");
    EXPECT_EQ(w().id(0, 3), 109);
    EXPECT_FALSE(anyCombo());
    EXPECT_EQ(inFile(), before);
}

// A choice is written into every activity of the row that has a duration in the
// grid and a record in the file, and into nothing else.
TEST_F(Editing, AChoiceReachesEveryActivityOfItsRow) {
    deleteActivity(4);
    grid().setTextMatrix(2, 9, "");  // activity 3's cell, emptied but not yet saved
    const Records before = inFile();
    for (auto [c, text, ref] : {std::tuple{0, "Zenith Dental", 100}, {1, "Training", 12}, {2, "Internal", 6}}) {
        choose(2, c, text);
        click(2, 6);
        EXPECT_EQ(cell(2, c), text);
        EXPECT_EQ(w().id(c, 2), ref);
        EXPECT_FALSE(anyCombo());
        EXPECT_EQ(w().CustJobCombo.listIndex() + w().ServiceCombo.listIndex() + w().ClassCombo.listIndex(), -3);
    }
    Records after = inFile();
    expectFields(after.at(5), {{"CustJob ID", "100"}, {"Service ID", "12"}, {"Class ID", "6"}});
    for (auto f : {"CustJob ID", "Service ID", "Class ID"}) after.at(5)[f] = before.at(5).at(f);
    EXPECT_EQ(after, before);
    win.reset();
    expectFields(mdbExport(timerPath).at(5), {{"CustJob ID", "100"}, {"Service ID", "12"}, {"Class ID", "6"}});
}

// A click on a heading offers once to unexport the row's exported activities; arrow
// keys across the headings show no combo and write nothing.
TEST_F(Editing, AHeadingClickOnARowWithExportedActivities) {
    int c = 0;
    for (auto [answer, goesOn, exportedAfter] : kAnswers) {
        open([](jet::Database& db) { edit(db, 1, {{"Exported", jet::Value::boolean(true)}}); });
        platform.answers = {answer};
        int committingMoves = 0;
        grid().onLeaveCell = [&] {
            committingMoves += !platform.messages.empty() && !w().noLeaveCell();
            w().Grid_LeaveCell();
        };
        click(1, c);
        expectOnlyMessage(kRowQuestion, ui::Buttons::YesNoCancel);
        const std::string exported = exportedAfter ? "True" : "False";
        EXPECT_EQ(field(1, "Exported") + field(2, "Exported") + field(6, "Exported"), exported + exported + "True");
        for (int col : {3, 9}) EXPECT_EQ(grid().backColorAt(1, col), exportedAfter ? kBack : kNotExported);
        ui::ComboBox& combo = c == 0 ? w().CustJobCombo : c == 1 ? w().ServiceCombo : w().ClassCombo;
        EXPECT_EQ(combo.visible(), goesOn);
        EXPECT_EQ(combo.text(), goesOn ? cell(1, c) : "");
        EXPECT_EQ(at(), std::make_pair(1, c++));
        EXPECT_FALSE(w().noLeaveCell());
        EXPECT_EQ(committingMoves, 0);
    }
    const Records before = inFile();
    for (int col : {2, 1, 0, 1, 2, 3}) arrowTo(4, col);
    click(2, 0);
    click(2, 2);
    EXPECT_FALSE(w().CustJobCombo.visible() || w().ServiceCombo.visible());
    EXPECT_EQ(messages(), std::vector<std::string>{kRowQuestion});
    EXPECT_EQ(inFile(), before);
}

TEST_F(Editing, ReferenceWritesTheFileRefuses) {
    const Records before = inFile();
    {
        RefusedWrites refused(timerPath);
        platform.answers = {ui::Answer::Yes};
        click(1, 1);  // the row's unexporting fails: no combo
        ASSERT_EQ(platform.messages.size(), 2u);
        EXPECT_EQ(messages()[0], kRowQuestion);
        expectRefusedWrite();
        EXPECT_EQ(at(), std::make_pair(1, 1));
        EXPECT_FALSE(w().noLeaveCell() || anyCombo());
        EXPECT_EQ(grid().backColorAt(1, 9), kBack);
        choose(2, 0, "Delta Logistics");
        platform.messages.clear();
        click(2, 6);  // the row's choice fails: not one of its activities changes
        expectRefusedWrite();
        EXPECT_EQ(cell(2, 0), "Delta Logistics");
        EXPECT_EQ(w().id(0, 2), 103);
        EXPECT_EQ(inFile(), before);
    }
    click(2, 0);  // leaving the cell again writes the choice once the file takes writes
    click(2, 6);
    for (int32_t id : {3, 4, 5}) EXPECT_EQ(field(id, "CustJob ID"), "103") << id;
}

}  // namespace
