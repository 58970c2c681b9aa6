// The main window through the real widgets: what only Qt shows (key routing, placement, pixels, focus, real dialogs);
// what the edits write is the headless suites'.
#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolBar>
#include <cmath>
#include "prefs/prefs.h"
#include "qt_fixture.h"

namespace {
// Lets `act` answer the modal dialog of type T that the next call shows.
template <class T>
void whenShown(std::function<void(T*)> act) {
    QTimer::singleShot(0, [act] {
        auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        act(dlg);
    });
}

class WindowTest : public QtWindowFixture {
protected:
    int rowOf(const std::string& custJob, const std::string& service) {
        for (int r = 1; r < form->Grid.rows() - 1; ++r)
            if (cell(r, 0) == custJob && cell(r, 1) == service) return r;
        return -1;
    }
};
}  // namespace

// Menu, toolbar and Ctrl keys move the week once (menus show shortcuts without registering them); plain letters reach the grid.
TEST_F(WindowTest, MenuToolbarAndCtrlKeysMoveTheWeekOnce) {
    openTimer();
    EXPECT_EQ(window->menuAction("ViewMenuBackMonth")->text(), "Back one &month\tCtrl+M");
    for (QAction* a : window->findChildren<QAction*>()) EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
    const std::tuple<const char*, const char*, char, const char*> moves[] = {  // from 11/30/2026 (10/05/2026 for Last Monday)
        {"ViewMenuBackMonth", "BackMonth", 'M', "11/02/2026"},   {"ViewMenuBackWeek", "BackWeek", 'W', "11/23/2026"},
        {"ViewMenuForwardWeek", "FwdWeek", 'K', "12/07/2026"},   {"ViewMenuForwardMonth", "FwdMonth", 'H', "12/28/2026"},
        {"ViewMenuLastMonday", "LastMonday", 'L', "11/30/2026"}};
    for (auto [menu, tool, letter, expected] : moves)
        for (int way = 0; way < 3; ++way) {
            form->SetMonday(letter == 'L' ? "10/05/2026" : "11/30/2026");
            if (way == 0) window->menuAction(menu)->trigger();
            if (way == 1) QTest::mouseClick(window->toolBar()->widgetForAction(window->toolAction(tool)), Qt::LeftButton);
            if (way == 2) grid().setFocus(), QTest::keyClick(&grid(), Qt::Key(Qt::Key_A + (letter - 'A')), Qt::ControlModifier | Qt::ShiftModifier);
            settle();
            EXPECT_EQ(form->sbStatusBar.panelText(4), expected) << tool << " " << way;
            EXPECT_FALSE(form->TimeEntry.visible()) << "the consumed key reached the grid";
        }
    form->SetMonday("11/30/2026");
    QTest::mouseClick(window->toolBar()->widgetForAction(window->toolAction("Open")), Qt::LeftButton);
    ASSERT_EQ(openRequests.size(), 1u);
    key(&grid(), Qt::Key_M);  // Monday of the first row is current: a letter opens its editor
    EXPECT_EQ(form->TimeEntry.text() + window->timeEntry()->text().toStdString() + (window->timeEntry()->isVisible() ? " shown" : ""),
              "mm shown");
}

