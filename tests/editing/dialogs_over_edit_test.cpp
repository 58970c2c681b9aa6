// A duration still being typed when a dialog that rebuilds the week is used:
// whatever happens to the typed text, it must never land on another activity.
#include <functional>

#include "grid_driver.h"
#include "prefs/prefs.h"
#include "week/date_dialog.h"

namespace {

class DialogOverEdit : public GridFixture {
protected:
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
};

// Preferences OK (from the Name button or the menu) and the start-date dialog.
TEST_F(DialogOverEdit, DialogsThatRebuildTheWeekLeaveOtherActivitiesAlone) {
    const std::pair<const char*, std::function<void(app::Hourgrid&)>> ways[] = {
        {"Name button", [](app::Hourgrid& h) { h.sbStatusBar_PanelClick("NameButton"); }},
        {"Preferences menu", [](app::Hourgrid& h) { h.EditMenuPreferences_Click(); }},
        {"start date", [](app::Hourgrid& h) { h.sbStatusBar_PanelClick("StartDateButton"); }},
    };
    const auto before = sampleActivities();
    for (const auto& [what, open] : ways) {
        SCOPED_TRACE(what);
        openTimer();
        typePending();
        platform.onModal = [](ui::Form& f) {
            if (auto* p = dynamic_cast<app::Prefs*>(&f)) return p->OK.click();
            auto& d = dynamic_cast<app::DateDialog&>(f);
            d.StartDate.userEdited("11/30/2026");
            d.OK.click();
        };
        open(w());
        pressEnterAndCheck(before);
    }
}

TEST_F(DialogOverEdit, ThePendingDurationGoesToItsOwnCellBeforeThePreferences) {
    openTimer();
    typePending();
    platform.onModal = [](ui::Form& f) { dynamic_cast<app::Prefs&>(f).Cancel.click(); };
    w().EditMenuPreferences_Click();
    EXPECT_FALSE(w().TimeEntry.visible());
    EXPECT_EQ(cell(pendingRow, durCol(1)), "02:00");
    EXPECT_GT(w().id(durCol(1), pendingRow), 0);
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
