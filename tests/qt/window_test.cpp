// The main window through the real widgets: commands, start and close, the
// grid's clicks, colours and editors, dialogs and message boxes, and whole
// editing flows checked in the Timer file once the window has let it go.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cmath>
#include <map>
#include <regex>

#include "jet/database.h"
#include "jet/query.h"
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

// "ID: name,custjob,service,class,day,minutes,billable,note" of every activity in the file.
std::map<int32_t, std::string> activities(const std::string& path) {
    auto rs = jet::runNamed(*jet::Database::open(path), "Activities");
    std::map<int32_t, std::string> out;
    for (const auto& r : rs.rows) {
        auto v = [&](const char* col) { return r[rs.columnIndex(col)]; };
        auto n = [&](const char* col, double k = 1) { return std::to_string(std::lround(v(col).isNull() ? 0 : v(col).toDouble() * k)); };
        out[v("ID").asInt32()] = n("Name ID") + "," + n("CustJob ID") + "," + n("Service ID") + "," + n("Class ID") + "," +
                                 QDate(1899, 12, 30).addDays(v("UserDate").toDouble()).toString("MM/dd").toStdString() + "," +
                                 n("Duration", 1440) + "," + n("Billable Status") + "," + (v("Note").isNull() ? "" : v("Note").asText());
    }
    return out;
}

// A small dialog as the program's dialogs are written: positioned controls, an OK button that keeps the
// typed text and a Cancel button, both hiding the form; or (`plain`) a Close button only, and closing
// it asks the form, which may refuse.
class AskForm : public ui::Form {
public:
    AskForm(ui::Platform& p, bool plain) : p_(p) {
        setCaption("Ask");
        setWidth(4800);
        setHeight(2400);
        auto place = [](ui::Control& c, const char* name, double l, double t, double w, double h) { c.name = name, c.move(l, t, w, h); };
        place(Prompt, "Prompt", 120, 150, 900, 255);
        Prompt.setCaption("&Value:");
        Prompt.onClick = [this] { ++promptClicks; };
        place(Value, "Value", 1080, 120, 2000, 315);
        Value.onKeyPress = [](int& k) { k = k == '#' ? 0 : k; };  // the form refuses this character
        place(Check, "Check", 240, 900, 1500, 255);
        Check.setCaption("Billable");
        place(OK, plain ? "Close" : "OK", 3360, 120, 1215, 375);
        OK.isDefault = !plain;
        OK.onClick = [this] { result = "OK:" + Value.text(), p_.hide(*this); };
        place(Cancel, "Cancel", 3360, 600, 1215, 375);
        Cancel.isCancel = true;
        Cancel.onClick = [this] { result = "Cancel", p_.hide(*this); };
        plain_ = plain;
    }
    std::vector<ui::Control*> controls() override {
        if (plain_) return {&Prompt, &Value, &OK};
        return {&Prompt, &Value, &Check, &OK, &Cancel};
    }
    void Form_Load() override { ++loads; }
    void Form_Activate() override { Value.setFocus(); }
    void Form_QueryUnload(bool& cancel, int) override { ++queries, cancel = refuse; }
    ui::Label Prompt;
    ui::TextBox Value;
    ui::CheckBox Check;
    ui::Button OK, Cancel;
    std::string result;
    int loads = 0, promptClicks = 0, queries = 0;
    bool refuse = false;

private:
    ui::Platform& p_;
    bool plain_;
};

class WindowTest : public QtWindowFixture {
protected:
    int rowOf(const std::string& custJob, const std::string& service) {
        for (int r = 1; r < form->Grid.rows() - 1; ++r)
            if (cell(r, 0) == custJob && cell(r, 1) == service) return r;
        return -1;
    }
    std::map<int32_t, std::string> closeAndRead() {
        window.reset();
        form.reset();
        return activities(timerPath);
    }
};

}  // namespace

