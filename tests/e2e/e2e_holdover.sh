#!/bin/bash
# The precise mode on a board that gives no time any more: its state is "holdover", and
# nothing is compared meanwhile. Two -debug runs, one on a board that stops answering (its
# reads fail from the 101st on) and one on a board whose time code freezes (from the 101st
# read on, every read answers the 100th word), must each print an " Offset " line that says
# holdover within 10 s of the board's first quiet read (the stand-in's log shows it at once),
# and only such lines from then on. As a service, on the frozen board: -status exits 1
# (WARNING) with the published State holdover, and 6 s later still, with a last comparison at
# least 5 s old (the line is carried on, and compared, for up to 5 s after the last edge, so the
# first holdover may show one from a second ago; none comes after it). The service's start
# (10 s before the dispatcher) runs while the -debug runs go quiet.
#
#   e2e_holdover.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR"
e2e_begin_case "$1" "$4" "$5"
readonly STATUS_KEY="$E2E_SERVICE_KEY\\Status"
readonly HOLDOVER_LINE='^ Offset .*, holdover $'
readonly FROZEN=("frozen_after_reads = 100")
readonly SILENT=("silent_after_reads = 100" "silent_for_reads = 4294967295")
e2e_install_program "$E2E_DIR/service" "$2" "$3" "${FROZEN[@]}"
e2e_install_program "$E2E_DIR/frozen" "$2" "$3" "log = calls.log" "${FROZEN[@]}"
e2e_install_program "$E2E_DIR/silent" "$2" "$3" "log = calls.log" "${SILENT[@]}"
program="$E2E_DIR/service/RUZivEr2.exe"

e2e_command_run load "$program" -load L 150 precise
e2e_step "sc start, and -debug on a board that goes silent and on one that freezes"
e2e_start_program sc-start "$WINEDEBUG" sc.exe start "$E2E_SERVICE"
sc_start_pid=$E2E_PID
declare -A pids
for board in silent frozen; do
    e2e_start_program "debug-$board" -all "$E2E_DIR/$board/RUZivEr2.exe" -debug
    pids[$board]=$E2E_PID
done
# When each board's first quiet read and first holdover line were seen, in <board>_quiet_ms and
# <board>_holdover_ms: the stand-in logs each read as it answers it, " silent" and " frozen"
# marking the quiet ones.
silent_quiet_ms='' silent_holdover_ms='' frozen_quiet_ms='' frozen_holdover_ms=''
# Sets the variable NAME to the time now, unless it is set, when the command succeeds.
note_when() {
    local name="$1"
    shift
    [ -z "${!name}" ] && "$@" && printf -v "$name" '%s' "$(e2e_now_ms)"
    return 0
}
deadline=$(( $(e2e_now_ms) + 60000 ))
until [ -n "$silent_quiet_ms" ] && [ -n "$silent_holdover_ms" ] && [ -n "$frozen_quiet_ms" ] && [ -n "$frozen_holdover_ms" ]; do
    for board in silent frozen; do
        note_when "${board}_quiet_ms" e2e_has_line "$E2E_DIR/$board/calls.log" " $board\$"
        note_when "${board}_holdover_ms" e2e_has_line "$E2E_DIR/debug-$board.out" "$HOLDOVER_LINE"
    done
    (( $(e2e_now_ms) < deadline )) || wine_fail "waited 60 s for both boards' first quiet read and holdover"
    sleep 0.1
done
for board in silent frozen; do
    quiet_name="${board}_quiet_ms" holdover_name="${board}_holdover_ms"
    after_ms=$(( ${!holdover_name} - ${!quiet_name} ))
    echo "$board: holdover seen $after_ms ms after the first quiet read"
    (( after_ms >= 0 && after_ms <= 10000 )) ||
        wine_fail "$board: holdover seen $after_ms ms after the board's first quiet read, expected 0 to 10 s"
done
kill -INT "${pids[@]}" || wine_fail "could not send SIGINT"

e2e_wait_program "$sc_start_pid" 90
e2e_poll_states states-start.txt "$(e2e_now_ms)" 60 "4 1"
[ "$E2E_STATE" = 4 ] || wine_fail "the service stopped instead of running; see $E2E_DIR/states-start.txt"
e2e_step "the service on the frozen board: -status exits 1, the published State is holdover"
# 0 once -status exits 1 with the State holdover published.
status_in_holdover() {
    e2e_run status 30 -- "$program" -status
    [ "$E2E_RC" = 1 ] && e2e_reg_value state "$STATUS_KEY" State && [ "$E2E_REG_DATA" = holdover ]
}
e2e_wait_for 40 "-status to exit 1 with the published State holdover" status_in_holdover
sleep 6
status_in_holdover || wine_fail "-status 6 s after the first holdover: exit $E2E_RC, State '$E2E_REG_DATA'"
e2e_has_line "$E2E_DIR/status.out" '^Status: 1 WARNING, running, but the board gives no time: holdover$' ||
    wine_fail "-status: $(wine_text "$E2E_DIR/status.out" | grep '^Status:')"
age=$(wine_text "$E2E_DIR/status.out" | sed -En 's/^Last comparison ([0-9]+)\.[0-9] s ago: .*/\1/p')
[ -n "$age" ] && (( age >= 5 )) ||
    wine_fail "-status: '$(wine_text "$E2E_DIR/status.out" | grep '^Last comparison')', expected one at least 5 s old"

for board in silent frozen; do
    out="$E2E_DIR/debug-$board.out"
    e2e_wait_program "${pids[$board]}" 30
    [ "$E2E_RC" = 0 ] || wine_fail "-debug on the $board board ended with status $E2E_RC after SIGINT, expected 0"
    bad=$(wine_text "$out" | grep '^ Offset ' | grep -v -E "$E2E_OFFSET_LINE" | head -1)
    [ -z "$bad" ] || wine_fail "$out: an Offset line out of form: '$bad'"
    after=$(wine_text "$out" | awk '/, holdover $/ { seen = 1 } seen && $1 == "Offset" && $NF != "holdover"' | head -1)
    [ -z "$after" ] || wine_fail "$out: the board still quiet, after holdover: '$after'"
done
e2e_expect_no_crash
