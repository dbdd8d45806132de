#!/bin/bash
# The program run by hand in a console: the usage path, and -debug on each board family.
#
#   e2e_console.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR SCENARIO
#
# usage:           no argument and unrecognised options (-loadx, a bare "load"), run side by
#                  side: the usage text byte for byte (Wine's C runtime writes CR LF), the
#                  10 s pause before the dispatcher, the failed dispatcher's event-log entry
#                  on stderr, exit status 1.
# debug_tav:       TAV at 0x300, no settings value ("0h"), local time.
# debug_brq:       BRQ at 0xC800, settings word 0xFFFF00FA (UTC), the board on UTC.
# debug_fenlo:     FENLO at 0xD400 with one 'R' in its signature and id 'P', 250 ms ahead of
#                  the clock: every comparison is out of step, so corrections (which Wine
#                  accepts without changing the clock, as they are under 0.5 s) alternate
#                  with forgiven comparisons.
# debug_fenlo_rejected: a FENLO board whose signature has no 'R': no board in either pass,
#                  the failed step printed, and the run ends by itself.
# The -debug runs that reach polling are stopped by SIGINT to the loader process, which Wine
# hands to the program's console handler as Ctrl+C: "Stopping ...", then the worker's 5 s
# closing pause and the program's own 5 s before exit status 0. The local time zone is
# UTC+5:30, so that a clock read in the wrong time base is hours off and never in step.
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 6 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR SCENARIO"
export TZ=Asia/Kolkata
e2e_begin_case "$1" "$4" "$5"
program_file="$2" library_file="$3" scenario="$6"
folder="$E2E_DIR/program"

readonly USAGE_TEXT=' Command Line Options: \r\n\r\nRUZivEr2 -load X nnn <enter>\r\n             to load the ZYNntHoravex service\r\n             where X = S or L, and nnn = 50 to 250 (user Selectable Delay \r\n             with 150ms default slop.\r\nRUZivEr2 -unload <enter>\r\n\r\nStartServiceCtrlDispatcher being called.\r\nThis may take several seconds.  Please wait.\r\n'
# Wine's traces with time stamps, to time the pause between the last line printed and the
# call of the dispatcher within the program itself. The stamps are Wine's tick count, which
# the server advances about every 16 ms, and later when it is busy: a difference may come out
# that much short (9992 ms has been seen), so 100 ms short is let pass. Without the pause it
# would be a few ms.
readonly TRACED='-all,err+eventlog,trace+service,trace+file,+timestamp'
readonly TICK_STEP_MS=100

# The ms between the program's last write before the dispatcher call and the call, from
# Wine's time-stamped traces (both stamps from one clock, in one process).
dispatcher_pause_ms() {
    awk -F: '$3 == "trace" && $4 == "file" && $5 ~ /^WriteFile / { last[$2] = $1 }
             $3 == "trace" && $4 == "service" && $5 ~ /^StartServiceCtrlDispatcherA / && ($2 in last) {
                 printf "%d\n", ($1 - last[$2]) * 1000 + 0.5; exit }' "$1"
}

# The event-log entries of a stderr file, without Wine's thread number.
eventlog_lines() {
    sed -n 's/^\([0-9.]*:\)\{0,1\}[0-9a-f]*:err:eventlog:\(.*\)$/\2/p' "$1" | tr -d '\r'
}

