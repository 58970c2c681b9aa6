// A duration still being typed when a dialog that rebuilds the week is used:
// whatever happens to the typed text, it must never land on another activity.
#include "grid_driver.h"
#include "prefs/prefs.h"
#include "week/date_dialog.h"

namespace {

class DialogOverEdit : public GridFixture {
protected:
    // Types "2" on Tuesday of the empty row, without committing it.
    void typePending() {
        emptyRow = lastDataRow();
        ASSERT_EQ(cell(emptyRow, 0), "");
        click(emptyRow, durCol(1));
        ASSERT_TRUE(w().TimeEntry.visible());
        type("2");
    }
    // After the dialog: the user presses Enter in whatever is left of the editor.
    void pressEnterAndCheck(const std::map<int32_t, StoredActivity>& before) {
        if (w().TimeEntry.visible()) editorEnter();
        auto after = closeAndRead();
        for (const auto& [id, a] : before) {
            ASSERT_TRUE(after.count(id)) << "activity " << id << " was deleted";
            EXPECT_EQ(after.at(id).minutes, a.minutes) << "activity " << id;
            EXPECT_EQ(after.at(id).userDate, a.userDate) << "activity " << id;
            EXPECT_EQ(after.at(id).custJob, a.custJob) << "activity " << id;
        }
    }
    int emptyRow = 0;
};

TEST_F(DialogOverEdit, PreferencesOkFromTheNameButtonLeavesOtherActivitiesAlone) {
    auto before = readActivities(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    openTimer();
    typePending();
    platform.onModal = [](ui::Form& f) { dynamic_cast<app::Prefs&>(f).OK.click(); };
    w().sbStatusBar_PanelClick("NameButton");
    pressEnterAndCheck(before);
}

TEST_F(DialogOverEdit, PreferencesOkFromTheMenuLeavesOtherActivitiesAlone) {
    auto before = readActivities(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    openTimer();
    typePending();
    platform.onModal = [](ui::Form& f) { dynamic_cast<app::Prefs&>(f).OK.click(); };
    w().EditMenuPreferences_Click();
    pressEnterAndCheck(before);
}

}  // namespace

namespace {

TEST_F(DialogOverEdit, ThePendingDurationGoesToItsOwnCellBeforeThePreferences) {
    openTimer();
    typePending();
    platform.onModal = [](ui::Form& f) { dynamic_cast<app::Prefs&>(f).Cancel.click(); };
    w().EditMenuPreferences_Click();
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(cell(emptyRow, durCol(1)), "02:00");
    EXPECT_GT(w().id(durCol(1), emptyRow), 0);
}

TEST_F(DialogOverEdit, AnUnparseablePendingDurationKeepsTheEditorAndShowsNoDialog) {
    openTimer();
    typePending();
    type("x");
    size_t shown = platform.modalForms.size();
    w().EditMenuPreferences_Click();
    EXPECT_EQ(platform.modalForms.size(), shown);
    EXPECT_TRUE(w().TimeEntry.visible());
    EXPECT_EQ(messageTexts().back(), kBadTime);
}

}  // namespace

namespace {

TEST_F(DialogOverEdit, TheStartDateDialogLeavesOtherActivitiesAlone) {
    auto before = readActivities(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    openTimer();
    typePending();
    platform.onModal = [](ui::Form& f) {
        auto& d = dynamic_cast<app::DateDialog&>(f);
        d.StartDate.userEdited("11/30/2026");
        d.OK.click();
    };
    w().sbStatusBar_PanelClick("StartDateButton");
    pressEnterAndCheck(before);
}

}  // namespace
