#!/bin/bash
# Start-up as Wine's service manager sees it when the reader is not there at once.
#
#   e2e_startup_failures.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR no_board|open_fails|second_pass
#
# no_board:    no board at any candidate: two discovery passes 3 s apart (44 NttcIdentify),
#              START_PENDING with the retry's hint of 7000 ms meanwhile, then STOPPED after
#              the closing pause (STOP_PENDING meanwhile, with a hint that covers it) with exit
#              code 1066 (ERROR_SERVICE_SPECIFIC_ERROR) and the service's code 2, never RUNNING;
#              one error entry names the step.
# open_fails:  the library's NttcOpen fails: STOPPED after the closing pause with exit code
#              1066 and the service's code 1, no discovery, never RUNNING; one error entry.
# second_pass: the board answers only the second pass: the hint of 7000 ms, then RUNNING
#              and polling; its stop-pending report takes checkpoint 7, after the extra one.
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 6 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR no_board|open_fails|second_pass"
e2e_begin_case "$1" "$4" "$5"
scenario="$6"
case "$scenario" in
    no_board)
        setting="board = none"
        failure_code=2 failure_text="no reader board answered at any of the 22 addresses, in two passes 3 s apart"
        ;;
    open_fails)
        setting="open_fails = yes"
        failure_code=1 failure_text="the reader library ZYN_NTTC.dll did not open"
        ;;
    second_pass) setting="answer_from_query = 2" ;;
    *) wine_fail "unknown scenario '$scenario'" ;;
esac
folder="$E2E_DIR/program"
e2e_install_program "$folder" "$2" "$3" "log = calls.log" "$setting"
program="$folder/RUZivEr2.exe"
log="$folder/calls.log"

# The stamp of the Nth NttcIdentify line of the log.
identify_stamp() {
    e2e_log_text "$log" | awk -v n="$1" '$2 == "NttcIdentify" && ++count == n { print $1 }'
}

# Expects the two passes' NttcIdentify calls to lie 3 s apart: the last of pass one is the
# 22nd call, the first of pass two the 23rd.
expect_retry_pause() {
    local gap=$(( $(identify_stamp 23) - $(identify_stamp 22) ))
    (( gap >= 3000 && gap <= 3000 + E2E_SLACK_MS )) || wine_fail "$gap ms between the discovery passes, expected 3000"
    echo "$gap ms between the discovery passes"
}

# Expects START_PENDING with the retry's report (checkpoint 3, hint 7000 ms) among the
# states seen while starting.
expect_retry_report() {
    grep -q '^[0-9]* 2 0 0x3 0x1b58$' "$E2E_DIR/states-start.txt" ||
        wine_fail "no START_PENDING with checkpoint 3 and hint 7000 ms: $(tr '\n' ';' < "$E2E_DIR/states-start.txt")"
}

e2e_command_run load "$program" -load
e2e_expect_loaded "$E2E_DIR/load.out"

e2e_step "sc start with '$setting'"
start=$(e2e_now_ms)
e2e_run sc-start 90 -- sc.exe start "$E2E_SERVICE"
if [ "$scenario" = second_pass ]; then
    e2e_poll_states states-start.txt "$start" 60 "4 1"
    [ "$E2E_STATE" = 4 ] || wine_fail "the service stopped instead of running"
    # The 10 s pause before the dispatcher and the 3 s before the retry.
    (( E2E_REACHED_MS >= E2E_DISPATCHER_PAUSE_MS + 3000 )) ||
        wine_fail "RUNNING after $E2E_REACHED_MS ms, before the pauses of the start and the retry"