// Clicks land on their cell, editors lie over it at any font size; arrows pass hidden columns.
TEST_F(WindowTest, ClicksArrowsAndEditorsLandOnTheirCell) {
    for (double size : {14.0, 8.0}) {
        writeSetting("GridFontSize", std::to_string(size));
        openSized(1300, 600);
        clickCell(2, 9);  // an unexported activity: no question, the editor opens
        ASSERT_TRUE(form->TimeEntry.visible());
        EXPECT_EQ(inSurface(window->timeEntry()), cellInSurface(2, 9));
        EXPECT_EQ(window->focusWidget(), window->timeEntry());
        EXPECT_EQ(window->timeEntry()->selectedText().toStdString(), cell(2, 9));  // typing replaces the old duration
        form->Grid_LeaveCell();
    }
    for (auto [row, col] : {std::pair{1, 3}, {3, 6}, {1, 4}, {2, 5}, {2, 0}}) {
        clickCell(row, col);
        EXPECT_EQ(std::tuple(form->Grid.mouseRow, form->Grid.mouseCol, current()), std::tuple(row, col, std::pair(row, col)));
    }
    clickCell(1, 1);
    uiqt::ComboView* combo = window->combo("ServiceCombo");
    ASSERT_TRUE(combo->isVisible());
    EXPECT_EQ(std::pair(inSurface(combo), combo->currentText().toStdString()), std::pair(cellInSurface(1, 1), cell(1, 1)));
    const int other = combo->currentIndex() == 0 ? 1 : 0;
    combo->activated(other);  // a choice goes to the model as the user's
    EXPECT_EQ(form->ServiceCombo.listIndex(), other);
    // A hover is delivered as the window system does: its hint becomes the tool tip.
    const QPoint p = grid().cellRect(1, 0).center();
    QMouseEvent move(QEvent::MouseMove, p, grid().viewport()->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grid().viewport(), &move);
    EXPECT_EQ(form->Grid.toolTip(), cell(1, 0));
    const QRect h = grid().cellRect(0, 0);  // a dragged border is the model's width
    dragBorder(0, 40);
    EXPECT_NEAR(form->Grid.colWidth(0), uiqt::twips(h.width() + 40), 1);
    key(&grid(), Qt::Key_Escape);
    form->Grid.setRow(1), form->Grid.setCol(3), grid().setFocus();
    std::vector<std::pair<int, int>> cells;
    for (Qt::Key k : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Up, Qt::Key_Return}) {
        if (k == Qt::Key_Left) form->ShowDurationColumn(4, false), form->ShowDurationColumn(5, false);
        key(&grid(), k);
        cells.push_back(current());
    }
    EXPECT_EQ(cells, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {2, 3}, {2, 6}, {1, 6}, {1, 6}, {1, 9}}));
}

TEST_F(WindowTest, EveryCellIsDrawnInTheModelsColoursTheTotalsAlsoWhenScrolledIntoView) {
    openSized(1300, 700);
    const QPalette pal = grid().palette();
    auto pixel = [&](const QImage& img, int r, int c) {  // inside the grid lines, where left-aligned text never reaches
        const QRect rc = grid().cellRect(r, c);
        return QColor(img.pixelColor(QPoint(rc.right() - 2, rc.top() + 2) * img.devicePixelRatio()).rgb());
    };
    auto colour = [&](ui::Color c) { return QColor(uiqt::resolveColor(c, pal).rgb()); };
    const QColor light3d = colour(ui::kSys3DLight);
    const int totals = form->Grid.rows() - 1;
    grid().verticalScrollBar()->setValue(grid().verticalScrollBar()->maximum());
    const QImage bottom = grid().viewport()->grab().toImage();
    EXPECT_EQ(std::pair(pixel(bottom, totals, 3), pixel(bottom, totals, 0)), std::pair(light3d, light3d));
    grid().verticalScrollBar()->setValue(0);
    const QImage img = grid().viewport()->grab().toImage();
    EXPECT_NE(light3d, pal.color(QPalette::Base)) << "totals must stand out from the cells";
    EXPECT_EQ(pixel(img, 1, 24), light3d);
    int yellow = 0, coloured = 0;
    for (int r = 1; r < form->Grid.rows(); ++r)
        for (int c = 0; c < 25; ++c) {
            if (form->Grid.colWidth(c) == 0 || !grid().viewport()->rect().contains(grid().cellRect(r, c))) continue;
            const QColor back = colour(form->Grid.backColorAt(r, c)), want = colour(form->Grid.foreColorAt(r, c));
            EXPECT_EQ(pixel(img, r, c), back) << r << "," << c;
            yellow += back == QColor(255, 255, 213);  // an activity not yet exported
            if (r == totals || c % 3 || c < 3 || c > 21 || cell(r, c).empty()) continue;
            // Durations in the model's text colour: the text pixel farthest from the background.
            auto dist = [](QColor a, QColor b) { return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()); };
            QColor ink = back;
            const QRect in = grid().cellRect(r, c).adjusted(3, 3, -3, -3);
            for (int y = in.top(); y < in.bottom(); ++y)
                for (int x = in.left(); x < in.right(); ++x)
                    if (QColor px(img.pixelColor(QPoint(x, y) * img.devicePixelRatio()).rgb()); dist(px, back) > dist(ink, back)) ink = px;
            EXPECT_LE(dist(ink, want), 100) << r << "," << c;
            coloured += want != QColor(pal.color(QPalette::Text).rgb());
        }
    EXPECT_TRUE(yellow > 0 && coloured >= 3) << yellow << " " << coloured;
}

