#!/usr/bin/env bash
# Regenerates docs/accuracy.md (tests/simulation/accuracy_page.md with the tables filled in),
# docs/accuracy.png and docs/accuracy-precise.png (the offset against time) from the clock
# simulation (tests/simulation).
#
#   tests/simulation/make_accuracy_docs.sh [BUILD_DIR]
#
# BUILD_DIR is a host build tree (default build/host; configured with the host preset when
# it is not yet). Installs gnuplot-nox with apt-get when gnuplot is missing (run as root).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/host}

if [ ! -f "$build/CMakeCache.txt" ]; then
    if [ $# -eq 0 ]; then
        (cd "$root" && cmake --preset host > /dev/null)
    else
        cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
    fi
fi
cmake --build "$build" --target clock_simulation > /dev/null

if ! command -v gnuplot > /dev/null; then
    echo "Installing gnuplot-nox..." >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends gnuplot-nox > /dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tests/simulation/clock_simulation" --seeds 10 --table "$work/table.md" --precise-table "$work/precise.md" \
    --disturbance-table "$work/disturbed.md" --data "$work/accuracy.dat"

# The data file holds one block per case of the 1 ms timer, seed 1: slops 50, 150, 250, each
# with drifts 0, +20, +100 and -100 ppm (blocks 0 to 11, in the order of the first table).
terminal="pngcairo size 1000,1100 font ',10'"
gnuplot -e 'set terminal' 2>&1 | grep -q pngcairo || terminal="png size 1000,1100"
gnuplot <<EOF
set terminal $terminal
set output "$root/docs/accuracy.png"
set multiplot layout 3,1 title "Computer clock minus board (ms), first 6 h of a simulated day; the clock starts 400 ms ahead"
set xrange [0:6]
set yrange [-260:320]
set xtics 1
set grid
set key outside right
set xlabel "hours"
set ylabel "offset (ms)"
do for [slop_index=0:2] {
    slop = (slop_index == 0 ? 50 : slop_index == 1 ? 150 : 250)
    set title sprintf("slop %d ms", slop)
    plot "$work/accuracy.dat" index slop_index*4+0 with lines lw 2 title "0 ppm", \
         "" index slop_index*4+1 with lines lw 1.5 title "+20 ppm", \
         "" index slop_index*4+2 with lines lw 1 title "+100 ppm", \
         "" index slop_index*4+3 with lines lw 1 title "-100 ppm", \
         slop with lines dt 2 lc rgb "gray40" title "+/- slop", \
         -slop with lines dt 2 lc rgb "gray40" notitle
}
unset multiplot

# The precise mode, from accuracy.dat.precise: one block per case (SimPreciseCases), every
# second, seed 1.
array name[7] = ["0 ppm", "+20 ppm", "+100 ppm", "-100 ppm", "+20 ppm wandering", "+20 ppm, faults", \
                 "+20 ppm, default timer"]
set output "$root/docs/accuracy-precise.png"
set multiplot layout 3,1 title "Precise mode, slop 150 ms: computer clock minus board (ms); the clock starts 400 ms ahead"
set title "the first 5 minutes: the step in the first second, then the slew"
set xrange [0:5]
set xtics 1
set xlabel "minutes"
set yrange [-30:30]
plot for [i=0:5] "$work/accuracy.dat.precise" index i using (\$1*60):2 with lines title name[i+1]
set title "24 hours on the 1 ms timer"
set xrange [0:24]
set xtics 2
set xlabel "hours"
set yrange [-4:4]
plot for [i=0:5] "$work/accuracy.dat.precise" index i with lines title name[i+1]
set title "24 hours on the default 15.625 ms timer"
set yrange [-20:20]
plot "$work/accuracy.dat.precise" index 6 with lines title name[7]
unset multiplot
EOF

# The page: tests/simulation/accuracy_page.md with its tables filled in.
awk -v tables="$work/table.md" -v precise="$work/precise.md" -v disturbed="$work/disturbed.md" '
    $0 == "@TABLES@" { while ((getline line < tables) > 0) print line; next }
    $0 == "@PRECISE_TABLE@" { while ((getline line < precise) > 0) print line; next }
    $0 == "@DISTURBANCE_TABLE@" { while ((getline line < disturbed) > 0) print line; next }
    { print }' "$root/tests/simulation/accuracy_page.md" > "$root/docs/accuracy.md"
echo "Wrote $root/docs/accuracy.md, $root/docs/accuracy.png and $root/docs/accuracy-precise.png"
