// Cell editors stay over their cell when the user scrolls the grid or resizes
// the window, and never show over the headings.
#include <QScrollBar>
#include <QWheelEvent>
#include <functional>

#include "qt_fixture.h"

namespace {

// The part of a widget that shows on screen, in the widget's own coordinates.
QRegion shownPart(QWidget* w) { return w->mask().isEmpty() ? QRegion(w->rect()) : w->mask() & w->rect(); }

}  // namespace

class EditorScrollTest : public QtWindowFixture {
protected:
    void SetUp() override {
        QtWindowFixture::SetUp();
        openSized(733, 333);  // the week does not fit either way
    }
    void wheel(int notches, Qt::Orientation o = Qt::Vertical) {
        QPoint p = grid().viewport()->rect().center();
        QPoint delta = o == Qt::Vertical ? QPoint(0, -120 * notches) : QPoint(-120 * notches, 0);
        QWheelEvent we(p, grid().viewport()->mapToGlobal(p), QPoint(), delta, Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid().viewport(), &we);
        settle();
    }
    int fixedBottomInSurface() {
        return grid().viewport()->mapTo(window->surface(), QPoint(0, grid().cellRect(0, 0).bottom() + 1)).y();
    }
};

TEST_F(EditorScrollTest, TheDurationEditorTravelsWithItsCellAndIsCutAtTheHeadings) {
    const int row = 3, col = 3;  // Monday of the third row, near the top
    clickCell(row, col);
    QTest::keyClicks(window->timeEntry(), "2");
    settle();
    QWidget* ed = window->timeEntry();
    ASSERT_TRUE(ed->isVisible());
    ASSERT_EQ(inSurface(ed), cellInSurface(row, col));
    ASSERT_GT(grid().verticalScrollBar()->maximum(), 0);

    struct Step { int notches; const char* what; };
    const Step steps[] = {{1, "one notch down"}, {1, "another notch down"}, {-2, "back to the top"}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        wheel(s.notches);
        const QRect cell = cellInSurface(row, col);
        EXPECT_EQ(inSurface(ed), cell);
        // What shows of the editor lies below the headings.
        const int hidden = std::max(0, fixedBottomInSurface() - cell.top());
        EXPECT_EQ(shownPart(ed).boundingRect(), QRect(0, hidden, cell.width(), cell.height() - hidden)
                                                      .intersected(ed->rect()));
    }
    EXPECT_TRUE(ed->mask().isEmpty());  // fully in view again: nothing cut

    // The typed duration still goes to its own cell.
    QTest::keyClick(ed, Qt::Key_Return);
    settle();
    EXPECT_EQ(form->Grid.textMatrix(row, col), "02:00");
    EXPECT_EQ(form->Grid.textMatrix(row, col + 3), "04:15");  // Tuesday untouched
}

TEST_F(EditorScrollTest, EditorsFollowASidewaysScrollAndAWiderWindow) {
    // A reference combo on the left and a duration editor on the right.
    struct Case { int col; const char* what; };
    const Case cases[] = {{0, "Customer:Job combo"}, {18, "Saturday's duration"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        resizeTo(733, 333);
        grid().horizontalScrollBar()->setValue(grid().horizontalScrollBar()->maximum());
        settle();
        const int row = form->Grid.rows() - 2;  // the empty row: every column edits there
        clickCell(row, k.col);
        QWidget* ed = k.col == 0 ? static_cast<QWidget*>(window->combo("CustJobCombo")) : window->timeEntry();
        ASSERT_TRUE(ed->isVisible());
        EXPECT_EQ(inSurface(ed).topLeft(), cellInSurface(row, k.col).topLeft());

        resizeTo(1500, 600);  // the whole week fits: the grid scrolls back to its left edge
        ASSERT_EQ(grid().horizontalScrollBar()->value(), 0);
        const QRect cell = cellInSurface(row, k.col);
        EXPECT_EQ(inSurface(ed).topLeft(), cell.topLeft());
        EXPECT_EQ(inSurface(ed).width(), cell.width());
        EXPECT_TRUE(ed->mask().isEmpty());
        QTest::keyClick(&grid(), Qt::Key_Escape);
        clickCell(1, 3);
    }
}

TEST_F(EditorScrollTest, TheDurationEditorKeepsToItsCellWhenColumnsChangeWidth) {
    resizeTo(1500, 600);
    const int row = 3, col = 6;  // Tuesday of the third row
    clickCell(row, col);
    QTest::keyClicks(window->timeEntry(), "1");
    settle();
    QWidget* ed = window->timeEntry();
    ASSERT_TRUE(ed->isVisible());

    struct Change { const char* what; std::function<void()> run; };
    const Change changes[] = {
        {"Customer:Job border dragged 40 pixels right", [&] { dragBorder(0, 40); }},
        {"the editor's own column dragged wider", [&] { dragBorder(col, 25); }},
        {"Set Column Widths to Default", [&] { window->menuAction("EditMenuSetDefaultColumnWidths")->trigger(); }},
    };
    for (const Change& ch : changes) {
        SCOPED_TRACE(ch.what);
        const QRect before = cellInSurface(row, col);
        ch.run();
        settle();
        const QRect cell = cellInSurface(row, col);
        ASSERT_NE(cell, before);  // the change did move or widen the cell
        ASSERT_TRUE(ed->isVisible());
        EXPECT_EQ(inSurface(ed), cell);
    }
    QTest::keyClick(ed, Qt::Key_Return);
    settle();
    EXPECT_EQ(form->Grid.textMatrix(row, col), "01:00");
}
