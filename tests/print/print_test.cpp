// The report on a known page (60 twips a character, 180 a line), Print and Font with recorded jobs, and the PDF.
#include <QApplication>
#include <QLocale>
#include <regex>
#include "grid_driver.h"
#include "print/report.h"
#include "ui/qt/print_report.h"
#include "ui/qt/qt_platform.h"

namespace {
using Kind = ui::PrintOp::Kind;
const bool kUsDates = (QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)), true);
const std::string kHeading = "Alice Moreno          11/30/26 - 12/6/26          Page  ";

ui::TextExtent measure(const std::string& s) { return {60.0 * QString::fromStdString(s).toUcs4().size(), 180}; }
using Ops = std::vector<ui::PrintOp>;
Ops layout(const ui::FlexGrid& g) { return print::layoutWeek(g, "Alice Moreno", QDate(2026, 11, 30), 14400, 10800, measure); }
Ops ofKind(Ops ops, Kind k) { return std::erase_if(ops, [k](auto& op) { return op.kind != k; }), ops; }
std::string textAt(const Ops& ops, double x, double y) {
    for (const auto& op : ops)
        if (op.kind == Kind::Text && op.x == x && op.y == y) return op.text;
    return "";
}
std::vector<std::string> dump(const Ops& ops) {
    std::vector<std::string> out;
    for (const auto& o : ops)
        out.push_back(std::to_string(int(o.kind)) + " " + std::to_string(o.x) + " " + std::to_string(o.y) + " " +
                      std::to_string(o.width) + " " + std::to_string(o.height) + " " + o.text);
    return out;
}

// Heading, `rows` rows and totals; 25 columns of 12960 twips in all: scale 1 on a 14400-wide page, first column at 720.
ui::FlexGrid week(int rows) {
    ui::FlexGrid g;
    g.setFormatString(app::kGridFormat);
    g.setRows(rows + 2);
    for (int c = 0; c < 25; ++c) g.setColWidth(c, c < 3 ? 2000 - 500 * c : c == 24 ? 760 : c % 3 == 0 ? 600 : c % 3 == 1 ? 200 : 300);
    for (int c = 3; const char* day : {"M 30", "T 1", "W 2", "T 3", "F 4", "S 5", "S 6"}) g.setTextMatrix(0, c, day), c += 3;
    for (int r = 1; r <= rows; ++r)
        for (auto [c, t] : {std::pair{0, "Smith Construction"}, {1, "Framing"}, {2, "East"}, {3, "01:30"}, {4, "*"}, {5, "x"},
                            {21, "02:00"}, {24, "03:30"}})
            g.setTextMatrix(r, c, t);
    for (auto [c, t] : {std::pair{2, "Totals:"}, {3, "01:30"}, {24, "03:30"}}) g.setTextMatrix(rows + 1, c, t);
    return g;
}

TEST(Layout, MetricsRoundHalvesToEvenAndTheHeadingNamesPersonWeekAndPage) {
    const ui::FlexGrid grid = week(1);
    const double cases[][6] = {{14400, 10800, 720, 540, 10260, 13680}, {14410, 10810, 720, 540, 10270, 13690},
                               {14430, 10830, 722, 542, 10288, 13708}, {15120.4, 11520.6, 756, 576, 10945, 14364.4}};
    for (const auto& c : cases) {
        print::Metrics m = print::reportMetrics(grid, c[0], c[1], measure);
        EXPECT_EQ(std::tuple(m.marginX, m.marginY, m.bottomY, m.rowPitch, m.charW, m.textOffY, m.gridWidth),
                  std::tuple(int(c[2]), int(c[3]), int(c[4]), 360.0, 60.0, 90.0, 12960.0)) << c[0];
        EXPECT_DOUBLE_EQ(m.rightX, c[5]);
        EXPECT_DOUBLE_EQ(m.scale, c[0] / (12960 + 2.0 * c[2]));
    }
    EXPECT_EQ(print::pageHeading("Zoë", QDate(2026, 12, 28), 12), "Zoë          12/28/26 - 1/3/27          Page  12 ");
}

