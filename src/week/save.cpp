// Validating the week and writing it back to the Timer file.
#include "app/hourgrid.h"

namespace app {

// To come: cell-by-cell validation; until then only "no file open" fails.
bool Hourgrid::ValidateGrid() { return m_bDbOpen; }
bool Hourgrid::ValidateCell(int16_t, const std::string&, const QDate&, int32_t) { return true; }
// To come: nothing is written yet, so no save is reported.
bool Hourgrid::SaveGrid() { return false; }
void Hourgrid::WriteActivity(int16_t, timerdb::Recordset&, const std::string&, const QDate&, int32_t&) {}
void Hourgrid::SaveCurrentCell() {}

}  // namespace app
