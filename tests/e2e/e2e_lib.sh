# Helpers shared by the end-to-end cases of RUZivEr2.exe under Wine (label "e2e"). Source it
# after `set -u`:
#
#   . "$(dirname "$0")/e2e_lib.sh"
#   e2e_begin_case BITS TEMPLATE CASE_DIR      # own copy of the template prefix, an idle
#                                              # Wine process, cleanup when the script exits
#   e2e_install_program FOLDER PROGRAM LIBRARY [INI_LINES...]
#   e2e_run NAME SECONDS -- PROGRAM ARGS...    # output in CASE_DIR/NAME.out and NAME.err
#   e2e_start_program NAME WINEDEBUG PROGRAM ARGS...  # the same in the background
#
# Why the cases are built this way (facts in docs/wine-notes.md):
# - Making a prefix takes about 20 s, so the fixture makes one template per build and every
#   case works in a `cp -a` copy of it: its own registry and service manager, so cases run
#   in parallel without seeing each other.
# - Wine's service manager ends when the prefix has no process left, and when it comes back
#   it starts every automatic service on its own. Each case therefore keeps one idle
#   cmd.exe alive from its start to its end, so that nothing starts the service behind the
#   case's back.
# - wineserver and services.exe inherit the output of the process that started them and keep
#   it open: every Wine command writes to files, never to a pipe, and the idle process, which
#   starts them, writes to CASE_DIR/wine.err, where the services' own errors land too.
# - Every Wine command is bounded by `timeout`, and the prefix's processes are ended with
#   `wineserver -k` for that prefix only.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

# Decimal points and sorting as the scripts expect, whatever the machine's locale.
export LC_ALL=C

readonly E2E_SERVICE=ZYN_NT_Horavex2
readonly E2E_DISPLAY="ZYN NT Horavex Service2"
readonly E2E_SETTINGS_KEY='HKLM\SYSTEM\CurrentControlSet\Services\Vantrel'
readonly E2E_SERVICE_KEY='HKLM\SYSTEM\CurrentControlSet\Services\ZYN_NT_Horavex2'
readonly E2E_SOURCE_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ZYN_NT_Horavex2'
# The program's fixed pauses, which the cases measure and never shorten.
readonly E2E_COMMAND_PAUSE_MS=5000
readonly E2E_DISPATCHER_PAUSE_MS=10000
readonly E2E_CLOSING_PAUSE_MS=5000
readonly E2E_POLL_MS=51
# Slack for a loaded two-core machine on top of an expected duration (upper bounds only:
# lower bounds are the program's own pauses, which no load can shorten).
readonly E2E_SLACK_MS=${E2E_SLACK_MS:-2000}
# The precise mode's line of each second at the console.
readonly E2E_OFFSET_LINE='^ Offset [+-][0-9]+\.[0-9]{3} ms \+/- [0-9]+\.[0-9]{3} ms, rate [+-][0-9]+\.[0-9]{2} ppm, (acquiring|locked|stepped|monitoring|holdover|limited) $'
# The 22 candidate addresses, in the order the program probes them.
readonly E2E_CANDIDATES="0x200 0x220 0x280 0x2A0 0x300 0x320 0x380 0x3A0 0xC000 0xC400 0xC800 0xCC00 0xD000 0xD400 0xD800 0xDC00 0xCD00 0xCE00 0xCF00 0xDD00 0xDE00 0xDF00"

E2E_DIR=
E2E_BITS=
E2E_LOADER=
E2E_KEEPER_FD=
E2E_RC=0
E2E_ELAPSED_MS=0

# Milliseconds of the wall clock, for durations measured by the script.
e2e_now_ms() {
    local now=$EPOCHREALTIME
    echo $(( ${now/./} / 1000 ))
}

e2e_step() { echo "== $*"; }

# Fails the case unless a condition holds; the message says what was expected.
#   e2e_expect "message" test-command...
e2e_expect() {
    local message="$1"
    shift
    "$@" || wine_fail "$message"
}

