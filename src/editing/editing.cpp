// Cell selection and duration entry, adding rows, clearing the week, hover hints.
#include "app/hourgrid.h"

namespace app {

// To come.
void Hourgrid::Grid_LeaveCell() {}
void Hourgrid::Grid_MouseDown(int, int, double, double) {}
void Hourgrid::Grid_MouseMove(int, int, double, double) {}
void Hourgrid::Grid_KeyPress(int&) {}
void Hourgrid::TimeEntry_KeyPress(int&) {}
void Hourgrid::ShowTimeEntry() {}
void Hourgrid::PrepareCellEditors() {}
void Hourgrid::AddGridRow() {}
void Hourgrid::EditMenuAddRow_Click() {}
void Hourgrid::EditMenuClear_Click() {}

void Hourgrid::HideCellEditors(bool bVisible) {
    TimeEntry.setVisible(bVisible);
    TimeEntry.setText("^");
    CustJobCombo.setVisible(bVisible);
    ServiceCombo.setVisible(bVisible);
    ClassCombo.setVisible(bVisible);
}

}  // namespace app
