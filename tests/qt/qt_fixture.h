// The real main window offscreen on the scratch files; message boxes answered OK (or Yes), file dialogs cancelled.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include "app/hourgrid.h"
#include "control_views.h"
#include "form_dialog.h"
#include "grid_widget.h"
#include "guard.h"
#include "main_window.h"
#include "qt_platform.h"
#include "status_bar_widget.h"
#include "test_files.h"
#include "units.h"

class QtWindowFixture : public ScratchFixture {
protected:
    void SetUp() override {
        ScratchFixture::SetUp();
        uiqt::setGuardReporter([this](const std::string& e) { errors.push_back(e); });
        platform.openHelp = false;
        platform.answerMessage = [](const uiqt::MessageRecord&) { return std::optional<ui::Answer>(); };  // OK (or Yes)
        platform.answerOpen = [this](const ui::OpenFileRequest& r) { return openRequests.push_back(r), std::optional<std::string>(); };
        platform.answerFont = [](const ui::Font&) { return std::optional<ui::Font>(); };
        platform.answerSavePdf = [](const std::string&) { return std::optional<std::string>(); };
    }
    void TearDown() override {
        window.reset(), form.reset(), store.reset(), ScratchFixture::TearDown(), uiqt::setGuardReporter(nullptr);
        EXPECT_TRUE(errors.empty()) << errors.front();
    }
    // The window and its form as at a program start, shown (Form_Load runs then).
    app::Hourgrid& start() {
        window.reset(), form.reset();
        store = std::make_unique<app::QtSettingsStore>(iniPath);
        form = std::make_unique<app::Hourgrid>(platform, *store);
        window = std::make_unique<uiqt::MainWindow>(*form, platform);
        return form->raiseShown(), settle(), *form;
    }
    // Starts the program on a fresh copy of `name` remembered in the settings (the week of 11/30/2026).
    app::Hourgrid& openTimer(const std::string& name = "sample.tdb") { return writeSetting("File", timerPath = copyTimer(name)), start(); }
    static void settle() { for (int i = 0; i < 3; ++i) QApplication::processEvents(); }
    void resizeTo(int width, int height) { window->resize(width, height), settle(); }
    void openSized(int width, int height) { openTimer(), resizeTo(width, height); }
    uiqt::GridWidget& grid() { return *window->grid(); }
    std::string cell(int r, int c) { return form->Grid.textMatrix(r, c); }
    std::pair<int, int> current() { return {form->Grid.row(), form->Grid.col()}; }
    void clickCell(int row, int col) { QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, grid().cellRect(row, col).center()), settle(); }
    void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(w, k, m), settle(); }
    void type(const char* text) { QTest::keyClicks(window->timeEntry(), text), settle(); }
    // A widget's or a grid cell's rectangle in the window's client area (the form's coordinates).
    QRect inSurface(QWidget* w) { return QRect(w->mapTo(window->surface(), QPoint(0, 0)), w->size()); }
    QRect cellInSurface(int row, int col) {
        return grid().cellRect(row, col).translated(grid().viewport()->mapTo(window->surface(), QPoint(0, 0)));
    }
    // Drags the right border of column `col`'s heading `dx` pixels, the button held through the move.
    void dragBorder(int col, int dx) {
        const QRect h = grid().cellRect(0, col);
        const QPoint border(h.right() + 1, h.center().y()), to = border + QPoint(dx, 0);
        QTest::mousePress(grid().viewport(), Qt::LeftButton, {}, border);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), grid().viewport()->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(grid().viewport(), &move);
        QTest::mouseRelease(grid().viewport(), Qt::LeftButton, {}, to), settle();
    }
    std::vector<ui::OpenFileRequest> openRequests;
    std::vector<std::string> errors;  // exceptions that reached the window layer
    uiqt::QtPlatform platform;
    std::unique_ptr<app::QtSettingsStore> store;
    std::unique_ptr<app::Hourgrid> form;
    std::unique_ptr<uiqt::MainWindow> window;
};
