// Changing the week shown: the five navigation commands, the start-date
// dialog, the checks of the start date and the day headers, on copies of
// sample.tdb with today Sunday 12/06/2026.
#include <QLocale>
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "jet/write_internal.h"
#include "week/date_dialog.h"
#include "week_test_util.h"

using app::DateDialog;
using app::Hourgrid;

namespace {

using NavigationTest = AppFixture;

// Every message shown, one a line, so that a failure says what was shown.
std::string shownMessages(const ScriptedPlatform& p) {
    std::string all;
    for (const auto& m : p.messages) all += m.text + "\n";
    return all;
}

// The next start-date dialog gets `typed` and OK.
void answerDateDialog(ScriptedPlatform& p, const std::string& typed) {
    p.onModal = [typed](ui::Form& f) {
        auto& d = dynamic_cast<DateDialog&>(f);
        d.StartDate.setText(typed);
        d.OK.click();
    };
}

std::array<std::string, 7> dayHeaders(const Hourgrid& w) {
    std::array<std::string, 7> h;
    for (int d = 0; d < 7; ++d) h[static_cast<size_t>(d)] = w.Grid.textMatrix(0, 3 + 3 * d);
    return h;
}

// The five menu moves of the week.
std::vector<std::function<void()>> moveCommands(Hourgrid& w) {
    return {[&w] { w.ViewMenuBackWeek_Click(); }, [&w] { w.ViewMenuBackMonth_Click(); },
            [&w] { w.ViewMenuForwardWeek_Click(); }, [&w] { w.ViewMenuForwardMonth_Click(); },
            [&w] { w.ViewMenuLastMonday_Click(); }};
}

// A field of one activity as a number, read with the engine from the file the window holds open.
double fieldOf(Hourgrid& w, int32_t id, const std::string& field) {
    auto t = w.m_db->engine().table("Activities");
    auto hits = t->seek(*t->primaryKey(), {jet::Value::int32(id)});
    if (hits.empty()) return -1;
    return (*t->readRow(hits[0]))[static_cast<size_t>(t->columnIndex(field))].toDouble();
}

}  // namespace