// Dialogs answer through their widgets (Enter, Esc, close box) over a disabled window; closed ones stop listening.
TEST_F(WindowTest, DialogsAndMessageBoxesAnswerAsTheUserAnswersThem) {
    openTimer();
    bool ownerDisabled = false;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        ownerDisabled = !form->enabled();
        auto* edit = qobject_cast<QLineEdit*>(dlg.controlWidget("StartDate"));
        edit->selectAll(), QTest::keyClicks(edit, "12/09/2026"), QTest::mouseClick(dlg.controlWidget("OK"), Qt::LeftButton);
    };
    QTest::mouseClick(window->statusBarWidget(), Qt::LeftButton, {}, window->statusBarWidget()->panelRects().at(2).center()), settle();
    EXPECT_TRUE(ownerDisabled && form->enabled() && form->sbStatusBar.panelText(4) == "12/07/2026");
    platform.onModalShown = [&](uiqt::FormDialog& dlg) { QTest::keyClick(dlg.controlWidget("StartDate"), Qt::Key_Escape); };
    window->menuAction("EditMenuStartDate")->trigger();
    EXPECT_EQ(form->sbStatusBar.panelText(4), "12/07/2026");
    for (const char* way : {"Enter", "close box"}) {  // Preferences: the days typed, then Enter (OK) or the close box (Cancel)
        platform.onModalShown = [&](uiqt::FormDialog& dlg) {
            auto* days = qobject_cast<QLineEdit*>(dlg.controlWidget("RecentDays"));
            days->selectAll(), QTest::keyClicks(days, *way == 'E' ? "12" : "99");
            *way == 'E' ? QTest::keyClick(days, Qt::Key_Return) : (void)dlg.close();
        };
        window->menuAction("EditMenuPreferences")->trigger(), settle();
        EXPECT_EQ(form->m_recentDays, 12) << way;
        EXPECT_EQ(form->prefsForm().RecentDays.viewChanged, nullptr) << "the closed dialog's widgets no longer listen";
    }
    platform.answerMessage = nullptr;  // the real box: text lines, buttons and title as given; Yes/No cannot be escaped
    QString seen;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        seen = box->windowTitle() + "|" + box->text();
        QTest::keyClick(box, Qt::Key_Escape), box->close();
        EXPECT_TRUE(box->isVisible());
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(platform.messageBox("File <x> is damaged.\rGo on?", ui::Buttons::YesNo, ui::Icon::None, "Hourgrid"), ui::Answer::No);
    EXPECT_EQ(seen, "Hourgrid|File <x> is damaged.\nGo on?");
    whenShown<QMessageBox>([&](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); });
    EXPECT_EQ(platform.messageBox("Print?", ui::Buttons::OKCancel, ui::Icon::None, "Hourgrid"), ui::Answer::Cancel);
    platform.answerOpen = nullptr;  // the real Open dialog, the Timer filter selected
    QStringList filters;
    whenShown<QFileDialog>([&](QFileDialog* dlg) {
        filters = dlg->nameFilters() << dlg->selectedNameFilter();
        dlg->selectFile(QString::fromStdString(timerPath)), QMetaObject::invokeMethod(dlg, "accept");
    });
    EXPECT_EQ(platform.showOpen({"All Files (*.*)|*.*|Timer Files(*.tdb)|*.tdb", 2, 4}), timerPath);
    EXPECT_EQ(filters, QStringList({"All Files (*)", "Timer Files (*.tdb)", "Timer Files (*.tdb)"}));
}

