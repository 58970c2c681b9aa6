// The week tests' one way into the main window's private state and routines
// (add what other week tests need here, not in a second definition).
#pragma once

#include <QDate>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/hourgrid.h"
#include "timerdb/timerdb.h"

namespace app {

struct HourgridTestAccess {
    static std::vector<std::vector<int32_t>>& ids(Hourgrid& w) { return w.m_ids; }
    static int32_t& idRef(Hourgrid& w, int col, int row) { return w.idRef(col, row); }
    static std::array<QDate, 8>& days(Hourgrid& w) { return w.m_days; }
    static bool& noLeaveCell(Hourgrid& w) { return w.m_bNoLeaveCell; }
    static bool validateCell(Hourgrid& w, int row, const std::string& text, const QDate& day, int32_t id = 0) {
        return w.ValidateCell(static_cast<int16_t>(row), text, day, id);
    }
    static void writeActivity(Hourgrid& w, int row, timerdb::Recordset& rs, const std::string& text, const QDate& day,
                              int32_t& id) {
        w.WriteActivity(static_cast<int16_t>(row), rs, text, day, id);
    }
    static void saveCurrentCell(Hourgrid& w) { w.SaveCurrentCell(); }
};

}  // namespace app
