// The preferences dialog.
#include "prefs/prefs.h"

#include <QString>
#include <cmath>

#include "app/hourgrid.h"

namespace app {

namespace {

constexpr const char* kNoFile = "No Timer file is open";
constexpr const char* kNoPrefs = "Could not open your preferences.";
constexpr const char* kSelectName = "Please select a name.";
constexpr const char* kBadDays = "Incorrect input. Enter a number from 0 to 3650.";

// A whole number as the user would type it ("30"); other numbers as decimals.
std::string numberText(const jet::Value& v) {
    if (v.isText()) return v.asText();
    double d = v.toDouble();
    if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
        return std::to_string(static_cast<long long>(d));
    return decimalText(d);
}

// The typed number of days rounded half to even, or nothing when the text is no
// number in 0..3650.
std::optional<int16_t> recentDaysOf(const std::string& text) {
    bool ok = false;
    double d = QString::fromStdString(text).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d)) return std::nullopt;
    double n = std::nearbyint(d);
    if (n < 0 || n > 3650) return std::nullopt;
    return static_cast<int16_t>(n);
}

}  // namespace

Prefs::Prefs(Hourgrid& main, ui::Platform& platform) : main_(main), platform_(platform) {
    setCaption("Preferences");
    setWidth(5580);
    setHeight(3780);

    TabStrip1.name = "TabStrip1";
    TabStrip1.tabs = {
        {"Recent", "Recent Activities", "Number of days to remember activities"},
        {"Name", "Name", "Name of person tracking time"},
        {"Billable", "Billable Time", "Billable Time"},
        {"Columns", "Columns", "Choose which columns to show or hide"},
    };
    TabStrip1.move(120, 120, 5220, 2580);
    TabStrip1.onClick = [this] { TabStrip1_Click(); };

    // The four frames lie on top of each other inside the tab strip.
    struct {
        ui::Frame* frame;
        const char* name;
        const char* caption;
    } frames[] = {
        {&RecentFrame, "RecentFrame", "Number of days to remember activities"},
        {&NameFrame, "NameFrame", "Name of person tracking time"},
        {&BillableFrame, "BillableFrame", "Billable time"},
        {&ColumnsFrame, "ColumnsFrame", "Columns to show or hide"},
    };
    for (auto& f : frames) {
        f.frame->name = f.name;
        f.frame->setCaption(f.caption);
        f.frame->move(240, 540, 4980, 2040);
    }

    RecentDays.name = "RecentDays";
    RecentDays.maxLength = 4;
    RecentDays.setToolTip("Enter 0-3650");
    RecentDays.move(480, 900, 735, 315);
    Label1.name = "Label1";
    Label1.setCaption(
        "This is how far back the program will go to populate empty rows with previously used combinations of "
        "customer:job, service item and class.");
    Label1.move(480, 1380, 4500, 975);

    NameCombo.name = "NameCombo";
    NameCombo.sorted = false;
    NameCombo.setToolTip("Select your name here");
    NameCombo.move(480, 900, 4500, 315);

    Billable.name = "Billable";
    Billable.setCaption("Time defaults to Billable");
    Billable.move(480, 900, 4500, 315);

    NoteColumn.name = "NoteColumn";
    NoteColumn.setCaption("Note");
    NoteColumn.move(480, 900, 2400, 315);
    BillableColumn.name = "BillableColumn";
    BillableColumn.setCaption("Billable");
    BillableColumn.move(480, 1320, 2400, 315);

    OK.name = "OK";
    OK.setCaption("OK");
    OK.isDefault = true;
    OK.move(2820, 2820, 1155, 375);
    OK.onClick = [this] { OK_Click(); };
    Cancel.name = "Cancel";
    Cancel.setCaption("Cancel");
    Cancel.isCancel = true;
    Cancel.move(4140, 2820, 1155, 375);
    Cancel.onClick = [this] { Cancel_Click(); };

    showFrame(&RecentFrame);
}

std::vector<ui::Control*> Prefs::controls() {
    return {&TabStrip1,   &RecentFrame, &RecentDays, &Label1,     &NameFrame,      &NameCombo, &BillableFrame,
            &Billable,    &ColumnsFrame, &NoteColumn, &BillableColumn, &OK,        &Cancel};
}

