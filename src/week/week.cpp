// The week grid routines of the main window that start-up, shut-down and the
// navigation commands use.
#include <QLocale>

#include "app/clock.h"
#include "app/hourgrid.h"
#include "week/durations.h"

namespace app {

namespace {

const char* kWidthKeys[3] = {"CustJobWidth", "ServiceWidth", "ClassWidth"};
const int kWidthDefaults[3] = {1500, 1200, 1100};
const char kKindLetter[3] = {'T', 'B', 'N'};
const int kKindDefault[3] = {500, 200, 200};

std::string shortDayName(const QDate& d) { return QLocale().dayName(d.dayOfWeek(), QLocale::ShortFormat).toStdString(); }

}  // namespace

QDate week::startDateOf(const std::string& text) {
    QString t = QString::fromStdString(text).trimmed();
    for (const char* f : {"MM/dd/yyyy", "M/d/yyyy"}) {
        QDate d = QDate::fromString(t, f);
        if (d.isValid()) return d;
    }
    return {};
}

QDate Hourgrid::MondayOf(const QDate& d) {
    int w = d.dayOfWeek() % 7 + 1;  // Sunday = 1 .. Saturday = 7
    if (w == 1) w = 8;
    return d.addDays(2 - w);
}

int32_t Hourgrid::id(int col, int row) const {
    return m_ids.at(static_cast<size_t>(col)).at(static_cast<size_t>(row));
}

void Hourgrid::resizeIds(int rows) {
    m_ids.assign(25, std::vector<int32_t>(static_cast<size_t>(rows), 0));
}

void Hourgrid::growIds(int rows) {
    if (m_ids.size() < 25) m_ids.resize(25);
    for (auto& col : m_ids)
        if (col.size() < static_cast<size_t>(rows)) col.resize(static_cast<size_t>(rows), 0);
}

void Hourgrid::SaveColumnWidths() {
    for (int c = 0; c < 3; ++c) settings_.set(kWidthKeys[c], std::to_string(Grid.colWidth(c)));
    QDate d = MondayOf(Clock::today());
    for (int day = 0; day < 7; ++day, d = d.addDays(1)) {
        std::string dn = shortDayName(d);
        for (int k = 0; k < 3; ++k)
            settings_.set(dn + "Width" + kKindLetter[k], std::to_string(Grid.colWidth(3 + 3 * day + k)));
    }
}

void Hourgrid::LoadColumnWidths() {
    for (int c = 0; c < 3; ++c)
        Grid.setColWidth(c, toInt(settings_.get(kWidthKeys[c], std::to_string(kWidthDefaults[c])), kWidthDefaults[c]));
    QDate d = MondayOf(Clock::today());
    for (int day = 0; day < 7; ++day, d = d.addDays(1)) {
        std::string dn = shortDayName(d);
        for (int k = 0; k < 3; ++k) {
            std::string v = settings_.get(dn + "Width" + kKindLetter[k], std::to_string(kKindDefault[k]));
            Grid.setColWidth(3 + 3 * day + k, toInt(v, kKindDefault[k]));
        }
    }
}

void Hourgrid::ShowDurationColumn(int16_t nCol, bool bShow) {
    for (int c = nCol; c <= 23; c += 3) Grid.setColWidth(c, bShow ? 200 : 0);
}

void Hourgrid::ClearFlexGrid() {
    // The moves below happen on cells already emptied; nothing may be committed from them.
    m_bNoLeaveCell = true;
    SaveColumnWidths();
    Grid.clear();
    Grid.setFormatString(kGridFormat);
    LoadColumnWidths();
    if (Grid.rows() < 2) Grid.setRows(2);
    Grid.setRow(1);
    Grid.setCol(3);
    resizeIds(2);
    Grid.setRows(2);
    Grid.setToolTip("");
    m_bNoLeaveCell = true;
}

bool Hourgrid::CheckStartDate() {
    const std::string& text = sbStatusBar.panelText(4);
    QDate d = week::startDateOf(text);
    if (text == "<None>" || !d.isValid()) {
        platform_.messageBox("Please select a Start Date", ui::Buttons::OK, ui::Icon::None, kTitle);
        return false;
    }
    if (d.dayOfWeek() != 1) {
        platform_.messageBox("Please select a Monday as your Start Date", ui::Buttons::OK, ui::Icon::None, kTitle);
        return false;
    }
    return true;
}

void Hourgrid::SetMonday(const std::string& strMonday) {
    sbStatusBar.setPanelText(4, strMonday);
    if (!CheckStartDate()) return;
    ClearFlexGrid();
    QDate d = week::startDateOf(strMonday);
    for (int i = 0; i < 7; ++i, d = d.addDays(1)) {
        QString name = QLocale().dayName(d.dayOfWeek(), QLocale::ShortFormat);
        Grid.setTextMatrix(0, 3 + 3 * i, name.left(1).toStdString() + " " + std::to_string(d.day()));
        m_days[static_cast<size_t>(i)] = d;
    }
    if (m_lNameID >= 0) PopulateFlexGrid();
}

void Hourgrid::ChangeWeek(int days) {
    if (!CommitPendingEntry() || !ValidateGrid()) return;
    HideCellEditors(false);
    if (!CheckStartDate()) return;
    std::string shown = sbStatusBar.panelText(4);
    QDate d = week::startDateOf(shown).addDays(days);
    sbStatusBar.setPanelText(4, d.toString("MM/dd/yyyy").toStdString());
    // The week was valid, so a failed save is a write error (already reported):
    // the user's week stays on screen instead of being replaced by the next one.
    if (!SaveGrid()) {
        sbStatusBar.setPanelText(4, shown);
        return;
    }
    SetMonday(sbStatusBar.panelText(4));
}

void Hourgrid::ViewMenuLastMonday_Click() {
    if (!CommitPendingEntry() || !ValidateGrid()) return;
    HideCellEditors(false);
    QDate d = Clock::today();
    while (d.dayOfWeek() != 1) d = d.addDays(-1);
    std::string shown = sbStatusBar.panelText(4);
    sbStatusBar.setPanelText(4, d.toString("MM/dd/yyyy").toStdString());
    if (!SaveGrid()) {
        sbStatusBar.setPanelText(4, shown);
        return;
    }
    SetMonday(sbStatusBar.panelText(4));
}

}  // namespace app
