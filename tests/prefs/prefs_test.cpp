// The preferences dialog driven as a user would, against copies of the Timer
// test files: what it shows, what OK writes to "Prefs - Startup" and applies to
// the main window and its grid, and what Cancel leaves alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "jet/pager.h"
#include "prefs/prefs.h"

namespace {

constexpr const char* kBadDays = "Incorrect input. Enter a number from 0 to 3650.";

struct StoredPrefs {
    jet::Value days, billable, name;
};

class PrefsTest : public AppFixture {
protected:
    // The record as the engine reads it from the file the window holds.
    StoredPrefs stored() {
        auto rs = win->m_db->OpenDynaset(timerdb::names::kPrefsStartup);
        rs->MoveFirst();
        return {rs->Field("RecentDays"), rs->Field("Billable"), rs->Field("DefaultName")};
    }
    // Opens Edit > Preferences with `play` acting as the user while it is shown.
    void editPreferences(std::function<void(app::Prefs&)> play) {
        int before = static_cast<int>(platform.modalForms.size());
        platform.onModal = [play](ui::Form& f) { play(dynamic_cast<app::Prefs&>(f)); };
        win->EditMenuPreferences_Click();
        ASSERT_EQ(static_cast<int>(platform.modalForms.size()), before + 1) << "the dialog was not shown";
    }
    static void pickName(app::Prefs& p, const std::string& text) {
        for (int i = 0; i < p.NameCombo.listCount(); ++i)
            if (p.NameCombo.list(i) == text) return p.NameCombo.setListIndex(i);
        ADD_FAILURE() << text << " is not offered";
    }
    // What the main window runs with: status panel name, person, billable, recent days.
    void expectApplied(const std::string& name, int32_t id, bool billable, int days) {
        EXPECT_EQ(win->sbStatusBar.panelText(2), name);
        EXPECT_EQ(win->m_lNameID, id);
        EXPECT_EQ(win->m_bBillable, billable);
        EXPECT_EQ(win->m_recentDays, days);
    }
    std::vector<int> widths() {
        std::vector<int> w;
        for (int c = 0; c < 25; ++c) w.push_back(win->Grid.colWidth(c));
        return w;
    }
    // Customer:Job IDs of the grid's data rows.
    std::set<int32_t> rowCustomers() {
        std::set<int32_t> s;
        for (int r = 1; r < win->Grid.rows() - 1; ++r) s.insert(win->id(0, r));
        return s;
    }
    std::set<int32_t> activityIds() {
        std::set<int32_t> s;
        for (int r = 1; r < win->Grid.rows() - 1; ++r)
            for (int d = 0; d < 7; ++d)
                if (int32_t id = win->id(3 + 3 * d, r)) s.insert(id);
        return s;
    }
    // Closes the window and has an independent reader (mdb-export) show the stored record.
    void expectFileRecord(const std::string& row) {
        std::string cmd = "mdb-export '" + timerPath + "' 'Prefs - Startup'", out;
        win.reset();
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[512];
            while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
            pclose(p);
        }
        EXPECT_EQ(out, "RecentDays,Billable,DefaultName,StopwatchRounding\n" + row + "\n");
    }
};

