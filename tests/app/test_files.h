// The scratch files every program-level test works on: a copy of a Timer test
// file and a private settings file.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    return app::QtSettingsStore(iniPath).get(key, "<absent>");
}
inline std::string bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
// What a shell command prints (an independent reader such as mdb-export); "" when it cannot run.
inline std::string output(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}
inline bool have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0; }

}  // namespace testfiles
