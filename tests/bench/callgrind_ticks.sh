#!/usr/bin/env bash
# Instructions per polling tick, counted by callgrind: for each kind of tick, the
# instructions of `tick_driver KIND N` less those of `tick_driver KIND 0` (the same start-up
# and set-up without a tick), divided by N. Prints a Markdown table with two figures: all
# instructions (the product, the lean platform that stands in for the reader library and
# the system, and the driver's loop), and the product's own (functions compiled from
# base/, engine/ and service/, as callgrind_annotate attributes them).
#
#   tests/bench/callgrind_ticks.sh [BUILD_DIR] [N]
#
# BUILD_DIR is a configured host build tree (default build/host); tick_driver is built in it
# first. N defaults to 10000. Needs valgrind. The precise mode's ticks, on the simulation's
# platform, follow (tests/simulation/precise_tick_driver): a tick that fits nothing, and the
# mean tick of the mode running, fits included.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/host}
ticks=${2:-10000}
kinds=(reads arms in_step corrects torn_read failed_read excluded forgiven corrects_utc
       corrects_across_midnight corrects_console set_fails enable_fails reads_armed)

command -v valgrind > /dev/null || { echo "callgrind_ticks.sh: valgrind is not installed" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] || { echo "callgrind_ticks.sh: $build is not a configured build tree" >&2; exit 1; }
cmake --build "$build" --target tick_driver precise_tick_driver > /dev/null
driver=$build/tests/bench/tick_driver

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints the instructions (Ir) of one run: all of them (callgrind's "totals:" line), then
# those of the product's own functions.
instructions() {
    local out=$work/callgrind.out
    valgrind --tool=callgrind --callgrind-out-file="$out" "$driver" "$1" "$2" > /dev/null 2> "$work/valgrind.err" \
        || { cat "$work/valgrind.err" >&2; echo "callgrind_ticks.sh: tick_driver $1 $2 failed" >&2; exit 1; }
    local total product
    total=$(awk '/^totals:/ { print $2 }' "$out")
    # Run from the scratch folder: callgrind_annotate shows the paths under the current folder
    # relative to it, and the product's are recognised by their full path.
    product=$(cd "$work" && callgrind_annotate --threshold=100 --auto=no "$out" 2> /dev/null \
        | awk -v root="$root" 'index($0, root "/base/") || index($0, root "/engine/") || index($0, root "/service/") {
                                   gsub(",", "", $1); sum += $1 }
                               END { print sum + 0 }')
    echo "$total $product"
}

# One row of the table: LABEL, and KIND's instructions with N ticks less those with none, per tick.
row() {
    read -r with with_product < <(instructions "$2" "$ticks")
    read -r without without_product < <(instructions "$2" 0)
    awk -v kind="$1" -v with="$with" -v without="$without" -v wp="$with_product" -v wop="$without_product" \
        -v n="$ticks" 'BEGIN { printf "| %s | %.1f | %.1f |\n", kind, (with - without) / n, (wp - wop) / n }'
}

echo "| tick | instructions per tick | of which the product's own |"
echo "|---|---:|---:|"
for kind in "${kinds[@]}"; do
    row "$kind" "$kind"
done
driver=$build/tests/simulation/precise_tick_driver
for kind in no_fit running; do
    row "precise $kind" "$kind"
done
echo
echo "($ticks ticks per kind, less a run of 0; the drivers built in $build)"
