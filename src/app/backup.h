// Daily copies of the Timer file, kept beside the settings: before the first
// change of each day to a file, a copy of it as it was.
#pragma once

#include <QDate>
#include <map>
#include <string>

#include "app/settings.h"
#include "timerdb/timerdb.h"
#include "ui/platform.h"

namespace app {

// The settings key of the number of copies kept per file; 0 makes none.
inline constexpr const char* kBackupCountKey = "BackupCount";
inline constexpr int kBackupCountDefault = 10;

// A copy's file name: the file's name, a short hash of its full path (files of
// one name in different folders keep apart) and the day, which sorts by date.
std::string backupName(const std::string& timerFile, const QDate& day);

class DailyBackup {
public:
    DailyBackup(ui::Platform& platform, SettingsStore& settings);
    // Makes the day's copy of the open file unless it exists already, then keeps
    // only the newest copies of that file. A copy that cannot be made is reported
    // (once a day per file) and the change goes on.
    void beforeWrite(timerdb::Database& db);

private:
    void copy(timerdb::Database& db, const QDate& today, int keep);

    ui::Platform& platform_;
    SettingsStore& settings_;
    std::string folder_;
    std::map<std::string, QDate> handled_;  // file path -> the last day copied or reported
};

}  // namespace app
