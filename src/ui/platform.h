// What the logic needs of the desktop beyond its own controls: message boxes,
// common dialogs, showing forms, the default printer, the help viewer, starting
// programs and web pages. The Qt build and the scripted test build implement it.
#pragma once

#include <memory>
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

// One drawing operation of a printed report, in twips from the top-left corner
// of the page's printable area: a text (its top-left corner at x, y), an
// unfilled rectangle, or the start of the next page.
struct PrintOp {
    enum class Kind { Text, Box, NewPage };
    Kind kind = Kind::Text;
    double x = 0, y = 0, width = 0, height = 0;  // width and height: boxes only
    std::string text;
};

struct TextExtent {
    double width = 0, height = 0;  // twips
};

// A print job on a device already set up (orientation, quality, font): the
// printer's printable area, text measurement in the job's font, and the pages.
class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    virtual double pageWidth() const = 0;   // twips
    virtual double pageHeight() const = 0;  // twips
    virtual TextExtent textExtent(const std::string& text) = 0;
    // Draws the operations and ends the document; false when the job failed.
    virtual bool print(const std::vector<PrintOp>& ops) = 0;
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
    // A job on the default printer in landscape, high quality, in `font`;
    // nothing when the printer cannot be used.
    virtual std::unique_ptr<PrintTarget> openPrinter(const Font& font) { return nullptr; }
    // The Save dialog for a PDF file: the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> showSavePdf(const std::string& suggestedName) { return std::nullopt; }
    // A job writing a PDF file, set up as the printer would be.
    virtual std::unique_ptr<PrintTarget> openPdf(const std::string& path, const Font& font) { return nullptr; }
};

}  // namespace ui
