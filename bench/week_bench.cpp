// The week grid on a large Timer file, as the user meets it: showing a week of
// "Employee 07" (SetMonday, from the button press to the filled grid) and saving
// a full week (SaveGrid), on a temporary copy of the file. Prints figures; it
// is not a test.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/hourgrid.h"
#include "app/settings.h"
#include "jet/table.h"
#include "ui/platform.h"

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

double msSince(Steady::time_point t0) { return std::chrono::duration<double, std::milli>(Steady::now() - t0).count(); }

// Processor time of the process, steadier than wall time on a busy machine.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

long peakRssKiB() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// Answers every message box with its first button and counts them; no dialogs.
class QuietPlatform : public ui::Platform {
public:
    int messages = 0;
    std::string lastMessage;
    ui::Answer messageBox(const std::string& text, ui::Buttons b, ui::Icon, const std::string&) override {
        ++messages;
        lastMessage = text;
        if (std::getenv("WEEK_BENCH_VERBOSE")) std::fprintf(stderr, "message: %s\n", text.c_str());
        return b == ui::Buttons::YesNo || b == ui::Buttons::YesNoCancel ? ui::Answer::Yes : ui::Answer::OK;
    }
    std::optional<std::string> showOpen(const ui::OpenFileRequest&) override { return std::nullopt; }
    std::optional<ui::Font> showFont(const ui::Font&) override { return std::nullopt; }
    void showModal(ui::Form& f, ui::Form*) override { f.raiseShown(); }
    void show(ui::Form& f) override { f.viewShown(); }
    void hide(ui::Form& f) override { f.viewHidden(); }
    void endProgram() override {}
    std::string defaultPrinterName() override { return "Bench Printer"; }
    void showHelpContents(const std::string&) override {}
};

class MemorySettings : public app::SettingsStore {
public:
    std::map<std::string, std::string> values;
    std::string get(const std::string& k, const std::string& def) override {
        auto it = values.find(k);
        return it == values.end() ? def : it->second;
    }
    void set(const std::string& k, const std::string& v) override { values[k] = v; }
    // The one backup of the day lands in a scratch folder, before the timed runs.
    std::string folder() override { return (std::filesystem::temp_directory_path() / "hourgrid-bench").string(); }
};

struct Stats {
    double median = 0, p90 = 0, max = 0;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    Stats s;
    if (v.empty()) return s;
    s.median = v[v.size() / 2];
    s.p90 = v[std::min(v.size() - 1, v.size() * 9 / 10)];
    s.max = v.back();
    return s;
}

int filledCells(const app::Hourgrid& w) {
    int n = 0;
    for (int r = 1; r <= w.Grid.rows() - 2; ++r)
        for (int c = 3; c <= 21; c += 3) n += !w.Grid.textMatrix(r, c).empty();
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    std::string source = argc > 1 ? argv[1] : HOURGRID_BENCH_FILE;
    int weeks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 26;

    char tmpl[] = "/tmp/hourgrid-week-bench-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    fs::path dir = tmpl;
    fs::path copy = dir / "timer-big.tdb";
    fs::copy_file(source, copy);

    int rc = 0;
    {
        // Today as in the tests: Sunday 12/06/2026, the last month of the file's activities.
        app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
        QuietPlatform platform;
        MemorySettings settings;
        settings.values["File"] = copy.string();
        app::Hourgrid w(platform, settings);

        auto t0 = Steady::now();
        w.Form_Load();
        double loadMs = msSince(t0);
        if (!w.m_bDbOpen || w.m_lNameID < 0) {
            std::fprintf(stderr, "the file did not open for a person: %s\n", platform.lastMessage.c_str());
            rc = 1;
        } else {
            std::printf("person=%s\nload_ms=%.2f\n", w.sbStatusBar.panelText(2).c_str(), loadMs);

            // Showing: SetMonday over consecutive weeks, each a freshly filled grid.
            std::vector<double> show, showCpu;
            int cells = 0, rows = 0;
            QDate monday(2026, 11, 30);
            for (int i = 0; i < weeks; ++i, monday = monday.addDays(-7)) {
                std::string text = monday.toString("MM/dd/yyyy").toStdString();
                auto s0 = Steady::now();
                double c0 = cpuMs();
                w.SetMonday(text);
                show.push_back(msSince(s0));
                showCpu.push_back(cpuMs() - c0);
                cells += filledCells(w);
                rows += w.Grid.rows();
            }
            Stats sh = stats(show);
            std::printf("show_weeks=%d\nshow_cells_per_week=%.1f\nshow_rows_per_week=%.1f\n", weeks,
                        double(cells) / weeks, double(rows) / weeks);
            std::printf("show_median_ms=%.2f\nshow_p90_ms=%.2f\nshow_max_ms=%.2f\nshow_median_cpu_ms=%.2f\n", sh.median,
                        sh.p90, sh.max, stats(showCpu).median);
            std::printf("peak_rss_after_show_kib=%ld\n", peakRssKiB());

            // Saving: SaveGrid of a full week (every activity rewritten), repeated.
            w.SetMonday("11/30/2026");
            int saveCells = filledCells(w);
            std::vector<double> save, saveCpu;
            for (int i = 0; i < weeks; ++i) {
                // A later moment for each save, so that every save really changes the records.
                app::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(10, 1 + i % 59)));
                auto s0 = Steady::now();
                double c0 = cpuMs();
                bool ok = w.SaveGrid();
                save.push_back(msSince(s0));
                saveCpu.push_back(cpuMs() - c0);
                if (!ok) {
                    std::fprintf(stderr, "SaveGrid failed: %s\n", platform.lastMessage.c_str());
                    rc = 1;
                    break;
                }
            }
            // The saves reached the file: every activity of the week carries the save's CreateTime.
            int rewritten = 0;
            {
                auto t = w.m_db->engine().table("Activities");
                int ct = t->columnIndex("CreateTime");
                for (int r = 1; r <= w.Grid.rows() - 2; ++r)
                    for (int c = 3; c <= 21; c += 3) {
                        int32_t id = w.id(c, r);
                        if (id <= 0) continue;
                        auto hits = t->seek(*t->primaryKey(), {jet::Value::int32(id)});
                        if (!hits.empty()) {
                            auto row = t->readRow(hits[0]);
                            rewritten += row && (*row)[static_cast<size_t>(ct)].toDouble() == app::Clock::nowDays();
                        }
                    }
            }
            std::printf("save_rewritten=%d\n", rewritten);
            Stats sv = stats(save);
            std::printf("save_cells=%d\nsave_median_ms=%.2f\nsave_p90_ms=%.2f\nsave_max_ms=%.2f\nsave_median_cpu_ms=%.2f\n",
                        saveCells, sv.median, sv.p90, sv.max, stats(saveCpu).median);

            // The whole button press: leave-cell, validation, saving the week left, showing the next.
            std::vector<double> press;
            for (int i = 0; i < weeks; ++i) {
                auto s0 = Steady::now();
                w.tbToolBar_ButtonClick("BackWeek");
                press.push_back(msSince(s0));
            }
            Stats pr = stats(press);
            std::printf("press_median_ms=%.2f\npress_p90_ms=%.2f\npress_max_ms=%.2f\n", pr.median, pr.p90, pr.max);
            std::printf("messages=%d\n", platform.messages);
        }
        std::printf("peak_rss_kib=%ld\n", peakRssKiB());
    }
    fs::remove_all(dir);
    return rc;
}
