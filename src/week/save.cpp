// Validating the week and writing it back to the Timer file.
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <string>

#include "app/clock.h"
#include "app/hourgrid.h"
#include "week/durations.h"

namespace app {

namespace {

constexpr const char* kActivities = timerdb::names::kActivities;
constexpr ui::Color kGreen = ui::rgb(0, 150, 0);
constexpr ui::Color kBlue = ui::rgb(0, 0, 255);
constexpr ui::Color kMagenta = ui::rgb(200, 0, 200);
constexpr ui::Color kNotExported = ui::rgb(255, 255, 213);

double daysOf(const QDate& d) { return static_cast<double>(QDate(1899, 12, 30).daysTo(d)); }

double numberOf(const jet::Value& v) { return v.isNull() || !v.isNumeric() ? 0.0 : v.toDouble(); }
bool flagOf(const jet::Value& v) { return numberOf(v) != 0; }

// The minutes the week shows for a stored duration: rounded to the nearest
// minute, but 23:59:30 and more shows 23:59 rather than wrapping to 00:00.
long shownMinutes(double storedDays) {
    double secs = std::round((storedDays - std::floor(storedDays)) * 86400.0);
    return std::min(static_cast<long>(std::floor((secs + 30) / 60)), 23L * 60 + 59);
}

std::string findCriteria(int32_t id) { return "ID=" + std::to_string(id); }

}  // namespace

int32_t& Hourgrid::idRef(int col, int row) {
    growIds(std::max(row + 1, Grid.rows()));
    return m_ids.at(static_cast<size_t>(col)).at(static_cast<size_t>(row));
}

bool Hourgrid::ValidateGrid() {
    if (!m_bDbOpen) return false;
    // Every data row, also one that m_ids should have but does not cover yet.
    for (int r = 1; r <= Grid.rows() - 2; ++r)
        for (int c = 3; c <= 21; c += 3)
            if (!ValidateCell(static_cast<int16_t>(r), Grid.textMatrix(r, c), m_days[static_cast<size_t>((c - 3) / 3)],
                              idRef(c, r)))
                return false;
    return true;
}

bool Hourgrid::ValidateCell(int16_t nRow, const std::string& strText, const QDate& dtDay, int32_t) {
    auto refuse = [&](const std::string& text) {
        platform_.messageBox(text, ui::Buttons::OK, ui::Icon::None, kTitle);
        return false;
    };
    if (strText.empty()) return true;

    int16_t hours = 0, minutes = 0;
    size_t p = strText.find(':');
    bool ok = p == std::string::npos
                  ? week::toInt16(strText, hours)
                  : week::toInt16(strText.substr(0, p), hours) && week::toInt16(strText.substr(p + 1), minutes);
    if (!ok) return refuse("Invalid time entry: " + week::dateText(dtDay));
    // Minutes over 59 are allowed below 23 hours, but not so many that the sum
    // reaches a whole day: that would be saved as its time of day only.
    if (hours > 23 || (hours == 23 && minutes > 59) || (hours >= 0 && minutes >= 0 && hours * 60 + minutes >= 24 * 60))
        return refuse("You cannot enter more than 23:59 for any activity: " + week::dateText(dtDay));
    if (hours < 0 || minutes < 0) return refuse("You cannot enter negative time: " + week::dateText(dtDay));

    if (Grid.textMatrix(nRow, 0).empty()) return refuse("Please select a Customer:Job for every activity");
    if (Grid.textMatrix(nRow, 1).empty()) return refuse("Please select a Service Item for every activity");
    if (Grid.textMatrix(nRow, 2).empty()) return refuse("Please select a Class for every activity");
    if (m_lNameID < 0) return refuse("Please select a Name by clicking on the Name button.");
    return true;
}

bool Hourgrid::SaveGrid() {
    if (!ValidateGrid()) return false;
    // The whole week is one transaction; should it fail, the cells must go on
    // naming the records that the file still holds.
    const auto idsBefore = m_ids;
    try {
        m_db->BeginTrans();
        auto rs = m_db->OpenKeyedDynaset(kActivities);
        for (int r = 1; r <= Grid.rows() - 2; ++r)
            for (int c = 3; c <= 21; c += 3)
                WriteActivity(static_cast<int16_t>(r), *rs, Grid.textMatrix(r, c),
                              m_days[static_cast<size_t>((c - 3) / 3)], idRef(c, r));
        rs->Close();
        m_db->CommitTrans();
    } catch (const std::exception& e) {
        try {
            m_db->Rollback();
        } catch (...) {
        }
        m_ids = idsBefore;
        platform_.messageBox(timerdb::describe(e) + "\r" + "None of the week's changes were saved.", ui::Buttons::OK,
                             ui::Icon::None, kTitle);
        return false;
    }
    return true;
}

void Hourgrid::WriteActivity(int16_t nRow, timerdb::Recordset& rs, const std::string& strText, const QDate& dtDay,
                             int32_t& lID) {
    if (week::trimBlanks(strText).empty()) {
        if (lID > 0) {
            rs.FindFirst(findCriteria(lID));
            if (!rs.NoMatch()) rs.Delete();
            lID = 0;
        }
        return;
    }
    std::string text = strText;
    QTime value;
    // An activity of less than half a minute reads 00:00, which is no duration
    // the user could type; saving its week untouched must neither complain
    // nor change it.
    if (lID > 0 && week::trimBlanks(text) == "00:00") {
        rs.FindFirst(findCriteria(lID));
        if (!rs.NoMatch()) {
            jet::Value d = rs.Field("Duration");
            if (!d.isNull() && shownMinutes(numberOf(d)) == 0) {
                rs.Edit();
                rs.SetField("CustJob ID", jet::Value::int32(idRef(0, nRow)));
                rs.SetField("Service ID", jet::Value::int32(idRef(1, nRow)));
                rs.SetField("Class ID", jet::Value::int32(idRef(2, nRow)));
                jet::Value u = rs.Field("UserDate");
                if (u.isNull() || std::floor(numberOf(u)) != daysOf(dtDay))
                    rs.SetField("UserDate", jet::Value::date(daysOf(dtDay)));
                rs.SetField("CreateTime", jet::Value::date(Clock::nowDays()));
                rs.SetField("Name ID", jet::Value::int32(m_lNameID));
                rs.Update();
                return;
            }
        }
    }
    if (!ParseDuration(text, value, dtDay)) return;
    const double duration = value.msecsSinceStartOfDay() / 86400000.0;

    bool adding = lID <= 0;
    if (!adding) {
        rs.FindFirst(findCriteria(lID));
        if (value.hour() < 1 && value.minute() < 1) {
            if (!rs.NoMatch()) rs.Delete();
            lID = 0;
            return;
        }
        // A record that vanished from the file is written again as a new one.
        adding = rs.NoMatch();
    }

    bool writeDuration = true, writeDate = true;
    if (adding) {
        rs.AddNew();
        rs.SetField("Payroll Item ID", jet::Value::int16(2));
        rs.SetField("Billable Status", jet::Value::boolean(m_bBillable));
    } else {
        // What already reads as the cell stays as stored: a duration with seconds
        // is not cut to whole minutes just because its week was saved.
        jet::Value d = rs.Field("Duration");
        writeDuration = d.isNull() || shownMinutes(numberOf(d)) != value.hour() * 60 + value.minute();
        jet::Value u = rs.Field("UserDate");
        writeDate = u.isNull() || std::floor(numberOf(u)) != daysOf(dtDay);
        rs.Edit();
    }
    rs.SetField("CustJob ID", jet::Value::int32(idRef(0, nRow)));
    rs.SetField("Service ID", jet::Value::int32(idRef(1, nRow)));
    rs.SetField("Class ID", jet::Value::int32(idRef(2, nRow)));
    if (writeDate) rs.SetField("UserDate", jet::Value::date(daysOf(dtDay)));
    rs.SetField("CreateTime", jet::Value::date(Clock::nowDays()));
    if (writeDuration) rs.SetField("Duration", jet::Value::date(duration));
    rs.SetField("Name ID", jet::Value::int32(m_lNameID));
    rs.Update();
    rs.SetBookmark(rs.LastModified());
    lID = static_cast<int32_t>(numberOf(rs.Field("ID")));
}

void Hourgrid::SaveCurrentCell() {
    if (!m_bDbOpen) return;
    const int row = Grid.row(), col = Grid.col();
    // Only a duration cell of a data row stands for an activity: a B or N cell's
    // text is no duration, and the totals row holds sums.
    if (col < 3 || col > 21 || (col - 3) % 3 != 0 || row < 1 || row > Grid.rows() - 2) return;
    const QDate day = m_days[static_cast<size_t>((col - 3) / 3)];

    try {
        auto rs = m_db->OpenKeyedDynaset(kActivities);
        int32_t& id = idRef(col, row);
        WriteActivity(static_cast<int16_t>(row), *rs, Grid.textMatrix(row, col), day, id);
        bool found = false;
        if (id > 0) {
            rs->FindFirst(findCriteria(id));
            found = !rs->NoMatch();
        }
        if (found) {
            jet::Value noteValue = rs->Field("Note");
            std::string note = noteValue.isText() ? noteValue.asText() : std::string();
            bool hasNote = !note.empty();
            bool billable = flagOf(rs->Field("Billable Status"));
            bool exported = flagOf(rs->Field("Exported"));
            Grid.setTextMatrix(row, col + 2, note);
            ui::Color fore = billable ? (hasNote ? kMagenta : kGreen) : (hasNote ? kBlue : ui::kSysWindowText);
            Grid.setTextMatrix(row, col + 1, billable ? "*" : "");
            Grid.setColorsAt(row, col, fore, exported ? ui::kSysWindowBackground : kNotExported);
        } else {
            Grid.setColorsAt(row, col, ui::kSysWindowText, ui::kSysWindowBackground);
        }
        rs->Close();
    } catch (const std::exception& e) {
        // Each write stands alone, so the cell's ID still names what the file holds.
        platform_.messageBox(timerdb::describe(e), ui::Buttons::OK, ui::Icon::None, kTitle);
    }
}

}  // namespace app
