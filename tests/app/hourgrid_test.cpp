// The main window's start-up, Timer file, reference lists and shut-down,
// driven headlessly against copies of the Timer test files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDate>
#include <QDateTime>
#include <QSettings>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "app/clock.h"
#include "app/hourgrid.h"
#include "app/settings.h"
#include "jet/database.h"
#include "jet/query.h"
#include "app_fixture.h"
#include "scripted_platform.h"
#include "timerdb/timerdb.h"

using app::Hourgrid;

namespace {

const std::string kPleaseOpen = "Please open a Timer file using Open from the File menu.";
const char* kNoFileQuestion = "No Timer file is open. Do you want to browse for a Timer file?";
const char* kReimport =
    "Fatal error searching for Name ID. Please use the QuickBooks timer to re-import lists to this Timer file.";
const std::string kCaption = "Hourgrid for QuickBooks Pro \xC2\xAE";

class HourgridTest : public AppFixture {
protected:
    // Starts the program with `path` remembered as its Timer file.
    Hourgrid& load(const std::string& path) {
        writeSetting("File", path);
        Hourgrid& w = start();
        w.Form_Load();
        return w;
    }
    void expectDefaultLayout(Hourgrid& w) {
        EXPECT_EQ(w.width(), 11000);
        EXPECT_EQ(w.height(), 5000);
        EXPECT_EQ(w.windowState(), ui::WindowState::Normal);
        EXPECT_EQ(w.Grid.font().size, 8);
        EXPECT_FALSE(w.Grid.font().bold);
        EXPECT_EQ(w.Grid.colWidth(0), 1500);
        EXPECT_EQ(w.Grid.colWidth(1), 1200);
        EXPECT_EQ(w.Grid.colWidth(2), 1100);
        for (int c = 3; c <= 21; c += 3) {
            EXPECT_EQ(w.Grid.colWidth(c), 500);
            EXPECT_EQ(w.Grid.colWidth(c + 1), 200);
            EXPECT_EQ(w.Grid.colWidth(c + 2), 200);
        }
    }
};

}  // namespace

TEST(MondayOf, WeeksStartOnMonday) {
    EXPECT_EQ(Hourgrid::MondayOf(QDate(1998, 3, 1)), QDate(1998, 2, 23));
    EXPECT_EQ(Hourgrid::MondayOf(QDate(2001, 1, 1)), QDate(2001, 1, 1));
    EXPECT_EQ(Hourgrid::MondayOf(QDate(2002, 1, 1)), QDate(2001, 12, 31));
    EXPECT_EQ(Hourgrid::MondayOf(QDate(2026, 12, 6)), QDate(2026, 11, 30));
    EXPECT_EQ(Hourgrid::MondayOf(QDate(2026, 12, 5)), QDate(2026, 11, 30));
}

TEST(Settings, Conversions) {
    EXPECT_EQ(app::toInt("abc", 11000), 11000);
    EXPECT_EQ(app::toInt("5000", 1), 5000);
    EXPECT_DOUBLE_EQ(app::toDouble("8.25", 8), 8.25);
    EXPECT_TRUE(app::toBool("True", false));
    EXPECT_FALSE(app::toBool("False", true));
    EXPECT_TRUE(app::toBool("maybe", true));
    EXPECT_EQ(app::decimalText(8.25), "8.25");
    EXPECT_EQ(app::decimalText(8), "8");
    EXPECT_EQ(app::decimalText(9.75), "9.75");
    EXPECT_EQ(app::decimalText(10.123456), "10.1235");
}

TEST(TimerDb, SavedQueriesParse) {
    EXPECT_NO_THROW(jet::parseSql(timerdb::kSqlByDateRange));
    EXPECT_NO_THROW(jet::parseSql(timerdb::kSqlRecent));
}

