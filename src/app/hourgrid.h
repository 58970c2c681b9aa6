// The main window's logic: start-up and shut-down, layout, menus, toolbar,
// keyboard shortcuts and status bar, the Timer file and its reference lists.
#pragma once

#include <QDate>
#include <QTime>
#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "timerdb/timerdb.h"
#include "ui/controls.h"
#include "ui/flexgrid.h"
#include "ui/form.h"
#include "ui/platform.h"

namespace app {

class DailyBackup;
class DateDialog;
class Prefs;
class Detail;

inline constexpr const char* kTitle = "Hourgrid";
inline constexpr const char* kCaption = "Hourgrid for QuickBooks Pro \xC2\xAE";  // ®
inline constexpr const char* kHelpFile = "Hourgrid for QuickBooks Pro.HLP";
inline constexpr const char* kGridFormat =
    "<Customer:Job|<Service Item|<Class|< |<B|<N|< |<B|<N|< |<B|<N|< |<B|<N|< |<B|<N|< |<B|<N|< |<B|<N|<Totals";

class Hourgrid : public ui::Form {
    friend struct HourgridTestAccess;  // defined by the tests, to reach private routines

public:
    Hourgrid(ui::Platform& platform, SettingsStore& settings);
    ~Hourgrid() override;

    // ---- Public state read and written by the dialogs ----
    std::shared_ptr<timerdb::Database> m_db;
    bool m_bDbOpen = false;
    int16_t m_recentDays = 30;
    bool m_bBillable = true;
    int32_t m_lNameID = -1;

    // ---- Controls ----
    ui::ToolBar tbToolBar;
    ui::FlexGrid Grid;
    ui::TextBox TimeEntry;
    ui::ComboBox CustJobCombo;
    ui::ComboBox ServiceCombo;
    ui::ComboBox ClassCombo;
    ui::StatusBar sbStatusBar;
    ui::Menu FileMenu, EditMenu, ViewMenu, HelpMenu;
    std::vector<ui::Menu*> menus() { return {&FileMenu, &EditMenu, &ViewMenu, &HelpMenu}; }
    ui::MenuItem* menuItem(const std::string& name);  // by item name, e.g. "FileMenuOpen"
    std::string helpFile;                             // the program's help file, set at load

    // ---- Form events ----
    void Form_Load() override;
    void Form_Resize() override;
    void Form_QueryUnload(bool& cancel, int unloadMode) override;
    void Form_Unload(bool& cancel) override;
    void Form_KeyDown(int& keyCode, int shift) override;
    void tbToolBar_ButtonClick(const std::string& key);
    void sbStatusBar_PanelClick(const std::string& key);

    // Unloads the window as the platform would for a close: QueryUnload, then
    // Unload unless cancelled. Returns false when the close was refused.
    bool Unload(int unloadMode = 1);
    // True once the program has ended (Form_Unload ran, or start-up was declined).
    bool ended() const { return ended_; }

    // ---- Menu commands ----
    void FileMenuOpen_Click();
    void FileMenuSave_Click();
    void FileMenuPrint_Click();
    void FileMenuExit_Click();
    void EditMenuPreferences_Click();
    void EditMenuStartDate_Click();
    void EditMenuAddRow_Click();
    void EditMenuClear_Click();
    void EditMenuSetDefaultColumnWidths_Click();
    void EditMenuFont_Click();
    void ViewMenuBackMonth_Click();
    void ViewMenuBackWeek_Click();
    void ViewMenuLastMonday_Click();
    void ViewMenuForwardWeek_Click();
    void ViewMenuForwardMonth_Click();
    void HelpMenuHelp_Click();
    void HelpMenuAbout_Click();
    // The preferences dialog, one instance kept hidden between uses (src/prefs).
    Prefs& prefsForm();

    // ---- Timer file ----
    const std::string& timerFile() const { return m_strTimerFile; }
    void BrowseTimerFile();
    bool OpenTimerFile();

    // ---- Week grid (src/week) ----
    void SetMonday(const std::string& strMonday);
    bool ValidateGrid();
    bool SaveGrid();
    void HideCellEditors(bool bVisible);
    void ClearFlexGrid();
    void LoadColumnWidths();
    void SaveColumnWidths();
    void ShowDurationColumn(int16_t nCol, bool bShow);
    void PopulateFlexGrid();
    void UpdateTotals();
    static QDate MondayOf(const QDate& d);
    // h:mm, decimal hours or whole minutes above 12; trims `text` in place.
    // False (after its message) when the text is no duration.
    bool ParseDuration(std::string& text, QTime& value);
    // The same for a duration of day dtDay, which a refusal of 24 hours or more names.
    bool ParseDuration(std::string& text, QTime& value, const QDate& dtDay);
    static void AddDurationText(int16_t& hours, int16_t& minutes, const std::string& text);
    const std::array<QDate, 8>& days() const { return m_days; }
    int32_t id(int col, int row) const;  // m_ids(col, row)
    bool noLeaveCell() const { return m_bNoLeaveCell; }
    bool commitOK() const { return m_bCommitOK; }

