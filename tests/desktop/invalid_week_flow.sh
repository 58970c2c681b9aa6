#!/usr/bin/env bash
# A week the program cannot accept (a duration on a row without a Customer:Job)
# is left with Yes: the duration stays in the file, the settings name the file,
# and the file is free and whole for the next program.
. "$(dirname "$0")/desktop.sh"
start_x 1
start_program "$TEST_DATA_DIR/timer/sample.tdb"
sed -i 's/^File=.*/File=/' "$CONF"  # for the close to write again
show_week 11/30/2026
toggle_maximised "$MAIN"  # every row on the screen
before=$(activities)
click_cell 14 6  # Tuesday of the empty last row
type_text 2
keys Return
keys alt+F4
check "the missing Customer:Job is reported" box missing-customer-job
keys Return
check "then the close is questioned" box close-invalid-week
keys Return  # Yes
check "Yes ends the program" program_ended
check "the settings name the file" [ "$(setting File)" = "$FILE" ]
check "the file opens and checks whole" "$JETDB" check "$FILE"
added=$(added_since "$before")
check "one activity of 2:00 added on Tuesday" grep -qxE '[0-9]+,200,([^,]*,){4}"12/01/26 00:00:00",[^,]*,"12/30/99 02:00:00",.*' <<<"$added"
check "and no other" [ "$(wc -l <<<"$added")" = 1 ]
finish