// The View menu, the toolbar and the Ctrl keys through key preview each move the week once (the menus
// show the shortcuts without registering them, which would run them twice); a consumed key does not
// reach the grid, a letter without Ctrl does; without a file the keys do nothing.
TEST_F(WindowTest, MenuToolbarAndCtrlKeysMoveTheWeekOnce) {
    writeSetting("File", (dir / "missing.tdb").string());
    start();  // no file: the failed open, then no key preview
    ASSERT_EQ(platform.messages.size(), 1u);
    key(&grid(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(form->sbStatusBar.panelText(4), "<None>");
    EXPECT_EQ(platform.messages.size(), 1u);
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
    EXPECT_EQ(openRequests[0].filterIndex, 2);
    key(&grid(), Qt::Key_M);  // Monday of the first row is current: a letter opens its editor
    EXPECT_EQ(std::pair(form->TimeEntry.text(), window->timeEntry()->text().toStdString()), std::pair(std::string("m"), std::string("m")));
    EXPECT_TRUE(window->timeEntry()->isVisible());
}

TEST_F(WindowTest, WithoutAFileNoEndsTheProgramBeforeItShows) {
    answers = {ui::Answer::No};
    start();
    EXPECT_EQ(platform.messages.at(0).text, "No Timer file is open. Do you want to browse for a Timer file?");
    EXPECT_TRUE(platform.programEnded());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(readSetting("FormWidth"), "<absent>");
}

TEST_F(WindowTest, TheWindowStartsCentredAtItsStoredSizeAndClosingStoresIt) {
    writeSetting("FormWidth", "9000");
    writeSetting("FormHeight", "4500");
    for (bool fileExit : {false, true}) {
        openTimer();
        if (fileExit) {
            window->menuAction("FileMenuExit")->trigger();
        } else {  // the frame comes off the stored outer size once, at placement
            EXPECT_EQ(window->frameGeometry().size(), QSize(uiqt::px(9000), uiqt::px(4500)));
            EXPECT_EQ(std::pair(form->width(), form->height()), std::pair(9000.0, 4500.0));
            EXPECT_LE((window->frameGeometry().center() - window->screen()->availableGeometry().center()).manhattanLength(), 6);
            window->close();
        }
        settle();
        EXPECT_TRUE(form->ended() && !window->isVisible());
        EXPECT_EQ(std::tuple(readSetting("File"), readSetting("WindowState"), readSetting("FormWidth")), std::tuple(timerPath, "0", "9000"));
    }
    EXPECT_TRUE(platform.programEnded());
}

TEST_F(WindowTest, ClicksLandOnTheirCellAndEditorsLieExactlyOverIt) {
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
        EXPECT_EQ(std::pair(form->Grid.mouseRow, form->Grid.mouseCol), std::pair(row, col));
        EXPECT_EQ(current(), std::pair(row, col));
    }
    clickCell(0, 12);  // the header row and the totals column do not become current
    clickCell(1, 24);
    EXPECT_EQ(std::pair(form->Grid.mouseRow, form->Grid.mouseCol), std::pair(1, 24));
    EXPECT_EQ(current(), std::pair(2, 0));
    clickCell(1, 1);
    uiqt::ComboView* combo = window->combo("ServiceCombo");
    ASSERT_TRUE(combo->isVisible());
    EXPECT_EQ(inSurface(combo), cellInSurface(1, 1));  // data rows take the combo's height
    EXPECT_EQ(combo->currentText().toStdString(), cell(1, 1));
    EXPECT_EQ(combo->view()->minimumWidth(), 300);
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
}

TEST_F(WindowTest, ArrowKeysPassHiddenColumnsEnterGoesToTheNextDayAndTheGridIsLaidOutInTwips) {
    openSized(800, 420);
    const double tw = uiqt::twipsPerPixel();
    EXPECT_DOUBLE_EQ(form->width(), window->frameGeometry().width() * tw);  // the outer size
    EXPECT_DOUBLE_EQ(form->scaleWidth(), window->surface()->width() * tw);
    EXPECT_EQ(grid().geometry(), QRect(uiqt::px(60), uiqt::px(360), uiqt::px(form->scaleWidth() - 120),
                                       uiqt::px(form->scaleHeight() - form->sbStatusBar.height() - 60) - uiqt::px(360)));
    EXPECT_EQ(inSurface(window->statusBarWidget()).bottom(), window->surface()->height() - 1);
    grid().setFocus();
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
    EXPECT_GT(yellow, 0);
    EXPECT_GE(coloured, 3);
}

TEST_F(WindowTest, AFormShownModallyIsAnsweredThroughItsControls) {
    openTimer();
    AskForm f(platform, false);
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        EXPECT_TRUE(f.modal && !form->enabled()) << "the owner is disabled while the dialog is up";
        EXPECT_EQ(dlg.windowTitle(), "Ask");
        QWidget* value = dlg.controlWidget("Value");  // at its twips position, given the focus by Form_Activate
        EXPECT_EQ(value->geometry(), QRect(uiqt::px(1080), uiqt::px(120), uiqt::px(2000), uiqt::px(315)));
        EXPECT_EQ(dlg.focusWidget(), value);
        EXPECT_EQ(qobject_cast<QLabel*>(dlg.controlWidget("Prompt"))->text(), "Value:");
        QTest::keyClicks(value, "1#2");
        QTest::mouseClick(dlg.controlWidget("Check"), Qt::LeftButton);
        QTest::mouseClick(dlg.controlWidget("Prompt"), Qt::LeftButton);
        QTest::keyClick(value, Qt::Key_Return);  // the default button
    };
    platform.showModal(f, form.get());
    EXPECT_EQ(std::tuple(f.result, f.Check.value(), f.promptClicks, f.modal, form->enabled()), std::tuple("OK:12", 1, 1, false, true));
    EXPECT_EQ(f.Value.viewChanged, nullptr) << "the closed dialog's widgets no longer listen";
    for (bool closeBox : {false, true}) {  // Esc and the close box press Cancel; Form_Load ran once
        f.result.clear();
        platform.onModalShown = [&](uiqt::FormDialog& dlg) { closeBox ? (void)dlg.close() : QTest::keyClick(dlg.controlWidget("Value"), Qt::Key_Escape); };
        platform.showModal(f, form.get());
        EXPECT_EQ(std::pair(f.result, f.loads), std::pair(std::string("Cancel"), 1));
    }
    AskForm plain(platform, true);
    plain.refuse = true;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        dlg.close();  // refused: still open; Esc does nothing without a cancel button
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_TRUE(dlg.isVisible());
        plain.refuse = false;
        dlg.close();
    };
    platform.showModal(plain, form.get());
    EXPECT_EQ(std::pair(plain.queries, plain.loaded()), std::pair(2, false));
}

