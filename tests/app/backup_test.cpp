// The daily copy of the Timer file made before its first change of the day.
#include <fstream>
#include <set>
#include "app/backup.h"
#include "app_fixture.h"

namespace {
// A change to the open file through the program's data layer.
void setRecentDays(app::Hourgrid& w, int16_t days) {
    auto rs = w.m_db->OpenDynaset(timerdb::names::kPrefsStartup);
    rs->MoveFirst(), rs->Edit(), rs->SetField("RecentDays", jet::Value::int16(days)), rs->Update();
}

class BackupTest : public AppFixture {
protected:
    fs::path folder() const { return dir / "backups"; }
    std::set<std::string> copies() const {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder(), ec)) names.insert(e.path().filename().string());
        return names;
    }
    std::string copyOn(int day) const { return app::backupName(timerPath, app::Clock::today().addDays(day)); }
    std::string copied(int day) const { return testfiles::bytes((folder() / copyOn(day)).string()); }
};
}  // namespace

TEST_F(BackupTest, OneCopyADayOfTheFileAsItWasBeforeTheFirstChange) {
    const std::string original = testfiles::bytes(copyTimer("sample.tdb"));
    app::Hourgrid& w = openTimer();  // opening writes the program's saved queries
    ASSERT_TRUE(w.m_bDbOpen);
    EXPECT_NE(testfiles::bytes(timerPath), original);
    EXPECT_TRUE(jet::Database::open((folder() / copyOn(0)).string())->hasTable("Activities"));
    setRecentDays(w, 12);
    EXPECT_EQ(std::pair(copies(), copied(0)), std::pair(std::set<std::string>{copyOn(0)}, original));
    // The next day's first change copies the file with the day before's changes.
    const std::string yesterday = testfiles::bytes(timerPath), first = copyOn(0);
    app::Clock::setFixed(QDateTime(app::Clock::today().addDays(1), QTime(8, 0)));
    w.m_db->BeginTrans();
    setRecentDays(w, 13);
    w.m_db->CommitTrans();
    EXPECT_EQ(std::tuple(copies(), copied(0), said()), std::tuple(std::set<std::string>{first, copyOn(0)}, yesterday, Texts{}));
}

TEST_F(BackupTest, KeepsTheNewestCopiesOfEachFile) {
    // A file of the same name elsewhere has copies of its own, never counted or removed.
    fs::create_directories(dir / "other");
    timerPath = (dir / "sample.tdb").string();
    const std::string other = app::backupName(copyTimer("sample.tdb", "other/sample.tdb"), app::Clock::today().addDays(-9));
    ASSERT_NE(other, copyOn(-9));
    const std::pair<const char*, std::set<int>> cases[] = {  // the count set, the copies kept in days from today
        {"3", {0, -1, -2}}, {"1", {0}}, {"0", {-1, -2, -3, -5}}, {"junk", {0, -1, -2, -3, -5}}};
    for (const auto& [count, kept] : cases) {
        SCOPED_TRACE(count);
        win.reset();
        fs::remove_all(folder());
        fs::create_directories(folder());
        for (int d : {-1, -2, -3, -5}) std::ofstream(folder() / copyOn(d)) << d;
        std::ofstream(folder() / other) << "other";
        writeSetting("BackupCount", count);
        openTimer();
        std::set<std::string> expected{other};
        for (int d : kept) expected.insert(copyOn(d));
        EXPECT_EQ(copies(), expected);
    }
}

TEST_F(BackupTest, ACopyThatCannotBeMadeIsReportedOnceAndTheChangeIsMade) {
    std::ofstream(folder()) << "a file where the folder should be";
    app::Hourgrid& w = openTimer();
    ASSERT_TRUE(w.m_bDbOpen);
    setRecentDays(w, 17);
    setRecentDays(w, 18);
    ASSERT_EQ(platform.messages.size(), 1u);
    const std::string& text = platform.messages[0].text;
    EXPECT_TRUE(text.starts_with("Today's backup copy of '" + timerPath + "' could not be made in '" + folder().string() + "':\r") &&
                text.ends_with("\rYour changes are still saved to the Timer file.")) << text;
    EXPECT_EQ(platform.messages[0].icon, ui::Icon::Exclamation);
    win.reset();
    auto rs = jet::runQuery(*jet::Database::open(timerPath), *jet::parseSql("SELECT RecentDays FROM [Prefs - Startup]"));
    EXPECT_EQ(rs.rows.at(0).at(0).toDouble(), 18);
}
