#!/usr/bin/env bash
# A week the program cannot accept (a duration on a row without a Customer:Job)
# is left with Yes: the duration stays in the file, the settings name the file,
# and the file is free and whole for the next program.
. "$(dirname "$0")/desktop.sh"
begin sample.tdb
sed -i 's/^File=.*/File=/' "$CONF"  # for the close to write again
show_week 11/30/2026
toggle_maximised "$MAIN"  # every row on the screen
before=$(activities)
click_cell 14 6; type_text 2; keys Return alt+F4  # Tuesday of the empty last row
check "the missing Customer:Job is reported" box missing-customer-job
keys Return
check "then the close is questioned" box close-invalid-week
keys Return  # Yes
check "Yes ends the program" program_ended
check "the settings name the file" [ "$(setting File)" = "$FILE" ]
check "the file opens and checks whole" "$JETDB" check "$FILE"
one_added "$before" 12/01/26 02:00:00
