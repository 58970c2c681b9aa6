#include "ui/qt/print_report.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

namespace ui::qt {

namespace {

constexpr double kTwipsPerInch = 1440.0;

class QtPrintTarget : public PrintTarget {
public:
    QtPrintTarget(std::unique_ptr<QPrinter> printer, const Font& font)
        : printer_(std::move(printer)), font_(toQFont(font)), metrics_(font_, printer_.get()) {}

    double pageWidth() const override { return printer_->width() * kTwipsPerInch / dpiX(); }
    double pageHeight() const override { return printer_->height() * kTwipsPerInch / dpiY(); }

    TextExtent textExtent(const std::string& text) override {
        QString t = QString::fromStdString(text);
        return {metrics_.horizontalAdvance(t) * kTwipsPerInch / dpiX(), metrics_.height() * kTwipsPerInch / dpiY()};
    }

    bool print(const std::vector<PrintOp>& ops) override {
        QPainter p;
        if (!p.begin(printer_.get())) return false;
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setFont(font_);
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(Qt::NoBrush);
        const double kx = dpiX() / kTwipsPerInch, ky = dpiY() / kTwipsPerInch;
        // Operations give the top of a text; the painter wants its baseline.
        const double ascent = QFontMetricsF(p.font(), printer_.get()).ascent();
        bool ok = true;
        for (const PrintOp& op : ops) {
            switch (op.kind) {
            case PrintOp::Kind::Text:
                p.drawText(QPointF(op.x * kx, op.y * ky + ascent), QString::fromStdString(op.text));
                break;
            case PrintOp::Kind::Box:
                p.drawRect(QRectF(op.x * kx, op.y * ky, op.width * kx, op.height * ky));
                break;
            case PrintOp::Kind::NewPage:
                ok = printer_->newPage() && ok;
                break;
            }
        }
        ok = p.end() && ok;
        return ok && printer_->printerState() != QPrinter::Error && printer_->printerState() != QPrinter::Aborted;
    }

private:
    double dpiX() const { return printer_->logicalDpiX(); }
    double dpiY() const { return printer_->logicalDpiY(); }

    std::unique_ptr<QPrinter> printer_;
    QFont font_;
    QFontMetricsF metrics_;
};

void setUpJob(QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setCreator("Hourgrid");
    printer.setDocName("Hourgrid week");
}

}  // namespace

QFont toQFont(const Font& font) {
    QFont f;
    if (!font.name.empty()) f.setFamily(QString::fromStdString(font.name));
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    if (font.size > 0) f.setPointSizeF(font.size);
    return f;
}

std::string defaultPrinterName() { return QPrinterInfo::defaultPrinterName().toStdString(); }

std::unique_ptr<PrintTarget> openDefaultPrinter(const Font& font) {
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid()) return nullptr;
    setUpJob(*printer);
    return std::make_unique<QtPrintTarget>(std::move(printer), font);
}

std::unique_ptr<PrintTarget> openPdfFile(const std::string& path, const Font& font) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(path));
    printer->setPageSize(QPageSize(QLocale().measurementSystem() == QLocale::MetricSystem ? QPageSize::A4
                                                                                        : QPageSize::Letter));
    setUpJob(*printer);
    return std::make_unique<QtPrintTarget>(std::move(printer), font);
}

std::optional<std::string> askPdfFileName(QWidget* parent, const std::string& suggestedName) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty()) dir = QDir::homePath();
    QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save the Report as a PDF File"),
                                                QDir(dir).filePath(QString::fromStdString(suggestedName)),
                                                QStringLiteral("PDF Files (*.pdf)"));
    if (path.isEmpty()) return std::nullopt;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
    return path.toStdString();
}

}  // namespace ui::qt
