// The grid widget on the loaded week of sample.tdb: the cell a click lands on,
// the colours drawn, the editors laid exactly over their cells, column drags.
#include <QAbstractItemView>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>

#include "qt_fixture.h"
#include "units.h"

class GridTest : public QtWindowFixture {
protected:
    QColor pixelInCell(const QImage& img, int row, int col) {
        QRect r = grid().cellRect(row, col);
        // The top-right corner inside the grid lines: left-aligned text never reaches it.
        QPoint p(r.right() - 2, r.top() + 2);
        return QColor(img.pixelColor(p * img.devicePixelRatio()).rgb());
    }
    QImage shot() { return grid().viewport()->grab().toImage(); }
    // A mouse move over the viewport, delivered to it as the window system would.
    void hover(const QPoint& p) {
        QWidget* vp = grid().viewport();
        QMouseEvent e(QEvent::MouseMove, p, vp->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
        settle();
    }
};

TEST_F(GridTest, ClicksLandOnTheCellUnderTheMouse) {
    openSized(1200, 600);
    struct Click {
        int row, col;
    };
    // Duration cells of unexported activities and empty ones, a B, an N and a heading cell of row 2.
    const Click clicks[] = {{1, 3}, {2, 9}, {3, 6}, {1, 4}, {2, 5}, {2, 0}};
    for (const Click& c : clicks) {
        SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.col));
        clickCell(c.row, c.col);
        EXPECT_EQ(form->Grid.mouseRow, c.row);
        EXPECT_EQ(form->Grid.mouseCol, c.col);
        EXPECT_EQ(form->Grid.row(), c.row);
        EXPECT_EQ(form->Grid.col(), c.col);
    }
    // The header row and the totals column do not become current.
    clickCell(2, 9);
    clickCell(0, 12);
    EXPECT_EQ(form->Grid.mouseRow, 0);
    EXPECT_EQ(form->Grid.mouseCol, 12);
    EXPECT_EQ(form->Grid.row(), 2);
    EXPECT_EQ(form->Grid.col(), 9);
    clickCell(1, 24);
    EXPECT_EQ(form->Grid.mouseCol, 24);
    EXPECT_NE(form->Grid.col(), 24);
}

TEST_F(GridTest, CellGeometryIsWhereTheCellIsDrawnAlsoWhenScrolled) {
    openSized(500, 300);  // small enough to scroll both ways
    ASSERT_GT(grid().horizontalScrollBar()->maximum(), 0);
    ASSERT_GT(grid().verticalScrollBar()->maximum(), 0);
    grid().horizontalScrollBar()->setValue(grid().horizontalScrollBar()->maximum());
    grid().verticalScrollBar()->setValue(grid().verticalScrollBar()->maximum());
    QPoint vp = grid().viewport()->geometry().topLeft();
    for (int c : {0, 12, 21, 24}) {
        SCOPED_TRACE(c);
        int r = form->Grid.rows() - 2;
        ui::CellRect g = form->Grid.cellRect(r, c);
        QRect drawn = grid().cellRect(r, c);
        EXPECT_EQ(uiqt::px(g.left), drawn.left() + vp.x());
        EXPECT_EQ(uiqt::px(g.top), drawn.top() + vp.y());
        EXPECT_EQ(uiqt::px(g.width), drawn.width());
        EXPECT_EQ(uiqt::px(g.height), drawn.height());
    }
    // A click on a scrolled cell still finds that cell.
    int r = form->Grid.rows() - 2;
    clickCell(r, 21);
    EXPECT_EQ(form->Grid.mouseRow, r);
    EXPECT_EQ(form->Grid.mouseCol, 21);
}

TEST_F(GridTest, TheDurationEditorLiesExactlyOverItsCellAtAnyFont) {
    for (double size : {8.0, 14.0}) {
        SCOPED_TRACE(size);
        writeSetting("GridFontSize", std::to_string(size));
        openSized(1300, 600);
        clickCell(2, 9);  // an unexported activity: no question, the editor opens
        ASSERT_TRUE(form->TimeEntry.visible());
        EXPECT_EQ(inSurface(window->timeEntry()), cellInSurface(2, 9));
        EXPECT_EQ(window->focusWidget(), window->timeEntry());
        // The whole old duration is selected, so typing replaces it.
        EXPECT_EQ(window->timeEntry()->selectedText().toStdString(), form->Grid.textMatrix(2, 9));
        form->Grid_LeaveCell();
    }
}

TEST_F(GridTest, TheComboLiesOverItsHeadingCellAndRowsFitIt) {
    openSized(1300, 600);
    clickCell(1, 1);
    uiqt::ComboView* combo = window->combo("ServiceCombo");
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(combo->isVisible());
    QRect cell = cellInSurface(1, 1);
    QRect at = inSurface(combo);
    EXPECT_EQ(at.topLeft(), cell.topLeft());
    EXPECT_EQ(at.width(), cell.width());
    EXPECT_EQ(at.height(), cell.height()) << "data rows take the combo's height";
    EXPECT_EQ(combo->currentText().toStdString(), form->Grid.textMatrix(1, 1));
    EXPECT_EQ(combo->view()->minimumWidth(), 300);
    // Choosing an item goes to the model as a user's choice.
    int other = combo->currentIndex() == 0 ? 1 : 0;
    combo->activated(other);
    EXPECT_EQ(form->ServiceCombo.listIndex(), other);
}

