#!/usr/bin/env bash
# The cost of running under Wine: the CPU time that RUZivEr2.exe -debug uses on the stand-in
# board (with its default ZYN_NTTC.ini: in step, no faults, no log), against two floor
# programs (tests/bench/wait_floor.cpp): wait_floor.exe only waits 51 ms at a time on an
# event; wait_floor_reads.exe also reads the board twice after each wait, as every polling
# tick does. The three run side by side in one Wine prefix. Each one's CPU time is read from
# the Linux side at 10 s and at SECONDS (default 60) after the start: utime + stime from
# /proc/<pid>/stat of its Wine process (whole process, in 10 ms clock ticks), and the time on
# the CPU from /proc/<pid>/task/*/schedstat (in ns, live threads). Prints a Markdown table
# with the ratios to wait_floor.exe. Not part of CI: a run takes about SECONDS + 10 s.
#
#   tests/bench/wine_cpu_ratio.sh [win64|win32] [SECONDS]
#
# BUILD_DIR names a configured Windows build tree of that bitness to build in (default:
# build/<preset>, configured with the preset). The tree builds the floors only when
# cmake/windows.cmake includes tests/bench/windows.cmake. The run's files and its own Wine
# prefix are kept in $BUILD_DIR/cpu-ratio.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
preset=${1:-win64}
seconds=${2:-60}
warm_seconds=10
case "$preset" in
    win64) bits=64 ;;
    win32) bits=32 ;;
    *) echo "usage: $0 [win64|win32] [SECONDS]" >&2; exit 2 ;;
esac
[ "$seconds" -gt "$warm_seconds" ] || { echo "wine_cpu_ratio.sh: SECONDS must be above $warm_seconds" >&2; exit 2; }

. "$root/tests/e2e/wine_env.sh"

build=${BUILD_DIR:-$root/build/$preset}
if [ -z "${BUILD_DIR:-}" ]; then
    (cd "$root" && cmake --preset "$preset" > /dev/null)
fi
cmake --build "$build" -j "$(nproc)" --target RUZivEr2 standin_library wait_floor wait_floor_reads > /dev/null \
    || wine_fail "building in $build failed (does cmake/windows.cmake include tests/bench/windows.cmake?)"

# Each program in a folder of its own; the stand-in library and its settings beside those
# that read the board.
work=$build/cpu-ratio
names=(RUZivEr2.exe wait_floor.exe wait_floor_reads.exe)
labels=("RUZivEr2.exe -debug" "wait_floor.exe (waits only)" "wait_floor_reads.exe (waits, reads the board twice a tick)")
arguments=(-debug "" "")
for name in "${names[@]}"; do
    dir=$work/${name%.exe}
    mkdir -p "$dir"
    cp "$build/$name" "$dir/"
    if [ "$name" != wait_floor.exe ]; then
        cp "$build/ZYN_NTTC.dll" "$root/reader/standin/ZYN_NTTC.ini" "$dir/"
    fi
done

# The helpers of wine_env.sh run commands that may fail, such as ending a prefix that has
# no server: they are called where a failure does not end this script (`|| ...`).
wine_use_prefix "$work/prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing a Wine prefix in $WINEPREFIX (once; about 20 s)..." >&2
    wine_create_prefix "$work/logs" || exit 1
fi
wine_end_prefix || true
loader=$(wine_loader "$bits")
trap 'wine_end_prefix || true' EXIT

clock_ticks_per_s=$(getconf CLK_TCK)

# The pids of a process and of all its descendants.
family() {
    local pid=$1 child
    echo "$pid"
    for child in $(ps -o pid= --ppid "$pid" 2> /dev/null); do
        family "$child"
    done
}

# The Linux pid of the Wine process that runs the Windows program, among the loader
# started as pid $1 and its descendants: the one whose command line starts with the name.
windows_process() {
    local started=$1 name=$2 pid
    for _ in $(seq 100); do
        for pid in $(family "$started"); do
            if tr '\0' ' ' 2> /dev/null < "/proc/$pid/cmdline" | grep -q "^$name"; then
                echo "$pid"
                return 0
            fi
        done
        sleep 0.1
    done
    wine_fail "no Wine process shows $name"
}

