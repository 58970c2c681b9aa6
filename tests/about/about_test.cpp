// The About box, its web link and system-information button (PATH and XDG folders faked), and the help manual.
#include <sys/stat.h>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <thread>
#include "about/about.h"
#include "about/help.h"
#include "app_fixture.h"
#include "editing/detail.h"
#include "prefs/prefs.h"
#include "week/date_dialog.h"

namespace {
// The variables that find programs and associations, pointed under `root` for one test.
struct Desktop {
    explicit Desktop(const fs::path& root) : root_(root) {
        for (auto [var, dir] : {std::pair<const char*, const char*>{"PATH", "bin"}, {"HOME", "home"}, {"TMPDIR", "tmp"},
                                {"XDG_CONFIG_HOME", "config"}, {"XDG_CONFIG_DIRS", "etc-xdg"}, {"XDG_DATA_HOME", "data-home"},
                                {"XDG_DATA_DIRS", "data1"}, {"XDG_CURRENT_DESKTOP", nullptr}}) {
            const char* old = std::getenv(var);
            saved_[var] = old ? std::optional<std::string>(old) : std::nullopt;
            if (!dir) unsetenv(var);
            else fs::create_directories(root / dir), setenv(var, (root / dir).c_str(), 1);
        }
        setenv("XDG_DATA_DIRS", ((root / "data1").string() + ":" + (root / "data2").string()).c_str(), 1);
    }
    ~Desktop() { for (auto& [k, v] : saved_) v ? setenv(k.c_str(), v->c_str(), 1) : unsetenv(k.c_str()); }
    fs::path path(const std::string& rel) const { return root_ / rel; }
    void write(const std::string& rel, const std::string& text, bool executable = false) const {
        fs::create_directories(path(rel).parent_path());
        std::ofstream(path(rel)) << text;
        if (executable) chmod(path(rel).c_str(), 0755);
    }
    // A desktop entry in a data folder ("data1", "data-home", ...).
    void app(const std::string& dataDir, const std::string& id, const std::string& exec, const std::string& extra = "") const {
        write(dataDir + "/applications/" + id, "[Desktop Entry]\nType=Application\nName=" + id + "\nExec=" + exec + "\n" + extra);
    }
    void defaultHtml(const std::string& id) const { write("config/mimeapps.list", "[Default Applications]\ntext/html=" + id + "\n"); }
    void browser(const std::string& id, const std::string& exec, const std::string& extra = "") const {
        app("data1", id, exec, extra), defaultHtml(id);
    }
    fs::path root_;
    std::map<std::string, std::optional<std::string>> saved_;
};

std::string waitForFile(const fs::path& p) {
    for (int i = 0; i < 100 && !(fs::exists(p) && fs::file_size(p) > 0); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return fs::exists(p) ? testfiles::bytes(p.string()) : "<not written>";
}

class AboutTest : public AppFixture {
protected:
    // Help > About with `play` acting while it is shown; by default a click on the link, then OK.
    void about(std::function<void(app::frmAbout&)> play = [](app::frmAbout& a) { a.LinkLabel.onClick(); }) {
        const size_t before = platform.modalForms.size();
        platform.onModal = [this, play](ui::Form& f) {
            play(dynamic_cast<app::frmAbout&>(f));
            dynamic_cast<app::frmAbout&>(f).cmdOK.click();
            closedByOk = !f.visible();
        };
        win->HelpMenuAbout_Click();
        ASSERT_EQ(platform.modalForms.size(), before + 1);
    }
    bool closedByOk = false;
};

TEST_F(AboutTest, TheBoxShowsVersionAndTexts) {
    load((dir / "missing.tdb").string());  // no Timer file needed
    said();
    bool shown = false;
    about([&](app::frmAbout& a) {
        EXPECT_EQ(a.lblVersion.caption(), std::string("Version ") + PROJECT_VERSION_TEXT);
        EXPECT_EQ(a.Text1.text(), "Note: you must use the QuickBooks Timer to \r\nimport lists and export time.\r\n");
        EXPECT_EQ(a.Text2.text(), "Hourgrid for QuickBooks -- a replacement for the QuickBooks Timer.\r\n\r\n"
                                  "For more information, visit our web site:\r\n");
        EXPECT_EQ(a.LinkLabel.caption(), app::kWebAddress);
        shown = a.visible();
    });
    EXPECT_EQ(std::tuple(shown, closedByOk, said()), std::tuple(true, true, Texts{}));
}

// The link starts the default browser on the address, or says why it cannot; nothing is left in the temporary folder.
TEST_F(AboutTest, TheLinkOpensTheDefaultBrowserOrSaysWhyNot) {
    openTimer();
    const std::string args = (dir / "args").string(), noBrowser = "Could not find a Browser to launch!|Browser Not Found",
                      failed = "Could not open web page|URL Failed";
    const std::tuple<const char*, std::function<void(const Desktop&)>, std::string> cases[] = {  // then the message, "": none
        {"a browser", [&](const Desktop& d) {
             d.write("bin/fakebrowser", "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + args + "'\n", true);
             d.browser("fake-browser.desktop", "fakebrowser --new-window %u"); }, ""},
        {"no association at all", [](const Desktop&) {}, noBrowser},
        {"associated entry not installed", [](const Desktop& d) { d.defaultHtml("gone.desktop"); }, noBrowser},
        {"entry hidden", [](const Desktop& d) { d.browser("b.desktop", "true %u", "Hidden=true\n"); }, noBrowser},
        {"program missing", [](const Desktop& d) { d.browser("b.desktop", "no-such-browser %u"); }, failed},
        {"program not executable", [](const Desktop& d) { d.write("bin/x", "x\n"), d.browser("b.desktop", d.path("bin/x").string()); }, failed},
        {"interpreter missing", [](const Desktop& d) { d.write("bin/x", "#!/nonexistent/sh\n", true), d.browser("b.desktop", "x"); }, failed}};
    int n = 0;
    for (const auto& [what, setUp, message] : cases) {
        SCOPED_TRACE(what);
        Desktop desk(dir / ("desk" + std::to_string(n++)));
        setUp(desk);
        about();
        std::string shown;
        for (const RecordedMessage& m : platform.messages)
            shown += m.text + "|" + m.title + (m.icon == ui::Icon::Exclamation && m.buttons == ui::Buttons::OK ? "" : " (not a warning)");
        EXPECT_EQ(shown, message);
        said();
        if (message.empty()) { EXPECT_EQ(waitForFile(args), std::string("--new-window\n") + app::kWebAddress + "\n"); }
        EXPECT_TRUE(fs::is_empty(desk.path("tmp"))) << "a file was left in the temporary folder";
    }
}

TEST_F(AboutTest, TheBrowserIsTheFirstInstalledHandlerInXdgOrder) {
    const std::string html = "[Default Applications]\ntext/html=", mime = "config/mimeapps.list";
    const std::tuple<const char*, std::vector<std::pair<std::string, std::string>>, const char*> cases[] = {  // files written, then the program
        {"user default over system default", {{"etc-xdg/mimeapps.list", html + "a.desktop\n"}, {mime, html + "b.desktop\n"}}, "b-browser"},
        {"desktop-specific list first", {{mime, html + "b.desktop\n"}, {"config/gnome-mimeapps.list", html + "c.desktop\n"}}, "c-browser"},
        {"uninstalled default skipped", {{mime, html + "gone.desktop;d.desktop;\n"}}, "d-browser"},
        {"default in a data folder", {{"data1/applications/mimeapps.list", html + "a.desktop\n"}}, "a-browser"},
        {"added association without a default",
         {{mime, "[Added Associations]\ntext/html=c.desktop;\n[Default Applications]\nimage/png=a.desktop\n"}}, "c-browser"},
        {"mime cache as the last resort", {{"data2/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=a.desktop;\ntext/html=b.desktop;\n"}},
         "b-browser"},
        {"other types only", {{mime, "[Default Applications]\ntext/htmlx=a.desktop\nx-text/html=b.desktop\n"}}, nullptr},
        {"entry in a vendor subfolder",
         {{"data1/applications/vendor/web.desktop", "[Desktop Entry]\nType=Application\nName=web\nExec=vendor-web %u\n"},
          {mime, html + "vendor-web.desktop\n"}}, "vendor-web"}};
    int n = 0;
    for (const auto& [what, files, program] : cases) {
        SCOPED_TRACE(what);
        Desktop desk(dir / ("desk" + std::to_string(n++)));
        for (const char* id : {"a.desktop", "b.desktop", "c.desktop", "d.desktop"}) desk.app("data2", id, std::string(id, 1) + "-browser %u");
        if (n == 2) setenv("XDG_CURRENT_DESKTOP", "Test:GNOME", 1);
        for (const auto& [file, text] : files) desk.write(file, text);
        auto cmd = app::defaultBrowserCommand("https://x.test/");
        EXPECT_EQ(cmd ? cmd->program + " " + cmd->args.at(0) : "none", program ? program + std::string(" https://x.test/") : "none");
    }
}

TEST_F(AboutTest, TheExecLineGetsTheAddressInPlaceOfItsFieldCode) {
    const std::string url = "https://x.test/a?b=1&c=2";
    const std::pair<const char*, std::vector<std::string>> cases[] = {  // program first; empty: no command
        {"web %u", {"web", url}}, {"web", {"web", url}}, {"web --new-window %U", {"web", "--new-window", url}}, {"web %f", {"web", url}},
        {"\"/opt/My Browser/web\" %u", {"/opt/My Browser/web", url}}, {"web %i %c %k %u", {"web", url}},
        {"web --url=%u", {"web", "--url=" + url}}, {"web 100%% %u", {"web", "100%", url}}, {"web %u %u", {"web", url}},
        {"web \"a \\\"quoted\\\" arg\" %u", {"web", "a \"quoted\" arg", url}}, {"env A=1 web %u", {"env", "A=1", "web", url}},
        {"\"My\\sBrowser\" %u", {"My Browser", url}}, {"\"unclosed %u", {}}, {"   ", {}}};
    Desktop desk(dir / "desk");
    for (const auto& [exec, expected] : cases) {
        desk.browser("t.desktop", exec);
        auto cmd = app::defaultBrowserCommand(url);
        std::vector<std::string> got;
        if (cmd) got = {cmd->program}, got.insert(got.end(), cmd->args.begin(), cmd->args.end());
        EXPECT_EQ(got, expected) << exec;
    }
}

TEST_F(AboutTest, SystemInfoStartsTheFirstKnownToolOnThePath) {
    openTimer();
    Desktop desk(dir / "desk");
    const std::string unavailable = "System Information Is Unavailable At This Time";
    auto sysInfo = [&] {  // the messages shown, each a plain box of the program's
        about([](app::frmAbout& a) { a.cmdSysInfo.click(); });
        for (const auto& m : platform.messages) EXPECT_EQ(std::pair(m.icon, m.title), std::pair(ui::Icon::None, std::string("Hourgrid")));
        return said();
    };
    EXPECT_EQ(sysInfo(), Texts{unavailable});  // none installed
    desk.write("bin/hardinfo", "#!/bin/sh\n");  // not executable: no tool
    EXPECT_EQ(sysInfo(), Texts{unavailable});
    // Two tools: the one earlier in the list is started, with no arguments.
    const std::string marker = (dir / "ran").string();
    desk.write("bin/gnome-system-monitor", "#!/bin/sh\necho monitor > '" + marker + "'\n", true);
    desk.write("bin/kinfocenter", "#!/bin/sh\necho kinfocenter \"$#\" > '" + marker + "'\n", true);
    EXPECT_EQ(sysInfo(), Texts{});
    EXPECT_EQ(waitForFile(marker), "kinfocenter 0\n");
    desk.write("bin/hardinfo2", "#!/nonexistent/interpreter\n", true);  // found, but does not start
    EXPECT_EQ(app::findSysInfoProgram(), desk.path("bin/hardinfo2").string());
    EXPECT_EQ(sysInfo(), Texts{unavailable});
}

// The page's text as a reader sees it: tags dropped, entities resolved, blanks folded.
std::string visibleText(const std::string& html) {
    std::string t = std::regex_replace(html, std::regex("<[^>]*>"), " ");
    for (auto [from, to] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&ldquo;", "\""}, {"&rdquo;", "\""}, {"&hellip;", "..."}, {"&amp;", "&"}})
        t = std::regex_replace(t, std::regex(from), to);
    return std::regex_replace(t, std::regex("\\s+"), " ");
}

// The manual is built beside the program, every page reachable and every link whole, and it names every command,
// button, panel, dialog and message.
TEST_F(AboutTest, TheHelpManualIsWholeAndDescribesEveryCommandAndMessage) {
    const fs::path contents = app::findHelpFile(), folder = contents.parent_path();
    openTimer().HelpMenuHelp_Click();
    ASSERT_EQ(platform.helpCalls.size(), 1u);
    EXPECT_EQ(std::pair(contents.filename(), fs::canonical(platform.helpCalls[0])), std::pair(fs::path("index.html"), fs::canonical(contents)));
    for (const auto& e : fs::directory_iterator(HELP_SOURCE_DIR))  // the build's copy is the current one
        EXPECT_EQ(testfiles::bytes((fs::path(HELP_BUILD_DIR) / e.path().filename()).string()), testfiles::bytes(e.path().string())) << e.path();
    std::map<std::string, std::string> pages;
    std::map<std::string, std::set<std::string>> ids;
    const std::regex href("href=\"([^\"#]*)#?([^\"]*)\""), idAttr("id=\"([^\"]*)\"");
    std::string corpus;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".html")
            corpus += visibleText(pages[e.path().filename().string()] = testfiles::bytes(e.path().string())) + "\n";
    ASSERT_GE(pages.size(), 10u);
    for (const auto& [name, html] : pages)
        for (std::sregex_iterator i(html.begin(), html.end(), idAttr), end; i != end; ++i) ids[name].insert((*i)[1]);
    for (const char* s : {"<title>Hourgrid for QuickBooks Pro Help Topics</title>", "<h1>Hourgrid for QuickBooks Pro Help Topics</h1>"})
        EXPECT_NE(pages["index.html"].find(s), std::string::npos) << s;
    std::set<std::string> reached = {"index.html"};
    for (std::vector<std::string> todo = {"index.html"}; !todo.empty();) {
        const std::string name = todo.back(), html = pages[name];
        todo.pop_back();
        for (const char* s : {"<!DOCTYPE html>", "<meta charset=\"utf-8\">", "href=\"hourgrid.css\""})
            EXPECT_NE(html.find(s), std::string::npos) << name << ": " << s;
        for (std::sregex_iterator i(html.begin(), html.end(), href), end; i != end; ++i) {
            const std::string file = (*i)[1].length() ? (*i)[1].str() : name, anchor = (*i)[2];
            EXPECT_EQ(file.find("://"), std::string::npos) << "the manual works offline: " << file;
            EXPECT_TRUE(fs::is_regular_file(folder / file) && (anchor.empty() || ids[file].count(anchor))) << name << ": " << (*i)[0];
            if (pages.count(file) && reached.insert(file).second) todo.push_back(file);
        }
    }
    for (const auto& [name, html] : pages) EXPECT_TRUE(reached.count(name)) << name << " is not linked";
    std::vector<std::string> missing;
    auto need = [&](std::string text) {
        std::erase(text, '&');  // captions lose their access-key marks
        if (corpus.find(text) == std::string::npos) missing.push_back(text);
    };
    app::Hourgrid& w = start();  // as built, before a file sets the print tip
    for (ui::Menu* m : w.menus()) {
        need(m->caption + " menu");
        for (const ui::MenuItem& i : m->items) need(i.caption), need(i.shortcut);
    }
    for (const ui::ToolButton& b : w.tbToolBar.buttons) need(b.toolTip);
    need("Prints to: ");
    for (const ui::StatusPanel& p : w.sbStatusBar.panels)
        if (p.raised) need(p.text);
    app::Prefs& prefs = w.prefsForm();
    app::frmAbout box(platform);
    for (const std::string& s : {prefs.caption(), prefs.RecentFrame.caption(), prefs.NameFrame.caption(), prefs.BillableFrame.caption(),
                                 prefs.ColumnsFrame.caption(), prefs.Billable.caption(), box.caption(), box.cmdSysInfo.caption(),
                                 w.dateDialogForm().caption(), w.detailForm().caption()})
        need(s);
    for (const ui::Tab& t : prefs.TabStrip1.tabs) need(t.caption);
    for (const std::string& tool : app::sysInfoPrograms()) need(tool);
    for (const char* m : {"Incorrect input. Enter a number from 0 to 3650.", "Please select a name.", "Could not open your preferences.",
                          "Could not find a Browser to launch!", "Could not open web page", "System Information Is Unavailable At This Time"})
        need(m);
    EXPECT_EQ(missing, Texts{}) << "not in the manual";
}
}  // namespace