TEST_F(PrefsTest, ShowsTheStoredValuesTheNamesInQueryOrderAndTheColumns) {
    openTimer();
    std::vector<std::pair<std::string, int32_t>> items;
    editPreferences([&](app::Prefs& p) {
        EXPECT_TRUE(p.visible());
        EXPECT_EQ(p.RecentDays.text(), "30");
        EXPECT_EQ(p.Billable.value(), 1);
        EXPECT_EQ(p.BillableColumn.value(), 1);
        EXPECT_EQ(p.NoteColumn.value(), 1);
        EXPECT_EQ(p.NameCombo.text(), "Alice Moreno");
        for (int i = 0; i < p.NameCombo.listCount(); ++i) items.emplace_back(p.NameCombo.list(i), p.NameCombo.itemData(i));
        p.Cancel.click();
    });
    // "Employees Vendors And Other Names": every name that is no customer:job, by NameStr.
    std::vector<std::pair<std::string, int32_t>> expected = {
        {"Alice Moreno", 200}, {"Brian Okafor", 201}, {"Chen Wei", 202}, {"Dana Fischer", 203}, {"Office Temp", 204}};
    EXPECT_EQ(items, expected);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(PrefsTest, TabsSwitchTheirFrames) {
    openTimer();
    editPreferences([&](app::Prefs& p) {
        ASSERT_EQ(p.TabStrip1.tabs.size(), 4u);
        std::vector<ui::Frame*> frames = {&p.RecentFrame, &p.NameFrame, &p.BillableFrame, &p.ColumnsFrame};
        std::vector<std::vector<ui::Control*>> contents = {
            {&p.RecentDays, &p.Label1}, {&p.NameCombo}, {&p.Billable}, {&p.NoteColumn, &p.BillableColumn}};
        for (int t = 1; t <= 4; ++t) {
            p.TabStrip1.select(t);
            for (int f = 0; f < 4; ++f) {
                bool shown = f == t - 1;
                EXPECT_EQ(frames[static_cast<size_t>(f)]->visible(), shown) << "tab " << t << " frame " << f;
                for (ui::Control* c : contents[static_cast<size_t>(f)])
                    EXPECT_EQ(c->visible(), shown) << "tab " << t << " control " << c->name;
            }
        }
        // Every control the view draws lies inside the dialog.
        for (ui::Control* c : p.controls()) {
            EXPECT_GE(c->left(), 0) << c->name;
            EXPECT_LE(c->left() + c->width(), p.width()) << c->name;
            EXPECT_LE(c->top() + c->height(), p.height()) << c->name;
        }
        p.Cancel.click();
    });
}

struct DaysCase {
    const char* typed;
    int stored;  // -1: refused
};

TEST_F(PrefsTest, RecentDaysMustBeANumberFrom0To3650) {
    const DaysCase cases[] = {
        {"0", 0}, {"3650", 3650}, {" 14 ", 14}, {"2.5", 2}, {"3.5", 4}, {"1e3", 1000}, {"-0.4", 0},
        {"-1", -1}, {"3651", -1}, {"abc", -1}, {"", -1}, {"12a", -1},
    };
    for (const DaysCase& c : cases) {
        SCOPED_TRACE(std::string("typed \"") + c.typed + "\"");
        openTimer();
        platform.messages.clear();
        bool stillShown = false;
        editPreferences([&](app::Prefs& p) {
            p.RecentDays.userEdited(c.typed);
            p.OK.click();
            stillShown = p.visible();
            if (stillShown) p.Cancel.click();
        });
        StoredPrefs s = stored();
        if (c.stored >= 0) {
            EXPECT_FALSE(stillShown);
            EXPECT_TRUE(platform.messages.empty());
            EXPECT_EQ(s.days.toDouble(), c.stored);
            EXPECT_EQ(win->m_recentDays, c.stored);
        } else {
            EXPECT_TRUE(stillShown);
            ASSERT_EQ(platform.messages.size(), 1u);
            EXPECT_EQ(platform.messages[0].text, kBadDays);
            EXPECT_EQ(platform.messages[0].title, "Hourgrid");
            EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::OK);
            EXPECT_EQ(s.days.toDouble(), 30);
            EXPECT_EQ(win->m_recentDays, 30);
        }
        win.reset();
    }
}

