// Cell editors stay over their cell through scrolls, resizes and column widths, never over the headings.
#include <QWheelEvent>
#include <functional>
#include "qt_fixture.h"

class EditorPlaceTest : public QtWindowFixture {
protected:
    void SetUp() override {
        QtWindowFixture::SetUp();
        openSized(733, 333);  // the week does not fit either way
    }
    void wheel(int notches) {
        QPoint p = grid().viewport()->rect().center();
        QWheelEvent we(p, grid().viewport()->mapToGlobal(p), QPoint(), QPoint(0, -120 * notches), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid().viewport(), &we), settle();
    }
};

TEST_F(EditorPlaceTest, TheDurationEditorTravelsWithItsCellAndIsCutAtTheHeadings) {
    clickCell(3, 3), type("2");  // Monday of the third row, near the top
    QWidget* ed = window->timeEntry();
    ASSERT_TRUE(ed->isVisible());
    ASSERT_GT(grid().verticalScrollBar()->maximum(), 0);
    for (int notches : {0, 1, 1, -2}) {  // down two notches, then back to the top
        wheel(notches);
        const QRect cell = cellInSurface(3, 3);
        EXPECT_EQ(inSurface(ed), cell);
        // What shows of the editor lies below the headings.
        const int fixedBottom = grid().viewport()->mapTo(window->surface(), QPoint(0, grid().cellRect(0, 0).bottom() + 1)).y();
        const int hidden = std::max(0, fixedBottom - cell.top());
        const QRegion shown = ed->mask().isEmpty() ? QRegion(ed->rect()) : ed->mask() & ed->rect();
        EXPECT_EQ(shown.boundingRect(), QRect(0, hidden, cell.width(), cell.height() - hidden).intersected(ed->rect())) << notches;
    }
    EXPECT_TRUE(ed->mask().isEmpty());  // fully in view again: nothing cut
    key(ed, Qt::Key_Return);  // the typed duration still goes to its own cell
    EXPECT_EQ(std::pair(cell(3, 3), cell(3, 6)), std::pair(std::string("02:00"), std::string("04:15")));
}

// A sideways scroll, a wider window and changed column widths keep each editor on its cell.
TEST_F(EditorPlaceTest, EditorsFollowASidewaysScrollAWiderWindowAndColumnWidths) {
    for (int col : {0, 18}) {  // the Customer:Job combo, Saturday's duration
        resizeTo(733, 333);
        grid().horizontalScrollBar()->setValue(grid().horizontalScrollBar()->maximum()), settle();
        const int row = form->Grid.rows() - 2;  // the empty row: every column edits there
        clickCell(row, col);
        QWidget* ed = col == 0 ? static_cast<QWidget*>(window->combo("CustJobCombo")) : window->timeEntry();
        ASSERT_TRUE(ed->isVisible());
        EXPECT_EQ(inSurface(ed).topLeft(), cellInSurface(row, col).topLeft());
        resizeTo(1500, 600);  // the whole week fits: the grid scrolls back to its left edge
        ASSERT_EQ(grid().horizontalScrollBar()->value(), 0);
        EXPECT_EQ(inSurface(ed), cellInSurface(row, col)) << col;
        key(&grid(), Qt::Key_Escape), clickCell(1, 3);
    }
    openSized(1500, 600);
    clickCell(3, 6), type("1");  // Tuesday of the third row
    QWidget* ed = window->timeEntry();
    const std::function<void()> changes[] = {  // the Customer:Job border dragged right, the editor's own column wider, defaults
        [&] { dragBorder(0, 40); }, [&] { dragBorder(6, 25); },
        [&] { window->menuAction("EditMenuSetDefaultColumnWidths")->trigger(), settle(); }};
    for (const auto& change : changes) {
        const QRect before = cellInSurface(3, 6);
        change();
        ASSERT_NE(cellInSurface(3, 6), before);  // the change did move or widen the cell
        ASSERT_TRUE(ed->isVisible());
        EXPECT_EQ(inSurface(ed), cellInSurface(3, 6));
    }
    key(ed, Qt::Key_Return);
    EXPECT_EQ(cell(3, 6), "01:00");
}
