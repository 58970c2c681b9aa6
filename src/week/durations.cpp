// Durations typed by the user and the totals of the week.
#include "app/hourgrid.h"

namespace app {

// To come.
bool Hourgrid::ParseDuration(std::string&, QTime&) { return false; }
void Hourgrid::AddDurationText(int16_t&, int16_t&, const std::string&) {}
void Hourgrid::UpdateTotals() {}

}  // namespace app
