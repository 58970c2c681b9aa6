// The program's notion of "now": the system clock, or a fixed moment in tests.
#pragma once

#include <QDate>
#include <QDateTime>

namespace app {

class Clock {
public:
    static QDateTime now() { return fixed_.isValid() ? fixed_ : QDateTime::currentDateTime(); }
    static QDate today() { return now().date(); }
    // Local date and time as days since 12/30/1899, as the engine counts them.
    static double nowDays() {
        QDateTime n = now();
        return static_cast<double>(QDate(1899, 12, 30).daysTo(n.date())) + n.time().msecsSinceStartOfDay() / 86400000.0;
    }
    static void setFixed(const QDateTime& t) { fixed_ = t; }
    static void useSystem() { fixed_ = QDateTime(); }

private:
    static inline QDateTime fixed_;
};

}  // namespace app
