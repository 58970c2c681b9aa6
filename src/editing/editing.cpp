// Cell selection and duration entry, adding rows, clearing the week, hover hints.
#include <QLocale>
#include <QString>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "app/hourgrid.h"
#include "jet/table.h"
#include "week/durations.h"

namespace app {

namespace {

constexpr int kTotalsCol = 24;
constexpr int kLastDayCol = 23;  // Sunday's N column

// (c - 3) mod 3 with the sign of c - 3: 0 duration (and column 0), 1 B, 2 N, -2/-1 columns 1 and 2.
int kindOf(int col) { return (col - 3) % 3; }

bool isDurationCol(int col) { return col >= 3 && col <= 21 && kindOf(col) == 0; }

// The first `n` characters (not bytes) of a UTF-8 text.
std::string firstChars(const std::string& s, size_t n) {
    size_t i = 0, count = 0;
    while (i < s.size() && count < n) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
        i += len;
        ++count;
    }
    return s.substr(0, std::min(i, s.size()));
}

std::string charText(int keyAscii) {
    return QString(QChar(static_cast<char16_t>(keyAscii & 0xFFFF))).toStdString();
}

}  // namespace

// ---- Duration entry ----

void Hourgrid::Grid_LeaveCell() {
    m_bCommitOK = true;
    // The cell being left, for a click that the click handler ignores (Grid_MouseDown). The
    // commit below moves the current cell itself; what it leaves then is not what the user left.
    struct LeftCell {
        Hourgrid& w;
        int row, col, forRow, forCol;
        ~LeftCell() {
            w.m_leftRow = row;
            w.m_leftCol = col;
            w.m_leftForRow = forRow;
            w.m_leftForCol = forCol;
        }
    } left{*this, Grid.row(), Grid.col(), Grid.mouseRow, Grid.mouseCol};

    if (Grid.row() < 1 || TimeEntry.text() == "^" || m_bNoLeaveCell || !m_bDbOpen) return;

    int col = Grid.col();
    if (col == 0) CommitRowCombo(0, CustJobCombo);
    else if (col == 1) CommitRowCombo(1, ServiceCombo);
    else if (col == 2) CommitRowCombo(2, ClassCombo);

    if (col >= 3 && col <= kLastDayCol) {
        if (TimeEntry.visible()) {
            std::string text = week::trimBlanks(TimeEntry.text());
            if (text.empty()) {
                Grid.setText("");
                Grid.setCellBackColor(ui::kSysWindowBackground);
                Grid.setCellForeColor(ui::kSysWindowText);
            } else {
                QTime value;
                if (!ParseDuration(text, value, m_days[static_cast<size_t>((col - 3) / 3)])) {
                    // The editor keeps its text, and the grid its cell, so that the user
                    // corrects it there: a move now would leave the text over another cell.
                    m_bCommitOK = false;
                    Grid.refuseLeave();
                    TimeEntry.setFocus();
                    return;
                }
                Grid.setText(value.toString("hh:mm").toStdString());
            }
            SaveCurrentCell();
            UpdateTotals();
            TimeEntry.setVisible(false);
        }
        TimeEntry.setText("");
    }
    Grid.setFocus();
}

bool Hourgrid::CommitPendingEntry() {
    // The editor's text belongs to the cell it was opened over, whatever is current now.
    if (TimeEntry.visible() && m_entryRow >= 1 && m_entryRow < Grid.rows() - 1 && m_entryCol >= 0 &&
        m_entryCol < Grid.cols() && (Grid.row() != m_entryRow || Grid.col() != m_entryCol)) {
        m_bNoLeaveCell = true;
        Grid.setRow(m_entryRow);
        Grid.setCol(m_entryCol);
    }
    // The commands ask for the commit themselves; no move of the program's is in progress.
    m_bNoLeaveCell = false;
    Grid_LeaveCell();
    return m_bCommitOK;
}