// A view draws every visible control, so a frame's contents are switched with it.
void Prefs::showFrame(ui::Frame* frame) {
    struct {
        ui::Frame* frame;
        std::vector<ui::Control*> contents;
    } groups[] = {
        {&RecentFrame, {&RecentDays, &Label1}},
        {&NameFrame, {&NameCombo}},
        {&BillableFrame, {&Billable}},
        {&ColumnsFrame, {&NoteColumn, &BillableColumn}},
    };
    for (auto& g : groups) {
        bool show = g.frame == frame;
        g.frame->setVisible(show);
        for (ui::Control* c : g.contents) c->setVisible(show);
    }
}

void Prefs::ensureLoaded() { Form_Load(); }

void Prefs::Form_Load() {
    if (loadedOnce_) return;
    loadedOnce_ = true;
    NameCombo.droppedWidthPixels = 400;
    TabStrip1.select(1);
}

void Prefs::TabStrip1_Click() {
    int i = TabStrip1.selectedIndex();
    if (i < 1 || i > static_cast<int>(TabStrip1.tabs.size())) return;
    const std::string& key = TabStrip1.tabs[static_cast<size_t>(i - 1)].key;
    if (key == "Recent") showFrame(&RecentFrame);
    else if (key == "Name") showFrame(&NameFrame);
    else if (key == "Billable") showFrame(&BillableFrame);
    else if (key == "Columns") showFrame(&ColumnsFrame);
}

void Prefs::Form_Activate() {
    closePrefs();  // a showing that ended without OK or Cancel left it open
    try {
        if (!main_.m_db) throw jet::Error(kNoFile, jet::Error::Code::NotFound);
        rsPrefs = main_.m_db->OpenDynaset(timerdb::names::kPrefsStartup);
        if (rsPrefs->Bof()) {
            platform_.messageBox(kNoPrefs, ui::Buttons::OK, ui::Icon::None, kTitle);
            closePrefs();
            platform_.hide(*this);
            return;
        }
        rsPrefs->MoveFirst();

        // A Null field shows the value the main window runs with for it.
        jet::Value days = rsPrefs->Field("RecentDays");
        // The length limit is for typing: a longer stored value is shown as it is.
        int limit = RecentDays.maxLength;
        RecentDays.maxLength = 0;
        RecentDays.setText(days.isNull() ? std::to_string(main_.m_recentDays) : numberText(days));
        RecentDays.maxLength = limit;

        // Any nonzero value is billable, as the main window reads it.
        jet::Value billable = rsPrefs->Field("Billable");
        bool on = billable.isNull() ? main_.m_bBillable
                                    : billable.isText() ? QString::fromStdString(billable.asText()).toDouble() != 0
                                                        : billable.toDouble() != 0;
        Billable.setValue(on ? 1 : 0);

        LoadNames();

        BillableColumn.setValue(main_.Grid.colWidth(4) != 0 ? 1 : 0);
        NoteColumn.setValue(main_.Grid.colWidth(5) != 0 ? 1 : 0);
    } catch (const std::exception&) {
        closePrefs();
        platform_.hide(*this);
        platform_.messageBox(kNoFile, ui::Buttons::OK, ui::Icon::None, kTitle);
    }
}

void Prefs::LoadNames() {
    NameCombo.clear();
    auto rs = main_.m_db->QueryDefs(timerdb::names::kEmployeesVendors).OpenRecordset();
    if (rs->Bof()) return;
    rs->MoveFirst();
    while (!rs->Eof()) {
        jet::Value text = rs->Field("NameStr");
        if (!text.isNull()) {
            int i = NameCombo.addItem(text.isText() ? text.asText() : numberText(text));
            jet::Value id = rs->Field("Name ID");
            NameCombo.setItemData(i, id.isNull() ? 0 : static_cast<int32_t>(id.toDouble()));
        }
        rs->MoveNext();
    }
    rs->Close();

    jet::Value def = rsPrefs->Field("DefaultName");
    if (def.isNull() || !def.isText() || def.asText().empty()) return;
    // A list finds its item without regard to case, as the file's name index does.
    QString wanted = QString::fromStdString(def.asText());
    for (int i = 0; i < NameCombo.listCount(); ++i) {
        if (QString::fromStdString(NameCombo.list(i)).compare(wanted, Qt::CaseInsensitive) == 0) {
            NameCombo.setListIndex(i);
            return;
        }
    }
}

