#!/usr/bin/env bash
# A duration the program refuses keeps the cell: the message, then no key moves away from it, and the corrected text
# lands on the activity the cell showed.
. "$(dirname "$0")/desktop.sh"
begin sample.tdb
show_week 11/30/2026
before=$(activities)
click_cell 3 6; type_text x; keys Tab  # Tuesday of Acme Corporation:Website Redesign / Development (04:15, activity 9)
check "the refused duration is reported" box refused-duration
keys Return
for key in Down Page_Down ctrl+End; do keys "$key"; close_any_box; done
keys ctrl+a; type_text 3; keys Return
check "activity 9 now holds 3:00" activity_matches '^9,200,109,13,3,2,"12/01/26 00:00:00",[^,]*,"12/30/99 03:00:00"'
check "activity 1 is as it was" [ "$(activities | grep '^1,')" = "$(grep '^1,' <<<"$before")" ]
check "no activity added or lost" [ "$(activities | wc -l)" = "$(wc -l <<<"$before")" ]
type_text 1; keys Return  # Return went on from the corrected cell: Wednesday of the same row
check "the next entry is on that row's Wednesday" \
      grep -qE '^[0-9]+,200,109,13,3,2,"12/02/26 00:00:00",[^,]*,"12/30/99 01:00:00"' <<<"$(added_since "$before")"
close_program
