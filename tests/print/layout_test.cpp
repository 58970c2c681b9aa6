// The weekly report's layout on a page of known size, with a measure that
// gives every character 60 twips of width and a line 180 twips high (so a row
// pitch of 360, text 60 twips right of its box and 90 below its top).
#include <gtest/gtest.h>

#include <QLocale>
#include <string>
#include <vector>

#include "app/hourgrid.h"
#include "print/report.h"

namespace {

using Kind = ui::PrintOp::Kind;

constexpr double kPageW = 14400, kPageH = 10800;  // margins 720 and 540, bottom 10260, right 13680

ui::TextExtent measure(const std::string& s) {
    return {60.0 * QString::fromStdString(s).toUcs4().size(), 180.0};
}

struct Cell {
    int row, col;
    std::string text;
};

// 25 columns summing to 12960 twips: on a 14400-wide page the scale is exactly 1,
// so every column starts where the widths before it end, from x = 720.
void setWidths(ui::FlexGrid& g, int nameW = 2000, int bnW = -1, int totalsW = 760) {
    g.setColWidth(0, nameW);
    g.setColWidth(1, 1500);
    g.setColWidth(2, 1000);
    for (int d = 0; d < 7; ++d) {
        g.setColWidth(3 + 3 * d, 600);
        g.setColWidth(4 + 3 * d, bnW < 0 ? 200 : bnW);
        g.setColWidth(5 + 3 * d, bnW < 0 ? 300 : bnW);
    }
    g.setColWidth(24, totalsW);
}

// The grid as the week shows it: heading row, `dataRows` rows, totals row.
void makeWeek(ui::FlexGrid& g, int dataRows) {
    g.setFormatString(app::kGridFormat);
    g.setRows(dataRows + 2);
    const char* days[7] = {"M 30", "T 1", "W 2", "T 3", "F 4", "S 5", "S 6"};
    for (int d = 0; d < 7; ++d) g.setTextMatrix(0, 3 + 3 * d, days[d]);
    for (int r = 1; r <= dataRows; ++r) {
        g.setTextMatrix(r, 0, "Smith Construction");
        g.setTextMatrix(r, 1, "Framing");
        g.setTextMatrix(r, 2, "East");
        g.setTextMatrix(r, 3, "01:30");
        g.setTextMatrix(r, 4, "*");
        g.setTextMatrix(r, 5, "x");
        g.setTextMatrix(r, 21, "02:00");
        g.setTextMatrix(r, 24, "03:30");
    }
    int t = dataRows + 1;
    g.setTextMatrix(t, 2, "Totals:");
    g.setTextMatrix(t, 3, "01:30");
    g.setTextMatrix(t, 24, "03:30");
    setWidths(g);
}

std::vector<ui::PrintOp> layout(const ui::FlexGrid& g) {
    return print::layoutWeek(g, "Alice Moreno", QDate(2026, 11, 30), kPageW, kPageH, measure);
}

std::vector<ui::PrintOp> ofKind(const std::vector<ui::PrintOp>& ops, Kind k) {
    std::vector<ui::PrintOp> out;
    for (const auto& op : ops)
        if (op.kind == k) out.push_back(op);
    return out;
}

const ui::PrintOp* textAt(const std::vector<ui::PrintOp>& ops, double x, double y) {
    for (const auto& op : ops)
        if (op.kind == Kind::Text && op.x == x && op.y == y) return &op;
    return nullptr;
}

void expectTextAt(const std::vector<ui::PrintOp>& ops, double x, double y, const std::string& text) {
    const ui::PrintOp* t = textAt(ops, x, y);
    EXPECT_TRUE(t && t->text == text) << "at " << x << "," << y << ": " << (t ? t->text : "<nothing>") << ", not " << text;
}

// Left edges of the 25 columns at scale 1: each starts where the widths before it end.
std::vector<int> scale1Lefts(const ui::FlexGrid& g) {
    std::vector<int> xs;
    for (int c = 0, x = 720; c < 25; x += g.colWidth(c++)) xs.push_back(x);
    return xs;
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
    ui::FlexGrid grid;
};

TEST_F(Layout, MetricsFollowThePageAndTheFont) {
    struct Case {
        double w, h;
        int marginX, marginY, bottomY;
        double rightX;
    } cases[] = {
        {14400, 10800, 720, 540, 10260, 13680},
        {14410, 10810, 720, 540, 10270, 13690},  // 720.5 and 540.5 go to the even neighbour
        {14430, 10830, 722, 542, 10288, 13708},  // 721.5 and 541.5 likewise
        {15120.4, 11520.6, 756, 576, 10945, 14364.4},
    };
    grid.setFormatString(app::kGridFormat);
    setWidths(grid);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w);
        print::Metrics m = print::reportMetrics(grid, c.w, c.h, measure);
        EXPECT_EQ(m.marginX, c.marginX);
        EXPECT_EQ(m.marginY, c.marginY);
        EXPECT_EQ(m.bottomY, c.bottomY);
        EXPECT_DOUBLE_EQ(m.rightX, c.rightX);
        EXPECT_DOUBLE_EQ(m.rowPitch, 360);
        EXPECT_DOUBLE_EQ(m.charW, 60);
        EXPECT_DOUBLE_EQ(m.textOffY, 90);
        EXPECT_DOUBLE_EQ(m.gridWidth, 12960);
        EXPECT_DOUBLE_EQ(m.scale, c.w / (12960 + 2.0 * c.marginX));
    }
}

