// The main window's start-up, Timer file, reference lists and shut-down, headless.
#include <sys/wait.h>
#include <algorithm>
#include <array>
#include <fstream>
#include "app_fixture.h"

using app::Hourgrid;

namespace {
const std::string kPleaseOpen = "\rPlease open a Timer file using Open from the File menu.";
const std::string kNoFile = "No Timer file is open. Do you want to browse for a Timer file?";
const std::string kReimport = "Fatal error searching for Name ID. Please use the QuickBooks timer to re-import lists to this Timer file.";
const std::string kSample = "sample.tdb|Alice Moreno|11/30/2026|200|30|billable";

class HourgridTest : public AppFixture {
protected:
    // The one message shown, with its buttons, no icon and the program's title.
    void expectMessage(const std::string& text, ui::Buttons buttons) {
        ASSERT_EQ(platform.messages.size(), 1u);
        const RecordedMessage& m = platform.messages[0];
        EXPECT_EQ(std::tuple(m.text, m.buttons, m.icon, m.title), std::tuple(text, buttons, ui::Icon::None, "Hourgrid"));
        platform.messages.clear();
    }
};
}  // namespace

// Missing or unconvertible settings give the defaults; without a file it asks to browse, and No ends the program.
TEST_F(HourgridTest, FirstStartTakesDefaultsAsksForAFileAndNoEnds) {
    for (bool unconvertible : {false, true}) {
        SCOPED_TRACE(unconvertible ? "unconvertible settings" : "no settings");
        for (auto [key, value] : {std::pair{"FormWidth", "wide"}, {"FormHeight", ""}, {"WindowState", "7"}, {"GridFontSize", "0"},
                                  {"GridFontBold", "perhaps"}, {"MonWidthT", "x"}})
            if (unconvertible) writeSetting(key, value);
        platform.answers = {ui::Answer::No};
        Hourgrid& w = start();
        w.Form_Load();
        EXPECT_EQ(std::tuple(w.width(), w.height(), w.windowState(), w.Grid.font()),
                  std::tuple(11000.0, 5000.0, ui::WindowState::Normal, ui::Font{}));
        for (int c = 0; c < 24; ++c)
            EXPECT_EQ(w.Grid.colWidth(c), (c < 3 ? std::array{1500, 1200, 1100}[c] : c % 3 ? 200 : 500)) << c;
        expectMessage(kNoFile, ui::Buttons::YesNo);
        EXPECT_EQ(std::tuple(w.ended(), shows(), platform.endCount), std::tuple(true, "-|<None>|<None>|-1|30|billable", unconvertible ? 2 : 1));
        if (unconvertible) break;
        EXPECT_TRUE(w.helpFile.ends_with("/help/index.html") && fs::is_regular_file(w.helpFile)) << w.helpFile;
        EXPECT_EQ(std::pair(platform.shown, fs::exists(iniPath)), std::pair(1, false));
    }
}

TEST_F(HourgridTest, CancelledBrowseAsksAgainAndThePrintTipNamesThePrinter) {
    platform.openResults = {std::nullopt, copyTimer("sample.tdb")};
    start().Form_Load();
    EXPECT_EQ(said(), (Texts{kNoFile, kNoFile}));
    ASSERT_EQ(platform.openRequests.size(), 2u);
    const ui::OpenFileRequest& r = platform.openRequests[0];
    EXPECT_EQ(std::tuple(r.filter, r.filterIndex, r.flags), std::tuple("All Files (*.*)|*.*|Timer Files(*.tdb)|*.tdb", 2, 4));
    EXPECT_EQ(std::tuple(shows(), win->keyPreview, win->tbToolBar.button("Print")->toolTip),
              std::tuple(kSample, true, "Prints to: Test Printer"));
    platform.printerName = "";
    EXPECT_EQ(openTimer().tbToolBar.button("Print")->toolTip, "Print (no printer is installed: saves a PDF file)");
}