TEST_F(WindowTest, DialogsAndMessageBoxesAnswerAsTheUserAnswersThem) {
    openTimer();
    // "Start Date:" opens the start-date dialog, modal over a disabled window; a typed date and OK show its week.
    bool ownerDisabled = false;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        ownerDisabled = !form->enabled();
        auto* edit = qobject_cast<QLineEdit*>(dlg.controlWidget("StartDate"));
        edit->selectAll();
        QTest::keyClicks(edit, "12/09/2026");
        QTest::mouseClick(dlg.controlWidget("OK"), Qt::LeftButton);
    };
    QTest::mouseClick(window->statusBarWidget(), Qt::LeftButton, {}, window->statusBarWidget()->panelRects().at(2).center());
    settle();
    EXPECT_TRUE(ownerDisabled && form->enabled());
    EXPECT_EQ(form->sbStatusBar.panelText(4), "12/07/2026");
    // Esc in the dialog is its Cancel.
    platform.onModalShown = [&](uiqt::FormDialog& dlg) { QTest::keyClick(dlg.controlWidget("StartDate"), Qt::Key_Escape); };
    window->menuAction("EditMenuStartDate")->trigger();
    EXPECT_EQ(form->sbStatusBar.panelText(4), "12/07/2026");

    platform.answerMessage = nullptr;  // the real box: text lines, buttons and title as given; Yes/No cannot be escaped
    QString seen;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        seen = box->windowTitle() + "|" + box->text();
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        EXPECT_TRUE(box->isVisible());
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(platform.messageBox("File <x> is damaged.\rGo on?", ui::Buttons::YesNo, ui::Icon::None, "Hourgrid"), ui::Answer::No);
    EXPECT_EQ(seen, "Hourgrid|File <x> is damaged.\nGo on?");
    whenShown<QMessageBox>([&](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); });
    EXPECT_EQ(platform.messageBox("Print?", ui::Buttons::OKCancel, ui::Icon::None, "Hourgrid"), ui::Answer::Cancel);
    platform.answerOpen = nullptr;  // the real Open dialog, the Timer filter selected
    EXPECT_EQ(uiqt::QtPlatform::nameFilters("Text (*.txt;*.csv)|*.txt;*.csv"), std::vector<std::string>{"Text (*.txt *.csv)"});
    QStringList filters;
    whenShown<QFileDialog>([&](QFileDialog* dlg) {
        filters = dlg->nameFilters() << dlg->selectedNameFilter();
        dlg->selectFile(QString::fromStdString(timerPath));
        QMetaObject::invokeMethod(dlg, "accept");
    });
    EXPECT_EQ(platform.showOpen({"All Files (*.*)|*.*|Timer Files(*.tdb)|*.tdb", 2, 4}), timerPath);
    EXPECT_EQ(filters, QStringList({"All Files (*)", "Timer Files (*.tdb)", "Timer Files (*.tdb)"}));
}

