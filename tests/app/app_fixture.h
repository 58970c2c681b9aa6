// The main window driven headlessly on the scratch files of test_files.h.
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
    void TearDown() override { win.reset(), store.reset(), ScratchFixture::TearDown(); }
    // A fresh settings store and window, as at a program start.
    app::Hourgrid& start() {
        win.reset();
        store = std::make_unique<app::QtSettingsStore>(iniPath);
        win = std::make_unique<app::Hourgrid>(platform, *store);
        return *win;
    }
    static std::string engineError(const std::string& path) {
        try { jet::Database::open(path, jet::OpenMode::Exclusive); } catch (const std::exception& e) { return e.what(); }
        return "<opened>";
    }
    // Starts the program on a fresh copy of `name` remembered in the settings.
    app::Hourgrid& openTimer(const std::string& name = "sample.tdb") {
        timerPath = copyTimer(name);
        return load(timerPath);
    }
    // Starts the program with `path` remembered as its Timer file.
    app::Hourgrid& load(const std::string& path) { return writeSetting("File", path), start().Form_Load(), *win; }
    // "file|person|week|person ID|recent days|billable": the file's name when open and in the caption, "-" for none.
    std::string shows() {
        const app::Hourgrid& w = *win;
        std::string file = w.caption() == app::kCaption && !w.m_bDbOpen ? "-" : "caption " + w.caption();
        if (w.m_bDbOpen && w.caption() == std::string(app::kCaption) + " - " + w.timerFile())
            file = fs::path(w.timerFile()).filename().string();
        return file + "|" + w.sbStatusBar.panelText(2) + "|" + w.sbStatusBar.panelText(4) + "|" + std::to_string(w.m_lNameID) + "|" +
               std::to_string(w.m_recentDays) + "|" + (w.m_bBillable ? "billable" : "not billable");
    }
    // The texts of the messages shown so far, which are then forgotten.
    std::vector<std::string> said() {
        std::vector<std::string> t;
        for (const auto& m : platform.messages) t.push_back(m.text);
        return platform.messages.clear(), t;
    }
    ScriptedPlatform platform;
    std::unique_ptr<app::QtSettingsStore> store;
    std::unique_ptr<app::Hourgrid> win;
};
using Texts = std::vector<std::string>;