// Under the heading a blank pitch, then rows of boxed cells every 360 twips, 25 a page.
TEST(Layout, RowsAreBoxedCellsOnPagesUnderTheHeading) {
    ui::FlexGrid grid = week(58);  // 60 rows: pages of 25, 25 and 10
    for (int r = 1; r <= 58; ++r) grid.setTextMatrix(r, 0, "Row " + std::to_string(r));
    std::vector<Ops> pages(1);
    for (const auto& op : layout(grid)) op.kind == Kind::NewPage ? (void)pages.emplace_back() : (void)pages.back().push_back(op);
    ASSERT_EQ(pages.size(), 3u);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(dump({pages[p][0]}), dump({{Kind::Text, 720, 540, 0, 0, kHeading + std::to_string(p + 1) + " "}}));
        const auto boxes = ofKind(pages[p], Kind::Box);
        ASSERT_EQ(boxes.size(), p < 2 ? 625u : 250u);
        size_t texts = 1;
        for (int i = 0, r = 25 * p; i < (p < 2 ? 25 : 10); ++i, ++r)
            for (int c = 0, x = 720; c < 25; x += grid.colWidth(c++)) {
                const double y = 1170.0 + 360 * i;
                EXPECT_EQ(dump({boxes[i * 25 + c]}), dump({{Kind::Box, x - 60.0, y, double(grid.colWidth(c)), 360, ""}}));
                EXPECT_EQ(textAt(pages[p], x, y + 90), grid.textMatrix(r, c)) << r << "," << c;
                texts += !grid.textMatrix(r, c).empty();
            }
        EXPECT_EQ(ofKind(pages[p], Kind::Text).size(), texts);
    }
    EXPECT_EQ(textAt(pages[2], 4220, 1260 + 360 * 9), "Totals:");
}

// Monday's note column at various widths, "Totals" taking the rest so that the scale stays 1: a column of w twips
// holds w / 60 characters, of which the text keeps that many less two, rounded to even.
TEST(Layout, TextsAreCutToWhatFitsLessTwoCharacters) {
    const std::tuple<int, const char*, const char*> cases[] = {
        {300, "Called client", "Cal"}, {120, "Called client", ""}, {150, "Called client", ""}, {210, "Called client", "Ca"},
        {270, "Called client", "Ca"}, {330, "Called client", "Call"}, {1000, "Called client", "Called client"},
        {480, "Café crème brûlée", "Café c"}, {0, "Called client", ""}};
    for (auto [width, note, printed] : cases) {
        ui::FlexGrid grid = week(1);
        grid.setTextMatrix(1, 5, note);
        grid.setColWidth(5, width);
        grid.setColWidth(24, 760 + 300 - width);
        auto ops = layout(grid);
        EXPECT_EQ(textAt(ops, 6020, 1620), printed) << width;
        auto box = [w = width](auto& op) { return op.kind == Kind::Box && op.x == 5960 && op.y == 1530 && op.width == w; };
        EXPECT_EQ(std::count_if(ops.begin(), ops.end(), box), 1) << width;
    }
}

// A Customer:Job column of 16400 makes the grid 27360 wide: scale 0.5, columns at 720, 8920, 9670, 10170 and every 550
// per day. Sunday's duration starts inside the right margin (13680) at 13470 and ends beyond it; Sunday's B, N and
// "Totals" start beyond it.
TEST(Layout, ColumnsPastTheRightMarginAreDroppedAndTheStraddlingOneBoxedEmpty) {
    ui::FlexGrid grid = week(2);
    grid.setColWidth(0, 16400);
    auto ops = layout(grid);
    for (int r = 0; r < 4; ++r) {
        std::vector<std::string> row;
        for (const auto& op : ofKind(ops, Kind::Box))
            if (op.y == 1170 + 360 * r) row.push_back(std::to_string(int(op.x)) + "+" + std::to_string(int(op.width)));
        ASSERT_EQ(row.size(), 22u);
        EXPECT_EQ(std::tuple(row[0], row[1], row[3], row[21]), std::tuple("660+8200", "8860+750", "10110+300", "13410+300"));
        EXPECT_EQ(textAt(ops, 13470, 1260 + 360 * r), "");
    }
    for (const auto& op : ops) EXPECT_FALSE(op.kind == Kind::Text && op.x >= 13680) << op.text;
    EXPECT_EQ(textAt(ops, 12920, 1260) + "|" + textAt(ops, 720, 1620), "S 5|Smith Construction");
}