TEST_F(WindowTest, ANewRowsReferencesADurationABillableToggleAndANoteReachTheFile) {
    openSized(1400, 700);
    const auto before = activities(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    const int row = form->Grid.rows() - 2;  // the empty row for a new combination
    for (auto [col, combo, typed] : {std::tuple{0, "CustJobCombo", "Delta"}, {1, "ServiceCombo", "Train"}, {2, "ClassCombo", "Inter"}}) {
        clickCell(row, col);
        QTest::keyClicks(window->combo(combo), typed);  // as a user chooses without opening the list
    }
    clickCell(row, 6);  // Tuesday
    type("1.5");
    key(window->timeEntry(), Qt::Key_Return);
    EXPECT_EQ(std::tuple(cell(row, 0), cell(row, 1), cell(row, 2), cell(row, 6), cell(row, 24)),
              std::tuple("Delta Logistics", "Training", "Internal", "01:30", "01:30"));
    EXPECT_EQ(current(), std::pair(row, 9));
    const int32_t added = form->id(6, row);

    const int design = rowOf("Acme Corporation:Website Redesign", "Design");  // Monday: activity 1, billable and noted
    clickCell(design, 4);
    EXPECT_EQ(cell(design, 4), "");
    EXPECT_EQ(form->Grid.foreColorAt(design, 3), 0xFF0000u);  // noted, not billable: blue
    std::string shownNote;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        auto* note = qobject_cast<QPlainTextEdit*>(dlg.controlWidget("Note"));
        shownNote = note->toPlainText().toStdString() + (dlg.controlWidget("Billable")->isVisible() ? " +billable" : "");
        note->selectAll();
        QTest::keyClicks(note, "Wireframes, second round");
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.controlWidget("OK")), Qt::LeftButton);
    };
    clickCell(design, 5);
    EXPECT_EQ(shownNote, "Homepage mockups");
    EXPECT_EQ(cell(design, 5), "Wireframes, second round");
    EXPECT_EQ(current(), std::pair(design, 5));
    EXPECT_TRUE(platform.messages.empty());

    auto after = closeAndRead();
    EXPECT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after[added], "200,103,12,6,12/01,90,-1,");
    EXPECT_EQ(before.at(1), "200,109,11,3,11/30,150,-1,Homepage mockups");
    EXPECT_EQ(after[1], "200,109,11,3,11/30,150,0,Wireframes, second round");
}

