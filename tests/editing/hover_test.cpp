// Hover hints over the week grid: dates over the day headings, what a click does,
// notes looked up in the Timer file, cut to 100 characters.
#include <gtest/gtest.h>

#include <QLocale>

#include "editing/detail.h"
#include "grid_driver.h"

namespace {

class HoverTest : public GridFixture {
protected:
    std::string tipAt(int r, int c) {
        hover(r, c);
        return grid().toolTip();
    }
    // Sets an activity's note in the open file and loads the week again.
    void setNote(int32_t id, const std::string& note) {
        {
            auto rs = w().m_db->OpenDynaset("Activities");
            rs->FindFirst("ID=" + std::to_string(id));
            ASSERT_FALSE(rs->NoMatch());
            rs->Edit();
            rs->SetField("Note", jet::Value::text(note));
            rs->Update();
        }
        w().SetMonday("11/30/2026");
    }
};

TEST_F(HoverTest, ADayHeadingShowsItsDateInTheLongDateForm) {
    openTimer("sample.tdb");
    const QDate monday(2026, 11, 30);
    for (int c = 3; c <= 23; ++c) {
        const QDate day = monday.addDays((c - 3) / 3);
        EXPECT_EQ(tipAt(0, c), QLocale().toString(day, QLocale::LongFormat).toStdString()) << "column " << c;
    }
}

TEST_F(HoverTest, DayCellsTellWhatAClickDoesOrShowTheNote) {
    openTimer("sample.tdb");
    const int acme = rowOf(kAcme, "Design", "Commercial");
    const int baker = rowOf(kBaker, "Installation", "Residential");
    const int city = rowOf("City of Riverton:Parks Survey", "Consulting", "Government");
    ASSERT_GT(acme, 0);
    ASSERT_GT(baker, 0);
    ASSERT_GT(city, 0);
    const std::string longNote =
        "Installed the upper cabinets, adjusted the hinges on all doors, sealed the backsplash and met the electrician "
        "to plan the under-cabinet lighting for next week.";

    struct Case { int row, col; std::string tip; };
    const std::vector<Case> cases = {
        {acme, durCol(0), "Homepage mockups"},             // activity 1's note
        {acme, nCol(0), "Homepage mockups"},
        {acme, bCol(0), "Click to toggle billable status"},
        {acme, durCol(2), "Click to enter duration"},      // activity 2, Null note
        {acme, nCol(2), "Click to edit Note"},
        {acme, durCol(1), "Click to enter duration"},      // no activity
        {acme, bCol(1), ""},
        {acme, nCol(1), ""},
        {baker, durCol(1), longNote.substr(0, 100)},       // 159 characters, cut
        {baker, nCol(1), longNote.substr(0, 100)},
        {city, durCol(5), ""},                            // activity 7, an empty (not Null) note
        {city, nCol(5), ""},
        {city, bCol(5), "Click to toggle billable status"},
        {totalsRow(), durCol(0), "Click to enter duration"},
        {totalsRow(), bCol(0), ""},
        {totalsRow(), nCol(0), ""},
    };
    for (const Case& k : cases) {
        grid().setToolTip("<stale>");
        EXPECT_EQ(tipAt(k.row, k.col), k.tip) << "row " << k.row << " column " << k.col;
    }
}

TEST_F(HoverTest, HeadingAndTotalsColumnsShowTheCellsWholeText) {
    openTimer("sample.tdb");
    const int acme = rowOf(kAcme, "Design", "Commercial");
    grid().setColWidth(0, 200);  // the name is cut off on screen, not in the tip
    EXPECT_EQ(tipAt(acme, 0), kAcme);
    EXPECT_EQ(tipAt(acme, 1), "Design");
    EXPECT_EQ(tipAt(acme, 2), "Commercial");
    EXPECT_EQ(tipAt(acme, 24), cell(acme, 24));
    EXPECT_EQ(tipAt(0, 0), "Customer:Job");
    EXPECT_EQ(tipAt(0, 24), "Totals");
    EXPECT_EQ(tipAt(totalsRow(), 2), "Totals:");
    EXPECT_EQ(tipAt(totalsRow(), 24), cell(totalsRow(), 24));
    EXPECT_EQ(tipAt(lastDataRow(), 0), "");
}

TEST_F(HoverTest, ALongNoteShowsItsFirstHundredCharacters) {
    // 200 characters, some of them two bytes long in UTF-8.
    std::string note;
    for (int i = 0; i < 40; ++i) note += "Café ";
    std::string first100;
    for (int i = 0; i < 20; ++i) first100 += "Café ";
    openTimer("sample.tdb");
    setNote(1, note);
    const int acme = rowOf(kAcme, "Design", "Commercial");
    ASSERT_EQ(QString::fromStdString(note).size(), 200);
    EXPECT_EQ(tipAt(acme, durCol(0)), first100);
    EXPECT_EQ(tipAt(acme, nCol(0)), first100);
    // The grid's N cell shows the whole note.
    EXPECT_EQ(cell(acme, nCol(0)), note);
}

TEST_F(HoverTest, TheHintFollowsANoteChangedOrDeletedAfterLoading) {
    openTimer("sample.tdb");
    const int acme = rowOf(kAcme, "Design", "Commercial");
    EXPECT_EQ(tipAt(acme, nCol(0)), "Homepage mockups");
    // A note changed in the Activity Detail dialog is what the next hint shows.
    platform.onModal = [](ui::Form& f) {
        auto& d = dynamic_cast<app::Detail&>(f);
        d.Note.userEdited("Wireframes");
        d.OK_Click();
    };
    click(acme, nCol(0));
    platform.onModal = nullptr;
    EXPECT_EQ(tipAt(acme, nCol(0)), "Wireframes");
    EXPECT_EQ(tipAt(acme, durCol(0)), "Wireframes");
    // Emptying the cell deletes activity 1: no lookup of a record that is gone.
    click(acme, durCol(0));
    w().TimeEntry.userEdited("");
    editorEnter();
    EXPECT_EQ(tipAt(acme, durCol(0)), "Click to enter duration");
    EXPECT_EQ(tipAt(acme, nCol(0)), "");
    EXPECT_EQ(tipAt(acme, bCol(0)), "");
}

}  // namespace
