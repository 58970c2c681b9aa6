// Sequences of user actions around the commands that rebuild or leave the week,
// checked in the Timer files: no activity may change that the user did not
// change, and none may be written for another cell, person or file.
#include <QRegularExpression>
#include <cstdio>
#include <optional>
#include <sstream>

#include "editing/detail.h"
#include "jet/pager.h"
#include "jet/write_internal.h"
#include "grid_driver.h"
#include "prefs/prefs.h"

namespace {

class Review : public GridFixture {
protected:
    // The first data row and day holding one of the person's activities.
    std::pair<int, int> someActivity() {
        for (int r = 1; r <= lastDataRow(); ++r)
            for (int d = 0; d < 7; ++d)
                if (w().id(durCol(d), r) > 0) return {r, d};
        ADD_FAILURE() << "the week shows no activity";
        return {1, 0};
    }
    // The user mends what the editor still shows and presses Enter.
    void mendAndEnter(const std::string& text) {
        if (!w().TimeEntry.visible()) return;
        w().TimeEntry.userEdited(text);
        editorEnter();
    }
    static void expectUnchanged(const std::map<int32_t, StoredActivity>& before,
                                const std::map<int32_t, StoredActivity>& after, const std::string& what) {
        EXPECT_EQ(after.size(), before.size()) << what << ": activities added or deleted";
        for (const auto& [id, a] : before) {
            ASSERT_TRUE(after.count(id)) << what << ": activity " << id << " was deleted";
            const StoredActivity& b = after.at(id);
            EXPECT_EQ(b.minutes, a.minutes) << what << ": activity " << id;
            EXPECT_EQ(b.userDate, a.userDate) << what << ": activity " << id;
            EXPECT_EQ(b.nameId, a.nameId) << what << ": activity " << id;
            EXPECT_EQ(b.custJob, a.custJob) << what << ": activity " << id;
            EXPECT_EQ(b.billable, a.billable) << what << ": activity " << id;
            EXPECT_EQ(b.note, a.note) << what << ": activity " << id;
        }
    }
    static std::string sampleExport() { return mdbExport(std::string(TEST_DATA_DIR) + "/timer/sample.tdb"); }
    // Activities of two hours on Tuesday 12/01/2026, where the tests type theirs.
    static int tuesdayTwoHours(const std::map<int32_t, StoredActivity>& acts) {
        int n = 0;
        for (const auto& [id, a] : acts)
            if (a.minutes == 120 && a.userDate == jetDate(QDate(2026, 12, 1))) ++n;
        return n;
    }
    // Two hours on Tuesday of a row that names its Customer:Job, Service Item and Class,
    // entered while the file refuses the write: the grid keeps 02:00, the file has nothing.
    void enterRefusedDuration() {
        for (int r = 1; r <= lastDataRow() && !pendingRow; ++r)
            if (!cell(r, 0).empty() && !cell(r, 1).empty() && !cell(r, 2).empty() && cell(r, durCol(1)).empty())
                pendingRow = r;
        ASSERT_GT(pendingRow, 0);
        typeAndEnter(pendingRow, durCol(1), "2");
        ASSERT_EQ(cell(pendingRow, durCol(1)), "02:00");
        ASSERT_EQ(w().id(durCol(1), pendingRow), 0);
    }
};

// ---- File > Open ----

TEST_F(Review, OpeningAnotherFileOverAnUnparseableDurationWritesNothingIntoIt) {
    openTimer();
    const std::string other = copyTimer("sample.tdb", "other.tdb");
    const auto otherBefore = readActivities(other);
    typePending("2x");
    platform.openResults = {other};
    w().FileMenuOpen_Click();
    EXPECT_EQ(messageTexts().back(), kBadTime);
    mendAndEnter("2");
    const std::string first = timerPath;
    win.reset();
    expectUnchanged(otherBefore, readActivities(other), "the file opened");
    EXPECT_EQ(mdbExport(other), sampleExport());
    // Nothing the user typed was lost either: it is in the file it was typed for, on its own day.
    const bool found = tuesdayTwoHours(readActivities(first)) == tuesdayTwoHours(sampleActivities()) + 1;
    EXPECT_TRUE(found) << "the mended duration is not in the first file";
}

TEST_F(Review, AFailedOpenLeavesNoActivityOfTheFormerFileToClickOn) {
    const auto before = sampleActivities();
    openTimer();
    auto [row, day] = someActivity();
    platform.openResults = {(dir / "missing.tdb").string()};
    w().FileMenuOpen_Click();
    ASSERT_FALSE(w().m_bDbOpen);
    // The grid is empty now; clicks where the former week's markers were change nothing.
    platform.onModal = [](ui::Form& f) {
        if (auto* d = dynamic_cast<app::Detail*>(&f)) {
            d->Note.setText("written blind");
            d->OK.click();
        }
    };
    click(row, bCol(day));
    click(row, nCol(day));
    click(row, 0);
    expectUnchanged(before, closeAndRead(), "the former file");
}

TEST_F(Review, AfterAFailedOpenTheFormerFileCanBeOpenedAgain) {
    openTimer();
    const std::string first = timerPath;
    auto [row, day] = someActivity();
    const int32_t shown = w().id(durCol(day), row);
    platform.openResults = {(dir / "missing.tdb").string()};
    w().FileMenuOpen_Click();
    ASSERT_FALSE(w().m_bDbOpen);
    platform.messages.clear();
    platform.openResults = {first};
    w().FileMenuOpen_Click();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{});
    ASSERT_TRUE(w().m_bDbOpen);
    EXPECT_EQ(w().timerFile(), first);
    EXPECT_EQ(w().id(durCol(day), row), shown);
    // And it takes the user's edits again.
    typeAndEnter(row, durCol(day), "3");
    win.reset();
    EXPECT_EQ(readActivities(first).at(shown).minutes, 180);
}

