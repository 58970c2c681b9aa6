// The About box and the web link.
#include "about/about.h"

#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <fstream>
#include <map>

#include "app/hourgrid.h"

#if !defined(HOURGRID_VERSION_MAJOR) || !defined(HOURGRID_VERSION_MINOR) || !defined(HOURGRID_VERSION_PATCH)
#error "the program's version comes from the build (src/app/CMakeLists.txt)"
#endif

namespace app {

namespace {

constexpr const char* kNoBrowser = "Could not find a Browser to launch!";
constexpr const char* kNoBrowserTitle = "Browser Not Found";
constexpr const char* kUrlFailed = "Could not open web page";
constexpr const char* kUrlFailedTitle = "URL Failed";
constexpr const char* kNoSysInfo = "System Information Is Unavailable At This Time";
constexpr const char* kHtmlType = "text/html";

// ---- Starting programs ----

class QtProcessStarter : public ProcessStarter {
public:
    bool startDetached(const std::string& program, const std::vector<std::string>& args) override {
        QStringList list;
        for (const auto& a : args) list << QString::fromStdString(a);
        return QProcess::startDetached(QString::fromStdString(program), list);
    }
};

QtProcessStarter realStarter;
ProcessStarter* currentStarter = &realStarter;

// ---- XDG directories and files ----

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::vector<std::string> splitList(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string::npos) end = s.size();
        if (end > start) out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string homeDir(const char* xdgVar, const char* fallback) {
    std::string v = env(xdgVar);
    if (!v.empty()) return v;
    std::string home = env("HOME");
    return home.empty() ? std::string() : home + fallback;
}

std::vector<std::string> dirList(const char* xdgHomeVar, const char* homeFallback, const char* xdgDirsVar,
                                 const char* dirsFallback) {
    std::vector<std::string> dirs;
    std::string home = homeDir(xdgHomeVar, homeFallback);
    if (!home.empty()) dirs.push_back(home);
    std::string list = env(xdgDirsVar);
    for (auto& d : splitList(list.empty() ? dirsFallback : list, ':')) dirs.push_back(d);
    return dirs;
}

std::vector<std::string> configDirs() { return dirList("XDG_CONFIG_HOME", "/.config", "XDG_CONFIG_DIRS", "/etc/xdg"); }
std::vector<std::string> dataDirs() {
    return dirList("XDG_DATA_HOME", "/.local/share", "XDG_DATA_DIRS", "/usr/local/share:/usr/share");
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Group name -> key -> value of a desktop-entry style file; empty when unreadable.
using IniFile = std::map<std::string, std::map<std::string, std::string>>;

IniFile readIni(const std::string& path) {
    IniFile ini;
    std::ifstream in(path);
    std::string line, group;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        if (line[first] == '[') {
            size_t close = line.find(']', first);
            group = close == std::string::npos ? std::string() : line.substr(first + 1, close - first - 1);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || group.empty()) continue;
        std::string key = line.substr(first, eq - first);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        std::string value = line.substr(eq + 1);
        size_t v = value.find_first_not_of(" \t");
        value = v == std::string::npos ? std::string() : value.substr(v);
        ini[group].emplace(key, value);  // the first of repeated keys counts
    }
    return ini;
}

std::vector<std::string> iniList(const IniFile& ini, const std::string& group, const std::string& key) {
    auto g = ini.find(group);
    if (g == ini.end()) return {};
    auto k = g->second.find(key);
    if (k == g->second.end()) return {};
    return splitList(k->second, ';');
}

// The mimeapps.list files, most important first.
std::vector<std::string> mimeappsFiles() {
    std::vector<std::string> desktops;
    for (auto& d : splitList(env("XDG_CURRENT_DESKTOP"), ':')) desktops.push_back(lower(d));
    std::vector<std::string> files;
    auto add = [&](const std::string& dir) {
        for (auto& d : desktops) files.push_back(dir + "/" + d + "-mimeapps.list");
        files.push_back(dir + "/mimeapps.list");
    };
    for (auto& d : configDirs()) add(d);
    for (auto& d : dataDirs()) add(d + "/applications");
    return files;
}

// The desktop entry of an installed application, by its desktop file ID.
std::optional<IniFile> desktopEntry(const std::string& id) {
    std::vector<std::string> names = {id};
    // "vendor-app.desktop" may also be "vendor/app.desktop".
    for (size_t i = 0; i < id.size(); ++i)
        if (id[i] == '-') names.push_back(id.substr(0, i) + "/" + id.substr(i + 1));
    for (auto& dir : dataDirs()) {
        for (auto& n : names) {
            std::string path = dir + "/applications/" + n;
            QFileInfo fi(QString::fromStdString(path));
            if (!fi.isFile()) continue;
            IniFile ini = readIni(path);
            auto g = ini.find("Desktop Entry");
            if (g == ini.end()) return std::nullopt;
            auto hidden = g->second.find("Hidden");
            if (hidden != g->second.end() && lower(hidden->second) == "true") return std::nullopt;
            if (g->second.find("Exec") == g->second.end()) return std::nullopt;
            return ini;
        }
    }
    return std::nullopt;
}

// The Exec line split into arguments with the file or URL field codes
// replaced by `url` (appended when the line has none).
std::optional<Command> commandOf(const std::string& exec, const std::string& url) {
    // String escapes of the desktop-entry format first, then the Exec quoting.
    std::string s;
    for (size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) {
            char n = exec[i + 1];
            if (n == 's') { s += ' '; ++i; continue; }
            if (n == 'n') { s += '\n'; ++i; continue; }
            if (n == 't') { s += '\t'; ++i; continue; }
            if (n == 'r') { s += '\r'; ++i; continue; }
            if (n == '\\') { s += '\\'; ++i; continue; }
        }
        s += exec[i];
    }
    std::vector<std::string> words;
    std::vector<bool> quoted;
    std::string word;
    bool inWord = false, inQuotes = false, wasQuoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (inQuotes) {
            if (c == '\\' && i + 1 < s.size() && std::string("\"`$\\").find(s[i + 1]) != std::string::npos) {
                word += s[++i];
            } else if (c == '"') {
                inQuotes = false;
            } else {
                word += c;
            }
        } else if (c == '"') {
            inQuotes = inWord = wasQuoted = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) {
                words.push_back(word);
                quoted.push_back(wasQuoted);
            }
            word.clear();
            inWord = wasQuoted = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inQuotes) return std::nullopt;  // an unbalanced quote makes the line invalid
    if (inWord) {
        words.push_back(word);
        quoted.push_back(wasQuoted);
    }

