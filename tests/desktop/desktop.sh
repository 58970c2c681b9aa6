# The real program under Xvfb and openbox, driven with xdotool, its file read with mdb-export; sourced by NAME_flow.sh.
set -euo pipefail
skip() { echo "SKIP: $*"; exit 77; }
: "${HOURGRID:?HOURGRID names the program}" "${TEST_DATA_DIR:?}"
for tool in Xvfb openbox xdotool xwininfo xprop mdb-export; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done
WORK=$(mktemp -d /tmp/hourgrid-desktop.XXXXXX) SHOTS=${SHOTS:-/tmp} FAILED=0 PIDS=()
export XDG_CONFIG_HOME=$WORK/config LC_ALL=C.UTF-8 LANG=C.UTF-8
unset QT_QPA_PLATFORM QT_SCALE_FACTOR WAYLAND_DISPLAY
CONF=$XDG_CONFIG_HOME/Hourgrid/Hourgrid.conf; mkdir -p "$(dirname "$CONF")"
cleanup() {
  local rc=$? i
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true; rm -rf "$WORK"
  [ "$rc" = 0 ] && exit "$FAILED" || exit "$rc"
}
trap cleanup EXIT
start_x() {
  SCALE=${1:-1}; mkfifo "$WORK/display"
  Xvfb -displayfd 3 -screen 0 "$((1280 * SCALE))x$((800 * SCALE))x24" -dpi $((96 * SCALE)) -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" & PIDS+=($!)
  local n; read -r -t 15 n <"$WORK/display" || skip "no X server could be started (Xvfb: $(tail -1 "$WORK/xvfb.log"))"
  export DISPLAY=:$n
  openbox --sm-disable >"$WORK/openbox.log" 2>&1 & PIDS+=($!)
  # Up to 30 s: beside a judge run's Java on two cores openbox has taken over 10.
  for _ in $(seq 300); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0; sleep 0.1; done
  echo "openbox did not start: $(tail -1 "$WORK/openbox.log")"; exit 1
}
set_setting() { printf '%s=%s\n' "$1" "$2" >>"$WORK/settings"; }
setting() { sed -n "s/^$1=//p" "$CONF" | tail -1; }
start_program() {
  FILE=$WORK/$(basename "$1")
  [ -f "$FILE" ] || cp "$1" "$FILE"
  [ -f "$CONF" ] || { echo "[Startup]"; echo "File=$FILE"; cat "$WORK/settings" 2>/dev/null || true; } >"$CONF"
  env ${SCALE:+QT_SCALE_FACTOR=$SCALE} "$HOURGRID" >>"$WORK/program.log" 2>&1 & PROGRAM=$! PIDS+=($!)
  MAIN=$(wait_window "Hourgrid for QuickBooks Pro ® - $FILE"); sleep 0.5  # the window manager's frame and the first paint
}
begin() { start_x "${2:-1}"; start_program "$TEST_DATA_DIR/timer/$1"; }
wait_window() {
  local id; for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$(printf '%s' "$1" | sed 's/[][\.*^$()+?{|]/\\&/g')\$" 2>/dev/null | head -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "${PROGRAM:-0}" 2>/dev/null || { echo "the program ended" >&2; return 1; }
    sleep 0.1
  done
  echo "no window \"$1\"" >&2; return 1
}
# The client's place and size widened by the frame the window manager reports.
frame_geometry() {
  local l r t b; IFS=', ' read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= *//; /[^0-9, ]/s/.*/0, 0, 0, 0/')
  xwininfo -id "$1" | awk -v l="$l" -v r="$r" -v t="$t" -v b="$b" '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /^ *Width/{w=$NF} /^ *Height/{h=$NF} END{print x - l, y - t, w + l + r, h + t + b}'
}
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
type_text() { xdotool type --delay 40 "$1"; sleep 0.2; }
click_at() {
  local o; o=($(xwininfo -id "$MAIN" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} END{print x, y}'))
  xdotool mousemove $((o[0] + $1)) $((o[1] + $2)) click 1; sleep 0.3
}
# Columns at the default widths: COL's middle, or with "left" its first pixels right of the grid line.
col_x() {
  local s=${SCALE:-1} widths=(1500 1200 1100) c x=0
  for ((c = 0; c < 7; c++)); do widths+=(500 200 200); done
  for ((c = 0; c < $1; c++)); do x=$((x + widths[c] * s / 15)); done
  if [ "${2:-}" = left ]; then echo $((4 * s + 2 + x + s)); else echo $((4 * s + 1 + x + widths[$1] * s / 30)); fi
}
# Rows measured on screen left of Monday's N column, where no text is drawn: the grid's top edge and the
# heading's bottom edge are its first two dark lines, the next light line ends row 1.
row_y() {
  import -window "$MAIN" "$WORK/grid.png" 2>/dev/null
  convert "$WORK/grid.png" -crop "1x$((600 * ${SCALE:-1}))+$(col_x 5 left)+0" -colorspace gray -depth 8 txt:- |
    awk -v row="$1" 'NR > 1 { split($1, a, /[,:]/); y = a[2]; v = $2; gsub(/[()]/, "", v); v += 0
           if (n < 2 && v < 190) { if (y > last + 1) edge[++n] = y; last = y; next }
           if (n == 2 && v < 252 && y > edge[2] + 3) { h = y - edge[2]; exit } }
         END { if (!h) exit 1; print row == 0 ? int((edge[1] + edge[2]) / 2) : edge[2] + (row - 1) * h + int(h / 2) }'
}
click_cell() { click_at "$(col_x "$2")" "$(row_y "$1")"; }
activities() { mdb-export "$FILE" Activities; }
activity_matches() { activities | grep -qE "$1"; }
added_since() { activities | grep -vxF -f <(printf '%s\n' "$1") || true; }
shot() { mkdir -p "$SHOTS"; import -window root "$SHOTS/$1.png"; }
# On a loaded machine the key can reach the window before the window manager has
# given it focus; a second Alt+F4 goes only when no message box has come up since.
close_program() {
  for _ in 1 2; do
    xdotool windowactivate --sync "$MAIN" 2>/dev/null || true; keys alt+F4
    program_ended && return 0
    xdotool search --onlyvisible --name '^Hourgrid$' >/dev/null 2>&1 && break
  done
  echo "the program did not end; its output:"; tail -5 "$WORK/program.log"; return 1
}
program_ended() { for _ in $(seq 200); do kill -0 "$PROGRAM" 2>/dev/null || return 0; sleep 0.1; done; return 1; }
show_week() { keys alt+e d; wait_window "Select Start Date" >/dev/null; keys ctrl+a; type_text "$1"; keys Return; sleep 0.5; }
close_any_box() {
  sleep 0.5; for _ in $(seq 5); do xdotool search --onlyvisible --name '^Hourgrid$' >/dev/null 2>&1 && { keys Return; return 0; }; sleep 0.1; done
}
box() {
  local id; id=$(wait_window Hourgrid) || return 1
  xdotool windowactivate --sync "$id" 2>/dev/null || true; sleep 0.3; shot "$1"
}
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; FAILED=1; fi; }
near() { local d=$(($1 - $2)); [ "${d#-}" -le "$3" ]; }
both_near() { near "$1" "$2" "$5" && near "$3" "$4" "$5"; }
# The frame of window ID lies on the screen and is centred within TOL pixels.
frame_on_screen() {
  local x y w h sw sh; read -r x y w h < <(frame_geometry "$2"); read -r sw sh < <(xdotool getdisplaygeometry)
  check "$1: frame ${w}x$h at $x,$y lies on the ${sw}x$sh screen" [ "$x" -ge 0 -a "$y" -ge 0 -a $((x + w)) -le "$sw" -a $((y + h)) -le "$sh" ]
  check "$1: frame centred on the screen" both_near $((2 * x + w)) "$sw" $((2 * y + h)) "$sh" "$3"
}
# Window ID can be neither maximised nor resized, and is transient for the main window.
fixed_and_owned() {
  check "$1 can be neither maximised nor resized" [ -z "$(xprop -id "$2" _NET_WM_ALLOWED_ACTIONS | grep -E 'MAXIMIZE|RESIZE')" ]
  check "$1 belongs to the main window" [ "$(xprop -id "$2" WM_TRANSIENT_FOR | sed 's/.*# //')" = "$(printf '0x%x' "$MAIN")" ]
}
# A double click on the title bar of window ID: maximises or restores it under openbox.
toggle_maximised() {
  local x y w h; read -r x y w h < <(frame_geometry "$1")
  xdotool mousemove $((x + w / 3)) $((y + 6 * ${SCALE:-1})) click --repeat 2 --delay 80 1; sleep 1
}
