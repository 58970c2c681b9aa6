#!/usr/bin/env bash
# At 200%, a stored size larger than the screen: clamped, centred, title bar on the screen.
. "$(dirname "$0")/desktop.sh"
set_setting FormWidth 30000; set_setting FormHeight 20000
begin sample.tdb 2
frame_on_screen "oversized start at 200%" "$MAIN" 4
shot placement-200-oversized
close_program
