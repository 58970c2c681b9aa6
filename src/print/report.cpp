#include "print/report.h"

#include <QLocale>
#include <QString>
#include <cmath>

namespace print {

namespace {

// Texts are cut by characters, never inside a UTF-8 sequence.
std::u32string chars(const std::string& s) {
    QList<uint> u = QString::fromStdString(s).toUcs4();
    return std::u32string(u.begin(), u.end());
}

std::string fromChars(const std::u32string& s, size_t n) {
    return QString::fromUcs4(s.data(), static_cast<qsizetype>(std::min(n, s.size()))).toStdString();
}

}  // namespace

int roundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

Metrics reportMetrics(const ui::FlexGrid& grid, double pageWidth, double pageHeight, const Measure& measure) {
    Metrics m;
    m.pageWidth = pageWidth;
    m.pageHeight = pageHeight;
    ui::TextExtent a = measure("A");
    m.rowPitch = 2 * a.height;
    m.marginX = roundEven(pageWidth / 20);
    m.rightX = pageWidth - m.marginX;
    m.marginY = roundEven(pageHeight / 20);
    m.bottomY = roundEven(pageHeight - m.marginY);
    // The sum of the widths rather than the on-screen right edge of "Totals":
    // the printout must not depend on how far the grid is scrolled sideways.
    for (int c = 0; c < grid.cols(); ++c) m.gridWidth += grid.colWidth(c);
    m.scale = pageWidth / (m.gridWidth + 2.0 * m.marginX);
    m.charW = a.width;
    m.textOffY = m.rowPitch / 4;
    return m;
}

std::string pageHeading(const std::string& person, const QDate& weekStart, int page) {
    QLocale loc;
    const std::string gap(10, ' ');
    return person + gap + loc.toString(weekStart, QLocale::ShortFormat).toStdString() + " - " +
           loc.toString(weekStart.addDays(6), QLocale::ShortFormat).toStdString() + gap + "Page " + " " +
           std::to_string(page) + " ";
}

std::vector<ui::PrintOp> layoutWeek(const ui::FlexGrid& grid, const std::string& person, const QDate& weekStart,
                                    double pageWidth, double pageHeight, const Measure& measure) {
    using Kind = ui::PrintOp::Kind;
    const Metrics m = reportMetrics(grid, pageWidth, pageHeight, measure);
    std::vector<ui::PrintOp> ops;
    int page = 1;
    auto heading = [&] {
        ops.push_back({Kind::Text, double(m.marginX), double(m.marginY), 0, 0, pageHeading(person, weekStart, page)});
    };

    heading();
    int y = roundEven(m.marginY + m.rowPitch);
    for (int r = 0; r < grid.rows(); ++r) {
        int x = m.marginX;
        y = roundEven(y + m.rowPitch);
        if (y >= m.bottomY) {
            ops.push_back({Kind::NewPage, 0, 0, 0, 0, {}});
            ++page;
            heading();
            y = roundEven(m.marginY + 2 * m.rowPitch);
        }
        for (int c = 0; c < grid.cols(); ++c) {
            const double colW = grid.colWidth(c) * m.scale;
            if (x < m.rightX) {
                const std::string& text = grid.textMatrix(r, c);
                if (!text.empty()) {
                    std::u32string cs = chars(text);
                    const double w = measure(text).width;
                    // Characters that fit by the text's own average width, less two.
                    const double n = w > 0 ? colW / w * double(cs.size()) - 2 : double(cs.size());
                    if (n > 0) {
                        std::string cut = fromChars(cs, static_cast<size_t>(roundEven(n)));
                        if (x + colW <= m.rightX && !cut.empty())
                            ops.push_back({Kind::Text, double(x), double(y), 0, 0, cut});
                    }
                }
                ops.push_back({Kind::Box, x - m.charW, y - m.textOffY, colW, m.rowPitch, {}});
            }
            x = roundEven(x + colW);
        }
    }
    return ops;
}

}  // namespace print