TEST_F(GridTest, ColoursOfTheWeekAreDrawn) {
    openSized(1300, 700);
    QImage img = shot();
    const QPalette pal = grid().palette();
    const QColor light3d(uiqt::resolveColor(ui::kSys3DLight, pal).rgb());
    EXPECT_NE(light3d, pal.color(QPalette::Base)) << "totals must stand out from the cells";
    const int totals = form->Grid.rows() - 1;
    EXPECT_EQ(pixelInCell(img, 1, 24), light3d);
    {
        // The totals row, scrolled into view when the screen is too small for the whole week.
        grid().verticalScrollBar()->setValue(grid().verticalScrollBar()->maximum());
        QImage bottom = shot();
        EXPECT_EQ(pixelInCell(bottom, totals, 3), light3d);
        EXPECT_EQ(pixelInCell(bottom, totals, 0), light3d);
        grid().verticalScrollBar()->setValue(0);
    }
    const QRect seen = grid().viewport()->rect();
    // Every drawn cell takes the model's background, resolved.
    for (int r = 1; r < form->Grid.rows(); ++r)
        for (int c = 0; c < 25; ++c) {
            if (form->Grid.colWidth(c) == 0 || !seen.contains(grid().cellRect(r, c))) continue;
            SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
            EXPECT_EQ(pixelInCell(img, r, c), QColor(uiqt::resolveColor(form->Grid.backColorAt(r, c), pal).rgb()));
        }
    // An activity not yet exported is light yellow.
    bool yellow = false;
    for (int r = 1; r < totals; ++r)
        for (int c = 3; c <= 21; c += 3)
            if (form->Grid.backColorAt(r, c) == ui::rgb(255, 255, 213) && seen.contains(grid().cellRect(r, c))) {
                EXPECT_EQ(pixelInCell(img, r, c), QColor(255, 255, 213));
                yellow = true;
            }
    EXPECT_TRUE(yellow);
    // Durations are written in the model's text colour (green, blue, magenta, window text).
    int coloured = 0;
    for (int r = 1; r < totals; ++r)
        for (int c = 3; c <= 21; c += 3) {
            if (form->Grid.textMatrix(r, c).empty() || !seen.contains(grid().cellRect(r, c))) continue;
            SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
            QColor want(uiqt::resolveColor(form->Grid.foreColorAt(r, c), pal).rgb());
            QColor back(uiqt::resolveColor(form->Grid.backColorAt(r, c), pal).rgb());
            // The text pixel farthest from the background is the text colour itself.
            QRect cell = grid().cellRect(r, c).adjusted(2, 2, -2, -2);  // inside the current cell's frame
            auto dist = [](QColor a, QColor b) {
                return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
            };
            QColor ink = back;
            for (int y = cell.top() + 1; y < cell.bottom(); ++y)
                for (int x = cell.left() + 1; x < cell.right(); ++x) {
                    QColor px(img.pixelColor(QPoint(x, y) * img.devicePixelRatio()).rgb());
                    if (dist(px, back) > dist(ink, back)) ink = px;
                }
            EXPECT_LE(dist(ink, want), 100) << ink.name().toStdString() << " for " << want.name().toStdString();
            if (want != QColor(pal.color(QPalette::Text).rgb())) ++coloured;
        }
    EXPECT_GE(coloured, 3);
}

TEST_F(GridTest, DraggingAColumnBorderStoresTheWidthInTheModel) {
    openSized(1300, 600);
    QRect h = grid().cellRect(0, 0);
    dragBorder(0, 40);
    EXPECT_EQ(grid().cellRect(0, 0).width(), h.width() + 40);
    EXPECT_NEAR(form->Grid.colWidth(0), uiqt::twips(h.width() + 40), 1);
    // Hidden columns take no room and no click.
    form->ShowDurationColumn(4, false);
    settle();
    EXPECT_EQ(grid().cellRect(1, 4).width(), 0);
    EXPECT_EQ(grid().cellRect(1, 5).left(), grid().cellRect(1, 3).right() + 1);
}

TEST_F(GridTest, HoverHintsBecomeTheToolTip) {
    openSized(1300, 600);
    hover(grid().cellRect(0, 3).center());
    EXPECT_EQ(form->Grid.mouseRow, 0);
    EXPECT_EQ(form->Grid.mouseCol, 3);
    hover(grid().cellRect(1, 0).center());
    EXPECT_EQ(form->Grid.toolTip(), form->Grid.textMatrix(1, 0));
}

TEST_F(GridTest, ArrowKeysMoveTheCurrentCellPastHiddenColumnsAndEnterGoesToTheNextDay) {
    openSized(1300, 600);
    ASSERT_EQ(form->Grid.row(), 1);
    ASSERT_EQ(form->Grid.col(), 3);
    grid().setFocus();
    QTest::keyClick(&grid(), Qt::Key_Right);
    EXPECT_EQ(form->Grid.col(), 4);
    QTest::keyClick(&grid(), Qt::Key_Down);
    EXPECT_EQ(form->Grid.row(), 2);
    form->ShowDurationColumn(4, false);
    form->ShowDurationColumn(5, false);
    QTest::keyClick(&grid(), Qt::Key_Left);
    EXPECT_EQ(form->Grid.col(), 3);
    QTest::keyClick(&grid(), Qt::Key_Right);
    EXPECT_EQ(form->Grid.col(), 6) << "hidden B and N columns are passed over";
    QTest::keyClick(&grid(), Qt::Key_Up);
    QTest::keyClick(&grid(), Qt::Key_Up);
    EXPECT_EQ(form->Grid.row(), 1) << "the header row never becomes current";
    // Enter is a key press the form handles: the same row's next day.
    QTest::keyClick(&grid(), Qt::Key_Return);
    settle();
    EXPECT_EQ(form->Grid.row(), 1);
    EXPECT_EQ(form->Grid.col(), 9);
}
