// Editing the week as the user does, checked in the file; then mended faults: a typed duration reaches its own cell or the command stops.
#include "editing/detail.h"
#include "grid_driver.h"
#include "prefs/prefs.h"
#include "week/date_dialog.h"

namespace {
const char* const kRowQuestion = "One or more of these activities has already been exported. You can change the status to unexported, "
    "or leave the status as exported. Do you want to change the status to unexported?";
const char* const kCloseWithout = "The duration you typed has not been saved. Do you want to close Hourgrid without it?";
// The answers to an exported question: whether the action goes on, and whether the activity stays exported.
const std::tuple<ui::Answer, bool, bool> kAnswers[] = {{ui::Answer::No, true, true}, {ui::Answer::Cancel, false, true}, {ui::Answer::Yes, true, false}};

class Editing : public Week {
protected:
    void SetUp() override { Week::SetUp(), open(); }
    // Characters typed where the focus is: the editor once it shows, the grid before.
    void type(const std::string& s) { for (unsigned char ch : s) w().TimeEntry.visible() ? w().TimeEntry.typeKey(ch) : void(gridKey(ch)); }
    std::string tipAt(int r, int c) { return grid().userMouseMove(r, c, 0, 0, 0, 0), grid().toolTip(); }
    std::string where() {  // the current cell, the duration editor's text while it shows, and the combo showing
        std::string s = std::to_string(grid().row()) + "," + std::to_string(grid().col());
        if (w().TimeEntry.visible()) s += " [" + w().TimeEntry.text() + "]";
        for (int c : {0, 1, 2}) s += combo(c).visible() ? " {" + combo(c).text() + "}" : "";
        return s;
    }
    std::string cells(int r, std::initializer_list<int> cols, std::string s = "") { for (int c : cols) s += (c == *cols.begin() ? "" : "|") + cell(r, c); return s; }
    // Text, ID and colours of cell (r, c), and of every cell at once, to show that an action changed none.
    std::string state(int r, int c) { return cell(r, c) + "/" + std::to_string(w().id(c, r)) + "/" + std::to_string(colors(r, c).first) + "/" + std::to_string(colors(r, c).second); }
    Texts snapshot(Texts out = {}) {
        for (int i = 0; i < grid().rows() * grid().cols(); ++i) out.push_back(state(i / grid().cols(), i % grid().cols()));
        return out;
    }
    std::string marks(int32_t id) { return inFile()[id]["Billable Status"] + " " + inFile()[id]["Exported"] + " " + inFile()[id]["Note"]; }
    // The next Activity Detail dialogs: note and Billable set, if any, closed with OK (0), Cancel (1) or neither (2).
    void answerDetail(std::optional<std::string> note, std::optional<int> billable = {}, int close = 0) {
        platform.onModal = [=, this](ui::Form& f) {
            auto& d = dynamic_cast<app::Detail&>(f);
            ++opened, shown = d.Note.text() + "|" + (d.Billable.visible() ? std::to_string(d.Billable.value()) : "hidden");
            if (note) d.Note.userEdited(*note);
            if (billable) d.Billable.setValue(*billable);
            if (close < 2) (close ? d.Cancel : d.OK).click();
        };
    }
    void prefs(const std::function<void(app::Prefs&)>& act) {  // Brian Okafor picked in the Preferences, then `act`
        platform.onModal = [act](ui::Form& f) {
            auto& p = dynamic_cast<app::Prefs&>(f);
            for (int i = 0; i < p.NameCombo.listCount(); ++i)
                if (p.NameCombo.list(i) == "Brian Okafor") p.NameCombo.setListIndex(i);
            act(p), p.Cancel.click();
        };
    }
    int opened = 0;
    std::string shown;  // what the last Activity Detail dialog offered
};

TEST_F(Editing, ClicksCommitThePendingDurationToItsOwnCell) {
    click(1, 6), type("2"), click(15, 6);  // a totals cell changes nothing: the current cell goes back
    EXPECT_EQ(cell(1, 6) + " " + cell(15, 6) + " " + where(), "02:00 14:15 1,6");
    click(1, 15), type("1.5"), click(3, 3);  // Friday is committed before Monday's editor opens
    EXPECT_EQ(cell(1, 15) + " " + cell(1, 24) + " " + where(), "01:30 07:30 3,3 []");
    const int32_t tue = w().id(6, 1), fri = w().id(15, 1);
    const Texts before = (enter(), snapshot());  // header, totals row and column: the current cell stays, typing goes to it
    for (auto [r, c] : {std::pair{0, 6}, {0, 0}, {0, 24}, {15, 6}, {15, 0}, {15, 13}, {15, 24}, {1, 24}, {14, 24}}) {
        EXPECT_EQ((click(r, c), where() + (snapshot() == before ? "" : " changed")), "3,6") << r << "," << c;
        EXPECT_EQ(gridKey('4') == '4' ? where() : "consumed", "3,6 [4]");
        w().HideCellEditors(false);
    }
    Records f = closeAndRead();
    EXPECT_EQ(std::to_string(messages().size()) + " " + std::to_string(f.size()) + f[tue]["Duration"] + f[tue]["UserDate"],
              "0 18" + dur(2, 0) + dateValue(QDate(2026, 12, 1)));
    expectFields(f[fri], {{"Duration", dur(1, 30)}, {"UserDate", dateValue(QDate(2026, 12, 4))}, {"Class ID", "3"},
                          {"Payroll Item ID", "2"}, {"Billable Status", "True"}, {"Exported", "False"}});
}

// The editor opens with the old text selected, or with the character typed; other cells take no duration.
TEST_F(Editing, EditorsOpenOverTheirCell) {
    auto editor = [this, &e = w().TimeEntry] {
        return where() + " " + std::to_string(e.selStart()) + "+" + std::to_string(e.selLength()) + (e.hasFocus() ? " focus" : "");
    };
    EXPECT_EQ((click(3, 6), editor()), "3,6 [04:15] 0+5 focus");
    // Typed into the editor; the cell keeps its text until the commit.
    EXPECT_EQ((arrowTo(1, 3), gridKey('7')) == '7' ? editor() + " " + cell(1, 3) : "consumed", "1,3 [7] 1+0 focus 02:30");
    type("5"), enter();
    EXPECT_EQ(cell(1, 3) + " " + where() + " " + inFile()[1]["Duration"], "01:15 1,6 " + dur(1, 15));  // 75 minutes
    for (auto [r, c] : {std::pair{1, 0}, {1, 1}, {1, 2}, {1, 4}, {1, 5}, {1, 23}, {1, 24}, {3, 7}, {15, 3}, {15, 21}}) {
        arrowTo(r, c);
        for (int k : {int('7'), int('x'), 27, 8}) EXPECT_EQ(gridKey(k), k);
        EXPECT_EQ(where() + (messages().empty() ? "" : " said"), std::to_string(r) + "," + std::to_string(c));
    }
}

// A refused text stays in the editor, focused, until mended; a day or more is not cut to its remainder.
TEST_F(Editing, AnEntryThatIsNoDurationStaysInTheEditor) {
    for (auto [typed, c] : {std::pair{"\x1b", 6}, {"\b", 6}, {"abc", 6}, {"25:00", 3}, {"1500", 3}, {"24:00", 3}}) {
        platform.messages.clear();
        if (typed[1]) click(1, c), w().TimeEntry.userEdited(typed);
        else arrowTo(1, c), gridKey(typed[0]);  // Esc and Backspace are typed as characters
        enter(), expectOnlyMessage(c == 6 ? kBadTime : kTooLong + std::string("11/30/26"));
        EXPECT_EQ(where() + " " + cell(1, c) + (!w().commitOK() && w().TimeEntry.hasFocus() ? "" : " left"),
                  "1," + std::to_string(c) + " [" + typed + "] " + (c == 3 ? "02:30" : ""));
        w().HideCellEditors(false);
    }
    click(1, 6), w().TimeEntry.userEdited("abc"), enter(), w().TimeEntry.userEdited("1:15"), enter();
    EXPECT_EQ(cell(1, 6) + " " + where() + (w().commitOK() ? "" : " refused"), "01:15 1,9");
    const int32_t id = w().id(6, 1);
    Records f = closeAndRead();
    EXPECT_EQ(std::to_string(f.size()) + f[1]["Duration"] + f[id]["Duration"] + f[id]["UserDate"],
              "17" + dur(2, 30) + dur(1, 15) + dateValue(QDate(2026, 12, 1)));
}

TEST_F(Editing, EnterCommitsAndWalksTheWeek) {
    entry(1, 6, "2:30");
    EXPECT_EQ(cells(1, {6, 7, 24}) + " " + cell(15, 6) + " " + where() + w().TimeEntry.text(), "02:30|*|06:30 14:45 1,9");
    EXPECT_EQ(colors(1, 6), std::make_pair(kGreen, kNotExported));  // billable by default
    expectFields(inFile()[w().id(6, 1)], {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"},
                                          {"Duration", dur(2, 30)}, {"UserDate", dateValue(QDate(2026, 12, 1))}});
    entry(3, 21, "45");  // Sunday goes on to the totals column, where Enter does nothing
    EXPECT_EQ(cell(3, 21) + " " + where() + " " + std::to_string(gridKey(13)) + " " + where(), "00:45 3,24 13 3,24");
    // Enter in the grid: the same kind of cell on the next day; Sunday's B and N go on to the next row.
    for (auto [from, to] : {std::pair{0, "1,3"}, {1, "1,4"}, {2, "1,5"}, {3, "1,6"}, {4, "1,7"}, {5, "1,8"}, {18, "1,21"},
                            {20, "1,23"}, {21, "1,24"}, {22, "2,3"}, {23, "2,3"}})
        EXPECT_EQ((arrowTo(1, from), gridKey(13)) ? "not consumed" : where() + (w().noLeaveCell() ? " guarded" : ""), to);
    EXPECT_EQ((arrowTo(15, 9), gridKey(13)) == 13 ? where() : "consumed", "15,9");
    for (int from : {22, 23}) EXPECT_EQ((arrowTo(14, from), gridKey(13), where()), "1,3");  // from the last row: back to the first while unused
    entry(14, 15, "2");
    for (int from : {23, 22}) {  // once used, into a new empty row
        const int used = lastRow();
        if (from == 22) choose(used, 0, "Delta Logistics");  // the row added a moment ago, in use once it names a Customer:Job
        arrowTo(used, from), gridKey(13);
        EXPECT_EQ(where() + " " + std::to_string(grid().rows()), std::to_string(lastRow()) + ",3 " + (from == 23 ? "17" : "18"));
        for (int c = 0; c < 24; ++c) EXPECT_EQ(cell(lastRow(), c) + std::to_string(w().id(c, lastRow())), "0");
    }
    EXPECT_EQ(cell(lastRow() + 1, 2) + cell(lastRow() + 1, 15) + cell(14, 24) + (messages().empty() ? "" : " said"), "Totals:02:4502:00");
}

// An emptied cell deletes its activity; a parked editor ("^"), a disabled window or no file commit nothing.
TEST_F(Editing, EmptiedCellsAndEditorsThatCommitNothing) {
    entry(1, 3, ""), entry(2, 12, "   ");
    EXPECT_EQ(cells(1, {4, 5, 24}) + " " + cells(2, {13, 14}) + " " + where(), "*|Homepage mockups|01:30 *|Review with client 2,15");
    EXPECT_EQ(state(1, 3) + " " + state(2, 12), state(14, 3) + " " + state(14, 3));  // no text, ID or colour left
    EXPECT_EQ((click(1, 6), type("3"), w().HideCellEditors(false), where() + " " + w().TimeEntry.text() + cell(1, 6)), "1,6 ^");
    EXPECT_EQ((arrowTo(1, 9), arrowTo(3, 3), gridKey('4'), where()), "3,3 [4]");
    enter(), w().HideCellEditors(false), arrowTo(1, 3), w().setEnabled(false), gridKey(13);
    EXPECT_EQ(cell(3, 3) + " " + where() + " " + w().TimeEntry.text(), "04:00 1,6 ^");
    EXPECT_EQ((w().setEnabled(true), gridKey(13), w().TimeEntry.text()), "");
    click(2, 6), type("2"), w().m_bDbOpen = false, enter(), w().m_bDbOpen = true;
    EXPECT_EQ(cell(2, 6) + " " + where() + (w().commitOK() ? "" : " refused") + (messages().empty() ? "" : " said"), " 2,9");
    Records f = closeAndRead(), x = mdbExport(timerPath);
    EXPECT_EQ(std::make_tuple(f.size(), x.size(), f.count(1) + f.count(4) + x.count(1) + x.count(4), f.rbegin()->second["Duration"]),
              std::make_tuple(size_t{15}, size_t{15}, size_t{0}, dur(4, 0)));
}

TEST_F(Editing, AddRowAndClearTheWeek) {
    click(1, 6), type("2:15"), w().EditMenuAddRow_Click(), w().tbToolBar_ButtonClick("AddRow");  // the duration is committed first
    EXPECT_EQ(cell(1, 6) + " " + where() + " " + std::to_string(grid().rows()) + (w().noLeaveCell() ? " guarded" : ""), "02:15 1,6 18");
    for (int c = 0; c < 25; ++c) EXPECT_EQ(state(15, c) + state(16, c), state(14, c) + state(14, c));
    EXPECT_EQ(cell(17, 2) + cell(17, 24) + std::to_string(grid().backColorAt(17, 5)) + " " + std::to_string(grid().rowHeight(16)),
              "Totals:48:43" + std::to_string(ui::kSys3DLight) + " 315");
    // Clear asks twice; No to either changes nothing. A file that refuses the writes keeps the week it holds.
    const Texts shown = snapshot();
    platform.answers = {ui::Answer::No, ui::Answer::Yes, ui::Answer::No};
    EXPECT_EQ((w().EditMenuClear_Click(), w().EditMenuClear_Click(), snapshot()), shown);
    { RefusedWrites refused(timerPath); w().EditMenuClear_Click(), expectRefusedWrite(); }
    const std::string cr(1, '\r'), clear = "This will clear all time entries for the current week.", sure = "Are your sure you want to continue?",
                      first = clear + cr + "Caution: this function cannot be undone!" + cr + sure, second = "Just checking!" + cr + clear + cr + sure;
    const Texts m = messages();
    EXPECT_EQ(Texts(m.begin(), m.end() - 1), (Texts{first, first, second, first, second}));
    for (const auto& q : platform.messages) EXPECT_TRUE((q.buttons == ui::Buttons::YesNo && q.icon == ui::Icon::Critical) || &q == &platform.messages.back());
    EXPECT_EQ(cells(1, {3, 6}) + " " + std::to_string(w().id(3, 1)) + " " + std::to_string(grid().rows()), "02:30|02:15 1 16");
    click(14, 12), type("4"), w().EditMenuClear_Click();  // Yes twice: the week is emptied, a half-typed duration with it
    EXPECT_EQ(where() + " [" + w().TimeEntry.text() + "]", "1,3 []");
    for (int r = 1; r <= 14; ++r)
        for (int c = 3; c <= 24; ++c) EXPECT_EQ(state(r, c), state(14, c)) << r << "," << c;
    EXPECT_EQ(cell(4, 0) + cell(15, 3) + cell(15, 24), "Baker & Sons:Kitchen Remodel00:0000:00");
    Records f = (arrowTo(14, 12), gridKey(13), closeAndRead()), sample = sampleFile();
    sample.erase(sample.begin(), sample.upper_bound(9));
    EXPECT_EQ(f, sample);  // Alice's week is gone, nobody else's time nor her other weeks
    EXPECT_EQ(mdbExport(timerPath).size(), 7u);
}

TEST_F(Editing, HoverHints) {
    for (int c = 3; c <= 23; ++c)
        EXPECT_EQ(tipAt(0, c), QLocale().toString(QDate(2026, 11, 30).addDays((c - 3) / 3), QLocale::LongFormat).toStdString());
    grid().setColWidth(0, 200);  // the name is cut off on screen, not in the hint
    const std::string note100 = kLongNote.substr(0, 100), toggle = "Click to toggle billable status", duration = "Click to enter duration";
    const std::tuple<int, int, std::string> cases[] = {  // activity 2 has a Null note, activity 7 an empty one
        {1, 3, "Homepage mockups"}, {1, 5, "Homepage mockups"}, {1, 4, toggle}, {1, 9, duration}, {1, 11, "Click to edit Note"},
        {1, 6, duration}, {1, 7, ""}, {1, 8, ""}, {4, 6, note100}, {4, 8, note100}, {6, 18, ""}, {6, 20, ""}, {6, 19, toggle},
        {15, 3, duration}, {15, 4, ""}, {15, 5, ""}, {1, 0, kAcme}, {1, 1, "Design"}, {1, 2, "Commercial"}, {1, 24, "04:00"},
        {0, 0, "Customer:Job"}, {0, 24, "Totals"}, {15, 2, "Totals:"}, {15, 24, "46:28"}, {14, 0, ""}};
    for (const auto& [r, c, tip] : cases) EXPECT_EQ((grid().setToolTip("<stale>"), tipAt(r, c)), tip) << r << "," << c;
    // A note changed in the dialog shows its first 100 characters (not bytes); a deleted activity none.
    std::string note, first100;
    for (int i = 0; i < 40; ++i) note += "Caf\xC3\xA9 ", first100 += i < 20 ? "Caf\xC3\xA9 " : "";
    EXPECT_EQ((answerDetail(note), click(1, 5), tipAt(1, 3) + "|" + tipAt(1, 5) + "|" + cell(1, 5)), first100 + "|" + first100 + "|" + note);
    EXPECT_EQ((entry(1, 3, ""), tipAt(1, 3) + "|" + tipAt(1, 5) + "|" + tipAt(1, 4)), duration + "||");
}

TEST_F(Editing, TheBillableAndNoteMarkers) {
    // Two clicks on B change the flag in the file and back; marker and colour follow each.
    for (auto [r, b, id, was, fores] : {std::tuple{2, 16, 5, "False", std::pair{kGreen, kText}}, {1, 4, 1, "True", std::pair{kBlue, kMagenta}}})
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ((click(r, b), std::make_tuple(inFile()[id]["Billable Status"] == was, cell(r, b) == "*", grid().foreColorAt(r, b - 1), where())),
                      std::make_tuple(i == 1, (i == 1) == (*was == 'T'), i ? fores.second : fores.first, std::to_string(r) + "," + std::to_string(b)));
    // N: activity 5's Null note set, changed and emptied; Cancel, or a close by other means, keeps a note.
    for (auto [note, was, fore] : {std::tuple{"Called the printer", "", kBlue}, {"Called twice", "Called the printer", kBlue},
                                   {"", "Called twice", kText}}) {
        EXPECT_EQ((answerDetail(note), click(2, 17), shown + " " + marks(5)), std::string(was) + "|hidden False False \"" + note + "\"");
        EXPECT_EQ(cell(2, 17) + " " + where() + " " + std::to_string(grid().foreColorAt(2, 15)), std::string(note) + " 2,17 " + std::to_string(fore));
    }
    answerDetail("first"), click(2, 14);
    for (int close : {1, 2}) answerDetail("must not be stored", {}, close), click(1, 5), click(2, 14);
    EXPECT_EQ(marks(1) + " " + marks(4) + " " + cell(1, 5), "True False \"Homepage mockups\" True False \"first\" Homepage mockups");
    EXPECT_EQ(std::to_string(opened) + " " + std::to_string(messages().size()), "8 0");
    // A day without an activity, or with one gone from the file, changes nothing and opens no dialog.
    const Records before = (deleteActivity(9), inFile());
    for (auto [r, c] : {std::pair{1, 7}, {3, 7}, {3, 8}, {1, 8}}) click(r, c);
    EXPECT_EQ(std::make_pair(opened, inFile()), std::make_pair(8, before));
    // Exported: 7 not billable, 6 with a note, 2 typed over; the question comes first, and only the flag changes.
    for (auto [answer, goesOn, exportedAfter] : kAnswers) {
        Record two = (open(), opened = 0, inFile()[2]);
        platform.answers = {answer, answer, answer};
        click(6, 19), answerDetail("short now"), click(4, 8), arrowTo(1, 9), gridKey('4');
        const std::string exported = exportedAfter ? "True" : "False";
        EXPECT_EQ(messages(), Texts(3, kExportedQuestion));
        EXPECT_EQ(where() + (platform.messages.at(0).buttons == ui::Buttons::YesNoCancel ? "" : " not YesNoCancel"), goesOn ? "1,9 [4]" : "1,9");
        EXPECT_EQ(inFile()[2], (two["Exported"] = exported, two));
        EXPECT_EQ(std::make_tuple(marks(7), cell(6, 19), colors(6, 18)), std::make_tuple(std::string(goesOn ? "True " : "False ") + exported + " \"\"",
                  goesOn ? "*" : "", std::make_pair(goesOn ? kGreen : kText, exportedAfter ? kBack : kNotExported)));
        EXPECT_EQ(marks(6) + " " + std::to_string(opened), "True " + exported + " \"" + (goesOn ? "short now" : kLongNote) + "\" " + (goesOn ? "1" : "0"));
    }
    Records x = (win.reset(), mdbExport(timerPath));
    expectFields(x[5], {{"Billable Status", "0"}, {"Note", ""}, {"Exported", "0"}});
    expectFields(x[6], {{"Billable Status", "1"}, {"Note", "short now"}, {"Exported", "0"}});
}

// A double-click in the editor edits note and billable; an exported activity is asked about once.
TEST_F(Editing, TheDetailDialogOfTheEditor) {
    click(1, 3), answerDetail("Homepage mockups, round 2", 0), w().TimeEntry.onDblClick();
    EXPECT_EQ(shown + " " + marks(1) + " " + inFile()[1]["CreateTime"], "Homepage mockups|1 False False \"Homepage mockups, round 2\" " + kCreated);
    EXPECT_EQ(where() + cell(1, 4) + (w().TimeEntry.hasFocus() ? "" : " unfocused"), "1,3 [02:30]*");
    EXPECT_EQ((enter(), cells(1, {4, 5}) + " " + std::to_string(grid().foreColorAt(1, 3))), "|Homepage mockups, round 2 " + std::to_string(kBlue));
    click(2, 15), answerDetail({}, 1), w().TimeEntry.onDblClick();
    EXPECT_EQ(shown + " " + marks(5), "|0 True False \"\"");
    const Records before = inFile();
    answerDetail("nope", 0, 1), w().TimeEntry.onDblClick();  // cancelled
    w().HideCellEditors(false), click(1, 6), w().TimeEntry.onDblClick();  // no activity
    arrowTo(1, 0), w().TimeEntry_DblClick();  // no day
    EXPECT_EQ(std::make_pair(opened, inFile()), std::make_pair(3, before));
    platform.answers = {ui::Answer::No}, click(1, 9), answerDetail("after export", 1), w().TimeEntry.onDblClick();
    EXPECT_EQ(messages(), Texts{kExportedQuestion});
    EXPECT_EQ(marks(2), "True True \"after export\"");
}

// A combo selects its cell's exact spelling; a choice reaches the row's recorded activities and nothing else.
TEST_F(Editing, RowReferences) {
    for (auto [c, text, listed] : {std::tuple{0, kAcme, true}, {0, "Caf\xC3\xA9 Aurora:Menu Design", true},
                                  {0, "acme corporation:website redesign", false}, {0, "Removed Customer ", false},
                                  {1, "Design", true}, {1, "design", false}, {2, "Government", true}, {2, "", false},
                                  {0, "Removed Customer", false}}) {  // a selection left from before must not survive
        combo(c).setListIndex(0), w().HideCellEditors(false), grid().setTextMatrix(3, c, text), click(3, c);
        EXPECT_EQ(where(), "3," + std::to_string(c) + " {" + (listed ? text : "") + "}");
    }
    const Records sample = inFile();
    click(3, 6);  // no choice keeps the cell's text, its ID and the records
    EXPECT_EQ(cell(3, 0) + std::to_string(w().id(0, 3)) + " " + where() + (inFile() == sample ? "" : " written"), "Removed Customer109 3,6 [04:15]");
    w().HideCellEditors(false), deleteActivity(4), grid().setTextMatrix(2, 9, "");  // activity 3's cell, emptied but not yet saved
    Records after = inFile();
    for (auto [c, text, ref] : {std::tuple{0, "Zenith Dental", 100}, {1, "Training", 12}, {2, "Internal", 6}})
        EXPECT_EQ((choose(2, c, text), click(2, 6), cell(2, c) + std::to_string(w().id(c, 2)) + " " + where() + std::to_string(combo(c).listIndex())),
                  text + std::to_string(ref) + " 2,6 []-1");
    after[5]["CustJob ID"] = "100", after[5]["Service ID"] = "12", after[5]["Class ID"] = "6";
    EXPECT_EQ(inFile(), after);
    expectFields((win.reset(), mdbExport(timerPath))[5], {{"CustJob ID", "100"}, {"Service ID", "12"}, {"Class ID", "6"}});
}

// A heading click offers once to unexport the row; arrows across the headings show no combo and write nothing.
TEST_F(Editing, AHeadingClickOnARowWithExportedActivities) {
    for (int c = 0; c < 3; ++c) {
        auto [answer, goesOn, exportedAfter] = kAnswers[c];
        open([](jet::Database& db) { edit(db, 1, {{"Exported", jet::Value::boolean(true)}}); }), platform.answers = {answer};
        int committingMoves = 0;
        grid().onLeaveCell = [&] { committingMoves += !platform.messages.empty() && !w().noLeaveCell(), w().Grid_LeaveCell(); };
        click(1, c), expectOnlyMessage(kRowQuestion, ui::Buttons::YesNoCancel);
        Records f = inFile();
        const std::string exported = exportedAfter ? "True" : "False", back = std::to_string(exportedAfter ? kBack : kNotExported);
        EXPECT_EQ(f[1]["Exported"] + f[2]["Exported"] + f[6]["Exported"] + " " + std::to_string(colors(1, 3).second) + std::to_string(colors(1, 9).second),
                  exported + exported + "True " + back + back);
        EXPECT_EQ(where() + " " + std::to_string(committingMoves + w().noLeaveCell()),
                  "1," + std::to_string(c) + (goesOn ? " {" + cell(1, c) + "}" : "") + " 0");
    }
    const Records before = inFile();
    for (int col : {2, 1, 0, 1, 2, 3}) arrowTo(4, col);
    click(2, 0), click(2, 2);
    EXPECT_EQ(where() + " " + std::to_string(messages().size()) + (inFile() == before ? "" : " written"), "2,2 {Commercial} 1");
}

// Each refused change is reported and leaves record, marker, choice and cell; the choice is written once writes work.
TEST_F(Editing, WritesTheFileRefuses) {
    const Records before = (answerDetail("not stored", 0), inFile());
    std::optional<RefusedWrites> refused(std::in_place, timerPath);
    for (auto [r, c, dblClick] : {std::tuple{1, 9, false}, {2, 16, false}, {6, 19, false}, {1, 5, false}, {2, 12, true}, {1, 1, false}}) {
        const std::string b = cell(r, c - (c - 3) % 3 + 1);
        platform.messages.clear(), platform.answers = {ui::Answer::Yes}, click(r, c);
        if (dblClick) w().TimeEntry.onDblClick();
        expectRefusedWrite();
        EXPECT_EQ(std::make_pair(at(), cell(r, c - (c - 3) % 3 + 1) + (w().noLeaveCell() ? " guarded" : "")), std::make_pair(std::make_pair(r, c), b));
        w().HideCellEditors(false);
    }
    EXPECT_EQ(messages(), (Texts{kRowQuestion, messages().back()}));  // the row's unexporting failed: no combo
    EXPECT_EQ(where() + std::to_string(grid().backColorAt(1, 9)), "1,1" + std::to_string(kBack));
    choose(2, 0, "Delta Logistics"), platform.messages.clear(), click(2, 6), expectRefusedWrite();  // the row's choice fails
    EXPECT_EQ(cell(2, 0) + std::to_string(w().id(0, 2)), "Delta Logistics103");
    // A duration the file refuses: the cell's ID still names what the file holds, nothing new, the record emptied.
    for (auto [r, c, text, id] : {std::tuple{1, 15, "01:15", 0}, {3, 6, "", 9}}) {
        platform.messages.clear(), entry(r, c, text), expectRefusedWrite();
        EXPECT_EQ(messages().size() + w().id(c, r), 1u + id);
    }
    EXPECT_EQ(inFile(), before);
    Records f = (refused.reset(), click(2, 0), click(2, 6), inFile());
    EXPECT_EQ(f[3]["CustJob ID"] + f[4]["CustJob ID"] + f[5]["CustJob ID"], "103103103");
}

// A week the file refuses keeps its file (Open) and window (Exit); once writes work it is saved there.
TEST_F(Editing, AWeekThatCannotBeSavedKeepsItsFileAndWindow) {
    for (bool exit : {false, true}) {
        const std::string first = (open(), timerPath), other = copyTimer("sample.tdb", "other.tdb");
        std::optional<RefusedWrites> refused(std::in_place, first);
        entry(1, 6, "2"), platform.messages.clear(), platform.openResults = {other};  // Tuesday of row 1, refused: in the grid only
        exit ? w().FileMenuExit_Click() : w().FileMenuOpen_Click();
        EXPECT_EQ(messages().size() == 1 && messages()[0].find(kNotSaved) != std::string::npos ? cell(1, 6) + " " + w().timerFile() +
                  (w().ended() ? " ended" : "") : messages().back(), "02:00 " + first);
        refused.reset(), exit ? w().FileMenuExit_Click() : w().FileMenuSave_Click();
        EXPECT_EQ(w().ended(), exit);
        EXPECT_EQ((win.reset(), mdbExport(other)), mdbExport(std::string(TEST_DATA_DIR) + "/timer/sample.tdb"));
        const Records f = readFile(first);  // the typed duration, in the file it was typed for, beside Chen's activity 11
        const std::string typed = dur(2, 0) + dateValue(QDate(2026, 12, 1));
        EXPECT_EQ(std::count_if(f.begin(), f.end(), [&](auto& a) { return a.second.at("Duration") + a.second.at("UserDate") == typed; }), 2);
    }
}

TEST_F(Editing, AfterAFailedOpenNothingOfTheFormerFileIsWrittenAndItOpensAgain) {
    const std::string first = timerPath;
    platform.openResults = {(dir / "missing.tdb").string()}, w().FileMenuOpen_Click();
    ASSERT_FALSE(w().m_bDbOpen);
    const Records before = readFile(first);
    platform.onModal = [](ui::Form& f) { dynamic_cast<app::Detail&>(f).Note.setText("written blind"), dynamic_cast<app::Detail&>(f).OK.click(); };
    for (int c : {4, 5, 0}) click(1, c);  // where the former week's markers and headings were
    EXPECT_EQ(readFile(first), before);
    platform.messages.clear(), platform.openResults = {first}, w().FileMenuOpen_Click();
    EXPECT_EQ(std::to_string(messages().size()) + " " + std::to_string(w().id(3, 1)), "0 1");
    EXPECT_EQ((entry(1, 3, "3"), closeAndRead())[1]["Duration"], dur(3, 0));  // and it takes the user's edits again
}

TEST_F(Editing, ANameChangedBeforeABadNumberOfDaysNeverTakesOverTheWeekShown) {
    prefs([](app::Prefs& p) { p.RecentDays.userEdited("abc"), p.OK.click(); }), w().EditMenuPreferences_Click();
    ASSERT_EQ(w().m_lNameID, 201);
    w().FileMenuSave_Click(), w().ViewMenuForwardWeek_Click();  // must not hand Alice's activities to Brian
    Records after = closeAndRead(), x = mdbExport(timerPath);
    for (auto [id, rec] : sampleFile()) {
        rec["CreateTime"] = after[id]["CreateTime"];
        EXPECT_EQ(after[id], rec) << id;
        EXPECT_EQ(x[id]["Name ID"], rec["Name ID"]) << id;
    }
}

// The name is stored, then the file refuses the next write: the week shown is the new person's.
TEST_F(Editing, ANameStoredBeforeARefusedWriteBringsItsOwnWeek) {
    Records sample = sampleFile();
    bool reached = false;
    for (int allowed = 1; allowed <= 40 && !reached; ++allowed) {
        open(), prefs([&](app::Prefs& p) { p.Billable.setValue(0), failWritesAfter(allowed), p.OK.click(), failWritesAfter(1 << 30); });
        reached = (w().EditMenuPreferences_Click(), w().m_lNameID == 201 && !platform.messages.empty());  // not the name's own write refused, nor none
        for (int r = 1; reached && r <= lastRow(); ++r)
            for (int d = 0; d < 7; ++d) EXPECT_EQ(sample[w().id(durCol(d), r)]["Name ID"], w().id(durCol(d), r) ? "201" : "");
    }
    EXPECT_TRUE(reached) << "no write after the name's was refused";
}

bool asked(ScriptedPlatform& p, const std::string& start) {
    return std::any_of(p.messages.begin(), p.messages.end(), [&](const RecordedMessage& m) { return m.text.starts_with(start); });
}

// Where the typed text went in the file, whether the command went ahead, which questions were asked.
TEST_F(Editing, EveryCommandCommitsToTheEditorsCellOrStops) {
    enum Pending { None, Valid, Refused, Exported };
    const Records before = sampleFile();
    int col = 0;
    auto weekLeft = [this] { return w().TimeEntry.text() == "^"; };
    auto ctrl = [this](int code) { return [this, code] { int k = code; w().Form_KeyDown(k, ui::kCtrlMask); }; };
    struct Path {  // a command, what shows it went ahead, the answers to its own questions and to "close without it?" over a refused entry
        const char* name; std::function<void()> run; std::function<bool()> happened;
        std::deque<ui::Answer> answers = {}; std::optional<ui::Answer> closeWithout = {};
    };
    const Path paths[] = {
        {"click on another cell", [this] { click(3, 21); }, [this] { return grid().row() == 3; }},
        {"click on a marker", [this] { click(1, 4); }, [this] { return grid().col() == 4 && cell(1, 4).find(':') == std::string::npos; }},
        {"keyboard move", [this] { grid().userMoveTo(3, grid().col()); }, [this] { return grid().row() == 3; }},
        {"Enter in the grid", [this] { gridKey(13); }, [&] { return grid().col() == col + 3; }},
        {"Tab", [this] { w().TimeEntry.typeKey(9); }, [this] { return !w().TimeEntry.visible() && grid().hasFocus(); }},
        {"Ctrl+M", ctrl(77), weekLeft}, {"Ctrl+W", ctrl(87), weekLeft}, {"Ctrl+L", ctrl(76), weekLeft},
        {"Ctrl+K", ctrl(75), weekLeft}, {"Ctrl+H", ctrl(72), weekLeft},
        {"toolbar week", [this] { w().tbToolBar_ButtonClick("BackWeek"); }, weekLeft},
        {"menu week", [this] { w().menuItem("ViewMenuForwardWeek")->onClick(); }, weekLeft},
        {"start date OK", [this] { w().sbStatusBar_PanelClick("StartDateButton"); }, weekLeft},
        {"File > Open", [this] { w().FileMenuOpen_Click(); }, [this] { return !platform.openRequests.empty(); }},
        {"Print", [this] { w().tbToolBar_ButtonClick("Print"); }, [this] { return asked(platform, "This will print"); },
         {ui::Answer::Cancel}}, {"Add Row", [this] { w().tbToolBar_ButtonClick("AddRow"); }, [this] { return grid().rows() == 17; }},
        {"Clear", [this] { w().EditMenuClear_Click(); }, [this] { return asked(platform, "This will clear"); }, {ui::Answer::No}},
        {"Font", [this] { w().EditMenuFont_Click(); }, [this] { return !platform.fontRequests.empty(); }},
        {"Preferences OK", [this] { w().EditMenuPreferences_Click(); }, [this] { return !platform.modalForms.empty(); }},
        {"Name button", [this] { w().sbStatusBar_PanelClick("NameButton"); }, [this] { return !platform.modalForms.empty(); }},
        {"File > Exit", [this] { w().FileMenuExit_Click(); }, [this] { return w().ended(); }, {}, ui::Answer::Yes},
        {"close box", [this] { w().Unload(0); }, [this] { return w().ended(); }, {}, ui::Answer::Yes},
        {"close box, No", [this] { w().Unload(0); }, [this] { return w().ended(); }, {}, ui::Answer::No}};
    for (const Path& path : paths)
        for (Pending state : {None, Valid, Refused, Exported}) {
            if (state == None && (std::string(path.name) == "Tab" || path.closeWithout == ui::Answer::No)) continue;
            SCOPED_TRACE(std::string(path.name) + " / state " + std::to_string(state));
            col = (open(), state == Exported ? 9 : 3);  // activity 2, exported, or 1
            const int32_t id = w().id(col, 1);
            platform.answers = {ui::Answer::No};  // edit the exported activity, leaving it exported
            if (state == None) arrowTo(1, col);
            else click(1, col), w().TimeEntry.userEdited(state == Refused ? "x" : "3");
            platform.onModal = [](ui::Form& f) {
                if (auto* p = dynamic_cast<app::Prefs*>(&f)) return p->OK.click();
                dynamic_cast<app::DateDialog&>(f).StartDate.userEdited("12/07/2026"), dynamic_cast<app::DateDialog&>(f).OK.click();
            };
            const size_t shownBefore = platform.messages.size();
            const bool refused = state == Refused, closes = refused && path.closeWithout, stays = refused && path.closeWithout != ui::Answer::Yes;
            platform.fontResults = {std::nullopt}, platform.answers = path.answers;
            if (refused) platform.answers.push_front(ui::Answer::OK);
            if (closes) platform.answers.push_back(*path.closeWithout);
            path.run();
            EXPECT_EQ(path.happened(), !refused || path.closeWithout == ui::Answer::Yes);
            Texts guards, m = messages();
            std::copy_if(m.begin() + shownBefore, m.end(), std::back_inserter(guards), [](auto& t) { return t == kBadTime || t == kCloseWithout; });
            EXPECT_EQ(guards, (closes ? Texts{kBadTime, kCloseWithout} : refused ? Texts{kBadTime} : Texts{}));
            EXPECT_EQ(asked(platform, kExportedQuestion), state == Exported);
            // The editor keeps the text, its cell and the focus; whatever is left of it goes nowhere else.
            const bool kept = stays && w().TimeEntry.visible() && w().TimeEntry.hasFocus();
            EXPECT_EQ(kept ? w().TimeEntry.text() + " " + where().substr(0, where().find(' ')) : "", stays ? "x 1," + std::to_string(col) : "");
            if (w().TimeEntry.visible()) enter();
            Records after = closeAndRead(), expected = before;
            EXPECT_EQ(after.size(), before.size());  // no activity created elsewhere
            if (state == Valid || state == Exported) expected[id]["Duration"] = dur(3, 0);
            for (auto& [aid, a] : expected)
                for (auto f : {"Duration", "Exported", "UserDate", "CustJob ID"}) EXPECT_EQ(after[aid][f], a[f]) << aid << " " << f;
        }
}

// A current cell moved without a leave-cell event does not take the editor's text (a mended fault).
TEST_F(Editing, ACommandCommitsToTheEditorsCellWhereverTheCurrentCellIs) {
    click(1, 3), w().TimeEntry.userEdited("3");
    auto leave = std::exchange(grid().onLeaveCell, nullptr);
    arrowTo(2, 3), grid().onLeaveCell = leave, w().FileMenuSave_Click();
    Records f = closeAndRead();
    EXPECT_EQ(f[1]["Duration"] + " " + std::to_string(f.size()), dur(3, 0) + " 16");
}

// An invalid week keeps its entries in the file; close box and Exit end the program when the user says so.
TEST_F(Editing, AnInvalidWeekClosesWhenTheUserSaysSo) {
    const std::string invalid = "Please select a Customer:Job for every activity",
                      question = "The entries of this week are already in the Timer file. Do you want to close Hourgrid anyway?";
    for (auto close : {+[](Hourgrid& h) { h.Unload(0); }, +[](Hourgrid& h) { h.FileMenuExit_Click(); }})
        for (ui::Answer answer : {ui::Answer::No, ui::Answer::Yes}) {
            fs::remove(iniPath), open();
            const int32_t id = (entry(14, 6, "2"), w().id(6, 14));  // a row without Customer:Job now holds an activity
            platform.messages.clear(), platform.answers = {ui::Answer::OK, answer}, close(w());
            EXPECT_EQ(messages(), (Texts{invalid, question}));
            const bool yes = answer == ui::Answer::Yes;
            EXPECT_EQ(std::to_string(w().ended()) + (yes ? " " + readSetting("File") + " " + engineError(timerPath) : ""),
                      yes ? "1 " + timerPath + " <opened>" : "0");
            if (!yes) platform.messages.clear(), w().ViewMenuBackWeek_Click();  // refused again, without the question
            EXPECT_EQ(yes ? Texts{invalid} : messages(), Texts{invalid});
            EXPECT_EQ(closeAndRead()[id]["Duration"], dur(2, 0));
        }
}
}  // namespace