TEST_F(NavigationTest, CommandsMoveTheWeek) {
    Hourgrid& w = openTimer();
    struct Step {
        const char* what;
        std::function<void()> run;
        const char* monday;
        std::array<std::string, 7> headers;
        const char* firstRow;  // Customer:Job of row 1
    };
    const Step steps[] = {
        {"back a week", [&] { w.ViewMenuBackWeek_Click(); }, "11/23/2026",
         {"M 23", "T 24", "W 25", "T 26", "F 27", "S 28", "S 29"}, "Delta Logistics"},
        {"back a month", [&] { w.ViewMenuBackMonth_Click(); }, "10/26/2026",
         {"M 26", "T 27", "W 28", "T 29", "F 30", "S 31", "S 1"}, "Acme Corporation:Support Contract"},
        {"forward a month", [&] { w.ViewMenuForwardMonth_Click(); }, "11/23/2026",
         {"M 23", "T 24", "W 25", "T 26", "F 27", "S 28", "S 29"}, "Delta Logistics"},
        {"forward a week", [&] { w.ViewMenuForwardWeek_Click(); }, "11/30/2026",
         {"M 30", "T 1", "W 2", "T 3", "F 4", "S 5", "S 6"}, "Acme Corporation:Website Redesign"},
        {"forward a week again", [&] { w.ViewMenuForwardWeek_Click(); }, "12/07/2026",
         {"M 7", "T 8", "W 9", "T 10", "F 11", "S 12", "S 13"}, "Acme Corporation:Website Redesign"},
        {"last Monday", [&] { w.ViewMenuLastMonday_Click(); }, "11/30/2026",
         {"M 30", "T 1", "W 2", "T 3", "F 4", "S 5", "S 6"}, "Acme Corporation:Website Redesign"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.run();
        EXPECT_EQ(w.sbStatusBar.panelText(4), s.monday);
        EXPECT_EQ(dayHeaders(w), s.headers);
        QDate monday = QDate::fromString(s.monday, "MM/dd/yyyy");
        for (int d = 0; d < 7; ++d) EXPECT_EQ(w.days()[static_cast<size_t>(d)], monday.addDays(d));
        EXPECT_EQ(w.Grid.textMatrix(1, 0), s.firstRow);
        // B and N headers stay as they are.
        EXPECT_EQ(w.Grid.textMatrix(0, 4), "B");
        EXPECT_EQ(w.Grid.textMatrix(0, 5), "N");
    }
    // The weeks' own activities: 11/23 holds Delta Logistics on Monday, 12/07 Acme on Monday.
    EXPECT_EQ(shownMessages(platform), "");
}

// A week and a "month" of 28 days back across the turn of the year.
TEST_F(NavigationTest, MovesCrossTheYear) {
    Hourgrid& w = openTimer();
    for (auto [move, monday] : {std::pair{&Hourgrid::ViewMenuBackWeek_Click, "12/28/1998"},
                                std::pair{&Hourgrid::ViewMenuBackMonth_Click, "12/07/1998"}}) {
        w.SetMonday("01/04/1999");
        (w.*move)();
        EXPECT_EQ(w.sbStatusBar.panelText(4), monday);
    }
}

// The toolbar keys, the menu items and the Ctrl shortcuts reach the same commands.
TEST_F(NavigationTest, ToolbarMenuAndShortcuts) {
    Hourgrid& w = openTimer();
    struct Way {
        const char* toolKey;
        const char* menuItem;
        int key;
        int days;  // from 11/30/2026
    };
    const Way ways[] = {{"BackMonth", "ViewMenuBackMonth", 'M', -28},
                        {"BackWeek", "ViewMenuBackWeek", 'W', -7},
                        {"FwdWeek", "ViewMenuForwardWeek", 'K', 7},
                        {"FwdMonth", "ViewMenuForwardMonth", 'H', 28}};
    const QDate start(2026, 11, 30);
    for (const auto& way : ways) {
        SCOPED_TRACE(way.toolKey);
        std::string expected = start.addDays(way.days).toString("MM/dd/yyyy").toStdString();
        w.SetMonday("11/30/2026");
        w.tbToolBar_ButtonClick(way.toolKey);
        EXPECT_EQ(w.sbStatusBar.panelText(4), expected);
        w.SetMonday("11/30/2026");
        w.menuItem(way.menuItem)->onClick();
        EXPECT_EQ(w.sbStatusBar.panelText(4), expected);
        w.SetMonday("11/30/2026");
        int key = way.key;
        w.Form_KeyDown(key, ui::kCtrlMask);
        EXPECT_EQ(key, 0);
        EXPECT_EQ(w.sbStatusBar.panelText(4), expected);
    }
    w.SetMonday("10/05/2026");
    w.tbToolBar_ButtonClick("LastMonday");
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    w.SetMonday("10/05/2026");
    w.menuItem("ViewMenuLastMonday")->onClick();
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(shownMessages(platform), "");
}

TEST_F(NavigationTest, LastMondayOnAMondayAndWithoutAWeek) {
    Hourgrid& w = openTimer();
    app::Clock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(8, 30)));
    w.ViewMenuLastMonday_Click();
    EXPECT_EQ(w.sbStatusBar.panelText(4), "12/07/2026");
    EXPECT_EQ(w.id(3, 1), 16);
    // It needs no start date to move from.
    w.sbStatusBar.setPanelText(4, "<None>");
    app::Clock::setFixed(QDateTime(QDate(2026, 12, 2), QTime(23, 59)));
    w.ViewMenuLastMonday_Click();
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(shownMessages(platform), "");
}