TEST_F(PrefsTest, BadDaysKeepTheDialogButNameBillableAndColumnsAreAlreadyApplied) {
    openTimer();
    std::vector<int> before = widths();
    bool shownAfterFirst = false, shownAfterSecond = true;
    editPreferences([&](app::Prefs& p) {
        pickName(p, "Brian Okafor");
        p.Billable.setValue(0);
        p.NoteColumn.setValue(0);
        p.RecentDays.userEdited("abc");
        p.OK.click();
        shownAfterFirst = p.visible();
        // Already applied and stored before the message.
        expectApplied("Brian Okafor", 201, false, 30);
        StoredPrefs s = stored();
        EXPECT_EQ(s.name.asText(), "Brian Okafor");
        EXPECT_EQ(s.billable.toDouble(), 0);
        EXPECT_EQ(s.days.toDouble(), 30);
        for (int c = 5; c <= 23; c += 3) EXPECT_EQ(win->Grid.colWidth(c), 0) << "N column " << c;
        // The user mends the number; OK runs every step again and closes.
        p.RecentDays.userEdited("10");
        p.OK.click();
        shownAfterSecond = p.visible();
    });
    EXPECT_TRUE(shownAfterFirst);
    EXPECT_FALSE(shownAfterSecond);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kBadDays);
    EXPECT_EQ(win->m_recentDays, 10);
    for (int c = 4; c <= 22; c += 3) EXPECT_EQ(win->Grid.colWidth(c), before[static_cast<size_t>(c)]) << c;
    expectFileRecord("10,0,\"Brian Okafor\",1");
}

// A write the file refuses (here: its journal cannot be created) is reported;
// the dialog stays open, the main window keeps matching the file, and the same
// OK once the file can be written stores everything.
TEST_F(PrefsTest, ARefusedWriteIsReportedAndCanBeMadeAgain) {
    openTimer();
    const std::string journal = jet::journalPath(timerPath);
    bool shownAfterRefusal = false, shownAfterRetry = true;
    editPreferences([&](app::Prefs& p) {
        pickName(p, "Brian Okafor");
        p.Billable.setValue(0);
        p.RecentDays.userEdited("10");
        fs::create_directory(journal);
        p.OK.click();
        shownAfterRefusal = p.visible();
        expectApplied("Alice Moreno", 200, true, 30);
        fs::remove(journal);
        p.OK.click();
        shownAfterRetry = p.visible();
    });
    EXPECT_TRUE(shownAfterRefusal);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_FALSE(platform.messages[0].text.empty());
    EXPECT_EQ(platform.messages[0].title, "Hourgrid");
    EXPECT_FALSE(shownAfterRetry);
    expectApplied("Brian Okafor", 201, false, 10);
    expectFileRecord("10,0,\"Brian Okafor\",1");
}

TEST_F(PrefsTest, HiddenBillableColumnsStayHiddenAcrossReopeningAndARestart) {
    openTimer();
    std::vector<int> before = widths();
    editPreferences([&](app::Prefs& p) {
        p.BillableColumn.setValue(0);
        p.OK.click();
    });
    std::vector<int> after = widths();
    for (int c = 0; c < 25; ++c) {
        bool bColumn = c >= 4 && c <= 22 && (c - 4) % 3 == 0;
        EXPECT_EQ(after[static_cast<size_t>(c)], bColumn ? 0 : before[static_cast<size_t>(c)]) << "column " << c;
    }
    int billableShown = -1, noteShown = -1;
    editPreferences([&](app::Prefs& p) {
        billableShown = p.BillableColumn.value();
        noteShown = p.NoteColumn.value();
        p.Cancel.click();
    });
    EXPECT_EQ(billableShown, 0);
    EXPECT_EQ(noteShown, 1);

    ASSERT_TRUE(win->Unload());
    app::Hourgrid& w = start();
    w.Form_Load();
    ASSERT_TRUE(w.m_bDbOpen);
    for (int c = 4; c <= 22; c += 3) EXPECT_EQ(w.Grid.colWidth(c), 0) << c;
    editPreferences([&](app::Prefs& p) {
        billableShown = p.BillableColumn.value();
        p.BillableColumn.setValue(1);
        p.OK.click();
    });
    EXPECT_EQ(billableShown, 0);
    for (int c = 4; c <= 22; c += 3) EXPECT_EQ(w.Grid.colWidth(c), 200) << c;
}