TEST_F(Layout, HeadingNamesThePersonTheWeekAndThePage) {
    EXPECT_EQ(print::pageHeading("Alice Moreno", QDate(2026, 11, 30), 1),
              "Alice Moreno          11/30/26 - 12/6/26          Page  1 ");
    EXPECT_EQ(print::pageHeading("Zoë", QDate(2026, 12, 28), 12), "Zoë          12/28/26 - 1/3/27          Page  12 ");
}

TEST_F(Layout, AWeekThatFitsIsOnePageOfBoxedCells) {
    makeWeek(grid, 3);
    auto ops = layout(grid);

    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops[0].kind, Kind::Text);
    EXPECT_EQ(ops[0].x, 720);
    EXPECT_EQ(ops[0].y, 540);
    EXPECT_EQ(ops[0].text, "Alice Moreno          11/30/26 - 12/6/26          Page  1 ");
    EXPECT_TRUE(ofKind(ops, Kind::NewPage).empty());

    // One blank row pitch under the heading line, then a row every 360 twips.
    const std::vector<int> lefts = scale1Lefts(grid);
    auto boxes = ofKind(ops, Kind::Box);
    ASSERT_EQ(boxes.size(), 5u * 25);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 25; ++c) {
            const ui::PrintOp& b = boxes[static_cast<size_t>(r * 25 + c)];
            SCOPED_TRACE(testing::Message() << "row " << r << " col " << c);
            EXPECT_EQ(b.x, lefts[static_cast<size_t>(c)] - 60);
            EXPECT_EQ(b.y, 1260 + 360 * r - 90);
            EXPECT_EQ(b.width, grid.colWidth(c));
            EXPECT_EQ(b.height, 360);
        }

    const Cell expected[] = {
        {0, 0, "Customer:Job"}, {0, 1, "Service Item"}, {0, 2, "Class"}, {0, 3, "M 30"}, {0, 4, "B"},
        {0, 5, "N"},            {0, 24, "Totals"},       {1, 0, "Smith Construction"}, {1, 3, "01:30"},
        {1, 4, "*"},            {1, 5, "x"},             {3, 21, "02:00"},  {3, 24, "03:30"},
        {4, 2, "Totals:"},      {4, 3, "01:30"},         {4, 24, "03:30"},
    };
    for (const Cell& e : expected) {
        SCOPED_TRACE(e.text);
        expectTextAt(ops, lefts[static_cast<size_t>(e.col)], 1260 + 360 * e.row, e.text);
    }
    // Every printed text is a whole cell here: nothing else, nothing cut.
    int nonEmpty = 0;
    for (int r = 0; r < grid.rows(); ++r)
        for (int c = 0; c < 25; ++c) nonEmpty += !grid.textMatrix(r, c).empty();
    EXPECT_EQ(ofKind(ops, Kind::Text).size(), 1u + nonEmpty);
}