void Hourgrid::Grid_MouseDown(int, int, double, double) {
    const int r = Grid.mouseRow, c = Grid.mouseCol;
    const bool movedHere = m_leftForRow == r && m_leftForCol == c && Grid.row() == r && Grid.col() == c &&
                           (m_leftRow != r || m_leftCol != c);
    const int fromRow = m_leftRow, fromCol = m_leftCol;
    m_leftForRow = m_leftForCol = -1;

    if (r <= 0 || r >= Grid.rows() - 1 || c < 0 || c >= kTotalsCol) {
        // The grid has already made a clicked totals cell current; the click is to change
        // nothing, so the cell that was current goes back (its pending edit is committed).
        if (movedHere && fromRow >= 1 && fromRow < Grid.rows() && fromCol >= 0 && fromCol < Grid.cols()) {
            m_bNoLeaveCell = true;
            Grid.setRow(fromRow);
            Grid.setCol(fromCol);
            m_bNoLeaveCell = false;
        }
        return;
    }

    // A click on the cell being edited (where the editor does not cover it) goes on editing.
    if (TimeEntry.visible() && r == m_entryRow && c == m_entryCol && Grid.row() == r && Grid.col() == c) {
        TimeEntry.setFocus();
        return;
    }

    m_bNoLeaveCell = true;
    Grid.setRow(r);
    Grid.setCol(c);
    m_bNoLeaveCell = false;

    const int k = kindOf(c);
    if (k == 1) {
        BCellAction();
        return;
    }
    if (k == 2) {
        NCellAction();
        return;
    }
    if (c < 3 && !HeadingCellCheck()) return;

    PrepareCellEditors();

    if (Grid.col() >= 3) {
        if (!CheckExported(static_cast<int16_t>(Grid.row()), static_cast<int16_t>(Grid.col()))) return;
        ShowTimeEntry();
        TimeEntry.setFocus();
        TimeEntry.setSelStart(0);
        TimeEntry.setSelLength(static_cast<int>(TimeEntry.text().size()));
    }
}

void Hourgrid::Grid_KeyPress(int& keyAscii) {
    const int lastData = Grid.rows() - 2;
    if (keyAscii == 13) {
        if (Grid.col() == kTotalsCol || Grid.row() == Grid.rows() - 1) return;
        // An entry left open (the focus went to the grid) reaches its cell before the walk.
        if (TimeEntry.visible() && !CommitPendingEntry()) {
            keyAscii = 0;
            return;
        }
        // Sunday's B column has no column three to the right: it wraps as Sunday's N column does.
        if (Grid.col() >= 22) {
            m_bNoLeaveCell = true;
            if (Grid.row() == lastData) {
                bool used = false;
                for (int c = 0; c <= 21 && !used; ++c)
                    if ((c < 3 || isDurationCol(c)) && id(c, Grid.row()) > 0) used = true;
                if (used) {
                    AddGridRow();
                    Grid.setRow(Grid.rows() - 2);
                } else {
                    Grid.setRow(1);
                }
            } else {
                Grid.setRow(Grid.row() + 1);
            }
            Grid.setCol(3);
        } else {
            Grid.setCol(Grid.col() + 3);
        }
        m_bNoLeaveCell = false;
        keyAscii = 0;
        PrepareCellEditors();
        return;
    }

    // Only data rows take a duration: the totals row's cells hold no activity.
    const int row = Grid.row(), col = Grid.col();
    if (keyAscii == 0 || row < 1 || row > lastData || !isDurationCol(col)) return;
    if (!CheckExported(static_cast<int16_t>(row), static_cast<int16_t>(col))) return;
    ShowTimeEntry();
    TimeEntry.setText(charText(keyAscii));
    TimeEntry.setSelStart(static_cast<int>(TimeEntry.text().size()));
    TimeEntry.setFocus();
}

