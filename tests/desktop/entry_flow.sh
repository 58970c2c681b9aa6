#!/usr/bin/env bash
# A duration typed into a clicked cell and confirmed with Enter is in the file
# at once, on that row's references and that day, as mdb-export reads it.
. "$(dirname "$0")/desktop.sh"
begin sample.tdb
click_cell 2 3; type_text 1.5; keys Return  # Monday of the second row (Customer:Job 108, Service Item 10)
check "1:30 written for row 2 on Monday" activity_matches '^[0-9]+,200,108,10,3,2,"12/07/26 00:00:00",[^,]*,"12/30/99 01:30:00"'
close_program
