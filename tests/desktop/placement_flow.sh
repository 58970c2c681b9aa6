#!/usr/bin/env bash
# Where the window opens: centred from its real frame, the title bar on the screen, and the normal size kept across a maximised session.
. "$(dirname "$0")/desktop.sh"
begin sample.tdb  # the default size, then maximise, restart, un-maximise, restart
frame_on_screen "first start" "$MAIN" 4
read -r _ _ w0 h0 < <(frame_geometry "$MAIN")
shot placement-100-start
toggle_maximised "$MAIN"; close_program
check "maximised state stored" [ "$(setting WindowState)" = 2 ]
w_stored=$(setting FormWidth)
start_program "$FILE"; toggle_maximised "$MAIN"
read -r _ _ w1 h1 < <(frame_geometry "$MAIN")
check "un-maximised to the first size (${w0}x$h0, now ${w1}x$h1)" both_near "$w0" "$w1" "$h0" "$h1" 2
frame_on_screen "un-maximised after a maximised start" "$MAIN" 4; close_program
check "the normal width is kept ($w_stored, then $(setting FormWidth))" [ "$(setting FormWidth)" = "$w_stored" ]
start_program "$FILE"; frame_on_screen "start after the un-maximised session" "$MAIN" 4; close_program