# Prepares the case: its folder, its copy of the template prefix and the idle process.
#   e2e_begin_case BITS TEMPLATE CASE_DIR
e2e_begin_case() {
    E2E_BITS="$1"
    local template="$2"
    E2E_DIR="$3"
    wine_require_loader "$E2E_BITS"
    E2E_LOADER=$(wine_loader "$E2E_BITS") || exit 1
    [ -f "$template/system.reg" ] || wine_fail "no template prefix at $template (the e2e_template fixture makes it)"
    wine_use_prefix "$E2E_DIR/prefix"
    # A run that was killed (a ctest time-out) may have left processes in its prefix.
    wine_end_prefix
    rm -rf "$E2E_DIR"
    mkdir -p "$E2E_DIR"
    # Event-log entries are the program's only error output; everything else stays quiet. A
    # case that reads information entries too sets E2E_WINEDEBUG (the services that the idle
    # process's manager starts get its debug channels).
    export WINEDEBUG=${E2E_WINEDEBUG:--all,err+eventlog}
    # The clean-up runs however the script ends: bash runs the EXIT trap on a signal only
    # when the signal itself is trapped.
    trap e2e_end_case EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    local start
    start=$(e2e_now_ms)
    e2e_copy_template "$template"
    local copied
    copied=$(e2e_now_ms)
    e2e_start_keeper
    echo "prefix copied in $(( copied - start )) ms, up in $(( $(e2e_now_ms) - copied )) ms"
}

# The copy must be a prefix of its own: drive links that still point into the copy, and the
# manager's time-out that the template set.
e2e_copy_template() {
    local template="$1"
    cp -a "$template" "$WINEPREFIX" || wine_fail "cp -a $template $WINEPREFIX failed"
    [ "$(readlink "$WINEPREFIX/dosdevices/c:")" = ../drive_c ] ||
        wine_fail "dosdevices/c: of the copy is $(readlink "$WINEPREFIX/dosdevices/c:"), not ../drive_c"
    [ "$(readlink -f "$WINEPREFIX/dosdevices/c:")" = "$(readlink -f "$WINEPREFIX/drive_c")" ] ||
        wine_fail "dosdevices/c: of the copy does not lead to its own drive_c"
    [ "$(readlink "$WINEPREFIX/dosdevices/z:")" = / ] || wine_fail "dosdevices/z: of the copy does not lead to /"
    grep -q '^"ServicesPipeTimeout"="30000"' "$WINEPREFIX/system.reg" ||
        wine_fail "the copy has no ServicesPipeTimeout of 30000"
}

# Starts cmd.exe reading a FIFO that this script holds open, so it idles until the case
# ends, and waits for its prompt: by then the prefix's wineserver and services.exe run, and
# they were started by it, with its output files.
e2e_start_keeper() {
    mkfifo "$E2E_DIR/keeper.fifo"
    "$E2E_LOADER" cmd.exe < "$E2E_DIR/keeper.fifo" > "$E2E_DIR/keeper.out" 2> "$E2E_DIR/wine.err" &
    exec {E2E_KEEPER_FD}> "$E2E_DIR/keeper.fifo"
    e2e_wait_for 120 "the idle cmd.exe to show its prompt" grep -q '>' "$E2E_DIR/keeper.out"
}

# Ends every process of the prefix, Wine's server with them, and starts the idle process
# again: what a reboot is to the registry's volatile keys. Wine's manager, started again,
# starts every automatic service: make the service's start manual first.
e2e_restart_wine() {
    exec {E2E_KEEPER_FD}>&-
    wine_end_prefix
    rm -f "$E2E_DIR/keeper.fifo"
    e2e_start_keeper
}

# Ends the prefix's processes, then removes the copy (1.3 GB) unless E2E_KEEP_PREFIX=1; the
# case's outputs stay in CASE_DIR for a look after a failure.
e2e_end_case() {
    local status=$?
    [ -n "$E2E_KEEPER_FD" ] && exec {E2E_KEEPER_FD}>&-
    E2E_KEEPER_FD=
    wine_end_prefix
    # A script's own clean-up, the name of a function: it runs before the prefix goes, so it
    # may save a file from it.
    if [ -n "${E2E_ON_END:-}" ]; then
        "$E2E_ON_END"
    fi
    if [ "${E2E_KEEP_PREFIX:-0}" != 1 ]; then
        rm -rf "$WINEPREFIX"
    fi
    if [ "$status" = 0 ]; then
        echo "PASS"
    else
        echo "outputs in $E2E_DIR" >&2
    fi
    return "$status"
}

# Polls a command every 0.1 s until it succeeds; fails the case after SECONDS.
#   e2e_wait_for SECONDS "what" command...
e2e_wait_for() {
    local seconds="$1" what="$2"
    shift 2
    local deadline=$(( $(e2e_now_ms) + seconds * 1000 ))
    until "$@"; do
        (( $(e2e_now_ms) < deadline )) || wine_fail "waited $seconds s for $what"
        sleep 0.1
    done
}

