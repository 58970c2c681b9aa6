// The week shown: typed durations and totals, filling it from the Timer file,
// and the commands and the start-date dialog that change it.
#include <QDateTime>

#include "grid_driver.h"
#include "week/date_dialog.h"

using app::DateDialog;

namespace {

struct UsLocale {  // the US short date form in messages, for the test's lifetime
    QLocale saved;
    UsLocale() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~UsLocale() { QLocale::setDefault(saved); }
};

class WeekTest : public Week {
protected:
    UsLocale locale;
    // Customer:Job|Service Item|Class|Monday|...|Sunday of row r.
    std::string rowText(int r) {
        std::string t = cell(r, 0) + "|" + cell(r, 1) + "|" + cell(r, 2);
        for (int d = 0; d < 7; ++d) t += "|" + cell(r, durCol(d));
        return t;
    }
    std::vector<std::string> rowTexts() {
        std::vector<std::string> out;
        for (int r = 1; r <= lastRow(); ++r) out.push_back(rowText(r));
        return out;
    }
    std::string headers() {
        std::string h;
        for (int d = 0; d < 7; ++d) h += (d ? " " : "") + cell(0, durCol(d));
        return h;
    }
    // The next start-date dialog gets `typed` and OK.
    void answerDateDialog(const std::string& typed) {
        platform.onModal = [typed](ui::Form& f) {
            auto& d = dynamic_cast<DateDialog&>(f);
            d.StartDate.userEdited(typed);
            d.OK.click();
        };
    }
};

// ---- Durations and totals ----

TEST_F(WeekTest, ParseDurationExamples) {
    struct Ok {
        std::string typed;
        int hours, minutes;
    };
    const Ok accepted[] = {
        // Hours, minutes above 12, decimal hours, h:mm; halves go to the even neighbour in both forms.
        {"2", 2, 0}, {"12", 12, 0}, {"13", 0, 13}, {"120", 2, 0}, {"90", 1, 30}, {"1.5", 1, 30}, {"0.25", 0, 15},
        {"2.1", 2, 6}, {"13.5", 13, 30}, {"12.99", 12, 59}, {"12.995", 13, 0}, {"2:00", 2, 0}, {"0:45", 0, 45},
        {"1:75", 2, 15}, {"23:59", 23, 59}, {"1439", 23, 59}, {" 1 : 30 ", 1, 30}, {"1.125", 1, 8}, {"1.375", 1, 22},
        {"1.5:00", 2, 0}, {"2.5:00", 2, 0}, {"0:30.5", 0, 30}, {"0:31.5", 0, 32},
    };
    const std::pair<std::string, std::vector<std::string>> refused[] = {
        {"", {"", "    "}},  // nothing typed: no message
        {kBadTime, {"0", "0:00", "0.004", "-2", "-0.5", "1:-5", ":30", "2:", "abc", "2x", "1:30:00", "32768",
                    "40000.5", "32768:00", "1:32768", "1:32767.5"}},
        // A whole day or more names the day of the current cell (Thursday).
        {kTooLong + shortDate(QDate(2026, 12, 3)), {"24:00", "23:60", "1440", "1500", "32767", "25.5"}},
    };
    open();
    arrowTo(1, 12);
    for (const auto& c : accepted) {
        std::string text = c.typed;
        QTime value(7, 7);
        EXPECT_TRUE(w().ParseDuration(text, value)) << c.typed;
        EXPECT_EQ(value, QTime(c.hours, c.minutes)) << c.typed;
    }
    EXPECT_EQ(messages(), std::vector<std::string>{});
    for (const auto& [message, texts] : refused)
        for (const auto& typed : texts) {
            SCOPED_TRACE("typed \"" + typed + "\"");
            platform.messages.clear();
            std::string text = typed;
            QTime value;
            EXPECT_FALSE(w().ParseDuration(text, value));
            if (message.empty()) EXPECT_EQ(messages(), std::vector<std::string>{});
            else expectOnlyMessage(message);
        }
    // The caller's text is trimmed; a day given names that day, or else the current duration, B or N cell's.
    std::string text = "  abc ";
    QTime value;
    EXPECT_FALSE(w().ParseDuration(text, value));
    EXPECT_EQ(text, "abc");
    platform.messages.clear();
    text = "26:00";
    EXPECT_FALSE(w().ParseDuration(text, value, QDate(2026, 12, 6)));
    expectOnlyMessage(std::string(kTooLong) + "12/6/26");
    for (int col : {3, 7, 23}) {
        platform.messages.clear();
        arrowTo(1, col);
        text = "24:00";
        EXPECT_FALSE(w().ParseDuration(text, value));
        expectOnlyMessage(kTooLong + shortDate(QDate(2026, 11, 30).addDays((col - 3) / 3)));
    }
    // Decimal hours in the user's own locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    text = "1,5";
    ASSERT_TRUE(w().ParseDuration(text, value));
    EXPECT_EQ(value, QTime(1, 30));
}

TEST(AddDurationText, AddsTheCellTextToThePair) {
    const std::tuple<int, int, std::string, int, int> cases[] = {
        {0, 0, "", 0, 0},          {0, 0, "02:30", 2, 30},     {1, 50, "00:15", 2, 5},   {0, 59, "23:59", 24, 58},
        {120, 0, "03:05", 123, 5}, {0, 30, "1:75", 2, 45},     {5, 10, "0230", 5, 10},   {5, 10, "ab:30", 5, 10},
        {5, 10, "03:xx", 8, 10},   {5, 10, "03:", 8, 10},
        {32760, 0, "23:59", 32767, 59},  // the counter stops at its limit
    };
    for (const auto& [h0, m0, text, h1, m1] : cases) {
        int16_t h = static_cast<int16_t>(h0), m = static_cast<int16_t>(m0);
        Hourgrid::AddDurationText(h, m, text);
        EXPECT_EQ(std::make_pair(int(h), int(m)), std::make_pair(h1, m1)) << text;
    }
}

TEST_F(WeekTest, TotalsOfRowsDaysAndWeek) {
    open();
    w().m_lNameID = -1;
    w().SetMonday("11/30/2026");  // an empty grid
    grid().setRows(9);
    for (int r = 1; r <= 5; ++r)
        for (int d = 0; d < 7; ++d) grid().setTextMatrix(r, durCol(d), "23:59");
    // B and N cells and texts that are no durations add nothing; unreadable minutes leave the hours.
    for (auto [c, text] : {std::pair{12, "07:35"}, {13, "*"}, {14, "12:00 note"}}) grid().setTextMatrix(6, c, text);
    for (auto [c, text] : {std::pair{3, "0130"}, {6, "x:30"}, {9, "02:yy"}, {15, "1:75"}}) grid().setTextMatrix(7, c, text);
    arrowTo(2, 9);
    int unguardedMoves = 0;
    grid().onLeaveCell = [&] { unguardedMoves += !w().noLeaveCell(); };
    w().UpdateTotals();
    EXPECT_EQ(unguardedMoves, 0);
    EXPECT_FALSE(w().noLeaveCell());
    EXPECT_EQ(std::make_pair(grid().row(), grid().col()), std::make_pair(2, 9));
    const char* rowTotals[] = {"167:53", "167:53", "167:53", "167:53", "167:53", "07:35", "04:15"};
    for (int r = 1; r <= 7; ++r) EXPECT_EQ(cell(r, 24), rowTotals[r - 1]) << r;
    std::string days;
    for (int c = 2; c <= 24; ++c) days += cell(8, c) + "|";
    EXPECT_EQ(days, "Totals:|119:55|||119:55|||121:55|||127:30|||122:10|||119:55|||119:55|||851:15|");
    for (int r = 1; r <= 8; ++r)
        for (int c = 0; c <= 24; ++c)
            EXPECT_EQ(grid().backColorAt(r, c), r == 8 || c == 24 ? ui::kSys3DLight : kBack) << r << "," << c;
    // Rebuilt from the cells every time.
    grid().setTextMatrix(7, 9, "");
    w().UpdateTotals();
    EXPECT_EQ(cell(7, 24) + cell(8, 9) + cell(8, 24), "02:15119:55849:15");
}

// ---- Filling the week ----

// Seconds round to the nearest minute (23:59:45 shows 23:59, not 00:00); saving the
// week untouched rewrites CreateTime only: no duration is cut to the minutes shown,
// and one under half a minute, shown as 00:00, is kept without a complaint.
TEST_F(WeekTest, TheLoadedWeekAndItsUnchangedSave) {
    open([](jet::Database& db) {
        edit(db, 5, {{"Note", jet::Value::text("Waiting for assets")}, {"Duration", durationOf(0, 0, 29)}});
        edit(db, 8, {{"Duration", durationOf(23, 59, 45)}});
        edit(db, 4, {{"Duration", durationOf(2, 59, 30)}});
    });
    ASSERT_EQ(w().m_lNameID, 200);
    EXPECT_EQ(w().sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(headers(), "M 30 T 1 W 2 T 3 F 4 S 5 S 6");
    const std::string acme = kAcme, baker = "Baker & Sons:Kitchen Remodel", cafe = "Caf\xC3\xA9 Aurora:Menu Design",
                      city = "City of Riverton:Parks Survey";
    // Two activities of one combination on Wednesday split it in two rows; Thursday and Friday follow the second.
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{
                              acme + "|Design|Commercial|02:30||01:30||||", acme + "|Design|Commercial|||01:00|03:00|00:00||",
                              acme + "|Development|Commercial||04:15|||||", baker + "|Installation|Residential||08:00|||||",
                              cafe + "|Design|Commercial|||||||23:59", city + "|Consulting|Government||||||01:29|",
                              "Acme Corporation:Support Contract|Consulting|Commercial|||||||",
                              acme + "|Design|Commercial|||||||", acme + "|Development|Commercial|||||||",
                              baker + "|Installation|Residential|||||||", cafe + "|Design|Commercial|||||||",
                              city + "|Consulting|Government|||||||", "Delta Logistics|Project Management|Commercial|||||||",
                              "|||||||||"}));
    const int32_t heading[][3] = {{109, 11, 3}, {109, 11, 3}, {109, 13, 3}, {106, 14, 5}, {101, 11, 3},
                                  {104, 10, 4}, {108, 10, 3}, {109, 11, 3}, {109, 13, 3}, {106, 14, 5},
                                  {101, 11, 3}, {104, 10, 4}, {103, 15, 3}, {0, 0, 0}};
    for (int r = 1; r <= 14; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(w().id(c, r), heading[r - 1][c]) << r << "," << c;
    // Each activity: its ID, B and N cells and colours (billable green, note blue, both magenta; yellow unexported).
    struct Cell {
        int row, col;
        int32_t id;
        const char *b, *n;
        ui::Color fore, back;
    };
    const Cell cells[] = {
        {1, 3, 1, "*", "Homepage mockups", kMagenta, kNotExported}, {1, 9, 2, "*", "", kGreen, kBack},
        {2, 9, 3, "", "", kText, kNotExported},   {2, 12, 4, "*", "Review with client", kMagenta, kNotExported},
        {2, 15, 5, "", "Waiting for assets", kBlue, kNotExported},  {3, 6, 9, "*", "", kGreen, kNotExported},
        {4, 6, 6, "*", kLongNote.c_str(), kMagenta, kBack},        {5, 21, 8, "*", "Late-night menu proofs", kMagenta, kNotExported},
        {6, 18, 7, "", "", kText, kBack},
    };
    for (int r = 0; r < grid().rows(); ++r)
        for (int c = 3; c < 25; ++c) {
            const Cell* hit = nullptr;
            for (const Cell& e : cells)
                if (e.row == r && (c - e.col == 0 || c - e.col == 1 || c - e.col == 2)) hit = &e;
            SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
            EXPECT_EQ(w().id(c, r), hit && c == hit->col ? hit->id : 0);  // nothing else carries an ID
            if (r == 0 || r == totalsRow() || c == 24) continue;
            if (!hit || c > hit->col) {
                EXPECT_EQ(cell(r, c), !hit ? "" : c == hit->col + 1 ? hit->b : hit->n);
            }
            EXPECT_EQ(colors(r, c), hit && c == hit->col ? std::make_pair(hit->fore, hit->back) : std::make_pair(kText, kBack));
        }
    std::string totals;
    for (int c = 3; c <= 24; c += 3) totals += cell(15, c) + " ";
    for (int r = 1; r <= 14; ++r) totals += cell(r, 24) + " ";
    EXPECT_EQ(totals, "02:30 12:15 02:30 03:00 00:00 01:29 23:59 45:43 04:00 04:00 04:15 08:00 23:59 01:29 "
                      "00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 ");
    EXPECT_EQ(std::make_pair(grid().row(), grid().col()), std::make_pair(1, 3));
    EXPECT_FALSE(w().noLeaveCell());

    const Records before = inFile();
    arrowTo(4, 6);
    const std::vector<std::string> shown = rowTexts();
    ASSERT_TRUE(w().SaveGrid());
    EXPECT_EQ(messages(), std::vector<std::string>{});
    EXPECT_EQ(rowTexts(), shown);
    EXPECT_EQ(std::make_pair(grid().row(), grid().col()), std::make_pair(4, 6));
    EXPECT_EQ(w().id(15, 2), 5);
    const Records after = inFile();
    ASSERT_EQ(after.size(), before.size());
    for (auto [id, rec] : before) {
        if (id <= 9) rec["CreateTime"] = kNow;  // Alice's week; nobody else's, none of her other weeks
        EXPECT_EQ(after.at(id), rec) << "activity " << id;
    }
    win.reset();
    const Records y = mdbExport(timerPath);
    EXPECT_EQ(y.at(2).at("Duration"), "1899-12-30 01:29:30");
    EXPECT_EQ(y.at(5).at("Duration"), "1899-12-30 00:00:29");
    EXPECT_EQ(y.at(8).at("Duration"), "1899-12-30 23:59:45");
    EXPECT_EQ(y.at(8).at("CreateTime"), "2026-12-06 10:00:00");
    EXPECT_EQ(y.at(11).at("CreateTime"), "2026-12-04 17:05:00");
}

// k rows of activities and m recent combinations; the current cell the loading leaves.
TEST_F(WeekTest, RowLayoutsAndAReloadThatLeavesNothingBehind) {
    open();
    struct Case {
        const char* monday;
        int16_t recentDays;
        int rows, emptyRow, firstRecent, curRow, curCol;  // 0: none
        const char* grand;
    };
    const Case cases[] = {
        {"11/30/2026", 30, 16, 14, 7, 6, 18, "46:28"}, {"11/30/2026", 0, 8, 0, 0, 6, 18, "46:28"},
        {"11/02/2026", 30, 10, 8, 1, 1, 3, "00:00"},   {"11/02/2026", 0, 3, 1, 0, 1, 3, "00:00"},
        {"11/23/2026", 30, 11, 9, 2, 1, 3, "03:00"},   {"12/07/2026", 0, 3, 0, 0, 1, 3, "02:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.monday) + " recent " + std::to_string(c.recentDays));
        w().m_recentDays = c.recentDays;
        w().SetMonday(c.monday);
        ASSERT_EQ(grid().rows(), c.rows);
        EXPECT_EQ(cell(c.rows - 1, 2), "Totals:");
        EXPECT_EQ(cell(c.rows - 1, 24), c.grand);
        if (c.emptyRow) EXPECT_EQ(rowText(c.emptyRow) + cell(c.emptyRow, 24), "|||||||||00:00");
        else EXPECT_NE(cell(c.rows - 2, 0), "");
        if (c.firstRecent) {
            EXPECT_EQ(cell(c.firstRecent, 0), "Acme Corporation:Support Contract");
        }
        for (int r = 1; r < c.rows; ++r) EXPECT_EQ(grid().rowHeight(r), 315) << r;  // the combo fits over a heading
        EXPECT_EQ(std::make_pair(grid().row(), grid().col()), std::make_pair(c.curRow, c.curCol));
        EXPECT_FALSE(w().noLeaveCell());
    }
    // The last, smaller week keeps nothing of the one before.
    EXPECT_EQ(rowText(1), std::string(kAcme) + "|Design|Commercial|02:00||||||");
    EXPECT_EQ(colors(1, 3), std::make_pair(kGreen, kNotExported));
    EXPECT_EQ(colors(1, 9), std::make_pair(kText, kBack));
    EXPECT_EQ(cell(1, 5), "");
    EXPECT_EQ(w().id(3, 1), 16);
    EXPECT_EQ(w().id(9, 1), 0);
    EXPECT_EQ(messages(), std::vector<std::string>{});
}

// One combination on Monday and Friday shares a row; another Class gets its own row;
// a Tuesday activity after a same-day pair follows the second row.
TEST_F(WeekTest, RowBreaking) {
    struct Added {
        int32_t cls;
        int day;
        QTime duration;
        int row, col;
        int32_t id;
    };
    Added added[] = {{3, 0, QTime(1, 0), 2, 3, 0},   {3, 4, QTime(2, 0), 2, 15, 0},  {4, 0, QTime(3, 0), 3, 3, 0},
                     {5, 0, QTime(0, 10), 4, 3, 0}, {5, 0, QTime(0, 20), 5, 3, 0}, {5, 1, QTime(0, 30), 5, 6, 0},
                     {5, 1, QTime(0, 40), 6, 6, 0}};
    open([&](jet::Database& db) {
        auto t = db.table("Activities");
        for (auto& a : added) {  // Chen's Zenith Dental / Training
            jet::Row stored;
            const std::pair<const char*, jet::Value> values[] = {
                {"Name ID", jet::Value::int32(202)}, {"CustJob ID", jet::Value::int32(100)},
                {"Service ID", jet::Value::int32(12)}, {"Class ID", jet::Value::int32(a.cls)},
                {"UserDate", jet::Value::date(serial(QDate(2026, 11, 30).addDays(a.day)))},
                {"Duration", jet::Value::date(serial(QDate(1899, 12, 30), a.duration))},
                {"CreateTime", jet::Value::date(serial(QDate(2026, 12, 4), QTime(17, 5)))},
                {"Payroll Item ID", jet::Value::int16(2)}, {"Billable Status", jet::Value::boolean(false)},
                {"Exported", jet::Value::boolean(false)}};
            jet::FieldValues fv;
            for (const auto& [name, v] : values) fv.push_back({t->columnIndex(name), v});
            db.insertRow("Activities", fv, &stored);
            a.id = stored[static_cast<size_t>(t->columnIndex("ID"))].asInt32();
        }
    });
    w().m_lNameID = 202;
    w().SetMonday("11/30/2026");
    const std::string z = "Zenith Dental|Training|", d = "Delta Logistics|Training|Internal|";
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{
                              d + "|02:00|||||", z + "Commercial|01:00||||02:00||", z + "Government|03:00||||||",
                              z + "Residential|00:10||||||", z + "Residential|00:20|00:30|||||",
                              z + "Residential||00:40|||||", d + "||||||", z + "Commercial|||||||",
                              z + "Government|||||||", z + "Residential|||||||", "|||||||||"}));
    for (const auto& a : added) EXPECT_EQ(w().id(a.col, a.row), a.id) << a.row << "," << a.col;
    EXPECT_EQ(w().id(6, 1), 11);
}