TEST_F(Review, OpeningAnotherFileWhenTheWeekCannotBeSavedKeepsTheWeekAndItsFile) {
    openTimer();
    const std::string first = timerPath;
    const std::string other = copyTimer("sample.tdb", "other.tdb");
    const auto otherBefore = readActivities(other);
    std::optional<RefusedWrites> refused(std::in_place, first);  // the first file refuses every write
    ASSERT_NO_FATAL_FAILURE(enterRefusedDuration());
    platform.openResults = {other};
    w().FileMenuOpen_Click();
    // The save said that nothing was saved: the week it could not write is still shown.
    EXPECT_EQ(w().timerFile(), first);
    EXPECT_EQ(cell(pendingRow, durCol(1)), "02:00");
    refused.reset();
    w().FileMenuSave_Click();
    win.reset();
    expectUnchanged(otherBefore, readActivities(other), "the other file");
    const bool found = tuesdayTwoHours(readActivities(first)) == tuesdayTwoHours(sampleActivities()) + 1;
    EXPECT_TRUE(found) << "the duration typed is not in its file";
}

// ---- File > Exit ----

TEST_F(Review, ExitWhenTheWeekCannotBeSavedKeepsTheWindowAndTheWeek) {
    openTimer();
    std::optional<RefusedWrites> refused(std::in_place, timerPath);
    ASSERT_NO_FATAL_FAILURE(enterRefusedDuration());
    platform.messages.clear();
    w().FileMenuExit_Click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("None of the week's changes were saved."), std::string::npos);
    EXPECT_FALSE(w().ended());
    EXPECT_EQ(cell(pendingRow, durCol(1)), "02:00");
    // Once the file takes writes again, Exit saves the week and ends.
    refused.reset();
    w().FileMenuExit_Click();
    EXPECT_TRUE(w().ended());
    win.reset();
    EXPECT_EQ(tuesdayTwoHours(readActivities(timerPath)), tuesdayTwoHours(sampleActivities()) + 1);
}

