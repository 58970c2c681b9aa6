// The daily copy of the Timer file made before its first change of the day.
#include <fstream>
#include <iterator>
#include <set>

#include "app/backup.h"
#include "app_fixture.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A change to the open file through the program's data layer.
void setRecentDays(app::Hourgrid& w, int16_t days) {
    auto rs = w.m_db->OpenDynaset(timerdb::names::kPrefsStartup);
    rs->MoveFirst();
    rs->Edit();
    rs->SetField("RecentDays", jet::Value::int16(days));
    rs->Update();
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
    std::string copyOn(const QDate& day) const { return app::backupName(timerPath, day); }
};

}  // namespace

TEST_F(BackupTest, OneCopyADayOfTheFileAsItWasBeforeTheFirstChange) {
    const QDate today = app::Clock::today();
    const std::string original = slurp(copyTimer("sample.tdb"));
    app::Hourgrid& w = openTimer();  // opening writes the program's saved queries
    ASSERT_TRUE(w.m_bDbOpen);
    EXPECT_EQ(copies(), std::set<std::string>{copyOn(today)});
    EXPECT_EQ(slurp((folder() / copyOn(today)).string()), original);
    EXPECT_NE(slurp(timerPath), original);
    EXPECT_TRUE(jet::Database::open((folder() / copyOn(today)).string())->hasTable("Activities"));

    setRecentDays(w, 12);
    EXPECT_EQ(copies().size(), 1u);
    EXPECT_EQ(slurp((folder() / copyOn(today)).string()), original);

    // The next day's first change copies the file with the day before's changes.
    app::Clock::setFixed(QDateTime(today.addDays(1), QTime(8, 0)));
    const std::string yesterday = slurp(timerPath);
    w.m_db->BeginTrans();
    setRecentDays(w, 13);
    w.m_db->CommitTrans();
    EXPECT_EQ(copies(), (std::set<std::string>{copyOn(today), copyOn(today.addDays(1))}));
    EXPECT_EQ(slurp((folder() / copyOn(today.addDays(1))).string()), yesterday);
    EXPECT_TRUE(platform.messages.empty()) << platform.messages.front().text;
}

TEST_F(BackupTest, KeepsTheNewestCopiesOfEachFile) {
    const QDate today = app::Clock::today();
    // A file of the same name elsewhere has copies of its own, never counted or removed.
    fs::create_directories(dir / "other");
    timerPath = (dir / "sample.tdb").string();
    const std::string other = app::backupName(copyTimer("sample.tdb", "other/sample.tdb"), today.addDays(-9));
    ASSERT_NE(other, copyOn(today.addDays(-9)));
    struct Case {
        const char* count;
        std::set<int> kept;  // days from today
    } cases[] = {{"3", {0, -1, -2}}, {"1", {0}}, {"0", {-1, -2, -3, -5}}, {"junk", {0, -1, -2, -3, -5}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        win.reset();
        fs::remove_all(folder());
        fs::create_directories(folder());
        for (int d : {-1, -2, -3, -5}) std::ofstream(folder() / copyOn(today.addDays(d))) << d;
        std::ofstream(folder() / other) << "other";
        writeSetting("BackupCount", c.count);
        openTimer();
        std::set<std::string> expected{other};
        for (int d : c.kept) expected.insert(copyOn(today.addDays(d)));
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
    EXPECT_NE(platform.messages[0].text.find("backup copy of '" + timerPath + "' could not be made"), std::string::npos)
        << platform.messages[0].text;
    win.reset();
    auto rs = jet::runQuery(*jet::Database::open(timerPath), *jet::parseSql("SELECT RecentDays FROM [Prefs - Startup]"));
    EXPECT_EQ(rs.rows.at(0).at(0).toDouble(), 18);
}