TEST_F(WeekTest, AnotherPersonsWeekNobodysAndAQueryThatFails) {
    open();
    // Brian's one activity shares Alice's combination and Monday; only his shows.
    w().m_lNameID = 201;
    w().SetMonday("11/30/2026");
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{std::string(kAcme) + "|Design|Commercial|06:00||||||",
                                                    std::string(kAcme) + "|Design|Commercial|||||||", "|||||||||"}));
    EXPECT_EQ(w().id(3, 1), 10);
    EXPECT_EQ(cell(1, 5), "Brian's work");
    EXPECT_EQ(cell(totalsRow(), 24), "06:00");
    // Nobody selected: headers and days are written, nothing is read.
    w().m_lNameID = -1;
    w().SetMonday("12/07/2026");
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(headers(), "M 7 T 8 W 9 T 10 F 11 S 12 S 13");
    EXPECT_EQ(w().days()[6], QDate(2026, 12, 13));
    EXPECT_EQ(rowText(1), "|||||||||");
    EXPECT_EQ(messages(), std::vector<std::string>{});
    // A query that cannot run is reported; the week is empty, of the right shape, not half filled.
    w().m_lNameID = 200;
    w().m_db->DeleteQueryDef(timerdb::names::kQueryRecent);
    w().SetMonday("11/30/2026");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(messages()[0].find("Hourgrid Recent Activities By Num Days"), std::string::npos);
    ASSERT_EQ(grid().rows(), 3);
    EXPECT_EQ(rowText(1), "|||||||||");
    EXPECT_EQ(w().id(3, 1), 0);
    EXPECT_EQ(cell(0, 3) + cell(2, 2), "M 30Totals:");
    EXPECT_EQ(w().mousePointer(), ui::MousePointer::Default);
}

