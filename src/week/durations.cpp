// Durations typed by the user and the totals of the week.
#include <QLocale>
#include <QString>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "app/hourgrid.h"
#include "week/durations.h"

namespace app {

namespace {

constexpr const char* kEnterValidTime = "Enter a valid time. For example: 2:00 or 120 or 2";
constexpr const char* kMoreThan2359 = "You cannot enter more than 23:59 for any activity: ";

// Adds minutes to an (hours, minutes) pair keeping 0 <= minutes < 60. Hours stop
// at the 16-bit limit rather than wrapping round to a negative total.
void addToPair(int16_t& hours, int16_t& minutes, int h, int m) {
    int total = minutes + m;
    int carry = total >= 0 ? total / 60 : -((59 - total) / 60);
    int newHours = hours + h + carry;
    if (newHours > INT16_MAX) newHours = INT16_MAX;
    if (newHours < INT16_MIN) newHours = INT16_MIN;
    hours = static_cast<int16_t>(newHours);
    minutes = static_cast<int16_t>(total - carry * 60);
}

std::string twoDigits(int v) {
    std::string s = std::to_string(v < 0 ? -v : v);
    if (s.size() < 2) s.insert(0, 1, '0');
    return v < 0 ? "-" + s : s;
}

std::string formatTotal(int16_t hours, int16_t minutes) { return twoDigits(hours) + ":" + twoDigits(minutes); }

}  // namespace

namespace week {

std::string trimBlanks(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

double roundHalfEven(double x) {
    double f = std::floor(x);
    double diff = x - f;
    if (diff > 0.5) return f + 1;
    if (diff < 0.5) return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

bool toNumber(const std::string& text, double& value) {
    std::string t = trimBlanks(text);
    if (t.empty()) return false;
    // Plain digits are by far the usual case and read the same in every locale.
    if (t.find_first_not_of("0123456789") == std::string::npos && t.size() < 10) {
        long n = 0;
        std::from_chars(t.data(), t.data() + t.size(), n);
        value = static_cast<double>(n);
        return true;
    }
    bool ok = false;
    double v = QLocale().toDouble(QString::fromStdString(t), &ok);
    if (!ok || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool toInt16(const std::string& text, int16_t& value) {
    double v = 0;
    if (!toNumber(text, v)) return false;
    v = roundHalfEven(v);
    if (v < INT16_MIN || v > INT16_MAX) return false;
    value = static_cast<int16_t>(v);
    return true;
}

std::string dateText(const QDate& d) { return QLocale().toString(d, QLocale::ShortFormat).toStdString(); }

}  // namespace week

bool Hourgrid::ParseDuration(std::string& text, QTime& value) {
    // The leave-cell commit calls this while the edited cell is still current.
    int c = Grid.col();
    QDate day = c >= 3 && c <= 23 ? m_days[static_cast<size_t>((c - 3) / 3)] : QDate();
    return ParseDuration(text, value, day);
}

bool Hourgrid::ParseDuration(std::string& text, QTime& value, const QDate& dtDay) {
    text = week::trimBlanks(text);
    if (text.empty()) return false;

    int h = 0, m = 0;
    bool ok = true;
    size_t p = text.find(':');
    if (p != std::string::npos) {
        int16_t hh = 0, mm = 0;
        ok = week::toInt16(text.substr(0, p), hh) && week::toInt16(text.substr(p + 1), mm);
        h = hh;
        m = mm;
    } else {
        double v = 0;
        ok = week::toNumber(text, v);
        if (ok) {
            double whole = std::trunc(v);
            ok = whole >= INT16_MIN && whole <= INT16_MAX;
            if (ok) {
                int i = static_cast<int>(whole);
                int f = static_cast<int>(week::roundHalfEven((v - whole) * 60));
                if (i <= 12 || f != 0) {
                    h = i;
                    m = f;
                } else {
                    m = i;  // a whole number above 12 counts minutes
                }
            }
        }
    }
    if (ok && ((h == 0 && m == 0) || h < 0 || m < 0)) ok = false;
    if (!ok) {
        platform_.messageBox(kEnterValidTime, ui::Buttons::OK, ui::Icon::None, kTitle);
        return false;
    }
    // A day or more would keep only its time of day: refuse it rather than store
    // a different duration from the one typed.
    int total = h * 60 + m;
    if (total >= 24 * 60) {
        platform_.messageBox(kMoreThan2359 + week::dateText(dtDay), ui::Buttons::OK, ui::Icon::None, kTitle);
        return false;
    }
    value = QTime(total / 60, total % 60, 0);
    return true;
}

void Hourgrid::AddDurationText(int16_t& hours, int16_t& minutes, const std::string& text) {
    if (text.empty()) return;
    size_t p = text.find(':');
    if (p == std::string::npos) return;
    int16_t h = 0, m = 0;
    if (!week::toInt16(text.substr(0, p), h)) return;
    if (!week::toInt16(text.substr(p + 1), m)) m = 0;
    addToPair(hours, minutes, h, m);
}

void Hourgrid::UpdateTotals() {
    m_bNoLeaveCell = true;
    const int rows = Grid.rows();
    if (rows < 2 || Grid.cols() < 25) {
        m_bNoLeaveCell = false;
        return;
    }
    const int oldRow = Grid.row(), oldCol = Grid.col();
    setMousePointer(ui::MousePointer::Hourglass);

    const int last = rows - 1;
    struct Pair {
        int16_t h = 0, m = 0;
    };
    std::vector<Pair> rowTotals(static_cast<size_t>(rows));
    Pair dayTotals[7], grand;
    for (int r = 1; r <= rows - 2; ++r) {
        for (int c = 3; c <= 21; c += 3) {
            const std::string& t = Grid.textMatrix(r, c);
            if (t.empty()) continue;
            Pair& d = dayTotals[(c - 3) / 3];
            AddDurationText(d.h, d.m, t);
            Pair& rt = rowTotals[static_cast<size_t>(r)];
            AddDurationText(rt.h, rt.m, t);
        }
    }

    Grid.setRow(last);
    for (int c = 0; c <= 24; ++c) {
        Grid.setCol(c);
        Grid.setCellBackColor(ui::kSys3DLight);
    }
    Grid.setCol(2);
    Grid.setText("Totals:");
    for (int c = 3; c <= 21; c += 3) {
        Grid.setCol(c);
        const Pair& d = dayTotals[(c - 3) / 3];
        Grid.setText(formatTotal(d.h, d.m));
        Grid.setCellBackColor(ui::kSys3DLight);
        AddDurationText(grand.h, grand.m, Grid.text());
    }
    Grid.setCol(24);
    for (int r = 1; r <= rows - 2; ++r) {
        Grid.setRow(r);
        const Pair& rt = rowTotals[static_cast<size_t>(r)];
        Grid.setText(formatTotal(rt.h, rt.m));
        Grid.setCellBackColor(ui::kSys3DLight);
    }
    Grid.setRow(last);
    Grid.setText(formatTotal(grand.h, grand.m));
    Grid.setCellBackColor(ui::kSys3DLight);

    Grid.setRow(oldRow);
    Grid.setCol(oldCol);
    setMousePointer(ui::MousePointer::Default);
    m_bNoLeaveCell = false;
}

}  // namespace app
