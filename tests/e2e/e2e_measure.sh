#!/bin/bash
# -measure under Wine, on a stand-in board a frame late (offset_ms -40). `-measure 90` prints the
# machine's lines, a " Board " line a second whose last is within 5 ms of +40, and a summary
# that proposes a delay within 5 ms of 40; Wine's relay trace shows its timer asked for and
# given back, and no clock, rate or privilege call at all. Meanwhile, side by side: with no
# board it ends with 2 after its second pass; while the service runs it ends with 3 at once and
# never loads the board's library; and with the delay stored (-load L 150 precise 40), -debug in
# the precise mode reads the same board within 5 ms of 0, its sure figures (half-width under
# 3 ms) all of them (and its relay trace shows the privilege calls the measurement never made).
#
#   e2e_measure.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR"
e2e_begin_case "$1" "$4" "$5"
readonly RELAYED='kernel32.SetLocalTime;kernel32.SetSystemTime;kernel32.SetSystemTimeAdjustment;advapi32.AdjustTokenPrivileges;kernelbase.AdjustTokenPrivileges;winmm.timeBeginPeriod;winmm.timeEndPeriod'
readonly CHANGES='SetLocalTime|SetSystemTime|SetSystemTimeAdjustment|AdjustTokenPrivileges'

# The relayed calls a process made, one name a line: "<thread>:Call <DLL>.<name>(<args>) ret=...".
relayed_calls() { sed -En 's/^[0-9a-f]+:Call [A-Za-z0-9_]+\.([A-Za-z]+)\((.*)\) ret=.*/\1(\2)/p' "$1"; }

# 0 when an " Offset " line of FILE is within 5 ms of 0 with a half-width under 3 ms.
debug_reached() { wine_text "$1" | awk '$1 == "Offset" && $2 < 5 && $2 > -5 && $5 < 3 { found = 1 } END { exit !found }'; }

e2e_run relay 60 -- reg.exe add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$RELAYED" /f
e2e_install_program "$E2E_DIR/service" "$2" "$3"
e2e_install_program "$E2E_DIR/late" "$2" "$3" "offset_ms = -40"
e2e_install_program "$E2E_DIR/none" "$2" "$3" "board = none"
e2e_install_program "$E2E_DIR/busy" "$2" "$3" "log = ZYN_NTTC.log"
e2e_command_run load "$E2E_DIR/service/RUZivEr2.exe" -load L 150

e2e_step "-measure 90 on the board 40 ms late, in the background"
measure_start=$(e2e_now_ms)
e2e_start_program measure -all,+relay "$E2E_DIR/late/RUZivEr2.exe" -measure 90
measure_pid=$E2E_PID
# The script does other things meanwhile: a watcher notes when the program ends.
( while kill -0 "$measure_pid" 2> /dev/null; do sleep 0.05; done; e2e_now_ms > "$E2E_DIR/measure.end" ) &
watcher=$!
e2e_wait_for 30 "-measure to print the stored settings" e2e_has_line "$E2E_DIR/measure.out" '^Settings: '
# Measuring starts here: a slow start of Wine's loader is not the program's.
measure_begun=$(e2e_now_ms)

e2e_step "-measure with no board: 2, after the second pass, without a pause"
e2e_run none 60 -- "$E2E_DIR/none/RUZivEr2.exe" -measure 5
[ "$E2E_RC" = 2 ] || wine_fail "-measure with no board ended with $E2E_RC, expected 2"
(( E2E_ELAPSED_MS >= 3000 && E2E_ELAPSED_MS < 3000 + E2E_COMMAND_PAUSE_MS )) ||
    wine_fail "-measure with no board took $E2E_ELAPSED_MS ms: not one discovery retry of 3 s and no pause"
[ "$(wine_text "$E2E_DIR/none.out" | tail -1)" = "Cannot measure: no reader board answered at any of the 22 addresses, in two passes 3 s apart" ] ||
    wine_fail "-measure with no board did not end with its line"

e2e_step "-measure while the service runs: 3 at once, the board's library never called"
e2e_start_service_running
e2e_run busy 30 -- "$E2E_DIR/busy/RUZivEr2.exe" -measure
[ "$E2E_RC" = 3 ] || wine_fail "-measure while the service runs ended with $E2E_RC, expected 3"
(( E2E_ELAPSED_MS < E2E_COMMAND_PAUSE_MS )) || wine_fail "-measure while the service runs took $E2E_ELAPSED_MS ms, as if it paused"
e2e_expect_bytes "$E2E_DIR/busy.out" '%s (%s) is RUNNING: stop it first (sc stop %s). It reads the board, and a clock it keeps is no reference to measure the board against.\r\n' \
    "$E2E_DISPLAY" "$E2E_SERVICE" "$E2E_SERVICE"
[ ! -e "$E2E_DIR/busy/ZYN_NTTC.log" ] || wine_fail "-measure called the reader library while the service ran"
e2e_run sc-stop 60 -- sc.exe stop "$E2E_SERVICE"
e2e_poll_states states-stop.txt "$(e2e_now_ms)" 30 "1"

