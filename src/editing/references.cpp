// Choosing a row's Customer:Job, Service Item and Class in place, and writing
// the choice into every activity of the row at once.
#include <memory>
#include <optional>
#include <vector>

#include "app/hourgrid.h"

namespace app {

namespace {

constexpr ui::Color kNotExportedBack = 0xD5FFFF;
const char* const kReferenceFields[3] = {"CustJob ID", "Service ID", "Class ID"};
constexpr const char* kRowExportedQuestion =
    "One or more of these activities has already been exported. You can change the status to unexported, "
    "or leave the status as exported. Do you want to change the status to unexported?";

bool isTrue(const jet::Value& v) { return !v.isNull() && v.isNumeric() && v.toDouble() != 0; }

using Ids = std::vector<std::vector<int32_t>>;  // [col][row]

int32_t idAt(const Ids& ids, int col, int row) {
    if (col < 0 || row < 0 || static_cast<size_t>(col) >= ids.size()) return 0;
    const auto& column = ids[static_cast<size_t>(col)];
    return static_cast<size_t>(row) < column.size() ? column[static_cast<size_t>(row)] : 0;
}

void setIdAt(Ids& ids, int col, int row, int32_t value) {
    if (static_cast<size_t>(col) >= ids.size()) ids.resize(static_cast<size_t>(col) + 1);
    auto& column = ids[static_cast<size_t>(col)];
    if (static_cast<size_t>(row) >= column.size()) column.resize(static_cast<size_t>(row) + 1, 0);
    column[static_cast<size_t>(row)] = value;
}

}  // namespace

bool Hourgrid::HeadingCellCheck() {
    const int row = Grid.row();
    if (!m_db) return true;
    // However the check ends, the heading cell is current again and leave-cell
    // processing is back on: left suppressed after a failed write, no later edit
    // would ever reach the file. The column is restored while still suppressed,
    // so that the program's own move commits nothing.
    struct Restore {
        Hourgrid& w;
        int col;
        ~Restore() {
            if (w.Grid.col() != col) w.Grid.setCol(col);
            w.m_bNoLeaveCell = false;
        }
    } restore{*this, Grid.col()};
    m_bNoLeaveCell = true;
    std::optional<ui::Answer> answer;  // asked once, then it holds for the whole row
    std::unique_ptr<timerdb::Recordset> rs;  // one for the row, opened at its first activity
    try {
        for (int c = 3; c <= 21; c += 3) {
            const int32_t lID = idAt(m_ids, c, row);
            if (Grid.textMatrix(row, c).empty() || lID <= 0) continue;
            if (!rs) rs = m_db->OpenKeyedDynaset(timerdb::names::kActivities);
            rs->FindFirst("ID=" + std::to_string(lID));
            // Without a match the dynaset stays on whatever record it was on; never edit that one.
            if (rs->NoMatch() || !isTrue(rs->Field("Exported"))) continue;
            if (!answer)
                answer = platform_.messageBox(kRowExportedQuestion, ui::Buttons::YesNoCancel, ui::Icon::None, kTitle);
            if (*answer == ui::Answer::Cancel) return false;
            if (*answer != ui::Answer::Yes) break;
            rs->Edit();
            rs->SetField("Exported", jet::Value::boolean(false));
            rs->Update();
            Grid.setCol(c);
            Grid.setCellBackColor(kNotExportedBack);
        }
    } catch (const std::exception& e) {
        // The days unexported so far stay so, as their colour shows; no combo opens.
        platform_.messageBox(timerdb::describe(e), ui::Buttons::OK, ui::Icon::None, kTitle);
        return false;
    }
    return true;
}

void Hourgrid::ShowComboAtCell(ui::ComboBox& combo) {
    combo.setListIndex(-1);
    const std::string& cellText = Grid.text();
    for (int i = 0; i < combo.listCount(); ++i) {
        if (combo.list(i) == cellText) {
            combo.setListIndex(i);
            break;
        }
    }
    if (Grid.scrollToCurrent) Grid.scrollToCurrent();
    combo.move(Grid.left() + Grid.cellLeft(), Grid.top() + Grid.cellTop(), Grid.cellWidth(), combo.height());
    combo.setVisible(true);
}

void Hourgrid::CommitRowCombo(int16_t nCol, ui::ComboBox& combo) {
    const int row = Grid.row();
    const std::string chosen = combo.text();
    if (!chosen.empty()) {
        Grid.setText(chosen);
        if (combo.listIndex() > -1) setIdAt(m_ids, nCol, row, combo.itemData(combo.listIndex()));
    }
    combo.setVisible(false);
    combo.setListIndex(-1);
    WriteRowReference(nCol, static_cast<int16_t>(row));
}

void Hourgrid::WriteRowReference(int16_t nCol, int16_t nRow) {
    if (!m_db || nCol < 0 || nCol > 2) return;
    const int32_t ref = idAt(m_ids, nCol, nRow);
    // One reference for the whole row: all of its activities change, or none does.
    const bool ownTransaction = !m_db->InTransaction();
    if (ownTransaction) m_db->BeginTrans();
    try {
        auto rs = m_db->OpenKeyedDynaset(timerdb::names::kActivities);
        for (int c = 3; c <= 21; c += 3) {
            const int32_t lID = idAt(m_ids, c, nRow);
            if (Grid.textMatrix(nRow, c).empty() || lID <= 0) continue;
            rs->FindFirst("ID=" + std::to_string(lID));
            if (rs->NoMatch()) continue;  // never edit the record the dynaset happened to be on
            // An activity already holding the reference is left alone: an exported one is
            // written only after the row's exported question.
            const jet::Value held = rs->Field(kReferenceFields[nCol]);
            if (!held.isNull() && held.isNumeric() && held.toDouble() == ref) continue;
            rs->Edit();
            rs->SetField(kReferenceFields[nCol], jet::Value::int32(ref));
            rs->Update();
        }
        rs->Close();
        if (ownTransaction) m_db->CommitTrans();
    } catch (const std::exception& e) {
        if (ownTransaction) {
            try {
                m_db->Rollback();
            } catch (...) {
            }
        }
        // The row keeps its choice in the grid; the week's save writes it again.
        platform_.messageBox(timerdb::describe(e), ui::Buttons::OK, ui::Icon::None, kTitle);
    }
}

}  // namespace app