run_usage() {
    e2e_install_program "$folder" "$program_file" "$library_file"
    e2e_step "usage path: no argument, -loadx and a bare 'load', side by side"
    local name debug pids=() names=()
    for name in plain none loadx bare; do
        case "$name" in
            plain) e2e_start_program "$name" -all,err+eventlog "$folder/RUZivEr2.exe" ;;
            none) e2e_start_program "$name" "$TRACED" "$folder/RUZivEr2.exe" ;;
            loadx) e2e_start_program "$name" "$TRACED" "$folder/RUZivEr2.exe" -loadx ;;
            bare) e2e_start_program "$name" "$TRACED" "$folder/RUZivEr2.exe" load ;;
        esac
        pids+=("$E2E_PID")
        names+=("$name")
    done
    local i
    for i in "${!pids[@]}"; do
        name=${names[$i]}
        e2e_wait_program "${pids[$i]}" 120
        # The dispatcher fails outside the service manager; main then returns 1.
        [ "$E2E_RC" = 1 ] || wine_fail "$name: exit status $E2E_RC, expected 1"
        e2e_expect_bytes "$E2E_DIR/$name.out" "$USAGE_TEXT"
        [ "$(eventlog_lines "$E2E_DIR/$name.err")" = "$(printf '%s\n' \
            'ReportEventW L"ZYN_NT_Horavex2 error: 1063"' 'ReportEventW L"StartServiceCtrlDispatcher failed."')" ] ||
            wine_fail "$name: the event log got: $(eventlog_lines "$E2E_DIR/$name.err")"
        if [ "$name" = plain ]; then
            # Nothing but the entry's two strings on stderr.
            [ "$(wc -l < "$E2E_DIR/$name.err")" = 2 ] || wine_fail "$name: more than the event-log entry on stderr"
        else
            local pause
            pause=$(dispatcher_pause_ms "$E2E_DIR/$name.err")
            [ -n "$pause" ] || wine_fail "$name: no dispatcher call after a write in Wine's traces"
            (( pause >= E2E_DISPATCHER_PAUSE_MS - TICK_STEP_MS && pause <= E2E_DISPATCHER_PAUSE_MS + E2E_SLACK_MS )) ||
                wine_fail "$name: $pause ms from the last line to the dispatcher, expected 10000"
            echo "$name: $pause ms from 'Please wait.' to the dispatcher"
        fi
    done
    e2e_reg_value settings "$E2E_SETTINGS_KEY" SvcInfo && wine_fail "the usage path stored a settings word"
    return 0
}

# The trace up to the polling loop.
#   startup_trace WORD FAMILY_LINE STATE_LINE
startup_trace() {
    printf '%s\n' "Debugging $E2E_DISPLAY." "$1" "$2" "$3" " CurrentProcessId  " " Initialize DACL  " " Set DACL  " \
        " Get Command Line  " " Open Process Token  " " Initialize Token Privileges  "
}

# Checks the lines of the polling loop and of the stop: blocks of [" Time Changed S "]
# " CheckTime TRUE. " and the state line " S  T  1  F  I  A " (S the computer's second of
# the comparison, T the tick, rising), then "Stopping ...". A check already running when
# Ctrl+C came may still print its block after "Stopping". CORRECTIONS: "never" (the clock is
# in step) or "always" (every TRUE follows a correction, and two corrections are never one
# second apart, as an out-of-step comparison right after a correction is forgiven).
#   check_loop FILE SKIP "F  I  A" CORRECTIONS
check_loop() {
    local file="$1" skip="$2" record="$3" corrections="$4"
    wine_text "$file" | tail -n +"$(( skip + 1 ))" | awk -v record="$record" -v corrections="$corrections" '
        function fail(message) { print "line " NR ": " message ": \"" $0 "\""; bad = 1; exit 1 }
        $0 == "Stopping ZYN NT Horavex Service2." {
            if (stopping) fail("a second Stopping line")
            if (expect != "block") fail("Stopping inside a block")
            stopping = 1; next }
        stopping && blocks_after > 0 && expect == "block" { fail("more than one block after Stopping") }
        /^ Time Changed [0-9]+ $/ {
            if (expect != "block" || corrections != "always") fail("unexpected correction")
            changed = $3 + 0; expect = "true"; next }
        $0 == " CheckTime TRUE. " {
            if (corrections == "always" && expect != "true") fail("TRUE without a correction")
            if (corrections == "never" && expect != "block") fail("unexpected TRUE")
            expect = "state"; next }
        expect == "state" {
            if (match($0, "^ [0-9]+  [0-9]+  1  " record " $") == 0) fail("not a state line")
            second = $1 + 0; tick = $2 + 0
            if (second > 59) fail("second out of range")
            if (tick <= last_tick) fail("tick did not rise")
            if (corrections == "always") {
                if (second != changed) fail("state line second differs from the correction")
                if (count > 0 && (second - last_second + 60) % 60 < 2) fail("two corrections one second apart")
            }
            last_tick = tick; last_second = second; count++
            if (stopping) blocks_after++
            expect = "block"; next }
        { fail("unexpected line") }
        BEGIN { expect = "block" }
        END { if (bad) exit 1
              if (!stopping) { print "no Stopping line"; exit 1 }
              if (expect != "block") { print "output ends inside a block"; exit 1 }
              if (count < 1) { print "no CheckTime TRUE"; exit 1 }
              print count " checks in step, last tick " last_tick }' > "$file.loop" ||
        wine_fail "$file: $(cat "$file.loop")"
    cat "$file.loop"
}

