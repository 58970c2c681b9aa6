#!/usr/bin/env bash
# A message box raised while a dialog is still loading is centred over the main window; boxes and dialogs keep their
# size (the window manager offers no maximise) and belong to the main window (a minimise takes the program with them).
. "$(dirname "$0")/desktop.sh"
begin timer-empty-prefs.tdb "${DESKTOP_SCALE:-1}"
keys alt+e r  # Edit > Preferences: the file has no preferences record
BOX=$(wait_window Hourgrid)
sleep 0.5; shot "message-box-${SCALE}00"
read -r mx my mw mh < <(frame_geometry "$MAIN")
read -r bx by bw bh < <(frame_geometry "$BOX")
check "the box (${bw}x$bh at $bx,$by) is centred over the window (${mw}x$mh at $mx,$my)" \
      both_near $((2 * bx + bw)) $((2 * mx + mw)) $((2 * by + bh)) $((2 * my + mh)) 8
fixed_and_owned "the box" "$BOX"
keys Return alt+e d  # Edit > Start Date
DLG=$(wait_window "Select Start Date")
sleep 0.3; shot "start-date-dialog-${SCALE}00"
fixed_and_owned "the start-date dialog" "$DLG"
keys Escape; close_program