// Without settings, or with settings that do not convert, the window takes its
// defaults; without a file it asks to browse, and No ends the program.
TEST_F(HourgridTest, FirstStartTakesDefaultsAsksForAFileAndNoEnds) {
    for (bool unconvertible : {false, true}) {
        SCOPED_TRACE(unconvertible ? "unconvertible settings" : "no settings");
        if (unconvertible)
            for (auto [key, value] : {std::pair{"FormWidth", "wide"}, {"FormHeight", ""}, {"WindowState", "7"},
                                      {"GridFontSize", "big"}, {"GridFontBold", "perhaps"}, {"MonWidthT", "x"}})
                writeSetting(key, value);
        platform.messages.clear();
        platform.answers = {ui::Answer::No};
        Hourgrid& w = start();
        w.Form_Load();
        expectDefaultLayout(w);
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, kNoFileQuestion);
        EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::YesNo);
        EXPECT_EQ(platform.messages[0].icon, ui::Icon::None);
        EXPECT_EQ(platform.messages[0].title, "Hourgrid");
        EXPECT_TRUE(w.ended());
        EXPECT_FALSE(w.m_bDbOpen);
        if (unconvertible) break;
        EXPECT_TRUE(w.helpFile.ends_with("/help/index.html")) << w.helpFile;
        EXPECT_TRUE(fs::is_regular_file(w.helpFile)) << w.helpFile;
        EXPECT_EQ(platform.shown, 1);
        EXPECT_EQ(platform.endCount, 1);
        EXPECT_EQ(w.caption(), kCaption);
        win.reset();
        store.reset();
        EXPECT_FALSE(fs::exists(iniPath));
    }
}

TEST_F(HourgridTest, CancelledBrowseAsksAgain) {
    std::string path = copyTimer("sample.tdb");
    platform.answers = {ui::Answer::Yes, ui::Answer::Yes};
    platform.openResults = {std::nullopt, path};
    Hourgrid& w = start();
    w.Form_Load();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, kNoFileQuestion);
    ASSERT_EQ(platform.openRequests.size(), 2u);
    EXPECT_EQ(platform.openRequests[0].filter, "All Files (*.*)|*.*|Timer Files(*.tdb)|*.tdb");
    EXPECT_EQ(platform.openRequests[0].filterIndex, 2);
    EXPECT_EQ(platform.openRequests[0].flags, 4);
    EXPECT_TRUE(w.m_bDbOpen);
    EXPECT_EQ(w.timerFile(), path);
}

TEST_F(HourgridTest, StartWithRememberedFile) {
    Hourgrid& w = openTimer();
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_TRUE(w.m_bDbOpen);
    EXPECT_EQ(w.caption(), kCaption + " - " + timerPath);
    EXPECT_EQ(w.sbStatusBar.panelText(2), "Alice Moreno");
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(w.m_lNameID, 200);  // Alice Moreno's ID in Names
    EXPECT_EQ(w.m_recentDays, 30);
    EXPECT_TRUE(w.m_bBillable);
    EXPECT_EQ(w.tbToolBar.button("Print")->toolTip, "Prints to: Test Printer");
    EXPECT_TRUE(w.keyPreview);
    EXPECT_EQ(w.Grid.row(), 1);
    EXPECT_EQ(w.Grid.col(), 3);
    EXPECT_EQ(w.Grid.textMatrix(0, 3), "M 30");
    EXPECT_EQ(w.Grid.textMatrix(0, 6), "T 1");
    EXPECT_EQ(w.Grid.textMatrix(0, 21), "S 6");
    EXPECT_EQ(w.days()[0], QDate(2026, 11, 30));
    EXPECT_EQ(w.days()[6], QDate(2026, 12, 6));
}

TEST_F(HourgridTest, PrintTipWithoutAPrinterSaysWhatPrintDoes) {
    platform.printerName.clear();
    Hourgrid& w = openTimer();
    EXPECT_EQ(w.tbToolBar.button("Print")->toolTip, "Print (no printer is installed: saves a PDF file)");
}

TEST_F(HourgridTest, SavedQueriesExistOnceAfterTwoOpens) {
    std::string path = copyTimer("sample.tdb");
    writeSetting("File", path);
    for (int i = 0; i < 2; ++i) {
        Hourgrid& w = start();
        w.Form_Load();
        ASSERT_TRUE(w.m_bDbOpen);
        ASSERT_TRUE(w.Unload());
    }
    win.reset();
    auto db = jet::Database::open(path);
    auto names = db->queryNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), timerdb::names::kQueryByDateRange), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), timerdb::names::kQueryRecent), 1);
    // The saved query runs.
    jet::Params p;
    p["PNumDays"] = jet::Value::int32(10000);
    p["PNameID"] = jet::Value::int32(nameId(path, "Alice Moreno"));
    EXPECT_NO_THROW(jet::runNamed(*db, timerdb::names::kQueryRecent, p));
    db.reset();

    // An independent reader, where installed, lists each once.
    if (std::system("command -v mdb-queries >/dev/null 2>&1") != 0) return;
    std::string out;
    FILE* f = popen(("mdb-queries -L '" + path + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, f)) out.append(buf, n);
    ASSERT_EQ(pclose(f), 0) << out;
    for (const std::string q : {"Hourgrid Activities By Date Range and Name ID", "Hourgrid Recent Activities By Num Days"}) {
        size_t count = 0;
        for (size_t pos = out.find(q); pos != std::string::npos; pos = out.find(q, pos + 1)) ++count;
        EXPECT_EQ(count, 1u) << out;
    }
}