else
    e2e_poll_states states-start.txt "$start" 60 "1 4"
    [ "$E2E_STATE" = 1 ] || wine_fail "the service runs with '$setting'"
    # Before the closing pause, stop-pending with a hint that covers it (7000 ms).
    grep -q '^[0-9]* 3 0 0x[0-9a-f]* 0x1b58$' "$E2E_DIR/states-start.txt" ||
        wine_fail "no STOP_PENDING with hint 7000 ms before STOPPED: $(tr '\n' ';' < "$E2E_DIR/states-start.txt")"
    # A start-up that gave up is a failure, with the step's code, as sc query shows it.
    e2e_query_service query-stopped
    [ "$E2E_EXIT $E2E_SERVICE_EXIT" = "1066 $failure_code" ] ||
        wine_fail "the service stopped with exit code $E2E_EXIT and code $E2E_SERVICE_EXIT, expected 1066 $failure_code"
    # One error entry: the code, the step, no system text (neither step has an error code).
    [ "$(e2e_eventlog_strings "$E2E_DIR/wine.err" err; echo .)" = "$(printf '%s\n' "$failure_code" "$failure_text" "" .)" ] ||
        wine_fail "the event log got: $(e2e_eventlog_strings "$E2E_DIR/wine.err" err | tr '\n' '|')"
    echo "STOPPED with 1066 and code $failure_code; error entry: $failure_text"
fi
echo "state $E2E_STATE $E2E_REACHED_MS ms after sc start"
# START_PENDING until the end; a start-up that gave up is STOP_PENDING through its closing pause.
awk -v closing="$([ "$E2E_STATE" = 1 ] && echo 3)" '$2 != 2 && $2 != closing && $2 != '"$E2E_STATE"' { exit 1 }' \
    "$E2E_DIR/states-start.txt" ||
    wine_fail "unexpected states while starting: $(tr '\n' ';' < "$E2E_DIR/states-start.txt")"

case "$scenario" in
    no_board)
        # The pause before the dispatcher, the retry's 3 s and the closing 5 s.
        (( E2E_REACHED_MS >= E2E_DISPATCHER_PAUSE_MS + 3000 + E2E_CLOSING_PAUSE_MS )) ||
            wine_fail "STOPPED after $E2E_REACHED_MS ms, before the pauses of the start, the retry and the close"
        expect_retry_report
        [ "$(e2e_identify_calls "$log")" = "$(e2e_empty_pass; e2e_empty_pass)" ] ||
            wine_fail "the log does not show two empty passes over the 22 candidates"
        expect_retry_pause
        [ "$(e2e_log_text "$log" | grep -c ' NttcWriteReg 0x02 0x3FF ')" = 44 ] ||
            wine_fail "expected 44 NttcWriteReg 0x02 0x3FF, one per candidate and pass"
        e2e_log_text "$log" | grep -q ' NttcReadTime ' && wine_fail "reads without a board"
        ;;
    open_fails)
        (( E2E_REACHED_MS >= E2E_DISPATCHER_PAUSE_MS + E2E_CLOSING_PAUSE_MS )) ||
            wine_fail "STOPPED after $E2E_REACHED_MS ms, before the pauses of the start and the close"
        grep -q '^[0-9]* 2 [0-9]* 0x[0-9a-f]* 0x1b58$' "$E2E_DIR/states-start.txt" && wine_fail "a discovery retry without the library"
        [ "$(e2e_log_text "$log" | sed -E 's/^[0-9]+ //' | grep -v -e '^start ' -e '^config ')" = "NttcOpen -> 0" ] ||
            wine_fail "the log shows more than the failed NttcOpen"
        ;;
    second_pass)
        expect_retry_report
        [ "$(e2e_identify_calls "$log")" = "$(e2e_empty_pass; printf '%s\n' "0x200 0 0x200" "0x220 0 0x220" \
            "0x280 0 0x280" "0x2A0 0 0x2A0" "0x300 1 0x300")" ] ||
            wine_fail "the log does not show an empty pass, then a pass ending at 0x300"
        expect_retry_pause
        sleep 3
        e2e_stop_service_cleanly 0x7
        echo "STOPPED $E2E_STOP_MS ms after sc stop"
        e2e_expect_cadence polls "$log" 40
        ;;
esac

e2e_expect_no_crash
