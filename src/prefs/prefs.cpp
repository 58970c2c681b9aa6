// The preferences dialog.
#include "app/hourgrid.h"

namespace app {

// To come.
void Hourgrid::EditMenuPreferences_Click() {}
void Hourgrid::ShowPrefs(bool) {}

}  // namespace app
