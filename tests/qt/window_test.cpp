// The main window's commands through the real widgets: menus, toolbar, key
// preview and status bar reach the form's handlers; size and close reach the
// form's layout and shut-down.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include "qt_fixture.h"

class WindowTest : public QtWindowFixture {};

TEST_F(WindowTest, MenusShowShortcutsThatAreNotRegistered) {
    openTimer();
    ASSERT_EQ(window->menuBar()->actions().size(), 4);
    EXPECT_EQ(window->menuAction("ViewMenuBackMonth")->text(), "Back one &month\tCtrl+M");
    // Shown only: the keys come through key preview, a registered shortcut would run them twice.
    for (QAction* a : window->findChildren<QAction*>()) EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
}

// The View menu, the toolbar and the Ctrl keys through key preview each move the
// week once; a consumed key does not reach the grid.
TEST_F(WindowTest, MenuToolbarAndCtrlKeysMoveTheWeek) {
    struct Move {
        const char *menu, *tool;
        char key;
        const char* expected;  // from the week of 11/30/2026 (10/05/2026 for Last Monday)
    } moves[] = {
        {"ViewMenuBackMonth", "BackMonth", 'M', "11/02/2026"},
        {"ViewMenuBackWeek", "BackWeek", 'W', "11/23/2026"},
        {"ViewMenuForwardWeek", "FwdWeek", 'K', "12/07/2026"},
        {"ViewMenuForwardMonth", "FwdMonth", 'H', "12/28/2026"},
        {"ViewMenuLastMonday", "LastMonday", 'L', "11/30/2026"},
    };
    openTimer();
    for (const Move& m : moves)
        for (const char* way : {"menu", "toolbar", "Ctrl"}) {
            SCOPED_TRACE(std::string(m.tool) + " by " + way);
            form->SetMonday(m.key == 'L' ? "10/05/2026" : "11/30/2026");
            if (way[0] == 'm') {
                window->menuAction(m.menu)->trigger();
            } else if (way[0] == 't') {
                clickToolButton(m.tool);
            } else {
                grid().setFocus();
                QTest::keyClick(&grid(), Qt::Key(Qt::Key_A + (m.key - 'A')), Qt::ControlModifier);
            }
            settle();
            EXPECT_EQ(startDate(), m.expected);
            EXPECT_FALSE(form->TimeEntry.visible()) << "the consumed key reached the grid";
        }
    // Shift and Alt may be held as well.
    form->SetMonday("11/30/2026");
    QTest::keyClick(&grid(), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(startDate(), "11/23/2026");

    // Open runs File > Open: the Open dialog is asked for with the Timer filter selected.
    clickToolButton("Open");
    ASSERT_EQ(openRequests.size(), 1u);
    EXPECT_EQ(openRequests[0].filterIndex, 2);
}

TEST_F(WindowTest, ToolbarShowsTwelvePositionsWithTheModelsToolTips) {
    openTimer();
    QList<QAction*> acts = window->toolBar()->actions();
    ASSERT_EQ(acts.size(), 12);
    const char* keys[] = {"Open", "Save", "", "Print", "", "AddRow", "", "BackMonth", "BackWeek", "LastMonday",
                          "FwdWeek", "FwdMonth"};
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(acts[i]->isSeparator(), std::string(keys[i]).empty());
        if (acts[i]->isSeparator()) continue;
        EXPECT_EQ(acts[i]->objectName().toStdString(), keys[i]);
        EXPECT_FALSE(acts[i]->icon().isNull());
        EXPECT_EQ(acts[i]->toolTip().toStdString(), form->tbToolBar.button(keys[i])->toolTip);
    }
    // A tool tip the logic changes later reaches the button.
    form->tbToolBar.setButtonToolTip("Print", "Prints to: Somewhere");
    EXPECT_EQ(window->toolAction("Print")->toolTip(), "Prints to: Somewhere");
}

TEST_F(WindowTest, LettersWithoutCtrlReachTheFocusedGrid) {
    openTimer();
    // Monday of the first row (1, 3) is current after start-up; a typed letter opens its editor.
    grid().setFocus();
    QTest::keyClick(&grid(), Qt::Key_M);
    settle();
    EXPECT_EQ(startDate(), "11/30/2026");
    EXPECT_TRUE(form->TimeEntry.visible());
    EXPECT_EQ(form->TimeEntry.text(), "m");
    EXPECT_TRUE(window->timeEntry()->isVisible());
    EXPECT_EQ(window->timeEntry()->text(), "m");
}

