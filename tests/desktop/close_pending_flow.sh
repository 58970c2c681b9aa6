#!/usr/bin/env bash
# The close box over a typed duration: a valid one is kept without a question; a
# refused one is given up only when the user says so, leaving the file as it was.
. "$(dirname "$0")/desktop.sh"
begin sample.tdb
show_week 11/30/2026
first=$(activities)
click_cell 1 6; type_text 1:30  # Tuesday of the first row, empty
check "the close box ends the program without a question" close_program
one_added "$first" 12/01/26 01:30:00
start_program "$FILE"
show_week 11/30/2026
before=$(activities)
click_cell 1 6; type_text x; keys alt+F4  # the same cell, now 1:30
check "the refused duration is reported" box close-refused-duration
keys Return
check "then the close is questioned" box close-without-entry
keys n; sleep 0.5
check "No keeps the program" running
keys alt+F4; close_any_box; keys Return  # Yes
check "Yes ends it" program_ended
check "the file holds what it held" [ "$(activities)" = "$before" ]