TEST_F(HourgridTest, SavedQueriesExistOnceAfterTwoOpens) {
    for (int i = 0; i < 2; ++i) ASSERT_TRUE((i ? load(timerPath) : openTimer()).Unload());
    win.reset();
    const std::string names[] = {timerdb::names::kQueryByDateRange, timerdb::names::kQueryRecent};
    {
        auto db = jet::Database::open(timerPath);
        auto queries = db->queryNames();
        for (const auto& q : names) EXPECT_EQ(std::count(queries.begin(), queries.end(), q), 1) << q;
        EXPECT_NO_THROW(
            jet::runNamed(*db, timerdb::names::kQueryRecent, {{"PNumDays", jet::Value::int32(10000)}, {"PNameID", jet::Value::int32(200)}}));
    }
    const std::string out = testfiles::output("mdb-queries -L '" + timerPath + "'");  // and as another reader lists them
    for (const auto& q : names) EXPECT_TRUE(out.find(q) != std::string::npos && out.find(q) == out.rfind(q)) << out;
}

// A file that cannot be opened is named by the engine's reason, left to the byte and released; Exit still ends.
TEST_F(HourgridTest, RefusedFilesShowWhyAndAreLeftAsTheyWere) {
    std::string text = (dir / "text.tdb").string(), other = (dir / "other.mdb").string(), listError,
                damaged = copyTimer("sample.tdb", "damaged.tdb"), broken = copyTimer("sample.tdb", "broken.tdb"),
                truncated = copyTimer("sample.tdb", "truncated.tdb");
    std::ofstream(text) << "this is not a database, only a few words of text\n";
    fs::resize_file(damaged, 4096 + 100);
    fs::resize_file(truncated, 50 * 4096);  // cut short inside its lists
    fs::copy_file(fs::path(TEST_DATA_DIR) / "jet4" / "testPromotionV2000.mdb", other);
    {
        auto db = jet::Database::open(broken, jet::OpenMode::Exclusive);
        db->dropQuery("Customer:Jobs");
        db->createQuery("Customer:Jobs", "SELECT Names.NoSuchField FROM Names;");
        try { jet::runNamed(*db, "Customer:Jobs"); } catch (const std::exception& e) { listError = e.what(); }
    }
    const std::string none = "-|<None>|<None>|-1|30|billable";
    const std::tuple<std::string, std::string, std::string> cases[] = {  // the file, why ("": the engine's error), then shown
        {(dir / "nowhere.tdb").string(), "", none}, {text, "", none}, {damaged, "", none},
        {other, "'" + other + "' is not a Timer file: it has no table \"Activities\".", none},
        {broken, listError, "-|Alice Moreno|11/30/2026|-1|30|billable"},
        {truncated, "damaged database", "-|*Please select a Name*|11/30/2026|-1|30|billable"}};
    for (const auto& [path, why, state] : cases) {
        const std::string bytes = testfiles::bytes(path), engine = engineError(path);
        if (state == none) load(path);
        else platform.openResults = {path}, openTimer().FileMenuOpen_Click();
        const std::string expected = (why.empty() ? engine : why) + kPleaseOpen;
        ASSERT_EQ(platform.messages.size(), 1u) << path;
        const std::string text = platform.messages[0].text;
        EXPECT_TRUE(text == expected || (text.find(why) != std::string::npos && why == "damaged database")) << text;
        expectMessage(text, ui::Buttons::OK);
        EXPECT_EQ(std::tuple(shows(), testfiles::bytes(path) == bytes, engineError(path)), std::tuple(state, true, engine)) << path;
        if (state != none) { EXPECT_EQ(engineError(timerPath), "<opened>"); continue; }
        EXPECT_FALSE(win->ended() || win->keyPreview);
        win->FileMenuExit_Click();
        EXPECT_EQ(std::pair(win->ended(), readSetting("File")), std::pair(true, path));
    }
    platform.openResults = {timerPath};
    win->FileMenuOpen_Click();
    EXPECT_EQ(shows(), kSample);
}

