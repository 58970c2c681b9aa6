// The preferences dialog: the recent-activity window, the person whose time is
// shown, the billable default (all three kept in the Timer file's "Prefs -
// Startup" record) and the visibility of the B and N columns (kept as grid
// column widths).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "timerdb/timerdb.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/platform.h"

namespace app {

class Hourgrid;

class Prefs : public ui::Form {
public:
    Prefs(Hourgrid& main, ui::Platform& platform);

    ui::TabStrip TabStrip1;
    ui::Frame RecentFrame;
    ui::TextBox RecentDays;
    ui::Label Label1;
    ui::Frame NameFrame;
    ui::ComboBox NameCombo;
    ui::Frame BillableFrame;
    ui::CheckBox Billable;
    ui::Frame ColumnsFrame;
    ui::CheckBox NoteColumn;
    ui::CheckBox BillableColumn;
    ui::Button OK;
    ui::Button Cancel;

    void Form_Load() override;
    void Form_Activate() override;
    // A close through the title bar is a Cancel; the dialog stays loaded.
    void Form_QueryUnload(bool& cancel, int unloadMode) override;
    void TabStrip1_Click();
    void OK_Click();
    void Cancel_Click();

    // Runs Form_Load unless it ran already: selecting a tab before the first
    // showing loads the dialog first, so the selection survives the showing.
    void ensureLoaded();

    std::vector<ui::Control*> controls() override;

private:
    void LoadNames();
    void showFrame(ui::Frame* frame);
    void closePrefs();

    Hourgrid& main_;
    ui::Platform& platform_;
    bool loadedOnce_ = false;
    std::unique_ptr<timerdb::Recordset> rsPrefs;  // open from activation until OK succeeds or Cancel
};

}  // namespace app
