#!/bin/bash
# The Windows Installer package under Wine's msiexec, in the case's own prefix.
#
#   e2e_msi.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR life|refused MSI NEXT_MSI
#
# life:    the stand-in library put in the folder first; /i with TIMEBASE=S SLOP=100 installs
#          the service with -load's registration, the settings word, the description and the
#          event source, and starts it (-status answers); a higher version without
#          properties keeps the word; /x removes the service and the source, not the word.
# refused: a board's delay that -load refuses fails the installation (1603, which Wine's
#          exit status cuts to 67) and leaves nothing; then /i without the library and
#          without properties succeeds, -load's default word, the service stopped.
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 8 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR life|refused MSI NEXT_MSI"
e2e_begin_case "$1" "$4" "$5"
library="$3" mode="$6" msi="$7" next_msi="$8"
case "$1" in
    64) folder="$WINEPREFIX/drive_c/Program Files/RUZivEr2" ;;
    32) folder="$WINEPREFIX/drive_c/Program Files (x86)/RUZivEr2" ;;
esac
program="$folder/RUZivEr2.exe"
readonly DESCRIPTION="Keeps this computer's clock in step with the time code of the reader board."

# msiexec NAME EXPECTED_STATUS ARGS...: a quiet run with its log in CASE_DIR/NAME.log.
msiexec() {
    local name="$1" expected="$2"
    shift 2
    e2e_run "$name" 120 -- msiexec "$@" /qn /l*v "$(e2e_windows_path "$E2E_DIR")\\$name.log"
    [ "$E2E_RC" = "$expected" ] || wine_fail "msiexec $* ended with $E2E_RC, expected $expected; see $E2E_DIR/$name.log"
    echo "msiexec $name: $E2E_RC in $E2E_ELAPSED_MS ms"
}

expect_service_gone() {
    e2e_reg_value "$1-image" "$E2E_SERVICE_KEY" ImagePath && wine_fail "the service is still registered"
    e2e_reg_value "$1-source" "$E2E_SOURCE_KEY" EventMessageFile && wine_fail "the event source is still there"
    return 0
}

# The registration -load makes, from the package's tables and its custom action.
expect_installed() {
    # Wine's InstallServices registers the path without quotes (Windows Installer quotes a
    # path with a space); the manager still starts it here.
    e2e_expect_reg image "$E2E_SERVICE_KEY" ImagePath REG_SZ "$(e2e_windows_path "$program")"
    e2e_expect_reg type "$E2E_SERVICE_KEY" Type REG_DWORD 0x10
    e2e_expect_reg start "$E2E_SERVICE_KEY" Start REG_DWORD 0x2
    e2e_expect_reg errors "$E2E_SERVICE_KEY" ErrorControl REG_DWORD 0x1
    e2e_expect_reg account "$E2E_SERVICE_KEY" ObjectName REG_SZ LocalSystem
    e2e_expect_reg description "$E2E_SERVICE_KEY" Description REG_SZ "$DESCRIPTION"
    e2e_expect_reg source-file "$E2E_SOURCE_KEY" EventMessageFile REG_EXPAND_SZ "$(e2e_windows_path "$program")"
    e2e_expect_reg source-types "$E2E_SOURCE_KEY" TypesSupported REG_DWORD 7
}

msi_path=$(e2e_windows_path "$msi")
if [ "$mode" = life ]; then
    e2e_step "the library first, then /i TIMEBASE=S SLOP=100: the service installed and started"
    mkdir -p "$folder"
    cp "$library" "$folder/ZYN_NTTC.dll"
    msiexec install 0 /i "$msi_path" TIMEBASE=S SLOP=100
    expect_installed
    e2e_expect_reg word "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0xFFFF0064
    e2e_poll_states states-installed.txt "$(e2e_now_ms)" 60 "4"
    e2e_run status 30 -- "$program" -status
    wine_text "$E2E_DIR/status.out" | grep -q -x "$E2E_DISPLAY ($E2E_SERVICE): RUNNING" ||
        wine_fail "-status does not say RUNNING: $(wine_text "$E2E_DIR/status.out")"
    wine_text "$E2E_DIR/status.out" | grep -q -x "Settings: UTC, slop 100 ms, stepped mode" ||
        wine_fail "-status does not show the settings given"

    e2e_step "a higher version without properties keeps the word"
    msiexec upgrade 0 /i "$(e2e_windows_path "$next_msi")"
    e2e_expect_reg word-kept "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0xFFFF0064
    e2e_expect_reg image-kept "$E2E_SERVICE_KEY" ImagePath REG_SZ "$(e2e_windows_path "$program")"
    e2e_poll_states states-upgraded.txt "$(e2e_now_ms)" 60 "4"

    e2e_step "/x: the service and the event source go, the settings word stays"
    msiexec remove 0 /x "$(e2e_windows_path "$next_msi")"
    expect_service_gone removed
    e2e_expect_reg word-left "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0xFFFF0064
    [ ! -e "$program" ] || wine_fail "the program is still there after /x"
else
    e2e_step "/i PRECISE=1 EDGEDELAY=1000.5: refused, nothing installed or stored"
    msiexec refused 67 /i "$msi_path" PRECISE=1 EDGEDELAY=1000.5
    wine_text "$E2E_DIR/refused.log" |
        grep -q -x "The board's delay must be a number of ms from -1000 to 1000 with at most three decimals: 1000.5" ||
        wine_fail "the log of the refused installation does not say why"
    expect_service_gone refused
    e2e_reg_value refused-word "$E2E_SETTINGS_KEY" SvcInfo && wine_fail "the refused installation stored a word"
    [ ! -e "$program" ] || wine_fail "the refused installation left the program"

    e2e_step "/i without the library and without properties: installed, -load's word, stopped"
    msiexec bare 0 /i "$msi_path"
    expect_installed
    e2e_expect_reg bare-word "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0x96
    e2e_query_service query-bare
    [ "$E2E_STATE" = 1 ] || wine_fail "without the library the service is in state '$E2E_STATE', expected 1 (STOPPED)"
fi
e2e_expect_no_crash