// ---- Changing the week ----

TEST_F(WeekTest, CommandsMoveTheWeek) {
    open();
    auto tool = [&](const char* key) { return [this, key] { w().tbToolBar_ButtonClick(key); }; };
    auto menu = [&](const char* item) { return [this, item] { w().menuItem(item)->onClick(); }; };
    auto ctrl = [&](int k) {
        return [this, k] {
            int code = k;
            w().Form_KeyDown(code, ui::kCtrlMask);
            EXPECT_EQ(code, 0);
        };
    };
    struct Step {
        std::function<void()> run;
        const char *monday, *headers, *firstRow;  // nullptr: not checked
    };
    const Step steps[] = {
        {tool("BackWeek"), "11/23/2026", "M 23 T 24 W 25 T 26 F 27 S 28 S 29", "Delta Logistics"},
        {ctrl('M'), "10/26/2026", "M 26 T 27 W 28 T 29 F 30 S 31 S 1", "Acme Corporation:Support Contract"},
        {menu("ViewMenuForwardMonth"), "11/23/2026", nullptr, "Delta Logistics"},
        {ctrl('K'), "11/30/2026", "M 30 T 1 W 2 T 3 F 4 S 5 S 6", kAcme},
        {tool("FwdWeek"), "12/07/2026", "M 7 T 8 W 9 T 10 F 11 S 12 S 13", kAcme},
        {menu("ViewMenuLastMonday"), "11/30/2026", nullptr, kAcme},
        {tool("BackMonth"), "11/02/2026", nullptr, nullptr},
        {ctrl('H'), "11/30/2026", nullptr, nullptr},
        {menu("ViewMenuBackWeek"), "11/23/2026", nullptr, nullptr},
        {ctrl('W'), "11/16/2026", nullptr, nullptr},
        {menu("ViewMenuBackMonth"), "10/19/2026", nullptr, nullptr},
        {tool("FwdMonth"), "11/16/2026", nullptr, nullptr},
        {menu("ViewMenuForwardWeek"), "11/23/2026", nullptr, nullptr},
        {tool("LastMonday"), "11/30/2026", nullptr, nullptr},
        {[this] { w().SetMonday("01/04/1999"), w().ViewMenuBackWeek_Click(); }, "12/28/1998", nullptr, nullptr},
        {[this] { w().SetMonday("01/04/1999"), w().ViewMenuBackMonth_Click(); }, "12/07/1998", nullptr, nullptr},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.monday);
        s.run();
        EXPECT_EQ(w().sbStatusBar.panelText(4), s.monday);
        const QDate monday = QDate::fromString(s.monday, "MM/dd/yyyy");
        for (int d = 0; d < 7; ++d) EXPECT_EQ(w().days()[static_cast<size_t>(d)], monday.addDays(d));
        EXPECT_EQ(s.headers ? headers() : "", s.headers ? s.headers : "");
        EXPECT_EQ(s.firstRow ? cell(1, 0) : "", s.firstRow ? s.firstRow : "");
        EXPECT_EQ(cell(0, 4) + cell(0, 5), "BN");
    }
    // Last Monday on a Monday is today; it needs no start date to move from.
    app::Clock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(8, 30)));
    w().ViewMenuLastMonday_Click();
    EXPECT_EQ(w().sbStatusBar.panelText(4), "12/07/2026");
    EXPECT_EQ(w().id(3, 1), 16);
    w().sbStatusBar.setPanelText(4, "<None>");
    app::Clock::setFixed(QDateTime(QDate(2026, 12, 2), QTime(23, 59)));
    w().ViewMenuLastMonday_Click();
    EXPECT_EQ(w().sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_EQ(messages(), std::vector<std::string>{});
}

