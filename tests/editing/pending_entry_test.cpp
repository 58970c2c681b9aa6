// Every command that leaves the cell, week, file, font, person or window, over each
// state of the duration editor: where the typed text went in the file, whether the
// command went ahead, and which questions were asked.
#include <functional>

#include "grid_driver.h"
#include "prefs/prefs.h"
#include "week/date_dialog.h"

namespace {

enum class Pending { None, Valid, Refused, Exported };

const char* const kExportedQuestion =
    "This activity has already been exported. You can change the status to unexported, or leave the status as "
    "exported. Do you want to change the status to unexported?";
const char* const kCloseWithout = "The duration you typed has not been saved. Do you want to close Hourgrid without it?";

struct Path {
    const char* name;
    std::deque<ui::Answer> answers;                     // for the command's own questions
    std::function<void(GridFixture&, app::Hourgrid&)> run;
    std::function<bool(app::Hourgrid&, ScriptedPlatform&)> happened;
    bool closes = false;  // with a refused entry it asks whether to close without it (answered Yes)
};

using PendingEntry = GridFixture;

bool weekLeft(app::Hourgrid& w, ScriptedPlatform&) { return w.TimeEntry.text() == "^"; }
bool asked(ScriptedPlatform& p, const std::string& start) {
    for (const auto& m : p.messages)
        if (m.text.rfind(start, 0) == 0) return true;
    return false;
}
void ctrl(app::Hourgrid& w, int code) { w.Form_KeyDown(code, ui::kCtrlMask); }

TEST_F(PendingEntry, EveryPathCommitsToTheEditorsCellOrStops) {
    const auto before = sampleActivities();
    int acme = 0, dev = 0, rowsBefore = 0, col = 0;  // found once the week is shown
    const std::vector<Path> paths = {
        {"click on another cell", {}, [&](GridFixture&, app::Hourgrid& w) { w.Grid.userMouseDown(dev, durCol(6), 1, 0, 0, 0); },
         [&](app::Hourgrid& w, ScriptedPlatform&) { return w.Grid.row() == dev; }},
        {"keyboard move", {}, [&](GridFixture&, app::Hourgrid& w) { w.Grid.userMoveTo(dev, w.Grid.col()); },
         [&](app::Hourgrid& w, ScriptedPlatform&) { return w.Grid.row() == dev; }},
        {"Enter in the grid", {}, [](GridFixture&, app::Hourgrid& w) { int k = 13; w.Grid.userKeyPress(k); },
         [&](app::Hourgrid& w, ScriptedPlatform&) { return w.Grid.col() == col + 3; }},
        {"Tab", {}, [](GridFixture&, app::Hourgrid& w) { w.TimeEntry.typeKey(9); },
         [](app::Hourgrid& w, ScriptedPlatform&) { return !w.TimeEntry.visible() && w.Grid.hasFocus(); }},
        {"Ctrl+M", {}, [](GridFixture&, app::Hourgrid& w) { ctrl(w, 77); }, weekLeft},
        {"Ctrl+W", {}, [](GridFixture&, app::Hourgrid& w) { ctrl(w, 87); }, weekLeft},
        {"Ctrl+L", {}, [](GridFixture&, app::Hourgrid& w) { ctrl(w, 76); }, weekLeft},
        {"Ctrl+K", {}, [](GridFixture&, app::Hourgrid& w) { ctrl(w, 75); }, weekLeft},
        {"Ctrl+H", {}, [](GridFixture&, app::Hourgrid& w) { ctrl(w, 72); }, weekLeft},
        {"toolbar week", {}, [](GridFixture&, app::Hourgrid& w) { w.tbToolBar_ButtonClick("BackWeek"); }, weekLeft},
        {"menu week", {}, [](GridFixture&, app::Hourgrid& w) { w.menuItem("ViewMenuForwardWeek")->onClick(); }, weekLeft},
        {"start date OK", {}, [](GridFixture&, app::Hourgrid& w) { w.sbStatusBar_PanelClick("StartDateButton"); },
         weekLeft},
        {"File > Open", {}, [](GridFixture&, app::Hourgrid& w) { w.FileMenuOpen_Click(); },
         [](app::Hourgrid&, ScriptedPlatform& p) { return !p.openRequests.empty(); }},
        {"Print", {ui::Answer::Cancel}, [](GridFixture&, app::Hourgrid& w) { w.tbToolBar_ButtonClick("Print"); },
         [](app::Hourgrid&, ScriptedPlatform& p) { return asked(p, "This will print"); }},
        {"Add Row", {}, [](GridFixture&, app::Hourgrid& w) { w.tbToolBar_ButtonClick("AddRow"); },
         [&](app::Hourgrid& w, ScriptedPlatform&) { return w.Grid.rows() == rowsBefore + 1; }},
        {"Clear", {ui::Answer::No}, [](GridFixture&, app::Hourgrid& w) { w.EditMenuClear_Click(); },
         [](app::Hourgrid&, ScriptedPlatform& p) { return asked(p, "This will clear"); }},
        {"Font", {}, [](GridFixture&, app::Hourgrid& w) { w.EditMenuFont_Click(); },
         [](app::Hourgrid&, ScriptedPlatform& p) { return !p.fontRequests.empty(); }},
        {"Preferences", {}, [](GridFixture&, app::Hourgrid& w) { w.EditMenuPreferences_Click(); },
         [](app::Hourgrid&, ScriptedPlatform& p) { return !p.modalForms.empty(); }},
        {"Name button", {}, [](GridFixture&, app::Hourgrid& w) { w.sbStatusBar_PanelClick("NameButton"); },
         [](app::Hourgrid&, ScriptedPlatform& p) { return !p.modalForms.empty(); }},
        {"File > Exit", {}, [](GridFixture&, app::Hourgrid& w) { w.FileMenuExit_Click(); },
         [](app::Hourgrid& w, ScriptedPlatform&) { return w.ended(); }, true},
        {"close box", {}, [](GridFixture&, app::Hourgrid& w) { w.Unload(0); },
         [](app::Hourgrid& w, ScriptedPlatform&) { return w.ended(); }, true},
    };
    for (const Path& path : paths) {
        for (Pending state : {Pending::None, Pending::Valid, Pending::Refused, Pending::Exported}) {
            if (state == Pending::None && std::string(path.name) == "Tab") continue;  // no editor to leave
            SCOPED_TRACE(std::string(path.name) + " / state " + std::to_string(static_cast<int>(state)));
            platform = ScriptedPlatform();
            openTimer();
            acme = rowOf(kAcme, "Design", "Commercial");
            dev = rowOf(kAcme, "Development", "Commercial");
            ASSERT_GT(acme, 0);
            rowsBefore = rows();
            // Monday holds an unexported activity, Wednesday an exported one.
            col = state == Pending::Exported ? durCol(2) : durCol(0);
            const int32_t id = w().id(col, acme);
            ASSERT_GT(id, 0);
            if (state != Pending::None) {
                platform.answers = {ui::Answer::No};  // edit the exported activity, leaving it exported
                click(acme, col);
                ASSERT_TRUE(w().TimeEntry.visible());
                w().TimeEntry.userEdited(state == Pending::Refused ? "x" : "3");
            } else {
                arrowTo(acme, col);
            }
            ASSERT_EQ(rows(), rowsBefore);
            platform.onModal = [](ui::Form& f) {
                if (auto* p = dynamic_cast<app::Prefs*>(&f)) return p->Cancel.click();
                auto& d = dynamic_cast<app::DateDialog&>(f);
                d.StartDate.userEdited("12/07/2026");
                d.OK.click();
            };
            platform.fontResults = {std::nullopt};
            const size_t shownBefore = platform.messages.size();
            platform.answers = path.answers;
            if (state == Pending::Refused) {
                platform.answers.push_front(ui::Answer::OK);
                if (path.closes) platform.answers.push_back(ui::Answer::Yes);
            }
            path.run(*this, w());

            const bool refused = state == Pending::Refused;
            EXPECT_EQ(path.happened(w(), platform), !refused || path.closes);
            std::vector<std::string> guardMessages;
            for (size_t i = shownBefore; i < platform.messages.size(); ++i)
                if (platform.messages[i].text == kBadTime || platform.messages[i].text == kCloseWithout)
                    guardMessages.push_back(platform.messages[i].text);
            std::vector<std::string> expected;
            if (refused) expected.push_back(kBadTime);
            if (refused && path.closes) expected.push_back(kCloseWithout);
            EXPECT_EQ(guardMessages, expected);
            EXPECT_EQ(asked(platform, kExportedQuestion), state == Pending::Exported);
            if (refused && !path.closes) {
                EXPECT_TRUE(w().TimeEntry.visible());
                EXPECT_EQ(w().TimeEntry.text(), "x");
                EXPECT_EQ(grid().row(), acme);
                EXPECT_EQ(grid().col(), col);
                EXPECT_TRUE(w().TimeEntry.hasFocus());
            }

            const auto after = closeAndRead();
            for (const auto& [aid, a] : before) {
                ASSERT_TRUE(after.count(aid)) << "activity " << aid;
                const bool typed = aid == id && (state == Pending::Valid || state == Pending::Exported);
                EXPECT_EQ(after.at(aid).minutes, typed ? 180 : a.minutes) << "activity " << aid;
                EXPECT_EQ(after.at(aid).exported, a.exported) << "activity " << aid;
            }
            EXPECT_EQ(after.size(), before.size());  // no activity created elsewhere
        }
    }
}

}  // namespace