TEST_F(PrefsTest, CancelOrTheCloseBoxAfterChangingEverythingChangesNothing) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        openTimer();
        std::vector<int> widthsBefore = widths();
        std::vector<std::string> panelsBefore;
        for (int i = 1; i <= 4; ++i) panelsBefore.push_back(win->sbStatusBar.panelText(i));
        std::set<int32_t> idsBefore = activityIds();
        bool stillShown = true;
        editPreferences([&](app::Prefs& p) {
            p.RecentDays.userEdited("5");
            pickName(p, "Chen Wei");
            p.Billable.setValue(0);
            p.BillableColumn.setValue(0);
            p.NoteColumn.setValue(0);
            p.TabStrip1.select(4);
            if (closeBox) {
                bool cancel = false;
                p.Form_QueryUnload(cancel, 0);
                EXPECT_TRUE(cancel) << "the dialog is hidden, not unloaded";
            } else {
                p.Cancel.click();
            }
            stillShown = p.visible();
        });
        EXPECT_FALSE(stillShown);
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_EQ(widths(), widthsBefore);
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(win->sbStatusBar.panelText(i), panelsBefore[static_cast<size_t>(i - 1)]);
        EXPECT_EQ(activityIds(), idsBefore);
        expectApplied(panelsBefore[1], 200, true, 30);
        expectFileRecord("30,1,\"Alice Moreno\",1");
    }
}

TEST_F(PrefsTest, NameButtonOpensTheNameTabAndTheMenuKeepsTheLastTab) {
    struct Step {
        bool nameButton;  // else Edit > Preferences
        int expectTab;
        int selectTab;    // chosen by the user before cancelling; 0: none
    };
    const std::vector<std::vector<Step>> sequences = {
        {{false, 1, 3}, {false, 3, 0}, {true, 2, 0}, {false, 2, 4}, {false, 4, 0}},
        {{true, 2, 0}, {false, 2, 1}, {false, 1, 0}},
    };
    for (const auto& seq : sequences) {
        openTimer();
        for (size_t i = 0; i < seq.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step& s = seq[i];
            int shownTab = 0;
            bool nameFrameShown = false, recentFrameShown = false;
            platform.onModal = [&](ui::Form& f) {
                auto& p = dynamic_cast<app::Prefs&>(f);
                shownTab = p.TabStrip1.selectedIndex();
                nameFrameShown = p.NameFrame.visible() && p.NameCombo.visible();
                recentFrameShown = p.RecentFrame.visible();
                if (s.selectTab) p.TabStrip1.select(s.selectTab);
                p.Cancel.click();
            };
            size_t before = platform.modalForms.size();
            if (s.nameButton) win->sbStatusBar_PanelClick("NameButton");
            else win->EditMenuPreferences_Click();
            ASSERT_EQ(platform.modalForms.size(), before + 1);
            EXPECT_EQ(shownTab, s.expectTab);
            EXPECT_EQ(nameFrameShown, s.expectTab == 2);
            EXPECT_EQ(recentFrameShown, s.expectTab == 1);
        }
        // One dialog, loaded once, kept between showings.
        std::set<ui::Form*> forms(platform.modalForms.begin(), platform.modalForms.end());
        EXPECT_EQ(forms.size(), 1u);
        EXPECT_EQ(*forms.begin(), &win->prefsForm());
        platform.modalForms.clear();
        win.reset();
    }
}

