// The Print and Font commands on the main window, with print jobs recorded by
// a target of known page size and measure.
#include <QLocale>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "print/report.h"

namespace {

using Kind = ui::PrintOp::Kind;

// 60 twips a character, 180 a line.
ui::TextExtent measure(const std::string& s) { return {60.0 * QString::fromStdString(s).toUcs4().size(), 180}; }

struct Job {
    std::string device;  // "printer" or the PDF path
    ui::Font font;
    std::vector<ui::PrintOp> ops;
    bool printed = false;
};

class RecordingTarget : public ui::PrintTarget {
public:
    RecordingTarget(std::vector<Job>& jobs, std::string device, const ui::Font& font, bool works)
        : jobs_(jobs), index_(jobs.size()), works_(works) {
        jobs.push_back({std::move(device), font, {}, false});
    }
    double pageWidth() const override { return 14400; }
    double pageHeight() const override { return 10800; }
    ui::TextExtent textExtent(const std::string& s) override { return measure(s); }
    bool print(const std::vector<ui::PrintOp>& ops) override {
        jobs_[index_].ops = ops;
        jobs_[index_].printed = works_;
        return works_;
    }

private:
    std::vector<Job>& jobs_;
    size_t index_;
    bool works_;
};

class PrintCommand : public AppFixture {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        AppFixture::SetUp();
        platform.onOpenPrinter = [this](const ui::Font& f) -> std::unique_ptr<ui::PrintTarget> {
            if (!printerWorks && !printerStarts) return nullptr;
            return std::make_unique<RecordingTarget>(jobs, "printer", f, printerWorks);
        };
        platform.onOpenPdf = [this](const std::string& path, const ui::Font& f) -> std::unique_ptr<ui::PrintTarget> {
            return std::make_unique<RecordingTarget>(jobs, path, f, true);
        };
    }
    void TearDown() override {
        AppFixture::TearDown();
        QLocale::setDefault(QLocale::system());
    }
    std::vector<std::string> texts(const Job& j) {
        std::vector<std::string> out;
        for (const auto& op : j.ops)
            if (op.kind == Kind::Text) out.push_back(op.text);
        return out;
    }
    std::vector<Job> jobs;
    bool printerWorks = true;
    bool printerStarts = true;
};

const char kConfirm[] =
    "This will print to the default printer: Test Printer\r"
    "Note: You may need to adjust the font size to fit everything on the page.\r"
    "To change font size, select Font from the Edit menu.";
const char kNoPrinter[] = "There is no default printer.\rDo you want to save the report as a PDF file instead?";
const char kHeading[] = "Alice Moreno          11/30/26 - 12/6/26          Page  1 ";

std::vector<std::vector<std::string>> cells(const ui::FlexGrid& g) {
    std::vector<std::vector<std::string>> out;
    for (int r = 0; r < g.rows(); ++r) {
        out.emplace_back();
        for (int c = 0; c < g.cols(); ++c) out.back().push_back(g.textMatrix(r, c));
    }
    return out;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(PrintCommand, ConfirmsWithThePrinterNameAndCancelPrintsNothing) {
    app::Hourgrid& w = openTimer();
    platform.messages.clear();
    platform.answers = {ui::Answer::Cancel};
    w.FileMenuPrint_Click();

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kConfirm);
    EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::OKCancel);
    EXPECT_EQ(platform.messages[0].icon, ui::Icon::None);
    EXPECT_EQ(platform.messages[0].title, "Hourgrid");
    EXPECT_TRUE(jobs.empty());
}

