// The week: durations and totals, loading, the commands that change it, validating and saving, checked in the file.
#include <QDateTime>
#include <cstring>
#include "grid_driver.h"
#include "week/date_dialog.h"

using app::DateDialog;

namespace {
class WeekTest : public Week {
protected:
    void SetUp() override { Week::SetUp(), open(); }
    Texts rowTexts(int from = 1, int to = 0, Texts out = {}) {  // Customer:Job|Service Item|Class|Monday|...|Sunday of each data row
        for (int r = from; r <= (to ? to : lastRow()); ++r)
            for (int c : {0, 1, 2, 3, 6, 9, 12, 15, 18, 21}) c ? void(out.back() += "|" + cell(r, c)) : out.push_back(cell(r, 0));
        return out;
    }
    std::string headers(std::string h = "") { for (int d = 0; d < 7; ++d) h += (d ? " " : "") + cell(0, durCol(d)); return h; }
    std::string monday() { return w().sbStatusBar.panelText(4); }
    // The start-date dialogs to come: `typed` (unless null) and OK, or Cancel; `offered` is what the last one showed.
    void answerDateDialog(const char* typed, bool ok = true) {
        platform.onModal = [this, typed, ok](ui::Form& f) {
            auto& d = dynamic_cast<DateDialog&>(f);
            offered = d.StartDate.text() + (w().enabled() ? " (main window enabled)" : "");
            if (typed) d.StartDate.userEdited(typed);
            (ok ? d.OK : d.Cancel).click();
            if (d.visible()) offered += " (stayed open)", d.Cancel.click();
        };
    }
    void check(const std::string& message) { platform.messages.clear(); EXPECT_FALSE(w().ValidateGrid()); expectOnlyMessage(message); }
    void changeWeek() {  // activity 2 changed, 4 emptied, and new cells on Friday of row 1 and Monday of a recent row
        for (auto [r, c, text] : {std::tuple{1, 9, "02:00"}, {2, 12, ""}, {1, 15, "01:15"}, {7, 3, "00:20"}}) grid().setTextMatrix(r, c, text);
    }
    std::vector<int32_t> changedIds() { return {w().id(9, 1), w().id(12, 2), w().id(15, 1), w().id(3, 7)}; }
    std::string offered;
};

TEST_F(WeekTest, ParseDurationExamples) {
    // What each text reads as: h:mm, or the message refusing it ("" for none). Halves go to the even neighbour.
    const std::string bad = kBadTime, day = kTooLong + std::string("12/3/26");  // Thursday's cell is current
    const std::pair<const char*, std::string> cases[] = {
        {"2", "2:00"}, {"12", "12:00"}, {"13", "0:13"}, {"120", "2:00"}, {"90", "1:30"}, {"1.5", "1:30"}, {"0.25", "0:15"},
        {"2.1", "2:06"}, {"13.5", "13:30"}, {"12.99", "12:59"}, {"12.995", "13:00"}, {"2:00", "2:00"}, {"0:45", "0:45"},
        {"1:75", "2:15"}, {"23:59", "23:59"}, {"1439", "23:59"}, {" 1 : 30 ", "1:30"}, {"1.125", "1:08"}, {"1.375", "1:22"},
        {"1.5:00", "2:00"}, {"2.5:00", "2:00"}, {"0:30.5", "0:30"}, {"0:31.5", "0:32"}, {"", ""}, {"    ", ""}, {"0", bad},
        {"0:00", bad}, {"0.004", bad}, {"-2", bad}, {"-0.5", bad}, {"1:-5", bad}, {":30", bad}, {"2:", bad}, {"abc", bad},
        {"2x", bad}, {"1:30:00", bad}, {"32768", bad}, {"40000.5", bad}, {"32768:00", bad}, {"1:32768", bad},
        {"1:32767.5", bad}, {"24:00", day}, {"23:60", day}, {"1440", day}, {"1500", day}, {"32767", day}, {"25.5", day}};
    arrowTo(1, 12);
    auto parse = [this](std::string text, const QDate& day = {}, QTime value = {}) {
        platform.messages.clear();
        const bool ok = day.isValid() ? w().ParseDuration(text, value, day) : w().ParseDuration(text, value);
        return ok ? value.toString("h:mm").toStdString() : messages().empty() ? "" : messages()[0];
    };
    for (const auto& [typed, reads] : cases) EXPECT_EQ(parse(typed), reads) << "'" << typed << "'";
    // A day given names that day, or else the current duration, B or N cell's; the caller's text is trimmed.
    EXPECT_EQ(parse("26:00", QDate(2026, 12, 6)), kTooLong + std::string("12/6/26"));
    for (auto [col, date] : {std::pair{3, "11/30/26"}, {7, "12/1/26"}, {23, "12/6/26"}})
        EXPECT_EQ((arrowTo(1, col), parse("24:00")), kTooLong + std::string(date));
    std::string text = "  abc ";
    QTime value;
    EXPECT_EQ(std::to_string(w().ParseDuration(text, value)) + text, "0abc");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // decimal hours in the user's own locale
    EXPECT_EQ(parse("1,5"), "1:30");
}

TEST_F(WeekTest, TotalsOfRowsDaysAndWeek) {
    w().m_lNameID = -1, w().SetMonday("11/30/2026"), grid().setRows(9);  // an empty grid
    for (int r = 1; r <= 5; ++r)
        for (int d = 0; d < 7; ++d) grid().setTextMatrix(r, durCol(d), "23:59");
    // B and N cells and texts that are no durations add nothing; unreadable minutes leave the hours.
    for (auto [r, c, text] : {std::tuple{6, 12, "07:35"}, {6, 13, "*"}, {6, 14, "12:00 note"}, {7, 3, "0130"},
                              {7, 6, "x:30"}, {7, 9, "02:yy"}, {7, 15, "1:75"}}) grid().setTextMatrix(r, c, text);
    int unguardedMoves = 0;
    arrowTo(2, 9), grid().onLeaveCell = [&] { unguardedMoves += !w().noLeaveCell(); }, w().UpdateTotals();
    EXPECT_EQ(std::make_pair(at(), unguardedMoves + w().noLeaveCell()), std::make_pair(std::make_pair(2, 9), 0));
    std::string totals;
    for (int r = 1; r <= 7; ++r) totals += cell(r, 24) + " ";
    for (int c = 2; c <= 24; ++c) totals += cell(8, c) + "|";
    EXPECT_EQ(totals, "167:53 167:53 167:53 167:53 167:53 07:35 04:15 "
                      "Totals:|119:55|||119:55|||121:55|||127:30|||122:10|||119:55|||119:55|||851:15|");
    EXPECT_EQ(std::make_tuple(grid().backColorAt(8, 0), grid().backColorAt(1, 24), grid().backColorAt(1, 23)), std::make_tuple(ui::kSys3DLight, ui::kSys3DLight, kBack));
    grid().setTextMatrix(7, 9, ""), w().UpdateTotals();  // rebuilt from the cells every time
    EXPECT_EQ(cell(7, 24) + cell(8, 9) + cell(8, 24), "02:15119:55849:15");
    // A week of thousands of hours stops counting at the 16-bit limit instead of wrapping to negative hours.
    int16_t h = 32760, m = 0;
    app::Hourgrid::AddDurationText(h, m, "23:59");
    EXPECT_EQ(std::make_pair(h, m), std::make_pair(int16_t{32767}, int16_t{59}));
}

// Seconds round to the nearest minute; an untouched save rewrites CreateTime only, cutting no duration.
TEST_F(WeekTest, TheLoadedWeekAndItsUnchangedSave) {
    auto duration = [](int h, int m, int s) { return jet::Value::date(serial(QDate(1899, 12, 30), QTime(h, m, s))); };
    open([&](jet::Database& db) {
        edit(db, 5, {{"Note", jet::Value::text("Waiting for assets")}, {"Duration", duration(0, 0, 29)}});
        edit(db, 8, {{"Duration", duration(23, 59, 45)}}), edit(db, 4, {{"Duration", duration(2, 59, 30)}});
    });
    EXPECT_EQ(std::to_string(w().m_lNameID) + " " + monday() + " " + headers(), "200 11/30/2026 M 30 T 1 W 2 T 3 F 4 S 5 S 6");
    const std::string acme = kAcme, baker = "Baker & Sons:Kitchen Remodel|Installation|Residential|",
                      cafe = "Caf\xC3\xA9 Aurora:Menu Design|Design|Commercial|", city = "City of Riverton:Parks Survey|Consulting|Government|";
    // Two activities of one combination on Wednesday split it in two rows; Thursday and Friday follow the second.
    EXPECT_EQ(rowTexts(), (Texts{acme + "|Design|Commercial|02:30||01:30||||", acme + "|Design|Commercial|||01:00|03:00|00:00||",
                                 acme + "|Development|Commercial||04:15|||||", baker + "|08:00|||||", cafe + "||||||23:59",
                                 city + "|||||01:29|", "Acme Corporation:Support Contract|Consulting|Commercial|||||||",
                                 acme + "|Design|Commercial|||||||", acme + "|Development|Commercial|||||||",
                                 baker + "||||||", cafe + "||||||", city + "||||||",
                                 "Delta Logistics|Project Management|Commercial|||||||", "|||||||||"}));
    // Each activity: its ID, B and N cells and colours (billable green, note blue, both magenta; yellow unexported).
    struct Cell { int row, col; int32_t id; std::string b, n; ui::Color fore, back; };
    const Cell cells[] = {{1, 3, 1, "*", "Homepage mockups", kMagenta, kNotExported}, {1, 9, 2, "*", "", kGreen, kBack},
                          {2, 9, 3, "", "", kText, kNotExported}, {2, 12, 4, "*", "Review with client", kMagenta, kNotExported},
                          {2, 15, 5, "", "Waiting for assets", kBlue, kNotExported}, {3, 6, 9, "*", "", kGreen, kNotExported},
                          {4, 6, 6, "*", kLongNote, kMagenta, kBack}, {5, 21, 8, "*", "Late-night menu proofs", kMagenta, kNotExported},
                          {6, 18, 7, "", "", kText, kBack}};
    for (int r = 0; r < grid().rows(); ++r)
        for (int c = 3; c < 25; ++c) {
            const Cell* hit = nullptr;
            for (const Cell& e : cells) hit = e.row == r && c - e.col >= 0 && c - e.col <= 2 ? &e : hit;
            const bool day = hit && c == hit->col, data = r > 0 && r < 15 && c < 24;
            EXPECT_EQ(std::make_tuple(w().id(c, r), data && !day ? cell(r, c) : "", data ? colors(r, c) : std::make_pair(kText, kBack)),  // no other ID
                      std::make_tuple(day ? hit->id : 0, !data || day || !hit ? "" : c == hit->col + 1 ? hit->b : hit->n,
                                      data && day ? std::make_pair(hit->fore, hit->back) : std::make_pair(kText, kBack))) << r << "," << c;
        }
    std::string totals;
    for (int c = 3; c <= 24; c += 3) totals += cell(15, c) + " ";
    for (int r = 1; r <= 14; ++r) totals += cell(r, 24) + " ";
    EXPECT_EQ(totals + (w().noLeaveCell() ? "guarded " : "") + std::to_string(at().first) + "," + std::to_string(at().second),
              "02:30 12:15 02:30 03:00 00:00 01:29 23:59 45:43 04:00 04:00 04:15 08:00 23:59 01:29 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 1,3");
    const Records before = inFile();
    const Texts shown = rowTexts();
    ASSERT_TRUE((arrowTo(4, 6), w().SaveGrid()));
    EXPECT_EQ(std::make_tuple(messages(), rowTexts(), at(), w().id(15, 2)), std::make_tuple(Texts{}, shown, std::make_pair(4, 6), 5));
    Records after = inFile();
    for (auto [id, rec] : before) {
        if (id <= 9) rec["CreateTime"] = kNow;  // Alice's week; nobody else's, none of her other weeks
        EXPECT_EQ(after[id], rec) << "activity " << id;
    }
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ((win.reset(), mdbExport(timerPath))[8]["Duration"], "1899-12-30 23:59:45");
}

// k rows of activities and m recent combinations; the current cell the loading leaves.
TEST_F(WeekTest, RowLayoutsAndAReloadThatLeavesNothingBehind) {
    const std::tuple<const char*, int16_t, int, int, int, std::pair<int, int>, const char*> cases[] = {
        // Monday, recent days, Rows, the empty row, the first recent row, the current cell, the week's total
        {"11/30/2026", 30, 16, 14, 7, {6, 18}, "46:28"}, {"11/30/2026", 0, 8, 0, 0, {6, 18}, "46:28"},
        {"11/02/2026", 30, 10, 8, 1, {1, 3}, "00:00"},   {"11/02/2026", 0, 3, 1, 0, {1, 3}, "00:00"},
        {"11/23/2026", 30, 11, 9, 2, {1, 3}, "03:00"},   {"12/07/2026", 0, 3, 0, 0, {1, 3}, "02:00"}};
    for (const auto& [mon, recentDays, rows, emptyRow, firstRecent, current, grand] : cases) {
        SCOPED_TRACE(std::string(mon) + " recent " + std::to_string(recentDays));
        w().m_recentDays = recentDays, w().SetMonday(mon);
        ASSERT_EQ(grid().rows(), rows);
        EXPECT_EQ(cell(rows - 1, 2) + " " + cell(rows - 1, 24) + " " + (emptyRow ? rowTexts(emptyRow, emptyRow)[0] + cell(emptyRow, 24) : "-") + " " +
                  (firstRecent ? cell(firstRecent, 0) : "-") + (cell(rows - 2, 0).empty() == (emptyRow != 0) ? "" : " (last row wrong)"),
                  std::string("Totals: ") + grand + (emptyRow ? " |||||||||00:00 " : " - ") + (firstRecent ? "Acme Corporation:Support Contract" : "-"));
        for (int r = 1; r < rows; ++r) EXPECT_EQ(grid().rowHeight(r), 315) << r;  // the combo fits over a heading
        EXPECT_EQ(at(), current);
    }
    // The last, smaller week keeps nothing of the one before.
    EXPECT_EQ(rowTexts()[0] + cell(1, 5), std::string(kAcme) + "|Design|Commercial|02:00||||||");
    EXPECT_EQ(std::make_tuple(colors(1, 3), colors(1, 9), w().id(3, 1), w().id(9, 1)),
              std::make_tuple(std::make_pair(kGreen, kNotExported), std::make_pair(kText, kBack), 16, 0));
    // A query that cannot run is reported; the week is left empty, of the right shape, not half filled.
    w().m_recentDays = 30, w().m_db->DeleteQueryDef(timerdb::names::kQueryRecent), w().SetMonday("11/30/2026");
    EXPECT_NE(messages().size() == 1 ? messages()[0].find("Hourgrid Recent Activities By Num Days") : std::string::npos, std::string::npos);
    EXPECT_EQ(rowTexts(), Texts{"|||||||||"});
    EXPECT_EQ(cell(0, 3) + cell(2, 2) + std::to_string(w().id(3, 1)) + (w().mousePointer() == ui::MousePointer::Default ? "" : " busy"), "M 30Totals:0");
}

// A move saves the week it leaves first; a bad start date, invalid week or failed write keeps it, reported.
TEST_F(WeekTest, AMoveLeavesTheWeekOnlyOnceItIsSaved) {
    const std::function<void()> moves[] = {[this] { w().ViewMenuBackWeek_Click(); }, [this] { w().ViewMenuBackMonth_Click(); },
        [this] { w().ViewMenuForwardWeek_Click(); }, [this] { w().ViewMenuForwardMonth_Click(); }, [this] { w().ViewMenuLastMonday_Click(); },
        [this] { w().EditMenuStartDate_Click(); }, [this] { w().sbStatusBar_PanelClick("StartDateButton"); }};
    const char* to[] = {"11/23/2026", "11/02/2026", "12/07/2026", "12/28/2026", "12/07/2026", "12/31/2001", "12/31/2001"};
    const Texts reported[] = {{}, {"Please select a Start Date"}, {"Please select a Monday as your Start Date"},
                              {kTooLong + std::string("12/3/26")}, {"simulated write failure\r" + std::string(kNotSaved)}};
    for (size_t i = 0; i < std::size(moves); ++i)
        for (int obstacle = 0; obstacle < 5; ++obstacle) {  // none, <None>, a Tuesday, a day too long, a failing write
            SCOPED_TRACE(std::to_string(i) + " " + std::to_string(obstacle));
            const bool stays = obstacle > 2 || (obstacle && i < 4);  // Last Monday and the dialog need no start date
            const int minutes = 10 + static_cast<int>(i);
            open(), answerDateDialog("1/1/2002"), app::Clock::setFixed(QDateTime(QDate(2026, 12, 13), QTime(11, minutes)));  // Last Monday: 12/07
            grid().setTextMatrix(1, 3, "01:" + std::to_string(minutes));
            if (obstacle == 1 || obstacle == 2) w().sbStatusBar.setPanelText(4, obstacle == 1 ? "<None>" : "12/01/2026");
            if (obstacle == 3) grid().setTextMatrix(2, 12, "25:00");
            if (obstacle == 4) failWritesAfter(0);
            const std::string shown = monday();
            moves[i]();
            EXPECT_EQ(messages(), stays ? reported[obstacle] : Texts{});
            EXPECT_EQ(monday() + " " + w().days()[0].toString("MM/dd/yyyy").toStdString(), stays ? shown + " 11/30/2026" : to[i] + std::string(" ") + to[i]);
            EXPECT_EQ(std::make_tuple(cell(1, 3) == "01:" + std::to_string(minutes), w().enabled(), platform.modalForms.size()),
                      std::make_tuple(stays, true, size_t{i >= 5 && obstacle != 3}));
            Records f = (jet::detail::writablePager(w().m_db->engine()).setFaultHook(nullptr), closeAndRead());
            EXPECT_EQ(f[1]["Duration"] + f[7]["CreateTime"], stays ? dur(2, 30) + kCreated : dur(1, minutes) + dateValue(QDate(2026, 12, 13), QTime(11, minutes)));
        }
}

// The dialog offers the week shown (or now), disables the window, gives the date's Monday, stays open over no date; what it reads.
TEST_F(WeekTest, TheStartDateDialog) {
    const std::tuple<const char*, const char*, bool, const char*, const char*> steps[] = {
        // field before, typed (null: as offered), OK, what was offered, Monday after
        {nullptr, "2/14/1999", true, "11/30/2026", "02/08/1999"}, {nullptr, "1/1/2002", false, "02/08/1999", "02/08/1999"},
        {"", nullptr, true, "12/6/2026 10:00:00 AM", "11/30/2026"}, {"<None>", nullptr, true, "<None> (stayed open)", "<None>"},
        {"11/30/2026", "2/30/2026", true, "11/30/2026 (stayed open)", "11/30/2026"}};
    for (const auto& [field, typed, ok, offers, mon] : steps) {
        if (field) w().sbStatusBar.setPanelText(4, field);
        platform.messages.clear(), answerDateDialog(typed, ok), w().EditMenuStartDate_Click();
        EXPECT_EQ(offered + " " + monday() + (w().enabled() ? "" : " disabled"), std::string(offers) + " " + mon);
        EXPECT_EQ(messages(), std::string(offers).find("stayed") == std::string::npos ? Texts{} : Texts{"Please enter a valid date"});
    }
    const std::pair<const char*, const char*> cases[] = {  // what is typed, the date it reads as ("" none)
        {"2/14/1999", "1999-02-14"}, {"02/14/1999", "1999-02-14"}, {" 12/06/2026 ", "2026-12-06"}, {"2/14/99", "1999-02-14"},
        {"1/1/29", "2029-01-01"}, {"1/1/30", "1930-01-01"}, {"2-14-1999", "1999-02-14"}, {"1999-02-14", "1999-02-14"},
        {"2/14", "2026-02-14"}, {"12/6/2026 10:00:00 AM", "2026-12-06"}, {"12/6/2026 22:15", "2026-12-06"}, {"2/29/2000", "2000-02-29"},
        {"Dec 2, 2026", "2026-12-02"}, {"December 2, 2026", "2026-12-02"}, {"2 Dec 2026", "2026-12-02"},
        {"Wednesday, December 2, 2026", "2026-12-02"}, {"dec. 2 99", "1999-12-02"}, {"2026 Dec 2", "2026-12-02"},
        {"Feb 14", "2026-02-14"}, {"", ""}, {"<None>", ""}, {"abc", ""}, {"2/30/1999", ""}, {"13/1/1999", ""}, {"0/1/1999", ""},
        {"2/29/1999", ""}, {"2/14/1999 25:00", ""}, {"2/14/1999 tomorrow", ""}, {"2/14-1999", ""}, {"14", ""}, {"1/1/0099", ""},
        {"Dec 32, 2026", ""}, {"Decem 2, 2026", ""}, {"Tuesday, December 2, 2026", ""}, {"Dec 2 2026 7", ""},
        {"2. Dezember 2026", "2026-12-02"}, {"Mittwoch, 2. Dez. 2026", "2026-12-02"}};  // German as the user's own language
    for (const auto& [text, date] : cases) {
        if (*text == '2' && text[1] == '.') QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(DateDialog::parseDate(text).toString(Qt::ISODate).toStdString(), date) << "'" << text << "'";
    }
}

// Durations typed around the start-date dialog and across the year's end are saved on their own days (mdb-export).
TEST_F(WeekTest, TheDialogAndMovesAcrossTheYearsEndSaveEachWeekUnderItsOwnDates) {
    grid().setTextMatrix(1, 6, "02:00"), answerDateDialog("12/30/2026"), w().EditMenuStartDate_Click();  // Tuesday 12/01/2026
    EXPECT_EQ(monday() + " " + headers(), "12/28/2026 M 28 T 29 W 30 T 31 F 1 S 2 S 3");
    grid().setTextMatrix(1, 12, "01:00"), grid().setTextMatrix(1, 15, "01:30"), w().ViewMenuForwardWeek_Click();  // Thursday 12/31, Friday 1/1
    EXPECT_EQ(monday() + " " + headers(), "01/04/2027 M 4 T 5 W 6 T 7 F 8 S 9 S 10");
    grid().setTextMatrix(1, 3, "03:00"), w().ViewMenuBackWeek_Click();
    EXPECT_EQ(monday() + " " + cell(1, 12) + " " + cell(1, 15) + " " + cell(1, 3) + std::to_string(messages().size()), "12/28/2026 01:00 01:30 0");
    std::string added;  // day and duration of each new activity
    for (auto& [id, a] : (win.reset(), mdbExport(timerPath)))
        if (id > 16) added += a["UserDate"] + " " + a["Duration"] + (a["Name ID"] == "200" ? "" : " not Alice's") + "|";
    EXPECT_EQ(added, "2026-12-01 00:00:00 1899-12-30 02:00:00|2026-12-31 00:00:00 1899-12-30 01:00:00|"
                     "2027-01-01 00:00:00 1899-12-30 01:30:00|2027-01-04 00:00:00 1899-12-30 03:00:00|");
}

TEST_F(WeekTest, NewChangedAndEmptiedCellsBecomeAddedUpdatedAndDeletedRecords) {
    open([](jet::Database& db) {  // Timer columns the program never writes
        edit(db, 2, {{"Start Time", jet::Value::date(serial(QDate(2026, 12, 2), QTime(8, 15)))},
                     {"Rate", jet::Value::currency(jet::Currency{855000})}, {"Timer Flags", jet::Value::byte(3)}});
    });
    const Records before = (changeWeek(), inFile());
    ASSERT_EQ(w().SaveGrid() ? messages() : Texts{"not saved"}, Texts{});
    Records after = inFile();
    const std::vector<int32_t> ids = changedIds();
    ASSERT_EQ(after.size(), 17u);
    ASSERT_TRUE(ids[1] == 0 && !after.count(4) && ids[2] > 16 && ids[3] > 16 && ids[2] != ids[3]);
    // New records: the row's references, the day, the person, payroll item 2, the billable default (read by mdb-export below).
    expectFields(after[ids[2]], {{"Note", "NULL"}, {"Start Time", "NULL"}, {"Rate", "NULL"}});
    expectFields(after[ids[3]], {{"CustJob ID", "108"}, {"Service ID", "10"}, {"Class ID", "3"}, {"UserDate", dateValue(QDate(2026, 11, 30))},
                                 {"Duration", dur(0, 20)}});
    // The week's activities get the time of writing, the changed one its duration; nobody else's, none of Alice's other weeks.
    for (auto [id, rec] : before) {
        if (id <= 9) rec["CreateTime"] = kNow;
        if (id == 2) rec["Duration"] = dur(2, 0);
        EXPECT_EQ(after[id], id == 4 ? Record{} : rec) << "activity " << id;
    }
    Records x = (win.reset(), mdbExport(timerPath));
    EXPECT_EQ(x.size() + x.count(4), 17u);
    expectFields(x[ids[2]], {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"}, {"Payroll Item ID", "2"},
                             {"UserDate", "2026-12-04 00:00:00"}, {"CreateTime", "2026-12-06 10:00:00"}, {"Duration", "1899-12-30 01:15:00"},
                             {"Billable Status", "1"}, {"Exported", "0"}});
    expectFields(x[2], {{"Duration", "1899-12-30 02:00:00"}, {"CreateTime", "2026-12-06 10:00:00"}, {"UserDate", "2026-12-02 00:00:00"},
                        {"Billable Status", "1"}, {"Exported", "1"}, {"Start Time", "2026-12-02 08:15:00"}, {"Rate", "85.5000"}, {"Timer Flags", "3"}});
    EXPECT_EQ(x[10]["CreateTime"], "2026-12-04 17:05:00");
}

// Cells follow their records across saves; a record gone is written again; the saved week loads as left.
TEST_F(WeekTest, SavesOneAfterAnotherAndTheWeekLoadedAgain) {
    w().m_bBillable = false, deleteActivity(9);
    for (auto [r, c, text] : {std::tuple{1, 9, "02:00"}, {2, 12, ""}, {3, 21, "02:00"}}) grid().setTextMatrix(r, c, text);
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(w().SaveGrid());  // the second adds and deletes nothing more
    const int32_t again = w().id(6, 3), added = w().id(21, 3);
    ASSERT_TRUE(again > 16 && added > again && w().id(12, 2) == 0);
    ASSERT_TRUE((grid().setTextMatrix(3, 21, "03:10"), w().SaveGrid()));
    Records after = inFile();
    EXPECT_EQ(after.size(), 16u);
    expectFields(after[again], {{"Duration", dur(4, 15)}, {"UserDate", dateValue(QDate(2026, 12, 1))}, {"CustJob ID", "109"}, {"Service ID", "13"},
                                {"Payroll Item ID", "2"}});
    EXPECT_EQ(after[added]["Duration"] + after[added]["Billable Status"] + after[1]["Billable Status"], dur(3, 10) + "FalseTrue");  // old ones keep theirs
    w().SetMonday("11/30/2026");  // activity 4 is gone; Wednesday's second activity keeps its row with Friday's
    EXPECT_EQ(cell(1, 3) + cell(1, 9) + cell(3, 6) + cell(3, 21) + "|" + cell(3, 22) + "|" + cell(2, 9) + "|" + cell(2, 12) + "|" +
                  cell(2, 15) + " " + cell(15, 24), "02:3002:0004:1503:10||01:00||00:45 47:08");
    EXPECT_EQ(std::make_tuple(w().id(9, 1), w().id(6, 3), w().id(21, 3), colors(3, 21), messages()),
              std::make_tuple(2, again, added, std::make_pair(kText, kNotExported), Texts{}));
}

// A phase of the save and the page of it a crash comes before; "refused": the journal cannot be created, the file refuses the write.
class SaveFault : public WeekTest, public ::testing::WithParamInterface<std::pair<const char*, int>> {};

// A crash or refusal mid-save leaves the file, the IDs and the typed cells; a refused save retried does the week once.
TEST_P(SaveFault, LeavesTheFileAndTheIdsAsBefore) {
    const Records before = (changeWeek(), inFile());
    const auto [phase, nth] = GetParam();
    int pages = 0, failed = 0;
    std::optional<RefusedWrites> refused;
    if (!std::strcmp(phase, "refused")) refused.emplace(timerPath), failed = true;
    jet::detail::writablePager(w().m_db->engine()).setFaultHook([&](const char* at, uint32_t) {
        if (std::strcmp(at, phase) == 0 && ++pages == nth) failed = true, throw std::runtime_error("simulated crash");
    });
    EXPECT_FALSE(w().SaveGrid());
    ASSERT_TRUE(failed) << "the save wrote fewer pages than the fault waits for";
    const std::string said = messages().size() == 1 ? messages()[0] : "";
    EXPECT_NE(said.find(refused ? kNotSaved : std::string("simulated crash\r") + kNotSaved), std::string::npos) << said;
    EXPECT_EQ(std::make_pair(changedIds(), cell(1, 15)), std::make_pair(std::vector<int32_t>{2, 4, 0, 0}, std::string("01:15")));
    if (refused) {
        EXPECT_EQ(inFile(), before);
        ASSERT_TRUE((refused.reset(), platform.messages.clear(), w().SaveGrid()));
        Records after = inFile();
        EXPECT_EQ(after.size() + after.count(4) + w().id(12, 2) + messages().size(), 17u);
        EXPECT_EQ(after[w().id(15, 1)]["Duration"] + after[2]["Duration"], dur(1, 15) + dur(2, 0));
        return;
    }
    EXPECT_EQ((win.reset(), readFile(timerPath)), before);
    EXPECT_FALSE(std::filesystem::exists(jet::journalPath(timerPath)));
    Records x = mdbExport(timerPath);
    EXPECT_EQ(std::to_string(x.size()) + " " + x[2]["Duration"] + " " + x[4]["Duration"] + " " + x[1]["CreateTime"],
              "16 1899-12-30 01:29:30 1899-12-30 03:00:00 2026-12-04 17:05:00");
}

INSTANTIATE_TEST_SUITE_P(Phases, SaveFault, ::testing::Values(std::pair{"journal", 1}, std::pair{"file", 1}, std::pair{"file", 2}, std::pair{"file", 3},
                                                             std::pair{"refused", 0}),
                         [](const auto& info) { return std::string(info.param.first) + std::to_string(info.param.second); });

TEST_F(WeekTest, ValidationNamesTheFirstFaultAndNothingIsWritten) {
    const Records before = inFile();
    const std::pair<std::string, Texts> cases[] = {
        {"", {"", "23:59", "5:75", "00:00", "12", "1.5", "1:30.5"}},  // minutes over 59 pass below 23 hours
        {kTooLong, {"24:00", "23:60", "24", "22:120", "24:-5"}}, {"You cannot enter negative time: ", {"-1:00", "0:-5", "-1"}},
        {"Invalid time entry: ", {"a:00", ":30", "2:", "abc", "   ", "32768:00", "1:32768"}}};
    for (const auto& [message, texts] : cases)
        for (const auto& text : texts) {
            EXPECT_EQ((grid().setTextMatrix(1, 9, text), platform.messages.clear(), w().ValidateGrid()), message.empty()) << text;  // Wednesday 12/02
            EXPECT_EQ(messages(), message.empty() ? Texts{} : Texts{message + "12/2/26"}) << text;
        }
    // The first fault in row order (Tuesday before Wednesday, row 3 before row 5) stops the save.
    for (auto [r, c, text] : {std::tuple{1, 9, "01:30"}, {3, 9, "abc"}, {3, 6, "24:00"}, {5, 3, "-1:00"}, {1, 15, "01:00"}})
        grid().setTextMatrix(r, c, text), platform.messages.clear();
    EXPECT_FALSE(w().SaveGrid());
    EXPECT_EQ(std::make_pair(messages(), inFile()), std::make_pair(Texts{kTooLong + std::string("12/1/26")}, before));
    // A cell that validates but is no duration (00:00 of a longer record) is left out after its message.
    open(), grid().setTextMatrix(1, 3, "00:00"), grid().setTextMatrix(1, 15, "01:00");
    ASSERT_TRUE(w().SaveGrid());
    expectOnlyMessage(kBadTime);
    Records after = inFile();
    EXPECT_EQ(after[1]["Duration"] + after[1]["CreateTime"] + after[3]["CreateTime"], dur(2, 30) + kCreated + kNow);
    EXPECT_EQ(w().id(3, 1) == 1 && w().id(15, 1) > 16, true);
}

// A duration needs its row's three references (the time is checked first) and a person.
TEST_F(WeekTest, ARowBlocksTheSaveUntilItsReferencesAreChosen) {
    grid().setTextMatrix(14, 3, "24:00"), check(std::string(kTooLong) + "11/30/26");
    grid().setTextMatrix(14, 3, "01:00"), check("Please select a Customer:Job for every activity");
    choose(14, 0, "Delta Logistics"), choose(14, 1, "Project Management");  // the click commits the Customer:Job
    check("Please select a Service Item for every activity");
    choose(14, 2, "Commercial"), check("Please select a Class for every activity");
    EXPECT_EQ(w().SaveGrid() ? 0u : inFile().size(), 16u);
    ASSERT_TRUE((arrowTo(14, 3), w().SaveGrid()));
    const int32_t id = w().id(3, 14);
    expectFields(inFile()[id], {{"CustJob ID", "103"}, {"Service ID", "15"}, {"Class ID", "3"}, {"Duration", dur(1, 0)}});
    w().m_lNameID = -1, grid().setTextMatrix(14, 3, "02:00"), check("Please select a Name by clicking on the Name button.");
    EXPECT_EQ(w().SaveGrid() ? "saved" : inFile()[id]["Duration"], dur(1, 0));
    // Without a Timer file nothing is validated or saved, and nothing is said.
    start().Grid.setRows(3);
    w().Grid.setTextMatrix(1, 3, "01:00"), platform.messages.clear();
    EXPECT_FALSE(w().ValidateGrid() || w().SaveGrid() || !messages().empty());
}
}  // namespace