// A start date missing or not a Monday stops the move, and the week stays.
TEST_F(WeekTest, BadStartDateStopsTheMove) {
    open();
    for (auto [field, message] : {std::pair{"<None>", "Please select a Start Date"},
                                  {"12/01/2026", "Please select a Monday as your Start Date"}}) {
        platform.messages.clear();
        w().sbStatusBar.setPanelText(4, field);
        w().ViewMenuForwardWeek_Click();
        expectOnlyMessage(message);
        EXPECT_EQ(w().sbStatusBar.panelText(4), field);
        EXPECT_EQ(cell(1, 3), "02:30");
        EXPECT_EQ(w().id(3, 1), 1);
    }
    platform.messages.clear();
    w().SetMonday("12/01/2026");  // the field takes the text, the grid keeps the week
    expectOnlyMessage("Please select a Monday as your Start Date");
    EXPECT_EQ(cell(0, 3), "M 30");
    EXPECT_EQ(grid().rows(), 16);
    EXPECT_EQ(w().days()[0], QDate(2026, 11, 30));
}

// Every move writes the week it leaves, its time of writing included.
TEST_F(WeekTest, EveryMoveSavesTheWeekItLeaves) {
    open();
    int minutes = 10;
    for (auto move : {&Hourgrid::ViewMenuBackWeek_Click, &Hourgrid::ViewMenuBackMonth_Click,
                      &Hourgrid::ViewMenuForwardWeek_Click, &Hourgrid::ViewMenuForwardMonth_Click,
                      &Hourgrid::ViewMenuLastMonday_Click}) {
        w().SetMonday("11/30/2026");
        grid().setTextMatrix(1, 3, "01:" + std::to_string(minutes));
        app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(11, minutes)));
        (w().*move)();
        Records f = inFile();
        EXPECT_EQ(f[1]["Duration"], dur(1, minutes));
        EXPECT_EQ(f[7]["CreateTime"], dateValue(QDate(2026, 12, 6), QTime(11, minutes)));
        minutes += 5;
    }
    EXPECT_EQ(messages(), std::vector<std::string>{});
}

