// Write timings on a copy of a large Timer file: bulk inserts, updates found
// through the primary key, and the program's "save a week" (70 updates in one
// transaction, syncs included), plus the file's growth over many week saves.
// Prints key=value lines; run.sh turns them into sentences.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/query.h"
#include "jet/table.h"

namespace {

using Clock = std::chrono::steady_clock;
using jet::Value;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Processor time of this process: on a machine shared with other jobs the wall
// clock also counts the time spent waiting for a core.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Cols {
    int id, name, custJob, service, cls, payroll, userDate, createTime, duration, billable, note, exported;
    explicit Cols(const jet::Table& t)
        : id(t.columnIndex("ID")), name(t.columnIndex("Name ID")), custJob(t.columnIndex("CustJob ID")),
          service(t.columnIndex("Service ID")), cls(t.columnIndex("Class ID")), payroll(t.columnIndex("Payroll Item ID")),
          userDate(t.columnIndex("UserDate")), createTime(t.columnIndex("CreateTime")), duration(t.columnIndex("Duration")),
          billable(t.columnIndex("Billable Status")), note(t.columnIndex("Note")), exported(t.columnIndex("Exported")) {}
};

std::vector<jet::RowId> seekId(const jet::Table& t, int32_t id) {
    const jet::Index* pk = t.primaryKey();
    if (!pk) throw jet::Error("Activities has no primary key");
    return t.seek(*pk, {Value::int32(id)});
}

}  // namespace

int main(int argc, char** argv) {
    std::string source = argc > 1 ? argv[1] : HOURGRID_BENCH_FILE;
    int weekRuns = argc > 2 ? std::atoi(argv[2]) : 200;
    int growthSaves = argc > 3 ? std::atoi(argv[3]) : 1000;
    char tmpl[] = "/tmp/hourgrid-wbench-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = tmpl;
    const std::string path = dir + "/bench.tdb";
    int rc = 0;
    try {
        std::filesystem::copy_file(source, path);
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        auto db = jet::Database::open(path, jet::OpenMode::Exclusive);
        const Cols c(*db->table("Activities"));
        std::mt19937 rng(7);

        // Bulk insert in one transaction.
        const int kInserts = 10000;
        auto t0 = Clock::now();
        double c0 = cpuMs();
        db->beginTransaction();
        int32_t firstNew = 0;
        for (int i = 0; i < kInserts; ++i) {
            jet::FieldValues v{{c.name, Value::int32(200 + i % 40)},
                               {c.custJob, Value::int32(100 + i % 300)},
                               {c.service, Value::int32(10 + i % 7)},
                               {c.cls, Value::int32(3 + i % 4)},
                               {c.payroll, Value::int16(2)},
                               {c.userDate, Value::date(46357 + i % 30)},
                               {c.createTime, Value::date(46360.5)},
                               {c.duration, Value::date((i % 480) / 1440.0)},
                               {c.billable, Value::boolean(i % 2)},
                               {c.note, i % 3 ? Value::text("Bench note " + std::to_string(i)) : Value()},
                               {c.exported, Value::boolean(false)}};
            jet::Row stored;
            db->insertRow("Activities", v, &stored);
            if (i == 0) firstNew = stored[static_cast<size_t>(c.id)].asInt32();
        }
        db->commitTransaction();
        const double insertMs = msSince(t0);
        std::printf("insert_rows=%d\ninsert_ms=%.1f\ninsert_cpu_ms=%.1f\n", kInserts, insertMs, cpuMs() - c0);

        // Updates by ID through the primary key, one transaction.
        auto t = db->table("Activities");
        const uint32_t rows = t->rowCount();
        const int32_t maxId = firstNew + kInserts - 1;
        std::uniform_int_distribution<int32_t> pick(1, maxId);
        t0 = Clock::now();
        c0 = cpuMs();
        db->beginTransaction();
        int updated = 0;
        for (int i = 0; i < 10000; ++i) {
            auto ids = seekId(*db->table("Activities"), pick(rng));
            if (ids.empty()) continue;
            db->updateRow("Activities", ids.front(), {{c.duration, Value::date((i % 600) / 1440.0)}});
            ++updated;
        }
        db->commitTransaction();
        std::printf("update_rows=%d\nupdate_ms=%.1f\nupdate_cpu_ms=%.1f\nrows_total=%u\n", updated, msSince(t0),
                    cpuMs() - c0, rows);

        // Save a week: 70 activities of one person found by ID and rewritten in one transaction.
        std::vector<int32_t> week;
        for (int32_t id = firstNew; id < firstNew + 70; ++id) week.push_back(id);
        auto saveWeek = [&](int run) {
            db->beginTransaction();
            auto table = db->table("Activities");
            for (size_t k = 0; k < week.size(); ++k) {
                auto ids = seekId(*table, week[k]);
                if (ids.empty()) throw jet::Error("week row " + std::to_string(week[k]) + " vanished");
                const int v = (run + static_cast<int>(k)) % 97;
                db->updateRow("Activities", ids.front(),
                              {{c.duration, Value::date(v / 1440.0)},
                               {c.billable, Value::boolean(v % 2)},
                               {c.note, v % 5 ? Value::text(std::string(static_cast<size_t>(v), 'n')) : Value()}});
            }
            db->commitTransaction();
        };
        std::vector<double> times, cpu;
        for (int r = 0; r < weekRuns; ++r) {
            t0 = Clock::now();
            c0 = cpuMs();
            saveWeek(r);
            times.push_back(msSince(t0));
            cpu.push_back(cpuMs() - c0);
        }
        std::sort(times.begin(), times.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("week_runs=%d\nweek_median_ms=%.2f\nweek_p90_ms=%.2f\nweek_median_cpu_ms=%.2f\n", weekRuns,
                    times[times.size() / 2], times[times.size() * 9 / 10], cpu[cpu.size() / 2]);

        // Growth: after the first saves have settled every row's size, many more must not add pages.
        const auto before = std::filesystem::file_size(path);
        for (int r = 0; r < growthSaves; ++r) saveWeek(weekRuns + r);
        const auto after = std::filesystem::file_size(path);
        std::printf("growth_saves=%d\nsize_before=%ju\nsize_after=%ju\n", growthSaves, static_cast<uintmax_t>(before),
                    static_cast<uintmax_t>(after));

        // The same week save through SQL statements.
        times.clear();
        for (int r = 0; r < std::min(weekRuns, 50); ++r) {
            t0 = Clock::now();
            db->beginTransaction();
            for (size_t k = 0; k < week.size(); ++k)
                jet::execSql(*db, "UPDATE Activities SET Duration = [D] WHERE ID = [I]",
                             {{"D", Value::date(((r + static_cast<int>(k)) % 97) / 1440.0)}, {"I", Value::int32(week[k])}});
            db->commitTransaction();
            times.push_back(msSince(t0));
        }
        std::sort(times.begin(), times.end());
        std::printf("week_sql_median_ms=%.2f\n", times[times.size() / 2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "write_bench: %s\n", e.what());
        rc = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