    // ---- Grid editing (src/editing) ----
    void Grid_LeaveCell();
    // Every command that changes the cell, week, file, font, person or window first
    // commits the pending entry here, into the cell it was typed in. False when the
    // text was refused (after its message): the editor keeps it, over its cell, with
    // the focus, and the command must not go on.
    bool CommitPendingEntry();
    void Grid_MouseDown(int button, int shift, double x, double y);
    void Grid_MouseMove(int button, int shift, double x, double y);
    void Grid_KeyPress(int& keyAscii);
    void TimeEntry_KeyPress(int& keyAscii);
    void TimeEntry_DblClick();
    void AddGridRow();
    // The "Activity Detail" dialog, one instance kept hidden between uses (src/editing/detail.cpp).
    Detail& detailForm();

    // The start-date dialog, one instance kept between showings (src/week/date_dialog.cpp).
    DateDialog& dateDialogForm();

private:
    void ExitProgram();
    // Questions of a close that cannot keep everything; true when the user closes anyway.
    bool closeWithoutEntry();
    bool closeInvalidWeek();
    void LoadPreferences();
    void LoadCustomerJobs();
    void LoadServiceItems();
    void LoadClasses();
    void loadList(ui::ComboBox& combo, timerdb::Recordset& rs, const char* textField, const char* idField);
    bool CheckStartDate();
    void ChangeWeek(int days);
    void ShowDateDialog();                    // src/week/date_dialog.cpp
    void ShowPrefs(bool nameTab);             // src/prefs
    // Week filling (src/week/populate.cpp)
    void FillRowHeading(int16_t row, timerdb::Recordset& rs);
    void FillDayCell(int16_t row, int16_t col, timerdb::Recordset& rs);
    // Validation and saving (src/week/save.cpp)
    bool ValidateCell(int16_t nRow, const std::string& strText, const QDate& dtDay, int32_t lID);
    void WriteActivity(int16_t nRow, timerdb::Recordset& rs, const std::string& strText, const QDate& dtDay,
                       int32_t& lID);
    void SaveCurrentCell();
    int32_t& idRef(int col, int row);  // m_ids(col, row), growing with the grid
    // Editing (src/editing)
    void ShowTimeEntry();
    void PrepareCellEditors();
    void ShowComboAtCell(ui::ComboBox& combo);
    void CommitRowCombo(int16_t nCol, ui::ComboBox& combo);
    void WriteRowReference(int16_t nCol, int16_t nRow);
    bool CheckExported(int16_t nRow, int16_t nCol);
    void BCellAction();  // click on a "B" cell, which is current (src/editing/markers.cpp)
    void NCellAction();  // click on an "N" cell, which is current (src/editing/markers.cpp)
    // The B or N cell's day activity (`offset` columns to the left), after the
    // exported guard: `change` edits its record, then the cell is redrawn from it.
    void changeMarker(int offset, const std::function<void(timerdb::Recordset&)>& change);
    // Click on a heading cell, which is current: offers to unexport the row's exported
    // activities; false when the user cancelled (src/editing/references.cpp).
    bool HeadingCellCheck();
    void resizeIds(int rows);
    void growIds(int rows);  // m_ids covers `rows` rows, existing values kept (src/week/week.cpp)
    void endProgram();
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();

    ui::Platform& platform_;
    SettingsStore& settings_;
    std::string m_strTimerFile;
    std::vector<std::vector<int32_t>> m_ids;  // [col][row]
    std::array<QDate, 8> m_days{};
    bool m_bNoLeaveCell = false;
    bool m_bCommitOK = true;
    // The cell the grid last left and the cell under the mouse then, so that a click
    // that must change nothing can put the current cell back (src/editing/editing.cpp).
    int m_leftRow = -1, m_leftCol = -1, m_leftForRow = -1, m_leftForCol = -1;
    // The cell the duration editor was opened over: its text belongs there and nowhere else.
    int m_entryRow = -1, m_entryCol = -1;
    bool ended_ = false;
    std::shared_ptr<DateDialog> dateDialog_;  // created on first use, hidden not destroyed
    std::shared_ptr<Prefs> prefs_;            // created on first use, hidden not destroyed
    std::shared_ptr<Detail> detail_;          // created on first use, hidden not destroyed
    std::shared_ptr<DailyBackup> backup_;     // created with the first Timer file opened
};

}  // namespace app