TEST_F(HourgridTest, FailedOpensShowTheEngineDescription) {
    std::string missing = (dir / "nowhere.tdb").string();
    std::string text = (dir / "text.tdb").string();
    std::ofstream(text) << "this is not a database, only a few words of text\n";
    std::string damaged = copyTimer("sample.tdb", "damaged.tdb");
    fs::resize_file(damaged, 4096 + 100);

    for (const std::string& path : {missing, text, damaged}) {
        SCOPED_TRACE(path);
        std::string expected = engineError(path);
        ASSERT_NE(expected, "<opened>");
        platform.messages.clear();
        Hourgrid& w = load(path);
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, expected + "\r" + kPleaseOpen);
        EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::OK);
        EXPECT_EQ(platform.messages[0].icon, ui::Icon::None);
        EXPECT_EQ(platform.messages[0].title, "Hourgrid");
        EXPECT_FALSE(w.m_bDbOpen);
        EXPECT_EQ(w.m_lNameID, -1);
        EXPECT_EQ(w.sbStatusBar.panelText(4), "<None>");
        EXPECT_EQ(w.caption(), kCaption);
        EXPECT_FALSE(w.ended());
        // A failed file is remembered and tried again at the next start.
        ASSERT_TRUE(w.Unload());
        EXPECT_EQ(readSetting("File"), path);
    }
}

TEST_F(HourgridTest, JetFileWithoutTimerObjectsIsRefused) {
    fs::path other;
    for (const auto& e : fs::directory_iterator(fs::path(TEST_DATA_DIR) / "jet4"))
        if (e.path().extension() == ".mdb") { other = e.path(); break; }
    ASSERT_FALSE(other.empty());
    std::string path = (dir / other.filename()).string();
    fs::copy_file(other, path);
    Hourgrid& w = load(path);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "'" + path + "' is not a Timer file: it has no table \"Activities\".\r" + kPleaseOpen);
    EXPECT_FALSE(w.m_bDbOpen);
    // The refused file is not left locked.
    EXPECT_EQ(engineError(path), "<opened>");
}

// Timer files with odd preferences or lists still open, with the message each calls for.
TEST_F(HourgridTest, OddPreferencesAndListsStillOpenTheFile) {
    struct Case {
        const char* file;
        const char* message;  // "": none
        bool named;           // a person is chosen
        bool customers;       // the customer:job list is checked to be filled
        const char* panel;    // the name panel; nullptr: not checked
        int days = -1, billable = -1;  // -1: not checked
        int services = -1;             // entries in the service list; -1: not checked
    } cases[] = {
        {"timer-empty-prefs.tdb", "", false, false, "<None>", 30, 1},
        {"timer-null-default.tdb",
         "Please select a Name by clicking the Name button or choose Preferences from the Edit menu.", false,
         true, "<None>"},
        {"timer-unknown-default.tdb", kReimport, false, false, "Nobody Here", 14, 0},
        {"timer-no-names.tdb",
         "There are no names for which to track time. Please use the QuickBooks timer to import lists to this Timer "
         "file.",
         false, false, "Alice Moreno"},
        {"timer-no-services.tdb", "", true, true, nullptr, -1, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        platform.messages.clear();
        Hourgrid& w = openTimer(c.file);
        if (*c.message) {
            ASSERT_EQ(platform.messages.size(), 1u);
            EXPECT_EQ(platform.messages[0].text, c.message);
            EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::OK);
        } else {
            EXPECT_TRUE(platform.messages.empty());
        }
        EXPECT_TRUE(w.m_bDbOpen);
        if (c.named) {
            EXPECT_GT(w.m_lNameID, 0);
        } else {
            EXPECT_EQ(w.m_lNameID, -1);
        }
        if (c.panel) {
            EXPECT_EQ(w.sbStatusBar.panelText(2), c.panel);
        }
        EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
        if (c.days >= 0) {
            EXPECT_EQ(w.m_recentDays, c.days);
        }
        if (c.billable >= 0) {
            EXPECT_EQ(w.m_bBillable, c.billable == 1);
        }
        if (c.services >= 0) {
            EXPECT_EQ(w.ServiceCombo.listCount(), c.services);
            EXPECT_GT(w.ClassCombo.listCount(), 0);
        }
        if (c.customers) {
            EXPECT_GT(w.CustJobCombo.listCount(), 0);
        }
        win.reset();
    }
}

