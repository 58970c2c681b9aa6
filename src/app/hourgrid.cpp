#include "app/hourgrid.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "about/help.h"
#include "app/backup.h"
#include "app/clock.h"

namespace app {

namespace {

constexpr const char* kPleaseOpen = "Please open a Timer file using Open from the File menu.";
constexpr const char* kCloseWithoutEntry =
    "The duration you typed has not been saved. Do you want to close Hourgrid without it?";
constexpr const char* kCloseInvalidWeek =
    "The entries of this week are already in the Timer file. Do you want to close Hourgrid anyway?";

// Integer value of a numeric or numeric-text field; nullopt for Null or text that is no number.
std::optional<int64_t> integerOf(const jet::Value& v) {
    if (v.isNull()) return std::nullopt;
    if (v.isNumeric()) return static_cast<int64_t>(std::nearbyint(v.toDouble()));
    if (v.isText()) {
        double d = toDouble(v.asText(), std::nan(""));
        if (std::isnan(d)) return std::nullopt;
        return static_cast<int64_t>(std::nearbyint(d));
    }
    return std::nullopt;
}

std::string textOf(const jet::Value& v) {
    if (v.isText()) return v.asText();
    if (v.isNumeric()) return decimalText(v.toDouble());
    return {};
}

}  // namespace

Hourgrid::Hourgrid(ui::Platform& platform, SettingsStore& settings) : platform_(platform), settings_(settings) {
    setCaption(kCaption);
    // Design size; Form_Load replaces it with the stored one.
    setWidth(11000);
    setHeight(5000);

    tbToolBar.name = "tbToolBar";
    Grid.name = "Grid";
    TimeEntry.name = "TimeEntry";
    CustJobCombo.name = "CustJobCombo";
    ServiceCombo.name = "ServiceCombo";
    ClassCombo.name = "ClassCombo";
    sbStatusBar.name = "sbStatusBar";

    tbToolBar.setHeight(360);
    Grid.move(60, 360, 10800, 3900);
    // The grid as designed, before any setting is read (ClearFlexGrid would store widths).
    Grid.setFormatString(kGridFormat);
    EditMenuSetDefaultColumnWidths_Click();
    resizeIds(2);

    TimeEntry.setVisible(false);
    for (auto* c : {&CustJobCombo, &ServiceCombo, &ClassCombo}) {
        c->sorted = true;
        c->setVisible(false);
        c->setHeight(315);
    }
    CustJobCombo.setToolTip("Select a Customer:Job");
    ServiceCombo.setToolTip("Select a Service Item");
    ClassCombo.setToolTip("Select a Class");
    sbStatusBar.setHeight(315);

    buildToolBar();
    buildStatusBar();
    buildMenus();

    Grid.onLeaveCell = [this] { Grid_LeaveCell(); };
    Grid.onMouseDown = [this](int b, int sh, double x, double y) { Grid_MouseDown(b, sh, x, y); };
    Grid.onMouseMove = [this](int b, int sh, double x, double y) { Grid_MouseMove(b, sh, x, y); };
    Grid.onKeyPress = [this](int& k) { Grid_KeyPress(k); };
    TimeEntry.onKeyPress = [this](int& k) { TimeEntry_KeyPress(k); };
    TimeEntry.onDblClick = [this] { TimeEntry_DblClick(); };
    tbToolBar.onButtonClick = [this](const std::string& key) { tbToolBar_ButtonClick(key); };
    sbStatusBar.onPanelClick = [this](const std::string& key) { sbStatusBar_PanelClick(key); };
}

Hourgrid::~Hourgrid() = default;

void Hourgrid::buildToolBar() {
    tbToolBar.buttons = {
        {"Open", "Open", 1},           {"Save", "Save", 2},
        {"", "", 0},                   {"Print", "Print", 3},
        {"", "", 0},                   {"AddRow", "Add Row", 4},
        {"", "", 0},                   {"BackMonth", "Back one month", 5},
        {"BackWeek", "Back one week", 6}, {"LastMonday", "Last Monday", 7},
        {"FwdWeek", "Forward one week", 8}, {"FwdMonth", "Forward one month", 9},
    };
}

void Hourgrid::buildStatusBar() {
    sbStatusBar.panels = {
        {"NameButton", "Name:", "Name of person doing the work (click to change)", true, true},
        {"NameField", "<None>", "Name of person doing the work", false, false},
        {"StartDateButton", "Start Date:", "Start Date (click to change)", true, true},
        {"StartDateField", "<None>", "Start Date", false, true},
    };
}

void Hourgrid::buildMenus() {
    auto item = [](std::string name, std::string caption, std::string shortcut, std::function<void()> f) {
        ui::MenuItem m;
        m.name = std::move(name);
        m.caption = std::move(caption);
        m.shortcut = std::move(shortcut);
        m.onClick = std::move(f);
        return m;
    };
    FileMenu = {"FileMenu", "&File", {}};
    FileMenu.items = {
        item("FileMenuOpen", "&Open", "", [this] { FileMenuOpen_Click(); }),
        item("FileMenuSave", "&Save", "", [this] { FileMenuSave_Click(); }),
        item("FileMenuPrint", "&Print", "", [this] { FileMenuPrint_Click(); }),
        item("FileMenuExit", "&Exit", "", [this] { FileMenuExit_Click(); }),
    };
    EditMenu = {"EditMenu", "&Edit", {}};
    EditMenu.items = {
        item("EditMenuPreferences", "P&references", "", [this] { EditMenuPreferences_Click(); }),
        item("EditMenuStartDate", "Start &Date", "", [this] { EditMenuStartDate_Click(); }),
        item("EditMenuAddRow", "&Add Row", "", [this] { EditMenuAddRow_Click(); }),
        item("EditMenuClear", "&Clear", "", [this] { EditMenuClear_Click(); }),
        item("EditMenuSetDefaultColumnWidths", "Set Column &Widths to Default", "",
             [this] { EditMenuSetDefaultColumnWidths_Click(); }),
        item("EditMenuFont", "&Font", "", [this] { EditMenuFont_Click(); }),
    };
    ViewMenu = {"ViewMenu", "&View", {}};
    ViewMenu.items = {
        item("ViewMenuBackMonth", "Back one &month", "Ctrl+M", [this] { ViewMenuBackMonth_Click(); }),
        item("ViewMenuBackWeek", "Back one &week", "Ctrl+W", [this] { ViewMenuBackWeek_Click(); }),
        item("ViewMenuLastMonday", "&Last Monday", "Ctrl+L", [this] { ViewMenuLastMonday_Click(); }),
        item("ViewMenuForwardWeek", "Forward one wee&k", "Ctrl+K", [this] { ViewMenuForwardWeek_Click(); }),
        item("ViewMenuForwardMonth", "Forward one mont&h", "Ctrl+H", [this] { ViewMenuForwardMonth_Click(); }),
    };
    HelpMenu = {"HelpMenu", "&Help", {}};
    HelpMenu.items = {
        item("HelpMenuHelp", "Hourgrid for QuickBooks Pro &Help Topics", "", [this] { HelpMenuHelp_Click(); }),
        item("HelpMenuAbout", "&About", "", [this] { HelpMenuAbout_Click(); }),
    };
}

ui::MenuItem* Hourgrid::menuItem(const std::string& name) {
    for (ui::Menu* m : menus())
        for (auto& i : m->items)
            if (i.name == name) return &i;
    return nullptr;
}

// ---- Start-up, layout, shut-down ----

void Hourgrid::Form_Load() {
    CustJobCombo.droppedWidthPixels = 400;
    ServiceCombo.droppedWidthPixels = 300;
    ClassCombo.droppedWidthPixels = 200;

    // The program's help is an HTML manual shipped with it, opened at its contents page.
    helpFile = findHelpFile();

    setWidth(toDouble(settings_.get("FormWidth", "11000"), 11000));
    setHeight(toDouble(settings_.get("FormHeight", "5000"), 5000));
    int state = toInt(settings_.get("WindowState", "0"), 0);
    setWindowState(state >= 0 && state <= 2 ? static_cast<ui::WindowState>(state) : ui::WindowState::Normal);

    ui::Font f = Grid.font();
    f.name = settings_.get("GridFontName", "");
    f.bold = toBool(settings_.get("GridFontBold", "False"), false);
    f.italic = toBool(settings_.get("GridFontItalic", "False"), false);
    double size = toDouble(settings_.get("GridFontSize", "8"), 8);
    f.size = size > 0 ? size : 8;
    Grid.setFont(f);

    LoadColumnWidths();

    platform_.show(*this);

    m_strTimerFile = settings_.get("File", "");
    while (m_strTimerFile.empty()) {
        if (platform_.messageBox("No Timer file is open. Do you want to browse for a Timer file?", ui::Buttons::YesNo,
                                 ui::Icon::None, kTitle) == ui::Answer::Yes) {
            BrowseTimerFile();
        } else {
            endProgram();
            return;
        }
    }

    resizeIds(2);

    if (!OpenTimerFile()) return;

    sbStatusBar.setPanelText(4, MondayOf(Clock::today()).toString("MM/dd/yyyy").toStdString());
    SetMonday(sbStatusBar.panelText(4));
    bool saved = m_bNoLeaveCell;
    m_bNoLeaveCell = true;
    Grid.setRow(1);
    Grid.setCol(3);
    m_bNoLeaveCell = saved;
    keyPreview = true;
}

void Hourgrid::Form_Resize() {
    double w = scaleWidth() - 120;
    if (w < 0) w = 180;
    Grid.setWidth(w);
    double h = scaleHeight() - sbStatusBar.height() - Grid.top() - 60;
    if (h < 0) h = 180;
    Grid.setHeight(h);
    Grid.refresh();
}

void Hourgrid::Form_QueryUnload(bool& cancel, int) {
    if (!m_bDbOpen) return;
    // The close box commits a pending entry as File > Exit does; what cannot be kept is
    // given up only when the user says so.
    if (!CommitPendingEntry()) {
        if (!closeWithoutEntry()) {
            cancel = true;
            return;
        }
    }
    if (!ValidateGrid() && !closeInvalidWeek()) cancel = true;
}

bool Hourgrid::closeWithoutEntry() {
    if (platform_.messageBox(kCloseWithoutEntry, ui::Buttons::YesNo, ui::Icon::None, kTitle) != ui::Answer::Yes) {
        TimeEntry.setFocus();
        return false;
    }
    // The cell keeps what the file holds.
    HideCellEditors(false);
    return true;
}

bool Hourgrid::closeInvalidWeek() {
    return platform_.messageBox(kCloseInvalidWeek, ui::Buttons::YesNo, ui::Icon::None, kTitle) == ui::Answer::Yes;
}

void Hourgrid::Form_Unload(bool& cancel) {
    if (!m_strTimerFile.empty()) settings_.set("File", m_strTimerFile);
    SaveColumnWidths();
    double w = std::nearbyint(width());
    if (w < 5000) w = 5000;
    double h = std::nearbyint(height());
    if (h < 3000) h = 3000;
    settings_.set("FormWidth", decimalText(w));
    settings_.set("FormHeight", decimalText(h));
    int state = windowState() == ui::WindowState::Minimized ? 0 : static_cast<int>(windowState());
    settings_.set("WindowState", std::to_string(state));
    const ui::Font& f = Grid.font();
    settings_.set("GridFontName", f.name);
    settings_.set("GridFontBold", f.bold ? "True" : "False");
    settings_.set("GridFontItalic", f.italic ? "True" : "False");
    settings_.set("GridFontSize", decimalText(f.size));
    settings_.flush();
    endProgram();
}

bool Hourgrid::Unload(int unloadMode) {
    if (ended_) return true;
    bool cancel = false;
    Form_QueryUnload(cancel, unloadMode);
    if (cancel) return false;
    Form_Unload(cancel);
    return true;
}

void Hourgrid::endProgram() {
    ended_ = true;
    // The database is released here so that the file is free as soon as the program ends.
    m_db.reset();
    platform_.endProgram();
}

void Hourgrid::Form_KeyDown(int& keyCode, int shift) {
    if (!(shift & ui::kCtrlMask)) return;
    switch (keyCode) {
    case 77: ViewMenuBackMonth_Click(); break;
    case 87: ViewMenuBackWeek_Click(); break;
    case 76: ViewMenuLastMonday_Click(); break;
    case 75: ViewMenuForwardWeek_Click(); break;
    case 72: ViewMenuForwardMonth_Click(); break;
    default: return;
    }
    keyCode = 0;
}

void Hourgrid::tbToolBar_ButtonClick(const std::string& key) {
    if (key == "Open") FileMenuOpen_Click();
    else if (key == "Save") FileMenuSave_Click();
    else if (key == "AddRow") EditMenuAddRow_Click();
    else if (key == "Print") FileMenuPrint_Click();
    else if (key == "BackMonth") ViewMenuBackMonth_Click();
    else if (key == "BackWeek") ViewMenuBackWeek_Click();
    else if (key == "FwdWeek") ViewMenuForwardWeek_Click();
    else if (key == "FwdMonth") ViewMenuForwardMonth_Click();
    else if (key == "LastMonday") ViewMenuLastMonday_Click();
}

void Hourgrid::sbStatusBar_PanelClick(const std::string& key) {
    if (key == "NameButton") {
        if (!CommitPendingEntry() || !ValidateGrid()) return;
        ShowPrefs(true);
        Grid_LeaveCell();
    } else if (key == "StartDateButton") {
        if (!CommitPendingEntry() || !ValidateGrid()) return;
        ShowDateDialog();
    }
}

// ---- Commands ----

void Hourgrid::FileMenuSave_Click() {
    if (CommitPendingEntry()) SaveGrid();
}

void Hourgrid::FileMenuExit_Click() { ExitProgram(); }

void Hourgrid::ExitProgram() {
    if (!m_bDbOpen) {
        Unload(1);
        return;
    }
    if (!CommitPendingEntry() && !closeWithoutEntry()) return;
    if (!ValidateGrid()) {
        // Its entries are in the file already; the user may leave the week as it is.
        if (!closeInvalidWeek()) return;
        bool cancel = false;
        Form_Unload(cancel);
        return;
    }
    HideCellEditors(false);
    // The week the file refused (the save has said that nothing was saved) would be lost
    // with the window; it stays open so that the user can save again or close it knowingly.
    if (!SaveGrid()) return;
    Unload(1);
}

void Hourgrid::EditMenuSetDefaultColumnWidths_Click() {
    Grid.setColWidth(0, 1500);
    Grid.setColWidth(1, 1200);
    Grid.setColWidth(2, 1100);
    for (int c = 3; c <= 21; c += 3) {
        Grid.setColWidth(c, 500);
        Grid.setColWidth(c + 1, 200);
        Grid.setColWidth(c + 2, 200);
    }
}

void Hourgrid::ViewMenuBackMonth_Click() { ChangeWeek(-28); }
void Hourgrid::ViewMenuBackWeek_Click() { ChangeWeek(-7); }
void Hourgrid::ViewMenuForwardWeek_Click() { ChangeWeek(7); }
void Hourgrid::ViewMenuForwardMonth_Click() { ChangeWeek(28); }

void Hourgrid::HelpMenuHelp_Click() {
    if (helpFile.empty()) helpFile = findHelpFile();
    platform_.showHelpContents(helpFile);
}

// ---- Timer file ----

void Hourgrid::BrowseTimerFile() {
    ui::OpenFileRequest req;
    req.flags = 4;
    req.filter = std::string("All Files (*.*)|*.*|Timer Files") + "(*.tdb)|*.tdb";
    req.filterIndex = 2;
    std::optional<std::string> chosen;
    try {
        chosen = platform_.showOpen(req);
    } catch (...) {
        return;
    }
    if (chosen) m_strTimerFile = *chosen;
}

bool Hourgrid::OpenTimerFile() {
    m_lNameID = -1;
    m_bDbOpen = false;

    // The file still held after a later open failed may be the one asked for: it is
    // released and opened afresh, not refused as held by another program.
    if (m_db) {
        std::error_code ec;
        if (std::filesystem::equivalent(m_db->path(), m_strTimerFile, ec)) m_db.reset();
    }
    // A refused file is not shown, so no file is: the one shown before (already cleared
    // from the window) is released and the caption names none.
    auto refuse = [this](const std::string& message) {
        m_bDbOpen = false;
        m_lNameID = -1;
        m_db.reset();
        setCaption(kCaption);
        platform_.messageBox(message + "\r" + kPleaseOpen, ui::Buttons::OK, ui::Icon::None, kTitle);
        return false;
    };
    std::shared_ptr<timerdb::Database> db;
    try {
        db = timerdb::Database::OpenDatabase(m_strTimerFile);
    } catch (const std::exception& e) {
        return refuse(timerdb::describe(e));
    }
    // A Jet file without the Timer's tables and queries would fail on every command.
    std::string missing = timerdb::firstMissingObject(*db);
    if (!missing.empty()) return refuse("'" + m_strTimerFile + "' is not a Timer file: it has no " + missing + ".");
    db->setClock(&Clock::nowDays);
    // Before anything below changes the file (the saved queries are written at once).
    if (!backup_) backup_ = std::make_shared<DailyBackup>(platform_, settings_);
    db->setBeforeWrite([backup = backup_](timerdb::Database& d) { backup->beforeWrite(d); });
    m_db = db;
    m_bDbOpen = true;
    setCaption(std::string(kCaption) + " - " + m_strTimerFile);

    // The lists are read before anything is written: a damaged list or index refuses the
    // file (rather than ending the program), and a refused file keeps every byte.
    try {
        LoadPreferences();
        LoadCustomerJobs();
        LoadServiceItems();
        LoadClasses();
    } catch (const std::exception& e) {
        return refuse(timerdb::describe(e));
    }

    using namespace timerdb::names;
    try { m_db->DeleteQueryDef(kQueryByDateRange); } catch (const std::exception&) {}
    try { m_db->CreateQueryDef(kQueryByDateRange, timerdb::kSqlByDateRange); } catch (const std::exception&) {}
    try { m_db->DeleteQueryDef(kQueryRecent); } catch (const std::exception&) {}
    try { m_db->CreateQueryDef(kQueryRecent, timerdb::kSqlRecent); } catch (const std::exception&) {}

    m_bNoLeaveCell = false;

    const std::string printer = platform_.defaultPrinterName();
    tbToolBar.setButtonToolTip("Print", printer.empty() ? "Print (no printer is installed: saves a PDF file)"
                                                        : "Prints to: " + printer);
    return true;
}

void Hourgrid::FileMenuOpen_Click() {
    if (!CommitPendingEntry()) return;
    if (!ValidateGrid() && m_bDbOpen) return;
    std::string old = m_strTimerFile;
    BrowseTimerFile();
    if (m_strTimerFile == old) return;
    // A week the file refused (the save has said so) stays on screen with its file, as a
    // week move keeps it: clearing it would lose what never reached the file.
    if (!SaveGrid() && m_bDbOpen) {
        m_strTimerFile = old;
        return;
    }
    Grid.clear();
    // The emptied grid names no activity of the former file, whether or not the new one opens.
    resizeIds(Grid.rows());
    sbStatusBar.setPanelText(2, "*Please select a Name*");
    if (OpenTimerFile()) {
        // No week was shown yet when every earlier open failed: show this week, as start-up does.
        if (sbStatusBar.panelText(4) == "<None>")
            sbStatusBar.setPanelText(4, MondayOf(Clock::today()).toString("MM/dd/yyyy").toStdString());
        SetMonday(sbStatusBar.panelText(4));
        keyPreview = true;
    }
}

// ---- Reference lists and current person ----

void Hourgrid::LoadPreferences() {
    m_lNameID = -1;
    auto prefs = m_db->OpenDynaset(timerdb::names::kPrefsStartup);
    if (prefs->Bof()) {
        m_recentDays = 30;
        m_bBillable = true;
        prefs->Close();
        return;
    }
    prefs->MoveFirst();
    auto days = integerOf(prefs->Field("RecentDays"));
    m_recentDays = days && *days >= INT16_MIN && *days <= INT16_MAX ? static_cast<int16_t>(*days) : 30;
    auto billable = integerOf(prefs->Field("Billable"));
    m_bBillable = billable ? *billable != 0 : true;

    jet::Value name = prefs->Field("DefaultName");
    if (name.isNull()) {
        platform_.messageBox("Please select a Name by clicking the Name button or choose Preferences from the Edit menu.",
                             ui::Buttons::OK, ui::Icon::None, kTitle);
        prefs->Close();
        return;
    }
    sbStatusBar.setPanelText(2, textOf(name));

    auto names = m_db->OpenTable(timerdb::names::kNames);
    if (names->Bof()) {
        platform_.messageBox(
            "There are no names for which to track time. Please use the QuickBooks timer to import lists to this Timer file.",
            ui::Buttons::OK, ui::Icon::None, kTitle);
        return;
    }
    names->SetIndex("NameStr");
    names->Seek("=", {jet::Value::text(textOf(name))});
    if (names->NoMatch()) {
        platform_.messageBox(
            "Fatal error searching for Name ID. Please use the QuickBooks timer to re-import lists to this Timer file.",
            ui::Buttons::OK, ui::Icon::None, kTitle);
        return;
    }
    auto id = integerOf(names->Field("ID"));
    m_lNameID = id ? static_cast<int32_t>(*id) : -1;
    names->Close();
    prefs->Close();
}

void Hourgrid::loadList(ui::ComboBox& combo, timerdb::Recordset& rs, const char* textField, const char* idField) {
    if (rs.Bof()) return;
    rs.MoveFirst();
    while (!rs.Eof()) {
        jet::Value text = rs.Field(textField);
        if (!text.isNull()) {
            int idx = combo.addItem(textOf(text));
            combo.setItemData(idx, static_cast<int32_t>(integerOf(rs.Field(idField)).value_or(0)));
        }
        rs.MoveNext();
    }
    rs.Close();
}

void Hourgrid::LoadCustomerJobs() {
    CustJobCombo.clear();
    auto rs = m_db->QueryDefs(timerdb::names::kCustomerJobs).OpenRecordset();
    loadList(CustJobCombo, *rs, "NameStr", "Name ID");
}

void Hourgrid::LoadServiceItems() {
    ServiceCombo.clear();
    auto rs = m_db->QueryDefs(timerdb::names::kServiceItems).OpenRecordset();
    loadList(ServiceCombo, *rs, "Name", "Item ID");
}

void Hourgrid::LoadClasses() {
    ClassCombo.clear();
    auto rs = m_db->OpenTable(timerdb::names::kClasses);
    loadList(ClassCombo, *rs, "Name", "ID");
}

}  // namespace app
