// Whole editing flows on the real window, offscreen, with mouse and key events,
// checked in the Timer file once the window has let it go.
#include <QAbstractButton>
#include <QAction>
#include <QPlainTextEdit>
#include <cmath>
#include <map>

#include "jet/database.h"
#include "jet/query.h"
#include <QScrollBar>

#include "qt_fixture.h"

namespace {

struct Stored {
    int32_t nameId = 0, custJob = 0, service = 0, cls = 0;
    double userDate = 0;
    int minutes = 0;
    bool billable = false, exported = false;
    std::optional<std::string> note;
};

std::map<int32_t, Stored> readActivities(const std::string& path) {
    auto db = jet::Database::open(path);
    auto rs = jet::runNamed(*db, "Activities");
    std::map<int32_t, Stored> out;
    for (const auto& r : rs.rows) {
        auto v = [&](const char* col) {
            const jet::Value& x = r[rs.columnIndex(col)];
            return x.isNull() ? 0.0 : x.toDouble();
        };
        auto id = [&](const char* col) { return static_cast<int32_t>(v(col)); };
        const jet::Value& note = r[rs.columnIndex("Note")];
        out[id("ID")] = {id("Name ID"), id("CustJob ID"), id("Service ID"), id("Class ID"), v("UserDate"),
                         static_cast<int>(std::lround(v("Duration") * 1440.0)), v("Billable Status") != 0,
                         v("Exported") != 0, note.isNull() ? std::nullopt : std::optional<std::string>(note.asText())};
    }
    return out;
}

double jetDate(const QDate& d) { return static_cast<double>(QDate(1899, 12, 30).daysTo(d)); }

class EditingFlowTest : public QtWindowFixture {
protected:
    void SetUp() override {
        QtWindowFixture::SetUp();
        openSized(1400, 700);
    }
    std::string cell(int r, int c) { return form->Grid.textMatrix(r, c); }
    int rowOf(const std::string& custJob, const std::string& service) {
        for (int r = 1; r < form->Grid.rows() - 1; ++r)
            if (cell(r, 0) == custJob && cell(r, 1) == service) return r;
        return -1;
    }
    // Chooses an item the way a user does without opening the list: typing its first letters.
    void chooseByTyping(const char* comboName, const char* text) {
        uiqt::ComboView* combo = window->combo(comboName);
        ASSERT_NE(combo, nullptr);
        ASSERT_TRUE(combo->isVisible()) << comboName;
        QTest::keyClicks(combo, text);
        settle();
    }
    std::map<int32_t, Stored> closeAndRead() {
        window.reset();
        form.reset();
        return readActivities(timerPath);
    }
};

TEST_F(EditingFlowTest, ANewRowGetsItsReferencesAndThenADurationTypedOnTuesday) {
    const int row = form->Grid.rows() - 2;  // the empty row for a new combination
    ASSERT_EQ(cell(row, 0), "");

    clickCell(row, 0);
    chooseByTyping("CustJobCombo", "Delta");
    ASSERT_EQ(form->CustJobCombo.text(), "Delta Logistics");
    clickCell(row, 1);
    EXPECT_EQ(cell(row, 0), "Delta Logistics");
    chooseByTyping("ServiceCombo", "Train");
    clickCell(row, 2);
    EXPECT_EQ(cell(row, 1), "Training");
    chooseByTyping("ClassCombo", "Inter");

    clickCell(row, 6);  // Tuesday's duration
    EXPECT_EQ(cell(row, 2), "Internal");
    ASSERT_TRUE(window->timeEntry()->isVisible());
    QTest::keyClicks(window->timeEntry(), "1.5");
    QTest::keyClick(window->timeEntry(), Qt::Key_Return);
    settle();

    EXPECT_EQ(cell(row, 6), "01:30");
    EXPECT_EQ(form->Grid.row(), row);
    EXPECT_EQ(form->Grid.col(), 9);
    EXPECT_FALSE(window->timeEntry()->isVisible());
    EXPECT_EQ(cell(row, 24), "01:30");
    EXPECT_TRUE(platform.messages.empty());
    const int32_t id = form->id(6, row);
    ASSERT_GT(id, 16);

    auto all = closeAndRead();
    ASSERT_EQ(all.count(id), 1u);
    const Stored& a = all[id];
    EXPECT_EQ(a.custJob, 103);
    EXPECT_EQ(a.service, 12);
    EXPECT_EQ(a.cls, 6);
    EXPECT_EQ(a.nameId, 200);
    EXPECT_EQ(a.minutes, 90);
    EXPECT_EQ(a.userDate, jetDate(QDate(2026, 12, 1)));
    EXPECT_TRUE(a.billable);
    EXPECT_EQ(all.size(), 17u);
}

TEST_F(EditingFlowTest, ABillableToggleAndANoteEditedInTheDetailDialog) {
    const int row = rowOf("Acme Corporation:Website Redesign", "Design");
    ASSERT_GT(row, 0);
    ASSERT_EQ(form->id(3, row), 1);  // Monday: billable, noted, not exported
    ASSERT_EQ(cell(row, 4), "*");

    clickCell(row, 4);
    EXPECT_EQ(cell(row, 4), "");
    EXPECT_EQ(form->Grid.foreColorAt(row, 3), 0xFF0000u);  // noted, not billable: blue

    std::string shownNote;
    bool billableShown = true;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        auto* note = qobject_cast<QPlainTextEdit*>(dlg.controlWidget("Note"));
        ASSERT_NE(note, nullptr);
        shownNote = note->toPlainText().toStdString();
        billableShown = dlg.controlWidget("Billable")->isVisible();
        note->selectAll();
        QTest::keyClicks(note, "Wireframes, second round");
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.controlWidget("OK")), Qt::LeftButton);
    };
    clickCell(row, 5);
    platform.onModalShown = nullptr;
    EXPECT_EQ(shownNote, "Homepage mockups");
    EXPECT_FALSE(billableShown);
    EXPECT_EQ(cell(row, 5), "Wireframes, second round");
    EXPECT_EQ(form->Grid.row(), row);
    EXPECT_EQ(form->Grid.col(), 5);
    EXPECT_TRUE(platform.messages.empty());

    auto all = closeAndRead();
    EXPECT_FALSE(all.at(1).billable);
    EXPECT_EQ(all.at(1).note, std::optional<std::string>("Wireframes, second round"));
    EXPECT_EQ(all.at(1).minutes, 150);
}