TEST_F(HourgridTest, ListsAreSortedWithTheirIds) {
    std::string path = copyTimer("sample.tdb");
    struct Source {
        const char* source;
        const char* text;
        const char* id;
    } sources[] = {{"Customer:Jobs", "NameStr", "Name ID"}, {"Service Items", "Name", "Item ID"}, {"Classes", "Name", "ID"}};
    std::vector<std::vector<std::pair<std::string, int32_t>>> expected;
    {
        auto db = jet::Database::open(path);
        for (const auto& src : sources) {
            auto rs = jet::runNamed(*db, src.source);
            int t = rs.columnIndex(src.text), id = rs.columnIndex(src.id);
            std::vector<std::pair<std::string, int32_t>> items;
            for (const auto& r : rs.rows)
                if (!r[t].isNull()) items.emplace_back(r[t].asText(), static_cast<int32_t>(r[id].toInt64()));
            std::sort(items.begin(), items.end());
            expected.push_back(items);
        }
    }
    Hourgrid& w = load(path);
    ui::ComboBox* combos[] = {&w.CustJobCombo, &w.ServiceCombo, &w.ClassCombo};
    auto lower = [](std::string s) {
        for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(sources[k].source);
        ui::ComboBox& c = *combos[k];
        EXPECT_TRUE(c.sorted);
        EXPECT_FALSE(c.visible());
        ASSERT_GT(c.listCount(), 0);
        std::vector<std::pair<std::string, int32_t>> got;
        for (int i = 0; i < c.listCount(); ++i) {
            got.emplace_back(c.list(i), c.itemData(i));
            if (i > 0) {
                EXPECT_LE(lower(c.list(i - 1)), lower(c.list(i)));
            }
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected[static_cast<size_t>(k)]);
    }
    // Classes are stored out of order; the list shows them sorted.
    ASSERT_GE(w.ClassCombo.listCount(), 3);
    EXPECT_EQ(w.ClassCombo.list(0), "Commercial");
    EXPECT_EQ(w.ClassCombo.itemData(0), 3);
    EXPECT_EQ(w.ClassCombo.list(1), "Government");
    EXPECT_EQ(w.ClassCombo.itemData(1), 4);
}

TEST_F(HourgridTest, FileOpenCancelledOrSameFileChangesNothing) {
    std::string path = copyTimer("sample.tdb");
    Hourgrid& w = load(path);
    int32_t person = w.m_lNameID;
    auto db = w.m_db;
    platform.openResults = {std::nullopt, path};
    w.FileMenuOpen_Click();
    w.tbToolBar.onButtonClick("Open");
    EXPECT_EQ(platform.openRequests.size(), 2u);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(w.m_db, db);
    EXPECT_EQ(w.m_lNameID, person);
    EXPECT_EQ(w.sbStatusBar.panelText(2), "Alice Moreno");
    EXPECT_EQ(w.timerFile(), path);
}

TEST_F(HourgridTest, FileOpenAnotherFileKeepsTheWeek) {
    std::string first = copyTimer("sample.tdb");
    std::string second = copyTimer("timer-unknown-default.tdb");
    Hourgrid& w = load(first);
    w.ViewMenuBackWeek_Click();
    ASSERT_EQ(w.sbStatusBar.panelText(4), "11/23/2026");
    platform.openResults = {second};
    w.FileMenuOpen_Click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "Fatal error searching for Name ID. Please use the QuickBooks timer to re-import lists to this Timer file.");
    EXPECT_TRUE(w.m_bDbOpen);
    EXPECT_EQ(w.timerFile(), second);
    EXPECT_EQ(w.caption(), kCaption + " - " + second);
    EXPECT_EQ(w.sbStatusBar.panelText(2), "Nobody Here");
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/23/2026");
    EXPECT_EQ(w.Grid.textMatrix(0, 3), "M 23");
    EXPECT_EQ(w.m_recentDays, 14);
    // The old file has been released.
    EXPECT_EQ(engineError(first), "<opened>");
}

