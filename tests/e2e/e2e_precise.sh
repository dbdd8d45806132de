#!/bin/bash
# The precise mode at the console (-debug), on two copies of the program side by side: one on a
# board in step with the clock (offset_ms 0), one on a board 300 ms behind it (-300). Both must
# print " Offset " lines that come within 5 ms of the true offset (0 and +300) with a
# half-width under 3 ms within 120 s. Wine's clock neither slews nor moves by less than 0.5 s.
# After 16 s of measuring the clock's own rate, each copy tries the rate call with one small
# trial rate (SetSystemTimeAdjustment(adjustment, FALSE)), reads it back disabled, says that no
# call moves the clock, and is "monitoring" from then on; a rate never in force is not handed
# back. The second copy steps (two SetLocalTime calls a step, local time base), finds the clock
# where it was, and tries again after 2, 4, 8 ... s, which Wine's relay trace of the calls,
# time-stamped, shows.
#
#   e2e_precise.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR"
e2e_begin_case "$1" "$4" "$5"
readonly NO_RATE_CALL=' Rate call: none moves the clock: steps only. '
# GetSystemTimeAdjustment's increment under Wine (docs/wine-notes.md): a trial of a few tens of
# ppm is an adjustment a few units from it.
readonly WINE_INCREMENT=156250

# 0 when FILE says that no rate call moves the clock.
told_no_rate_call() { wine_text "$1" | grep -q -x -F -- "$NO_RATE_CALL"; }

# 0 when an " Offset " line of FILE is within 5 ms of TARGET ms with a half-width under 3 ms.
reached() {
    wine_text "$1" | awk -v target="$2" '$1 == "Offset" { d = $2 - target; if (d < 5 && d > -5 && $5 < 3) found = 1 }
                                          END { exit !found }'
}

# The adjustment calls of a run, from Wine's relay trace with +timestamp ("<s>.<ms>:<thread>:Call
# ..."), one a line: "<ms> SetLocalTime" or "<ms> rate ADJUSTMENT,DISABLED".
adjustment_calls() {
    sed -En 's/^ *([0-9]+)\.([0-9]{3}):[0-9a-f]+:Call KERNEL32\.(SetLocalTime)\(.*/\1\2 \3/p
             s/^ *([0-9]+)\.([0-9]{3}):[0-9a-f]+:Call KERNEL32\.SetSystemTimeAdjustment\(([0-9a-f]+,[0-9a-f]+)\).*/\1\2 rate \3/p' "$1"
}

# The states of the " Offset " lines of FILE, each once, as "before STATE" or "after STATE" of the
# line that says no rate call moves the clock.
states_around_no_rate_call() {
    wine_text "$1" | awk -v told="$NO_RATE_CALL" '$0 == told { after = 1 }
                                                  $1 == "Offset" { print (after ? "after" : "before"), $NF }' | sort -u
}

e2e_run relay 60 -- reg.exe add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
    /d 'kernel32.SetSystemTimeAdjustment;kernel32.SetLocalTime' /f
for offset in 0 -300; do
    e2e_install_program "$E2E_DIR/board$offset" "$2" "$3" "offset_ms = $offset"
done
e2e_step "-load L 150 precise stores the settings word and Discipline = 1"
e2e_command_run load "$E2E_DIR/board0/RUZivEr2.exe" -load L 150 precise
e2e_expect_reg settings "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 150
e2e_expect_reg discipline "$E2E_SETTINGS_KEY" Discipline REG_DWORD 1

e2e_step "-debug on both boards until the estimates are within 5 ms and no rate call moves the clock, at most 120 s"
start=$(e2e_now_ms)
left() { echo $(( 120 - ($(e2e_now_ms) - start) / 1000 )); }
for offset in 0 -300; do
    e2e_start_program "debug$offset" -all,+relay,+timestamp "$E2E_DIR/board$offset/RUZivEr2.exe" -debug
    pids+=("$E2E_PID")
done
e2e_wait_for 120 "an offset within 5 ms of 0" reached "$E2E_DIR/debug0.out" 0
e2e_wait_for "$(left)" "an offset within 5 ms of +300" reached "$E2E_DIR/debug-300.out" 300
echo "both within 5 ms after $(( $(e2e_now_ms) - start )) ms"
# A copy tries the rate call once it has measured the clock's own rate for 16 s with no step
# in between: the stepping copy, only in the longer wait after a step.
for offset in 0 -300; do
    e2e_wait_for "$(left)" "offset $offset to find that no rate call moves the clock" \
        told_no_rate_call "$E2E_DIR/debug$offset.out"
