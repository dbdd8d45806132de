#!/bin/bash
# The running service on a reader that misbehaves: it must keep running (sc query over
# time), keep polling at its cadence with its read rule, stop cleanly when asked and never
# crash.
#
#   e2e_faults.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR failed_torn|frozen|silent
#
# failed_torn: a fifth of the reads fail and a fifth return a word torn between two seconds.
# frozen:      after 100 reads the board's word stops changing.
# silent:      reads 101 to 250 fail, then the board comes back. A -debug run beside the
#              service, on the same board, shows that comparisons stop while it is silent
#              and come back with it.
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 6 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR failed_torn|frozen|silent"
e2e_begin_case "$1" "$4" "$5"
program_file="$2" library_file="$3" scenario="$6"
case "$scenario" in
    failed_torn) settings=("read_fail_percent = 20" "torn_read_percent = 20" "seed = 11") ;;
    frozen) settings=("frozen_after_reads = 100") ;;
    silent) settings=("silent_after_reads = 100" "silent_for_reads = 150") ;;
    *) wine_fail "unknown scenario '$scenario'" ;;
esac
folder="$E2E_DIR/service"
e2e_install_program "$folder" "$program_file" "$library_file" "log = calls.log" "${settings[@]}"
log="$folder/calls.log"
readonly WATCH_SECONDS=8

e2e_command_run load "$folder/RUZivEr2.exe" -load
e2e_expect_loaded "$E2E_DIR/load.out"
e2e_step "start with ${settings[*]}"
e2e_start_service_running

if [ "$scenario" = silent ]; then
    console="$E2E_DIR/console"
    e2e_install_program "$console" "$program_file" "$library_file" "log = calls.log" "${settings[@]}"
    env --default-signal=INT "$E2E_LOADER" "$console/RUZivEr2.exe" -debug \
        > "$E2E_DIR/debug.out" 2> "$E2E_DIR/debug.err" < /dev/null &
    debug_pid=$!
fi

# Succeeds once the -debug trace has a state line of a comparison at tick TICK or later.
debug_state_line_from_tick() {
    wine_text "$E2E_DIR/debug.out" |
        awk -v tick="$1" '/^ [0-9]+  [0-9]+  1  1  149  768 $/ && $2 >= tick { found = 1 } END { exit !found }'
}

e2e_step "the service keeps running for $WATCH_SECONDS s"
watch_start=$(e2e_now_ms)
while (( $(e2e_now_ms) - watch_start < WATCH_SECONDS * 1000 )); do
    e2e_query_service query-watch
    echo "$(( $(e2e_now_ms) - watch_start )) $E2E_STATE $E2E_EXIT $E2E_CHECKPOINT $E2E_HINT" >> "$E2E_DIR/states-watch.txt"
    [ "$E2E_STATE $E2E_EXIT" = "4 0" ] || wine_fail "state $E2E_STATE exit $E2E_EXIT while the reader misbehaves"
    sleep 1
done
echo "RUNNING in all $(wc -l < "$E2E_DIR/states-watch.txt") queries"

if [ "$scenario" = silent ]; then
    # Well after the silent stretch (read 250 comes at poll 100 to 125) the console run must
    # compare again.
    e2e_wait_for 30 "a comparison in step after the silent stretch" debug_state_line_from_tick 160
    kill -INT "$debug_pid" || wine_fail "could not send SIGINT to the -debug run"
fi

e2e_step "sc stop"
e2e_stop_service_cleanly 0x6
echo "STOPPED $E2E_STOP_MS ms after sc stop"

e2e_step "what the reader saw"
e2e_expect_cadence polls "$log" 120
reads="$E2E_DIR/polls.reads"
count() { awk "$1" "$reads" | wc -l; }
total=$(wc -l < "$reads")
case "$scenario" in
    failed_torn)
        failed=$(count '$4 == 0 && $6 == "failed"')
        torn=$(count '$4 == 1 && $6 == "torn"')
        echo "$total reads: $failed failed, $torn torn"
        (( failed * 100 >= total * 12 && failed * 100 <= total * 28 )) || wine_fail "$failed of $total reads failed"
        (( torn * 100 >= total * 12 && torn * 100 <= total * 28 )) || wine_fail "$torn of $total reads torn"
        [ "$(count '$6 != "failed" && $6 != "torn" && $6 != "-"')" = 0 ] || wine_fail "reads of another kind"
        ;;
    frozen)
        [ "$(count '$1 <= 100 && $6 != "-"')" = 0 ] || wine_fail "faults before read 101"
        [ "$(count '$1 > 100 && !($4 == 1 && $6 == "frozen")')" = 0 ] || wine_fail "reads after 100 that are not frozen"
        # One word from then on: every poll makes its two reads only.
        [ "$(awk '$4 > 101 && $3 != 2' "$E2E_DIR/polls.groups" | wc -l)" = 0 ] ||
            wine_fail "polls of the frozen board with a third read"
        (( total >= 300 )) || wine_fail "only $total reads"
        echo "$total reads, frozen after 100"
        ;;
    silent)
        [ "$(count '($1 <= 100 || $1 > 250) && $6 != "-"')" = 0 ] || wine_fail "faults outside the silent stretch"
        [ "$(count '$1 > 100 && $1 <= 250 && !($4 == 0 && $6 == "silent")')" = 0 ] ||
            wine_fail "reads in the stretch that are not silent"
        (( total >= 300 )) || wine_fail "only $total reads"
        (( E2E_MAX_GAP_MS <= 200 )) || wine_fail "a pause of $E2E_MAX_GAP_MS ms in the polls"
        echo "$total reads, silent from 101 to 250, longest pause $E2E_MAX_GAP_MS ms"

        e2e_step "the -debug run beside it"
        deadline=$(( $(e2e_now_ms) + 30000 ))
        while kill -0 "$debug_pid" 2> /dev/null; do
            (( $(e2e_now_ms) < deadline )) || { kill -KILL "$debug_pid"; wine_fail "the -debug run did not end"; }
            sleep 0.1
        done
        wait "$debug_pid" || wine_fail "the -debug run ended with status $?"
        e2e_poll_groups console-polls "$console/calls.log"
        first_silent=$(awk '$1 == 101 { print $2 }' "$E2E_DIR/console-polls.reads")
        last_silent=$(awk '$1 == 250 { print $2 }' "$E2E_DIR/console-polls.reads")
        ticks=$(wine_text "$E2E_DIR/debug.out" | sed -En 's/^ [0-9]+  ([0-9]+)  1  1  149  768 $/\1/p' | sed 1d)
        in_stretch=$(awk -v a="$first_silent" -v b="$last_silent" '$1 >= a && $1 <= b' <<< "$ticks")
        after=$(awk -v b="$last_silent" '$1 > b' <<< "$ticks" | wc -l)
        [ -z "$in_stretch" ] || wine_fail "comparisons in step at ticks $in_stretch, in the silent polls $first_silent to $last_silent"
        (( after >= 1 )) || wine_fail "no comparison in step after the silent polls $first_silent to $last_silent"
        echo "console: silent in polls $first_silent to $last_silent, $after comparisons in step after them"
        ;;
esac

e2e_expect_no_crash
