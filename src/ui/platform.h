// What the logic needs of the desktop beyond its own controls: message boxes,
// common dialogs, showing forms, the default printer, the help viewer, starting
// programs and web pages. The Qt build and the scripted test build implement it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "form.h"
#include "types.h"

namespace ui {

struct OpenFileRequest {
    std::string filter;  // "All Files (*.*)|*.*|Timer Files(*.tdb)|*.tdb"
    int filterIndex = 1; // 1-based entry selected when the dialog opens
    int flags = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Modal message box; texts of more than one line are joined with character 13.
    virtual Answer messageBox(const std::string& text, Buttons buttons = Buttons::OK, Icon icon = Icon::None,
                              const std::string& title = "Hourgrid") = 0;
    // The Open dialog: the chosen full path, or nothing when cancelled.
    virtual std::optional<std::string> showOpen(const OpenFileRequest& req) = 0;
    // The font dialog (scalable fonts only): the chosen font, or nothing when cancelled.
    virtual std::optional<Font> showFont(const Font& current) = 0;
    // Shows a form modally over `owner` (raising Form_Load the first time, then
    // Form_Activate); returns when the form is hidden or unloaded.
    virtual void showModal(Form& form, Form* owner) = 0;
    // Shows the main window (not modal).
    virtual void show(Form& form) = 0;
    // Hides a modal form, ending its modal display.
    virtual void hide(Form& form) = 0;
    // Ends the program at once (nothing more is run or stored).
    virtual void endProgram() = 0;
    // Name of the default printer; empty when none is installed.
    virtual std::string defaultPrinterName() = 0;
    // Opens the program's help at its contents page.
    virtual void showHelpContents(const std::string& helpFile) = 0;
};

}  // namespace ui
