// The program's own writes into a large Timer file, judged by Jackcess
// (third_party/jackcess/jv.sh): durations typed, cells emptied, the week cleared and time
// entered again, then the judge's check and its own writes into the file.
// Without Java the test is skipped, and fails when CI is set.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "grid_driver.h"

namespace {

std::string judge(const std::string& args, int& rc) {
    std::string out;
    if (FILE* p = ::popen((std::string(JUDGE_DIR) + "/jv.sh --quiet " + args + " 2>&1").c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        const int st = ::pclose(p);
        rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return out;
}

class JudgedWrites : public GridFixture {};

TEST_F(JudgedWrites, AWeekEditedClearedAndFilledAgainPassesTheJudge) {
    int rc = 0;
    judge("", rc);  // no file: usage error (2) when Java runs at all
    if (rc != 2) {
        const char* ci = std::getenv("CI");
        if (ci && *ci) FAIL() << "the judge cannot run (Java missing?): scripts/install-deps.sh installs it";
        GTEST_SKIP() << "the judge cannot run (Java missing?)";
    }
    openTimer("timer-big.tdb");
    ASSERT_GT(lastDataRow(), 1);
    int typed = 0, emptied = 0;
    for (int r = 1; r <= lastDataRow(); ++r) {
        if (cell(r, 0).empty()) continue;
        for (int d = 0; d < 7; ++d) {
            click(r, durCol(d));
            if (w().id(durCol(d), r) > 0 && (r + d) % 2) {
                w().TimeEntry.userEdited("");
                ++emptied;
            } else {
                w().TimeEntry.userEdited(std::to_string(1 + (r + d) % 5) + ":15");
                ++typed;
            }
            editorEnter();
        }
    }
    EXPECT_GT(emptied, 0);
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    w().EditMenuClear_Click();  // answered Yes twice
    for (int r = 1; r <= lastDataRow(); ++r)
        if (!cell(r, 0).empty()) typeAndEnter(r, durCol(r % 7), "0:45");
    win.reset();

    const std::string copy = timerPath + "-w.tdb";
    std::filesystem::copy_file(timerPath, copy);
    std::string out = judge("'" + timerPath + "'", rc);
    EXPECT_EQ(rc, 0) << out;
    out = judge("--write '" + copy + "'", rc);
    EXPECT_EQ(rc, 0) << out;
}

}  // namespace