// A start date that is missing or not a Monday stops the move and keeps the week on screen.
TEST_F(NavigationTest, BadStartDateStopsTheMove) {
    struct Case {
        const char* field;
        const char* message;
    };
    const Case cases[] = {{"<None>", "Please select a Start Date"},
                          {"12/01/2026", "Please select a Monday as your Start Date"}};
    Hourgrid& w = openTimer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        platform.messages.clear();
        w.sbStatusBar.setPanelText(4, c.field);
        w.ViewMenuForwardWeek_Click();
        weektest::expectOnlyMessage(platform, c.message);
        EXPECT_EQ(w.sbStatusBar.panelText(4), c.field);
        EXPECT_EQ(w.Grid.textMatrix(1, 3), "02:30");
        EXPECT_EQ(w.id(3, 1), 1);
    }
    // SetMonday with a Tuesday: the field takes the text, the grid keeps the old week.
    platform.messages.clear();
    w.SetMonday("12/01/2026");
    weektest::expectOnlyMessage(platform, "Please select a Monday as your Start Date");
    EXPECT_EQ(w.sbStatusBar.panelText(4), "12/01/2026");
    EXPECT_EQ(w.Grid.textMatrix(0, 3), "M 30");
    EXPECT_EQ(w.Grid.rows(), 16);
    EXPECT_EQ(w.days()[0], QDate(2026, 11, 30));
}

// Every move writes the week it leaves: a changed cell reaches the file, and
// "CreateTime" of every activity shown is rewritten.
TEST_F(NavigationTest, WeekIsSavedBeforeEveryMove) {
    Hourgrid& w = openTimer();
    const double before = fieldOf(w, 7, "CreateTime");
    int minutes = 10;
    for (const auto& move : moveCommands(w)) {
        SCOPED_TRACE(minutes);
        w.SetMonday("11/30/2026");
        ASSERT_EQ(w.id(3, 1), 1);
        w.Grid.setTextMatrix(1, 3, "01:" + std::to_string(minutes));  // minutes stay two-digit
        app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(11, minutes)));
        move();
        EXPECT_NEAR(fieldOf(w, 1, "Duration"), (60 + minutes) / 1440.0, 1e-9);
        EXPECT_NEAR(fieldOf(w, 7, "CreateTime"), weektest::serial(QDate(2026, 12, 6), QTime(11, minutes)), 1e-6);
        minutes += 5;
    }
    EXPECT_NE(before, fieldOf(w, 7, "CreateTime"));
    EXPECT_EQ(shownMessages(platform), "");
}

// A week that does not validate stays on screen with the user's text.
TEST_F(NavigationTest, InvalidWeekDoesNotMove) {
    Hourgrid& w = openTimer();
    w.Grid.setTextMatrix(2, 12, "25:00");
    std::vector<std::function<void()>> commands = moveCommands(w);
    commands.push_back([&] { w.EditMenuStartDate_Click(); });
    commands.push_back([&] { w.sbStatusBar_PanelClick("StartDateButton"); });
    w.sbStatusBar.setPanelText(4, "11/30/2026");
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(i);
        platform.messages.clear();
        commands[i]();
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text.rfind("You cannot enter more than 23:59 for any activity: ", 0), 0u);
        EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
        EXPECT_EQ(w.Grid.textMatrix(2, 12), "25:00");
        EXPECT_EQ(w.Grid.textMatrix(1, 3), "02:30");
        EXPECT_EQ(w.id(12, 2), 4);
    }
    EXPECT_TRUE(platform.modalForms.empty());
    EXPECT_NEAR(fieldOf(w, 4, "Duration"), 3 / 24.0, 1e-9);
}

