#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, only when missing.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
# fonts-urw-base35: a face with Arial's metrics (Nimbus Sans), which the grid's and dialogs' twips layouts fit.
# default-jre-headless and the two commons libraries: the Jackcess judge (third_party/jackcess) that checks files the engine wrote.
# xvfb, xdotool, x11-utils, desktop-file-utils, appstream, dpkg-dev, file: the package test (tests/package),
# which makes the .deb, validates it and starts the unpacked program under Xvfb.
# openbox and imagemagick (screenshots), with xvfb, xdotool and x11-utils (xwininfo, xprop): the desktop flows (tests/desktop).
# g++-mingw-w64-x86-64-posix, wine and wine64: the engine's Windows build and its tests (scripts/windows-test.sh);
# wine64 alone runs them, no i386 architecture needed.
for pkg in cmake g++ make ccache googletest libgtest-dev libbenchmark-dev clang mdbtools qt6-base-dev poppler-utils fonts-urw-base35 \
           default-jre-headless libcommons-lang3-java libcommons-logging-java \
           xvfb xdotool x11-utils desktop-file-utils appstream dpkg-dev file openbox imagemagick \
           g++-mingw-w64-x86-64-posix wine wine64; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
# Node.js may come from another packaging that bundles npm (Debian's npm would
# conflict with it), so the commands decide.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  need+=(nodejs npm)
fi
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# The second independent reader used as a test oracle.
if [ ! -d third_party/mdb-reader/node_modules/mdb-reader ]; then
  (cd third_party/mdb-reader && npm ci --no-audit --no-fund --silent)
fi
