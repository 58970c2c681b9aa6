// Filling the week from the Timer file.
#include "app/hourgrid.h"

namespace app {

// To come.
void Hourgrid::PopulateFlexGrid() {}
void Hourgrid::FillRowHeading(int16_t, timerdb::Recordset&) {}
void Hourgrid::FillDayCell(int16_t, int16_t, timerdb::Recordset&) {}

}  // namespace app
