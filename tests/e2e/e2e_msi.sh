#!/bin/bash
# The package under Wine's msiexec. life: the stand-in library first, then /i TIMEBASE=S
# SLOP=100 installs and starts the service; a higher version keeps the word; /x removes all but
# it. refused: a refused delay fails (1603, cut to 67) and leaves nothing; /i without the
# library: -load's word, the service stopped.
#   e2e_msi.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR life|refused MSI NEXT_MSI
set -u
. "$(dirname "$0")/e2e_lib.sh"
[ $# -eq 8 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR life|refused MSI NEXT_MSI"
e2e_begin_case "$1" "$4" "$5"
folder="$WINEPREFIX/drive_c/Program Files/RUZivEr2"
[ "$1" = 32 ] && folder="$WINEPREFIX/drive_c/Program Files (x86)/RUZivEr2"
program="$folder/RUZivEr2.exe"
# msiexec NAME EXPECTED_STATUS ARGS...: quiet, its log in CASE_DIR/NAME.log.
msiexec() {
    e2e_run "$1" 120 -- msiexec "${@:3}" /qn /l*v "$(e2e_windows_path "$E2E_DIR")\\$1.log"
    [ "$E2E_RC" = "$2" ] || wine_fail "msiexec ${*:3} ended with $E2E_RC, expected $2; see $E2E_DIR/$1.log"
}
expect_gone() {
    e2e_reg_value "$1-image" "$E2E_SERVICE_KEY" ImagePath && wine_fail "$1: the service is registered"
    e2e_reg_value "$1-source" "$E2E_SOURCE_KEY" TypesSupported && wine_fail "$1: the event source is there"
    [ ! -e "$program" ] || wine_fail "$1: the program is there"
}
# -load's registration. Wine's InstallServices writes the path without quotes (Windows
# Installer quotes one with a space); Wine's manager starts it all the same.
expect_installed() {
    local path
    path=$(e2e_windows_path "$program")
    e2e_expect_reg image "$E2E_SERVICE_KEY" ImagePath REG_SZ "$path"
    e2e_expect_reg description "$E2E_SERVICE_KEY" Description REG_SZ \
        "Keeps this computer's clock in step with the time code of the reader board."
    e2e_expect_reg source "$E2E_SOURCE_KEY" EventMessageFile REG_EXPAND_SZ "$path"
}

msi=$(e2e_windows_path "$7")
if [ "$6" = life ]; then
    mkdir -p "$folder" && cp "$3" "$folder/ZYN_NTTC.dll"
    msiexec install 0 /i "$msi" TIMEBASE=S SLOP=100
    expect_installed
    e2e_expect_reg word "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0xFFFF0064
    e2e_poll_states states-installed.txt "$(e2e_now_ms)" 60 4
    e2e_run status 30 -- "$program" -status
    wine_text "$E2E_DIR/status.out" | grep -q -x "$E2E_DISPLAY ($E2E_SERVICE): RUNNING" || wine_fail "-status: not RUNNING"
    msiexec upgrade 0 /i "$(e2e_windows_path "$8")"
    e2e_expect_reg word-kept "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0xFFFF0064
    e2e_poll_states states-upgraded.txt "$(e2e_now_ms)" 60 4
    msiexec remove 0 /x "$(e2e_windows_path "$8")"
    expect_gone removed
    e2e_expect_reg word-left "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0xFFFF0064
else
    msiexec refused 67 /i "$msi" PRECISE=1 EDGEDELAY=1000.5
    wine_text "$E2E_DIR/refused.log" | grep -q -x "The board's delay must be a number of ms from -1000 to 1000 with \
at most three decimals: 1000.5" || wine_fail "the refused installation's log does not say why"
    expect_gone refused
    e2e_reg_value refused-word "$E2E_SETTINGS_KEY" SvcInfo && wine_fail "the refused installation stored a word"
    msiexec bare 0 /i "$msi"
    expect_installed
    e2e_expect_reg bare-word "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0x96
    e2e_query_service query-bare
    [ "$E2E_STATE" = 1 ] || wine_fail "without the library the service is in state '$E2E_STATE', expected 1 (STOPPED)"
fi
e2e_expect_no_crash
