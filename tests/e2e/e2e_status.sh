#!/bin/bash
# -status and the state the service publishes, through a service's life under Wine's manager:
# running in step (exit 0, every published value there; the json and
# prometheus forms parsed and agreeing with the text form; twenty answers in a row each
# whole), Windows' time service made to exist in the registry (exit 1), Group Policy's Type
# over the local one (its NoSync: exit 0; its NTP over a local NoSync: exit 1, with the
# policy's advice), stopped (exit 2), removed with its status key (exit 2, not
# installed), loaded again in the precise mode on a board 300 ms ahead with slop 50 (exit 1:
# the steps do not move Wine's clock, no rate call does, and the mode only measures; its
# figures published too) with the time service's warning entry at the start, the volatile key
# gone once Wine's server has restarted, and a start with no board (exit 2, the failed step).
#
#   e2e_status.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR
set -u
# Warning entries print at Wine's warn level.
E2E_WINEDEBUG='-all,err+eventlog,warn+eventlog'
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR"
e2e_begin_case "$1" "$4" "$5"
folder="$E2E_DIR/program"
program="$folder/RUZivEr2.exe"
readonly STATUS_KEY="$E2E_SERVICE_KEY\\Status"
readonly TIME_SERVICE_KEY='HKLM\SYSTEM\CurrentControlSet\Services\W32Time'
readonly POLICY_KEY='HKLM\SOFTWARE\Policies\Microsoft\W32Time'
readonly PUBLISHED="Mode Board BoardFamily BoardAddress StartedAt StartedAtFileTime LastComparisonAt
    LastComparisonAtFileTime LastOffsetMs LastCorrectionAt LastCorrectionAtFileTime Comparisons OutOfStepComparisons
    Corrections UnrecordedCorrections WrittenAt WrittenAtFileTime"

# Runs -status as NAME; expects exit status STATUS, no pause, and each PATTERN in its output.
#   expect_status NAME STATUS PATTERN...
expect_status() {
    local name="$1" status="$2"
    shift 2
    e2e_run "$name" 30 -- "$program" -status
    [ "$E2E_RC" = "$status" ] || wine_fail "$name: -status ended with $E2E_RC, expected $status: $(wine_text "$E2E_DIR/$name.out")"
    (( E2E_ELAPSED_MS < E2E_COMMAND_PAUSE_MS )) || wine_fail "$name: -status took $E2E_ELAPSED_MS ms, as if it paused"
    local pattern
    for pattern in "$@"; do
        wine_text "$E2E_DIR/$name.out" | grep -q -E -- "$pattern" || wine_fail "$name: no line matching '$pattern'"
    done
}

status_key_gone() {
    e2e_run status-key 30 -- reg.exe query "$STATUS_KEY"
    [ "$E2E_RC" != 0 ] || wine_fail "the status key exists"
}

# 0 when -status ends with the status line given.
status_says() { e2e_run poll-status 30 -- "$program" -status; wine_text "$E2E_DIR/poll-status.out" | grep -q -x -- "$1"; }

e2e_install_program "$folder" "$2" "$3"
e2e_command_run load "$program" -load L 150
e2e_start_service_running
e2e_step "running in step: exit 0, a recent comparison, every value published"
e2e_wait_for 15 "-status to exit 0" status_says "Status: 0 OK, running, in step"
expect_status running 0 "^$E2E_DISPLAY \\($E2E_SERVICE\\): RUNNING$" "^Settings: local time, slop 150 ms, stepped mode$" \
    "^Published: [0-9.]+ s ago, stepped mode, board TAV at 0x300$" \
    "^Last comparison [0-9]\\.[0-9] s ago: computer (in step with|[0-9]+ ms (ahead of|behind)) the board$" \
    "^Windows Time \\(W32Time\\): not installed$" "^Status: 0 OK, running, in step$"
for value in $PUBLISHED; do
    e2e_reg_value "value-$value" "$STATUS_KEY" "$value" || wine_fail "the status key has no $value"
done

e2e_step "json and prometheus agree with the text form; every answer of twenty in a row is whole"
e2e_run forms-text 30 -- "$program" -status
e2e_run forms-json 30 -- "$program" -status json
e2e_run forms-prometheus 30 -- "$program" -status prometheus
/usr/bin/python3 "$(dirname "$0")/check_status_forms.py" "$E2E_DIR/forms-text.out" "$E2E_DIR/forms-json.out" \
    "$E2E_DIR/forms-prometheus.out" || wine_fail "the forms for machines do not agree with the text form"
for i in $(seq 20); do
    e2e_run "whole-$i" 30 -- "$program" -status json
    /usr/bin/python3 -c 'import json, sys; f = json.load(open(sys.argv[1])); p = f["published"]
sys.exit(0 if f["status"] == 0 and p and 0 <= p["age_s"] < 10 and p["last_comparison"] else 1)' \
        "$E2E_DIR/whole-$i.out" || wine_fail "answer $i is not whole and in step: $(cat "$E2E_DIR/whole-$i.out")"
done

