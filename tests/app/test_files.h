// The scratch files of every program-level test: copies of Timer test files and a private settings file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <QDateTime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include "app/clock.h"
#include "app/settings.h"

namespace testfiles {

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

// A scratch folder for the Timer file copies and the settings file, with today fixed at Sunday 12/06/2026 10:00.
class ScratchFixture : public ::testing::Test {
protected:
    void SetUp() override {
        app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
        char tmpl[] = "/tmp/hourgrid-test-XXXXXX";
        iniPath = ((dir = mkdtemp(tmpl)) / "Hourgrid.conf").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir), app::Clock::useSystem(); }
    // Copies tests/data/timer/<name> into the folder (as `as` when given), without a journal left by an earlier copy.
    std::string copyTimer(const std::string& name, const std::string& as = "") {
        const std::filesystem::path dst = dir / (as.empty() ? name : as);
        std::filesystem::copy_file(std::filesystem::path(TEST_DATA_DIR) / "timer" / name, dst, std::filesystem::copy_options::overwrite_existing);
        return std::filesystem::remove(dst.string() + "-journal"), dst.string();
    }
    void writeSetting(const std::string& key, const std::string& value) { app::QtSettingsStore s(iniPath); s.set(key, value), s.flush(); }
    std::string readSetting(const std::string& key) { return app::QtSettingsStore(iniPath).get(key, "<absent>"); }
    std::filesystem::path dir;
    std::string iniPath, timerPath;
};
