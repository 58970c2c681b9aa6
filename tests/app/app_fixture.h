// The main window driven headlessly against a temporary copy of a Timer test
// file, with today fixed at Sunday 12/06/2026 and a private settings file.
#pragma once

#include <memory>
#include <string>

#include "app/hourgrid.h"
#include "app/settings.h"
#include "test_files.h"
#include "jet/database.h"
#include "jet/query.h"
#include "scripted_platform.h"
#include "timerdb/timerdb.h"

namespace fs = std::filesystem;

class AppFixture : public ScratchFixture {
protected:
    void TearDown() override {
        win.reset();
        store.reset();
        ScratchFixture::TearDown();
    }
    // A fresh settings store and window, as at a program start.
    app::Hourgrid& start() {
        win.reset();
        store = std::make_unique<app::QtSettingsStore>(iniPath);
        win = std::make_unique<app::Hourgrid>(platform, *store);
        return *win;
    }
    static std::string engineError(const std::string& path) {
        try {
            jet::Database::open(path, jet::OpenMode::Exclusive);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "<opened>";
    }
    static int32_t nameId(const std::string& path, const std::string& name) {
        auto db = jet::Database::open(path);
        auto rs = jet::runNamed(*db, "Names");
        int n = rs.columnIndex("NameStr"), id = rs.columnIndex("ID");
        for (const auto& r : rs.rows)
            if (!r[n].isNull() && r[n].asText() == name) return r[id].asInt32();
        return -1;
    }
    // Starts the program on a fresh copy of `name` (remembered in the settings),
    // as a user who opened it before; returns the loaded window.
    app::Hourgrid& openTimer(const std::string& name = "sample.tdb") {
        timerPath = copyTimer(name);
        return load(timerPath);
    }
    // Starts the program with `path` remembered as its Timer file.
    app::Hourgrid& load(const std::string& path) {
        writeSetting("File", path);
        start().Form_Load();
        return *win;
    }
    // What the window shows of its file, as "file|person|week|person ID|recent days|billable": the
    // file's name when it is open and named in the caption, "-" when none is open and none is named.
    std::string shows() {
        const app::Hourgrid& w = *win;
        std::string file = w.caption() == app::kCaption && !w.m_bDbOpen ? "-" : "caption " + w.caption();
        if (w.m_bDbOpen && w.caption() == std::string(app::kCaption) + " - " + w.timerFile())
            file = fs::path(w.timerFile()).filename().string();
        return file + "|" + w.sbStatusBar.panelText(2) + "|" + w.sbStatusBar.panelText(4) + "|" + std::to_string(w.m_lNameID) +
               "|" + std::to_string(w.m_recentDays) + "|" + (w.m_bBillable ? "billable" : "not billable");
    }
    // The texts of the messages shown so far, which are then forgotten.
    std::vector<std::string> said() {
        std::vector<std::string> t;
        for (const auto& m : platform.messages) t.push_back(m.text);
        platform.messages.clear();
        return t;
    }

    ScriptedPlatform platform;
    std::unique_ptr<app::QtSettingsStore> store;
    std::unique_ptr<app::Hourgrid> win;
};
using Texts = std::vector<std::string>;
