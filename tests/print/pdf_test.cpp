// The report written as a real PDF by the Qt drawing code (offscreen), read
// back as text with pdftotext. With HOURGRID_SHOTS_DIR set, the PDF and a PNG
// of its first page are left there for a look.
#include <QApplication>
#include <QLocale>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>
#include <regex>
#include <string>

#include "app_fixture.h"
#include "print/report.h"
#include "ui/qt/print_report.h"
#include "ui/qt/qt_platform.h"

namespace {

QApplication& application() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "print_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0; }

class PdfReport : public AppFixture {
protected:
    void SetUp() override {
        application();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        AppFixture::SetUp();
    }
    void TearDown() override {
        AppFixture::TearDown();
        QLocale::setDefault(QLocale::system());
    }
    // File > Print with no default printer, the offered PDF saved as `pdf` by the Qt drawing.
    void printToPdf(app::Hourgrid& w, const std::string& pdf) {
        platform.printerName = "";
        platform.savePdfResults = {pdf};
        platform.onOpenPdf = [](const std::string& path, const ui::Font& f) { return ui::qt::openPdfFile(path, f); };
        platform.messages.clear();
        w.FileMenuPrint_Click();
    }
    // The PDF's text as pdftotext lays it out.
    std::string pdfText(const fs::path& pdf) {
        const fs::path txt = dir / (pdf.stem().string() + ".txt");
        EXPECT_EQ(std::system(("pdftotext -layout '" + pdf.string() + "' '" + txt.string() + "'").c_str()), 0);
        return readFile(txt);
    }
    // The layout of the week on a PDF page in `font`, with the PDF's own measures.
    std::vector<ui::PrintOp> pdfLayout(app::Hourgrid& w, const ui::Font& font, bool* landscape = nullptr) {
        auto target = ui::qt::openPdfFile((dir / "unused.pdf").string(), font);
        ui::PrintTarget& t = *target;
        if (landscape) *landscape = t.pageWidth() > t.pageHeight();
        return print::layoutWeek(w.Grid, "Alice Moreno", QDate(2026, 11, 30), t.pageWidth(), t.pageHeight(),
                                 [&t](const std::string& s) { return t.textExtent(s); });
    }
};

TEST_F(PdfReport, TheSampleWeekIsSavedAsAPdfWithItsNamesDurationsAndTotals) {
    if (!have("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    app::Hourgrid& w = openTimer("sample.tdb");
    const fs::path pdf = dir / "week.pdf";
    printToPdf(w, pdf.string());
    ASSERT_EQ(platform.messages.size(), 1u) << platform.messages.back().text;  // the offer, no failure
    ASSERT_TRUE(fs::exists(pdf));
    const std::string text = pdfText(pdf);

    EXPECT_TRUE(std::regex_search(text, std::regex("Alice Moreno +11/30/26 - 12/6/26 +Page +1"))) << text;
    for (const char* s : {"Customer:Job", "Service Item", "Class", "Totals", "Totals:", "Acme Corporation",
                          "Baker & Sons", "Café Aurora", "City of Riverton", "Delta Logistics", "Design",
                          "Development", "Installation", "Consulting", "Commercial", "Residential", "Government",
                          "02:30", "01:30", "04:15", "08:00", "03:00", "00:45", "01:29", "23:59", "12:15",
                          "46:28"})
        EXPECT_NE(text.find(s), std::string::npos) << s;
    // A single page: the grid fits in the default 8-point font.
    EXPECT_EQ(text.find("Page  2"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 1);

    // Every text the layout places on the PDF's page, with the PDF's own
    // measures, is found in it.
    bool landscape = false;
    auto ops = pdfLayout(w, w.Grid.font(), &landscape);
    EXPECT_TRUE(landscape);
    // pdftotext may widen or narrow the blanks between words; compare without them.
    auto squeeze = [](std::string s) {
        s.erase(std::remove_if(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c); }), s.end());
        return s;
    };
    const std::string all = squeeze(text);
    int placed = 0;
    for (const auto& op : ops) {
        if (op.kind != ui::PrintOp::Kind::Text) continue;
        ++placed;
        EXPECT_NE(all.find(squeeze(op.text)), std::string::npos) << op.text;
    }
    EXPECT_GT(placed, 60);

    if (const char* shots = std::getenv("HOURGRID_SHOTS_DIR")) {
        fs::create_directories(shots);
        fs::copy_file(pdf, fs::path(shots) / "print-week.pdf", fs::copy_options::overwrite_existing);
        if (have("pdftoppm"))
            std::system(("pdftoppm -png -r 100 -f 1 -l 1 '" + pdf.string() + "' '" + shots + "/print-week'").c_str());
    }
}

TEST_F(PdfReport, ALargerFontRunsOntoMorePagesWithTheHeadingRepeated) {
    if (!have("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    app::Hourgrid& w = openTimer("sample.tdb");
    ui::Font big = w.Grid.font();
    big.size = 20;
    w.Grid.setFont(big);
    const fs::path pdf = dir / "big.pdf";
    printToPdf(w, pdf.string());
    const std::string text = pdfText(pdf);
    const auto pages = std::count(text.begin(), text.end(), '\f');
    EXPECT_GE(pages, 2);
    for (int p = 1; p <= pages; ++p)
        EXPECT_TRUE(std::regex_search(text, std::regex("Alice Moreno +11/30/26 - 12/6/26 +Page +" + std::to_string(p))))
            << p;
    // The grid's heading row only on the first page, the grand total on the
    // last, both cut as the layout cuts them in this font.
    std::vector<std::string> texts;
    for (const auto& op : pdfLayout(w, big))
        if (op.kind == ui::PrintOp::Kind::Text) texts.push_back(op.text);
    ASSERT_GT(texts.size(), 2u);
    const std::string firstHeader = texts[1], grandTotal = texts.back();
    EXPECT_EQ(firstHeader, "Custom");
    EXPECT_EQ(grandTotal.rfind("46:", 0), 0u);
    const auto firstPageEnd = text.find('\f');
    EXPECT_LT(text.find(firstHeader), firstPageEnd);
    EXPECT_EQ(text.find(firstHeader, firstPageEnd), std::string::npos);
    const auto lastPageStart = text.rfind('\f', text.size() - 2);
    EXPECT_GT(text.rfind(grandTotal), lastPageStart);

    if (const char* shots = std::getenv("HOURGRID_SHOTS_DIR")) {
        fs::create_directories(shots);
        if (have("pdftoppm"))
            std::system(("pdftoppm -png -r 60 '" + pdf.string() + "' '" + shots + "/print-week-20pt'").c_str());
    }
}

TEST_F(PdfReport, TheDesktopPlatformOffersAndWritesThePdfWhenNoPrinterIsSetUp) {
    if (!have("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    // Never send a test page to a real printer.
    if (!ui::qt::defaultPrinterName().empty()) GTEST_SKIP() << "a default printer is set up here";
    timerPath = copyTimer("sample.tdb");
    writeSetting("File", timerPath);
    const fs::path pdf = dir / "desktop.pdf";
    uiqt::QtPlatform qp;
    qp.openHelp = false;
    qp.answerMessage = [](const uiqt::MessageRecord& m) -> std::optional<ui::Answer> {
        return m.buttons == ui::Buttons::YesNo ? ui::Answer::Yes : ui::Answer::OK;
    };
    std::vector<std::string> suggested;
    qp.answerSavePdf = [&](const std::string& name) -> std::optional<std::string> {
        suggested.push_back(name);
        return pdf.string();
    };
    {
        app::QtSettingsStore settings(iniPath);
        app::Hourgrid w(qp, settings);
        w.Form_Load();
        qp.messages.clear();
        w.FileMenuPrint_Click();
    }
    ASSERT_EQ(qp.messages.size(), 1u);
    EXPECT_EQ(qp.messages[0].text, "There is no default printer.\rDo you want to save the report as a PDF file instead?");
    EXPECT_EQ(suggested, std::vector<std::string>{"Week of 2026-11-30.pdf"});
    const std::string text = pdfText(pdf);
    EXPECT_TRUE(std::regex_search(text, std::regex("Alice Moreno +11/30/26 - 12/6/26 +Page +1"))) << text;
    for (const char* s : {"Customer:Job", "Totals:", "02:30", "12:15", "23:59", "46:28"})
        EXPECT_NE(text.find(s), std::string::npos) << s;
}

TEST_F(PdfReport, APdfThatCannotBeWrittenIsReported) {
    app::Hourgrid& w = openTimer("sample.tdb");
    const std::string bad = (dir / "no-such-folder" / "week.pdf").string();
    printToPdf(w, bad);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, "The report could not be saved as " + bad + ".");
    EXPECT_FALSE(fs::exists(bad));
}

}  // namespace