// Timer files with odd preferences or lists still open, with the message each calls for.
TEST_F(HourgridTest, OddPreferencesAndListsStillOpenTheFile) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"timer-empty-prefs.tdb", "", "|<None>|11/30/2026|-1|30|billable"},
        {"timer-null-default.tdb", "Please select a Name by clicking the Name button or choose Preferences from the Edit menu.",
         "|<None>|11/30/2026|-1|30|billable"},
        {"timer-unknown-default.tdb", kReimport, "|Nobody Here|11/30/2026|-1|14|not billable"},
        {"timer-no-names.tdb",
         "There are no names for which to track time. Please use the QuickBooks timer to import lists to this Timer file.",
         "|Alice Moreno|11/30/2026|-1|30|billable"},
        {"timer-no-services.tdb", "", "|Alice Moreno|11/30/2026|200|30|billable"},
    };
    for (const auto& [file, message, state] : cases) {
        SCOPED_TRACE(file);
        Hourgrid& w = openTimer(file);
        if (message.empty()) { EXPECT_EQ(said(), Texts{}); } else { expectMessage(message, ui::Buttons::OK); }
        EXPECT_EQ(std::tuple(shows(), w.ServiceCombo.listCount() == 0, w.ClassCombo.listCount() > 0),
                  std::tuple(file + state, file == "timer-no-services.tdb", true));
    }
    EXPECT_GT(win->CustJobCombo.listCount(), 0);
}

TEST_F(HourgridTest, ListsAreSortedWithTheirIds) {
    Hourgrid& w = openTimer();
    const std::tuple<const char*, const char*, const char*, ui::ComboBox*> lists[] = {
        {"Customer:Jobs", "NameStr", "Name ID", &w.CustJobCombo}, {"Service Items", "Name", "Item ID", &w.ServiceCombo},
        {"Classes", "Name", "ID", &w.ClassCombo}};
    for (auto [query, text, id, combo] : lists) {
        std::vector<std::pair<std::string, int32_t>> expected, got;
        auto rs = jet::runNamed(w.m_db->engine(), query);
        const size_t t = rs.columnIndex(text), i = rs.columnIndex(id);
        for (const auto& r : rs.rows)
            if (!r[t].isNull()) expected.emplace_back(r[t].asText(), static_cast<int32_t>(r[i].toInt64()));
        for (int i = 0; i < combo->listCount(); ++i) {
            got.emplace_back(combo->list(i), combo->itemData(i));
            if (i) { EXPECT_LE(QString(got[i - 1].first.c_str()).compare(got[i].first.c_str(), Qt::CaseInsensitive), 0); }
        }
        std::sort(got.begin(), got.end()), std::sort(expected.begin(), expected.end());
        EXPECT_FALSE(got.empty() || combo->visible());
        EXPECT_EQ(got, expected) << query;
    }
}

// Commands that validate first do nothing without a file; File > Open then shows this week, a cancelled Open or one
// of the same file changes nothing, and another file keeps the week shown.
TEST_F(HourgridTest, FileOpenAfterAFailedStartShowsThisWeekAndAnotherFileKeepsTheWeek) {
    Hourgrid& w = load((dir / "gone.tdb").string());
    w.ViewMenuBackWeek_Click();
    w.sbStatusBar.onPanelClick("NameButton");
    EXPECT_EQ(said().size(), 1u);
    platform.openResults = {timerPath = copyTimer("sample.tdb")};
    w.FileMenuOpen_Click();
    EXPECT_EQ(std::tuple(said(), shows(), w.keyPreview), std::tuple(Texts{}, kSample, true));
    const void* db = w.m_db.get();
    platform.openResults = {std::nullopt, timerPath};
    w.FileMenuOpen_Click();
    w.tbToolBar.onButtonClick("Open");
    EXPECT_EQ(std::tuple(platform.openRequests.size(), w.m_db.get(), shows()), std::tuple(3u, db, kSample));
    w.ViewMenuBackWeek_Click();
    platform.openResults = {copyTimer("timer-unknown-default.tdb")};
    w.FileMenuOpen_Click();
    EXPECT_EQ(said(), Texts{kReimport});
    EXPECT_EQ(shows() + w.Grid.textMatrix(0, 3), "timer-unknown-default.tdb|Nobody Here|11/23/2026|-1|14|not billableM 23");
    EXPECT_EQ(engineError(timerPath), "<opened>");  // the first file is released
}