struct Job {  // the device ("printer" or the PDF path), its font and what it printed (nothing when the job failed)
    std::string device;
    ui::Font font;
    Ops ops;
};
// A device with a 14400 x 10800 page and the measure above, recording its jobs.
struct Recording : ui::PrintTarget {
    Recording(std::vector<Job>& jobs, std::string device, const ui::Font& font, bool works) : jobs(jobs), works(works) {
        jobs.push_back({std::move(device), font, {}});
    }
    double pageWidth() const override { return 14400; }
    double pageHeight() const override { return 10800; }
    ui::TextExtent textExtent(const std::string& s) override { return measure(s); }
    bool print(const Ops& ops) override { return works && (jobs.back().ops = ops, true); }
    std::vector<Job>& jobs;
    bool works;
};

std::string cells(const ui::FlexGrid& g) {
    std::string out;
    for (int r = 0; r < g.rows(); ++r)
        for (int c = 0; c < g.cols(); ++c) out += g.textMatrix(r, c) + "|" + std::to_string(g.colWidth(c)) + (c < 24 ? "," : "\n");
    return out;
}

class PrintTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        platform.onOpenPrinter = [this](const ui::Font& f) {
            return printer == "none" ? nullptr : std::make_unique<Recording>(jobs, "printer", f, printer == "works");
        };
        platform.onOpenPdf = [this](const std::string& to, const ui::Font& f) { return std::make_unique<Recording>(jobs, to, f, true); };
    }
    std::vector<Job> jobs;
    std::string printer = "works";  // "works", "fails" or "none" (does not start)
};

// The job is the week's layout in the grid's font and changes neither grid nor file; an invalid week or no file prints nothing.
TEST_F(PrintTest, PrintAsksWhereToAndReportsWhatFails) {
    const std::string confirm = "This will print to the default printer: Test Printer\rNote: You may need to adjust the font size "
                                "to fit everything on the page.\rTo change font size, select Font from the Edit menu.";
    const std::string noPrinter = "There is no default printer.\rDo you want to save the report as a PDF file instead?";
    const std::string failed = "The report could not be printed on Test Printer.";
    struct {
        const char *printerName, *printer;
        ui::Answer answer;
        std::optional<std::string> pdf;  // the save dialog's answer
        Texts said;
        const char* device;  // the job's; nullptr: none
    } cases[] = {
        {"Test Printer", "works", ui::Answer::OK, {}, {confirm}, "printer"},
        {"Test Printer", "works", ui::Answer::Cancel, {}, {confirm}, nullptr},
        {"Test Printer", "none", ui::Answer::OK, {}, {confirm, failed}, nullptr},
        {"Test Printer", "fails", ui::Answer::OK, {}, {confirm, failed}, "printer"},
        {"", "works", ui::Answer::No, {}, {noPrinter}, nullptr}, {"", "works", ui::Answer::Yes, {}, {noPrinter}, nullptr},
        {"", "works", ui::Answer::Yes, "/tmp/week.pdf", {noPrinter}, "/tmp/week.pdf"},
    };
    const ui::Font font{"DejaVu Sans", false, false, 9, false};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.printerName) + " " + c.printer + " " + c.pdf.value_or(""));
        app::Hourgrid& w = openTimer();
        w.Grid.setFont(font);
        const std::string before = cells(w.Grid), file = testfiles::bytes(timerPath);
        jobs.clear(), platform.savePdfRequests.clear();
        platform.printerName = c.printerName, printer = c.printer, platform.answers = {c.answer}, platform.savePdfResults = {c.pdf};
        w.FileMenuPrint_Click();
        ASSERT_EQ(platform.messages.size(), c.said.size());
        const RecordedMessage &ask = platform.messages[0], &last = platform.messages.back();
        const bool named = *c.printerName;
        EXPECT_EQ(std::tuple(ask.buttons, ask.icon, ask.title),
                  std::tuple(named ? ui::Buttons::OKCancel : ui::Buttons::YesNo, named ? ui::Icon::None : ui::Icon::Question, "Hourgrid"));
        EXPECT_EQ(last.icon, c.said.size() > 1 ? ui::Icon::Exclamation : ask.icon);
        EXPECT_EQ(said(), c.said);
        EXPECT_EQ(platform.savePdfRequests, c.answer == ui::Answer::Yes ? Texts{"Week of 2026-11-30.pdf"} : Texts{});
        EXPECT_EQ(cells(w.Grid) + (testfiles::bytes(timerPath) == file ? "" : "file written"), before);
        ASSERT_EQ(jobs.size(), c.device ? 1u : 0u);
        if (!c.device) continue;
        EXPECT_EQ(std::tuple(jobs[0].device, jobs[0].font), std::tuple(c.device, font));
        EXPECT_EQ(dump(jobs[0].ops), c.printer == std::string("works") ? dump(layout(w.Grid)) : Texts{});
    }
    const auto ops = dump(layout(win->Grid));
    for (const char* s : {"Totals:", "02:30", "12:15", "23:59", "46:28", "Design", "Commercial"})  // the week shown
        EXPECT_TRUE(std::any_of(ops.begin(), ops.end(), [s](const std::string& op) { return op.ends_with(std::string(" ") + s); })) << s;
    platform.printerName = "Test Printer";
    win->Grid.setTextMatrix(1, 6, "abc");
    win->FileMenuPrint_Click();
    EXPECT_EQ(said(), Texts{"Invalid time entry: 12/1/26"});
    start().FileMenuPrint_Click();
    EXPECT_EQ(jobs.size(), 1u);
}