TEST_F(Layout, RowsPastTheBottomMarginGoOnNewPagesUnderTheHeading) {
    // Rows 0..24 reach y = 9900 on page 1; from row 25 on each page takes 25 rows
    // starting two pitches under its heading, at y = 1260.
    makeWeek(grid, 58);  // 60 rows: pages of 25, 25 and 10
    for (int r = 1; r <= 58; ++r) grid.setTextMatrix(r, 0, "Row " + std::to_string(r));
    auto ops = layout(grid);

    std::vector<std::vector<ui::PrintOp>> pages(1);
    for (const auto& op : ops) {
        if (op.kind == Kind::NewPage) pages.emplace_back();
        else pages.back().push_back(op);
    }
    ASSERT_EQ(pages.size(), 3u);
    const int firstRow[3] = {0, 25, 50}, rowCount[3] = {25, 25, 10};
    for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE(p + 1);
        const auto& page = pages[static_cast<size_t>(p)];
        ASSERT_FALSE(page.empty());
        EXPECT_EQ(page[0].kind, Kind::Text);
        EXPECT_EQ(page[0].x, 720);
        EXPECT_EQ(page[0].y, 540);
        EXPECT_EQ(page[0].text, "Alice Moreno          11/30/26 - 12/6/26          Page  " + std::to_string(p + 1) + " ");
        EXPECT_EQ(ofKind(page, Kind::Box).size(), static_cast<size_t>(25 * rowCount[p]));
        for (int i = 0; i < rowCount[p] && firstRow[p] + i < 59; ++i) {
            const int r = firstRow[p] + i;
            expectTextAt(page, 720, 1260 + 360 * i, r == 0 ? "Customer:Job" : "Row " + std::to_string(r));
        }
    }
    // The totals row (59) is the last on page 3: its "Totals:" under Class.
    expectTextAt(pages[2], 720 + 2000 + 1500, 1260 + 360 * 9, "Totals:");
    // The grid's heading row is printed once only.
    int headers = 0;
    for (const auto& op : ops) headers += op.kind == Kind::Text && op.text == "Customer:Job";
    EXPECT_EQ(headers, 1);
}

TEST_F(Layout, TextsAreCutToWhatFitsLessTwoCharacters) {
    // Monday's note column (5) at various widths; "Totals" takes up the rest so
    // that the scale stays 1. 60 twips a character: a column of w twips holds
    // w / 60 characters, and the text keeps that many less two, rounded to even.
    struct Case {
        int width;
        std::string note, printed;  // empty: no text, only the box
    } cases[] = {
        {300, "Called client", "Cal"},                 // 5 fit: 3
        {120, "Called client", ""},                    // 2 fit: none
        {150, "Called client", ""},                    // 0.5 rounds to 0
        {210, "Called client", "Ca"},                  // 1.5 rounds to 2
        {270, "Called client", "Ca"},                  // 2.5 rounds to 2
        {330, "Called client", "Call"},                // 3.5 rounds to 4
        {1000, "Called client", "Called client"},      // more room than text
        {480, "Café crème brûlée", "Café c"},          // characters, not bytes
        {0, "Called client", ""},                      // hidden column
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        ui::FlexGrid g;
        makeWeek(g, 1);
        g.setTextMatrix(1, 5, c.note);
        g.setColWidth(5, c.width);
        g.setColWidth(24, 760 + 300 - c.width);
        auto ops = layout(g);
        const double x = 720 + 2000 + 1500 + 1000 + 600 + 200, y = 1620;
        const ui::PrintOp* t = textAt(ops, x, y);
        if (c.printed.empty()) {
            EXPECT_EQ(t, nullptr) << (t ? t->text : "");
        } else {
            ASSERT_NE(t, nullptr);
            EXPECT_EQ(t->text, c.printed);
        }
        bool boxed = false;
        for (const auto& op : ops)
            boxed |= op.kind == Kind::Box && op.x == x - 60 && op.y == y - 90 && op.width == c.width;
        EXPECT_TRUE(boxed);
    }
}