e2e_step "-load L 150 precise 40, then -debug on the same board until within 5 ms of 0"
e2e_command_run load-delay "$E2E_DIR/service/RUZivEr2.exe" -load L 150 precise 40
e2e_expect_reg delay "$E2E_SETTINGS_KEY" EdgeDelayUs REG_DWORD 40000
e2e_start_program debug -all,+relay "$E2E_DIR/late/RUZivEr2.exe" -debug
debug_pid=$E2E_PID
e2e_wait_for 100 "-debug to read the board within 5 ms of 0" debug_reached "$E2E_DIR/debug.out"
kill -INT "$debug_pid" || wine_fail "could not send SIGINT"
e2e_wait_program "$debug_pid" 30
far=$(wine_text "$E2E_DIR/debug.out" | awk '$1 == "Offset" && $5 < 3 && ($2 >= 5 || $2 <= -5)' | head -1)
[ -z "$far" ] || wine_fail "-debug with the delay stored read the board 5 ms or more from the clock: '$far'"
relayed_calls "$E2E_DIR/debug.err" | grep -q '^AdjustTokenPrivileges(' ||
    wine_fail "the relay trace shows no AdjustTokenPrivileges of -debug: it would not show one of -measure either"

e2e_step "-measure 90: the machine, the board at +40, a delay of 40 proposed, nothing changed"
e2e_wait_program "$measure_pid" 120
wait "$watcher"
measure_end=$(< "$E2E_DIR/measure.end")
(( measure_end - measure_begun >= 89900 && measure_end - measure_begun < 90000 + E2E_COMMAND_PAUSE_MS )) ||
    wine_fail "-measure 90 ended $(( measure_end - measure_begun )) ms after its settings line: not its 90 s without a pause"
[ "$E2E_RC" = 0 ] || wine_fail "-measure 90 ended with $E2E_RC, expected 0: $(wine_text "$E2E_DIR/measure.out" | tail -3)"
out=$(wine_text "$E2E_DIR/measure.out")
machine=$(printf '%s\n' \
    "^Measuring the reader board against this computer's clock for 90 s \\(Ctrl\\+C ends it sooner\\); the clock is not changed\\.\$" \
    "^Windows: [0-9]+\\.[0-9]+ build [0-9]+, (workstation|server|domain controller), 64-bit \\(as RtlGetVersion reports it\\); this program is $1-bit\$" \
    '^Performance counter: [1-9][0-9]* Hz$' \
    '^System timer: 1 ms asked for and granted; 5 waits of 51 ms lasted 5[0-9]\.[0-9]{2} ms on average, [0-9]+\.[0-9]{2} ms at most$' \
    '^Clock adjustment: GetSystemTimeAdjustment adjustment 156250, increment 156250, disabled; GetSystemTimeAdjustmentPrecise not present$' \
    '^Windows Time \(W32Time\): not installed$' '^ Found TAV $' '^Settings: local time, slop 150 ms, stepped mode$')
line=0
while IFS= read -r pattern; do
    line=$(( line + 1 ))
    sed -n "${line}p" <<< "$out" | grep -q -E -- "$pattern" || wine_fail "measure.out line $line is not '$pattern'"
done <<< "$machine"
board=$(grep '^ Board ' <<< "$out")
bad=$(grep -v -E '^ Board [+-][0-9]+\.[0-9]{3} ms \+/- [0-9]+\.[0-9]{3} ms against this clock, counter [+-][0-9]+\.[0-9]{2} ppm, clock [+-][0-9]+\.[0-9]{2} ppm $' <<< "$board" | head -1)
[ -z "$bad" ] || wine_fail "a Board line out of form: '$bad'"
(( $(wc -l <<< "$board") >= 80 )) || wine_fail "only $(wc -l <<< "$board") Board lines in 90 s"
awk '{ d = $2 - 40 } END { exit !(d < 5 && d > -5) }' <<< "$board" || wine_fail "the last Board line is not within 5 ms of +40: $(tail -1 <<< "$board")"
summary=$(tail -3 <<< "$out")
[[ "$summary" =~ ^Seconds\ measured:\ [0-9]+,\ from\ the\ first\ within\ 2\ ms\ on,\ in\ 90\ s$'\n'Board\ against\ this\ clock:\ mean\ \+[0-9]+\.[0-9]{3}\ ms,\ spread\ [0-9]+\.[0-9]{3}\ ms\ \(standard\ deviation\)$'\n'"If this clock was right while measuring (kept by NTP, PTP or GPS), the board's delay is "([0-9]+\.[0-9])" ms: RUZivEr2 -load L 150 precise "([0-9]+\.[0-9])$ ]] &&
    [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ] || wine_fail "the summary is not as expected: $summary"
delay=${BASH_REMATCH[1]}
awk -v d="$delay" 'BEGIN { exit !(d - 40 < 5 && d - 40 > -5) }' || wine_fail "-measure proposed a delay of $delay ms, not within 5 ms of 40"
calls=$(relayed_calls "$E2E_DIR/measure.err")
[ "$(grep -E '^time(Begin|End)Period' <<< "$calls" | sed -E 's/\(0*/(/' | tr '\n' ' ')" = "timeBeginPeriod(1) timeEndPeriod(1) " ] ||
    wine_fail "-measure's timer calls in the relay trace: $(tr '\n' ' ' <<< "$calls")"
changes=$(grep -E "^($CHANGES)\\(" <<< "$calls" | head -3)
[ -z "$changes" ] || wine_fail "-measure called $changes"
echo "proposed $delay ms after $(( measure_end - measure_start )) ms; $(wc -l <<< "$board") Board lines, the last $(tail -1 <<< "$board")"
e2e_expect_no_crash
