// The real main window, offscreen, on a temporary copy of a Timer test file,
// with today fixed at Sunday 12/06/2026, a private settings file, and the Qt
// platform's message boxes, Open, font and PDF dialogs answered by the test
// (`answers`, `openResults`, ...) instead of being shown.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/hourgrid.h"
#include "app/settings.h"
#include "test_files.h"
#include "control_views.h"
#include "form_dialog.h"
#include "grid_widget.h"
#include "guard.h"
#include "main_window.h"
#include "qt_platform.h"
#include "status_bar_widget.h"
#include "units.h"

class QtWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
        char tmpl[] = "/tmp/hourgrid-qt-XXXXXX";
        dir = mkdtemp(tmpl);
        iniPath = (dir / "Hourgrid.conf").string();
        uiqt::setGuardReporter([this](const std::string& e) { errors.push_back(e); });
        platform.openHelp = false;
        // Queued answers, first to last; with none left, OK (or Yes) and Cancel.
        platform.answerMessage = [this](const uiqt::MessageRecord&) { return takeFront(answers); };
        platform.answerOpen = [this](const ui::OpenFileRequest& r) {
            openRequests.push_back(r);
            return takeFront(openResults).value_or(std::nullopt);
        };
        platform.answerFont = [this](const ui::Font&) { return takeFront(fontResults).value_or(std::nullopt); };
        platform.answerSavePdf = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
    }
    template <class T>
    static std::optional<T> takeFront(std::deque<T>& q) {
        if (q.empty()) return std::nullopt;
        T a = std::move(q.front());
        q.pop_front();
        return a;
    }
    void TearDown() override {
        window.reset();
        form.reset();
        store.reset();
        std::filesystem::remove_all(dir);
        app::Clock::useSystem();
        uiqt::setGuardReporter(nullptr);
        EXPECT_TRUE(errors.empty()) << errors.front();
    }

    std::string copyTimer(const std::string& name, const std::string& as = "") {
        return testfiles::copyTimer(dir, name, as);
    }
    void writeSetting(const std::string& key, const std::string& value) { testfiles::writeSetting(iniPath, key, value); }
    std::string readSetting(const std::string& key) { return testfiles::readSetting(iniPath, key); }
    // The window and its form as at a program start, not yet loaded.
    app::Hourgrid& start() {
        window.reset();
        form.reset();
        store = std::make_unique<app::QtSettingsStore>(iniPath);
        form = std::make_unique<app::Hourgrid>(platform, *store);
        window = std::make_unique<uiqt::MainWindow>(*form, platform);
        return *form;
    }
    // Starts the program on a fresh copy of `name` remembered in the settings
    // (Form_Load shows the window and fills the week of 11/30/2026).
    app::Hourgrid& openTimer(const std::string& name = "sample.tdb") {
        timerPath = copyTimer(name);
        writeSetting("File", timerPath);
        start();
        form->raiseShown();
        settle();
        return *form;
    }
    static void settle() {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    }
    void resizeTo(int width, int height) {
        window->resize(width, height);
        settle();
    }
    void openSized(int width, int height) {
        openTimer();
        resizeTo(width, height);
    }

    // ---- Driving the window as a user ----
    uiqt::GridWidget& grid() { return *window->grid(); }
    std::string startDate() { return form->sbStatusBar.panelText(4); }
    void clickToolButton(const std::string& key) {
        auto* b = qobject_cast<QToolButton*>(window->toolBar()->widgetForAction(window->toolAction(key)));
        ASSERT_NE(b, nullptr) << key;
        QTest::mouseClick(b, Qt::LeftButton);
        settle();
    }
    void clickPanel(const std::string& key) {
        int i = form->sbStatusBar.panelIndex(key);
        ASSERT_GT(i, 0) << key;
        QRect r = window->statusBarWidget()->panelRects().at(static_cast<size_t>(i - 1));
        QTest::mouseClick(window->statusBarWidget(), Qt::LeftButton, {}, r.center());
        settle();
    }
    void clickCell(int row, int col, Qt::MouseButton b = Qt::LeftButton) {
        QRect r = grid().cellRect(row, col);
        QTest::mouseClick(grid().viewport(), b, {}, r.center());
        settle();
    }
    // A widget's rectangle in the window's client area (the form's coordinates).
    QRect inSurface(QWidget* w) {
        return QRect(w->mapTo(window->surface(), QPoint(0, 0)), w->size());
    }
    // Drags the right border of column `col`'s heading `dx` pixels, the button held through the move.
    void dragBorder(int col, int dx) {
        const QRect h = grid().cellRect(0, col);
        const QPoint border(h.right() + 1, h.center().y()), to = border + QPoint(dx, 0);
        QTest::mousePress(grid().viewport(), Qt::LeftButton, {}, border);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), grid().viewport()->mapToGlobal(QPointF(to)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid().viewport(), &move);
        QTest::mouseRelease(grid().viewport(), Qt::LeftButton, {}, to);
        settle();
    }
    // A grid cell's rectangle in the window's client area.
    QRect cellInSurface(int row, int col) {
        QRect rc = grid().cellRect(row, col);
        return QRect(grid().viewport()->mapTo(window->surface(), QPoint(0, 0)) + rc.topLeft(), rc.size());
    }

    std::filesystem::path dir;
    std::string iniPath;
    std::string timerPath;
    std::deque<ui::Answer> answers;
    std::deque<std::optional<std::string>> openResults;
    std::vector<ui::OpenFileRequest> openRequests;
    std::deque<std::optional<ui::Font>> fontResults;
    std::vector<std::string> errors;  // exceptions that reached the window layer
    uiqt::QtPlatform platform;
    std::unique_ptr<app::QtSettingsStore> store;
    std::unique_ptr<app::Hourgrid> form;
    std::unique_ptr<uiqt::MainWindow> window;
};