namespace {

// No to "close without it?" keeps the window, the editor, its text and its cell.
TEST_F(PendingEntry, NoToClosingWithoutTheEntryReturnsToTheEditor) {
    openTimer();
    const int acme = rowOf(kAcme, "Design", "Commercial");
    click(acme, durCol(0));
    w().TimeEntry.userEdited("x");
    platform.answers = {ui::Answer::OK, ui::Answer::No};
    w().Unload(0);
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{kBadTime, kCloseWithout}));
    EXPECT_FALSE(w().ended());
    EXPECT_TRUE(w().TimeEntry.visible());
    EXPECT_EQ(w().TimeEntry.text(), "x");
    EXPECT_EQ(grid().row(), acme);
    EXPECT_EQ(grid().col(), durCol(0));
}

// A week that does not validate keeps its entries in the file; the close box and
// File > Exit may still end the program, when the user says so after the message.
TEST_F(PendingEntry, AnInvalidWeekClosesWhenTheUserSaysSo) {
    const std::string invalid = "Please select a Customer:Job for every activity";
    const std::string question =
        "The entries of this week are already in the Timer file. Do you want to close Hourgrid anyway?";
    const std::pair<const char*, std::function<void(app::Hourgrid&)>> ways[] = {
        {"close box", [](app::Hourgrid& w) { w.Unload(0); }},
        {"File > Exit", [](app::Hourgrid& w) { w.FileMenuExit_Click(); }},
    };
    for (const auto& [name, close] : ways) {
        for (ui::Answer answer : {ui::Answer::No, ui::Answer::Yes}) {
            SCOPED_TRACE(std::string(name) + (answer == ui::Answer::Yes ? " Yes" : " No"));
            platform = ScriptedPlatform();
            fs::remove(iniPath);
            openTimer();
            typePending("2");
            editorEnter();  // a row without Customer:Job now holds an activity
            const int32_t id = w().id(durCol(1), pendingRow);
            ASSERT_GT(id, 0);
            platform.messages.clear();
            platform.answers = {ui::Answer::OK, answer};
            close(w());
            EXPECT_EQ(messageTexts(), (std::vector<std::string>{invalid, question}));
            EXPECT_EQ(w().ended(), answer == ui::Answer::Yes);
            if (answer == ui::Answer::Yes) {
                EXPECT_EQ(readSetting("File"), timerPath);
                EXPECT_EQ(engineError(timerPath), "<opened>");
            } else {
                // Other commands go on refusing the week, without the question.
                platform.messages.clear();
                w().ViewMenuBackWeek_Click();
                EXPECT_EQ(messageTexts(), std::vector<std::string>{invalid});
            }
            EXPECT_EQ(closeAndRead().at(id).minutes, 120);
        }
    }
}

}  // namespace
