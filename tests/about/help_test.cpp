// The HTML help manual: found where the program looks for it, every page
// reachable and every link whole, and every command, toolbar button, status
// panel and dialog of the program described in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "about/about.h"
#include "about/help.h"
#include "app_fixture.h"
#include "prefs/prefs.h"
#include "week/date_dialog.h"
#include "editing/detail.h"

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The page's text as a reader sees it: tags dropped, entities resolved, blanks folded.
std::string visibleText(const std::string& html) {
    std::string t = std::regex_replace(html, std::regex("<[^>]*>"), " ");
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&ldquo;", "\""}, {"&rdquo;", "\""}, {"&hellip;", "..."}, {"&amp;", "&"}};
    for (auto [from, to] : entities) {
        for (size_t p = t.find(from); p != std::string::npos; p = t.find(from, p + 1)) t.replace(p, strlen(from), to);
    }
    return std::regex_replace(t, std::regex("\\s+"), " ");
}

std::string withoutAccessKey(std::string caption) {
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    return caption;
}

class HelpTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        contents = app::findHelpFile();
        folder = fs::path(contents).parent_path();
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().extension() == ".html") pages[e.path().filename().string()] = readAll(e.path());
        for (const auto& [name, html] : pages) corpus += visibleText(html) + "\n";
    }
    bool described(const std::string& text) const { return corpus.find(text) != std::string::npos; }

    std::string contents;
    fs::path folder;
    std::map<std::string, std::string> pages;
    std::string corpus;
};

TEST_F(HelpTest, TheContentsPageIsFoundAndTitled) {
    ASSERT_TRUE(fs::is_regular_file(contents)) << contents;
    EXPECT_EQ(fs::path(contents).filename(), "index.html");
    const std::string& index = pages["index.html"];
    EXPECT_NE(index.find("<title>Hourgrid for QuickBooks Pro Help Topics</title>"), std::string::npos);
    EXPECT_NE(index.find("<h1>Hourgrid for QuickBooks Pro Help Topics</h1>"), std::string::npos);

    // The main window hands that page to the help viewer.
    openTimer();
    win->HelpMenuHelp_Click();
    ASSERT_EQ(platform.helpCalls.size(), 1u);
    EXPECT_EQ(fs::canonical(platform.helpCalls[0]), fs::canonical(contents));
}

TEST_F(HelpTest, TheBuildPutsTheManualNextToTheProgram) {
    fs::path built(HELP_BUILD_DIR), source(HELP_SOURCE_DIR);
    for (const auto& e : fs::directory_iterator(source)) {
        fs::path copy = built / e.path().filename();
        ASSERT_TRUE(fs::is_regular_file(copy)) << copy;
        EXPECT_EQ(readAll(copy), readAll(e.path())) << copy << " is not the current page";
    }
}

TEST_F(HelpTest, EveryPageIsReachableAndEveryLinkLeadsSomewhere) {
    ASSERT_GE(pages.size(), 10u);
    std::regex href("href=\"([^\"]*)\"");
    std::regex idAttr("id=\"([^\"]*)\"");
    std::map<std::string, std::set<std::string>> ids;
    for (const auto& [name, html] : pages)
        for (std::sregex_iterator i(html.begin(), html.end(), idAttr), end; i != end; ++i) ids[name].insert((*i)[1]);

    std::set<std::string> reached = {"index.html"};
    std::vector<std::string> todo = {"index.html"};
    while (!todo.empty()) {
        std::string name = todo.back();
        todo.pop_back();
        const std::string& html = pages[name];
        SCOPED_TRACE(name);
        EXPECT_NE(html.find("<!DOCTYPE html>"), std::string::npos);
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_NE(html.find("href=\"hourgrid.css\""), std::string::npos);
        for (std::sregex_iterator i(html.begin(), html.end(), href), end; i != end; ++i) {
            std::string target = (*i)[1];
            ASSERT_EQ(target.find("://"), std::string::npos) << "the manual works offline: " << target;
            std::string file = target.substr(0, target.find('#'));
            std::string anchor = target.find('#') == std::string::npos ? "" : target.substr(target.find('#') + 1);
            if (file.empty()) file = name;
            EXPECT_TRUE(fs::is_regular_file(folder / file)) << target;
            if (!anchor.empty()) {
                EXPECT_TRUE(ids[file].count(anchor)) << target;
            }
            if (pages.count(file) && reached.insert(file).second) todo.push_back(file);
        }
    }
    for (const auto& [name, html] : pages) EXPECT_TRUE(reached.count(name)) << name << " is not linked";
}

TEST_F(HelpTest, EveryCommandButtonPanelAndDialogIsDescribed) {
    app::Hourgrid& w = start();
    std::vector<std::string> missing;
    auto need = [&](const std::string& what, const std::string& text) {
        if (!described(text)) missing.push_back(what + ": " + text);
    };
    for (ui::Menu* m : w.menus()) {
        need("menu", withoutAccessKey(m->caption) + " menu");
        for (const ui::MenuItem& i : m->items) {
            need(i.name, withoutAccessKey(i.caption));
            if (!i.shortcut.empty()) need(i.name + " shortcut", i.shortcut);
        }
    }
    for (const ui::ToolButton& b : w.tbToolBar.buttons)
        if (!b.key.empty()) need("toolbar " + b.key, b.toolTip);
    need("toolbar Print tip", "Prints to: ");
    for (const ui::StatusPanel& p : w.sbStatusBar.panels)
        if (p.raised) need("panel " + p.key, p.text);

    app::Prefs& prefs = w.prefsForm();
    need("dialog", prefs.caption());
    for (const ui::Tab& t : prefs.TabStrip1.tabs) need("tab " + t.key, withoutAccessKey(t.caption));
    for (ui::Frame* f : {&prefs.RecentFrame, &prefs.NameFrame, &prefs.BillableFrame, &prefs.ColumnsFrame})
        need(f->name, f->caption());
    need("Billable", prefs.Billable.caption());
    for (const char* m : {"Incorrect input. Enter a number from 0 to 3650.", "Please select a name.",
                          "Could not open your preferences."})
        need("message", m);

    app::frmAbout about(platform);
    need("dialog", about.caption());
    need("button", withoutAccessKey(about.cmdSysInfo.caption()));
    for (const std::string& tool : app::sysInfoPrograms()) need("system information tool", tool);
    for (const char* m : {"Could not find a Browser to launch!", "Could not open web page",
                          "System Information Is Unavailable At This Time"})
        need("message", m);

    need("dialog", w.dateDialogForm().caption());
    need("dialog", w.detailForm().caption());

    EXPECT_TRUE(missing.empty()) << [&] {
        std::string s;
        for (auto& m : missing) s += "\n  " + m;
        return "not in the manual:" + s;
    }();
}

}  // namespace
