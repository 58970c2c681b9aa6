#include "app/settings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <cmath>

namespace app {

QtSettingsStore::QtSettingsStore() : s_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Hourgrid", "Hourgrid")) {}
QtSettingsStore::QtSettingsStore(const std::string& iniFile)
    : s_(std::make_unique<QSettings>(QString::fromStdString(iniFile), QSettings::IniFormat)) {}
QtSettingsStore::~QtSettingsStore() = default;

std::string QtSettingsStore::get(const std::string& key, const std::string& def) {
    QString k = QString("Startup/") + QString::fromStdString(key);
    if (!s_->contains(k)) return def;
    return s_->value(k).toString().toStdString();
}

void QtSettingsStore::set(const std::string& key, const std::string& value) {
    s_->setValue(QString("Startup/") + QString::fromStdString(key), QString::fromStdString(value));
}

void QtSettingsStore::flush() { s_->sync(); }

std::string QtSettingsStore::folder() {
#ifdef Q_OS_WIN
    // Settings in the registry have no folder: the user's application data stands in.
    if (s_->format() == QSettings::NativeFormat)
        return (QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Hourgrid").toStdString();
#endif
    return QFileInfo(s_->fileName()).absolutePath().toStdString();
}

double toDouble(const std::string& text, double def) {
    bool ok = false;
    double v = QString::fromStdString(text).trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? v : def;
}

int toInt(const std::string& text, int def) {
    double v = toDouble(text, std::nan(""));
    if (std::isnan(v) || v < -2147483648.0 || v > 2147483647.0) return def;
    return static_cast<int>(std::lround(v));
}

bool toBool(const std::string& text, bool def) {
    QString t = QString::fromStdString(text).trimmed();
    if (t.compare("True", Qt::CaseInsensitive) == 0) return true;
    if (t.compare("False", Qt::CaseInsensitive) == 0) return false;
    bool ok = false;
    double v = t.toDouble(&ok);
    return ok ? v != 0 : def;
}

std::string decimalText(double v) {
    QString s = QString::number(std::round(v * 10000.0) / 10000.0, 'f', 4);
    while (s.contains('.') && (s.endsWith('0') || s.endsWith('.'))) {
        bool dot = s.endsWith('.');
        s.chop(1);
        if (dot) break;
    }
    return s.toStdString();
}

}  // namespace app