// A week that does not validate stays on screen with the user's text, for every way of leaving it.
TEST_F(WeekTest, AnInvalidWeekDoesNotMove) {
    open();
    grid().setTextMatrix(2, 12, "25:00");
    std::vector<std::function<void()>> commands;
    for (auto move : {&Hourgrid::ViewMenuBackWeek_Click, &Hourgrid::ViewMenuBackMonth_Click,
                      &Hourgrid::ViewMenuForwardWeek_Click, &Hourgrid::ViewMenuForwardMonth_Click,
                      &Hourgrid::ViewMenuLastMonday_Click, &Hourgrid::EditMenuStartDate_Click})
        commands.push_back([this, move] { (w().*move)(); });
    commands.push_back([this] { w().sbStatusBar_PanelClick("StartDateButton"); });
    for (const auto& command : commands) {
        platform.messages.clear();
        command();
        expectOnlyMessage(kTooLong + shortDate(QDate(2026, 12, 3)));
        EXPECT_EQ(w().sbStatusBar.panelText(4), "11/30/2026");
        EXPECT_EQ(cell(2, 12) + cell(1, 3), "25:0002:30");
        EXPECT_EQ(w().id(12, 2), 4);
    }
    EXPECT_TRUE(platform.modalForms.empty());
    EXPECT_EQ(inFile()[4]["Duration"], dur(3, 0));
}

