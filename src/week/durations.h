// Number and date texts as the week's durations read and show them.
#pragma once

#include <QDate>
#include <cstdint>
#include <string>

namespace app::week {

// The text without leading and trailing blanks.
std::string trimBlanks(const std::string& s);
// Nearest integer, halves to the even one.
double roundHalfEven(double x);
// A decimal number in the user's locale (blanks around it allowed).
bool toNumber(const std::string& text, double& value);
// A number rounded (halves to even) to a 16-bit integer; false when the text is no
// number or the result does not fit.
bool toInt16(const std::string& text, int16_t& value);
// The date in the system's short date form, as messages show it.
std::string dateText(const QDate& d);
// The start-date panel's "mm/dd/yyyy" (a single-digit month or day too); invalid otherwise.
QDate startDateOf(const std::string& text);

}  // namespace app::week
