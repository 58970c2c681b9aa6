// The program's writes into a large Timer file judged by Jackcess (skipped without Java; under CI that fails).
#include "grid_driver.h"

namespace {
int judge(const std::string& args, std::string& out) {  // the judge's exit code; its report in `out`
    out = testfiles::output(std::string(JUDGE_DIR) + "/jv.sh --quiet " + args + " 2>&1; printf '\\n%d\\n' $?");
    const size_t last = out.find_last_not_of('\n'), start = out.find_last_of('\n', last) + 1;  // npos + 1 is 0
    return last == std::string::npos ? -1 : std::stoi(out.substr(start));
}

TEST_F(Week, AWeekEditedClearedAndFilledAgainPassesTheJudge) {
    std::string out;
    if (judge("", out) != 2) {  // no file: a usage error when Java runs at all
        if (const char* ci = std::getenv("CI"); ci && *ci) FAIL() << "the judge cannot run (Java missing?): scripts/install-deps.sh installs it";
        GTEST_SKIP() << "the judge cannot run (Java missing?)";
    }
    load(timerPath = copyTimer("timer-big.tdb"));
    ASSERT_GT(lastRow(), 1);
    int emptied = 0;
    for (int r = 1; r <= lastRow(); ++r)
        for (int d = 0; d < 7 && !cell(r, 0).empty(); ++d) {
            const bool empty = w().id(durCol(d), r) > 0 && (r + d) % 2;
            emptied += empty, entry(r, durCol(d), empty ? "" : std::to_string(1 + (r + d) % 5) + ":15");
        }
    EXPECT_GT(emptied, 0);
    EXPECT_EQ(messages(), Texts{});
    w().EditMenuClear_Click();  // answered Yes twice
    for (int r = 1; r <= lastRow(); ++r)
        if (!cell(r, 0).empty()) entry(r, durCol(r % 7), "0:45");
    win.reset();
    std::filesystem::copy_file(timerPath, timerPath + "-w.tdb");
    EXPECT_EQ(judge("'" + timerPath + "'", out), 0) << out;
    EXPECT_EQ(judge("--write '" + timerPath + "-w.tdb'", out), 0) << out;
}
}  // namespace