    bool urlGiven = false;
    std::vector<std::string> out;
    for (size_t w = 0; w < words.size(); ++w) {
        const std::string& a = words[w];
        if (quoted[w]) {  // field codes are not expanded inside quotes
            out.push_back(a);
            continue;
        }
        std::string r;
        bool dropped = false;
        for (size_t i = 0; i < a.size(); ++i) {
            if (a[i] != '%' || i + 1 >= a.size()) {
                r += a[i];
                continue;
            }
            char code = a[++i];
            if (code == '%') {
                r += '%';
            } else if (std::string("uUfF").find(code) != std::string::npos) {
                if (!urlGiven) r += url;
                urlGiven = true;
                if (a.size() == 2 && r.empty()) dropped = true;  // a second URL field stays empty
            } else if (a.size() == 2) {
                dropped = true;  // %i, %c, %k and the deprecated codes
            }
        }
        if (!dropped) out.push_back(r);
    }
    if (out.empty() || out[0].empty()) return std::nullopt;
    if (!urlGiven) out.push_back(url);
    Command cmd;
    cmd.program = out[0];
    cmd.args.assign(out.begin() + 1, out.end());
    return cmd;
}

std::optional<Command> commandFor(const std::string& id, const std::string& url) {
    auto entry = desktopEntry(id);
    if (!entry) return std::nullopt;
    return commandOf((*entry)["Desktop Entry"]["Exec"], url);
}

}  // namespace

std::string programVersion() {
    auto number = [](const char* text) { return std::to_string(std::atoi(text)); };
    return number(HOURGRID_VERSION_MAJOR) + "." + number(HOURGRID_VERSION_MINOR) + "." +
           number(HOURGRID_VERSION_PATCH);
}

ProcessStarter& processStarter() { return *currentStarter; }
void setProcessStarter(ProcessStarter* starter) { currentStarter = starter ? starter : &realStarter; }

std::optional<Command> defaultBrowserCommand(const std::string& url) {
    std::vector<std::string> files = mimeappsFiles();
    std::vector<IniFile> lists;
    for (auto& f : files) lists.push_back(readIni(f));
    // The chosen default first, then the associations the user or the system added.
    for (auto& ini : lists)
        for (auto& id : iniList(ini, "Default Applications", kHtmlType))
            if (auto c = commandFor(id, url)) return c;
    for (auto& ini : lists)
        for (auto& id : iniList(ini, "Added Associations", kHtmlType))
            if (auto c = commandFor(id, url)) return c;
    for (auto& dir : dataDirs()) {
        IniFile cache = readIni(dir + "/applications/mimeinfo.cache");
        for (auto& id : iniList(cache, "MIME Cache", kHtmlType))
            if (auto c = commandFor(id, url)) return c;
    }
    return std::nullopt;
}