// A save that fails while the file is written (reported by the save) keeps the
// week it was leaving on screen, with the user's text, for every way of moving.
TEST_F(NavigationTest, FailedSaveKeepsTheWeek) {
    Hourgrid& w = openTimer();
    std::vector<std::function<void()>> moves = moveCommands(w);
    moves.push_back([&] {
            answerDateDialog(platform, "1/1/2002");
            w.EditMenuStartDate_Click();
        });
    w.Grid.setTextMatrix(1, 3, "04:00");
    bool armed = true;
    jet::detail::writablePager(w.m_db->engine()).setFaultHook([&](const char*, uint32_t) {
        if (armed) throw std::runtime_error("simulated write failure");
    });
    for (size_t i = 0; i < moves.size(); ++i) {
        SCOPED_TRACE(i);
        platform.messages.clear();
        moves[i]();
        // The first failure names itself; the engine then refuses writes until the file is reopened.
        ASSERT_EQ(platform.messages.size(), 1u);
        if (i == 0) {
            EXPECT_NE(platform.messages[0].text.find("simulated write failure"), std::string::npos);
        }
        EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
        EXPECT_EQ(w.days()[0], QDate(2026, 11, 30));
        EXPECT_EQ(w.Grid.textMatrix(1, 3), "04:00");
        EXPECT_EQ(w.id(3, 1), 1);
        EXPECT_TRUE(w.enabled());
    }
    EXPECT_NEAR(fieldOf(w, 1, "Duration"), 2.5 / 24, 1e-9);
    // Once the file can be written again the same command goes through.
    armed = false;
    w.m_db.reset();
    w.m_db = timerdb::Database::OpenDatabase(timerPath);
    w.m_db->setClock(&app::Clock::nowDays);
    platform.messages.clear();
    w.ViewMenuForwardWeek_Click();
    EXPECT_EQ(shownMessages(platform), "");
    EXPECT_EQ(w.sbStatusBar.panelText(4), "12/07/2026");
    EXPECT_NEAR(fieldOf(w, 1, "Duration"), 4.0 / 24, 1e-9);
}

// ---- The start-date dialog ----

TEST(DateDialogParse, DatesAsTyped) {
    app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
    struct Case {
        const char* text;
        QDate date;
    };
    const Case cases[] = {
        {"2/14/1999", QDate(1999, 2, 14)},
        {"02/14/1999", QDate(1999, 2, 14)},
        {" 12/06/2026 ", QDate(2026, 12, 6)},
        {"2/14/99", QDate(1999, 2, 14)},
        {"1/1/29", QDate(2029, 1, 1)},
        {"1/1/30", QDate(1930, 1, 1)},
        {"2-14-1999", QDate(1999, 2, 14)},
        {"1999-02-14", QDate(1999, 2, 14)},
        {"2/14", QDate(2026, 2, 14)},
        {"12/6/2026 10:00:00 AM", QDate(2026, 12, 6)},
        {"12/6/2026 22:15", QDate(2026, 12, 6)},
        {"2/29/2000", QDate(2000, 2, 29)},
        {"Dec 2, 2026", QDate(2026, 12, 2)},
        {"December 2, 2026", QDate(2026, 12, 2)},
        {"2 Dec 2026", QDate(2026, 12, 2)},
        {"Wednesday, December 2, 2026", QDate(2026, 12, 2)},
        {"dec. 2 99", QDate(1999, 12, 2)},
        {"2026 Dec 2", QDate(2026, 12, 2)},
        {"Feb 14", QDate(2026, 2, 14)},
    };
    for (const auto& c : cases) EXPECT_EQ(DateDialog::parseDate(c.text), c.date) << "'" << c.text << "'";
    for (const char* text : {"", "<None>", "abc", "2/30/1999", "13/1/1999", "0/1/1999", "2/29/1999",
                             "2/14/1999 25:00", "2/14/1999 tomorrow", "2/14-1999", "14", "1/1/0099",
                             "Dec 32, 2026", "Decem 2, 2026", "Tuesday, December 2, 2026", "Dec 2 2026 7"})
        EXPECT_EQ(DateDialog::parseDate(text), QDate()) << "'" << text << "'";
    // The user's own language and order.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(DateDialog::parseDate("2. Dezember 2026"), QDate(2026, 12, 2));
    EXPECT_EQ(DateDialog::parseDate("Mittwoch, 2. Dez. 2026"), QDate(2026, 12, 2));
    QLocale::setDefault(QLocale::system());
    app::Clock::useSystem();
}

