#!/bin/bash
# The precise mode at the console (-debug), on two copies of the program side by side: one on a
# board in step with the clock (offset_ms 0), one on a board 300 ms behind it (-300). Both must
# print " Offset " lines that come within 5 ms of the true offset (0 and +300) with a
# half-width under 3 ms within 120 s. Wine's clock neither slews nor moves by less than 0.5 s:
# the first copy sets a rate, reads back that it is not in force, and says so; the second steps
# once, sees the clock where it was, and says so. Both then only measure ("monitoring"), and
# end on Ctrl+C with the rate handed back, which Wine's relay trace of the calls shows.
#
#   e2e_precise.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR"
e2e_begin_case "$1" "$4" "$5"
readonly OFFSET_LINE='^ Offset [+-][0-9]+\.[0-9]{3} ms \+/- [0-9]+\.[0-9]{3} ms, rate [+-][0-9]+\.[0-9]{2} ppm, (acquiring|locked|stepped|monitoring) $'

# 0 when FILE has a line that says the clock does not follow what the program asked of it.
told_not_followed() { wine_text "$1" | grep -q 'does not follow'; }

# 0 when an " Offset " line of FILE is within 5 ms of TARGET ms with a half-width under 3 ms.
reached() {
    wine_text "$1" | awk -v target="$2" '$1 == "Offset" { d = $2 - target; if (d < 5 && d > -5 && $5 < 3) found = 1 }
                                          END { exit !found }'
}

# The adjustment calls of a run, from Wine's relay trace: "SetLocalTime" or "rate ADJUSTMENT,DISABLED".
adjustment_calls() {
    sed -En 's/^[0-9a-f]+:Call KERNEL32\.(SetLocalTime)\(.*/\1/p; s/^[0-9a-f]+:Call KERNEL32\.SetSystemTimeAdjustment\(([0-9a-f]+,[0-9a-f]+)\).*/rate \1/p' "$1"
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

e2e_step "-debug on both boards until the estimates are within 5 ms, at most 120 s"
start=$(e2e_now_ms)
for offset in 0 -300; do
    e2e_start_program "debug$offset" -all,+relay "$E2E_DIR/board$offset/RUZivEr2.exe" -debug
    pids+=("$E2E_PID")
done
e2e_wait_for 120 "an offset within 5 ms of 0" reached "$E2E_DIR/debug0.out" 0
e2e_wait_for $(( 120 - ($(e2e_now_ms) - start) / 1000 )) "an offset within 5 ms of +300" \
    reached "$E2E_DIR/debug-300.out" 300
echo "both within 5 ms after $(( $(e2e_now_ms) - start )) ms"
# The in-step copy sets its first rate only once it has measured the clock's own for 16 s.
e2e_wait_for $(( 120 - ($(e2e_now_ms) - start) / 1000 )) "offset 0 to find its rate not followed" \
    told_not_followed "$E2E_DIR/debug0.out"
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
    bad=$(wine_text "$out" | grep '^ Offset ' | grep -v -E "$OFFSET_LINE" | head -1)
    [ -z "$bad" ] || wine_fail "$out: an Offset line out of form: '$bad'"
done
e2e_step "offset 0: the rate was set, not followed, and handed back"
[ "$(wine_text "$E2E_DIR/debug0.out" | grep -c 'does not follow')" = 1 ] &&
    wine_text "$E2E_DIR/debug0.out" | grep -q '^ The clock does not follow the rate: ' ||
    wine_fail "offset 0: not one line saying the clock does not follow the rate"
calls=$(adjustment_calls "$E2E_DIR/debug0.err")
grep -q -E '^rate [0-9a-f]+,00000000$' <<< "$calls" && [ "$(tail -1 <<< "$calls")" = "rate 00000000,00000001" ] &&
    ! grep -q SetLocalTime <<< "$calls" || wine_fail "offset 0: adjustment calls: $calls"
e2e_step "offset -300: one step (two local sets), not followed, then only measuring"
[ "$(wine_text "$E2E_DIR/debug-300.out" | grep -c 'does not follow')" = 1 ] &&
    wine_text "$E2E_DIR/debug-300.out" | grep -q '^ The clock does not follow the step: ' ||
    wine_fail "offset -300: not one line saying the clock does not follow the step"
wine_text "$E2E_DIR/debug-300.out" | grep '^ Offset ' | grep -q -v 'monitoring $' &&
    wine_fail "offset -300: an Offset line not monitoring"
[ "$(adjustment_calls "$E2E_DIR/debug-300.err" | tr '\n' ' ')" = "SetLocalTime SetLocalTime " ] ||
    wine_fail "offset -300: adjustment calls: $(adjustment_calls "$E2E_DIR/debug-300.err")"
e2e_expect_no_crash
