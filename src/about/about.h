// The About box, opening a web address in the user's default browser, and
// starting a system-information program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/platform.h"

namespace app {

// The address the About box links to.
inline constexpr const char* kWebAddress = "https://hourgrid.example.org/";

// The program's own version as "major.minor.revision", without leading zeros.
std::string programVersion();

// Starting another program without waiting for it. Tests replace it.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // False when the program could not be started.
    virtual bool startDetached(const std::string& program, const std::vector<std::string>& args) = 0;
};
ProcessStarter& processStarter();
// Replaces the starter; nullptr restores the one that starts real processes.
void setProcessStarter(ProcessStarter* starter);

// A program and its arguments, ready to start.
struct Command {
    std::string program;
    std::vector<std::string> args;
};

// The handler of text/html files in the desktop's MIME associations (the
// mimeapps.list files and mimeinfo.cache of the XDG directories), with `url`
// put into its Exec line; nothing when no installed handler is found.
std::optional<Command> defaultBrowserCommand(const std::string& url);

// The system-information programs looked for on the PATH, in order of preference.
const std::vector<std::string>& sysInfoPrograms();
// Full path of the first of them found on the PATH; empty when none is.
std::string findSysInfoProgram();

// Opens `address` in the default browser, passing it to the browser as its
// argument. The owner is the window the messages belong to.
void OpenURL(ui::Platform& platform, ui::Form& owner, const std::string& address);
// Starts the system-information program, or says it is unavailable.
void StartSysInfo(ui::Platform& platform);

class frmAbout : public ui::Form {
public:
    explicit frmAbout(ui::Platform& platform);

    ui::Picture picIcon;
    ui::Label lblTitle;
    ui::Label lblVersion;
    ui::TextBox Text1;
    ui::TextBox Text2;
    ui::Label LinkLabel;
    ui::Button cmdOK;
    ui::Button cmdSysInfo;
    ui::Line Line1;  // the dark half of the etched separator
    ui::Line Line2;  // its white half, 15 twips below

    void Form_Load() override;
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void LinkLabel_Click();

    std::vector<ui::Control*> controls() override;

private:
    ui::Platform& platform_;
};

}  // namespace app
