#!/bin/bash
# The service's life under Wine's service manager: installed with -load, started with
# sc start, polling the reader at its 51 ms cadence while it runs, and stopped.
#
#   e2e_service_life.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR sc|unload
#
# sc:     the program in C:\Program Files\Horavex, so its registered path is quoted and the
#         manager must start it through the quotes; the program's own file protected once it
#         runs; stopped with sc stop (STOPPED, exit code 0, after the 5 s closing pause);
#         then -unload of the stopped service and of the removed one.
# unload: the program in a folder without a space (its path registered as it is), stopped
#         and removed by -unload while it runs, with the dots of the wait.
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 6 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR sc|unload"
e2e_begin_case "$1" "$4" "$5"
mode="$6"
case "$mode" in
    sc) folder="$WINEPREFIX/drive_c/Program Files/Horavex" ;;
    unload) folder="$E2E_DIR/program" ;;
    *) wine_fail "unknown mode '$mode'" ;;
esac
e2e_install_program "$folder" "$2" "$3" "log = calls.log"
program="$folder/RUZivEr2.exe"
log="$folder/calls.log"
windows_path=$(e2e_windows_path "$program")
# The folder may be inside the prefix, which goes when the case ends: keep the log.
save_log() { [ -f "$log" ] && cp "$log" "$E2E_DIR/calls.log"; }
E2E_ON_END=save_log

# Reads are logged as they happen: once the service has stopped, the log must stand still.
expect_log_still() {
    local lines
    lines=$(wc -l < "$log")
    sleep 1
    (( $(wc -l < "$log") == lines )) || wine_fail "the log still grows after the service stopped"
}

# Discovery as the service did it: one pass, the TAV board answering at 0x300.
expect_one_pass_to_0x300() {
    local expected
    expected=$(printf '%s\n' "0x200 0 0x200" "0x220 0 0x220" "0x280 0 0x280" "0x2A0 0 0x2A0" "0x300 1 0x300")
    [ "$(e2e_identify_calls "$log")" = "$expected" ] ||
        wine_fail "discovery in the log is not one pass ending at 0x300: $(e2e_identify_calls "$log" | tr '\n' ';')"
    e2e_log_text "$log" | grep -Eq '^[0-9]+ start pid=[0-9]+ library=.*ZYN_NTTC\.dll config=read ' ||
        wine_fail "the library did not read its ZYN_NTTC.ini"
    [ "$(e2e_log_text "$log" | grep -c ' NttcOpen -> 1$')" = 1 ] || wine_fail "NttcOpen not called exactly once"
}

if [ "$mode" = sc ]; then
    # World-writable to begin with, so that the change the service makes shows.
    chmod 0777 "$program"
fi

e2e_step "-load registers the service under $windows_path"
e2e_command_run load "$program" -load
e2e_expect_loaded "$E2E_DIR/load.out"
if [ "$mode" = sc ]; then
    e2e_expect_reg image "$E2E_SERVICE_KEY" ImagePath REG_SZ "\"$windows_path\""
else
    e2e_expect_reg image "$E2E_SERVICE_KEY" ImagePath REG_SZ "$windows_path"
fi
e2e_expect_reg type "$E2E_SERVICE_KEY" Type REG_DWORD 0x10
e2e_expect_reg start "$E2E_SERVICE_KEY" Start REG_DWORD 0x2
e2e_expect_reg errors "$E2E_SERVICE_KEY" ErrorControl REG_DWORD 0x1
e2e_expect_reg account "$E2E_SERVICE_KEY" ObjectName REG_SZ LocalSystem
e2e_expect_reg description "$E2E_SERVICE_KEY" Description REG_SZ \
    "Keeps this computer's clock in step with the time code of the reader board."
# The program is its event source's message file, for Event Viewer to render its entries.
e2e_expect_reg source-file "$E2E_SOURCE_KEY" EventMessageFile REG_EXPAND_SZ "$windows_path"
e2e_expect_reg source-types "$E2E_SOURCE_KEY" TypesSupported REG_DWORD 7
e2e_query_service query-installed
[ "$E2E_STATE" = 1 ] || wine_fail "the installed service is in state '$E2E_STATE', expected 1 (STOPPED)"

e2e_step "sc start: START_PENDING, RUNNING after the 10 s pause before the dispatcher"
e2e_start_service_running
# sc start returns when the program has reached the dispatcher, and shows the state of that
# moment: START_PENDING with the worker's hint of 3000 ms and a checkpoint of its start-up
# (1 to 5), or already RUNNING on a fast machine.
e2e_parse_status "$E2E_DIR/sc-start.out"
[[ "$E2E_STATE $E2E_HINT $E2E_CHECKPOINT" =~ ^(2\ 0xbb8\ 0x[1-5]|4\ 0x0\ 0x0)$ ]] ||
    wine_fail "sc start showed state $E2E_STATE hint $E2E_HINT checkpoint $E2E_CHECKPOINT"
