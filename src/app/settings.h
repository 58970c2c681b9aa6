// The per-user settings store: text values under application "Hourgrid",
// section "Startup".
#pragma once

#include <memory>
#include <string>

class QSettings;

namespace app {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or `def` when the key was never written.
    virtual std::string get(const std::string& key, const std::string& def) = 0;
    virtual void set(const std::string& key, const std::string& value) = 0;
    virtual void flush() {}
    // The folder the settings live in (the program keeps its backups beside them).
    virtual std::string folder() = 0;
};

// QSettings, organisation and application "Hourgrid" (on Linux
// $XDG_CONFIG_HOME/Hourgrid/Hourgrid.conf), or an explicit file for tests.
class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore();
    explicit QtSettingsStore(const std::string& iniFile);
    ~QtSettingsStore() override;
    std::string get(const std::string& key, const std::string& def) override;
    void set(const std::string& key, const std::string& value) override;
    void flush() override;
    std::string folder() override;

private:
    std::unique_ptr<QSettings> s_;
};

// Conversions of stored text; text that does not convert yields the default.
double toDouble(const std::string& text, double def);
int toInt(const std::string& text, int def);
bool toBool(const std::string& text, bool def);
// A number as decimal text, at most four decimals, without trailing zeros (8.25, 8).
std::string decimalText(double v);

}  // namespace app
