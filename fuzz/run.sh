#!/usr/bin/env bash
# Builds the fuzz target with clang and runs it seeded with the smaller test databases.
# Usage: fuzz/run.sh [seconds] [extra libFuzzer flags...]; crashes land in fuzz/regressions/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build-fuzz}"
SECS="${1:-60}"; shift || true

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOURGRID_FUZZ=ON \
    -DHOURGRID_TESTS=OFF -DHOURGRID_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target fuzz_open -j2 >/dev/null

CORPUS="$BUILD/corpus"
mkdir -p "$CORPUS"
# Large files make each run slow; the small ones cover the same structures.
find "$ROOT/tests/data" -type f -size -400k -exec cp -n {} "$CORPUS/" \;

"$BUILD/fuzz/fuzz_open" "$CORPUS" -max_len=400000 -rss_limit_mb=2048 -timeout=10 \
    -max_total_time="$SECS" -artifact_prefix="$ROOT/fuzz/regressions/" -print_final_stats=1 "$@"
