// The scratch files every program-level test works on: a copy of a Timer test
// file and a private settings file.
#pragma once

#include <filesystem>
#include <string>

#include "app/settings.h"

namespace testfiles {

// Copies tests/data/timer/<name> into `dir` (as `as` when given); returns the copy's path.
inline std::string copyTimer(const std::filesystem::path& dir, const std::string& name, const std::string& as = "") {
    namespace fs = std::filesystem;
    fs::path dst = dir / (as.empty() ? name : as);
    fs::copy_file(fs::path(TEST_DATA_DIR) / "timer" / name, dst, fs::copy_options::overwrite_existing);
    // A fresh file: the journal an interrupted write left beside the old one is not its own.
    fs::remove(dst.string() + "-journal");
    return dst.string();
}

inline void writeSetting(const std::string& iniPath, const std::string& key, const std::string& value) {
    app::QtSettingsStore s(iniPath);
    s.set(key, value);
    s.flush();
}

inline std::string readSetting(const std::string& iniPath, const std::string& key) {
    app::QtSettingsStore s(iniPath);
    return s.get(key, "<absent>");
}

}  // namespace testfiles