TEST_F(Layout, ColumnsPastTheRightMarginAreDroppedAndTheStraddlingOneBoxedEmpty) {
    // A Customer:Job column of 16400 makes the grid 27360 wide: scale 0.5. The
    // columns then start at 720, 8920, 9670, 10170 and every 550 per day; Sunday's
    // duration column starts at 13470, inside the right margin (13680), and ends
    // at 13770, beyond it; Sunday's B, N and "Totals" start beyond it.
    makeWeek(grid, 2);
    grid.setColWidth(0, 16400);
    auto ops = layout(grid);

    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        const double y = 1260 + 360 * r;
        std::vector<ui::PrintOp> row;
        for (const auto& op : ops)
            if (op.kind == Kind::Box && op.y == y - 90) row.push_back(op);
        ASSERT_EQ(row.size(), 22u);  // columns 0..21
        EXPECT_EQ(row[0].x, 660);
        EXPECT_EQ(row[0].width, 8200);
        EXPECT_EQ(row[1].x, 8860);
        EXPECT_EQ(row[3].x, 10110);
        EXPECT_EQ(row[21].x, 13410);
        EXPECT_EQ(row[21].width, 300);
        EXPECT_EQ(textAt(ops, 13470, y), nullptr);  // "S 6" and "02:00" are not printed
        for (const auto& op : ops) EXPECT_FALSE(op.kind == Kind::Text && op.x >= 13680) << op.text;
    }
    expectTextAt(ops, 12920, 1260, "S 5");
    expectTextAt(ops, 720, 1620, "Smith Construction");
}

TEST_F(Layout, HiddenBillableAndNoteColumnsPrintOnlyEmptyBoxes) {
    // B and N at width 0 and "Totals" 4260 wide keep the grid 12960 wide.
    makeWeek(grid, 2);
    setWidths(grid, 2000, 0, 4260);
    auto ops = layout(grid);
    const std::vector<int> lefts = scale1Lefts(grid);

    for (const auto& op : ofKind(ops, Kind::Text))
        for (const char* hidden : {"*", "x", "B", "N"}) EXPECT_NE(op.text, hidden);
    auto boxes = ofKind(ops, Kind::Box);
    ASSERT_EQ(boxes.size(), 4u * 25);
    for (int c = 0; c < 25; ++c) {
        SCOPED_TRACE(c);
        const ui::PrintOp& b = boxes[static_cast<size_t>(25 + c)];  // row 1
        EXPECT_EQ(b.x, lefts[static_cast<size_t>(c)] - 60);
        EXPECT_EQ(b.width, grid.colWidth(c));
    }
    // Each day's duration follows the previous one directly: 600 apart.
    for (int d = 0; d < 7; ++d) EXPECT_EQ(lefts[static_cast<size_t>(3 + 3 * d)], 5220 + 600 * d);
    expectTextAt(ops, 5220 + 600 * 6, 1620, "02:00");
    expectTextAt(ops, 9420, 1620, "03:30");
}

TEST_F(Layout, AWeekWithoutDataRowsPrintsTheHeadingRowAndTheTotals) {
    makeWeek(grid, 0);
    grid.setTextMatrix(1, 3, "00:00");
    grid.setTextMatrix(1, 24, "00:00");
    auto ops = layout(grid);

    EXPECT_EQ(ofKind(ops, Kind::Box).size(), 50u);
    auto texts = ofKind(ops, Kind::Text);
    ASSERT_EQ(texts.size(), 1u + 3 + 7 + 14 + 1 + 3);  // heading line, row 0 (B and N too), totals row
    EXPECT_EQ(texts[0].text.rfind("Alice Moreno", 0), 0u);
    expectTextAt(ops, 720, 1260, "Customer:Job");
    expectTextAt(ops, 4220, 1620, "Totals:");
    expectTextAt(ops, 12920, 1620, "00:00");
    for (const auto& op : ops) EXPECT_LE(op.y, 1620);
}

}  // namespace
