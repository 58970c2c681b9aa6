// The printed weekly report on the desktop: print jobs on the default printer
// or in a PDF file, drawn with QPainter from the logic's drawing operations.
// The Qt platform's Platform::openPrinter, showSavePdf, openPdf and
// defaultPrinterName forward to these.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ui/platform.h"
#include "ui/types.h"

class QFont;
class QWidget;

namespace ui::qt {

// The desktop's default printer; empty when none is set up (common on Linux).
std::string defaultPrinterName();

// A job on the default printer in landscape and high resolution, its text in
// `font`; nothing when there is no default printer or it is not usable.
std::unique_ptr<PrintTarget> openDefaultPrinter(const Font& font);

// The same job written to a PDF file at `path`, on A4 paper, or on Letter
// where the locale does not measure in metric units.
std::unique_ptr<PrintTarget> openPdfFile(const std::string& path, const Font& font);

// The Save dialog for a PDF file over `parent`, starting in the user's
// documents folder with `suggestedName`; nothing when cancelled.
std::optional<std::string> askPdfFileName(QWidget* parent, const std::string& suggestedName);

// The Qt font of a grid font (an empty name keeps the application's face).
QFont toQFont(const Font& font);

}  // namespace ui::qt
