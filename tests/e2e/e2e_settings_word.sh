#!/bin/bash
# The settings word and the registration that -load makes, in one prefix, one -load after
# another (each pays the program's 5 s pause, so they share a case where they do not
# interfere).
#
#   e2e_settings_word.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR
#
# The first -load registers the service: a service of its own process, started
# automatically, with normal error control, as LocalSystem, under the program's path as it
# is (no space in it here, so no quotes; the quoted form is in e2e_service_life.sh). Every
# later -load finds it registered, says so, rewrites the word and completes the installation.
# Before each the value is set to a sentinel, so that every example shows its own write. The option word
# is spelt in several ways, as it is compared without regard to case and may start with '/'.
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR"
e2e_begin_case "$1" "$4" "$5"
folder="$E2E_DIR/program"
e2e_install_program "$folder" "$2" "$3"
program="$folder/RUZivEr2.exe"
[[ "$folder" != *" "* ]] || wine_fail "this case needs a folder without a space: $folder"
readonly SENTINEL=1515870810   # 0x5A5A5A5A, a word -load never stores

e2e_step "no settings key before the first -load"
e2e_reg_value reg-before "$E2E_SETTINGS_KEY" SvcInfo && wine_fail "SvcInfo exists before any -load"

e2e_step "-load: the default word, and the registration"
e2e_command_run load-1 "$program" -load
e2e_expect_loaded "$E2E_DIR/load-1.out"
e2e_expect_reg reg-1 "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0x96
e2e_expect_reg reg-type "$E2E_SERVICE_KEY" Type REG_DWORD 0x10
e2e_expect_reg reg-start "$E2E_SERVICE_KEY" Start REG_DWORD 0x2
e2e_expect_reg reg-error "$E2E_SERVICE_KEY" ErrorControl REG_DWORD 0x1
e2e_expect_reg reg-account "$E2E_SERVICE_KEY" ObjectName REG_SZ LocalSystem
e2e_expect_reg reg-display "$E2E_SERVICE_KEY" DisplayName REG_SZ "$E2E_DISPLAY"
e2e_expect_reg reg-image "$E2E_SERVICE_KEY" ImagePath REG_SZ "$(e2e_windows_path "$program")"

# One more -load over the registered service: sentinel, run, message, word.
#   example NUMBER EXPECTED_WORD ARGS...
example() {
    local number="$1" expected="$2"
    shift 2
    e2e_step "$(printf '%q ' "$@")-> $expected"
    e2e_run sentinel-"$number" 60 -- reg.exe add "$E2E_SETTINGS_KEY" /v SvcInfo /t REG_DWORD /d "$SENTINEL" /f
    [ "$E2E_RC" = 0 ] || wine_fail "reg add of the sentinel failed"
    e2e_command_run load-"$number" "$program" "$@"
    # Then it brings the existing service up to date: Wine refuses the recovery actions' flag
    # and keeps no access list.
    e2e_expect_bytes "$E2E_DIR/load-$number.out" "CreateService failed - Service exists. (0x431)\r\n$E2E_LOAD_UNDER_WINE"
    e2e_expect_reg reg-"$number" "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD "$expected"
}

example 2 0xFFFF0096 -load S
example 3 0x96 -LOAD s
example 4 0x64 -load L 100
example 5 0x64 /load s 100
example 6 0xFFFF00FA -Load S 300
example 7 0xFFFF0032 /LOAD S 10
example 8 0x32 -load L abc
example 9 0x32 -load L 7
example 10 0xFA -load L 1000
example 11 0x32 -load L -100
example 12 0x4B -load L " 75"
example 13 0xFFFF0064 -load S 100

e2e_step "-load L 150 precise D: EdgeDelayUs in us (-3.5: 0xFFFFF254), shown by -status; a refused D stores and installs nothing"
e2e_command_run delay-1 "$program" -load L 150 precise 41.25
e2e_expect_reg delay-1-reg "$E2E_SETTINGS_KEY" EdgeDelayUs REG_DWORD 41250
e2e_command_run delay-2 "$program" -load L 150 precise -3.5
e2e_expect_reg delay-2-reg "$E2E_SETTINGS_KEY" EdgeDelayUs REG_DWORD 0xFFFFF254
e2e_run delay-status 30 -- "$program" -status
wine_text "$E2E_DIR/delay-status.out" | grep -q -x "Settings: local time, slop 150 ms, precise mode, board delay -3.500 ms" ||
    wine_fail "-status does not show the board's delay"
e2e_run delay-sentinel 60 -- reg.exe add "$E2E_SETTINGS_KEY" /v SvcInfo /t REG_DWORD /d "$SENTINEL" /f
e2e_run delay-refused 90 -- "$program" -load S 100 precise 1000.5
[ "$E2E_RC" = 1 ] || wine_fail "-load with a refused delay ended with status $E2E_RC, expected 1"
# The refusal alone: no "CreateService failed - Service exists.", so nothing was installed.
e2e_expect_bytes "$E2E_DIR/delay-refused.out" \
    "The board's delay must be a number of ms from -1000 to 1000 with at most three decimals: 1000.5\r\n"
e2e_expect_reg delay-refused-word "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD "$SENTINEL"
e2e_expect_reg delay-refused-reg "$E2E_SETTINGS_KEY" EdgeDelayUs REG_DWORD 0xFFFFF254

e2e_step "a -load over a service whose description and event source were deleted by hand puts both back"
e2e_run delete-description 30 -- reg.exe delete "$E2E_SERVICE_KEY" /v Description /f
e2e_run delete-source 30 -- reg.exe delete "$E2E_SOURCE_KEY" /f
e2e_reg_value gone-source "$E2E_SOURCE_KEY" EventMessageFile && wine_fail "the event source is still there"
e2e_command_run load-again "$program" -load
e2e_expect_reg description "$E2E_SERVICE_KEY" Description REG_SZ \
    "Keeps this computer's clock in step with the time code of the reader board."
e2e_expect_reg source "$E2E_SOURCE_KEY" EventMessageFile REG_EXPAND_SZ "$(e2e_windows_path "$program")"
e2e_reg_value delay-gone "$E2E_SETTINGS_KEY" EdgeDelayUs && wine_fail "a plain -load left EdgeDelayUs"

e2e_step "-unload after sc delete removes the event source"
e2e_run sc-delete 30 -- sc.exe delete "$E2E_SERVICE"
e2e_command_run unload "$program" -unload
e2e_expect_bytes "$E2E_DIR/unload.out" 'OpenService failed - Service does not exist. (0x424)\r\n'
e2e_reg_value unloaded-source "$E2E_SOURCE_KEY" EventMessageFile && wine_fail "-unload left the event source"

e2e_expect_no_crash