// ---- Clicks while a refused duration is still in the editor ----

TEST_F(Review, AMarkerClickOverAnUnparseableDurationLeavesNoDurationInAMarkerCell) {
    openTimer();
    auto [row, day] = someActivity();
    const QRegularExpression duration("^\\d+:\\d\\d$");
    for (int marker : {bCol(day), nCol(day)}) {
        SCOPED_TRACE(marker == bCol(day) ? "B cell" : "N cell");
        typePending("2x");
        click(row, marker);
        const std::string shown = cell(row, marker);
        mendAndEnter("2");
        // What the editor held reached no marker cell: its text is the marker's own.
        EXPECT_FALSE(duration.match(QString::fromStdString(cell(row, marker))).hasMatch()) << cell(row, marker);
        EXPECT_EQ(cell(row, marker), shown);
        EXPECT_FALSE(w().TimeEntry.visible());
    }
}

// ---- Preferences ----

TEST_F(Review, ANameChangedBeforeABadNumberOfDaysNeverTakesOverTheWeekShown) {
    const auto before = sampleActivities();
    openTimer();
    platform.onModal = [](ui::Form& f) {
        auto& p = dynamic_cast<app::Prefs&>(f);
        p.NameCombo.setListIndex(comboIndex(p.NameCombo, "Brian Okafor"));
        p.RecentDays.userEdited("abc");
        p.OK.click();
        p.Cancel.click();
    };
    w().EditMenuPreferences_Click();
    ASSERT_EQ(w().m_lNameID, 201);
    // Saving the week shown must not hand Alice's activities to Brian.
    w().FileMenuSave_Click();
    w().ViewMenuForwardWeek_Click();
    expectUnchanged(before, closeAndRead(), "after the save");
    // The independent reader agrees: every activity keeps its person.
    auto nameIds = [](const std::string& csv) {
        std::map<std::string, std::string> out;  // ID -> Name ID
        std::istringstream in(csv);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            size_t a = line.find(','), b = line.find(',', a + 1);
            out[line.substr(0, a)] = line.substr(a + 1, b - a - 1);
        }
        return out;
    };
    const auto expected = nameIds(sampleExport());
    EXPECT_EQ(expected.size(), before.size());
    EXPECT_EQ(nameIds(mdbExport(timerPath)), expected);
}

// The name is stored, then the file refuses the next write: the week shown is the new person's.
TEST_F(Review, ANameStoredBeforeARefusedWriteBringsItsOwnWeek) {
    const auto sample = sampleActivities();
    bool reached = false;
    for (int allowed = 1; allowed <= 40 && !reached; ++allowed) {
        SCOPED_TRACE(allowed);
        win.reset();
        platform = ScriptedPlatform();
        openTimer();
        int writes = 0;
        platform.onModal = [&](ui::Form& f) {
            auto& p = dynamic_cast<app::Prefs&>(f);
            p.NameCombo.setListIndex(comboIndex(p.NameCombo, "Brian Okafor"));
            p.Billable.setValue(0);
            jet::detail::writablePager(w().m_db->engine()).setFaultHook([&](const char*, uint32_t) {
                if (++writes > allowed) throw std::runtime_error("simulated write failure");
            });
            p.OK.click();
            jet::detail::writablePager(w().m_db->engine()).setFaultHook(nullptr);
            p.Cancel.click();
        };
        w().EditMenuPreferences_Click();
        if (w().m_lNameID != 201 || platform.messages.empty()) continue;  // the name itself was refused, or nothing was
        reached = true;
        for (int r = 1; r <= lastDataRow(); ++r)
            for (int d = 0; d < 7; ++d) {
                const int32_t id = w().id(durCol(d), r);
                if (id > 0) {
                    EXPECT_EQ(sample.at(id).nameId, 201) << "activity " << id << " shown for Brian";
                }
            }
    }
    EXPECT_TRUE(reached) << "no write after the name's was refused";
}

}  // namespace
