// Validating the week and writing it back to a copy of sample.tdb, checked with the
// engine and with mdb-export; a failure in the middle of a write leaves the file whole.
#include <cstring>

#include "grid_driver.h"

namespace {

class SaveTest : public Week {
protected:
    void check(const std::string& message) {
        platform.messages.clear();
        EXPECT_FALSE(w().ValidateGrid());
        expectOnlyMessage(message);
    }
    // Activity 2 changed, 4 emptied, and new cells on Friday of row 1 and Monday of a recent row.
    void changeWeek() {
        for (auto [r, c, text] : {std::tuple{1, 9, "02:00"}, {2, 12, ""}, {1, 15, "01:15"}, {7, 3, "00:20"}})
            grid().setTextMatrix(r, c, text);
    }
    std::vector<int32_t> changedIds() { return {w().id(9, 1), w().id(12, 2), w().id(15, 1), w().id(3, 7)}; }
};

TEST_F(SaveTest, NewChangedAndEmptiedCellsBecomeAddedUpdatedAndDeletedRecords) {
    open([](jet::Database& db) {  // Timer columns the program never writes
        edit(db, 2, {{"Start Time", jet::Value::date(serial(QDate(2026, 12, 2), QTime(8, 15)))},
                     {"Rate", jet::Value::currency(jet::Currency{855000})}, {"Timer Flags", jet::Value::byte(3)}});
    });
    const Records before = inFile();
    changeWeek();
    ASSERT_TRUE(w().SaveGrid());
    EXPECT_EQ(messages(), Texts{});
    Records after = inFile();
    const std::vector<int32_t> ids = changedIds();
    ASSERT_EQ(after.size(), 17u);
    EXPECT_EQ(ids[1] + after.count(4), 0u);
    ASSERT_TRUE(ids[2] > 16 && ids[3] > 16 && ids[2] != ids[3]);
    // New records: the row's references, the day, the person, payroll item 2, the billable default.
    expectFields(after[ids[2]], {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"},
                                 {"Payroll Item ID", "2"}, {"UserDate", dateValue(QDate(2026, 12, 4))},
                                 {"CreateTime", kNow}, {"Duration", dur(1, 15)}, {"Billable Status", "True"},
                                 {"Note", "NULL"}, {"Start Time", "NULL"}, {"Rate", "NULL"}});
    expectFields(after[ids[3]], {{"CustJob ID", "108"}, {"Service ID", "10"}, {"Class ID", "3"},
                                 {"UserDate", dateValue(QDate(2026, 11, 30))}, {"Duration", dur(0, 20)}});
    // Every activity of the week gets the time of writing, the changed one its duration;
    // nobody else's, and none of Alice's other weeks, is touched.
    for (auto [id, rec] : before) {
        if (id <= 9) rec["CreateTime"] = kNow;
        if (id == 2) rec["Duration"] = dur(2, 0);
        EXPECT_EQ(after[id], id == 4 ? Record{} : rec) << "activity " << id;
    }
    win.reset();
    Records x = mdbExport(timerPath);
    EXPECT_EQ(x.size() + x.count(4), 17u);
    expectFields(x[ids[2]], {{"Name ID", "200"}, {"CustJob ID", "109"}, {"Service ID", "11"}, {"Class ID", "3"},
                             {"Payroll Item ID", "2"}, {"UserDate", "2026-12-04 00:00:00"},
                             {"CreateTime", "2026-12-06 10:00:00"}, {"Duration", "1899-12-30 01:15:00"},
                             {"Billable Status", "1"}, {"Exported", "0"}});
    expectFields(x[2], {{"Duration", "1899-12-30 02:00:00"}, {"CreateTime", "2026-12-06 10:00:00"},
                        {"UserDate", "2026-12-02 00:00:00"}, {"Billable Status", "1"}, {"Exported", "1"},
                        {"Start Time", "2026-12-02 08:15:00"}, {"Rate", "85.5000"}, {"Timer Flags", "3"}});
    EXPECT_EQ(x[10]["CreateTime"], "2026-12-04 17:05:00");
}

// Cells follow their records across saves, a record gone from the file is written again,
// new records take the billable preference, and the saved week loads as it was left.
TEST_F(SaveTest, SavesOneAfterAnotherAndTheWeekLoadedAgain) {
    open();
    auto rs = w().m_db->OpenDynaset("Activities");
    rs->FindFirst("ID=9"), rs->Delete(), rs.reset();
    w().m_bBillable = false;
    for (auto [r, c, text] : {std::tuple{1, 9, "02:00"}, {2, 12, ""}, {3, 21, "02:00"}}) grid().setTextMatrix(r, c, text);
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(w().SaveGrid());  // the second adds and deletes nothing more
    const int32_t again = w().id(6, 3), added = w().id(21, 3);
    ASSERT_TRUE(again > 16 && added > again);
    EXPECT_EQ(w().id(12, 2), 0);
    grid().setTextMatrix(3, 21, "03:10");
    ASSERT_TRUE(w().SaveGrid());
    Records after = inFile();
    EXPECT_EQ(after.size(), 16u);
    expectFields(after[again], {{"Duration", dur(4, 15)}, {"UserDate", dateValue(QDate(2026, 12, 1))},
                                {"CustJob ID", "109"}, {"Service ID", "13"}, {"Payroll Item ID", "2"}});
    expectFields(after[added], {{"Duration", dur(3, 10)}, {"Billable Status", "False"}});
    EXPECT_EQ(after[1]["Billable Status"], "True");  // existing records keep theirs
    w().SetMonday("11/30/2026");
    // Activity 4 is gone; Wednesday's second activity keeps its row with Friday's.
    EXPECT_EQ(cell(1, 3) + cell(1, 9) + cell(3, 6) + cell(3, 21) + "|" + cell(3, 22) + "|" + cell(2, 9) + "|" + cell(2, 12) + "|" +
                  cell(2, 15) + " " + cell(15, 24), "02:3002:0004:1503:10||01:00||00:45 47:08");
    EXPECT_EQ(std::vector<int32_t>({w().id(9, 1), w().id(6, 3), w().id(21, 3)}), std::vector<int32_t>({2, again, added}));
    EXPECT_EQ(colors(3, 21), std::make_pair(kText, kNotExported));
    EXPECT_EQ(messages(), Texts{});
}

struct Fault {
    const char* phase;  // "refused": the journal cannot be created, so the file refuses the write
    int nth;            // fail before the nth page of that phase
};
void PrintTo(const Fault& f, std::ostream* os) { *os << f.phase << " page " << f.nth; }
class SaveFault : public SaveTest, public ::testing::WithParamInterface<Fault> {};

// A crash in the middle of writing the file, or a write the file refuses, saves nothing:
// the file keeps the whole week as it was, the cells' IDs name the records it holds and
// the typed cells stay. A refused save made again once the file takes writes does the week once.
TEST_P(SaveFault, LeavesTheFileAndTheIdsAsBefore) {
    open();
    const Records before = inFile();
    changeWeek();
    int pages = 0;
    bool failed = false;
    std::optional<RefusedWrites> refused;
    if (!std::strcmp(GetParam().phase, "refused")) refused.emplace(timerPath), failed = true;
    jet::detail::writablePager(w().m_db->engine()).setFaultHook([&](const char* phase, uint32_t) {
        if (std::strcmp(phase, GetParam().phase) == 0 && ++pages == GetParam().nth) failed = true, throw std::runtime_error("simulated crash");
    });
    EXPECT_FALSE(w().SaveGrid());
    ASSERT_TRUE(failed) << "the save wrote fewer pages than the fault waits for";
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(messages()[0].find(refused ? kNotSaved : std::string("simulated crash\r") + kNotSaved), std::string::npos);
    EXPECT_EQ(changedIds(), (std::vector<int32_t>{2, 4, 0, 0}));
    EXPECT_EQ(cell(1, 15), "01:15");
    if (refused) {
        EXPECT_EQ(inFile(), before);
        refused.reset(), platform.messages.clear();
        ASSERT_TRUE(w().SaveGrid());
        EXPECT_EQ(messages(), Texts{});
        Records after = inFile();
        EXPECT_EQ(after.size() + after.count(4) + w().id(12, 2), 17u);
        EXPECT_EQ(after[w().id(15, 1)]["Duration"] + after[2]["Duration"], dur(1, 15) + dur(2, 0));
        return;
    }
    win.reset();
    EXPECT_EQ(readFile(timerPath), before);
    EXPECT_FALSE(std::filesystem::exists(jet::journalPath(timerPath)));
    Records x = mdbExport(timerPath);
    EXPECT_EQ(x.size(), 16u);
    EXPECT_EQ(x[2]["Duration"] + x[4]["Duration"] + x[1]["CreateTime"], "1899-12-30 01:29:301899-12-30 03:00:002026-12-04 17:05:00");
}

INSTANTIATE_TEST_SUITE_P(Phases, SaveFault,
                         ::testing::Values(Fault{"journal", 1}, Fault{"file", 1}, Fault{"file", 2}, Fault{"file", 3}, Fault{"refused", 0}),
                         [](const auto& info) { return std::string(info.param.phase) + std::to_string(info.param.nth); });

TEST_F(SaveTest, ValidationNamesTheFirstFaultAndNothingIsWritten) {
    open();
    const Records before = inFile();
    const std::pair<std::string, Texts> cases[] = {
        {"", {"", "23:59", "5:75", "00:00", "12", "1.5", "1:30.5"}},  // minutes over 59 pass below 23 hours
        {kTooLong, {"24:00", "23:60", "24", "22:120"}},
        {"You cannot enter negative time: ", {"-1:00", "0:-5", "-1"}},
        {"Invalid time entry: ", {"a:00", ":30", "2:", "abc", "   ", "32768:00", "1:32768"}},
    };
    for (const auto& [message, texts] : cases)
        for (const auto& text : texts) {
            SCOPED_TRACE("cell \"" + text + "\"");
            grid().setTextMatrix(1, 9, text);  // Wednesday 12/02/2026
            platform.messages.clear();
            EXPECT_EQ(w().ValidateGrid(), message.empty());
            EXPECT_EQ(messages(), message.empty() ? Texts{} : Texts{message + "12/2/26"});
        }
    // The first fault in row order (Tuesday before Wednesday, row 3 before row 5) stops the save.
    for (auto [r, c, text] : {std::tuple{1, 9, "01:30"}, {3, 9, "abc"}, {3, 6, "24:00"}, {5, 3, "-1:00"}, {1, 15, "01:00"}})
        grid().setTextMatrix(r, c, text), platform.messages.clear();
    EXPECT_FALSE(w().SaveGrid());
    EXPECT_EQ(messages(), Texts{kTooLong + std::string("12/1/26")});
    EXPECT_EQ(inFile(), before);
    // A cell that validates but is no duration (00:00 of a longer record) is left out after its message.
    open();
    grid().setTextMatrix(1, 3, "00:00");
    grid().setTextMatrix(1, 15, "01:00");
    ASSERT_TRUE(w().SaveGrid());
    expectOnlyMessage(kBadTime);
    Records after = inFile();
    EXPECT_EQ(after[1]["Duration"] + after[1]["CreateTime"] + after[3]["CreateTime"], dur(2, 30) + kCreated + kNow);
    EXPECT_EQ(w().id(3, 1), 1);
    EXPECT_GT(w().id(15, 1), 16);
}

// A duration needs its row's three references (the time is checked first) and a person.
TEST_F(SaveTest, ARowBlocksTheSaveUntilItsReferencesAreChosen) {
    open();
    grid().setTextMatrix(14, 3, "24:00");
    check(std::string(kTooLong) + "11/30/26");
    grid().setTextMatrix(14, 3, "01:00");
    check("Please select a Customer:Job for every activity");
    choose(14, 0, "Delta Logistics"), choose(14, 1, "Project Management");  // the click commits the Customer:Job
    check("Please select a Service Item for every activity");
    choose(14, 2, "Commercial");
    check("Please select a Class for every activity");
    EXPECT_FALSE(w().SaveGrid());
    EXPECT_EQ(inFile().size(), 16u);
    arrowTo(14, 3);
    ASSERT_TRUE(w().SaveGrid());
    const int32_t id = w().id(3, 14);
    expectFields(inFile()[id], {{"CustJob ID", "103"}, {"Service ID", "15"}, {"Class ID", "3"}, {"Duration", dur(1, 0)}});
    w().m_lNameID = -1;
    grid().setTextMatrix(14, 3, "02:00");
    check("Please select a Name by clicking on the Name button.");
    EXPECT_FALSE(w().SaveGrid());
    EXPECT_EQ(inFile()[id]["Duration"], dur(1, 0));
    // Without a Timer file nothing is validated or saved, and nothing is said.
    win.reset();
    start().Grid.setRows(3);
    w().Grid.setTextMatrix(1, 3, "01:00");
    platform.messages.clear();
    EXPECT_FALSE(w().ValidateGrid() || w().SaveGrid());
    EXPECT_EQ(messages(), Texts{});
}

}  // namespace