TEST_F(WindowTest, KeyPreviewIsOffUntilATimerFileIsOpen) {
    writeSetting("File", (dir / "missing.tdb").string());
    start();
    form->raiseShown();
    settle();
    ASSERT_FALSE(form->m_bDbOpen);
    ASSERT_EQ(platform.messages.size(), 1u);  // the failed open
    QTest::keyClick(&grid(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(startDate(), "<None>");
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(WindowTest, StatusBarShowsThePanelsAndRoutesClicksByKey) {
    openTimer();
    auto rects = window->statusBarWidget()->panelRects();
    ASSERT_EQ(rects.size(), 4u);
    // Panel 2 springs into the width the others leave.
    EXPECT_GT(rects[1].width(), rects[0].width());
    EXPECT_GT(rects[1].width(), rects[3].width());
    EXPECT_LE(rects[3].right(), window->statusBarWidget()->width());

    // Clicking the text panels does nothing.
    clickPanel("NameField");
    clickPanel("StartDateField");
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(startDate(), "11/30/2026");

    // "Start Date:" opens the start-date dialog; typing a date and pressing OK shows its week.
    int shown = 0;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        ++shown;
        auto* edit = qobject_cast<QLineEdit*>(dlg.controlWidget("StartDate"));
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        QTest::keyClicks(edit, "12/09/2026");
        QTest::mouseClick(dlg.controlWidget("OK"), Qt::LeftButton);
    };
    clickPanel("StartDateButton");
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(startDate(), "12/07/2026");
    EXPECT_TRUE(form->enabled());
}

TEST_F(WindowTest, ResizingTheWindowLaysOutTheGridInTwips) {
    openSized(800, 420);
    const double tw = uiqt::twipsPerPixel();
    EXPECT_DOUBLE_EQ(form->width(), window->frameGeometry().width() * tw);  // the outer size
    EXPECT_DOUBLE_EQ(form->scaleWidth(), window->surface()->width() * tw);
    EXPECT_DOUBLE_EQ(form->Grid.width(), form->scaleWidth() - 120);
    EXPECT_EQ(grid().width(), uiqt::px(form->scaleWidth() - 120));
    EXPECT_EQ(grid().geometry().left(), uiqt::px(60));
    EXPECT_EQ(grid().geometry().top(), uiqt::px(360));
    // The grid ends 60 twips above the status bar, which sits at the bottom of the client area.
    QRect sb = inSurface(window->statusBarWidget());
    EXPECT_EQ(sb.bottom(), window->surface()->height() - 1);
    EXPECT_EQ(grid().geometry().bottom() + 1, uiqt::px(form->scaleHeight() - form->sbStatusBar.height() - 60));
}

TEST_F(WindowTest, ClosingTheWindowOrFileExitUnloadsTheFormAndStoresTheSettings) {
    for (bool fileExit : {false, true}) {
        SCOPED_TRACE(fileExit ? "File > Exit" : "close box");
        openSized(900, 500);
        if (fileExit) window->menuAction("FileMenuExit")->trigger();
        else window->close();
        settle();
        EXPECT_TRUE(form->ended());
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(readSetting("File"), timerPath);
        EXPECT_EQ(readSetting("WindowState"), "0");
        if (fileExit) {
            EXPECT_TRUE(platform.programEnded());
        } else {
            EXPECT_EQ(readSetting("FormWidth"), std::to_string(static_cast<int>(std::lround(
                                                    window->frameGeometry().width() * uiqt::twipsPerPixel()))));
        }
    }
}

TEST_F(WindowTest, HelpMenuAsksForTheHelpFile) {
    openTimer();
    window->menuAction("HelpMenuHelp")->trigger();
    ASSERT_EQ(platform.helpRequests.size(), 1u);
    EXPECT_NE(platform.helpRequests[0].find(form->helpFile.empty() ? "Hourgrid" : form->helpFile), std::string::npos);
}

TEST_F(WindowTest, FirstStartWithoutAFileAsksToBrowseAndNoEndsTheProgram) {
    answers = {ui::Answer::No};
    start();
    form->raiseShown();
    settle();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "No Timer file is open. Do you want to browse for a Timer file?");
    EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::YesNo);
    EXPECT_TRUE(platform.programEnded());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(readSetting("FormWidth"), "<absent>");
}

TEST_F(WindowTest, StartsCentredAtTheStoredOuterSize) {
    writeSetting("FormWidth", "9000");
    writeSetting("FormHeight", "4500");
    openTimer();
    EXPECT_EQ(window->frameGeometry().size(), QSize(uiqt::px(9000), uiqt::px(4500)));
    QRect avail = window->screen()->availableGeometry();
    EXPECT_LE(std::abs(window->frameGeometry().center().x() - avail.center().x()), 3);
    EXPECT_LE(std::abs(window->frameGeometry().center().y() - avail.center().y()), 3);
    EXPECT_DOUBLE_EQ(form->width(), 9000);
    EXPECT_DOUBLE_EQ(form->height(), 4500);
}

TEST_F(WindowTest, CaptionAndMousePointerFollowTheForm) {
    openTimer();
    EXPECT_EQ(window->windowTitle().toStdString(), form->caption());
    EXPECT_NE(form->caption().find(timerPath), std::string::npos);
    form->setMousePointer(ui::MousePointer::Hourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    form->setMousePointer(ui::MousePointer::Hourglass);  // set twice, restored once
    form->setMousePointer(ui::MousePointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
