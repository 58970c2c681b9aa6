#!/usr/bin/env bash
# Builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
if [ -x build/src/app/hourgrid ]; then
  exec build/src/app/hourgrid "$@"
fi
# Until the desktop program is built, show what the engine reads from the sample file.
build/tools/jetdb/jetdb info examples/sample.tdb
build/tools/jetdb/jetdb export examples/sample.tdb "All Activities"
