// Filling the week from the Timer file: the person's activities of the week
// from the program's saved query, then the combinations used recently as
// empty rows, an empty row and the totals row.
#include <cmath>
#include <cstdio>

#include "app/hourgrid.h"

namespace app {

namespace {

constexpr ui::Color kGreen = 0x009600;
constexpr ui::Color kBlue = 0xFF0000;
constexpr ui::Color kMagenta = 0xC800C8;
constexpr ui::Color kNotExported = 0xD5FFFF;

const QDate kDayZero(1899, 12, 30);

double serialOf(const QDate& d) { return static_cast<double>(kDayZero.daysTo(d)); }

// The date part of a Jet date value (a negative serial keeps its time as a positive fraction).
QDate dateOf(const jet::Value& v) {
    if (v.isNull() || !v.isNumeric()) return {};
    return kDayZero.addDays(static_cast<qint64>(std::trunc(v.toDouble())));
}

// Seconds since the start of the value's own day, rounded to the second as Format does.
long long secondsOfDay(double serial) {
    double frac = std::fabs(serial - std::trunc(serial));
    return std::llround(frac * 86400.0);
}

bool isTrue(const jet::Value& v) { return !v.isNull() && v.isNumeric() && v.toDouble() != 0; }

std::string textOf(const jet::Value& v) { return v.isText() ? v.asText() : std::string(); }

int32_t idOf(const jet::Value& v) {
    if (v.isNull() || !v.isNumeric()) return 0;
    return static_cast<int32_t>(std::llround(v.toDouble()));
}

// "hh:mm" of the query's RoundedDuration (the duration plus 30 seconds). A
// duration of 23:59:30 or more would round past midnight and read 00:00, a
// cell that could never be saved again; it shows the largest duration instead.
std::string roundedText(const jet::Value& rounded, const jet::Value& duration) {
    if (rounded.isNull() || !rounded.isNumeric()) return {};
    double r = rounded.toDouble();
    long long s = secondsOfDay(r);
    if (!duration.isNull() && duration.isNumeric()) {
        double d = duration.toDouble();
        if (std::trunc(r) != std::trunc(d) || s >= 86400) s = 23 * 3600 + 59 * 60;
    }
    s %= 86400;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", s / 3600, (s / 60) % 60);
    return buf;
}

}  // namespace

void Hourgrid::FillRowHeading(int16_t row, timerdb::Recordset& rs) {
    Grid.setTextMatrix(row, 0, textOf(rs.Field("Customer/Job")));
    m_ids[0][static_cast<size_t>(row)] = idOf(rs.Field("CustJob ID"));
    Grid.setTextMatrix(row, 1, textOf(rs.Field("Service Item")));
    m_ids[1][static_cast<size_t>(row)] = idOf(rs.Field("Service ID"));
    Grid.setTextMatrix(row, 2, textOf(rs.Field("Class")));
    m_ids[2][static_cast<size_t>(row)] = idOf(rs.Field("Class ID"));
    Grid.setRowHeight(row, static_cast<int>(CustJobCombo.height()));
}

void Hourgrid::FillDayCell(int16_t row, int16_t col, timerdb::Recordset& rs) {
    Grid.setRow(row);
    Grid.setCol(col);
    Grid.setText(roundedText(rs.Field("RoundedDuration"), rs.Field("Duration")));

    std::string note = textOf(rs.Field("Note"));
    Grid.setTextMatrix(row, col + 2, note);

    bool billable = isTrue(rs.Field("Billable Y/N"));
    if (billable)
        Grid.setCellForeColor(note.empty() ? kGreen : kMagenta);
    else
        Grid.setCellForeColor(note.empty() ? ui::kSysWindowText : kBlue);
    Grid.setTextMatrix(row, col + 1, billable ? "*" : "");

    jet::Value exported = rs.Field("Exported");
    if (!exported.isNull() && !isTrue(exported)) Grid.setCellBackColor(kNotExported);

    m_ids[static_cast<size_t>(col)][static_cast<size_t>(row)] = idOf(rs.Field("ActivityID"));
}

void Hourgrid::PopulateFlexGrid() {
    setMousePointer(ui::MousePointer::Hourglass);
    QDate monday = m_days[0];
    auto appendGridRow = [this] {
        Grid.addItem("");
        Grid.setRowHeight(Grid.rows() - 1, static_cast<int>(CustJobCombo.height()));
        growIds(Grid.rows());
    };
    try {
        // Both queries run before the grid changes, so a failure leaves an empty week, not half of one.
        auto week = m_db->QueryDefs(timerdb::names::kQueryByDateRange);
        week.setParameter("PStartDate", jet::Value::date(serialOf(monday)));
        week.setParameter("PEndDate", jet::Value::date(serialOf(monday.addDays(6))));
        week.setParameter("PNameID", jet::Value::int32(m_lNameID));
        auto rs = week.OpenRecordset();

        auto recentDef = m_db->QueryDefs(timerdb::names::kQueryRecent);
        recentDef.setParameter("PNumDays", jet::Value::int16(m_recentDays));
        recentDef.setParameter("PNameID", jet::Value::int32(m_lNameID));
        auto recent = recentDef.OpenRecordset();

        int nextRow = 1;
        if (!rs->Bof() && !rs->Eof()) {
            rs->MoveFirst();
            int row = 1;
            FillRowHeading(static_cast<int16_t>(row), *rs);
            QDate previous;  // matches no real UserDate
            while (!rs->Eof()) {
                QDate day = dateOf(rs->Field("UserDate"));
                if (Grid.textMatrix(row, 0) != textOf(rs->Field("Customer/Job")) ||
                    Grid.textMatrix(row, 1) != textOf(rs->Field("Service Item")) ||
                    Grid.textMatrix(row, 2) != textOf(rs->Field("Class")) || day == previous) {
                    ++row;
                    if (row >= Grid.rows()) appendGridRow();
                    growIds(row + 1);
                    FillRowHeading(static_cast<int16_t>(row), *rs);
                }
                FillDayCell(static_cast<int16_t>(row), static_cast<int16_t>(3 * day.dayOfWeek()), *rs);
                previous = day;
                rs->MoveNext();
            }
            nextRow = row + 1;
        }
        rs->Close();

        if (!recent->Bof() && !recent->Eof()) {
            recent->MoveFirst();
            while (!recent->Eof()) {
                int row = nextRow;
                if (row >= Grid.rows()) appendGridRow();
                growIds(row + 1);
                FillRowHeading(static_cast<int16_t>(row), *recent);
                ++nextRow;
                recent->MoveNext();
            }
            appendGridRow();  // the empty row for a new combination
        }
        recent->Close();
    } catch (const std::exception& e) {
        // Start again from the cleared grid: only whole weeks are ever shown.
        bool flag = m_bNoLeaveCell;
        m_bNoLeaveCell = true;
        Grid.setRows(2);
        for (int c = 0; c < Grid.cols(); ++c) {
            Grid.setTextMatrix(1, c, "");
            Grid.setColorsAt(1, c, ui::kSysWindowText, ui::kSysWindowBackground);
        }
        Grid.setRow(1);
        Grid.setCol(3);
        resizeIds(2);
        m_bNoLeaveCell = flag;
        platform_.messageBox(timerdb::describe(e), ui::Buttons::OK, ui::Icon::None, kTitle);
    }
    appendGridRow();  // becomes the totals row
    UpdateTotals();
    setMousePointer(ui::MousePointer::Default);
}

}  // namespace app
