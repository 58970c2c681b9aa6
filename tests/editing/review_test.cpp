// Faults once mended, kept as sequences of user actions around the commands that
// rebuild or leave the week: no activity may change that the user did not change,
// none may be written for another cell, person or file, and a typed duration is
// committed into the cell it was typed in or the command stops.
#include "editing/detail.h"
#include "grid_driver.h"
#include "prefs/prefs.h"
#include "week/date_dialog.h"

namespace {

const char* const kCloseWithout = "The duration you typed has not been saved. Do you want to close Hourgrid without it?";

class Review : public Week {
protected:
    // Two-hour activities on Tuesday 12/01/2026: Chen's activity 11, and those the tests type.
    static int tuesdayTwoHours(const Records& acts) {
        int n = 0;
        for (const auto& [id, a] : acts) n += a.at("Duration") == dur(2, 0) && a.at("UserDate") == dateValue(QDate(2026, 12, 1));
        return n;
    }
    void prefs(const std::function<void(app::Prefs&)>& act) {
        platform.onModal = [act](ui::Form& f) {
            auto& p = dynamic_cast<app::Prefs&>(f);
            for (int i = 0; i < p.NameCombo.listCount(); ++i)
                if (p.NameCombo.list(i) == "Brian Okafor") p.NameCombo.setListIndex(i);
            act(p), p.Cancel.click();
        };
    }
};

// ---- File > Open and Exit ----

// A week the file refuses to save stays with its file: File > Open keeps it (nothing reaches
// the other file) and Exit keeps the window; once the file takes writes the week is saved.
TEST_F(Review, AWeekThatCannotBeSavedKeepsItsFileAndWindow) {
    for (bool exit : {false, true}) {
        open();
        const std::string first = timerPath, other = copyTimer("sample.tdb", "other.tdb");
        std::optional<RefusedWrites> refused(std::in_place, first);
        entry(1, 6, "2");  // Tuesday of row 1, refused: in the grid only
        platform.messages.clear(), platform.openResults = {other};
        exit ? w().FileMenuExit_Click() : w().FileMenuOpen_Click();
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(messages()[0].find(kNotSaved), std::string::npos);
        EXPECT_EQ(cell(1, 6) + " " + w().timerFile() + (w().ended() ? " ended" : ""), "02:00 " + first);
        refused.reset();
        exit ? w().FileMenuExit_Click() : w().FileMenuSave_Click();
        EXPECT_EQ(w().ended(), exit);
        win.reset();
        EXPECT_EQ(mdbExport(other), mdbExport(std::string(TEST_DATA_DIR) + "/timer/sample.tdb"));
        EXPECT_EQ(tuesdayTwoHours(readFile(first)), 2);  // the typed duration, in the file it was typed for
    }
}

TEST_F(Review, AfterAFailedOpenNothingOfTheFormerFileIsWrittenAndItOpensAgain) {
    open();
    const std::string first = timerPath;
    platform.openResults = {(dir / "missing.tdb").string()};
    w().FileMenuOpen_Click();
    ASSERT_FALSE(w().m_bDbOpen);
    const Records before = readFile(first);
    platform.onModal = [](ui::Form& f) { dynamic_cast<app::Detail&>(f).Note.setText("written blind"), dynamic_cast<app::Detail&>(f).OK.click(); };
    for (int c : {4, 5, 0}) click(1, c);  // where the former week's markers and headings were
    EXPECT_EQ(readFile(first), before);
    platform.messages.clear(), platform.openResults = {first};
    w().FileMenuOpen_Click();
    EXPECT_EQ(messages(), Texts{});
    EXPECT_EQ(w().id(3, 1), 1);
    entry(1, 3, "3");  // and it takes the user's edits again
    EXPECT_EQ(closeAndRead()[1]["Duration"], dur(3, 0));
}

TEST_F(Review, AMarkerClickOverAnUnparseableDurationLeavesTheMarkerAlone) {
    open();
    for (int marker : {4, 5}) {
        const std::string mark = cell(1, marker);
        click(14, 6), w().TimeEntry.userEdited("2x"), click(1, marker), w().TimeEntry.userEdited("2"), enter();
        EXPECT_EQ(cell(1, marker) + (w().TimeEntry.visible() ? " editor" : ""), mark);
    }
}

// ---- Preferences ----

TEST_F(Review, ANameChangedBeforeABadNumberOfDaysNeverTakesOverTheWeekShown) {
    open();
    prefs([](app::Prefs& p) { p.RecentDays.userEdited("abc"), p.OK.click(); });
    w().EditMenuPreferences_Click();
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
TEST_F(Review, ANameStoredBeforeARefusedWriteBringsItsOwnWeek) {
    Records sample = sampleFile();
    bool reached = false;
    for (int allowed = 1; allowed <= 40 && !reached; ++allowed) {
        open();
        prefs([&](app::Prefs& p) {
            p.Billable.setValue(0), failWritesAfter(allowed), p.OK.click();
            jet::detail::writablePager(w().m_db->engine()).setFaultHook(nullptr);
        });
        w().EditMenuPreferences_Click();
        reached = w().m_lNameID == 201 && !platform.messages.empty();  // not the name's own write refused, nor none
        for (int r = 1; reached && r <= lastRow(); ++r)
            for (int d = 0; d < 7; ++d) EXPECT_EQ(sample[w().id(durCol(d), r)]["Name ID"], w().id(durCol(d), r) ? "201" : "");
    }
    EXPECT_TRUE(reached) << "no write after the name's was refused";
}

// ---- Every command over each state of the duration editor ----

enum class Pending { None, Valid, Refused, Exported };

bool asked(ScriptedPlatform& p, const std::string& start) {
    for (const auto& m : p.messages)
        if (m.text.rfind(start, 0) == 0) return true;
    return false;
}

// Where the typed text went in the file, whether the command went ahead, which questions were asked.
TEST_F(Review, EveryCommandCommitsToTheEditorsCellOrStops) {
    const Records before = sampleFile();
    int col = 0;
    auto weekLeft = [this] { return w().TimeEntry.text() == "^"; };
    auto ctrl = [this](int code) { return [this, code] { int k = code; w().Form_KeyDown(k, ui::kCtrlMask); }; };
    auto modal = [this] { return !platform.modalForms.empty(); };
    auto ended = [this] { return w().ended(); };
    struct Path {
        const char* name;
        std::function<void()> run;
        std::function<bool()> happened;
        std::deque<ui::Answer> answers = {};          // to the command's own questions
        std::optional<ui::Answer> closeWithout = {};  // a close over a refused entry asks whether to close without it
    };
    const Path paths[] = {
        {"click on another cell", [this] { click(3, 21); }, [this] { return grid().row() == 3; }},
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
         {ui::Answer::Cancel}},
        {"Add Row", [this] { w().tbToolBar_ButtonClick("AddRow"); }, [this] { return grid().rows() == 17; }},
        {"Clear", [this] { w().EditMenuClear_Click(); }, [this] { return asked(platform, "This will clear"); },
         {ui::Answer::No}},
        {"Font", [this] { w().EditMenuFont_Click(); }, [this] { return !platform.fontRequests.empty(); }},
        {"Preferences OK", [this] { w().EditMenuPreferences_Click(); }, modal},
        {"Name button", [this] { w().sbStatusBar_PanelClick("NameButton"); }, modal},
        {"File > Exit", [this] { w().FileMenuExit_Click(); }, ended, {}, ui::Answer::Yes},
        {"close box", [this] { w().Unload(0); }, ended, {}, ui::Answer::Yes},
        {"close box, No", [this] { w().Unload(0); }, ended, {}, ui::Answer::No}};
    for (const Path& path : paths)
        for (Pending state : {Pending::None, Pending::Valid, Pending::Refused, Pending::Exported}) {
            if (state == Pending::None && (std::string(path.name) == "Tab" || path.closeWithout == ui::Answer::No)) continue;
            SCOPED_TRACE(std::string(path.name) + " / state " + std::to_string(static_cast<int>(state)));
            open();
            col = state == Pending::Exported ? 9 : 3;  // activity 2, exported, or 1
            const int32_t id = w().id(col, 1);
            platform.answers = {ui::Answer::No};  // edit the exported activity, leaving it exported
            if (state == Pending::None) arrowTo(1, col);
            else click(1, col), w().TimeEntry.userEdited(state == Pending::Refused ? "x" : "3");
            platform.onModal = [](ui::Form& f) {
                if (auto* p = dynamic_cast<app::Prefs*>(&f)) return p->OK.click();
                dynamic_cast<app::DateDialog&>(f).StartDate.userEdited("12/07/2026");
                dynamic_cast<app::DateDialog&>(f).OK.click();
            };
            platform.fontResults = {std::nullopt};
            const size_t shownBefore = platform.messages.size();
            const bool refused = state == Pending::Refused, closes = refused && path.closeWithout;
            platform.answers = path.answers;
            if (refused) platform.answers.push_front(ui::Answer::OK);
            if (closes) platform.answers.push_back(*path.closeWithout);
            path.run();

            EXPECT_EQ(path.happened(), !refused || path.closeWithout == ui::Answer::Yes);
            const Texts m = messages();
            Texts guards;
            std::copy_if(m.begin() + shownBefore, m.end(), std::back_inserter(guards), [](auto& t) { return t == kBadTime || t == kCloseWithout; });
            EXPECT_EQ(guards, (closes ? Texts{kBadTime, kCloseWithout} : refused ? Texts{kBadTime} : Texts{}));
            EXPECT_EQ(asked(platform, kExportedQuestion), state == Pending::Exported);
            const bool stays = refused && path.closeWithout != ui::Answer::Yes;  // the editor keeps the text, its cell and the focus
            EXPECT_EQ(stays && w().TimeEntry.visible() && w().TimeEntry.hasFocus() ? w().TimeEntry.text() + " " + std::to_string(grid().row()) + "," +
                                                                                         std::to_string(grid().col()) : "", stays ? "x 1," + std::to_string(col) : "");
            if (w().TimeEntry.visible()) enter();  // whatever is left of the editor goes nowhere else
            Records after = closeAndRead();
            EXPECT_EQ(after.size(), before.size());  // no activity created elsewhere
            for (auto [aid, a] : before) {
                const bool typed = aid == id && (state == Pending::Valid || state == Pending::Exported);
                expectFields(after[aid], {{"Duration", typed ? dur(3, 0) : a["Duration"]}, {"Exported", a["Exported"]},
                                          {"UserDate", a["UserDate"]}, {"CustJob ID", a["CustJob ID"]}});
            }
        }
}

// A week that does not validate keeps its entries in the file; the close box and
// File > Exit still end the program when the user says so after the message.
TEST_F(Review, AnInvalidWeekClosesWhenTheUserSaysSo) {
    const std::string invalid = "Please select a Customer:Job for every activity",
                      question = "The entries of this week are already in the Timer file. Do you want to close Hourgrid anyway?";
    for (auto close : {+[](Hourgrid& h) { h.Unload(0); }, +[](Hourgrid& h) { h.FileMenuExit_Click(); }})
        for (ui::Answer answer : {ui::Answer::No, ui::Answer::Yes}) {
            fs::remove(iniPath);
            open();
            entry(14, 6, "2");  // a row without Customer:Job now holds an activity
            const int32_t id = w().id(6, 14);
            platform.messages.clear(), platform.answers = {ui::Answer::OK, answer}, close(w());
            EXPECT_EQ(messages(), (Texts{invalid, question}));
            const bool yes = answer == ui::Answer::Yes;
            EXPECT_EQ(w().ended(), yes);
            EXPECT_EQ(yes ? readSetting("File") + " " + engineError(timerPath) : "", yes ? timerPath + " <opened>" : "");
            if (!yes) platform.messages.clear(), w().ViewMenuBackWeek_Click();  // refused again, without the question
            EXPECT_EQ(yes ? Texts{invalid} : messages(), Texts{invalid});
            EXPECT_EQ(closeAndRead()[id]["Duration"], dur(2, 0));
        }
}

}  // namespace
