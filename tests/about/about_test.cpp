// The About box, the web link and the system-information button, with the
// desktop's browser association and the PATH pointed at temporary folders
// holding fake .desktop files and scripts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "about/about.h"
#include "app_fixture.h"

namespace {

class RecordingStarter : public app::ProcessStarter {
public:
    struct Call {
        std::string program;
        std::vector<std::string> args;
    };
    std::vector<Call> calls;
    bool result = true;
    bool startDetached(const std::string& program, const std::vector<std::string>& args) override {
        calls.push_back({program, args});
        return result;
    }
};

// Environment variables that find programs and associations, set for one test.
class Desktop {
public:
    explicit Desktop(const fs::path& root) : root_(root) {
        for (const char* v : {"PATH", "HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME",
                              "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP"}) {
            const char* old = std::getenv(v);
            saved_[v] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        for (const char* d : {"bin", "home", "tmp", "config", "etc-xdg", "data-home", "data1", "data2"})
            fs::create_directories(root / d);
        setenv("PATH", (root / "bin").c_str(), 1);
        setenv("HOME", (root / "home").c_str(), 1);
        setenv("TMPDIR", (root / "tmp").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root / "etc-xdg").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data-home").c_str(), 1);
        setenv("XDG_DATA_DIRS", ((root / "data1").string() + ":" + (root / "data2").string()).c_str(), 1);
        unsetenv("XDG_CURRENT_DESKTOP");
    }
    ~Desktop() {
        for (auto& [k, v] : saved_) {
            if (v) setenv(k.c_str(), v->c_str(), 1);
            else unsetenv(k.c_str());
        }
    }
    fs::path path(const std::string& rel) const { return root_ / rel; }
    void write(const std::string& rel, const std::string& text, bool executable = false) const {
        fs::path p = root_ / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
        if (executable) chmod(p.c_str(), 0755);
    }
    // A desktop entry in a data folder ("data1", "data-home", ...).
    void app(const std::string& dataDir, const std::string& id, const std::string& exec,
             const std::string& extra = "") const {
        write(dataDir + "/applications/" + id,
              "[Desktop Entry]\nType=Application\nName=" + id + "\nExec=" + exec + "\n" + extra);
    }
    // `id` as the user's default for web pages.
    void defaultHtml(const std::string& id) const {
        write("config/mimeapps.list", "[Default Applications]\ntext/html=" + id + "\n");
    }
    // An installed entry `id` running `exec`, the user's default for web pages.
    void browser(const std::string& id, const std::string& exec, const std::string& extra = "") const {
        app("data1", id, exec, extra);
        defaultHtml(id);
    }
    // A script on the PATH that writes its arguments, one a line, to `out`.
    void recorder(const std::string& name, const fs::path& out) const {
        write("bin/" + name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out.string() + "'\n",
              true);
    }

private:
    fs::path root_;
    std::map<std::string, std::optional<std::string>> saved_;
};

std::string waitForFile(const fs::path& p) {
    for (int i = 0; i < 100; ++i) {
        if (fs::exists(p) && fs::file_size(p) > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::ifstream in(p);
            std::stringstream s;
            s << in.rdbuf();
            return s.str();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "<not written>";
}

class AboutTest : public AppFixture {
protected:
    void TearDown() override {
        app::setProcessStarter(nullptr);
        AppFixture::TearDown();
    }
    // Opens Help > About and lets `play` act while it is shown.
    void showAbout(std::function<void(app::frmAbout&)> play) {
        platform.onModal = [play](ui::Form& f) { play(dynamic_cast<app::frmAbout&>(f)); };
        size_t before = platform.modalForms.size();
        win->HelpMenuAbout_Click();
        ASSERT_EQ(platform.modalForms.size(), before + 1);
    }
    // Help > About, a click on the web link, then OK.
    void clickLink() {
        showAbout([](app::frmAbout& a) {
            a.LinkLabel.onClick();
            a.cmdOK.click();
        });
    }
};

TEST_F(AboutTest, TheBoxShowsTitleVersionTextsAndALink) {
    openTimer();
    bool shownAfterOk = true;
    showAbout([&](app::frmAbout& a) {
        EXPECT_EQ(a.lblVersion.caption(), std::string("Version ") + PROJECT_VERSION_TEXT);
        EXPECT_TRUE(std::regex_match(a.lblVersion.caption(), std::regex("Version (0|[1-9][0-9]*)(\\.(0|[1-9][0-9]*)){2}")))
            << a.lblVersion.caption();
        EXPECT_EQ(a.Text1.text(), "Note: you must use the QuickBooks Timer to \r\nimport lists and export time.\r\n");
        EXPECT_EQ(a.Text2.text(),
                  "Hourgrid for QuickBooks -- a replacement for the QuickBooks Timer.\r\n\r\n"
                  "For more information, visit our web site:\r\n");
        EXPECT_EQ(a.LinkLabel.caption(), app::kWebAddress);
        // The separator lies between the texts and the buttons.
        EXPECT_GT(a.Line1.top(), a.LinkLabel.top() + a.LinkLabel.height());
        EXPECT_LT(a.Line2.top(), a.cmdOK.top());
        for (ui::Control* c : a.controls()) {
            EXPECT_LE(c->left() + c->width(), a.width()) << c->name;
            EXPECT_LE(c->top() + c->height(), a.height()) << c->name;
        }
        a.cmdOK.click();
        shownAfterOk = a.visible();
    });
    EXPECT_FALSE(shownAfterOk);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(AboutTest, TheLinkOpensTheAddressInTheDefaultBrowser) {
    openTimer();
    Desktop desk(dir / "desk");
    fs::path out = dir / "browser-args.txt";
    desk.recorder("fakebrowser", out);
    desk.browser("fake-browser.desktop", "fakebrowser --new-window %u");
    clickLink();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(waitForFile(out), std::string("--new-window\n") + app::kWebAddress + "\n");
    EXPECT_TRUE(fs::is_empty(desk.path("tmp"))) << "a file was left in the temporary folder";
}

TEST_F(AboutTest, NoBrowserOrOneThatDoesNotStartIsReported) {
    openTimer();
    struct Case {
        const char* what;
        std::function<void(const Desktop&)> setUp;
        const char* text;
        const char* title;
    };
    const Case cases[] = {
        {"no association at all", [](const Desktop&) {}, "Could not find a Browser to launch!", "Browser Not Found"},
        {"associated entry not installed",
         [](const Desktop& d) { d.defaultHtml("gone.desktop"); },
         "Could not find a Browser to launch!", "Browser Not Found"},
        {"entry hidden",
         [](const Desktop& d) { d.browser("b.desktop", "true %u", "Hidden=true\n"); },
         "Could not find a Browser to launch!", "Browser Not Found"},
        {"program missing",
         [](const Desktop& d) { d.browser("b.desktop", "no-such-browser %u"); },
         "Could not open web page", "URL Failed"},
        {"program not executable",
         [](const Desktop& d) {
             d.write("bin/plainfile", "not a program\n");
             d.browser("b.desktop", d.path("bin/plainfile").string() + " %u");
         },
         "Could not open web page", "URL Failed"},
        {"interpreter missing",
         [](const Desktop& d) {
             d.write("bin/broken", "#!/nonexistent/interpreter\n", true);
             d.browser("b.desktop", "broken %u");
         },
         "Could not open web page", "URL Failed"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Desktop desk(dir / ("desk" + std::to_string(n++)));
        c.setUp(desk);
        platform.messages.clear();
        clickLink();
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, c.text);
        EXPECT_EQ(platform.messages[0].title, c.title);
        EXPECT_EQ(platform.messages[0].icon, ui::Icon::Exclamation);
        EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::OK);
        EXPECT_TRUE(fs::is_empty(desk.path("tmp"))) << "a file was left in the temporary folder";
    }
}

TEST_F(AboutTest, TheBrowserIsTheFirstInstalledHandlerInXdgOrder) {
    struct Case {
        const char* what;
        std::function<void(const Desktop&)> setUp;
        const char* program;  // nullptr: none
    };
    auto apps = [](const Desktop& d) {
        for (const char* id : {"a.desktop", "b.desktop", "c.desktop", "d.desktop"})
            d.app("data2", id, std::string(id, 1) + "-browser %u");
    };
    const Case cases[] = {
        {"user default over system default",
         [](const Desktop& d) {
             d.write("etc-xdg/mimeapps.list", "[Default Applications]\ntext/html=a.desktop\n");
             d.defaultHtml("b.desktop");
         },
         "b-browser"},
        {"desktop-specific list first",
         [](const Desktop& d) {
             setenv("XDG_CURRENT_DESKTOP", "Test:GNOME", 1);
             d.defaultHtml("b.desktop");
             d.write("config/gnome-mimeapps.list", "[Default Applications]\ntext/html=c.desktop\n");
         },
         "c-browser"},
        {"uninstalled default skipped",
         [](const Desktop& d) {
             d.write("config/mimeapps.list", "[Default Applications]\ntext/html=gone.desktop;d.desktop;\n");
         },
         "d-browser"},
        {"default in a data folder",
         [](const Desktop& d) {
             d.write("data1/applications/mimeapps.list", "[Default Applications]\ntext/html=a.desktop\n");
         },
         "a-browser"},
        {"added association without a default",
         [](const Desktop& d) {
             d.write("config/mimeapps.list", "[Added Associations]\ntext/html=c.desktop;\n"
                                             "[Default Applications]\nimage/png=a.desktop\n");
         },
         "c-browser"},
        {"mime cache as the last resort",
         [](const Desktop& d) {
             d.write("data2/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=a.desktop;\ntext/html=b.desktop;\n");
         },
         "b-browser"},
        {"other types only",
         [](const Desktop& d) {
             d.write("config/mimeapps.list", "[Default Applications]\ntext/htmlx=a.desktop\nx-text/html=b.desktop\n");
         },
         nullptr},
        {"entry in a vendor subfolder",
         [](const Desktop& d) {
             d.app("data1", "vendor/web.desktop", "vendor-web %u");
             d.defaultHtml("vendor-web.desktop");
         },
         "vendor-web"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Desktop desk(dir / ("desk" + std::to_string(n++)));
        apps(desk);  // a.desktop to d.desktop, whatever the case
        c.setUp(desk);
        auto cmd = app::defaultBrowserCommand("https://x.test/");
        if (!c.program) {
            EXPECT_FALSE(cmd.has_value());
            continue;
        }
        ASSERT_TRUE(cmd.has_value());
        EXPECT_EQ(cmd->program, c.program);
        EXPECT_EQ(cmd->args, std::vector<std::string>{"https://x.test/"});
    }
}

TEST_F(AboutTest, TheExecLineGetsTheAddressInPlaceOfItsFieldCode) {
    const std::string url = "https://x.test/a?b=1&c=2";
    struct Case {
        const char* exec;
        std::vector<std::string> expected;  // program first; empty: no command
    };
    const Case cases[] = {
        {"web %u", {"web", url}},
        {"web", {"web", url}},
        {"web --new-window %U", {"web", "--new-window", url}},
        {"web %f", {"web", url}},
        {"\"/opt/My Browser/web\" %u", {"/opt/My Browser/web", url}},
        {"web %i %c %k %u", {"web", url}},
        {"web --url=%u", {"web", "--url=" + url}},
        {"web 100%% %u", {"web", "100%", url}},
        {"web \"a \\\"quoted\\\" arg\" %u", {"web", "a \"quoted\" arg", url}},
        {"web %u %u", {"web", url}},
        {"env A=1 web %u", {"env", "A=1", "web", url}},
        {"\"My\\sBrowser\" %u", {"My Browser", url}},
        {"\"unclosed %u", {}},
        {"   ", {}},
    };
    Desktop desk(dir / "desk");
    desk.defaultHtml("t.desktop");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exec);
        desk.app("data1", "t.desktop", c.exec);
        auto cmd = app::defaultBrowserCommand(url);
        if (c.expected.empty()) {
            EXPECT_FALSE(cmd.has_value());
            continue;
        }
        ASSERT_TRUE(cmd.has_value());
        std::vector<std::string> got = {cmd->program};
        got.insert(got.end(), cmd->args.begin(), cmd->args.end());
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(AboutTest, SystemInfoStartsTheFirstKnownToolOnThePath) {
    openTimer();
    Desktop desk(dir / "desk");
    auto pressSysInfo = [&] {
        platform.messages.clear();
        showAbout([&](app::frmAbout& a) {
            a.cmdSysInfo.click();
            a.cmdOK.click();
        });
    };
    const char* unavailable = "System Information Is Unavailable At This Time";

    // None installed.
    pressSysInfo();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, unavailable);
    EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::OK);
    EXPECT_EQ(platform.messages[0].icon, ui::Icon::None);
    EXPECT_EQ(platform.messages[0].title, "Hourgrid");

    // A file of that name that is not executable is no tool.
    desk.write("bin/hardinfo", "#!/bin/sh\n");
    pressSysInfo();
    ASSERT_EQ(platform.messages.size(), 1u);

    // Two tools: the one earlier in the list is started, with no arguments.
    fs::path marker = dir / "sysinfo-ran.txt";
    desk.write("bin/gnome-system-monitor", "#!/bin/sh\necho monitor > '" + marker.string() + "'\n", true);
    desk.write("bin/kinfocenter", "#!/bin/sh\necho kinfocenter \"$#\" > '" + marker.string() + "'\n", true);
    pressSysInfo();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(waitForFile(marker), "kinfocenter 0\n");
    EXPECT_EQ(app::findSysInfoProgram(), desk.path("bin/kinfocenter").string());

    // A tool that is found but does not start.
    desk.write("bin/hardinfo2", "#!/nonexistent/interpreter\n", true);
    EXPECT_EQ(app::findSysInfoProgram(), desk.path("bin/hardinfo2").string());
    pressSysInfo();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, unavailable);

    // The same when the start is refused, whatever the tool.
    fs::remove(desk.path("bin/hardinfo2"));
    RecordingStarter starter;
    starter.result = false;
    app::setProcessStarter(&starter);
    pressSysInfo();
    ASSERT_EQ(starter.calls.size(), 1u);
    EXPECT_EQ(starter.calls[0].program, desk.path("bin/kinfocenter").string());
    EXPECT_TRUE(starter.calls[0].args.empty());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, unavailable);
}

TEST_F(AboutTest, TheLinkWorksWithoutATimerFile) {
    writeSetting("File", (dir / "missing.tdb").string());
    app::Hourgrid& w = start();
    w.Form_Load();
    ASSERT_FALSE(w.m_bDbOpen);
    Desktop desk(dir / "desk");
    desk.browser("w.desktop", "web %u");
    RecordingStarter starter;
    app::setProcessStarter(&starter);
    platform.messages.clear();
    clickLink();
    EXPECT_TRUE(platform.messages.empty());
    ASSERT_EQ(starter.calls.size(), 1u);
    EXPECT_EQ(starter.calls[0].program, "web");
    EXPECT_EQ(starter.calls[0].args, std::vector<std::string>{app::kWebAddress});
}

}  // namespace