void Prefs::OK_Click() {
    if (!rsPrefs) {
        platform_.hide(*this);
        return;
    }
    std::string name = NameCombo.text();
    if (NameCombo.listIndex() < 0 || name.empty()) {
        platform_.messageBox(kSelectName, ui::Buttons::OK, ui::Icon::None, kTitle);
        return;
    }
    // A write the file refuses leaves the dialog open, as a bad number of days
    // does, with the main window still matching the file: the name shown and the
    // billable default of a refused step are put back. The user can retry or cancel.
    const std::string shownName = main_.sbStatusBar.panelText(2);
    const bool billableBefore = main_.m_bBillable;
    // Once the new person is in effect, the week shown must be theirs: the previous
    // person's activities left in the grid would be rewritten under the new Name ID.
    const int32_t personBefore = main_.m_lNameID;
    auto showWeekOfPerson = [&] {
        if (main_.m_lNameID != personBefore) main_.SetMonday(main_.sbStatusBar.panelText(4));
    };
    enum { Name, BillableDefault, Rest } step = Name;
    try {
        main_.sbStatusBar.setPanelText(2, name);
        rsPrefs->Edit();
        rsPrefs->SetField("DefaultName", jet::Value::text(name));
        rsPrefs->Update();
        main_.m_lNameID = NameCombo.itemData(NameCombo.listIndex());

        step = BillableDefault;
        int billable = Billable.value() != 0 ? 1 : 0;
        main_.m_bBillable = billable != 0;
        rsPrefs->Edit();
        rsPrefs->SetField("Billable", jet::Value::int16(static_cast<int16_t>(billable)));
        rsPrefs->Update();
        step = Rest;

        main_.ShowDurationColumn(4, BillableColumn.value() != 0);
        main_.ShowDurationColumn(5, NoteColumn.value() != 0);

        std::optional<int16_t> days = recentDaysOf(RecentDays.text());
        if (!days) {
            showWeekOfPerson();
            platform_.messageBox(kBadDays, ui::Buttons::OK, ui::Icon::None, kTitle);
            return;
        }
        rsPrefs->Edit();
        rsPrefs->SetField("RecentDays", jet::Value::int16(*days));
        rsPrefs->Update();
        closePrefs();
        platform_.hide(*this);
        main_.m_recentDays = *days;
        main_.SetMonday(main_.sbStatusBar.panelText(4));
    } catch (const std::exception& e) {
        if (step == Name) main_.sbStatusBar.setPanelText(2, shownName);
        if (step == BillableDefault) main_.m_bBillable = billableBefore;
        if (step != Name) showWeekOfPerson();
        platform_.messageBox(timerdb::describe(e), ui::Buttons::OK, ui::Icon::None, kTitle);
    }
}

void Prefs::Cancel_Click() {
    closePrefs();
    platform_.hide(*this);
}

void Prefs::Form_QueryUnload(bool& cancel, int) {
    Cancel_Click();
    cancel = true;
}

void Prefs::closePrefs() {
    if (rsPrefs) rsPrefs->Close();
    rsPrefs.reset();
}

// ---- The main window's side ----

Prefs& Hourgrid::prefsForm() {
    if (!prefs_) prefs_ = std::make_shared<Prefs>(*this, platform_);
    return *prefs_;
}

void Hourgrid::EditMenuPreferences_Click() {
    if (!CommitPendingEntry() || !ValidateGrid()) return;
    ShowPrefs(false);
}

void Hourgrid::ShowPrefs(bool nameTab) {
    // OK rebuilds the week; a duration still in the editor would then be
    // committed over whatever cell is current. It goes to its own cell first;
    // if it is refused, the editor stays open and the dialog does not show.
    if (!CommitPendingEntry()) return;
    HideCellEditors(false);
    Prefs& p = prefsForm();
    if (nameTab) {
        p.ensureLoaded();
        p.TabStrip1.select(2);
    }
    platform_.showModal(p, this);
}

}  // namespace app