// A save that fails while the file is written keeps the week it was leaving on
// screen, with the user's text, for every way of moving; once the file can be
// written again the same command goes through.
TEST_F(WeekTest, AFailedSaveKeepsTheWeek) {
    open();
    std::vector<std::function<void()>> moves;
    for (auto move : {&Hourgrid::ViewMenuBackWeek_Click, &Hourgrid::ViewMenuBackMonth_Click,
                      &Hourgrid::ViewMenuForwardWeek_Click, &Hourgrid::ViewMenuForwardMonth_Click,
                      &Hourgrid::ViewMenuLastMonday_Click})
        moves.push_back([this, move] { (w().*move)(); });
    moves.push_back([this] { answerDateDialog("1/1/2002"), w().EditMenuStartDate_Click(); });
    grid().setTextMatrix(1, 3, "04:00");
    failWritesAfter(0);
    for (size_t i = 0; i < moves.size(); ++i) {
        SCOPED_TRACE(i);
        platform.messages.clear();
        moves[i]();
        // The first failure names itself; the engine then refuses writes until the file is reopened.
        ASSERT_EQ(platform.messages.size(), 1u);
        if (i == 0) {
            EXPECT_NE(messages()[0].find("simulated write failure"), std::string::npos);
        }
        EXPECT_NE(messages()[0].find(kNotSaved), std::string::npos);
        EXPECT_EQ(w().sbStatusBar.panelText(4), "11/30/2026");
        EXPECT_EQ(w().days()[0], QDate(2026, 11, 30));
        EXPECT_EQ(cell(1, 3), "04:00");
        EXPECT_EQ(w().id(3, 1), 1);
        EXPECT_TRUE(w().enabled());
    }
    EXPECT_EQ(inFile()[1]["Duration"], dur(2, 30));
    w().m_db.reset();
    w().m_db = timerdb::Database::OpenDatabase(timerPath);
    w().m_db->setClock(&app::Clock::nowDays);
    platform.messages.clear();
    w().ViewMenuForwardWeek_Click();
    EXPECT_EQ(messages(), std::vector<std::string>{});
    EXPECT_EQ(w().sbStatusBar.panelText(4), "12/07/2026");
    EXPECT_EQ(inFile()[1]["Duration"], dur(4, 0));
}