TEST_F(PrintCommand, PrintsTheShownWeekInTheGridFontAndChangesNothing) {
    app::Hourgrid& w = openTimer();
    ui::Font font = w.Grid.font();
    font.name = "DejaVu Sans";
    font.size = 9;
    w.Grid.setFont(font);
    const auto before = cells(w.Grid);
    const std::string fileBefore = fileBytes(timerPath);
    platform.messages.clear();
    w.FileMenuPrint_Click();

    ASSERT_EQ(platform.messages.size(), 1u);  // the confirmation only
    ASSERT_EQ(jobs.size(), 1u);
    const Job& job = jobs[0];
    EXPECT_EQ(job.device, "printer");
    EXPECT_EQ(job.font, font);
    EXPECT_TRUE(job.printed);
    ASSERT_FALSE(job.ops.empty());
    EXPECT_EQ(job.ops[0].text, kHeading);

    // The whole week, as the layout of that page and measure gives it.
    auto expected = print::layoutWeek(w.Grid, "Alice Moreno", QDate(2026, 11, 30), 14400, 10800, measure);
    ASSERT_EQ(job.ops.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(job.ops[i].kind, expected[i].kind) << i;
        EXPECT_EQ(job.ops[i].text, expected[i].text) << i;
        EXPECT_EQ(job.ops[i].x, expected[i].x) << i;
        EXPECT_EQ(job.ops[i].y, expected[i].y) << i;
    }
    auto t = texts(job);
    for (const char* s : {"Totals:", "02:30", "12:15", "23:59", "46:28", "Design", "Commercial"})
        EXPECT_NE(std::find(t.begin(), t.end(), s), t.end()) << s;
    int boxes = 0;
    for (const auto& op : job.ops) boxes += op.kind == Kind::Box;
    EXPECT_EQ(boxes, w.Grid.rows() * 25);

    EXPECT_EQ(cells(w.Grid), before);
    EXPECT_EQ(fileBytes(timerPath), fileBefore);
}

TEST_F(PrintCommand, NothingIsPrintedWithoutATimerFileOrFromAnInvalidGrid) {
    for (bool loaded : {false, true}) {
        SCOPED_TRACE(loaded ? "invalid grid" : "no Timer file");
        app::Hourgrid& w = loaded ? openTimer() : start();
        if (loaded) w.Grid.setTextMatrix(1, 6, "abc");
        platform.messages.clear();
        w.FileMenuPrint_Click();
        if (loaded) {
            EXPECT_FALSE(platform.messages.empty()) << "the validation's complaint";
        }
        for (const auto& m : platform.messages) EXPECT_NE(m.text, kConfirm);
        EXPECT_TRUE(jobs.empty());
    }
}

TEST_F(PrintCommand, APrinterThatFailsIsReported) {
    struct Case {
        bool starts, works;
    } cases[] = {{false, false}, {true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.starts);
        app::Hourgrid& w = openTimer();
        jobs.clear();
        printerStarts = c.starts;
        printerWorks = c.works;
        platform.messages.clear();
        w.FileMenuPrint_Click();
        ASSERT_EQ(platform.messages.size(), 2u);
        EXPECT_EQ(platform.messages[1].text, "The report could not be printed on Test Printer.");
        EXPECT_EQ(platform.messages[1].icon, ui::Icon::Exclamation);
        EXPECT_EQ(jobs.size(), c.starts ? 1u : 0u);
        win.reset();
    }
}

TEST_F(PrintCommand, WithoutADefaultPrinterTheReportCanBeSavedAsPdf) {
    struct Case {
        const char* what;
        ui::Answer answer;
        std::optional<std::string> path;  // the save dialog's answer
        bool asked, saved;
    } cases[] = {
        {"declined", ui::Answer::No, std::nullopt, false, false},
        {"save cancelled", ui::Answer::Yes, std::nullopt, true, false},
        {"saved", ui::Answer::Yes, "/tmp/week.pdf", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        app::Hourgrid& w = openTimer();
        jobs.clear();
        platform.printerName = "";
        platform.messages.clear();
        platform.savePdfRequests.clear();
        platform.answers = {c.answer};
        platform.savePdfResults = {c.path};
        w.FileMenuPrint_Click();

        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, kNoPrinter);
        EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::YesNo);
        EXPECT_EQ(platform.savePdfRequests,
                  c.asked ? std::vector<std::string>{"Week of 2026-11-30.pdf"} : std::vector<std::string>{});
        ASSERT_EQ(jobs.size(), c.saved ? 1u : 0u);
        if (c.saved) {
            EXPECT_EQ(jobs[0].device, *c.path);
            EXPECT_EQ(jobs[0].font, w.Grid.font());
            EXPECT_TRUE(jobs[0].printed);
            ASSERT_FALSE(jobs[0].ops.empty());
            EXPECT_EQ(jobs[0].ops[0].text, kHeading);
        }
        win.reset();
    }
}