TEST_F(EditingFlowTest, TheEnterWalkScrollsTheCurrentCellIntoViewAndTheEditorFollowsIt) {
    resizeTo(520, 320);  // far narrower than the week
    const int row = rowOf("Acme Corporation:Website Redesign", "Development");
    ASSERT_GT(row, 0);
    clickCell(row, 3);
    QTest::keyClicks(window->timeEntry(), "1");
    QTest::keyClick(window->timeEntry(), Qt::Key_Return);
    settle();
    ASSERT_EQ(form->Grid.col(), 6);
    for (int i = 0; i < 5; ++i) QTest::keyClick(&grid(), Qt::Key_Return);
    settle();
    ASSERT_EQ(form->Grid.row(), row);
    ASSERT_EQ(form->Grid.col(), 21);
    EXPECT_TRUE(grid().viewport()->rect().contains(grid().cellRect(row, 21)));

    QTest::keyClick(&grid(), Qt::Key_2);
    settle();
    ASSERT_TRUE(window->timeEntry()->isVisible());
    EXPECT_EQ(window->timeEntry()->text(), "2");
    EXPECT_EQ(inSurface(window->timeEntry()), cellInSurface(row, 21));
    QTest::keyClick(window->timeEntry(), Qt::Key_Return);
    settle();
    EXPECT_EQ(cell(row, 3), "01:00");
    EXPECT_EQ(cell(row, 21), "02:00");
    EXPECT_EQ(form->Grid.col(), 24);

    auto all = closeAndRead();
    int sunday = 0;
    for (const auto& [id, a] : all)
        if (a.userDate == jetDate(QDate(2026, 12, 6)) && a.custJob == 109 && a.service == 13) {
            ++sunday;
            EXPECT_EQ(a.minutes, 120);
        }
    EXPECT_EQ(sunday, 1);
}