# CPU time of a process in ms: utime + stime, fields 14 and 15 of /proc/<pid>/stat (taken
# after the command name, which may hold blanks), in clock ticks.
cpu_ms() {
    [ -r "/proc/$1/stat" ] || wine_fail "process $1 has ended"
    sed 's/^.*) //' "/proc/$1/stat" | awk -v hz="$clock_ticks_per_s" '{ print ($12 + $13) * 1000 / hz }'
}

# Time on the CPU of a process's live threads in ms: the first field of each
# /proc/<pid>/task/<tid>/schedstat, in ns. Threads that have ended are not counted, so this
# serves for a stretch in which none ends.
on_cpu_ms() {
    cat "/proc/$1"/task/*/schedstat 2> /dev/null | awk '{ ns += $1 } END { printf "%.1f", ns / 1e6 }'
}

threads() { ls "/proc/$1/task" | wc -l; }

start=$(date +%s.%N)
pids=()
for i in "${!names[@]}"; do
    dir=$work/${names[$i]%.exe}
    # shellcheck disable=SC2086 # an empty argument list stays empty
    (cd "$dir" && exec "$loader" "${names[$i]}" ${arguments[$i]} > "$dir/out.txt" 2> "$dir/err.txt" < /dev/null) &
    pids+=("$(windows_process "$!" "${names[$i]}")")
done

sleep_until() {
    local left
    left=$(awk -v start="$start" -v at="$1" -v now="$(date +%s.%N)" 'BEGIN { d = start + at - now; print (d > 0 ? d : 0) }')
    sleep "$left"
}

warm=() warm_on_cpu=() warm_threads=()
sleep_until "$warm_seconds"
for pid in "${pids[@]}"; do
    warm+=("$(cpu_ms "$pid")") warm_on_cpu+=("$(on_cpu_ms "$pid")") warm_threads+=("$(threads "$pid")")
done
end=() end_on_cpu=()
sleep_until "$seconds"
for i in "${!pids[@]}"; do
    end+=("$(cpu_ms "${pids[$i]}")") end_on_cpu+=("$(on_cpu_ms "${pids[$i]}")")
    [ "$(threads "${pids[$i]}")" -eq "${warm_threads[$i]}" ] \
        || echo "wine_cpu_ratio.sh: ${names[$i]} started or ended a thread while measured; its schedstat figure is not exact" >&2
done
wine_end_prefix || true

comparisons=$(grep -c "CheckTime TRUE" "$work/RUZivEr2/out.txt" || true)
[ "$comparisons" -gt 0 ] || wine_fail "RUZivEr2.exe made no comparison; see $work/RUZivEr2/out.txt"

difference() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a - b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'; }

steady=() steady_on_cpu=()
for i in "${!pids[@]}"; do
    steady+=("$(difference "${end[$i]}" "${warm[$i]}")")
    steady_on_cpu+=("$(difference "${end_on_cpu[$i]}" "${warm_on_cpu[$i]}")")
done
echo "| $preset, side by side | CPU at ${seconds} s, /proc stat (ms) | ratio | CPU from ${warm_seconds} s to ${seconds} s, /proc stat (ms) | ratio | on the CPU from ${warm_seconds} s to ${seconds} s, schedstat (ms) | ratio |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for i in "${!pids[@]}"; do
    printf '| %s | %s | %s | %s | %s | %s | %s |\n' "${labels[$i]}" \
        "${end[$i]}" "$(ratio "${end[$i]}" "${end[1]}")" \
        "${steady[$i]}" "$(ratio "${steady[$i]}" "${steady[1]}")" \
        "${steady_on_cpu[$i]}" "$(ratio "${steady_on_cpu[$i]}" "${steady_on_cpu[1]}")"
done
echo
echo "(Ratios to wait_floor.exe. /proc stat counts in steps of $((1000 / clock_ticks_per_s)) ms. RUZivEr2.exe made $comparisons in-step comparisons. Files in $work.)"
