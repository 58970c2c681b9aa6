#!/usr/bin/env bash
# Makes the .deb, unpacks it into a scratch root, validates the menu entry, the
# software-centre description and the icons, and starts the unpacked program from
# the menu entry's command under Xvfb on a copy of the sample Timer file: its
# window shows, Help opens the installed manual, File > Exit ends it cleanly.
#   check_deb.sh BUILD_DIR SAMPLE.tdb
set -euo pipefail
build=$1 sample=$2 tmp=$(mktemp -d) pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; [ -z "${2:-}" ] || cat "$2"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || fail cpack "$tmp/cpack.log"
deb=$(echo "$tmp"/out/hourgrid_*.deb); [ -f "$deb" ] || fail "no hourgrid_*.deb in $tmp/out"
depends=$(dpkg-deb -f "$deb" Depends); echo "Depends: $depends"
for d in fonts-urw-base35 libqt6widgets6 libqt6printsupport6; do
  tr ',' '\n' <<<"$depends" | awk '{print $1}' | grep -qx "$d" || fail "$d missing from Depends"
done
apt-get install -s "$deb" >"$tmp/apt.log" 2>&1 || fail "the dependencies do not resolve" "$tmp/apt.log"
root=$tmp/root share=$tmp/root/usr/share; dpkg -x "$deb" "$root"
desktop-file-validate "$share/applications/org.example.hourgrid.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$share/metainfo/org.example.hourgrid.metainfo.xml" || fail "metainfo"
for s in 16 32 48 64 128 256; do
  file "$share/icons/hicolor/${s}x${s}/apps/hourgrid.png" | grep -q "PNG image data, $s x $s" || fail "no ${s}x${s} icon"
done
grep -q "<svg" "$share/icons/hicolor/scalable/apps/hourgrid.svg" || fail "no scalable icon"
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed; the installed program was not started"; exit 77; }
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" & pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] || ! kill -0 "${pids[0]}" 2>/dev/null && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "SKIP: Xvfb could not start; the program was not started: $(tail -n 2 "$tmp/xvfb.log")"; exit 77; }
export DISPLAY=:$(cat "$tmp/display")
# Settings of its own that point at a scratch copy of the sample; a stand-in for
# the desktop's file opener records what Help asks to show.
mkdir -p "$tmp/config/Hourgrid" "$tmp/home" "$tmp/bin" "$tmp/run" && chmod 700 "$tmp/run"
cp "$sample" "$tmp/sample.tdb"
printf '[Startup]\nFile=%s\n' "$tmp/sample.tdb" >"$tmp/config/Hourgrid/Hourgrid.conf"
printf '#!/bin/sh\necho "$@" >>%s\n' "$tmp/opened" >"$tmp/bin/xdg-open" && chmod +x "$tmp/bin/xdg-open"
env -u QT_QPA_PLATFORM HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" PATH="$root/usr/bin:$tmp/bin:$PATH" \
  $(sed -n 's/^Exec=//p' "$share/applications/org.example.hourgrid.desktop") >"$tmp/program.log" 2>&1 & program=$! pids+=($!)
wid=$(timeout 30 xdotool search --sync --all --onlyvisible --pid "$program" --name 'Hourgrid' | head -n 1) \
  || fail "no window within 30 s" "$tmp/program.log"
echo "window: $(xdotool getwindowname "$wid")"
xwininfo -id "$wid" | grep -q 'Map State: IsViewable' || fail "the window is not shown"
menu() { xdotool windowfocus --sync "$wid"; xdotool key --clearmodifiers "alt+$1"; sleep 0.5; xdotool key --clearmodifiers "$2"; }
menu h h
for _ in $(seq 100); do [ -s "$tmp/opened" ] && break; sleep 0.1; done; echo "help opened: $(cat "$tmp/opened" 2>/dev/null)"
grep -q "$share/hourgrid/help/index.html" "$tmp/opened" 2>/dev/null || fail "Help did not open the installed manual"
menu f e
for _ in $(seq 150); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "File > Exit did not end the program"
status=0; wait "$program" || status=$?
[ "$status" -eq 0 ] || fail "the program exited with status $status" "$tmp/program.log"
[ "$("$root/usr/bin/jetdb" check "$tmp/sample.tdb")" = ok ] || fail "the sample file is damaged after the run"
echo "PASS: the installed program started, showed its window and help, and exited cleanly"
