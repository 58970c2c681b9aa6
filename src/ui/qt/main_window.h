// The main window's view: a QMainWindow whose menus, toolbar, grid, cell
// editors and status bar mirror app::Hourgrid's models, in twips through the
// screen's logical DPI. Key preview gives the form every key before the
// focused widget.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <string>

#include "app/hourgrid.h"

class QToolBar;
class QAction;

namespace uiqt {

class QtPlatform;
class GridWidget;
class LineEditView;
class ComboView;
class StatusBarWidget;

// The program's icons live in the library's resource file.
void initResources();

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(app::Hourgrid& form, QtPlatform& platform);
    ~MainWindow() override;

    app::Hourgrid& form() { return f_; }
    QWidget* surface() { return surface_; }
    GridWidget* grid() { return grid_; }
    LineEditView* timeEntry() { return timeEntry_; }
    ComboView* combo(const std::string& name);
    StatusBarWidget* statusBarWidget() { return status_; }
    QToolBar* toolBar() { return toolBar_; }
    QAction* menuAction(const std::string& itemName);  // e.g. "ViewMenuBackWeek"
    QAction* toolAction(const std::string& key);       // e.g. "BackWeek"

protected:
    void closeEvent(QCloseEvent*) override;
    void changeEvent(QEvent*) override;
    void moveEvent(QMoveEvent*) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void buildMenus();
    void buildToolBar();
    void refreshToolBar();
    void applyForm();
    void reportSize();
    void fitFrame();
    void fitFrameSoon();
    void maximiseIfWanted();
    QRect availableArea() const;
    QSize frameExtra() const;
    void centreFrame(QSize outer);
    void layoutSurface();
    void placeGrid();
    void followCurrentCell();
    void clipEditor(QWidget* editor);
    void applyGridFont();

    app::Hourgrid& f_;
    QtPlatform& platform_;
    QWidget* surface_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    GridWidget* grid_ = nullptr;
    LineEditView* timeEntry_ = nullptr;
    ComboView* combos_[3] = {nullptr, nullptr, nullptr};
    int followedRow_ = -1, followedCol_ = -1;  // the current cell and its place when the grid last changed
    QRect followedCell_;
    StatusBarWidget* status_ = nullptr;
    std::map<std::string, QAction*> menuActions_;
    std::map<std::string, QAction*> toolActions_;
    bool shown_ = false;
    bool frameFitted_ = false;
    bool maximiseWhenFitted_ = false;
    QSize targetOuter_;
    QSize normalExtra_;  // frame and title bar around the client area of the normal window; invalid until known
    bool applying_ = false;
    bool waitCursor_ = false;
    double reportedW_ = -1, reportedH_ = -1;
    ui::WindowState reportedState_ = ui::WindowState::Normal;
    QEvent* lastKey_ = nullptr;
    QPointer<QWidget> lastKeyReceiver_;
    friend class SurfaceWidget;
};

}  // namespace uiqt