TEST_F(PrintTest, TheFontCommandRebuildsTheWeekInTheChosenFontWithTheWidthsKept) {
    app::Hourgrid& w = openTimer();
    w.Grid.setColWidth(0, 2345), w.Grid.setColWidth(21, 777), w.ShowDurationColumn(4, false);
    ui::Font font = w.Grid.font();
    font.underline = true;
    w.Grid.setFont(font);
    w.Grid.setTextMatrix(1, 0, "typed over");
    const std::string before = cells(w.Grid);
    w.EditMenuFont_Click();  // cancelled
    EXPECT_EQ(std::pair(w.Grid.font(), cells(w.Grid)), std::pair(font, before));
    EXPECT_EQ(readSetting("CustJobWidth"), "2345");  // stored before the dialog
    platform.fontResults = {ui::Font{"DejaVu Serif", true, true, 12.5, false}};
    w.EditMenuFont_Click();
    EXPECT_EQ(platform.fontRequests, (std::vector<ui::Font>{font, font}));
    EXPECT_EQ(w.Grid.font(), (ui::Font{"DejaVu Serif", true, true, 12.5, true}));  // no effects offered: the underline stays
    std::string expected = before;  // the same week and widths, read again from the file
    expected.replace(expected.find("typed over"), 10, "Acme Corporation:Website Redesign");
    EXPECT_EQ(cells(w.Grid), expected);
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(readSetting("GridFontName"), "<absent>");  // written only when the window closes
    EXPECT_EQ(said(), Texts{});
}

// A duration being typed reaches its own cell before the font dialog rebuilds the week (a mended fault).
TEST_F(PrintTest, TheFontCommandCommitsTheDurationBeingTypedToItsOwnCellFirst) {
    const Records shipped = sampleFile();
    const ui::Font serif{"DejaVu Serif", false, false, 10, false};
    for (std::string typed : {"3", "2", "2x"}) {  // "3": the dialog is cancelled
        SCOPED_TRACE(typed);
        app::Hourgrid& w = openTimer();
        const ui::Font font = w.Grid.font();
        int row = 1;
        while (w.Grid.textMatrix(row, 0) != "Acme Corporation:Support Contract") ++row;
        w.Grid.userMouseDown(row, 6, 1, 0, 0, 0);
        for (char ch : typed) w.TimeEntry.typeKey(ch);
        said();
        if (typed != "3") platform.fontResults = {serif};
        w.EditMenuFont_Click();
        EXPECT_EQ(w.TimeEntry.visible(), typed == "2x");
        if (typed != "2x") w.TimeEntry.typeKey(13);  // nothing left open over the rebuilt week for an Enter to commit elsewhere
        EXPECT_EQ(said(), typed == "2x" ? Texts{"Enter a valid time. For example: 2:00 or 120 or 2"} : Texts{});
        EXPECT_EQ(w.Grid.font(), typed == "2" ? serif : font);
        int32_t added = 0;  // the row with its new time, wherever the rebuilt week sorts it
        for (int r = 1; r < w.Grid.rows() - 1; ++r)
            if (w.Grid.textMatrix(r, 0) == "Acme Corporation:Support Contract" && w.Grid.textMatrix(r, 6) == "0" + typed + ":00")
                added = w.id(6, r);
        if (typed == "2x") { EXPECT_EQ(std::tuple(w.TimeEntry.text(), w.Grid.row(), w.Grid.col()), std::tuple("2x", row, 6)); }
        win.reset();
        Records after = readFile(timerPath);
        EXPECT_EQ(after.size(), shipped.size() + (typed != "2x"));
        for (const auto& [id, a] : shipped) EXPECT_EQ(after.at(id).at("Duration"), a.at("Duration")) << "activity " << id;
        if (typed == "2x") continue;
        EXPECT_EQ(after[added]["Duration"] + after[added]["UserDate"], dur(typed[0] - '0', 0) + dateValue(QDate(2026, 12, 1)));
        if (typed == "2") { EXPECT_EQ(mdbExport(timerPath)[added]["Duration"], "1899-12-30 02:00:00"); }  // as another reader sees it
    }
}