done
echo "both told that no rate call moves the clock after $(( $(e2e_now_ms) - start )) ms"
kill -INT "${pids[@]}" || wine_fail "could not send SIGINT"
for pid in "${pids[@]}"; do
    e2e_wait_program "$pid" 60
    [ "$E2E_RC" = 0 ] || wine_fail "-debug ended with status $E2E_RC after SIGINT, expected 0"
done

for offset in 0 -300; do
    out="$E2E_DIR/debug$offset.out"
    [ "$(wine_text "$out" | head -3)" = "$(printf '%s\n' "Debugging $E2E_DISPLAY." 96h ' Precise mode ')" ] ||
        wine_fail "$out does not begin with the settings word and the mode"
    wine_text "$out" | grep -q "^Stopping $E2E_DISPLAY\.\$" || wine_fail "$out has no Stopping line"
    bad=$(wine_text "$out" | grep '^ Offset ' | grep -v -E "$E2E_OFFSET_LINE" | head -1)
    [ -z "$bad" ] || wine_fail "$out: an Offset line out of form: '$bad'"
    e2e_step "offset $offset: one trial rate, read back disabled, not handed back; then monitoring for good"
    [ "$(wine_text "$out" | grep -c -x -F -- "$NO_RATE_CALL")" = 1 ] ||
        wine_fail "offset $offset: not one line '$NO_RATE_CALL'"
    [ "$(states_around_no_rate_call "$out" | tr '\n' ' ')" = "after monitoring before acquiring " ] ||
        wine_fail "offset $offset: Offset states before and after the rate call's line: $(states_around_no_rate_call "$out" | tr '\n' ' ')"
    rates=$(adjustment_calls "$E2E_DIR/debug$offset.err" | awk '$2 == "rate" { print $3 }')
    [[ "$rates" =~ ^([0-9a-f]+),00000000$ ]] &&
        (( 16#${BASH_REMATCH[1]} != WINE_INCREMENT && 16#${BASH_REMATCH[1]} - WINE_INCREMENT <= 16 &&
           WINE_INCREMENT - 16#${BASH_REMATCH[1]} <= 16 )) ||
        wine_fail "offset $offset: SetSystemTimeAdjustment calls '$(tr '\n' ' ' <<< "$rates")', expected one small trial rate, enabled, and nothing handed back"
done

e2e_step "offset 0: no step"
wine_text "$E2E_DIR/debug0.out" | grep -q 'does not follow' && wine_fail "offset 0: a line says the clock does not follow"
adjustment_calls "$E2E_DIR/debug0.err" | grep -q SetLocalTime && wine_fail "offset 0: SetLocalTime was called"

e2e_step "offset -300: steps of two local sets, not followed, tried again after 2, 4, 8 ... s"
wine_text "$E2E_DIR/debug-300.out" | grep 'does not follow' | grep -q -v '^ The clock does not follow the step: ' &&
    wine_fail "offset -300: a line says the clock does not follow something else than the step"
waits=$(wine_text "$E2E_DIR/debug-300.out" | sed -En 's/^ The clock does not follow the step: trying again in ([0-9]+) s\. $/\1/p')
# Pair k: the calls 2k-1 and 2k, one step. After the step the next comes no sooner than the
# wait it announced, and within that wait plus a second's work and the slack.
steps=$(adjustment_calls "$E2E_DIR/debug-300.err" | awk '$2 == "SetLocalTime" { print $1 }' |
    awk -v waits="$(tr '\n' ' ' <<< "$waits")" -v slack="$E2E_SLACK_MS" '
        { t[NR] = $1 }
        END {
            n = split(waits, w, " ")
            if (n < 3) { print "only " n " steps not followed, expected at least 3 (2, 4, 8 s)"; exit }
            if (NR != 2 * n) { print NR " SetLocalTime calls for " n " steps not followed"; exit }
            for (k = 1; k <= n; ++k) {
                want = 2 ^ k
                if (want > 64) want = 64
                if (w[k] != want) { print "step " k " announced a wait of " w[k] " s, expected " want; exit }
                if (t[2 * k] - t[2 * k - 1] > 100) { print "the local sets of step " k " are " t[2 * k] - t[2 * k - 1] " ms apart"; exit }
                gap = t[2 * k + 1] - t[2 * k]
                if (k < n && (gap < want * 1000 - 5 || gap > want * 1000 + slack)) {
                    print "step " k + 1 " came " gap " ms after step " k ", which announced " want " s"; exit
                }
            }
            print "ok " n
        }')
[[ "$steps" == "ok "* ]] || wine_fail "offset -300: $steps"
echo "offset -300: ${steps#ok } steps, waits $(tr '\n' ' ' <<< "$waits")"
e2e_expect_no_crash
