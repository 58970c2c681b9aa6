#!/usr/bin/env bash
# Builds the program and starts it.
#   scripts/run.sh            the program with your own settings (it asks for a Timer file at first start)
#   scripts/run.sh --sample   a copy of examples/sample.tdb, with settings of its own that point at it
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target hourgrid

if [ "${1:-}" = "--sample" ]; then
  # The program writes into the file it shows: it gets a copy, kept between runs
  # (delete the folder to start again), and the user's own settings stay untouched.
  sample="${XDG_DATA_HOME:-$HOME/.local/share}/hourgrid-sample"
  mkdir -p "$sample/config/Hourgrid"
  [ -f "$sample/sample.tdb" ] || cp examples/sample.tdb "$sample/sample.tdb"
  conf="$sample/config/Hourgrid/Hourgrid.conf"
  [ -f "$conf" ] || printf '[Startup]\nFile=%s\n' "$sample/sample.tdb" >"$conf"
  export XDG_CONFIG_HOME="$sample/config"
  echo "Timer file: $sample/sample.tdb"
fi
exec build/hourgrid
