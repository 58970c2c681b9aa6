// Choosing a row's Customer:Job, Service Item and Class in place.
#include "app/hourgrid.h"

namespace app {

// To come.
bool Hourgrid::HeadingCellCheck() { return true; }
void Hourgrid::ShowComboAtCell(ui::ComboBox&) {}
void Hourgrid::CommitRowCombo(int16_t, ui::ComboBox&) {}
void Hourgrid::WriteRowReference(int16_t, int16_t) {}

}  // namespace app
