// Billable and note markers, the exported guard and the activity detail dialog.
#include "app/hourgrid.h"
#include "editing/detail.h"

namespace app {

// To come.
bool Hourgrid::CheckExported(int16_t, int16_t) { return true; }
void Hourgrid::BCellAction() {}
void Hourgrid::NCellAction() {}
void Hourgrid::TimeEntry_DblClick() {}

}  // namespace app
