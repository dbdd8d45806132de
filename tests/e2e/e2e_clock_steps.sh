#!/bin/bash
# Every clock step on record: the service against a board 250 ms ahead of the clock (the
# stand-in's offset_ms), with the default slop of 150 ms, so that the clock is out of step.
# Wine's SetLocalTime accepts a time within 0.5 s of its clock and leaves the clock as it is,
# so the clock stays out of step and the service corrects it at every second comparison, about
# every 2 s. A correction writes an information entry when the last is a minute old or more;
# the others are counted, and at the first poll after that minute the count has an entry of its
# own (or rides on the entry of a correction made at that poll).
#
#   e2e_clock_steps.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR
set -u
# Information entries print at Wine's trace level; +timestamp dates each line.
E2E_WINEDEBUG='-all,err+eventlog,trace+eventlog,+timestamp'
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR"
e2e_begin_case "$1" "$4" "$5"
folder="$E2E_DIR/program"
e2e_install_program "$folder" "$2" "$3" "offset_ms = 250"
program="$folder/RUZivEr2.exe"

# The information entries so far, one a line, their strings joined by "|": an entry's strings
# share Wine's time stamp.
entries() {
    sed -n 's/^\([0-9.]*\):[0-9a-f]*:trace:eventlog:ReportEventW L"\(.*\)"\r\{0,1\}$/\1 \2/p' "$E2E_DIR/wine.err" |
        awk '{ text = substr($0, length($1) + 2) }
             NR > 1 && $1 == last { line = line "|" text; next }
             NR > 1 { print line }
             { line = text; last = $1 }
             END { if (NR) print line }'
}

# The time stamps (seconds) of the entries.
entry_stamps() {
    sed -n 's/^\([0-9.]*\):[0-9a-f]*:trace:eventlog:ReportEventW .*/\1/p' "$E2E_DIR/wine.err" | uniq
}

entries_at_least() { (( $(entries | wc -l) >= $1 )); }

e2e_command_run load "$program" -load
e2e_expect_loaded "$E2E_DIR/load.out"
e2e_start_service_running

e2e_step "the first correction writes an information entry"
e2e_wait_for 30 "the first information entry" entries_at_least 1
first=$(entries | head -1)
echo "first entry: $first"
IFS='|' read -r set_to before offset time_base unrecorded <<< "$first"
[[ "$set_to" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}\.080$ ]] ||
    wine_fail "the time set is '$set_to', expected the board's second and 80 ms"
[[ "$before" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}$ ]] ||
    wine_fail "the time before is '$before'"
# The computer is 250 ms behind the board, which is compared as 50 ms past its second, read
# within the first 40 ms of that second: -300 to -260 ms, and room for a clock read that a
# loaded machine delays after the board's.
(( offset >= -320 && offset <= -200 )) || wine_fail "the offset is '$offset' ms, expected about -300"
[ "$time_base $unrecorded" = "local time 0" ] || wine_fail "time base '$time_base', unrecorded '$unrecorded'"

e2e_step "no second entry within the minute; at the first poll after it, the count of the others"
e2e_wait_for 90 "the second information entry" entries_at_least 2
second=$(entries | sed -n 2p)
echo "second entry: $second"
# The count alone, or a correction's entry that carries it when a correction falls on that poll.
unrecorded=${second##*|}
[ "$(entries | wc -l)" = 2 ] || wine_fail "more than two entries: $(entries)"
stamps=$(entry_stamps | head -2 | tr '\n' ' ')
gap_ms=$(awk '{ printf "%d", ($2 - $1) * 1000 }' <<< "$stamps")
# A minute on the service's tick count, and a poll; Wine stamps its lines a little after each entry.
(( gap_ms >= 59500 && gap_ms <= 60000 + E2E_SLACK_MS )) || wine_fail "the second entry came $gap_ms ms after the first"
# About one correction every 2 to 3 s in between; fewer on a loaded machine.
[[ "$unrecorded" =~ ^[0-9]+$ ]] && (( unrecorded >= 10 && unrecorded <= 40 )) ||
    wine_fail "the second entry counts '$unrecorded' unrecorded corrections"
echo "second entry $gap_ms ms after the first, $unrecorded corrections not recorded in between"

e2e_stop_service_cleanly 0x6
[ -z "$(e2e_eventlog_strings "$E2E_DIR/wine.err" err)" ] || wine_fail "error entries: $(e2e_eventlog_strings "$E2E_DIR/wine.err" err)"
e2e_expect_no_crash