e2e_step "Windows' time service on demand, Type NTP: exit 1"
e2e_run w32time 30 -- reg.exe add "$TIME_SERVICE_KEY" /v Start /t REG_DWORD /d 3 /f
e2e_run w32time-type 30 -- reg.exe add "$TIME_SERVICE_KEY\\Parameters" /v Type /t REG_SZ /d NTP /f
expect_status peer 1 "^Windows Time \\(W32Time\\): .*, start type on demand, Type NTP \\(local\\): it may set this clock; to stop it: w32tm /config /syncfromflags:NO /update$" \
    "^Status: 1 WARNING, running, but Windows' time service may set this clock too$"

e2e_step "Group Policy first: its NoSync over the local NTP gives no warning, its NTP over the local NoSync one"
e2e_run policy-nosync 30 -- reg.exe add "$POLICY_KEY\\Parameters" /v Type /t REG_SZ /d NoSync /f
expect_status policy-nosync 0 "^Windows Time \\(W32Time\\): .*, Type NoSync \\(policy\\): it does not set this clock$"
e2e_run policy-ntp 30 -- reg.exe add "$POLICY_KEY\\Parameters" /v Type /t REG_SZ /d NTP /f
e2e_run local-nosync 30 -- reg.exe add "$TIME_SERVICE_KEY\\Parameters" /v Type /t REG_SZ /d NoSync /f
expect_status policy-ntp 1 "^Windows Time \\(W32Time\\): .*, Type NTP \\(policy\\): it may set this clock; Group Policy decides \\(\"Configure Windows NTP Client\"\\): whoever owns the policy must set its Type to NoSync for this computer, or disable the service$" \
    "^Status: 1 WARNING, running, but Windows' time service may set this clock too$"
e2e_run policy-gone 30 -- reg.exe delete "$POLICY_KEY" /f
e2e_run local-ntp 30 -- reg.exe add "$TIME_SERVICE_KEY\\Parameters" /v Type /t REG_SZ /d NTP /f

e2e_step "stopped: exit 2"
e2e_stop_service_cleanly 0x6
expect_status stopped 2 "^$E2E_DISPLAY \\($E2E_SERVICE\\): STOPPED, exit code 0$" "^Status: 2 CRITICAL, stopped$"

e2e_step "-unload takes the status key with the service: exit 2, not installed"
e2e_reg_value published-before-unload "$STATUS_KEY" Mode || wine_fail "no status key before -unload"
e2e_command_run unload "$program" -unload
status_key_gone
expect_status unloaded 2 "^$E2E_DISPLAY \\($E2E_SERVICE\\): not installed$" "^Status: 2 CRITICAL, not installed$"

e2e_step "precise, 300 ms ahead, slop 50: stepped, not followed, exit 1; the time service's warning entry"
printf '%s\r\n' "offset_ms = 300" > "$folder/ZYN_NTTC.ini"
e2e_command_run load-50 "$program" -load L 50 precise
e2e_start_service_running
# Only measuring once the clock's own rate has run 16 s with no step in between and no rate
# call moved it: the steps not followed back off (2, 4, 8, 16, 32 s), so 31 to 47 s in.
e2e_wait_for 60 "-status to say the clock does not follow" \
    status_says "Status: 1 WARNING, running, but the clock does not follow it: only measuring"
expect_status out-of-step 1 "^Settings: local time, slop 50 ms, precise mode$" \
    "^Last comparison [0-9]+\\.[0-9] s ago: computer [0-9]+ ms behind the board$" \
    "^Precise mode: offset -[0-9]+\\.[0-9]{3} ms \\+/- [0-9.]+ ms, rate \\+0\\.00 ppm, monitoring$" \
    "^Rate call: (precise|legacy|none|unmeasured), measured scale [+-][0-9]+\\.[0-9]{3}$"
for value in OffsetMs HalfWidthMs RatePpm State RateCall RateScale; do
    e2e_reg_value "value-$value" "$STATUS_KEY" "$value" || wine_fail "the status key has no $value"
done
# Wine prints an entry's strings: the time service's Type at the start, then the step not
# followed, then that no rate call moves the clock (an entry whose one string is empty).
[ "$(e2e_eventlog_strings "$E2E_DIR/wine.err" warn | tr '\n' '|')" = "NTP|step||" ] ||
    wine_fail "warning entries: '$(e2e_eventlog_strings "$E2E_DIR/wine.err" warn | tr '\n' '|')', expected NTP|step||"
e2e_stop_service_cleanly 0x6

e2e_step "the key is volatile: gone once Wine's server has restarted"
e2e_reg_value published-before-restart "$STATUS_KEY" Mode || wine_fail "no status key before the restart"
e2e_run on-demand 30 -- reg.exe add "$E2E_SERVICE_KEY" /v Start /t REG_DWORD /d 3 /f
e2e_restart_wine
status_key_gone

e2e_step "a start with no board: exit 2 and the failed step"
printf '%s\r\n' "board = none" > "$folder/ZYN_NTTC.ini"
e2e_run sc-start-no-board 90 -- sc.exe start "$E2E_SERVICE"
e2e_poll_states states-no-board.txt "$(e2e_now_ms)" 60 "1"
expect_status no-board 2 "^$E2E_DISPLAY \\($E2E_SERVICE\\): STOPPED, exit code 1066, start-up failure 2: no reader board answered at any of the 22 addresses, in two passes 3 s apart$" \
    "^Status: 2 CRITICAL, the start-up failed$"
e2e_expect_no_crash