// Combos chosen by typing, a duration, a billable toggle and a note through the real widgets reach the grid.
TEST_F(WindowTest, ANewRowsReferencesADurationABillableToggleAndANoteThroughTheWidgets) {
    openSized(1400, 700);
    const int row = form->Grid.rows() - 2;  // the empty row for a new combination
    for (auto [col, combo, typed] : {std::tuple{0, "CustJobCombo", "Delta"}, {1, "ServiceCombo", "Train"}, {2, "ClassCombo", "Inter"}}) {
        clickCell(row, col);
        QTest::keyClicks(window->combo(combo), typed);  // as a user chooses without opening the list
    }
    clickCell(row, 6), type("1.5"), key(window->timeEntry(), Qt::Key_Return);  // Tuesday
    EXPECT_EQ(std::tuple(cell(row, 0), cell(row, 1), cell(row, 2), cell(row, 6), cell(row, 24), current()),
              std::tuple("Delta Logistics", "Training", "Internal", "01:30", "01:30", std::pair(row, 9)));
    const int design = rowOf("Acme Corporation:Website Redesign", "Design");  // Monday: activity 1, billable and noted
    clickCell(design, 4);
    EXPECT_EQ(cell(design, 4), "");
    std::string shownNote;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        auto* note = qobject_cast<QPlainTextEdit*>(dlg.controlWidget("Note"));
        shownNote = note->toPlainText().toStdString() + (dlg.controlWidget("Billable")->isVisible() ? " +billable" : "");
        note->selectAll(), QTest::keyClicks(note, "Wireframes, second round");
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.controlWidget("OK")), Qt::LeftButton);
    };
    clickCell(design, 5);
    EXPECT_EQ(std::tuple(shownNote, cell(design, 5), current(), platform.messages.size()),
              std::tuple("Homepage mockups", "Wireframes, second round", std::pair(design, 5), 0u));
}

// The Enter walk scrolls its cell (and, on the wrap, the row's headings) into view; a refused duration keeps the focus whatever the key.
TEST_F(WindowTest, TheEnterWalkAndARefusedDurationKeepTheirCellInView) {
    openSized(520, 320);  // far narrower than the week
    const int row = rowOf("Acme Corporation:Website Redesign", "Development");
    clickCell(row, 3), type("1");
    for (int i = 0; i < 6; ++i) key(&grid(), Qt::Key_Return);
    ASSERT_EQ(current(), std::pair(row, 21));
    EXPECT_TRUE(grid().viewport()->rect().contains(grid().cellRect(row, 21)));
    key(&grid(), Qt::Key_2);
    EXPECT_EQ(inSurface(window->timeEntry()), cellInSurface(row, 21));
    key(window->timeEntry(), Qt::Key_Return);
    EXPECT_EQ(std::tuple(cell(row, 3), cell(row, 21), current().second), std::tuple("01:00", "02:00", 24));
    key(&grid(), Qt::Key_Left), key(&grid(), Qt::Key_Return);  // from Sunday's N to the next row's Monday
    ASSERT_EQ(current(), std::pair(row + 1, 3));
    for (int c : {0, 1, 2, 3}) EXPECT_TRUE(grid().viewport()->rect().contains(grid().cellRect(row + 1, c))) << c;
    clickCell(row, 6), type("x"), key(window->timeEntry(), Qt::Key_Tab);  // Tuesday: 04:15
    for (Qt::Key k : {Qt::Key_Down, Qt::Key_Left, Qt::Key_Home}) {  // however the focus reaches the grid
        grid().setFocus(), key(&grid(), k);
        EXPECT_EQ(std::tuple(current(), form->TimeEntry.text(), window->timeEntry()->hasFocus()), std::tuple(std::pair(row, 6), "x", true)) << k;
    }
    window->timeEntry()->selectAll(), type("3"), key(window->timeEntry(), Qt::Key_Return);
    EXPECT_EQ(std::pair(cell(row, 6), current()), std::pair(std::string("03:00"), std::pair(row, 9)));
}