TEST_F(PrefsTest, UnknownDefaultNameSelectsNobodyAndOkAsksForAName) {
    openTimer("timer-unknown-default.tdb");
    platform.messages.clear();
    bool stillShown = false;
    editPreferences([&](app::Prefs& p) {
        EXPECT_EQ(p.NameCombo.listIndex(), -1);
        EXPECT_EQ(p.NameCombo.listCount(), 5);
        EXPECT_EQ(p.RecentDays.text(), "14");
        EXPECT_EQ(p.Billable.value(), 0);
        p.Billable.setValue(1);
        p.RecentDays.userEdited("20");
        p.OK.click();
        stillShown = p.visible();
        p.Cancel.click();
    });
    EXPECT_TRUE(stillShown);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Please select a name.");
    StoredPrefs s = stored();
    EXPECT_EQ(s.name.asText(), "Nobody Here");
    EXPECT_EQ(s.billable.toDouble(), 0);
    EXPECT_EQ(s.days.toDouble(), 14);
}

TEST_F(PrefsTest, AnEmptyPrefsTableClosesTheDialogWithAMessage) {
    openTimer("timer-empty-prefs.tdb");
    platform.messages.clear();
    bool shown = true;
    editPreferences([&](app::Prefs& p) { shown = p.visible(); });
    EXPECT_FALSE(shown);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Could not open your preferences.");
    EXPECT_EQ(platform.messages[0].title, "Hourgrid");
}

TEST_F(PrefsTest, NothingOpensWithoutATimerFile) {
    writeSetting("File", (dir / "missing.tdb").string());
    app::Hourgrid& w = start();
    w.Form_Load();
    ASSERT_FALSE(w.m_bDbOpen);
    w.EditMenuPreferences_Click();
    w.sbStatusBar_PanelClick("NameButton");
    EXPECT_TRUE(platform.modalForms.empty());
}

TEST_F(PrefsTest, UnusualStoredValuesStillOpenTheDialog) {
    // Null days show the window the program runs with; any nonzero Billable is billable.
    timerPath = copyTimer("sample.tdb");
    {
        auto db = timerdb::Database::OpenDatabase(timerPath);
        auto rs = db->OpenDynaset(timerdb::names::kPrefsStartup);
        rs->MoveFirst();
        rs->Edit();
        rs->SetField("RecentDays", jet::Value::null());
        rs->SetField("Billable", jet::Value::int16(2));
        rs->SetField("DefaultName", jet::Value::text("alice moreno"));
        rs->Update();
    }
    writeSetting("File", timerPath);
    start().Form_Load();
    platform.messages.clear();
    editPreferences([&](app::Prefs& p) {
        EXPECT_TRUE(p.visible());
        EXPECT_EQ(p.RecentDays.text(), "30");
        EXPECT_EQ(p.Billable.value(), 1);
        EXPECT_EQ(p.NameCombo.text(), "Alice Moreno");
        p.OK.click();
    });
    EXPECT_TRUE(platform.messages.empty());
    StoredPrefs s = stored();
    EXPECT_EQ(s.days.toDouble(), 30);
    EXPECT_EQ(s.billable.toDouble(), 1);
    EXPECT_EQ(s.name.asText(), "Alice Moreno");
}

TEST_F(PrefsTest, OkRebuildsTheWeekForTheNewPersonAndRecentWindow) {
    openTimer();
    std::set<int32_t> alice = activityIds();
    EXPECT_TRUE(alice.count(1)) << "Alice's Monday activity is in the grid";
    // Recent combinations created 11/27 (Delta Logistics) and 11/20 (Acme Support Contract).
    EXPECT_TRUE(rowCustomers().count(103));
    EXPECT_TRUE(rowCustomers().count(108));

    editPreferences([&](app::Prefs& p) {
        p.RecentDays.userEdited("10");
        p.OK.click();
    });
    EXPECT_TRUE(rowCustomers().count(103));
    EXPECT_FALSE(rowCustomers().count(108));
    EXPECT_EQ(activityIds(), alice);

    editPreferences([&](app::Prefs& p) {
        pickName(p, "Brian Okafor");
        p.OK.click();
    });
    EXPECT_EQ(win->sbStatusBar.panelText(2), "Brian Okafor");
    EXPECT_EQ(win->sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(activityIds(), std::set<int32_t>{10});
    EXPECT_EQ(stored().name.asText(), "Brian Okafor");
}

}  // namespace