# Runs -debug until its trace shows COUNT comparisons in step, stops it with SIGINT and
# checks the exit.
#   run_debug_until_true COUNT
run_debug_until_true() {
    local count="$1"
    chmod 0777 "$folder/RUZivEr2.exe"
    e2e_start_program debug -all,err+eventlog "$folder/RUZivEr2.exe" -debug
    local pid=$E2E_PID
    # COUNT TRUE lines, the last with its state line out too.
    e2e_wait_for 60 "$count comparisons in the -debug trace" \
        awk -v count="$count" '/^ CheckTime TRUE\. / { if (++found == count) line = NR }
                               END { exit !(line && NR > line) }' "$E2E_DIR/debug.out"
    local stop_ms
    stop_ms=$(e2e_now_ms)
    kill -INT "$pid" || wine_fail "could not send SIGINT to $pid"
    e2e_wait_for 10 "'Stopping' after SIGINT" grep -q '^Stopping ZYN NT Horavex Service2\.' "$E2E_DIR/debug.out"
    e2e_wait_program "$pid" 60
    local took=$(( E2E_END_MS - stop_ms ))
    [ "$E2E_RC" = 0 ] || wine_fail "-debug ended with status $E2E_RC after SIGINT, expected 0"
    (( took >= E2E_CLOSING_PAUSE_MS + E2E_COMMAND_PAUSE_MS )) ||
        wine_fail "-debug ended $took ms after SIGINT, before the closing pause and the program's own"
    (( took <= E2E_CLOSING_PAUSE_MS + E2E_COMMAND_PAUSE_MS + E2E_POLL_MS + E2E_SLACK_MS )) ||
        wine_fail "-debug ended only $took ms after SIGINT"
    echo "-debug ended with status 0, $took ms after SIGINT"
    # The program's file, named by its module path, got the protection in console mode too.
    [ "$(stat -c %a "$folder/RUZivEr2.exe")" = 770 ] ||
        wine_fail "RUZivEr2.exe has mode $(stat -c %a "$folder/RUZivEr2.exe") after -debug, expected 770"
}

# Checks the head of the trace and the loop; LINES of the trace are the start-up.
#   check_debug_trace WORD FAMILY_LINE "F  I  A" CORRECTIONS
check_debug_trace() {
    local word="$1" family_line="$2" record="$3" corrections="$4"
    local expected
    expected=$(startup_trace "$word" "$family_line" " 0  0  1  $record ")
    [ "$(wine_text "$E2E_DIR/debug.out" | head -10)" = "$expected" ] ||
        wine_fail "the start-up trace differs: $(wine_text "$E2E_DIR/debug.out" | head -10 | cat -A)"
    check_loop "$E2E_DIR/debug.out" 10 "$record" "$corrections"
    [ -s "$E2E_DIR/debug.err" ] && wine_fail "-debug wrote to stderr: $(head -3 "$E2E_DIR/debug.err")"
    e2e_expect_cadence polls "$folder/calls.log" 10
    local last_tick
    last_tick=$(awk '{ print $NF }' "$E2E_DIR/debug.out.loop")
    (( last_tick <= E2E_GROUPS )) || wine_fail "tick $last_tick in the trace, but only $E2E_GROUPS polls in the log"
}

