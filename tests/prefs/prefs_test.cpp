// The preferences dialog as a user drives it: what it shows, what OK stores and applies, what Cancel leaves.
#include <array>
#include <functional>
#include <set>
#include "app_fixture.h"
#include "jet/pager.h"
#include "prefs/prefs.h"

namespace {
const std::string kBadDays = "Incorrect input. Enter a number from 0 to 3650.";
const std::string kSample = "sample.tdb|Alice Moreno|11/30/2026|200|30|billable";
const std::string kBrian = "sample.tdb|Brian Okafor|11/30/2026|201|10|not billable";

class PrefsTest : public AppFixture {
protected:
    // "days,billable,name" as the engine reads them from the file the window holds.
    std::string stored() {
        auto rs = win->m_db->OpenDynaset(timerdb::names::kPrefsStartup);
        rs->MoveFirst();
        return app::decimalText(rs->Field("RecentDays").toDouble()) + "," + app::decimalText(rs->Field("Billable").toDouble()) + "," +
               rs->Field("DefaultName").asText();
    }
    // The record's row as an independent reader (mdb-export) shows it once the window is closed.
    std::string exported() {
        win.reset();
        const std::string csv = testfiles::output("mdb-export '" + timerPath + "' 'Prefs - Startup'");
        return csv.starts_with("RecentDays,Billable,DefaultName,StopwatchRounding\n") ? csv.substr(csv.find('\n') + 1) : csv;
    }
    // Edit > Preferences (or the Name button) with `play` acting as the user while the dialog is shown.
    void prefs(std::function<void(app::Prefs&)> play, bool nameButton = false) {
        const size_t before = platform.modalForms.size();
        platform.onModal = [play](ui::Form& f) { play(dynamic_cast<app::Prefs&>(f)); };
        if (nameButton) win->sbStatusBar_PanelClick("NameButton");
        else win->EditMenuPreferences_Click();
        EXPECT_EQ(platform.modalForms.size(), before + 1) << "the dialog was not shown";
    }
    static void pick(app::Prefs& p, const std::string& text) {
        for (int i = 0; i < p.NameCombo.listCount(); ++i)
            if (p.NameCombo.list(i) == text) return p.NameCombo.setListIndex(i);
        ADD_FAILURE() << text << " is not offered";
    }
    std::vector<int> widths(std::vector<int> w = {}) {
        for (int c = 0; c < 25; ++c) w.push_back(win->Grid.colWidth(c));
        return w;
    }
    std::set<int32_t> activityIds() {
        std::set<int32_t> s;
        for (int r = 1; r < win->Grid.rows() - 1; ++r)
            for (int d = 0; d < 7; ++d)
                if (int32_t id = win->id(3 + 3 * d, r)) s.insert(id);
        return s;
    }
};

TEST_F(PrefsTest, ShowsTheStoredValuesAndTheNamesInQueryOrder) {
    openTimer();
    prefs([&](app::Prefs& p) {
        EXPECT_EQ(std::tuple(p.RecentDays.text(), p.Billable.value(), p.BillableColumn.value(), p.NoteColumn.value(), p.NameCombo.text()),
                  std::tuple("30", 1, 1, 1, "Alice Moreno"));
        // "Employees Vendors And Other Names": every name that is no customer:job, by NameStr.
        std::string items;
        for (int i = 0; i < p.NameCombo.listCount(); ++i) items += p.NameCombo.list(i) + " " + std::to_string(p.NameCombo.itemData(i)) + "|";
        EXPECT_EQ(items, "Alice Moreno 200|Brian Okafor 201|Chen Wei 202|Dana Fischer 203|Office Temp 204|");
        p.Cancel.click();
    });
    EXPECT_EQ(said(), Texts{});
}

TEST_F(PrefsTest, RecentDaysMustBeANumberFrom0To3650) {
    const std::pair<const char*, int> cases[] = {{"0", 0},   {"3650", 3650}, {" 14 ", 14}, {"2.5", 2},  {"3.5", 4}, {"1e3", 1000},
                                                 {"-0.4", 0}, {"-1", -1},    {"3651", -1}, {"abc", -1}, {"", -1},   {"12a", -1}};
    for (auto [typed, days] : cases) {  // days -1: refused
        SCOPED_TRACE(std::string("typed \"") + typed + "\"");
        openTimer();
        bool shown = false;
        prefs([&, typed = typed](app::Prefs& p) { p.RecentDays.userEdited(typed), p.OK.click(), shown = p.visible(), p.Cancel.click(); });
        const int kept = days < 0 ? 30 : days;
        EXPECT_EQ(std::tuple(shown, said(), win->m_recentDays), std::tuple(days < 0, days < 0 ? Texts{kBadDays} : Texts{}, kept));
        EXPECT_EQ(stored(), std::to_string(kept) + ",1,Alice Moreno");
    }
}

// An OK stopped by bad days or a refused write keeps the dialog and a window matching the file; OK once mended closes.
TEST_F(PrefsTest, AnOkThatCannotFinishKeepsTheDialogAndTheWindowMatchingTheFile) {
    for (bool refusedWrite : {false, true}) {
        openTimer();
        const std::string journal = jet::journalPath(timerPath);
        const std::vector<int> before = widths();
        std::vector<bool> shown;
        prefs([&](app::Prefs& p) {
            pick(p, "Brian Okafor"), p.Billable.setValue(0), p.NoteColumn.setValue(refusedWrite);
            p.RecentDays.userEdited(refusedWrite ? "10" : "abc");
            if (refusedWrite) fs::create_directory(journal);
            p.OK.click();
            shown.push_back(p.visible());
            EXPECT_EQ(shows(), refusedWrite ? kSample : "sample.tdb|Brian Okafor|11/30/2026|201|30|not billable");
            EXPECT_EQ(stored(), refusedWrite ? "30,1,Alice Moreno" : "30,0,Brian Okafor");
            for (int c = 0; c < 25; ++c) EXPECT_EQ(win->Grid.colWidth(c), !refusedWrite && c >= 5 && c <= 23 && c % 3 == 2 ? 0 : before[c]) << c;
            fs::remove(journal);
            p.RecentDays.userEdited("10"), p.OK.click();
            shown.push_back(p.visible());
        });
        ASSERT_EQ(platform.messages.size(), 1u);
        const RecordedMessage& m = platform.messages[0];
        EXPECT_EQ(std::tuple(shown, m.text == kBadDays, m.title, m.buttons),
                  std::tuple(std::vector{true, false}, !refusedWrite, "Hourgrid", ui::Buttons::OK));
        said();
        EXPECT_EQ(shows(), kBrian);
        EXPECT_EQ(exported(), "10,0,\"Brian Okafor\",1\n");
    }
}

TEST_F(PrefsTest, HiddenBillableColumnsStayHiddenAcrossReopeningAndARestart) {
    openTimer();
    const std::vector<int> before = widths();
    std::vector<std::pair<int, int>> shown;  // the B and N boxes at each showing
    auto showing = [&](int billable) {
        prefs([&](app::Prefs& p) {
            shown.emplace_back(p.BillableColumn.value(), p.NoteColumn.value());
            if (billable < 0) return p.Cancel.click();
            p.BillableColumn.setValue(billable), p.OK.click();
        });
    };
    showing(0);
    for (int c = 0; c < 25; ++c) EXPECT_EQ(widths()[c], c >= 4 && c <= 22 && c % 3 == 1 ? 0 : before[c]) << c;
    showing(-1);  // Cancel
    ASSERT_TRUE(win->Unload());
    load(timerPath);
    for (int c = 4; c <= 22; c += 3) EXPECT_EQ(win->Grid.colWidth(c), 0) << c;
    showing(1);
    EXPECT_EQ(std::pair(shown, widths()), std::pair(std::vector<std::pair<int, int>>{{1, 1}, {0, 1}, {0, 1}}, before));
}

TEST_F(PrefsTest, CancelOrTheCloseBoxAfterChangingEverythingChangesNothing) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        openTimer();
        const auto widthsBefore = widths();
        const auto idsBefore = activityIds();
        bool shown = true;
        prefs([&](app::Prefs& p) {
            p.RecentDays.userEdited("5"), pick(p, "Chen Wei"), p.Billable.setValue(0), p.BillableColumn.setValue(0);
            p.NoteColumn.setValue(0), p.TabStrip1.select(4);
            bool cancel = false;
            closeBox ? p.Form_QueryUnload(cancel, 0) : p.Cancel.click();
            EXPECT_EQ(cancel, closeBox) << "the dialog is hidden, not unloaded";
            shown = p.visible();
        });
        EXPECT_EQ(std::tuple(shown, said(), widths(), activityIds(), shows()), std::tuple(false, Texts{}, widthsBefore, idsBefore, kSample));
        EXPECT_EQ(exported(), "30,1,\"Alice Moreno\",1\n");
    }
}

