// The printed weekly report laid out as drawing operations on a page of a given
// printable size, so that the layout can be checked without a printer.
#pragma once

#include <QDate>
#include <functional>
#include <string>
#include <vector>

#include "ui/flexgrid.h"
#include "ui/platform.h"

namespace print {

// Size of a text in the print font, in twips.
using Measure = std::function<ui::TextExtent(const std::string& text)>;

// The values every position of the report derives from (twips unless noted).
struct Metrics {
    double pageWidth = 0, pageHeight = 0;
    double rowPitch = 0;  // two heights of "A"
    int marginX = 0, marginY = 0;
    double rightX = 0;
    int bottomY = 0;
    double gridWidth = 0;  // screen twips
    double scale = 0;      // page twips per screen twip
    double charW = 0;      // width of "A"
    double textOffY = 0;
};

// Nearest whole number, halves to the even neighbour.
int roundEven(double v);

Metrics reportMetrics(const ui::FlexGrid& grid, double pageWidth, double pageHeight, const Measure& measure);

// "<person>          <weekStart> - <weekEnd>          Page  <n> " with the
// dates in the locale's short format.
std::string pageHeading(const std::string& person, const QDate& weekStart, int page);

// The whole report: the page heading, then every grid row (heading and totals
// rows included) as boxed cells, with new pages as the rows run past the bottom
// margin.
std::vector<ui::PrintOp> layoutWeek(const ui::FlexGrid& grid, const std::string& person, const QDate& weekStart,
                                    double pageWidth, double pageHeight, const Measure& measure);

}  // namespace print
