// Text renderings of engine values used by the jetdb command-line tool.
#pragma once

#include <string>

#include "jet/value.h"

namespace jetdb {

// Appends one CSV field for the value (see the tool's usage text for the rules).
void appendCsvField(std::string& out, const jet::Value& v);
// Appends a row's fields as one CSV line, newline included.
void appendCsvRow(std::string& out, const jet::Row& row);
// Appends a text field: always quoted, inner quotes doubled.
void appendCsvText(std::string& out, std::string_view s);
// Appends a column name for the header line, quoted only when it must be.
void appendCsvName(std::string& out, std::string_view s);

// Jet day numbers (days since 1899-12-30; the fraction's magnitude is the time
// of day even for negative days) as "YYYY-MM-DD HH:MM:SS", rounded to the second.
std::string formatDateTime(double days);
std::string formatCurrency(jet::Currency c);
std::string formatDecimal(const jet::Decimal& d);
std::string formatGuid(const jet::Guid& g);
std::string formatDouble(double d);
std::string formatSingle(float f);

// The Jet day number of a calendar date and time; false if out of range.
bool dayNumber(int year, int month, int day, int hour, int minute, int second, double& days);

// A command-line parameter value: an integer or other number, a date
// ("YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS"), or else text.
jet::Value parseParamValue(const std::string& s);

}  // namespace jetdb