TEST_F(NavigationTest, DialogControlsFitWithoutOverlap) {
    Hourgrid& w = openTimer();
    DateDialog& d = w.dateDialogForm();
    EXPECT_TRUE(d.OK.isDefault);
    EXPECT_TRUE(d.Cancel.isCancel);
    auto controls = d.controls();
    ASSERT_EQ(controls.size(), 5u);
    // Every control lies inside the dialog and none overlaps another.
    for (size_t i = 0; i < controls.size(); ++i) {
        const ui::Control* a = controls[i];
        EXPECT_GT(a->width(), 0);
        EXPECT_LE(a->left() + a->width(), d.width());
        EXPECT_LE(a->top() + a->height(), d.height() - 400);  // room for the title bar
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const ui::Control* b = controls[j];
            bool apart = a->left() + a->width() <= b->left() || b->left() + b->width() <= a->left() ||
                         a->top() + a->height() <= b->top() || b->top() + b->height() <= a->top();
            EXPECT_TRUE(apart) << a->name << " overlaps " << b->name;
        }
    }
}

// The examples of the dialog: any date gives the week of its Monday.
TEST_F(NavigationTest, DialogShowsTheWeekOfTheDateTyped) {
    Hourgrid& w = openTimer();
    struct Case {
        const char* typed;
        const char* monday;
        std::array<std::string, 7> headers;
    };
    const Case cases[] = {
        {"2/14/1999", "02/08/1999", {"M 8", "T 9", "W 10", "T 11", "F 12", "S 13", "S 14"}},
        {"11/25/2026", "11/23/2026", {"M 23", "T 24", "W 25", "T 26", "F 27", "S 28", "S 29"}},
        {"12/7/2026", "12/07/2026", {"M 7", "T 8", "W 9", "T 10", "F 11", "S 12", "S 13"}},
        {"3/1/1998", "02/23/1998", {"M 23", "T 24", "W 25", "T 26", "F 27", "S 28", "S 1"}},
        {"1/1/2002", "12/31/2001", {"M 31", "T 1", "W 2", "T 3", "F 4", "S 5", "S 6"}},
    };
    std::string shown = "11/30/2026";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        bool enabledWhileShown = true;
        std::string offered;
        platform.onModal = [&](ui::Form& f) {
            auto& d = dynamic_cast<DateDialog&>(f);
            enabledWhileShown = w.enabled();
            offered = d.StartDate.text();
            d.StartDate.setText(c.typed);
            d.OK.click();
            EXPECT_FALSE(d.visible());
        };
        w.EditMenuStartDate_Click();
        EXPECT_FALSE(enabledWhileShown);
        EXPECT_TRUE(w.enabled());
        EXPECT_EQ(offered, shown);
        EXPECT_EQ(w.sbStatusBar.panelText(4), c.monday);
        EXPECT_EQ(dayHeaders(w), c.headers);
        shown = c.monday;
    }
    EXPECT_EQ(shownMessages(platform), "");
    // One dialog, kept between showings.
    ASSERT_EQ(platform.modalForms.size(), std::size(cases));
    for (ui::Form* f : platform.modalForms) EXPECT_EQ(f, &w.dateDialogForm());
}

TEST_F(NavigationTest, DialogFromTheStatusBarAndCancel) {
    Hourgrid& w = openTimer();
    platform.onModal = [&](ui::Form& f) {
        auto& d = dynamic_cast<DateDialog&>(f);
        d.StartDate.setText("1/1/2002");
        d.Cancel.click();
        EXPECT_FALSE(d.visible());
    };
    w.sbStatusBar_PanelClick("StartDateButton");
    ASSERT_EQ(platform.modalForms.size(), 1u);
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_TRUE(w.enabled());
    EXPECT_EQ(w.Grid.textMatrix(1, 3), "02:30");

    platform.onModal = [&](ui::Form& f) {
        auto& d = dynamic_cast<DateDialog&>(f);
        EXPECT_EQ(d.StartDate.text(), "11/30/2026");  // the field again, not the text last typed
        d.StartDate.setText("12/9/2026");
        d.OK.click();
    };
    w.sbStatusBar_PanelClick("StartDateButton");
    EXPECT_EQ(w.sbStatusBar.panelText(4), "12/07/2026");
    EXPECT_EQ(shownMessages(platform), "");
}

