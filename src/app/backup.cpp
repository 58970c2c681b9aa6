#include "app/backup.h"

#include <QCryptographicHash>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "app/clock.h"
#include "app/hourgrid.h"

namespace fs = std::filesystem;

namespace app {
namespace {

// The part of a copy's name that stands for the file; the day follows it.
std::string prefixOf(const fs::path& file) {
    std::error_code ec;
    fs::path full = fs::absolute(file, ec);
    if (fs::path c = fs::weakly_canonical(full, ec); !ec) full = c;
    const std::string key = full.string();
    QByteArray hash = QCryptographicHash::hash(QByteArray(key.data(), static_cast<qsizetype>(key.size())),
                                               QCryptographicHash::Sha1)
                          .toHex()
                          .left(8);
    return file.stem().string() + "-" + hash.toStdString() + "-";
}

}  // namespace

std::string backupName(const std::string& timerFile, const QDate& day) {
    const fs::path file(timerFile);
    return prefixOf(file) + day.toString("yyyy-MM-dd").toStdString() + file.extension().string();
}

DailyBackup::DailyBackup(ui::Platform& platform, SettingsStore& settings)
    : platform_(platform), settings_(settings), folder_((fs::path(settings.folder()) / "backups").string()) {}

void DailyBackup::beforeWrite(timerdb::Database& db) {
    const QDate today = Clock::today();
    QDate& handled = handled_[db.path()];
    if (handled == today) return;
    // Marked first: the message below may let another change through before it closes.
    handled = today;
    const int keep = toInt(settings_.get(kBackupCountKey, std::to_string(kBackupCountDefault)), kBackupCountDefault);
    if (keep <= 0) return;
    try {
        copy(db, today, keep);
    } catch (const std::exception& e) {
        platform_.messageBox("Today's backup copy of '" + db.path() + "' could not be made in '" + folder_ + "':\r" +
                                 timerdb::describe(e) + "\rYour changes are still saved to the Timer file.",
                             ui::Buttons::OK, ui::Icon::Exclamation, kTitle);
    }
}

void DailyBackup::copy(timerdb::Database& db, const QDate& today, int keep) {
    const std::string name = backupName(db.path(), today);
    const fs::path dest = fs::path(folder_) / name;
    fs::create_directories(folder_);
    if (!fs::exists(dest)) db.engine().copyTo(dest.string());

    // Oldest copies of this file beyond the number kept; another day's try removes what stays.
    const std::string prefix = prefixOf(db.path()), ext = fs::path(db.path()).extension().string();
    const size_t dateLength = 10;
    std::vector<std::string> copies;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
        const std::string n = entry.path().filename().string();
        if (n.size() == prefix.size() + dateLength + ext.size() && n.starts_with(prefix) && n.ends_with(ext) &&
            QDate::fromString(QString::fromStdString(n.substr(prefix.size(), dateLength)), "yyyy-MM-dd").isValid())
            copies.push_back(n);
    }
    std::sort(copies.rbegin(), copies.rend());
    for (size_t i = static_cast<size_t>(keep); i < copies.size(); ++i) fs::remove(fs::path(folder_) / copies[i], ec);
}

}  // namespace app