# 0 when FILE (CRs dropped) has a line that matches the extended regular expression; for
# e2e_wait_for.
#   e2e_has_line FILE ERE
e2e_has_line() {
    [ -f "$1" ] && wine_text "$1" | grep -q -E -- "$2"
}

# Copies the program and the stand-in library into FOLDER, with a ZYN_NTTC.ini of the lines
# given (CR LF line ends, as an administrator's Notepad would write them).
#   e2e_install_program FOLDER PROGRAM LIBRARY [INI_LINES...]
e2e_install_program() {
    local folder="$1" program="$2" library="$3"
    shift 3
    mkdir -p "$folder"
    cp "$program" "$folder/RUZivEr2.exe"
    cp "$library" "$folder/ZYN_NTTC.dll"
    if [ $# -gt 0 ]; then
        printf '%s\r\n' "# Written by $(basename "$0")" "$@" > "$folder/ZYN_NTTC.ini"
    fi
}

# Runs a Windows program (or one of Wine's, such as sc.exe) to its end, for at most SECONDS,
# output in CASE_DIR/NAME.out and NAME.err. Sets E2E_RC and E2E_ELAPSED_MS.
#   e2e_run NAME SECONDS -- PROGRAM [ARGS...]
e2e_run() {
    local name="$1" seconds="$2"
    shift 2
    [ "$1" = "--" ] && shift
    local start
    start=$(e2e_now_ms)
    timeout --kill-after=10 "$seconds" "$E2E_LOADER" "$@" \
        > "$E2E_DIR/$name.out" 2> "$E2E_DIR/$name.err" < /dev/null
    E2E_RC=$?
    E2E_ELAPSED_MS=$(( $(e2e_now_ms) - start ))
    (( E2E_RC != 124 && E2E_RC != 137 )) || wine_fail "$name: $* did not end within $seconds s"
}

# Starts a Windows program in the background, output in CASE_DIR/NAME.out and .err; sets
# E2E_PID to the loader's process, which is the program's (64-bit programs are started by
# wine64 itself, not through the 32-bit start.exe that would keep SIGINT from them).
# SIGINT is set back to its default for it: a background job of a script starts with it
# ignored.
#   e2e_start_program NAME WINEDEBUG PROGRAM [ARGS...]
e2e_start_program() {
    local name="$1" debug="$2"
    shift 2
    WINEDEBUG="$debug" env --default-signal=INT "$E2E_LOADER" "$@" \
        > "$E2E_DIR/$name.out" 2> "$E2E_DIR/$name.err" < /dev/null &
    E2E_PID=$!
}

# Waits for a background program to end, at most SECONDS; sets E2E_RC and E2E_END_MS.
#   e2e_wait_program PID SECONDS
e2e_wait_program() {
    local pid="$1" deadline=$(( $(e2e_now_ms) + $2 * 1000 ))
    while kill -0 "$pid" 2> /dev/null; do
        if (( $(e2e_now_ms) > deadline )); then
            kill -KILL "$pid" 2> /dev/null
            wine_fail "process $pid still runs after $2 s"
        fi
        sleep 0.05
    done
    E2E_END_MS=$(e2e_now_ms)
    wait "$pid"
    E2E_RC=$?
}

# Expects a file's bytes to be exactly the text given (printf format, so \r\n can be said).
#   e2e_expect_bytes FILE FORMAT [ARGS...]
e2e_expect_bytes() {
    local file="$1"
    shift
    # shellcheck disable=SC2059
    printf "$@" > "$file.expected"
    cmp -s "$file" "$file.expected" || {
        echo "--- expected (od -c):" >&2; od -c "$file.expected" | head -40 >&2
        echo "--- got (od -c):" >&2; od -c "$file" | head -40 >&2
        wine_fail "$file differs from the expected bytes"
    }
}

# Runs a -load or -unload command of the program and checks what every command run does: the
# exit status 0 and the 5 s pause before the exit.
#   e2e_command_run NAME PROGRAM_PATH ARGS...
e2e_command_run() {
    local name="$1" program="$2"
    shift 2
    e2e_run "$name" 90 -- "$program" "$@"
    [ "$E2E_RC" = 0 ] || wine_fail "$name: RUZivEr2 $* ended with status $E2E_RC, expected 0"
    (( E2E_ELAPSED_MS >= E2E_COMMAND_PAUSE_MS )) ||
        wine_fail "$name: RUZivEr2 $* ended after $E2E_ELAPSED_MS ms, before its 5 s pause"
}

# Reads one registry value. Sets E2E_REG_TYPE and E2E_REG_DATA; returns 1 when the key or
# the value does not exist. reg.exe prints "    Name    REG_TYPE    data".
#   e2e_reg_value NAME KEY VALUE_NAME
e2e_reg_value() {
    local name="$1" key="$2" value="$3"
    E2E_REG_TYPE= E2E_REG_DATA=
    e2e_run "$name" 60 -- reg.exe query "$key" /v "$value"
    [ "$E2E_RC" = 0 ] || return 1
    local line
    line=$(wine_text "$E2E_DIR/$name.out" | grep -m1 "^    $value    REG_")
    [ -n "$line" ] || return 1
    line=${line#    "$value"    }
    E2E_REG_TYPE=${line%%    *}
    E2E_REG_DATA=${line#"$E2E_REG_TYPE"    }
    [ "$E2E_REG_DATA" = "$E2E_REG_TYPE" ] && E2E_REG_DATA=
    return 0
}

# Expects a registry value of the given type and data (REG_DWORD data compared as numbers).
#   e2e_expect_reg NAME KEY VALUE_NAME TYPE DATA
e2e_expect_reg() {
    local name="$1" key="$2" value="$3" type="$4" data="$5"
    e2e_reg_value "$name" "$key" "$value" || wine_fail "$key\\$value does not exist"
    [ "$E2E_REG_TYPE" = "$type" ] || wine_fail "$key\\$value is $E2E_REG_TYPE, expected $type"
    if [ "$type" = REG_DWORD ]; then
        (( E2E_REG_DATA == data )) ||
            wine_fail "$key\\$value is $E2E_REG_DATA, expected $(printf '0x%X' "$data")"
    else
        [ "$E2E_REG_DATA" = "$data" ] || wine_fail "$key\\$value is '$E2E_REG_DATA', expected '$data'"
    fi
}

# Queries the service with sc.exe. Sets E2E_STATE (the number; empty when the query failed),
# E2E_EXIT (Win32 exit code), E2E_CHECKPOINT and E2E_HINT (as sc prints them, 0x...).
#   e2e_query_service NAME
e2e_query_service() {
    e2e_run "$1" 30 -- sc.exe query "$E2E_SERVICE"
    e2e_parse_status "$E2E_DIR/$1.out"
}

# Parses sc.exe's status block from a file (sc query, sc start and sc stop print one).
e2e_parse_status() {
    local text
    text=$(wine_text "$1")
    E2E_STATE=$(sed -n 's/^ *STATE *: *\([0-9]*\) .*/\1/p' <<< "$text")
    E2E_EXIT=$(sed -n 's/^ *WIN32_EXIT_CODE *: *\([0-9]*\) .*/\1/p' <<< "$text")
    E2E_CHECKPOINT=$(sed -n 's/^ *CHECKPOINT *: *\(0x[0-9a-fA-F]*\).*/\1/p' <<< "$text")
    E2E_HINT=$(sed -n 's/^ *WAIT_HINT *: *\(0x[0-9a-fA-F]*\).*/\1/p' <<< "$text")
    E2E_SERVICE_EXIT=$(sed -n 's/^ *SERVICE_EXIT_CODE *: *\([0-9]*\) .*/\1/p' <<< "$text")
}

# Expects the output of a -load that created the service: "... loaded." and, under Wine,
# the refusal of the recovery actions' flag, which Wine does not implement (invalid
# parameter), and the query grant left out: Wine answers every service's access list as an
# empty one and keeps none it is given. Windows takes both.
# E2E_LOAD_UNDER_WINE holds those two lines, as a format, for a -load over a service that exists.
#   e2e_expect_loaded FILE
E2E_LOAD_UNDER_WINE="ChangeServiceConfig2 failed - Invalid parameter. (0x57)\r\nThe service's access list reads back empty: Authenticated Users may not query it.\r\n"
e2e_expect_loaded() {
    e2e_expect_bytes "$1" "%s loaded.\r\n$E2E_LOAD_UNDER_WINE" "$E2E_DISPLAY"
}

# The strings of the event-log entries that Wine printed at LEVEL (err, trace) in FILE, one a
# line, in order: Wine prints each string of an entry as <thread>:<level>:eventlog:ReportEventW
# L"<string>".
#   e2e_eventlog_strings FILE LEVEL
e2e_eventlog_strings() {
    sed -n 's/^\([0-9.]*:\)\{0,1\}[0-9a-f]*:'"$2"':eventlog:ReportEventW L"\(.*\)"\r\{0,1\}$/\2/p' "$1"
}

# Queries the service every ~0.1 s (each sc query takes about 0.2 s), appending
# "<ms since START_MS> <state> <exit> <checkpoint> <hint>" to CASE_DIR/STATES_FILE, until its
# state is one of UNTIL (a blank-separated list of state numbers) or SECONDS pass. Sets
# E2E_REACHED_MS to the time it was first seen, since START_MS.
#   e2e_poll_states STATES_FILE START_MS SECONDS "UNTIL"
e2e_poll_states() {
    local file="$E2E_DIR/$1" start="$2" seconds="$3" until=" $4 "
    local deadline=$(( start + seconds * 1000 ))
    while :; do
        e2e_query_service poll-query
        local seen=$(( $(e2e_now_ms) - start ))
        echo "$seen ${E2E_STATE:-none} ${E2E_EXIT:-none} ${E2E_CHECKPOINT:-none} ${E2E_HINT:-none}" >> "$file"
        if [ -n "$E2E_STATE" ] && [[ "$until" == *" $E2E_STATE "* ]]; then
            E2E_REACHED_MS=$seen
            return 0
        fi
        (( $(e2e_now_ms) < deadline )) || wine_fail "the service did not reach state $4 within $seconds s; see $file"
        sleep 0.1
    done
}

# Starts the service with sc.exe and waits for RUNNING. Wine's sc start returns only when
# the program has called the dispatcher, 10 s after its start, and its exit status is no
# guide (docs/wine-notes.md), so the state is what is checked.
# Sets E2E_START_MS (when sc start was run) and E2E_RUNNING_MS (RUNNING first seen, since).
e2e_start_service_running() {
    E2E_START_MS=$(e2e_now_ms)
    e2e_run sc-start 90 -- sc.exe start "$E2E_SERVICE"
    e2e_poll_states states-start.txt "$E2E_START_MS" 60 "4 1"
    [ "$E2E_STATE" = 4 ] || wine_fail "the service stopped instead of running; see $E2E_DIR/states-start.txt"
    E2E_RUNNING_MS=$E2E_REACHED_MS
    (( E2E_RUNNING_MS >= E2E_DISPATCHER_PAUSE_MS )) ||
        wine_fail "RUNNING $E2E_RUNNING_MS ms after the start, before the program's 10 s pause before the dispatcher"
    e2e_expect "RUNNING must report checkpoint 0, hint 0, exit code 0 (got $E2E_CHECKPOINT $E2E_HINT $E2E_EXIT)" \
        [ "$E2E_CHECKPOINT $E2E_HINT $E2E_EXIT" = "0x0 0x0 0" ]
}

# Stops the running service with sc.exe and expects a clean stop: STOP_PENDING at once, then
# STOPPED with exit code 0 no sooner than the worker's 5 s closing pause and within that
# pause plus one poll and the slack. The stop-pending report carries CHECKPOINT, the number
# after the start-up's last. Sets E2E_STOP_MS (how long the stop took).
#   e2e_stop_service_cleanly CHECKPOINT
e2e_stop_service_cleanly() {
    local checkpoint="$1" start
    start=$(e2e_now_ms)
    e2e_run sc-stop 60 -- sc.exe stop "$E2E_SERVICE"
    e2e_parse_status "$E2E_DIR/sc-stop.out"
    [ "$E2E_STATE $E2E_CHECKPOINT $E2E_HINT $E2E_EXIT" = "3 $checkpoint 0x0 0" ] ||
        wine_fail "sc stop showed state $E2E_STATE checkpoint $E2E_CHECKPOINT hint $E2E_HINT exit $E2E_EXIT, expected 3 $checkpoint 0x0 0"
    e2e_poll_states states-stop.txt "$start" 60 "1"
    E2E_STOP_MS=$E2E_REACHED_MS
    (( E2E_STOP_MS >= E2E_CLOSING_PAUSE_MS )) ||
        wine_fail "STOPPED $E2E_STOP_MS ms after the stop, before the worker's 5 s closing pause"
    (( E2E_STOP_MS <= E2E_CLOSING_PAUSE_MS + E2E_POLL_MS + E2E_SLACK_MS )) ||
        wine_fail "STOPPED only $E2E_STOP_MS ms after the stop"
    [ "$E2E_EXIT" = 0 ] || wine_fail "the service stopped with exit code $E2E_EXIT, expected 0"
    # Between the stop and STOPPED, nothing but STOP_PENDING.
    local others
    others=$(awk '$2 != 3 && $2 != 1' "$E2E_DIR/states-stop.txt")
    [ -z "$others" ] || wine_fail "states other than STOP_PENDING while stopping: $others"
}

# Fails when any Wine output of the case shows a crash: an unhandled exception, winedbg's
# backtrace, or Wine's own complaint about a process.
e2e_expect_no_crash() {
    local hits
    hits=$(grep -i -E 'unhandled (exception|page fault)|backtrace|wine: |err:seh|exception c0000' "$E2E_DIR"/*.err)
    [ -z "$hits" ] || wine_fail "Wine reported a crash: $hits"
}

# The library's log without CRs. Fails when it does not exist.
e2e_log_text() {
    [ -f "$1" ] || wine_fail "no stand-in log at $1"
    wine_text "$1"
}

# The program's path as Windows sees it, for a file under the prefix's drive_c or elsewhere
# (Z:). Used to compare with the registered image path.
e2e_windows_path() {
    local path
    path=$(readlink -f "$1")
    local drive_c
    drive_c=$(readlink -f "$WINEPREFIX/drive_c")
    if [[ "$path" == "$drive_c"/* ]]; then
        path="C:${path#"$drive_c"}"
    else
        path="Z:$path"
    fi
    echo "${path//\//\\}"
}

# Groups the reads of a stand-in log into the program's polls (see poll_groups.awk) and
# checks each group against the program's rule: two reads, and a third when they differ.
# Writes CASE_DIR/NAME.groups and .reads; sets E2E_GROUPS, E2E_MEDIAN_MS, E2E_MAX_GAP_MS.
#   e2e_poll_groups NAME LOG
e2e_poll_groups() {
    local name="$1" log="$2"
    e2e_log_text "$log" | awk -f "$(dirname "${BASH_SOURCE[0]}")/poll_groups.awk" \
        -v groups_file="$E2E_DIR/$name.groups" -v reads_file="$E2E_DIR/$name.reads" \
        > "$E2E_DIR/$name.summary" || wine_fail "poll_groups.awk failed on $log"
    local errors
    errors=$(grep '^error ' "$E2E_DIR/$name.summary" | head -5)
    [ -z "$errors" ] || wine_fail "the reads of $log break the program's read rule: $errors"
    E2E_GROUPS=$(awk 'END { print NR }' "$E2E_DIR/$name.groups")
    (( E2E_GROUPS >= 2 )) || wine_fail "only $E2E_GROUPS polls in $log"
    local intervals
    intervals=$(awk 'NR > 1 { print $2 - last } { last = $2 }' "$E2E_DIR/$name.groups" | sort -n)
    local count
    count=$(wc -l <<< "$intervals")
    E2E_MEDIAN_MS=$(sed -n "$(( (count + 1) / 2 ))p" <<< "$intervals")
    E2E_MAX_GAP_MS=$(tail -1 <<< "$intervals")
}

# Expects the polls of a log to come at the program's cadence: median interval 51 ± 5 ms.
#   e2e_expect_cadence NAME LOG MIN_POLLS
e2e_expect_cadence() {
    e2e_poll_groups "$1" "$2"
    (( E2E_GROUPS >= $3 )) || wine_fail "$E2E_GROUPS polls in $2, expected at least $3"
    (( E2E_MEDIAN_MS >= E2E_POLL_MS - 5 && E2E_MEDIAN_MS <= E2E_POLL_MS + 5 )) ||
        wine_fail "median interval between polls $E2E_MEDIAN_MS ms, expected 51 ± 5"
    echo "$E2E_GROUPS polls, median interval $E2E_MEDIAN_MS ms, longest $E2E_MAX_GAP_MS ms"
}

# The NttcIdentify calls of a log, one "<address asked> <result> <address left>" a line.
e2e_identify_calls() {
    e2e_log_text "$1" | sed -En 's/^[0-9]+ NttcIdentify (0x[0-9A-F]+) -> ([0-9]+) (0x[0-9A-F]+)$/\1 \2 \3/p'
}

# What a discovery pass that finds nothing looks like in the identify list.
e2e_empty_pass() {
    local address
    for address in $E2E_CANDIDATES; do
        echo "$address 0 $address"
    done
}
