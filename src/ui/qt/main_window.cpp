#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QWindow>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "control_views.h"
#include "grid_widget.h"
#include "guard.h"
#include "qt_platform.h"
#include "status_bar_widget.h"
#include "units.h"

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void initHourgridResources() { Q_INIT_RESOURCE(resources); }

namespace uiqt {

void initResources() { initHourgridResources(); }

namespace {
const char* const kImages[] = {"open", "save", "print", "addrow", "backmonth",
                               "backweek", "lastmonday", "fwdweek", "fwdmonth"};
}  // namespace

// The form's client area below the menu bar: the toolbar at its top, the status
// bar at its bottom, the controls in between at their twips positions.
class SurfaceWidget : public QWidget {
public:
    explicit SurfaceWidget(MainWindow* w) : QWidget(w), w_(w) {}

protected:
    void resizeEvent(QResizeEvent*) override {
        w_->layoutSurface();
        w_->reportSize();
    }

private:
    MainWindow* w_;
};

MainWindow::MainWindow(app::Hourgrid& form, QtPlatform& platform) : f_(form), platform_(platform) {
    initResources();
    setObjectName("Hourgrid");
    setWindowIcon(QIcon(":/icons/hourgrid.png"));
    surface_ = new SurfaceWidget(this);
    surface_->setObjectName("FormSurface");
    setCentralWidget(surface_);

    buildMenus();
    buildToolBar();

    grid_ = new GridWidget(f_.Grid, surface_);
    grid_->onFontChanged = [this] { applyGridFont(); };
    f_.Grid.viewChanged = [this] {
        placeGrid();
        grid_->modelChanged();
        // A column dragged or reset under an open editor: the editor takes the cell's new place.
        // A move to another cell is left to the form, which places or hides its editors itself.
        const QRect cell = grid_->cellRect(f_.Grid.row(), f_.Grid.col());
        if (f_.Grid.row() == followedRow_ && f_.Grid.col() == followedCol_ && cell != followedCell_)
            followCurrentCell();
        followedRow_ = f_.Grid.row();
        followedCol_ = f_.Grid.col();
        followedCell_ = cell;
    };

    timeEntry_ = new LineEditView(f_.TimeEntry, surface_);
    ui::ComboBox* models[3] = {&f_.CustJobCombo, &f_.ServiceCombo, &f_.ClassCombo};
    for (int i = 0; i < 3; ++i) combos_[i] = new ComboView(*models[i], surface_);

    status_ = new StatusBarWidget(f_.sbStatusBar, surface_);
    f_.sbStatusBar.viewChanged = [this] { status_->sync(); };
    // The status bar is as tall as its font needs; the layout reads its height from the model.
    f_.sbStatusBar.setHeight(twips(status_->sizeHint().height()));

    applyGridFont();
    placeGrid();
    timeEntry_->raise();
    for (auto* c : combos_) c->raise();
    // The editors are placed once, over the current cell; a scroll by the user (wheel,
    // scroll bar, a resize that clamps the range) must take them along.
    connect(grid_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { followCurrentCell(); });
    connect(grid_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { followCurrentCell(); });

    f_.viewChanged = [this] { applyForm(); };
    platform_.setMainWindow(this, &f_);
    qApp->installEventFilter(this);
    applyForm();
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    if (waitCursor_) QApplication::restoreOverrideCursor();
    f_.viewChanged = nullptr;
    f_.Grid.viewChanged = nullptr;
    f_.sbStatusBar.viewChanged = nullptr;
    f_.tbToolBar.viewChanged = nullptr;
    platform_.setMainWindow(nullptr, nullptr);
}

ComboView* MainWindow::combo(const std::string& name) {
    for (auto* c : combos_)
        if (c->model().name == name) return c;
    return nullptr;
}

QAction* MainWindow::menuAction(const std::string& itemName) {
    auto it = menuActions_.find(itemName);
    return it == menuActions_.end() ? nullptr : it->second;
}

QAction* MainWindow::toolAction(const std::string& key) {
    auto it = toolActions_.find(key);
    return it == toolActions_.end() ? nullptr : it->second;
}

void MainWindow::buildMenus() {
    for (ui::Menu* m : f_.menus()) {
        QMenu* menu = menuBar()->addMenu(qs(m->caption));
        menu->setObjectName(qs(m->name));
        for (size_t i = 0; i < m->items.size(); ++i) {
            const ui::MenuItem& item = m->items[i];
            // The shortcut is only shown: the keys themselves reach the form through key preview.
            QString text = qs(item.caption);
            if (!item.shortcut.empty()) text += "\t" + qs(item.shortcut);
            QAction* a = menu->addAction(text);
            a->setObjectName(qs(item.name));
            std::string name = item.name;
            connect(a, &QAction::triggered, this, [this, name] {
                ui::MenuItem* mi = f_.menuItem(name);
                if (mi && mi->enabled && mi->onClick) guarded([&] { mi->onClick(); });
            });
            menuActions_[item.name] = a;
        }
        connect(menu, &QMenu::aboutToShow, this, [this, m] {
            for (const auto& item : m->items)
                if (QAction* a = menuAction(item.name)) {
                    a->setEnabled(item.enabled);
                    QString text = qs(item.caption);
                    if (!item.shortcut.empty()) text += "\t" + qs(item.shortcut);
                    a->setText(text);
                }
        });
    }
}

void MainWindow::buildToolBar() {
    toolBar_ = new QToolBar(surface_);
    toolBar_->setObjectName(qs(f_.tbToolBar.name));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar_->setContentsMargins(2, 0, 2, 0);
    for (const ui::ToolButton& b : f_.tbToolBar.buttons) {
        if (b.key.empty()) {
            toolBar_->addSeparator();
            continue;
        }
        QIcon icon;
        if (b.image >= 1 && b.image <= 9) icon = QIcon(QString(":/icons/%1.png").arg(kImages[b.image - 1]));
        QAction* a = toolBar_->addAction(icon, qs(b.toolTip));
        a->setObjectName(qs(b.key));
        a->setToolTip(qs(b.toolTip));
        std::string key = b.key;
        connect(a, &QAction::triggered, this, [this, key] {
            if (f_.tbToolBar.enabled() && f_.tbToolBar.onButtonClick)
                guarded([&] { f_.tbToolBar.onButtonClick(key); });
        });
        toolActions_[b.key] = a;
        if (QWidget* w = toolBar_->widgetForAction(a)) w->setObjectName(qs("tb" + b.key));
    }
    f_.tbToolBar.viewChanged = [this] { refreshToolBar(); };
}

void MainWindow::refreshToolBar() {
    for (const ui::ToolButton& b : f_.tbToolBar.buttons)
        if (QAction* a = toolAction(b.key)) a->setToolTip(qs(b.toolTip));
    if (toolBar_->isHidden() == f_.tbToolBar.visible()) toolBar_->setVisible(f_.tbToolBar.visible());
    toolBar_->setEnabled(f_.tbToolBar.enabled());
}

void MainWindow::layoutSurface() {
    int w = surface_->width(), h = surface_->height();
    toolBar_->setGeometry(0, 0, w, px(f_.tbToolBar.height()));
    int sh = px(f_.sbStatusBar.height());
    status_->setGeometry(0, std::max(0, h - sh), w, sh);
}

void MainWindow::placeGrid() { applyControl(grid_, f_.Grid); }

void MainWindow::followCurrentCell() {
    ui::FlexGrid& g = f_.Grid;
    if (g.row() < g.fixedRows || g.row() >= g.rows() || g.col() >= g.cols()) return;
    auto follow = [&](ui::Control& m, bool cellHigh) {
        if (!m.visible()) return;
        guarded([&] {
            m.move(g.left() + g.cellLeft(), g.top() + g.cellTop(), g.cellWidth(), cellHigh ? g.cellHeight() : m.height());
        });
    };
    follow(f_.TimeEntry, true);
    for (auto* c : combos_) follow(c->model(), false);
}

void MainWindow::clipEditor(QWidget* editor) {
    // An editor shows only over the scrolling part of the grid, never over the headings or past its edges.
    const ui::FlexGrid& g = f_.Grid;
    int fixedBottom = 0;
    for (int r = 0; r < g.fixedRows && r < g.rows(); ++r) fixedBottom += grid_->cellRect(r, 0).height();
    const QWidget* vp = grid_->viewport();
    const QRect dataArea(vp->mapTo(surface_, QPoint(0, fixedBottom)),
                         QSize(vp->width(), std::max(0, vp->height() - fixedBottom)));
    const QRect shown = dataArea.intersected(editor->geometry()).translated(-editor->pos());
    if (shown == editor->rect()) editor->clearMask();
    else if (shown.isEmpty()) editor->setMask(QRegion(-1, -1, 1, 1));  // outside itself: nothing shows
    else editor->setMask(QRegion(shown));
}

void MainWindow::applyGridFont() {
    QFont f = toQFont(f_.Grid.font(), designFont(8));
    timeEntry_->setFont(f);
    for (auto* c : combos_) {
        c->setFont(f);
        // Data rows take the combo's height when they are made, so that a combo fits its row.
        double h = twips(c->sizeHint().height());
        if (std::abs(c->model().height() - h) > 0.5) c->model().setHeight(h);
    }
}

void MainWindow::applyForm() {
    if (applying_) return;
    applying_ = true;
    QString title = qs(f_.caption());
    if (windowTitle() != title) setWindowTitle(title);

    if (f_.mousePointer() == ui::MousePointer::Hourglass && !waitCursor_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        waitCursor_ = true;
    } else if (f_.mousePointer() != ui::MousePointer::Hourglass && waitCursor_) {
        QApplication::restoreOverrideCursor();
        waitCursor_ = false;
    }

    if (f_.visible() && !platform_.programEnded()) {
        QSize extra = isVisible() ? frameExtra() : QSize(0, 0);
        QSize want(std::max(1, px(f_.width()) - extra.width()), std::max(1, px(f_.height()) - extra.height()));
        bool sizeChanged = std::abs(f_.width() - reportedW_) >= twipsPerPixel() ||
                           std::abs(f_.height() - reportedH_) >= twipsPerPixel();
        if (!shown_) {
            targetOuter_ = QSize(px(f_.width()), px(f_.height()));
            // A size stored on a larger screen, or at another scale, never exceeds this one.
            const QRect avail = availableArea();
            if (avail.isValid()) targetOuter_ = targetOuter_.boundedTo(avail.size());
            create();
            QMargins m = windowHandle() ? windowHandle()->frameMargins() : QMargins();
            resize(std::max(1, targetOuter_.width() - m.left() - m.right()),
                   std::max(1, targetOuter_.height() - m.top() - m.bottom()));
            centreFrame(targetOuter_);
            switch (f_.windowState()) {
            case ui::WindowState::Maximized:
                // Shown at its normal size and place first, maximised once its frame is
                // fitted: the window manager keeps that size to restore, not the screen's.
                show();
                maximiseWhenFitted_ = true;
                break;
            case ui::WindowState::Minimized: showMinimized(); break;
            default: show(); break;
            }
            shown_ = true;
            grid_->setFocus(Qt::ActiveWindowFocusReason);  // the grid is first in the form's tab order
            fitFrame();
            fitFrameSoon();
            reportSize();
        } else {
            if (sizeChanged && f_.windowState() == ui::WindowState::Normal && !isMaximized() && !isMinimized())
                resize(want);
            if (f_.windowState() != reportedState_) {
                switch (f_.windowState()) {
                case ui::WindowState::Maximized: showMaximized(); break;
                case ui::WindowState::Minimized: showMinimized(); break;
                default: showNormal(); break;
                }
            }
        }
    }
    applying_ = false;
}

QRect MainWindow::availableArea() const {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

QSize MainWindow::frameExtra() const {
    // Asked of the window itself: the widget's own frame geometry may lag behind
    // a window manager that framed the window after it was shown.
    QMargins m = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    return QSize(m.left() + m.right(), m.top() + m.bottom());
}

void MainWindow::centreFrame(QSize outer) {
    // Centred on the screen's free area, and never with the title bar above or
    // left of it, however large the frame.
    const QRect avail = availableArea();
    if (!avail.isValid()) return;
    QPoint at = avail.center() - QPoint(outer.width() / 2, outer.height() / 2) + QPoint(1, 1);
    move(std::max(at.x(), avail.left()), std::max(at.y(), avail.top()));
}

void MainWindow::fitFrame() {
    // The stored size is the outer one, frame and title bar included. When the
    // frame was not known as the window was placed, its client area took the
    // whole outer size: take the frame off once, as soon as it is known, and
    // centre the real frame (later sizes and places are the user's).
    if (frameFitted_ || !isVisible() || isMaximized() || isMinimized() || platform_.programEnded()) return;
    QSize extra = frameExtra();
    if (extra.isNull()) return;
    frameFitted_ = true;
    normalExtra_ = extra;
    if (size() == targetOuter_)
        resize(std::max(1, targetOuter_.width() - extra.width()), std::max(1, targetOuter_.height() - extra.height()));
    centreFrame(size() + extra);
    maximiseIfWanted();
}

void MainWindow::reportSize() {
    if (!shown_ || platform_.programEnded()) return;
    QSize outer = isVisible() ? size() + frameExtra() : size();
    ui::WindowState st = isMinimized()   ? ui::WindowState::Minimized
                         : isMaximized() ? ui::WindowState::Maximized
                                         : ui::WindowState::Normal;
    if (st == ui::WindowState::Normal && isVisible() && outer != size()) normalExtra_ = outer - size();
    // A maximised or minimised window reports the size it returns to, so that the
    // size kept for the next start is never the screen's.
    if (st != ui::WindowState::Normal && normalGeometry().isValid()) {
        QSize extra = normalExtra_.isValid() ? normalExtra_ : outer - size();
        outer = normalGeometry().size() + extra.expandedTo(QSize(0, 0));
    }
    QSize inner = st == ui::WindowState::Minimized ? QSize(0, 0) : surface_->size();
    reportedW_ = twips(outer.width());
    reportedH_ = twips(outer.height());
    reportedState_ = st;
    guarded([&] { f_.viewResized(reportedW_, reportedH_, twips(inner.width()), twips(inner.height()), st); });
}

void MainWindow::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    // A window manager that frames the window moves its client area; the frame is known from then on.
    if (shown_ && !frameFitted_) fitFrame();
}

void MainWindow::fitFrameSoon() {
    // A window manager may add its frame only a moment later; without one, the
    // window is never framed and a maximised start waits no longer.
    for (int ms : {100, 300, 700, 1500}) QTimer::singleShot(ms, this, [this] { fitFrame(); });
    QTimer::singleShot(1600, this, [this] { maximiseIfWanted(); });
}

void MainWindow::maximiseIfWanted() {
    if (!maximiseWhenFitted_ || platform_.programEnded()) return;
    maximiseWhenFitted_ = false;
    if (!isMaximized()) showMaximized();
}

void MainWindow::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) reportSize();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (f_.ended() || platform_.programEnded()) {
        e->accept();
        return;
    }
    bool closed = false;
    guarded([&] { closed = f_.Unload(0); });
    if (closed) e->accept();
    else e->ignore();
}

bool MainWindow::eventFilter(QObject* o, QEvent* e) {
    if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) &&
        (o == timeEntry_ || std::find(std::begin(combos_), std::end(combos_), o) != std::end(combos_))) {
        clipEditor(static_cast<QWidget*>(o));
        return false;
    }
    if (e->type() == QEvent::Resize && o == grid_->viewport()) {
        clipEditor(timeEntry_);
        for (auto* c : combos_) clipEditor(c);
        return false;
    }
    if (e->type() != QEvent::KeyPress || !f_.keyPreview || f_.ended()) return false;
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w->window() != this) return false;
    // An unhandled key travels up to the parents as the same event: preview it once.
    if (e == lastKey_ && lastKeyReceiver_ && w != lastKeyReceiver_ && w->isAncestorOf(lastKeyReceiver_))
        return false;
    lastKey_ = e;
    lastKeyReceiver_ = w;
    auto* ke = static_cast<QKeyEvent*>(e);
    int code = windowsKeyCode(*ke);
    if (code == 0) return false;
    int keyCode = code;
    guarded([&] { f_.Form_KeyDown(keyCode, shiftState(ke->modifiers())); });
    if (keyCode == 0) {
        e->accept();
        return true;
    }
    return false;
}

}  // namespace uiqt