void Hourgrid::TimeEntry_KeyPress(int& keyAscii) {
    // Tab leaves the editor for the grid, with the entry committed or, when refused, not at all.
    if (keyAscii == 9) {
        keyAscii = 0;
        CommitPendingEntry();
        return;
    }
    if (keyAscii != 13) return;
    if (!CommitPendingEntry()) return;
    m_bNoLeaveCell = true;
    if (Grid.col() == Grid.cols() - 2) {
        Grid.setCol(3);
        Grid.setRow(Grid.row() == Grid.rows() - 2 ? 1 : Grid.row() + 1);
    } else {
        Grid.setCol(std::min(Grid.col() + 3, Grid.cols() - 1));
    }
    m_bNoLeaveCell = false;
    keyAscii = 0;
    PrepareCellEditors();
}

void Hourgrid::ShowTimeEntry() {
    if (Grid.scrollToCurrent) Grid.scrollToCurrent();
    TimeEntry.move(Grid.left() + Grid.cellLeft(), Grid.top() + Grid.cellTop(), Grid.cellWidth(), Grid.cellHeight());
    TimeEntry.setText(Grid.text());
    TimeEntry.setVisible(true);
    m_entryRow = Grid.row();
    m_entryCol = Grid.col();
    // The user's next move of the current cell must commit what is typed here.
    m_bNoLeaveCell = false;
}

void Hourgrid::PrepareCellEditors() {
    if (!enabled()) return;
    TimeEntry.setVisible(false);
    TimeEntry.setText("");
    CustJobCombo.setVisible(false);
    if (Grid.scrollToCurrent) Grid.scrollToCurrent();
    if (Grid.mouseRow != 0) {
        if (Grid.col() == 0) ShowComboAtCell(CustJobCombo);
        else if (Grid.col() == 1) ShowComboAtCell(ServiceCombo);
        else if (Grid.col() == 2) ShowComboAtCell(ClassCombo);
    }
}

// ---- Rows and clearing ----

void Hourgrid::AddGridRow() {
    const bool saved = m_bNoLeaveCell;
    m_bNoLeaveCell = true;

    Grid.addItem("");
    const int last = Grid.rows() - 1;
    Grid.setRowHeight(last, static_cast<int>(std::lround(CustJobCombo.height())));
    for (auto& col : m_ids) col.resize(static_cast<size_t>(Grid.rows()), 0);

    const int row = Grid.row(), col = Grid.col();
    // The former totals row becomes an empty data row.
    for (int c = 0; c < Grid.cols(); ++c) {
        Grid.setTextMatrix(last - 1, c, "");
        Grid.setColorsAt(last - 1, c, Grid.foreColorAt(last - 1, c), ui::kSysWindowBackground);
    }
    for (int r = 1; r <= last - 1; ++r) {
        Grid.setTextMatrix(r, kTotalsCol, "");
        Grid.setColorsAt(r, kTotalsCol, Grid.foreColorAt(r, kTotalsCol), ui::kSysWindowBackground);
    }
    UpdateTotals();

    // UpdateTotals leaves the flag False; the way back must not commit anything either.
    m_bNoLeaveCell = true;
    Grid.setRow(row);
    Grid.setCol(col);
    m_bNoLeaveCell = saved;
}

void Hourgrid::EditMenuAddRow_Click() {
    if (CommitPendingEntry()) AddGridRow();
}