TEST_F(HourgridTest, FileOpenAfterAFailedStartShowsThisWeek) {
    std::string good = copyTimer("sample.tdb");
    Hourgrid& w = load((dir / "gone.tdb").string());
    ASSERT_FALSE(w.m_bDbOpen);
    EXPECT_FALSE(w.keyPreview);
    // Commands that validate first do nothing without a file.
    w.ViewMenuBackWeek_Click();
    w.sbStatusBar.onPanelClick("NameButton");
    EXPECT_EQ(platform.messages.size(), 1u);
    platform.openResults = {good};
    w.FileMenuOpen_Click();
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(w.m_bDbOpen);
    EXPECT_EQ(w.sbStatusBar.panelText(2), "Alice Moreno");
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_TRUE(w.keyPreview);
}

TEST_F(HourgridTest, ShutDownStoresTheSettings) {
    std::string path = copyTimer("sample.tdb");
    Hourgrid& w = load(path);
    w.viewResized(2000.4, 1000, 1800, 500, ui::WindowState::Minimized);
    EXPECT_EQ(w.Grid.width(), 1680);
    EXPECT_EQ(w.Grid.height(), 180);
    ui::Font f = w.Grid.font();
    f.name = "DejaVu Sans";
    f.bold = true;
    f.size = 8.25;
    w.Grid.setFont(f);
    w.Grid.setColWidth(0, 2222);
    w.Grid.setColWidth(7, 0);
    w.FileMenuExit_Click();
    EXPECT_TRUE(w.ended());
    EXPECT_EQ(platform.endCount, 1);
    EXPECT_EQ(readSetting("File"), path);
    EXPECT_EQ(readSetting("FormWidth"), "5000");
    EXPECT_EQ(readSetting("FormHeight"), "3000");
    EXPECT_EQ(readSetting("WindowState"), "0");
    EXPECT_EQ(readSetting("GridFontName"), "DejaVu Sans");
    EXPECT_EQ(readSetting("GridFontBold"), "True");
    EXPECT_EQ(readSetting("GridFontItalic"), "False");
    EXPECT_EQ(readSetting("GridFontSize"), "8.25");
    EXPECT_EQ(readSetting("CustJobWidth"), "2222");
    EXPECT_EQ(readSetting("TueWidthB"), "0");
    EXPECT_EQ(readSetting("MonWidthT"), "500");
    EXPECT_EQ(readSetting("SunWidthN"), "200");

    // The next start restores them.
    platform.messages.clear();
    Hourgrid& w2 = start();
    w2.Form_Load();
    EXPECT_EQ(w2.width(), 5000);
    EXPECT_EQ(w2.height(), 3000);
    EXPECT_EQ(w2.windowState(), ui::WindowState::Normal);
    EXPECT_TRUE(w2.Grid.font().bold);
    EXPECT_EQ(w2.Grid.font().size, 8.25);
    EXPECT_EQ(w2.Grid.font().name, "DejaVu Sans");
    EXPECT_EQ(w2.Grid.colWidth(0), 2222);
    EXPECT_EQ(w2.Grid.colWidth(7), 0);
}

TEST_F(HourgridTest, MaximisedSizeIsStoredAsItIs) {
    std::string path = copyTimer("sample.tdb");
    Hourgrid& w = load(path);
    w.viewResized(19200.5, 12000, 19000, 11000, ui::WindowState::Maximized);
    ASSERT_TRUE(w.Unload(0));
    EXPECT_EQ(readSetting("FormWidth"), "19200");
    EXPECT_EQ(readSetting("FormHeight"), "12000");
    EXPECT_EQ(readSetting("WindowState"), "2");
}