// The Enter walk scrolls the current cell into view with the editor over it; the wrap to Monday brings
// the row's headings back into view; a refused duration holds the grid where it was typed whatever the
// key, and the corrected text lands on that cell's own activity.
TEST_F(WindowTest, TheEnterWalkAndARefusedDurationKeepTheirCellInView) {
    openSized(520, 320);  // far narrower than the week
    const auto before = activities(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    const int row = rowOf("Acme Corporation:Website Redesign", "Development");
    clickCell(row, 3);
    type("1");
    for (int i = 0; i < 6; ++i) key(&grid(), Qt::Key_Return);
    ASSERT_EQ(current(), std::pair(row, 21));
    EXPECT_TRUE(grid().viewport()->rect().contains(grid().cellRect(row, 21)));
    key(&grid(), Qt::Key_2);
    EXPECT_EQ(inSurface(window->timeEntry()), cellInSurface(row, 21));
    key(window->timeEntry(), Qt::Key_Return);
    EXPECT_EQ(std::tuple(cell(row, 3), cell(row, 21), current().second), std::tuple("01:00", "02:00", 24));
    key(&grid(), Qt::Key_Left);
    key(&grid(), Qt::Key_Return);  // from Sunday's N to the next row's Monday
    ASSERT_EQ(current(), std::pair(row + 1, 3));
    for (int c : {0, 1, 2, 3}) EXPECT_TRUE(grid().viewport()->rect().contains(grid().cellRect(row + 1, c))) << c;

    clickCell(row, 6);  // Tuesday: 04:15
    type("x");
    key(window->timeEntry(), Qt::Key_Tab);
    EXPECT_EQ(platform.messages.size(), 1u);
    for (auto [k, m] : {std::pair{Qt::Key_Down, Qt::NoModifier}, {Qt::Key_Up, Qt::NoModifier}, {Qt::Key_Right, Qt::NoModifier},
                        {Qt::Key_Left, Qt::NoModifier}, {Qt::Key_PageDown, Qt::NoModifier}, {Qt::Key_PageUp, Qt::NoModifier},
                        {Qt::Key_Home, Qt::NoModifier}, {Qt::Key_End, Qt::NoModifier}, {Qt::Key_Home, Qt::ControlModifier},
                        {Qt::Key_End, Qt::ControlModifier}}) {
        grid().setFocus();  // however the focus reaches the grid
        key(&grid(), k, m);
        EXPECT_EQ(std::tuple(current(), form->TimeEntry.text(), window->timeEntry()->hasFocus()), std::tuple(std::pair(row, 6), "x", true)) << k;
    }
    EXPECT_EQ(platform.messages.size(), 11u);
    window->timeEntry()->selectAll();
    type("3");
    key(window->timeEntry(), Qt::Key_Return);
    EXPECT_EQ(cell(row, 6), "03:00");
    const int32_t tuesday = form->id(6, row);
    auto after = closeAndRead();
    ASSERT_EQ(after.size(), before.size() + 2);  // Monday's and Sunday's new activities
    for (const auto& [id, a] : before)
        if (id != tuesday) { EXPECT_EQ(after.at(id), a) << id; }
    EXPECT_EQ(after.at(tuesday).substr(0, after.at(tuesday).find(",-1,")), "200,109,13,3,12/01,180");
}

TEST_F(WindowTest, ClearingTheWeekWithBothQuestionsAnsweredYesEmptiesItInTheFile) {
    openSized(1400, 700);
    answers = {ui::Answer::Yes, ui::Answer::Yes};
    window->menuAction("EditMenuClear")->trigger();
    settle();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].icon, ui::Icon::Critical);
    EXPECT_EQ(platform.messages[1].text.rfind("Just checking!", 0), 0u);
    for (int r = 1; r < form->Grid.rows(); ++r)
        for (int c = 3; c <= 24; ++c) EXPECT_EQ(cell(r, c), c == 24 || (r == form->Grid.rows() - 1 && c % 3 == 0) ? "00:00" : "") << r << "," << c;
    EXPECT_EQ(cell(1, 0), "Acme Corporation:Website Redesign");
    auto after = closeAndRead();
    EXPECT_EQ(after.size(), 7u);
    for (const auto& [id, a] : after) EXPECT_FALSE(std::regex_match(a, std::regex("200(,[0-9]+){3},(11/30|12/0[1-6]),.*"))) << id << ": " << a;
}