// Graphical tools that show the computer's hardware and system, best first.
const std::vector<std::string>& sysInfoPrograms() {
    static const std::vector<std::string> programs = {
        "hardinfo2", "hardinfo", "kinfocenter", "lshw-gtk", "gnome-system-monitor", "ksysguard",
    };
    return programs;
}

std::string findSysInfoProgram() {
    std::vector<std::string> path = splitList(env("PATH"), ':');
    for (const auto& name : sysInfoPrograms()) {
        for (const auto& dir : path) {
            QFileInfo fi(QString::fromStdString(dir + "/" + name));
            if (fi.isFile() && fi.isExecutable()) return fi.absoluteFilePath().toStdString();
        }
    }
    return {};
}

void OpenURL(ui::Platform& platform, ui::Form& owner, const std::string& address) {
    // The association is read directly, so no placeholder file is needed to ask for it.
    std::optional<Command> browser = defaultBrowserCommand(address);
    if (!browser) {
        platform.messageBox(kNoBrowser, ui::Buttons::OK, ui::Icon::Exclamation, kNoBrowserTitle);
        return;
    }
    if (!processStarter().startDetached(browser->program, browser->args))
        platform.messageBox(kUrlFailed, ui::Buttons::OK, ui::Icon::Exclamation, kUrlFailedTitle);
}

void StartSysInfo(ui::Platform& platform) {
    std::string program = findSysInfoProgram();
    if (program.empty() || !processStarter().startDetached(program, {}))
        platform.messageBox(kNoSysInfo, ui::Buttons::OK, ui::Icon::None, kTitle);
}

// ---- The About box ----

frmAbout::frmAbout(ui::Platform& platform) : platform_(platform) {
    setCaption("About Hourgrid");
    setWidth(6330);
    setHeight(5400);

    picIcon.name = "picIcon";
    picIcon.move(240, 240, 540, 540);

    lblTitle.name = "lblTitle";
    lblTitle.font.size = 12;
    lblTitle.font.bold = true;
    lblTitle.move(1050, 240, 4935, 420);
    lblVersion.name = "lblVersion";
    lblVersion.move(1050, 720, 4935, 285);

    Text1.name = "Text1";
    Text1.multiLine = true;
    Text1.locked = true;
    Text1.setText("Note: you must use the QuickBooks Timer to \r\nimport lists and export time.\r\n");
    Text1.move(1050, 1080, 4935, 900);
    Text2.name = "Text2";
    Text2.multiLine = true;
    Text2.locked = true;
    Text2.setText("Hourgrid for QuickBooks -- a replacement for the QuickBooks Timer.\r\n\r\n"
                  "For more information, visit our web site:\r\n");
    Text2.move(1050, 2040, 4935, 1320);

    LinkLabel.name = "LinkLabel";
    LinkLabel.setCaption(kWebAddress);
    LinkLabel.font.underline = true;
    LinkLabel.foreColor = ui::rgb(0, 0, 255);
    LinkLabel.mousePointer = ui::MousePointer::Hand;
    LinkLabel.wordWrap = false;
    LinkLabel.move(1050, 3420, 4935, 255);
    LinkLabel.onClick = [this] { LinkLabel_Click(); };

    Line1.name = "Line1";
    Line1.borderColor = ui::rgb(0x80, 0x80, 0x80);
    Line1.move(84, 3840, 6046, 0);
    Line2.name = "Line2";
    Line2.borderColor = ui::rgb(0xFF, 0xFF, 0xFF);
    Line2.move(99, 3855, 6031, 0);

    cmdOK.name = "cmdOK";
    cmdOK.setCaption("OK");
    cmdOK.isDefault = true;
    cmdOK.isCancel = true;
    cmdOK.move(4845, 4020, 1260, 375);
    cmdOK.onClick = [this] { cmdOK_Click(); };
    cmdSysInfo.name = "cmdSysInfo";
    cmdSysInfo.setCaption("&System Info...");
    cmdSysInfo.move(4845, 4470, 1260, 375);
    cmdSysInfo.onClick = [this] { cmdSysInfo_Click(); };
}

std::vector<ui::Control*> frmAbout::controls() {
    return {&picIcon, &lblTitle, &lblVersion, &Text1, &Text2, &LinkLabel, &Line1, &Line2, &cmdOK, &cmdSysInfo};
}

void frmAbout::Form_Load() {
    lblVersion.setCaption("Version " + programVersion());
    lblTitle.setCaption(kTitle);
}

void frmAbout::cmdOK_Click() {
    platform_.hide(*this);
    unloadForm();
}

void frmAbout::cmdSysInfo_Click() { StartSysInfo(platform_); }

void frmAbout::LinkLabel_Click() { OpenURL(platform_, *this, LinkLabel.caption()); }

void Hourgrid::HelpMenuAbout_Click() {
    frmAbout about(platform_);
    platform_.showModal(about, this);
}

}  // namespace app