TEST_F(HourgridTest, KeyboardShortcutsNeedCtrl) {
    Hourgrid& w = openTimer();
    const int ctrl = ui::kCtrlMask;
    struct Press {
        int key, shift, keyAfter;  // keyAfter 0: consumed
        const char* week;
    } presses[] = {
        {'M', 0, 'M', "11/30/2026"},    {'M', ctrl, 0, "11/02/2026"}, {'H', ctrl | ui::kShiftMask, 0, "11/30/2026"},
        {'K', ctrl, 0, "12/07/2026"},   {'W', ctrl, 0, "11/30/2026"}, {'W', ctrl, 0, "11/23/2026"},
        {'L', ctrl, 0, "11/30/2026"},   {'A', ctrl, 'A', "11/30/2026"},
    };
    for (const Press& p : presses) {
        SCOPED_TRACE(std::string(1, static_cast<char>(p.key)) + " shift " + std::to_string(p.shift));
        int key = p.key;
        w.Form_KeyDown(key, p.shift);
        EXPECT_EQ(key, p.keyAfter);
        EXPECT_EQ(w.sbStatusBar.panelText(4), p.week);
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(HourgridTest, ResizeLaysOutTheGrid) {
    Hourgrid& w = start();
    w.viewResized(12000, 6000, 11880, 5400, ui::WindowState::Normal);
    EXPECT_EQ(w.Grid.width(), 11760);
    EXPECT_EQ(w.Grid.height(), 5400 - w.sbStatusBar.height() - 360 - 60);
    w.viewResized(200, 200, 100, 100, ui::WindowState::Normal);
    EXPECT_EQ(w.Grid.width(), 180);
    EXPECT_EQ(w.Grid.height(), 180);
}

TEST_F(HourgridTest, ExitWithoutAFileUnloadsAtOnce) {
    Hourgrid& w = load((dir / "gone.tdb").string());
    ASSERT_FALSE(w.m_bDbOpen);
    w.FileMenuExit_Click();
    EXPECT_TRUE(w.ended());
    EXPECT_EQ(readSetting("File"), (dir / "gone.tdb").string());
}

TEST_F(HourgridTest, HeldFileIsRefusedToASecondInstance) {
    std::string path = copyTimer("sample.tdb");
    Hourgrid& w = load(path);
    ASSERT_TRUE(w.m_bDbOpen);

    // A second program, in a child process, starts on the same remembered file.
    const fs::path report = dir / "second.txt";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::string expected = engineError(path);
        ScriptedPlatform p2;
        app::QtSettingsStore s2(iniPath);
        Hourgrid second(p2, s2);
        second.Form_Load();
        std::ofstream(report) << expected << "\n"
                              << (p2.messages.size() == 1 ? p2.messages[0].text : "<no single message>") << "\n"
                              << (second.m_bDbOpen ? "open" : "closed") << "\n";
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    std::ifstream in(report);
    std::string expected, message, state;
    std::getline(in, expected);
    std::getline(in, message);
    std::getline(in, state);
    EXPECT_NE(expected, "<opened>");
    EXPECT_EQ(message, expected + "\r" + kPleaseOpen);
    EXPECT_EQ(state, "closed");

    // The first instance keeps working on its file.
    EXPECT_TRUE(w.m_bDbOpen);
    EXPECT_NO_THROW(w.m_db->QueryDefs(timerdb::names::kCustomerJobs).OpenRecordset());
    w.ViewMenuForwardWeek_Click();
    EXPECT_EQ(w.sbStatusBar.panelText(4), "12/07/2026");
    EXPECT_TRUE(w.Unload());
}

TEST_F(HourgridTest, TimerDbRecordsets) {
    std::string path = copyTimer("sample.tdb");
    auto db = timerdb::Database::OpenDatabase(path);
    // Table-type recordset with an index seek.
    auto names = db->OpenTable("Names");
    ASSERT_FALSE(names->Bof());
    names->SetIndex("NameStr");
    names->Seek("=", {jet::Value::text("Alice Moreno")});
    ASSERT_FALSE(names->NoMatch());
    int32_t alice = static_cast<int32_t>(names->Field("ID").toInt64());
    names->Seek("=", {jet::Value::text("No Such Person")});
    EXPECT_TRUE(names->NoMatch());

    // Dynaset: find by ID, edit, add, delete.
    auto acts = db->OpenDynaset("Activities");
    ASSERT_GT(acts->RecordCount(), 0);
    acts->MoveFirst();
    int32_t firstId = static_cast<int32_t>(acts->Field("ID").toInt64());
    acts->FindFirst("ID=" + std::to_string(firstId));
    ASSERT_FALSE(acts->NoMatch());
    acts->Edit();
    acts->SetField("Note", jet::Value::text("changed"));
    acts->Update();
    acts->FindFirst("ID=999999");
    EXPECT_TRUE(acts->NoMatch());
    acts->AddNew();
    acts->SetField("Name ID", jet::Value::int32(alice));
    acts->SetField("Note", jet::Value::text("added"));
    acts->Update();
    acts->SetBookmark(acts->LastModified());
    int32_t newId = static_cast<int32_t>(acts->Field("ID").toInt64());
    EXPECT_GT(newId, firstId);
    EXPECT_EQ(acts->Field("Note").asText(), "added");

    auto again = db->OpenDynaset("Activities");
    again->FindFirst("ID=" + std::to_string(firstId));
    ASSERT_FALSE(again->NoMatch());
    EXPECT_EQ(again->Field("Note").asText(), "changed");
    again->FindFirst("ID=" + std::to_string(newId));
    ASSERT_FALSE(again->NoMatch());
    again->Delete();
    auto third = db->OpenDynaset("Activities");
    third->FindFirst("ID=" + std::to_string(newId));
    EXPECT_TRUE(third->NoMatch());

    // A saved query with parameters.
    db->setClock([] { return 46000.0; });
    db->CreateQueryDef(timerdb::names::kQueryRecent, timerdb::kSqlRecent);
    EXPECT_THROW(db->CreateQueryDef(timerdb::names::kQueryRecent, timerdb::kSqlRecent), jet::Error);
    auto q = db->QueryDefs(timerdb::names::kQueryRecent);
    q.setParameter("PNumDays", jet::Value::int32(100000));
    q.setParameter("PNameID", jet::Value::int32(alice));
    auto rs = q.OpenRecordset();
    EXPECT_GT(rs->RecordCount(), 0);
    db->DeleteQueryDef(timerdb::names::kQueryRecent);
    EXPECT_THROW(db->DeleteQueryDef(timerdb::names::kQueryRecent), jet::Error);
    EXPECT_THROW(db->QueryDefs("Nothing"), jet::Error);
}

// A file refused at open is left as it was, to the byte, and the window that no
// longer shows the former file releases it and names no file.
TEST_F(HourgridTest, ListThatCannotBeReadRefusesTheFile) {
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::string good = copyTimer("sample.tdb");
    std::string broken = copyTimer("sample.tdb", "broken.tdb");
    std::string expected;
    {
        auto db = jet::Database::open(broken, jet::OpenMode::Exclusive);
        db->dropQuery("Customer:Jobs");
        db->createQuery("Customer:Jobs", "SELECT Names.NoSuchField FROM Names;");
        try {
            jet::runNamed(*db, "Customer:Jobs");
        } catch (const std::exception& e) {
            expected = e.what();
        }
    }
    ASSERT_FALSE(expected.empty());
    const std::string original = bytes(broken);
    Hourgrid& w = load(good);
    platform.openResults = {broken};
    w.FileMenuOpen_Click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, expected + "\r" + kPleaseOpen);
    EXPECT_FALSE(w.m_bDbOpen);
    EXPECT_EQ(w.m_lNameID, -1);
    EXPECT_EQ(w.caption(), kCaption);
    EXPECT_TRUE(bytes(broken) == original) << "the refused file was written";
    EXPECT_EQ(engineError(broken), "<opened>");
    EXPECT_EQ(engineError(good), "<opened>");
    // A copy cut short inside its lists is refused as damaged, also untouched.
    std::string truncated = copyTimer("sample.tdb", "truncated.tdb");
    fs::resize_file(truncated, 50 * 4096);
    const std::string cut = bytes(truncated);
    platform.openResults = {truncated};
    w.FileMenuOpen_Click();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_NE(platform.messages[1].text.find("damaged database"), std::string::npos) << platform.messages[1].text;
    EXPECT_FALSE(w.m_bDbOpen);
    EXPECT_TRUE(bytes(truncated) == cut) << "the refused file was written";
    // File > Open still works from there.
    platform.openResults = {good};
    w.FileMenuOpen_Click();
    EXPECT_TRUE(w.m_bDbOpen);
    EXPECT_EQ(w.caption(), kCaption + " - " + good);
}