void Hourgrid::EditMenuClear_Click() {
    if (!CommitPendingEntry()) return;
    const std::string cr(1, '\r');
    if (platform_.messageBox("This will clear all time entries for the current week." + cr +
                                 "Caution: this function cannot be undone!" + cr + "Are your sure you want to continue?",
                             ui::Buttons::YesNo, ui::Icon::Critical, kTitle) != ui::Answer::Yes)
        return;
    if (platform_.messageBox("Just checking!" + cr + "This will clear all time entries for the current week." + cr +
                                 "Are your sure you want to continue?",
                             ui::Buttons::YesNo, ui::Icon::Critical, kTitle) != ui::Answer::Yes)
        return;

    // A pending edit reaches its cell (and a chosen reference its activities) before the week is emptied.
    if (Grid.rows() > 1 && Grid.cols() > 3) {
        Grid.setRow(1);
        Grid.setCol(3);
    }
    // Whatever the editor still holds belongs to a cell that is about to be emptied.
    TimeEntry.setVisible(false);
    if (TimeEntry.text() != "^") TimeEntry.setText("");

    for (int r = 1; r <= Grid.rows() - 2; ++r)
        for (int c = 3; c <= kLastDayCol; ++c) {
            Grid.setTextMatrix(r, c, "");
            Grid.setColorsAt(r, c, ui::kSysWindowText, ui::kSysWindowBackground);
        }
    if (!SaveGrid() && m_bDbOpen) {
        // The file kept its activities (the save has said why): show the week it still holds
        // rather than one that looks cleared.
        SetMonday(sbStatusBar.panelText(4));
        return;
    }
    // The totals would otherwise go on showing time that no longer exists.
    bool saved = m_bNoLeaveCell;
    UpdateTotals();
    m_bNoLeaveCell = saved;
}

void Hourgrid::HideCellEditors(bool bVisible) {
    TimeEntry.setVisible(bVisible);
    TimeEntry.setText("^");
    CustJobCombo.setVisible(bVisible);
    ServiceCombo.setVisible(bVisible);
    ClassCombo.setVisible(bVisible);
}

// ---- Hover hints ----

void Hourgrid::Grid_MouseMove(int, int, double, double) {
    const int r = Grid.mouseRow, c = Grid.mouseCol;
    if (r < 0 || r >= Grid.rows() || c < 0 || c >= Grid.cols()) return;
    if (c < 3 || c > kLastDayCol) {
        Grid.setToolTip(Grid.textMatrix(r, c));
        return;
    }
    if (m_ids.empty() || r >= static_cast<int>(m_ids[0].size())) return;
    const int d = (c - 3) / 3;
    if (r == 0) {
        Grid.setToolTip(QLocale().toString(m_days[static_cast<size_t>(d)], QLocale::LongFormat).toStdString());
        return;
    }

    // The activity's note, or nothing when it has none (Null) or cannot be read. The row is
    // found through the table's PrimaryKey index and read alone: a recordset would read the
    // whole table on every mouse move, which a file of many years' activities makes too slow.
    auto noteOf = [this](int32_t activityId) -> std::optional<std::string> {
        if (!m_bDbOpen || !m_db) return std::nullopt;
        try {
            auto table = m_db->engine().table(timerdb::names::kActivities);
            const jet::Index* pk = table ? table->findIndex("PrimaryKey") : nullptr;
            const int noteCol = table ? table->columnIndex("Note") : -1;
            if (!pk || noteCol < 0) return std::nullopt;
            for (const jet::RowId& rid : table->seek(*pk, {jet::Value::int32(activityId)})) {
                std::optional<jet::Row> row = table->readRow(rid, {noteCol});
                if (!row) continue;
                const jet::Value& note = (*row)[static_cast<size_t>(noteCol)];
                if (note.isNull()) return std::nullopt;
                return note.isText() ? note.asText() : std::string();
            }
            return std::nullopt;
        } catch (const std::exception&) {
            return std::nullopt;
        }
    };

    const int k = kindOf(c);
    if (k == 0) {
        const int32_t activity = id(c, r);
        if (Grid.textMatrix(r, c).empty() || activity <= 0) {
            Grid.setToolTip("Click to enter duration");
            return;
        }
        auto note = noteOf(activity);
        Grid.setToolTip(note ? firstChars(*note, 100) : "Click to enter duration");
    } else if (k == 1) {
        Grid.setToolTip(id(c - 1, r) > 0 ? "Click to toggle billable status" : "");
    } else {
        const int32_t activity = id(c - 2, r);
        if (activity <= 0) {
            Grid.setToolTip("");
            return;
        }
        auto note = noteOf(activity);
        Grid.setToolTip(note ? firstChars(*note, 100) : "Click to edit Note");
    }
}

}  // namespace app