class FontCommand : public PrintCommand {
protected:
    // A week with widths the user set, a hidden B column and a cell typed over
    // without being saved.
    app::Hourgrid& prepared() {
        app::Hourgrid& w = openTimer();
        w.Grid.setColWidth(0, 2345);
        w.Grid.setColWidth(21, 777);
        w.ShowDurationColumn(4, false);
        w.Grid.setTextMatrix(1, 0, "typed over");
        return w;
    }
    void expectWidthsKept(app::Hourgrid& w) {
        EXPECT_EQ(w.Grid.colWidth(0), 2345);
        EXPECT_EQ(w.Grid.colWidth(21), 777);
        for (int c = 4; c <= 22; c += 3) EXPECT_EQ(w.Grid.colWidth(c), 0) << c;
        for (int c = 5; c <= 23; c += 3) EXPECT_EQ(w.Grid.colWidth(c), 200) << c;
    }
};

TEST_F(FontCommand, CancelChangesNeitherTheFontNorTheGrid) {
    app::Hourgrid& w = prepared();
    const ui::Font font = w.Grid.font();
    const auto before = cells(w.Grid);
    w.EditMenuFont_Click();  // no answer queued: cancelled

    EXPECT_EQ(platform.fontRequests, std::vector<ui::Font>{font});
    EXPECT_EQ(w.Grid.font(), font);
    EXPECT_EQ(cells(w.Grid), before);
    expectWidthsKept(w);
    EXPECT_EQ(readSetting("CustJobWidth"), "2345");  // stored before the dialog
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(FontCommand, AChosenFontRebuildsTheWeekWithTheWidthsKept) {
    app::Hourgrid& w = prepared();
    ui::Font before = w.Grid.font();
    before.underline = true;
    w.Grid.setFont(before);
    platform.fontResults = {ui::Font{"DejaVu Serif", true, true, 12.5, false}};
    w.EditMenuFont_Click();

    EXPECT_EQ(platform.fontRequests, std::vector<ui::Font>{before});
    // The dialog offers no effects: the grid's underline stays.
    EXPECT_EQ(w.Grid.font(), (ui::Font{"DejaVu Serif", true, true, 12.5, true}));
    expectWidthsKept(w);
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(w.Grid.textMatrix(1, 0), "Acme Corporation:Website Redesign");  // read again from the file
    EXPECT_EQ(w.Grid.textMatrix(w.Grid.rows() - 1, 24), "46:28");
    EXPECT_EQ(readSetting("GridFontName"), "<absent>");  // written only when the window closes
    EXPECT_TRUE(platform.messages.empty());
}

// Durations of the activities in the file, by ID.
std::map<int32_t, int> storedMinutes(const std::string& path) {
    auto db = jet::Database::open(path);
    auto rs = jet::runNamed(*db, "Activities");
    const int id = rs.columnIndex("ID"), du = rs.columnIndex("Duration");
    std::map<int32_t, int> out;
    for (const auto& r : rs.rows) out[r[id].asInt32()] = static_cast<int>(std::lround(r[du].toDouble() * 1440));
    return out;
}

class PendingEdit : public FontCommand {
protected:
    // Opens the duration editor on Tuesday of a row without time and types `text`.
    app::Hourgrid& typing(const std::string& text) {
        app::Hourgrid& w = openTimer();
        for (int r = 1; r < w.Grid.rows() - 1 && row < 0; ++r)
            if (w.Grid.textMatrix(r, 0) == "Acme Corporation:Support Contract") row = r;
        EXPECT_GT(row, 0);
        w.Grid.userMouseDown(row, 6, 1, 0, 0, 0);
        EXPECT_TRUE(w.TimeEntry.visible());
        for (char ch : text) w.TimeEntry.typeKey(static_cast<unsigned char>(ch));
        platform.messages.clear();
        return w;
    }
    int row = -1;
    const ui::Font chosen{"DejaVu Serif", false, false, 10, false};
};

TEST_F(PendingEdit, ADurationBeingTypedGoesToItsOwnCellBeforeTheWeekIsRebuilt) {
    const auto before = storedMinutes(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    app::Hourgrid& w = typing("2");
    platform.fontResults = {chosen};
    w.EditMenuFont_Click();
    // Nothing is left open over the rebuilt week for a later Enter to commit elsewhere.
    EXPECT_FALSE(w.TimeEntry.visible());
    w.TimeEntry.typeKey(13);

    EXPECT_EQ(w.Grid.font().name, "DejaVu Serif");
    EXPECT_TRUE(platform.messages.empty());
    // The rebuilt week lists the row among those with time, wherever it sorts.
    int32_t added = 0;
    for (int r = 1; r < w.Grid.rows() - 1; ++r)
        if (w.Grid.textMatrix(r, 0) == "Acme Corporation:Support Contract" && w.Grid.textMatrix(r, 6) == "02:00")
            added = w.id(6, r);
    ASSERT_GT(added, 0);
    win.reset();
    auto after = storedMinutes(timerPath);
    ASSERT_EQ(after.size(), before.size() + 1);
    for (const auto& [id, minutes] : before) EXPECT_EQ(after.at(id), minutes) << "activity " << id;
    EXPECT_EQ(after.at(added), 120);

    // An independent reader sees the same: the new row on Tuesday, the rest as shipped.
    if (std::system("command -v mdb-export >/dev/null") != 0) GTEST_SKIP() << "mdb-export is not installed";
    auto exported = [](const std::string& path) {
        std::string out;
        FILE* p = popen(("mdb-export '" + path + "' Activities").c_str(), "r");
        char buf[4096];
        for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        if (p) pclose(p);
        return out;
    };
    const std::string shipped = exported(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    const std::string now = exported(timerPath);
    EXPECT_EQ(now.substr(0, shipped.size()), shipped);
    const std::string added_line = now.substr(shipped.size());
    EXPECT_EQ(added_line.rfind(std::to_string(added) + ",200,", 0), 0u) << added_line;
    EXPECT_NE(added_line.find("\"12/01/26 00:00:00\""), std::string::npos) << added_line;
    EXPECT_NE(added_line.find("\"12/30/99 02:00:00\""), std::string::npos) << added_line;
}

TEST_F(PendingEdit, AnUnreadableDurationKeepsTheEditorAndTheFont) {
    const auto before = storedMinutes(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    app::Hourgrid& w = typing("2x");
    const ui::Font font = w.Grid.font();
    platform.fontResults = {chosen};
    w.EditMenuFont_Click();

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Enter a valid time. For example: 2:00 or 120 or 2");
    EXPECT_EQ(w.Grid.font(), font);
    EXPECT_TRUE(w.TimeEntry.visible());
    EXPECT_EQ(w.TimeEntry.text(), "2x");
    EXPECT_EQ(w.Grid.row(), row);
    EXPECT_EQ(w.Grid.col(), 6);
    win.reset();
    EXPECT_EQ(storedMinutes(timerPath), before);
}

// The entry reaches its own cell before the dialog shows, as on leaving the cell.
TEST_F(PendingEdit, TheEntryIsCommittedBeforeTheDialog) {
    app::Hourgrid& w = typing("3");
    w.EditMenuFont_Click();
    ASSERT_EQ(platform.fontRequests.size(), 1u);
    EXPECT_FALSE(w.TimeEntry.visible());
    EXPECT_EQ(w.Grid.textMatrix(row, 6), "03:00");
    EXPECT_GT(w.id(6, row), 0);
}

}  // namespace