// The Name button opens the Name tab, the menu the tab last left; each tab shows its own frame alone.
TEST_F(PrefsTest, TheNameButtonOpensTheNameTabAndTheMenuKeepsTheLastTab) {
    // Each step: by the Name button (else the menu), the tab shown, the tab the user then selects (0: none).
    const std::vector<std::vector<std::array<int, 3>>> sequences = {
        {{0, 1, 3}, {0, 3, 0}, {1, 2, 0}, {0, 2, 4}, {0, 4, 0}}, {{1, 2, 0}, {0, 2, 1}, {0, 1, 0}}};
    for (const auto& seq : sequences) {
        openTimer();
        for (auto [nameButton, tab, select] : seq) {
            prefs([&, select = select, tab = tab](app::Prefs& p) {
                const std::vector<std::vector<ui::Control*>> frames = {
                    {&p.RecentFrame, &p.RecentDays, &p.Label1}, {&p.NameFrame, &p.NameCombo}, {&p.BillableFrame, &p.Billable},
                    {&p.ColumnsFrame, &p.NoteColumn, &p.BillableColumn}};
                EXPECT_EQ(p.TabStrip1.selectedIndex(), tab);
                for (int f = 0; f < 4; ++f)
                    for (ui::Control* c : frames[f]) EXPECT_EQ(c->visible(), f == tab - 1) << "tab " << tab << ": " << c->name;
                if (select) p.TabStrip1.select(select);
                p.Cancel.click();
            }, nameButton);
        }
        // One dialog, loaded once, kept between showings.
        EXPECT_EQ(std::set<ui::Form*>(platform.modalForms.begin(), platform.modalForms.end()), std::set<ui::Form*>{&win->prefsForm()});
        platform.modalForms.clear();
    }
}