TEST_F(NavigationTest, DialogRefusesWhatIsNoDate) {
    Hourgrid& w = openTimer();
    struct Case {
        const char* field;  // start-date field when the dialog opens
        const char* typed;  // nullptr: left as offered
    };
    const Case cases[] = {{"<None>", nullptr}, {"11/30/2026", "abc"}, {"11/30/2026", "2/30/2026"}, {"11/30/2026", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " / " + (c.typed ? c.typed : "(as offered)"));
        platform.messages.clear();
        w.sbStatusBar.setPanelText(4, c.field);
        bool stayedOpen = false;
        platform.onModal = [&](ui::Form& f) {
            auto& d = dynamic_cast<DateDialog&>(f);
            EXPECT_EQ(d.StartDate.text(), c.field);
            if (c.typed) d.StartDate.setText(c.typed);
            d.OK.click();
            stayedOpen = d.visible();
            EXPECT_FALSE(w.enabled());
            d.Cancel.click();
        };
        w.EditMenuStartDate_Click();
        EXPECT_TRUE(stayedOpen);
        weektest::expectOnlyMessage(platform, "Please enter a valid date");
        EXPECT_EQ(w.sbStatusBar.panelText(4), c.field);
        EXPECT_EQ(w.Grid.textMatrix(1, 3), "02:30");
        EXPECT_TRUE(w.enabled());
    }
}

// An empty start-date field offers the current date and time, which is accepted as it stands.
TEST_F(NavigationTest, DialogOffersNowForAnEmptyField) {
    Hourgrid& w = openTimer();
    w.sbStatusBar.setPanelText(4, "");
    platform.onModal = [&](ui::Form& f) {
        auto& d = dynamic_cast<DateDialog&>(f);
        EXPECT_EQ(d.StartDate.text(), "12/6/2026 10:00:00 AM");
        d.OK.click();
    };
    w.EditMenuStartDate_Click();
    EXPECT_EQ(w.sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(shownMessages(platform), "");
}

// The dialog opens only with a Timer file open, and a window closed by other
// means than its buttons leaves the main window usable.
TEST_F(NavigationTest, DialogNeedsAFileAndAlwaysReenables) {
    platform.answers = {ui::Answer::OK};
    writeSetting("File", (dir / "missing.tdb").string());
    Hourgrid& w = start();
    w.Form_Load();
    ASSERT_FALSE(w.m_bDbOpen);
    w.EditMenuStartDate_Click();
    EXPECT_TRUE(platform.modalForms.empty());

    Hourgrid& v = openTimer();
    platform.onModal = [](ui::Form&) {};  // closed without OK or Cancel
    v.EditMenuStartDate_Click();
    ASSERT_EQ(platform.modalForms.size(), 1u);
    EXPECT_TRUE(v.enabled());
    EXPECT_EQ(v.sbStatusBar.panelText(4), "11/30/2026");
}

// The dialog's move saves the week it leaves, like the other moves, and checks it first.
TEST_F(NavigationTest, DialogSavesTheWeekItLeaves) {
    Hourgrid& w = openTimer();
    w.Grid.setTextMatrix(1, 3, "01:45");
    answerDateDialog(platform, "12/8/2026");
    w.EditMenuStartDate_Click();
    EXPECT_EQ(w.sbStatusBar.panelText(4), "12/07/2026");
    EXPECT_NEAR(fieldOf(w, 1, "Duration"), 105 / 1440.0, 1e-9);
    w.m_db.reset();  // mdb-export reads the file, which the program holds exclusively

    // Checked with an independent reader too.
    QProcess p;
    p.start("mdb-export", {QString::fromStdString(timerPath), "Activities"});
    ASSERT_TRUE(p.waitForFinished(30000));
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QRegularExpression(R"(\n1,200,109,11,3,2,"11/30/26 00:00:00","12/06/26 10:00:00","12/30/99 01:45:00")")))
        << out.toStdString();
}
