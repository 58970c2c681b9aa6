// The About box and the web link.
#include "app/hourgrid.h"

namespace app {

// To come.
void Hourgrid::HelpMenuAbout_Click() {}

}  // namespace app
