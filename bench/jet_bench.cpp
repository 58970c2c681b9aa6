// Timings on a large Timer file: open + full scan, the "All Activities" query and
// primary-key lookups. `--scan-only` does one open + scan and prints the peak RSS,
// so memory can be measured without the other phases inflating it.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/query.h"
#include "jet/table.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

size_t openAndScan(const std::string& path) {
    auto db = jet::Database::open(path);
    auto t = db->table("Activities");
    size_t n = 0;
    auto cur = t->scan();
    while (cur.next()) ++n;
    return n;
}

// Processor time of this process: on a shared machine the wall clock also counts waiting for a core.
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

}  // namespace

int main(int argc, char** argv) {
    std::string path = HOURGRID_BENCH_FILE;
    bool scanOnly = false, queryOnly = false;
    int reps = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--scan-only"))
            scanOnly = true;
        else if (!std::strcmp(argv[i], "--query-only"))
            queryOnly = true;
        else if (!std::strcmp(argv[i], "--reps") && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else
            path = argv[i];
    }
    try {
        if (scanOnly) {
            size_t n = openAndScan(path);
            std::printf("rows=%zu\npeak_rss_kib=%ld\n", n, peakRssKiB());
            return 0;
        }

        double best = 1e300;
        size_t rows = 0;
        for (int r = 0; r < (queryOnly ? 0 : reps); ++r) {
            auto t0 = Clock::now();
            rows = openAndScan(path);
            best = std::min(best, msSince(t0));
        }
        if (!queryOnly) std::printf("scan_rows=%zu\nscan_ms=%.2f\n", rows, best);

        auto db = jet::Database::open(path);
        std::vector<double> qtimes, qcpu;
        size_t qrows = 0;
        for (int r = 0; r < reps; ++r) {
            auto t0 = Clock::now();
            const double c0 = cpuMs();
            auto rs = jet::runNamed(*db, "All Activities");
            qtimes.push_back(msSince(t0));
            qcpu.push_back(cpuMs() - c0);
            qrows = rs.rows.size();
        }
        std::sort(qtimes.begin(), qtimes.end());
        std::sort(qcpu.begin(), qcpu.end());
        std::printf("query_rows=%zu\nquery_ms=%.2f\nquery_cpu_ms=%.2f\nquery_runs=%d\n", qrows,
                    qtimes[qtimes.size() / 2], qcpu[qcpu.size() / 2], reps);
        if (queryOnly) return 0;

        auto t = db->table("Activities");
        const jet::Index* pk = t->primaryKey();
        if (!pk) throw jet::Error("Activities has no primary key");
        int idCol = t->columnIndex("ID");
        std::vector<int32_t> ids;
        for (auto cur = t->scan({idCol}); cur.next();) ids.push_back(cur.row()[idCol].asInt32());
        std::mt19937 rng(7);
        std::shuffle(ids.begin(), ids.end(), rng);
        const size_t lookups = std::min<size_t>(ids.size(), 20000);
        size_t found = 0;
        auto t0 = Clock::now();
        for (size_t i = 0; i < lookups; ++i) {
            auto hits = t->seek(*pk, {jet::Value::int32(ids[i])});
            if (hits.size() == 1 && t->readRow(hits[0])) ++found;
        }
        double us = msSince(t0) * 1000.0 / static_cast<double>(std::max<size_t>(lookups, 1));
        std::printf("lookups=%zu\nlookups_found=%zu\nlookup_us=%.2f\n", lookups, found, us);
        return found == lookups ? 0 : 1;
    } catch (const jet::Error& e) {
        std::fprintf(stderr, "jet_bench: %s\n", e.what());
        return 1;
    }
}