// Without a printer the desktop platform writes a PDF: every text placed, heading on every page; a failed write is reported.
TEST_F(PrintTest, TheDesktopPlatformSavesTheWeekAsAPdf) {
    if (!testfiles::have("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("print_tests"), nullptr};
    static QApplication qapp(argc, argv);
    if (!ui::qt::defaultPrinterName().empty()) GTEST_SKIP() << "a default printer is set up here";  // never print a test page
    uiqt::QtPlatform qp;
    qp.openHelp = false;
    qp.answerMessage = [](const uiqt::MessageRecord& m) { return m.buttons == ui::Buttons::YesNo ? ui::Answer::Yes : ui::Answer::OK; };
    std::string pdf;
    Texts suggested;
    qp.answerSavePdf = [&](const std::string& name) { return suggested.push_back(name), std::optional<std::string>(pdf); };
    app::QtSettingsStore settings(iniPath);
    writeSetting("File", copyTimer("sample.tdb"));
    app::Hourgrid w(qp, settings);
    w.Form_Load();
    // pdftotext may widen or narrow the blanks between words
    auto squeeze = [](std::string s) { return std::erase_if(s, [](unsigned char c) { return std::isspace(c); }), s; };
    for (double size : {0.0, 20.0}) {
        ui::Font font = w.Grid.font();
        if (size) font.size = size, w.Grid.setFont(font);
        pdf = (dir / ("week" + std::to_string(int(size)) + ".pdf")).string();
        qp.messages.clear();
        w.FileMenuPrint_Click();
        ASSERT_EQ(qp.messages.size(), 1u);  // the offer, no failure
        EXPECT_EQ(qp.messages[0].text, "There is no default printer.\rDo you want to save the report as a PDF file instead?");
        const std::string text = testfiles::output("pdftotext -layout '" + pdf + "' - 2>/dev/null");
        const auto pages = std::count(text.begin(), text.end(), '\f');
        EXPECT_EQ(pages >= 2, size > 0) << pages;
        for (int p = 1; p <= pages; ++p)
            EXPECT_TRUE(std::regex_search(text, std::regex("Alice Moreno +11/30/26 - 12/6/26 +Page +" + std::to_string(p)))) << p;
        auto t = ui::qt::openPdfFile((dir / "unused.pdf").string(), font);
        EXPECT_GT(t->pageWidth(), t->pageHeight());
        Texts placed;
        for (const auto& op : print::layoutWeek(w.Grid, "Alice Moreno", QDate(2026, 11, 30), t->pageWidth(), t->pageHeight(),
                                                [&t](const std::string& s) { return t->textExtent(s); }))
            if (op.kind == Kind::Text) placed.push_back(op.text);
        ASSERT_GT(placed.size(), 60u);
        for (const auto& p : placed) EXPECT_NE(squeeze(text).find(squeeze(p)), std::string::npos) << p;
        if (!size) continue;
        EXPECT_EQ(placed[1] + "|" + placed.back().substr(0, 3), "Custom|46:");
        EXPECT_EQ(text.find(placed[1], text.find('\f')), std::string::npos);
        EXPECT_GT(text.rfind(placed.back()), text.rfind('\f', text.size() - 2));
    }
    EXPECT_EQ(suggested, Texts(2, "Week of 2026-11-30.pdf"));
    pdf = (dir / "no-such-folder" / "week.pdf").string();
    w.FileMenuPrint_Click();
    EXPECT_EQ(qp.messages.back().text, "The report could not be saved as " + pdf + ".");
    EXPECT_FALSE(fs::exists(pdf));
}
}  // namespace