TEST_F(HourgridTest, ShutDownStoresTheSettingsAndTheNextStartRestoresThem) {
    Hourgrid& w = openTimer();
    w.viewResized(2000.4, 1000, 1800, 500, ui::WindowState::Minimized);
    EXPECT_EQ(std::pair(w.Grid.width(), w.Grid.height()), std::pair(1680.0, 180.0));
    const ui::Font font{"DejaVu Sans", true, false, 8.25, false};
    w.Grid.setFont(font), w.Grid.setColWidth(0, 2222), w.Grid.setColWidth(7, 0);
    w.FileMenuExit_Click();
    EXPECT_EQ(std::pair(w.ended(), platform.endCount), std::pair(true, 1));
    const std::pair<std::string, std::string> stored[] = {
        {"File", timerPath}, {"FormWidth", "5000"}, {"FormHeight", "3000"}, {"WindowState", "0"}, {"GridFontName", font.name},
        {"GridFontBold", "True"}, {"GridFontItalic", "False"}, {"GridFontSize", "8.25"}, {"CustJobWidth", "2222"}, {"TueWidthB", "0"},
        {"MonWidthT", "500"}, {"SunWidthN", "200"}};
    for (const auto& [key, value] : stored) EXPECT_EQ(readSetting(key), value) << key;
    Hourgrid& w2 = load(timerPath);
    EXPECT_EQ(std::tuple(w2.width(), w2.height(), w2.windowState(), w2.Grid.font(), w2.Grid.colWidth(0), w2.Grid.colWidth(7)),
              std::tuple(5000.0, 3000.0, ui::WindowState::Normal, font, 2222, 0));
    // A maximised size is stored as it is.
    w2.viewResized(19200.5, 12000, 19000, 11000, ui::WindowState::Maximized);
    ASSERT_TRUE(w2.Unload(0));
    EXPECT_EQ(readSetting("FormWidth") + " " + readSetting("FormHeight") + " " + readSetting("WindowState"), "19200 12000 2");
    // A window too small for the grid keeps it at a minimum size.
    w2.viewResized(12000, 6000, 11880, 5400, ui::WindowState::Normal);
    EXPECT_EQ(std::pair(w2.Grid.width(), w2.Grid.height()), std::pair(11760.0, 5400.0 - 315 - 360 - 60));
    w2.viewResized(200, 200, 100, 100, ui::WindowState::Normal);
    EXPECT_EQ(std::pair(w2.Grid.width(), w2.Grid.height()), std::pair(180.0, 180.0));
}

TEST_F(HourgridTest, KeyboardShortcutsNeedCtrl) {
    Hourgrid& w = openTimer();
    const int ctrl = ui::kCtrlMask;
    const std::tuple<int, int, int, const char*> presses[] = {  // the key, shift, the key after (0: consumed), the week shown
        {'M', 0, 'M', "11/30/2026"}, {'M', ctrl, 0, "11/02/2026"}, {'H', ctrl | ui::kShiftMask, 0, "11/30/2026"}, {'K', ctrl, 0, "12/07/2026"},
        {'W', ctrl, 0, "11/30/2026"}, {'W', ctrl, 0, "11/23/2026"}, {'L', ctrl, 0, "11/30/2026"}, {'A', ctrl, 'A', "11/30/2026"}};
    for (auto [pressed, shift, after, week] : presses) {
        int key = pressed;
        w.Form_KeyDown(key, shift);
        EXPECT_EQ(std::pair(key, w.sbStatusBar.panelText(4)), std::pair(after, std::string(week))) << char(pressed);
    }
    EXPECT_EQ(said(), Texts{});
}

TEST_F(HourgridTest, HeldFileIsRefusedToASecondInstance) {
    Hourgrid& w = openTimer();
    const std::string report = (dir / "second.txt").string();
    const pid_t pid = fork();
    if (pid == 0) {  // a second program starts on the same remembered file
        const std::string expected = engineError(timerPath);
        ScriptedPlatform p2;
        app::QtSettingsStore s2(iniPath);
        Hourgrid second(p2, s2);
        second.Form_Load();
        std::ofstream(report) << (expected != "<opened>" && p2.messages.size() == 1 && p2.messages[0].text == expected + kPleaseOpen &&
                                  !second.m_bDbOpen);
        _exit(0);
    }
    ASSERT_GT(pid, 0);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(testfiles::bytes(report), "1") << "the second instance was not refused with the engine's message";
    w.ViewMenuForwardWeek_Click();  // the first keeps working on its file
    EXPECT_EQ(w.sbStatusBar.panelText(4), "12/07/2026");
    EXPECT_TRUE(w.Unload());
}