echo "sc start showed state $E2E_STATE, checkpoint $E2E_CHECKPOINT, hint $E2E_HINT"
# After it, nothing but START_PENDING until RUNNING.
awk '$2 != 4 && $2 != 2 { exit 1 }' "$E2E_DIR/states-start.txt" ||
    wine_fail "unexpected states while starting: $(cat "$E2E_DIR/states-start.txt")"
echo "RUNNING $E2E_RUNNING_MS ms after sc start"

e2e_step "status queries while it runs"
for query in 1 2 3 4; do
    sleep 0.5
    e2e_query_service query-running-$query
    [ "$E2E_STATE $E2E_EXIT $E2E_CHECKPOINT $E2E_HINT" = "4 0 0x0 0x0" ] ||
        wine_fail "query $query while running: state $E2E_STATE exit $E2E_EXIT checkpoint $E2E_CHECKPOINT hint $E2E_HINT"
done

if [ "$mode" = sc ]; then
    e2e_step "the program's own file is protected once the service runs"
    # Wine keeps a DACL only as Unix mode bits: SYSTEM and Administrators full control shows
    # as rwx for owner and group, and nothing for others (Users' read and execute has no
    # mode bit of its own to land in).
    mode_bits=$(stat -c %a "$program")
    [ "$mode_bits" = 770 ] || wine_fail "RUZivEr2.exe has mode $mode_bits after the start, expected 770"
    echo "RUZivEr2.exe: mode 777 before the start, $mode_bits after"

    e2e_step "sc stop: STOP_PENDING, then STOPPED with exit code 0 after the closing pause"
    # The start-up reported checkpoints 1 to 5; the stop-pending report takes the next.
    e2e_stop_service_cleanly 0x6
    echo "STOPPED $E2E_STOP_MS ms after sc stop"
    expect_log_still

    e2e_step "-unload of the stopped service removes it without stopping it"
    e2e_command_run unload-stopped "$program" -unload
    e2e_expect_bytes "$E2E_DIR/unload-stopped.out" '%s removed.\r\n' "$E2E_DISPLAY"

    e2e_step "-unload with no service"
    e2e_command_run unload-missing "$program" -unload
    e2e_expect_bytes "$E2E_DIR/unload-missing.out" 'OpenService failed - Service does not exist. (0x424)\r\n'
else
    e2e_step "-unload of the running service: stop, wait with dots, remove"
    e2e_command_run unload-running "$program" -unload
    dots_ok=0
    for dots in 4 5 6; do
        printf 'Stopping %s.%s\r\n%s stopped.\r\n%s removed.\r\n' "$E2E_DISPLAY" "$(printf '%*s' "$dots" '' | tr ' ' .)" \
            "$E2E_DISPLAY" "$E2E_DISPLAY" > "$E2E_DIR/unload-running.expected-$dots"
        cmp -s "$E2E_DIR/unload-running.out" "$E2E_DIR/unload-running.expected-$dots" && dots_ok=1
    done
    (( dots_ok )) || { od -c "$E2E_DIR/unload-running.out" >&2; wine_fail "-unload of the running service printed the above"; }
    # Its own 5 s pause after the stop, which took the 5 s closing pause.
    (( E2E_ELAPSED_MS >= E2E_CLOSING_PAUSE_MS + E2E_COMMAND_PAUSE_MS )) ||
        wine_fail "-unload took $E2E_ELAPSED_MS ms, less than the closing pause and its own pause"
    (( E2E_ELAPSED_MS <= E2E_CLOSING_PAUSE_MS + 1000 + E2E_COMMAND_PAUSE_MS + E2E_SLACK_MS )) ||
        wine_fail "-unload took $E2E_ELAPSED_MS ms"
    echo "-unload took $E2E_ELAPSED_MS ms"
    expect_log_still
fi

e2e_step "the service and its event source are gone, the settings word stays"
e2e_reg_value image-after "$E2E_SERVICE_KEY" ImagePath && wine_fail "the service is still registered"
e2e_reg_value source-after "$E2E_SOURCE_KEY" TypesSupported && wine_fail "the event source is still registered"
e2e_query_service query-removed
[ -z "$E2E_STATE" ] || wine_fail "sc query still shows the service in state $E2E_STATE"
e2e_expect_reg settings-after "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0x96

e2e_step "what the reader saw: one discovery pass, then polls every 51 ms"
expect_one_pass_to_0x300
e2e_expect_cadence polls "$log" 40

e2e_expect_no_crash
