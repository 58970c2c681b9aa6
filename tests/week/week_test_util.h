// Helpers shared by the week tests: changing a Timer test copy before the
// program opens it, and reading the grid's duration cells.
#pragma once

#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <array>
#include <map>
#include <optional>
#include <string>

#include "app/hourgrid.h"
#include "jet/database.h"
#include "jet/query.h"
#include "jet/table.h"
#include "scripted_platform.h"

namespace weektest {

inline double serial(const QDate& d, const QTime& t = QTime(0, 0)) {
    return static_cast<double>(QDate(1899, 12, 30).daysTo(d)) + t.msecsSinceStartOfDay() / 86400000.0;
}

// A duration as the Timer file stores it.
inline jet::Value duration(int h, int m, int sec = 0) { return jet::Value::date(serial(QDate(1899, 12, 30), QTime(h, m, sec))); }

inline jet::FieldValues fieldValues(const jet::Table& t, const std::map<std::string, jet::Value>& values) {
    jet::FieldValues fv;
    for (const auto& [name, v] : values) {
        int c = t.columnIndex(name);
        EXPECT_GE(c, 0) << name;
        fv.push_back({c, v});
    }
    return fv;
}

// Changes fields of the activity with this ID in a closed Timer file.
inline void editActivity(const std::string& path, int32_t id, const std::map<std::string, jet::Value>& values) {
    auto db = jet::Database::open(path, jet::OpenMode::Exclusive);
    auto t = db->table("Activities");
    auto hits = t->seek(*t->primaryKey(), {jet::Value::int32(id)});
    ASSERT_EQ(hits.size(), 1u) << "activity " << id;
    db->updateRow("Activities", hits[0], fieldValues(*t, values));
}

// Adds an activity to a closed Timer file; returns its ID.
inline int32_t addActivity(const std::string& path, int32_t nameId, int32_t custJob, int32_t service, int32_t cls,
                           const QDate& day, const QTime& duration, bool billable = false, bool exported = false,
                           const QDateTime& created = QDateTime(QDate(2026, 12, 4), QTime(17, 5))) {
    auto db = jet::Database::open(path, jet::OpenMode::Exclusive);
    auto t = db->table("Activities");
    jet::Row stored;
    db->insertRow("Activities",
                  fieldValues(*t, {{"Name ID", jet::Value::int32(nameId)},
                                   {"CustJob ID", jet::Value::int32(custJob)},
                                   {"Service ID", jet::Value::int32(service)},
                                   {"Class ID", jet::Value::int32(cls)},
                                   {"Payroll Item ID", jet::Value::int16(2)},
                                   {"UserDate", jet::Value::date(serial(day))},
                                   {"CreateTime", jet::Value::date(serial(created.date(), created.time()))},
                                   {"Duration", jet::Value::date(serial(QDate(1899, 12, 30), duration))},
                                   {"Billable Status", jet::Value::boolean(billable)},
                                   {"Exported", jet::Value::boolean(exported)}}),
                  &stored);
    return stored[static_cast<size_t>(t->columnIndex("ID"))].asInt32();
}

// The ten values of a data row that tests compare: heading texts and the seven durations.
struct RowText {
    std::string custJob, service, cls;
    std::array<std::string, 7> days;
};

inline RowText rowText(const app::Hourgrid& w, int r) {
    RowText t{w.Grid.textMatrix(r, 0), w.Grid.textMatrix(r, 1), w.Grid.textMatrix(r, 2), {}};
    for (int d = 0; d < 7; ++d) t.days[static_cast<size_t>(d)] = w.Grid.textMatrix(r, 3 + 3 * d);
    return t;
}

// The one message shown: its text, an OK button, no icon and the program's title.
inline void expectOnlyMessage(const ScriptedPlatform& p, const std::string& text) {
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, text);
    EXPECT_EQ(p.messages[0].buttons, ui::Buttons::OK);
    EXPECT_EQ(p.messages[0].icon, ui::Icon::None);
    EXPECT_EQ(p.messages[0].title, "Hourgrid");
}

inline std::string shortDate(const QDate& d) { return QLocale().toString(d, QLocale::ShortFormat).toStdString(); }

// Sets the US locale for a test and gives back the one it found.
struct UsLocale {
    QLocale saved;
    UsLocale() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~UsLocale() { QLocale::setDefault(saved); }
};

}  // namespace weektest