// An unknown default name asks for a name; null days, a Billable of 2 and a name in another case still open the dialog;
// an empty record or no file shows none.
TEST_F(PrefsTest, OddStoredPreferencesAndNoFile) {
    openTimer("timer-unknown-default.tdb");
    said();
    bool shown = false;
    prefs([&](app::Prefs& p) {
        EXPECT_EQ(std::tuple(p.NameCombo.listIndex(), p.NameCombo.listCount(), p.RecentDays.text(), p.Billable.value()),
                  std::tuple(-1, 5, "14", 0));
        p.Billable.setValue(1), p.RecentDays.userEdited("20"), p.OK.click();
        shown = p.visible();
        p.Cancel.click();
    });
    EXPECT_EQ(std::tuple(shown, said(), stored()), std::tuple(true, Texts{"Please select a name."}, "14,0,Nobody Here"));
    timerPath = copyTimer("sample.tdb");
    {
        auto db = timerdb::Database::OpenDatabase(timerPath);
        auto rs = db->OpenDynaset(timerdb::names::kPrefsStartup);
        rs->MoveFirst(), rs->Edit(), rs->SetField("RecentDays", jet::Value::null()), rs->SetField("Billable", jet::Value::int16(2));
        rs->SetField("DefaultName", jet::Value::text("alice moreno")), rs->Update();
    }
    load(timerPath);
    said();
    prefs([&](app::Prefs& p) {
        shown = p.RecentDays.text() == "30" && p.Billable.value() == 1 && p.NameCombo.text() == "Alice Moreno", p.OK.click();
    });
    EXPECT_EQ(std::tuple(shown, said(), stored()), std::tuple(true, Texts{}, "30,1,Alice Moreno"));
    openTimer("timer-empty-prefs.tdb");
    prefs([&](app::Prefs& p) { shown = p.visible(); });
    EXPECT_EQ(std::pair(shown, said()), std::pair(false, Texts{"Could not open your preferences."}));
    load((dir / "missing.tdb").string());
    win->EditMenuPreferences_Click();
    win->sbStatusBar_PanelClick("NameButton");
    EXPECT_EQ(platform.modalForms.size(), 3u);  // the three above
}

TEST_F(PrefsTest, OkRebuildsTheWeekForTheNewPersonAndRecentWindow) {
    openTimer();
    const std::set<int32_t> alice = activityIds();
    EXPECT_TRUE(alice.count(1)) << "Alice's Monday activity is in the grid";
    // Recent combinations created 11/27 (Delta Logistics, 103) and 11/20 (Acme Support Contract, 108).
    auto customers = [&](std::set<int32_t> s = {}) {
        for (int r = 1; r < win->Grid.rows() - 1; ++r) s.insert(win->id(0, r));
        return std::to_string(s.count(103)) + std::to_string(s.count(108));
    };
    EXPECT_EQ(customers(), "11");
    prefs([](app::Prefs& p) { p.RecentDays.userEdited("10"), p.OK.click(); });
    EXPECT_EQ(std::pair(customers(), activityIds()), std::pair(std::string("10"), alice));
    prefs([](app::Prefs& p) { pick(p, "Brian Okafor"), p.OK.click(); });
    EXPECT_EQ(std::tuple(shows(), activityIds(), stored()),
              std::tuple("sample.tdb|Brian Okafor|11/30/2026|201|10|billable", std::set<int32_t>{10}, "10,1,Brian Okafor"));
}
}  // namespace
