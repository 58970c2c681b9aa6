#!/usr/bin/env bash
# Builds the benchmarks and jetdb in Release and prints their figures beside the
# independent readers' (mdb-export, mdb-reader) on the same file, in the same run.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build-bench}"
FILE="${1:-$ROOT/tests/data/timer/timer-big.tdb}"

LOG="$BUILD.log"
if ! { cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DHOURGRID_TESTS=OFF &&
       cmake --build "$BUILD" --target jet_bench jetdb -j2; } >"$LOG" 2>&1; then
    tail -40 "$LOG"; echo "build failed (full log: $LOG)" >&2; exit 1
fi
BENCH="$BUILD/bench/jet_bench"

# Wall-clock times read from bash's own clock, so no process is started inside a
# timed interval (forking `date` there added milliseconds to every figure).
elapsed_ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) * 1000 }'; }

# Best of three wall-clock runs of a command, in milliseconds.
best_ms() {
    local best="" t0 t1 d
    for _ in 1 2 3; do
        t0=$EPOCHREALTIME; "$@" >/dev/null; t1=$EPOCHREALTIME
        d=$(elapsed_ms "$t0" "$t1")
        if [[ -z "$best" ]] || awk -v d="$d" -v b="$best" 'BEGIN { exit !(d < b) }'; then best=$d; fi
    done
    echo "$best"
}

# Median wall-clock time of N runs of a command, in milliseconds.
median_ms() {
    local n=$1 t0 t1
    shift
    local times=()
    for ((i = 0; i < n; i++)); do
        t0=$EPOCHREALTIME; "$@" >/dev/null; t1=$EPOCHREALTIME
        times+=("$(elapsed_ms "$t0" "$t1")")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

echo "file: $FILE"

# Export as a user runs it: whole processes, output to a pipe, median of five each.
JETDB="$BUILD/tools/jetdb/jetdb"
EXPORT_JETDB=$(median_ms 11 "$JETDB" export "$FILE" Activities)
EXPORT_MDB=$(median_ms 11 mdb-export "$FILE" Activities)
echo "export Activities, whole process (median of 11): jetdb $EXPORT_JETDB ms, mdb-export $EXPORT_MDB ms"
if command -v node >/dev/null && [[ -d "$ROOT/third_party/mdb-reader/node_modules/mdb-reader" ]]; then
    EXPORT_READER=$(median_ms 5 node "$ROOT/bench/mdb_reader_read.mjs" "$FILE" Activities)
    echo "mdb-reader reading Activities, whole process (median of 5): $EXPORT_READER ms"
fi
awk -v m="$EXPORT_MDB" -v j="$EXPORT_JETDB" 'BEGIN { printf "export speed-up vs mdb-export: %.1fx (goal >= 8x)\n", m / j }'
OUT="$("$BENCH" "$FILE")"
val() { echo "$OUT" | sed -n "s/^$1=//p"; }
SCAN=$(val scan_ms)
echo "open + scan Activities (in process): $SCAN ms for $(val scan_rows) rows"
echo "\"All Activities\" query:            $(val query_ms) ms for $(val query_rows) rows (median of $(val query_runs); $(val query_cpu_ms) ms processor time; goal < 100 ms)"
echo "primary-key lookup (seek + read):   $(val lookup_us) us each over $(val lookups) ids ($(val lookups_found) found)"

PROC=$(best_ms "$BENCH" --scan-only "$FILE")
MDB=$(best_ms mdb-export "$FILE" Activities)
echo "jet_bench --scan-only process:      $PROC ms"
echo "mdb-export Activities process:      $MDB ms"
awk -v m="$MDB" -v s="$SCAN" -v p="$PROC" 'BEGIN {
    printf "speed-up vs mdb-export: %.1fx (in-process scan), %.1fx (whole process)\n", m / s, m / p }'

RSS=$("$BENCH" --scan-only "$FILE" | sed -n 's/^peak_rss_kib=//p')
TIMERSS=$(/usr/bin/time -f %M "$BENCH" --scan-only "$FILE" 2>&1 >/dev/null | tail -1)
awk -v r="$RSS" -v t="$TIMERSS" 'BEGIN { printf "scan peak memory: %.1f MiB (getrusage), %.1f MiB (/usr/bin/time)\n", r / 1024, t / 1024 }'
echo "targets: scan >= 3x faster than mdb-export, lookup < 50 us, scan peak memory < 64 MiB"

# Writes, on a copy of the file (write_bench makes and removes its own).
if ! cmake --build "$BUILD" --target write_bench -j2 >>"$LOG" 2>&1; then
    tail -40 "$LOG"; echo "build of write_bench failed (full log: $LOG)" >&2; exit 1
fi
WOUT="$("$BUILD/bench/write_bench" "$FILE")"
wval() { echo "$WOUT" | sed -n "s/^$1=//p"; }
# Two more insert runs for a median of three (one week save, no growth runs).
INS=("$(wval insert_ms)")
INSCPU=("$(wval insert_cpu_ms)")
for _ in 1 2; do
    O="$("$BUILD/bench/write_bench" "$FILE" 1 0)"
    INS+=("$(echo "$O" | sed -n 's/^insert_ms=//p')")
    INSCPU+=("$(echo "$O" | sed -n 's/^insert_cpu_ms=//p')")
done
mid() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
echo "insert $(wval insert_rows) activities (one transaction, median of 3): $(mid "${INS[@]}") ms ($(mid "${INSCPU[@]}") ms processor time; goal < 100 ms)"
echo "update $(wval update_rows) activities by ID (one transaction): $(wval update_ms) ms ($(wval update_cpu_ms) ms processor time)"
echo "save a week (70 updates by ID, one transaction, synced): median $(wval week_median_ms) ms, p90 $(wval week_p90_ms) ms over $(wval week_runs) runs (median processor time $(wval week_median_cpu_ms) ms)"
echo "save a week through UPDATE statements: median $(wval week_sql_median_ms) ms"
echo "file size over $(wval growth_saves) week saves: $(wval size_before) -> $(wval size_after) bytes"
echo "targets: week save < 20 ms median, no growth"

# The week grid as the program shows and saves it (week_bench works on its own copy of the file).
if ! cmake --build "$BUILD" --target week_bench -j2 >>"$LOG" 2>&1; then
    tail -40 "$LOG"; echo "build of week_bench failed (full log: $LOG)" >&2; exit 1
fi
KOUT="$("$BUILD/bench/week_bench" "$FILE")"
kval() { echo "$KOUT" | sed -n "s/^$1=//p"; }
echo "show a week of $(kval person) (SetMonday, $(kval show_rows_per_week) rows, $(kval show_cells_per_week) activities): median $(kval show_median_ms) ms, p90 $(kval show_p90_ms) ms (median processor time $(kval show_median_cpu_ms) ms)"
echo "save a full week (SaveGrid, $(kval save_cells) activities, one transaction): median $(kval save_median_ms) ms, p90 $(kval save_p90_ms) ms (median processor time $(kval save_median_cpu_ms) ms)"
echo "Back one week press (validate, save, show): median $(kval press_median_ms) ms"
awk -v a="$(kval peak_rss_after_show_kib)" -v p="$(kval peak_rss_kib)" 'BEGIN {
    printf "peak memory: %.1f MiB after showing weeks, %.1f MiB at the end\n", a / 1024, p / 1024 }'
echo "targets: show < 100 ms, save < 30 ms, memory < 80 MiB"
