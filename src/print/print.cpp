// The weekly report and the grid font.
#include "app/hourgrid.h"

namespace app {

// To come.
void Hourgrid::FileMenuPrint_Click() {}
void Hourgrid::EditMenuFont_Click() {}

}  // namespace app
