// Billable and note markers, the exported guard and the activity detail dialog.
// Each change is one immediate update of one "Activities" record; the grid's
// markers and colours are redrawn from the record by SaveCurrentCell.
#include <functional>
#include <vector>

#include "app/hourgrid.h"
#include "editing/detail.h"

namespace app {

namespace {

constexpr const char* kExportedQuestion =
    "This activity has already been exported. You can change the status to unexported, or leave the status "
    "as exported. Do you want to change the status to unexported?";

bool isTrue(const jet::Value& v) { return !v.isNull() && v.isNumeric() && v.toDouble() != 0; }
std::string textOf(const jet::Value& v) { return v.isText() ? v.asText() : std::string(); }

int32_t idAt(const std::vector<std::vector<int32_t>>& ids, int col, int row) {
    if (col < 0 || row < 0 || static_cast<size_t>(col) >= ids.size()) return 0;
    const auto& column = ids[static_cast<size_t>(col)];
    return static_cast<size_t>(row) < column.size() ? column[static_cast<size_t>(row)] : 0;
}

// The activity record, current in a new dynaset; null when the file has none with
// that ID (a dynaset without a match stays on another record, which must not be edited).
std::unique_ptr<timerdb::Recordset> findActivity(timerdb::Database& db, int32_t lID) {
    auto rs = db.OpenKeyedDynaset(timerdb::names::kActivities);
    rs->FindFirst("ID=" + std::to_string(lID));
    if (rs->NoMatch()) return nullptr;
    return rs;
}

}  // namespace

bool Hourgrid::CheckExported(int16_t nRow, int16_t nCol) {
    const int32_t lID = idAt(m_ids, nCol, nRow);
    if (lID <= 0 || !m_db) return true;
    try {
        auto rs = findActivity(*m_db, lID);
        if (!rs || !isTrue(rs->Field("Exported"))) return true;
        switch (platform_.messageBox(kExportedQuestion, ui::Buttons::YesNoCancel, ui::Icon::None, kTitle)) {
        case ui::Answer::Yes:
            rs->Edit();
            rs->SetField("Exported", jet::Value::boolean(false));
            rs->Update();
            return true;
        case ui::Answer::Cancel:
            return false;
        default:  // No: edited while it stays exported
            return true;
        }
    } catch (const std::exception& e) {
        // The user asked for a change the file refused: no edit goes ahead on it.
        platform_.messageBox(timerdb::describe(e), ui::Buttons::OK, ui::Icon::None, kTitle);
        return false;
    }
}

void Hourgrid::changeMarker(int offset, const std::function<void(timerdb::Recordset&)>& change) {
    const int row = Grid.row(), col = Grid.col(), dayCol = col - offset;
    if (!CheckExported(static_cast<int16_t>(row), static_cast<int16_t>(dayCol))) return;
    const int32_t lID = idAt(m_ids, dayCol, row);
    if (lID <= 0 || !m_db) return;
    try {
        auto rs = findActivity(*m_db, lID);
        if (!rs) return;
        change(*rs);
        rs->Close();
    } catch (const std::exception& e) {
        platform_.messageBox(timerdb::describe(e), ui::Buttons::OK, ui::Icon::None, kTitle);
        return;
    }
    Grid.setCol(dayCol);
    SaveCurrentCell();
    Grid.setCol(col);
}

void Hourgrid::BCellAction() {
    changeMarker(1, [](timerdb::Recordset& rs) {
        const bool billable = isTrue(rs.Field("Billable Status"));
        rs.Edit();
        rs.SetField("Billable Status", jet::Value::boolean(!billable));
        rs.Update();
    });
}

void Hourgrid::NCellAction() {
    changeMarker(2, [this](timerdb::Recordset& rs) {
        Detail& detail = detailForm();
        detail.Note.setText(textOf(rs.Field("Note")));
        detail.Billable.setVisible(false);
        platform_.showModal(detail, this);
        if (detail.m_OKCancel) {
            rs.Edit();
            rs.SetField("Note", jet::Value::text(detail.Note.text()));
            rs.Update();
        }
    });
}

void Hourgrid::TimeEntry_DblClick() {
    const int row = Grid.row(), col = Grid.col();
    if (col < 3 || col > 23) return;
    const int32_t lID = idAt(m_ids, col, row);
    if (lID <= 0 || !m_db) return;
    try {
        auto rs = findActivity(*m_db, lID);
        if (!rs) return;
        Detail& detail = detailForm();
        detail.Note.setText(textOf(rs->Field("Note")));
        detail.Billable.setValue(isTrue(rs->Field("Billable Status")) ? 1 : 0);
        detail.Billable.setVisible(true);
        platform_.showModal(detail, this);
        if (detail.m_OKCancel) {
            rs->Edit();
            rs->SetField("Note", jet::Value::text(detail.Note.text()));
            rs->SetField("Billable Status", jet::Value::boolean(detail.Billable.value() == 1));
            rs->Update();
        }
        rs->Close();
    } catch (const std::exception& e) {
        platform_.messageBox(timerdb::describe(e), ui::Buttons::OK, ui::Icon::None, kTitle);
    }
    TimeEntry.setFocus();
}

}  // namespace app