// ---- The start-date dialog ----

TEST(DateDialogParse, DatesAsTyped) {
    app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
    const std::pair<const char*, QDate> cases[] = {
        {"2/14/1999", QDate(1999, 2, 14)},  {"02/14/1999", QDate(1999, 2, 14)},  {" 12/06/2026 ", QDate(2026, 12, 6)},
        {"2/14/99", QDate(1999, 2, 14)},    {"1/1/29", QDate(2029, 1, 1)},       {"1/1/30", QDate(1930, 1, 1)},
        {"2-14-1999", QDate(1999, 2, 14)},  {"1999-02-14", QDate(1999, 2, 14)},  {"2/14", QDate(2026, 2, 14)},
        {"12/6/2026 10:00:00 AM", QDate(2026, 12, 6)}, {"12/6/2026 22:15", QDate(2026, 12, 6)},
        {"2/29/2000", QDate(2000, 2, 29)},  {"Dec 2, 2026", QDate(2026, 12, 2)}, {"December 2, 2026", QDate(2026, 12, 2)},
        {"2 Dec 2026", QDate(2026, 12, 2)}, {"Wednesday, December 2, 2026", QDate(2026, 12, 2)},
        {"dec. 2 99", QDate(1999, 12, 2)},  {"2026 Dec 2", QDate(2026, 12, 2)},  {"Feb 14", QDate(2026, 2, 14)},
        // No dates:
        {"", QDate()}, {"<None>", QDate()}, {"abc", QDate()}, {"2/30/1999", QDate()}, {"13/1/1999", QDate()},
        {"0/1/1999", QDate()}, {"2/29/1999", QDate()}, {"2/14/1999 25:00", QDate()}, {"2/14/1999 tomorrow", QDate()},
        {"2/14-1999", QDate()}, {"14", QDate()}, {"1/1/0099", QDate()}, {"Dec 32, 2026", QDate()},
        {"Decem 2, 2026", QDate()}, {"Tuesday, December 2, 2026", QDate()}, {"Dec 2 2026 7", QDate()},
    };
    for (const auto& [text, date] : cases) EXPECT_EQ(DateDialog::parseDate(text), date) << "'" << text << "'";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // the user's own language and order
    EXPECT_EQ(DateDialog::parseDate("2. Dezember 2026"), QDate(2026, 12, 2));
    EXPECT_EQ(DateDialog::parseDate("Mittwoch, 2. Dez. 2026"), QDate(2026, 12, 2));
    QLocale::setDefault(QLocale::system());
    app::Clock::useSystem();
}

// Any date gives the week of its Monday; the dialog, one kept between showings,
// offers the week shown and disables the main window while it is open.
TEST_F(WeekTest, TheDialogShowsTheWeekOfTheDateTyped) {
    open();
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"2/14/1999", "02/08/1999", "M 8 T 9 W 10 T 11 F 12 S 13 S 14"},
        {"11/25/2026", "11/23/2026", "M 23 T 24 W 25 T 26 F 27 S 28 S 29"},
        {"12/7/2026", "12/07/2026", "M 7 T 8 W 9 T 10 F 11 S 12 S 13"},
        {"3/1/1998", "02/23/1998", "M 23 T 24 W 25 T 26 F 27 S 28 S 1"},
        {"1/1/2002", "12/31/2001", "M 31 T 1 W 2 T 3 F 4 S 5 S 6"},
    };
    std::string shown = "11/30/2026";
    for (const auto& [typed, monday, days] : cases) {
        SCOPED_TRACE(typed);
        bool enabledWhileShown = true;
        std::string offered;
        platform.onModal = [&, typed = typed](ui::Form& f) {
            auto& d = dynamic_cast<DateDialog&>(f);
            enabledWhileShown = w().enabled();
            offered = d.StartDate.text();
            d.StartDate.userEdited(typed);
            d.OK.click();
            EXPECT_FALSE(d.visible());
        };
        w().EditMenuStartDate_Click();
        EXPECT_FALSE(enabledWhileShown);
        EXPECT_TRUE(w().enabled());
        EXPECT_EQ(offered, shown);
        EXPECT_EQ(w().sbStatusBar.panelText(4), monday);
        EXPECT_EQ(headers(), days);
        shown = monday;
    }
    EXPECT_EQ(messages(), std::vector<std::string>{});
    ASSERT_EQ(platform.modalForms.size(), std::size(cases));
    for (ui::Form* f : platform.modalForms) EXPECT_EQ(f, &w().dateDialogForm());
}

