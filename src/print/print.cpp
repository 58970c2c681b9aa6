// The weekly report and the grid font.
#include <stdexcept>

#include "app/hourgrid.h"
#include "week/durations.h"
#include "print/report.h"

namespace app {

namespace {

const char kCR[] = "\r";

}  // namespace

void Hourgrid::FileMenuPrint_Click() {
    // The report shows what the file holds, the entry being typed included.
    if (!CommitPendingEntry() || !ValidateGrid()) return;

    const std::string person = sbStatusBar.panelText(sbStatusBar.panelIndex("NameField"));
    const QDate weekStart = week::startDateOf(sbStatusBar.panelText(sbStatusBar.panelIndex("StartDateField")));
    if (!weekStart.isValid()) return;

    std::unique_ptr<ui::PrintTarget> target;
    std::string failure;
    const std::string printer = platform_.defaultPrinterName();
    if (!printer.empty()) {
        if (platform_.messageBox(std::string("This will print to the default printer: ") + printer + kCR +
                                     "Note: You may need to adjust the font size to fit everything on the page." +
                                     kCR + "To change font size, select Font from the Edit menu.",
                                 ui::Buttons::OKCancel) != ui::Answer::OK)
            return;
        target = platform_.openPrinter(Grid.font());
        failure = "The report could not be printed on " + printer + ".";
    } else {
        if (platform_.messageBox(std::string("There is no default printer.") + kCR +
                                     "Do you want to save the report as a PDF file instead?",
                                 ui::Buttons::YesNo, ui::Icon::Question) != ui::Answer::Yes)
            return;
        auto path = platform_.showSavePdf("Week of " + weekStart.toString("yyyy-MM-dd").toStdString() + ".pdf");
        if (!path) return;
        target = platform_.openPdf(*path, Grid.font());
        failure = "The report could not be saved as " + *path + ".";
    }

    bool printed = false;
    if (target) {
        try {
            ui::PrintTarget& t = *target;
            auto ops = print::layoutWeek(Grid, person, weekStart, t.pageWidth(), t.pageHeight(),
                                         [&t](const std::string& s) { return t.textExtent(s); });
            printed = t.print(ops);
        } catch (const std::exception&) {
            printed = false;
        }
    }
    if (!printed) platform_.messageBox(failure, ui::Buttons::OK, ui::Icon::Exclamation);
}

void Hourgrid::EditMenuFont_Click() {
    // Any failure ends the command silently, as a cancelled dialog does.
    try {
        // The grid is rebuilt in the new font: a pending entry reaches its own cell
        // first, and when it is refused the dialog does not show.
        if (!CommitPendingEntry()) return;
        SaveColumnWidths();
        std::optional<ui::Font> chosen = platform_.showFont(Grid.font());
        if (!chosen) return;
        HideCellEditors(false);
        ui::Font f = Grid.font();
        f.name = chosen->name;
        f.bold = chosen->bold;
        f.italic = chosen->italic;
        f.size = chosen->size;
        Grid.setFont(f);
        LoadColumnWidths();
        SetMonday(sbStatusBar.panelText(sbStatusBar.panelIndex("StartDateField")));
    } catch (const std::exception&) {
    }
}

}  // namespace app