TEST_F(EditingFlowTest, TheWrapToMondayBringsTheRowsHeadingsBackIntoView) {
    resizeTo(520, 320);  // room for the headings and Monday, not for the week
    QTest::keyClick(&grid(), Qt::Key_End);
    QTest::keyClick(&grid(), Qt::Key_Left);
    settle();
    ASSERT_EQ(form->Grid.col(), 23);
    ASSERT_GT(grid().horizontalScrollBar()->value(), 0);
    QTest::keyClick(&grid(), Qt::Key_Return);
    settle();
    ASSERT_EQ(form->Grid.row(), 2);
    ASSERT_EQ(form->Grid.col(), 3);
    for (int c : {0, 1, 2, 3}) EXPECT_TRUE(grid().viewport()->rect().contains(grid().cellRect(2, c))) << c;
}

TEST_F(EditingFlowTest, ClearingTheWeekWithBothQuestionsAnsweredYes) {
    answers = {ui::Answer::Yes, ui::Answer::Yes};
    QAction* clear = window->menuAction("EditMenuClear");
    ASSERT_NE(clear, nullptr);
    clear->trigger();
    settle();

    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].icon, ui::Icon::Critical);
    EXPECT_EQ(platform.messages[1].text.rfind("Just checking!", 0), 0u);
    const int totals = form->Grid.rows() - 1;
    for (int r = 1; r < totals; ++r) {
        for (int c = 3; c <= 23; ++c) EXPECT_EQ(cell(r, c), "") << r << "," << c;
        EXPECT_EQ(cell(r, 24), "00:00") << r;
    }
    EXPECT_EQ(cell(totals, 24), "00:00");
    EXPECT_EQ(cell(1, 0), "Acme Corporation:Website Redesign");

    auto all = closeAndRead();
    EXPECT_EQ(all.size(), 7u);
    for (const auto& [id, a] : all)
        EXPECT_FALSE(a.nameId == 200 && a.userDate >= jetDate(QDate(2026, 11, 30)) &&
                     a.userDate <= jetDate(QDate(2026, 12, 6)))
            << "activity " << id << " of the cleared week is still there";
}

// A refused duration holds the grid where it was typed: no key moves the current
// cell away from it, and the corrected text lands on that cell's own activity.
TEST_F(EditingFlowTest, ARefusedDurationKeepsItsCellUntilCorrected) {
    const int row = rowOf("Acme Corporation:Website Redesign", "Development"), col = 6;  // Tuesday
    ASSERT_GT(row, 1);
    const int32_t id = form->id(col, row);
    ASSERT_GT(id, 0);
    const auto before = readActivities(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    clickCell(row, col);
    QTest::keyClicks(window->timeEntry(), "x");
    QTest::keyClick(window->timeEntry(), Qt::Key_Tab);
    settle();
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(window->timeEntry()->hasFocus());
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Down, {}}, {Qt::Key_Up, {}},       {Qt::Key_Right, {}}, {Qt::Key_Left, {}},
        {Qt::Key_PageDown, {}}, {Qt::Key_PageUp, {}}, {Qt::Key_Home, {}}, {Qt::Key_End, {}},
        {Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_End, Qt::ControlModifier}};
    for (const auto& [key, mods] : keys) {
        grid().setFocus();  // however the focus reaches the grid
        QTest::keyClick(&grid(), key, mods);
        settle();
        EXPECT_EQ(form->Grid.row(), row) << key;
        EXPECT_EQ(form->Grid.col(), col) << key;
        EXPECT_EQ(form->TimeEntry.text(), "x") << key;
        EXPECT_TRUE(window->timeEntry()->hasFocus()) << key;
    }
    EXPECT_EQ(platform.messages.size(), 11u);
    window->timeEntry()->selectAll();
    QTest::keyClicks(window->timeEntry(), "3");
    QTest::keyClick(window->timeEntry(), Qt::Key_Return);
    settle();
    EXPECT_EQ(cell(row, col), "03:00");
    const auto after = closeAndRead();
    for (const auto& [aid, a] : before) EXPECT_EQ(after.at(aid).minutes, aid == id ? 180 : a.minutes) << aid;
    EXPECT_EQ(after.size(), before.size());
}

}  // namespace