TEST_F(WeekTest, TheDialogFromTheStatusBarCancelledAndOfferingNow) {
    open();
    platform.onModal = [&](ui::Form& f) {
        auto& d = dynamic_cast<DateDialog&>(f);
        d.StartDate.userEdited("1/1/2002");
        d.Cancel.click();
        EXPECT_FALSE(d.visible());
    };
    w().sbStatusBar_PanelClick("StartDateButton");
    EXPECT_EQ(w().sbStatusBar.panelText(4), "11/30/2026");
    EXPECT_TRUE(w().enabled());
    EXPECT_EQ(cell(1, 3), "02:30");
    platform.onModal = [&](ui::Form& f) {
        auto& d = dynamic_cast<DateDialog&>(f);
        EXPECT_EQ(d.StartDate.text(), "11/30/2026");  // the field again, not the text last typed
        d.StartDate.userEdited("12/9/2026");
        d.OK.click();
    };
    w().sbStatusBar_PanelClick("StartDateButton");
    EXPECT_EQ(w().sbStatusBar.panelText(4), "12/07/2026");
    // An empty field offers the date and time of now, accepted as it stands.
    w().sbStatusBar.setPanelText(4, "");
    platform.onModal = [&](ui::Form& f) {
        auto& d = dynamic_cast<DateDialog&>(f);
        EXPECT_EQ(d.StartDate.text(), "12/6/2026 10:00:00 AM");
        d.OK.click();
    };
    w().EditMenuStartDate_Click();
    EXPECT_EQ(w().sbStatusBar.panelText(4), "11/30/2026");
    // A window closed by other means than its buttons leaves the main window usable.
    platform.onModal = [](ui::Form&) {};
    w().EditMenuStartDate_Click();
    EXPECT_TRUE(w().enabled());
    EXPECT_EQ(messages(), std::vector<std::string>{});
}

TEST_F(WeekTest, TheDialogRefusesWhatIsNoDate) {
    open();
    for (auto [field, typed] : {std::pair<const char*, const char*>{"<None>", nullptr},
                                {"11/30/2026", "abc"}, {"11/30/2026", "2/30/2026"}, {"11/30/2026", ""}}) {
        SCOPED_TRACE(std::string(field) + " / " + (typed ? typed : "(as offered)"));
        platform.messages.clear();
        w().sbStatusBar.setPanelText(4, field);
        bool stayedOpen = false;
        platform.onModal = [&, field = field, typed = typed](ui::Form& f) {
            auto& d = dynamic_cast<DateDialog&>(f);
            EXPECT_EQ(d.StartDate.text(), field);
            if (typed) d.StartDate.userEdited(typed);
            d.OK.click();
            stayedOpen = d.visible();
            EXPECT_FALSE(w().enabled());
            d.Cancel.click();
        };
        w().EditMenuStartDate_Click();
        EXPECT_TRUE(stayedOpen);
        expectOnlyMessage("Please enter a valid date");
        EXPECT_EQ(w().sbStatusBar.panelText(4), field);
        EXPECT_EQ(cell(1, 3), "02:30");
        EXPECT_TRUE(w().enabled());
    }
}

// The dialog's move checks and saves the week it leaves, like the other moves; it needs a file.
TEST_F(WeekTest, TheDialogSavesTheWeekItLeaves) {
    open();
    grid().setTextMatrix(1, 3, "01:45");
    answerDateDialog("12/8/2026");
    w().EditMenuStartDate_Click();
    EXPECT_EQ(w().sbStatusBar.panelText(4), "12/07/2026");
    win.reset();
    expectFields(mdbExport(timerPath).at(1), {{"Duration", "1899-12-30 01:45:00"}, {"UserDate", "2026-11-30 00:00:00"},
                                               {"CreateTime", "2026-12-06 10:00:00"}, {"Name ID", "200"},
                                               {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"}});
    platform = ScriptedPlatform();
    platform.answers = {ui::Answer::OK};
    writeSetting("File", (dir / "missing.tdb").string());
    start().Form_Load();
    ASSERT_FALSE(w().m_bDbOpen);
    w().EditMenuStartDate_Click();
    EXPECT_TRUE(platform.modalForms.empty());
}

}  // namespace
