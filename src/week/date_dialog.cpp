// The start-date dialog.
#include "app/hourgrid.h"

namespace app {

// To come.
void Hourgrid::EditMenuStartDate_Click() {}
void Hourgrid::ShowDateDialog() {}

}  // namespace app