case "$scenario" in
    usage)
        run_usage
        ;;
    debug_tav)
        e2e_install_program "$folder" "$program_file" "$library_file" "log = calls.log"
        e2e_step "-debug on a TAV board"
        run_debug_until_true 2
        check_debug_trace 0h " Found TAV " "1  149  768" never
        ;;
    debug_brq)
        e2e_install_program "$folder" "$program_file" "$library_file" "log = calls.log" "board = BRQ" \
            "address = 0xC800" "time_base = utc"
        e2e_run settings 60 -- reg.exe add "$E2E_SETTINGS_KEY" /v SvcInfo /t REG_DWORD /d 4294902010 /f
        e2e_step "-debug on a BRQ board, settings word 0xFFFF00FA"
        run_debug_until_true 2
        check_debug_trace FFFF00FAh " Found BRQ " "2  144  51200" never
        ;;
    debug_fenlo)
        e2e_install_program "$folder" "$program_file" "$library_file" "log = calls.log" "board = FENLO" \
            "address = 0xD400" "fenlo_id = P" "fenlo_signature = X R Y" "offset_ms = 250"
        e2e_step "-debug on a FENLO board with one R in its signature, 250 ms ahead"
        # Three corrections: two intervals in which a comparison must have been forgiven.
        run_debug_until_true 3
        check_debug_trace 0h " Found FENLO " "80  80  54272" always
        [ "$(e2e_log_text "$folder/calls.log" | sed -En 's/^[0-9]+ (NttcReadReg|NttcSendByte) (.*)$/\1 \2/p')" = \
          "$(printf '%s\n' "NttcReadReg 0x3EF 0xD400 -> 1 0x50" "NttcReadReg 0x3E0 0xD400 -> 1 0x58" \
            "NttcReadReg 0x3E1 0xD400 -> 1 0x52" "NttcReadReg 0x3E2 0xD400 -> 1 0x59" \
            "NttcSendByte 0x16 0xD400 -> 1" "NttcSendByte 0x23 0xD400 -> 1")" ] ||
            wine_fail "the FENLO board's check and set-up in the log are not as expected"
        ;;
    debug_fenlo_rejected)
        e2e_install_program "$folder" "$program_file" "$library_file" "log = calls.log" "board = FENLO" \
            "fenlo_id = Q" "fenlo_signature = X Y Z"
        e2e_step "-debug on a FENLO board without an R in its signature"
        e2e_start_program debug -all,err+eventlog "$folder/RUZivEr2.exe" -debug
        start_ms=$(e2e_now_ms)
        e2e_wait_program "$E2E_PID" 90
        took=$(( E2E_END_MS - start_ms ))
        [ "$E2E_RC" = 0 ] || wine_fail "-debug ended with status $E2E_RC, expected 0"
        # The retry's 3 s, the closing 5 s and the program's own 5 s.
        (( took >= 3000 + E2E_CLOSING_PAUSE_MS + E2E_COMMAND_PAUSE_MS )) ||
            wine_fail "-debug ended after $took ms, before its pauses"
        # After the last trace line, the step that gave up.
        e2e_expect_bytes "$E2E_DIR/debug.out" 'Debugging %s.\r\n0h\r\n Found FENLO \r\n Found FENLO \r\n%s\r\n' \
            "$E2E_DISPLAY" "Start-up failed (2): no reader board answered at any of the 22 addresses, in two passes 3 s apart"
        # Each pass checks the board at 0x300 and goes on to the last candidate.
        pass=$(for address in $E2E_CANDIDATES; do
                   if [ "$address" = 0x300 ]; then echo "0x300 3 0x300"; else echo "$address 0 $address"; fi
               done)
        [ "$(e2e_identify_calls "$folder/calls.log")" = "$(printf '%s\n%s\n' "$pass" "$pass")" ] ||
            wine_fail "the log does not show two passes over all candidates with the FENLO board at 0x300"
        [ "$(e2e_log_text "$folder/calls.log" | grep -c ' NttcReadReg 0x3E[0-2F] 0x300 -> 1 ')" = 8 ] ||
            wine_fail "expected the four FENLO registers read in each pass"
        e2e_log_text "$folder/calls.log" | grep -q -e ' NttcSendByte ' -e ' NttcReadTime ' &&
            wine_fail "a rejected board was set up or read"
        [ "$(e2e_log_text "$folder/calls.log" | grep -c ' NttcWriteReg 0x02 0x3FF ')" = 42 ] ||
            wine_fail "expected NttcWriteReg at the 21 other candidates in each pass"
        echo "-debug ended by itself after $took ms"
        ;;
    *) wine_fail "unknown scenario '$scenario'" ;;
esac

e2e_expect_no_crash
