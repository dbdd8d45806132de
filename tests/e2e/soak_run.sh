#!/bin/bash
# The soak run: the service under Wine's service manager for MINUTES on a reader that fails
# and tears reads and goes silent again and again, then stopped.
#
#   soak_run.sh BITS PROGRAM LIBRARY WORK_DIR MINUTES [TEMPLATE]
#
# Without TEMPLATE it makes a fresh prefix of its own first (about 20 s); the ctest of label
# "soak" passes the e2e fixture's template instead. scripts/soak.sh runs it for a build.
#
# It asserts that the service
# - stayed RUNNING throughout (sc query every 5 s) in one and the same process;
# - polled the reader throughout at its cadence (the stand-in's log: median interval between
#   polls 51 ± 5 ms, no pause longer than SOAK_MAX_GAP_MS, 200 by default; the read rule of
#   poll_groups.awk held for every poll), through every silent stretch;
# - stopped cleanly when asked: STOPPED with exit code 0, no sooner than its 5 s closing
#   pause and within that pause plus one poll and the slack;
# - did not grow: Wine answers 0 for the process's handle count and private bytes, so the
#   figures come from the Linux side, /proc/<pid> of the process that runs RUZivEr2.exe:
#   open descriptors (no more at the end than after the warm-up) and VmRSS and VmData (at
#   most SOAK_MEMORY_TOLERANCE_KB more, 256 by default). The prefix's wineserver, which
#   holds the Windows handles of all its processes, is shown beside it.
# The first sample is taken after a warm-up of 30 s, the second at the end.
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || [ $# -eq 6 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY WORK_DIR MINUTES [TEMPLATE]"
bits="$1" program_file="$2" library_file="$3" work="$4" minutes="$5" template="${6:-}"
[[ "$minutes" =~ ^[1-9][0-9]*$ ]] || wine_fail "MINUTES must be a whole number of at least 1, not '$minutes'"
readonly WARM_UP_S=30
readonly QUERY_EVERY_S=5
readonly MAX_GAP_MS=${SOAK_MAX_GAP_MS:-200}
readonly MEMORY_TOLERANCE_KB=${SOAK_MEMORY_TOLERANCE_KB:-256}
# A stretch of 100 silent reads (about 2 s) after read 1000 and then every 2500 reads (about
# a minute), with 5 % failed and 5 % torn reads all along.
readonly SETTINGS=("read_fail_percent = 5" "torn_read_percent = 5" "silent_after_reads = 1000"
    "silent_for_reads = 100" "silent_every_reads = 2500" "seed = 2024")

mkdir -p "$work"
if [ -z "$template" ]; then
    template="$work/template"
    "$(dirname "$0")/e2e_template.sh" create "$template" || wine_fail "could not make a prefix"
    remove_template() { rm -rf "$template"; }
    E2E_ON_END=remove_template
fi
e2e_begin_case "$bits" "$template" "$work/run"
folder="$E2E_DIR/program"
e2e_install_program "$folder" "$program_file" "$library_file" "log = soak.log" "${SETTINGS[@]}"
log="$folder/soak.log"
windows_path=$(e2e_windows_path "$folder/RUZivEr2.exe")

# The Linux process of this prefix whose command line is the service's program.
service_pid() {
    local dir
    for dir in /proc/[0-9]*; do
        local command
        command=$(tr '\0' '\n' 2> /dev/null < "$dir/cmdline" | head -1 | sed 's/ *$//')
        [ "$command" = "$windows_path" ] || continue
        tr '\0' '\n' 2> /dev/null < "$dir/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
        echo "${dir#/proc/}"
    done
}

# This prefix's wineserver.
server_pid() {
    local dir
    for dir in /proc/[0-9]*; do
        [[ "$(readlink "$dir/exe" 2> /dev/null)" == */wineserver* ]] || continue
        tr '\0' '\n' 2> /dev/null < "$dir/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
        echo "${dir#/proc/}"
    done
}

# "<fds> <VmRSS kB> <VmData kB> <threads>" of a process.
sample() {
    local pid="$1"
    local fds
    fds=$(ls "/proc/$pid/fd" 2> /dev/null | wc -l)
    awk -v fds="$fds" '$1 == "VmRSS:" { rss = $2 } $1 == "VmData:" { data = $2 } $1 == "Threads:" { threads = $2 }
                       END { print fds, rss, data, threads }' "/proc/$pid/status"
}

# Queries the service; fails unless it runs in the process found at its start.
expect_running() {
    e2e_query_service query-soak
    local at=$(( $(e2e_now_ms) - run_start ))
    echo "$at $E2E_STATE $E2E_EXIT $E2E_CHECKPOINT $E2E_HINT" >> "$E2E_DIR/states-soak.txt"
    [ "$E2E_STATE $E2E_EXIT" = "4 0" ] || wine_fail "state $E2E_STATE exit $E2E_EXIT at $at ms"
    kill -0 "$pid" 2> /dev/null || wine_fail "process $pid of the service is gone at $at ms"
    [ "$(service_pid)" = "$pid" ] || wine_fail "the service runs in process $(service_pid), not $pid, at $at ms"
}

e2e_command_run load "$folder/RUZivEr2.exe" -load
e2e_expect_loaded "$E2E_DIR/load.out"
e2e_step "soak: $minutes min on a reader with ${SETTINGS[*]}"
e2e_start_service_running
run_start=$(e2e_now_ms)
pid=$(service_pid)
[[ "$pid" =~ ^[0-9]+$ ]] || wine_fail "no single Linux process runs $windows_path: '$pid'"
server=$(server_pid)
[[ "$server" =~ ^[0-9]+$ ]] || wine_fail "no single wineserver for $WINEPREFIX: '$server'"

until (( $(e2e_now_ms) - run_start >= WARM_UP_S * 1000 )); do
    expect_running
    sleep "$QUERY_EVERY_S"
done
start_sample=$(sample "$pid")
start_server=$(sample "$server")
echo "after the warm-up: process $pid $start_sample, wineserver $server $start_server (fds VmRSS VmData threads)"

until (( $(e2e_now_ms) - run_start >= minutes * 60000 )); do
    expect_running
    sleep "$QUERY_EVERY_S"
done
expect_running
end_sample=$(sample "$pid")
end_server=$(sample "$server")

e2e_step "stop"
e2e_stop_service_cleanly 0x6
kill -0 "$pid" 2> /dev/null && sleep 2
kill -0 "$pid" 2> /dev/null && wine_fail "process $pid still runs after STOPPED"

e2e_step "figures"
e2e_poll_groups polls "$log"
reads="$E2E_DIR/polls.reads"
read -r total failed torn silent stretches < <(awk '
    { total++ }
    $6 == "failed" { failed++ }
    $6 == "torn" { torn++ }
    $6 == "silent" { silent++; if (last != "silent") stretches++ }
    { last = $6 }
    END { print total + 0, failed + 0, torn + 0, silent + 0, stretches + 0 }' "$reads")
first=$(awk 'NR == 1 { print $2 }' "$E2E_DIR/polls.groups")
last=$(awk 'END { print $2 }' "$E2E_DIR/polls.groups")
# Stretches begin at reads 1001, 3501, 6001 ...: as many as fit in the reads made.
expected_stretches=$(( total > 1000 ? (total - 1001) / 2500 + 1 : 0 ))
echo "polls: $E2E_GROUPS over $(( (last - first) / 1000 )) s, median interval $E2E_MEDIAN_MS ms, longest $E2E_MAX_GAP_MS ms"
echo "reads: $total ($failed failed, $torn torn, $silent silent in $stretches stretches)"
echo "sc query: $(wc -l < "$E2E_DIR/states-soak.txt") times RUNNING; STOPPED $E2E_STOP_MS ms after sc stop, exit code 0"
read -r fds_a rss_a data_a threads_a <<< "$start_sample"
read -r fds_b rss_b data_b threads_b <<< "$end_sample"
echo "process $pid: fds $fds_a -> $fds_b, VmRSS $rss_a -> $rss_b kB, VmData $data_a -> $data_b kB, threads $threads_a -> $threads_b"
read -r sfds_a srss_a sdata_a _ <<< "$start_server"
read -r sfds_b srss_b sdata_b _ <<< "$end_server"
echo "wineserver $server: fds $sfds_a -> $sfds_b, VmRSS $srss_a -> $srss_b kB, VmData $sdata_a -> $sdata_b kB"

# The figures are out; now the verdict.
(( E2E_MEDIAN_MS >= E2E_POLL_MS - 5 && E2E_MEDIAN_MS <= E2E_POLL_MS + 5 )) ||
    wine_fail "median interval between polls $E2E_MEDIAN_MS ms, expected 51 ± 5"
(( E2E_GROUPS >= minutes * 60000 / 60 )) || wine_fail "only $E2E_GROUPS polls in $minutes min"
(( stretches == expected_stretches )) || wine_fail "$stretches silent stretches in $total reads, expected $expected_stretches"
(( minutes < 2 || stretches >= 2 )) || wine_fail "the board went silent only $stretches times"
(( stretches >= 1 )) || wine_fail "the board never went silent"
(( E2E_MAX_GAP_MS <= MAX_GAP_MS )) || wine_fail "a pause of $E2E_MAX_GAP_MS ms between polls"
# The polls ran from the start to the stop: within a second of the time it ran.
(( last - first >= minutes * 60000 - 1000 )) || wine_fail "the polls span only $(( last - first )) ms"
(( fds_b <= fds_a )) || wine_fail "open descriptors grew from $fds_a to $fds_b"
(( threads_b <= threads_a )) || wine_fail "threads grew from $threads_a to $threads_b"
(( rss_b - rss_a <= MEMORY_TOLERANCE_KB )) || wine_fail "VmRSS grew from $rss_a to $rss_b kB"
(( data_b - data_a <= MEMORY_TOLERANCE_KB )) || wine_fail "VmData grew from $data_a to $data_b kB"
e2e_expect_no_crash
