# Drives the real program as a user does: its own X server (Xvfb) with a real
# window manager (openbox), keys and clicks through xdotool, the Timer file read
# back with mdb-export. A flow sources this file and calls the helpers below;
# HOURGRID (the program), JETDB (the file tool) and TEST_DATA_DIR come from ctest.
#
#   start_x [SCALE]          X server and window manager; SCALE 2 runs the program at 200%
#   start_program FILE.tdb   the program on a copy of FILE, with settings of its own
#   keys KEY...              xdotool key names (Return, Tab, ctrl+w, alt+F4)
#   type_text TEXT           types TEXT
#   click_at X Y             a left click at X, Y inside the main window's client area
#   click_cell ROW COL       a left click in a grid cell (default column widths and row heights)
#   wait_window NAME         the id of the visible window whose title is NAME
#   frame_geometry ID        "x y width height" of a window's frame (title bar included)
#   activities               the file's Activities table as CSV (mdb-export)
#   activity_matches REGEX   a row of that CSV matches REGEX
#   added_since CSV          the rows of Activities that CSV (an earlier `activities`) lacks
#   setting KEY              a stored setting; set_setting KEY VALUE before start_program
#   shot NAME                a screenshot of the screen as NAME.png in $SHOTS
#   close_program            the window manager's close (Alt+F4); waits for the program to end
#   show_week DATE           Edit > Start Date, DATE typed (mm/dd/yyyy), OK
#   box NAME                 true when a message box is open; its screenshot is NAME.png
#   close_any_box            Return on a message box when one comes within a second
#   program_ended            true when the program ends within 20 s; running: true while it still runs
#   check WHAT CMD...        prints WHAT, and fails the flow when the command CMD fails
#   finish                   ends the flow: failed when a check failed
#   (also frame_on_screen, fixed_and_owned, toggle_maximised, allowed_actions, near)
#
# A new flow is a file NAME_flow.sh here (ctest finds it as desktop.NAME), e.g.:
#   . "$(dirname "$0")/desktop.sh"
#   start_x
#   start_program "$TEST_DATA_DIR/timer/sample.tdb"
#   click_cell 1 6; type_text 2; keys Return
#   check "two hours on Tuesday" activity_matches '"12/30/99 02:00:00"'
#   close_program
#   finish
# Message boxes are windows titled "Hourgrid": BOX=$(wait_window Hourgrid), then keys Return.
set -euo pipefail

skip() { echo "SKIP: $*"; exit 77; }
: "${HOURGRID:?HOURGRID names the program}" "${TEST_DATA_DIR:?}"
for tool in Xvfb openbox xdotool xwininfo xprop mdb-export; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done

WORK=$(mktemp -d /tmp/hourgrid-desktop.XXXXXX)
SHOTS=${SHOTS:-/tmp}
FAILED=0
PIDS=()
export XDG_CONFIG_HOME=$WORK/config LC_ALL=C.UTF-8 LANG=C.UTF-8
unset QT_QPA_PLATFORM QT_SCALE_FACTOR WAYLAND_DISPLAY
CONF=$XDG_CONFIG_HOME/Hourgrid/Hourgrid.conf
mkdir -p "$(dirname "$CONF")"

cleanup() {
  local i
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
  return 0
}
trap cleanup EXIT

start_x() {
  SCALE=${1:-1}
  local w=$((1280 * SCALE)) h=$((800 * SCALE)) fifo=$WORK/display
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${w}x${h}x24" -dpi $((96 * SCALE)) -nolisten tcp 3>"$fifo" 2>"$WORK/xvfb.log" &
  PIDS+=($!)
  local n
  if ! read -r -t 15 n <"$fifo"; then skip "no X server could be started (Xvfb: $(tail -1 "$WORK/xvfb.log"))"; fi
  export DISPLAY=:$n
  openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.1
  done
  echo "openbox did not start"; exit 1
}

set_setting() { printf '%s=%s\n' "$1" "$2" >>"$WORK/settings"; }
setting() { sed -n "s/^$1=//p" "$CONF" | tail -1; }

start_program() {
  FILE=$WORK/$(basename "$1")
  [ -f "$FILE" ] || cp "$1" "$FILE"
  if [ ! -f "$CONF" ]; then
    { echo "[Startup]"; echo "File=$FILE"; cat "$WORK/settings" 2>/dev/null || true; } >"$CONF"
  fi
  local scale=()
  [ "${SCALE:-1}" != 1 ] && scale=(env QT_SCALE_FACTOR="$SCALE")
  "${scale[@]}" "$HOURGRID" >>"$WORK/program.log" 2>&1 &
  PROGRAM=$!
  PIDS+=($PROGRAM)
  MAIN=$(wait_window "Hourgrid for QuickBooks Pro ® - $FILE")
  sleep 0.5  # the window manager's frame and the first paint
}

wait_window() {
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$(printf '%s' "$1" | sed 's/[][\.*^$()+?{|]/\\&/g')\$" 2>/dev/null | head -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "${PROGRAM:-0}" 2>/dev/null || { echo "the program ended" >&2; return 1; }
    sleep 0.1
  done
  echo "no window \"$1\"" >&2
  return 1
}

# The client's place and size widened by the frame the window manager reports.
frame_geometry() {
  local l r t b
  IFS=', ' read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= *//; /[^0-9, ]/s/.*/0, 0, 0, 0/')
  xwininfo -id "$1" | awk -v l="$l" -v r="$r" -v t="$t" -v b="$b" \
    '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /^ *Width/{w=$NF} /^ *Height/{h=$NF}
     END{print x - l, y - t, w + l + r, h + t + b}'
}
client_origin() { xwininfo -id "$MAIN" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} END{print x, y}'; }

keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
type_text() { xdotool type --delay 40 "$1"; sleep 0.2; }

click_at() {
  local o; o=($(client_origin))
  xdotool mousemove $((o[0] + $1)) $((o[1] + $2)) click 1
  sleep 0.3
}

# Grid cells at the program's default column widths; the rows are measured on
# screen, at the left of Monday's N column, where no text is drawn: the grid's top edge and the
# heading's bottom edge are its first two dark lines, the next light line ends row 1.
col_x() {  # COL [left]: the column's middle, or its first pixels right of the grid line
  local s=${SCALE:-1} widths=(1500 1200 1100) c x=0
  for ((c = 0; c < 7; c++)); do widths+=(500 200 200); done
  for ((c = 0; c < $1; c++)); do x=$((x + widths[c] * s / 15)); done
  if [ "${2:-}" = left ]; then echo $((4 * s + 2 + x + s)); else echo $((4 * s + 1 + x + widths[$1] * s / 30)); fi
}
row_y() {
  import -window "$MAIN" "$WORK/grid.png" 2>/dev/null
  convert "$WORK/grid.png" -crop "1x$((600 * ${SCALE:-1}))+$(col_x 5 left)+0" -colorspace gray -depth 8 txt:- |
    awk -v row="$1" 'NR > 1 { split($1, a, /[,:]/); y = a[2]; v = $2; gsub(/[()]/, "", v); v += 0
           if (n < 2 && v < 190) { if (y > last + 1) edge[++n] = y; last = y; next }
           if (n == 2 && v < 252 && y > edge[2] + 3) { h = y - edge[2]; exit } }
         END { if (!h) exit 1
               print row == 0 ? int((edge[1] + edge[2]) / 2) : edge[2] + (row - 1) * h + int(h / 2) }'
}
click_cell() { click_at "$(col_x "$2")" "$(row_y "$1")"; }

activities() { mdb-export "$FILE" Activities; }
# True when a row of Activities matches the extended regular expression.
activity_matches() { activities | grep -qE "$1"; }
added_since() { activities | grep -vxF -f <(printf '%s\n' "$1") || true; }

shot() { mkdir -p "$SHOTS"; import -window root "$SHOTS/$1.png"; }

# On a loaded machine the key can reach the window before the window manager has
# given it focus; a second Alt+F4 goes only when no message box has come up since.
close_program() {
  local attempt
  for attempt in 1 2; do
    xdotool windowactivate --sync "$MAIN" 2>/dev/null || true
    keys alt+F4
    program_ended && return 0
    xdotool search --onlyvisible --name '^Hourgrid$' >/dev/null 2>&1 && break
  done
  echo "the program did not end; its output:"; tail -5 "$WORK/program.log"
  return 1
}
program_ended() {
  for _ in $(seq 200); do kill -0 "$PROGRAM" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}
running() { kill -0 "$PROGRAM" 2>/dev/null; }

show_week() {
  keys alt+e d
  wait_window "Select Start Date" >/dev/null
  keys ctrl+a; type_text "$1"; keys Return
  sleep 0.5
}

close_any_box() {
  sleep 0.5
  for _ in $(seq 5); do
    xdotool search --onlyvisible --name '^Hourgrid$' >/dev/null 2>&1 && { keys Return; return 0; }
    sleep 0.1
  done
  return 0
}

box() {
  local id; id=$(wait_window Hourgrid) || return 1
  xdotool windowactivate --sync "$id" 2>/dev/null || true
  sleep 0.3
  shot "$1"
}

check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; FAILED=1; fi
}

finish() { exit "$FAILED"; }

# True when A and B differ by at most TOL; both_near A B C D TOL: A near B and C near D.
near() { local d=$(($1 - $2)); [ "${d#-}" -le "$3" ]; }
both_near() { near "$1" "$2" "$5" && near "$3" "$4" "$5"; }

# The frame of window ID lies on the screen, centred within TOL pixels when a third argument is given.
frame_on_screen() {
  local label=$1 id=$2 tol=${3:-} x y w h sw sh
  read -r x y w h < <(frame_geometry "$id")
  read -r sw sh < <(xdotool getdisplaygeometry)
  check "$label: frame ${w}x$h at $x,$y lies on the ${sw}x$sh screen" \
        [ "$x" -ge 0 -a "$y" -ge 0 -a $((x + w)) -le "$sw" -a $((y + h)) -le "$sh" ]
  [ -z "$tol" ] || check "$label: frame centred on the screen" both_near $((2 * x + w)) "$sw" $((2 * y + h)) "$sh" "$tol"
}

# The actions the window manager offers for window ID (maximise, minimise, resize...), one a line.
allowed_actions() { xprop -id "$1" _NET_WM_ALLOWED_ACTIONS | tr ',' '\n' | sed -n 's/.*_NET_WM_ACTION_//p'; }

# Window ID can be neither maximised nor resized, and is transient for the main window.
fixed_and_owned() {
  check "$1 can be neither maximised nor resized" [ -z "$(allowed_actions "$2" | grep -E 'MAXIMIZE|RESIZE')" ]
  check "$1 belongs to the main window" [ "$(xprop -id "$2" WM_TRANSIENT_FOR | sed 's/.*# //')" = "$(printf '0x%x' "$MAIN")" ]
}

# A double click on the title bar of window ID: maximises or restores it under openbox.
toggle_maximised() {
  local x y w h
  read -r x y w h < <(frame_geometry "$1")
  xdotool mousemove $((x + w / 3)) $((y + 6 * ${SCALE:-1})) click --repeat 2 --delay 80 1
  sleep 1
}
