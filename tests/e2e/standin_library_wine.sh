#!/bin/bash
# The stand-in ZYN_NTTC.dll under Wine, driven by tests/windows/standin_driver.cpp, which binds
# to it by ordinal as the program does.
#
#   standin_library_wine.sh BITS DLL DRIVER RUN_DIR PREFIX
#
# Each case copies the DLL, the driver and (but for the first) a ZYN_NTTC.ini into a folder of
# its own under RUN_DIR, and runs the driver from another folder, so that the library can find
# its file only through its own module path. Local time is set to UTC+5:30 so that a word in
# the wrong time base is hours off. RUN_DIR is kept for a look after a failure.
set -u
. "$(dirname "$0")/wine_env.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS DLL DRIVER RUN_DIR PREFIX"
BITS=$1 DLL=$2 DRIVER=$3 RUN_DIR=$4
wine_require_loader "$BITS"
wine_use_prefix "$5"
[ -f "$WINEPREFIX/system.reg" ] || wine_fail "no Wine prefix at $WINEPREFIX (the wine_prefix fixture makes it)"

export TZ=Asia/Kolkata
readonly MS_PER_DAY=86400000
# Board time against the clock, as the brief allows: within a second and a half.
readonly TOLERANCE_MS=1500

rm -rf "$RUN_DIR"
mkdir -p "$RUN_DIR/elsewhere"

# Makes the folder of one case with the library and the driver; prints its path.
make_case_folder() {
    local folder="$RUN_DIR/$1"
    mkdir -p "$folder"
    cp "$DLL" "$folder/ZYN_NTTC.dll"
    cp "$DRIVER" "$folder/standin_driver.exe"
    echo "$folder"
}

# Runs the driver of a case folder from RUN_DIR/elsewhere, output in the folder's driver.out.
#   run_driver FOLDER [ARGS...]
run_driver() {
    local folder="$1"
    shift
    (cd "$RUN_DIR/elsewhere" &&
        wine_run "$BITS" 60 "$folder/driver.out" "$folder/driver.err" -- "$folder/standin_driver.exe" "$@")
}

bcd_value() { echo $(( ($1 >> 4) * 10 + ($1 & 15) )); }

is_bcd() { (( ($1 >> 4) <= 9 && ($1 & 15) <= 9 )); }

# A difference of two times of day, brought into (-12 h, +12 h].
day_difference() {
    local diff=$(( ($1) % MS_PER_DAY ))
    (( diff > MS_PER_DAY / 2 )) && diff=$(( diff - MS_PER_DAY ))
    (( diff <= -MS_PER_DAY / 2 )) && diff=$(( diff + MS_PER_DAY ))
    echo "$diff"
}

# Judges the driver's reads: valid BCD, the time of day of the configured clock plus the
# offset, frame numbers within the frame rate, and in every second seen whole a frame/status
# byte with bit 0x10 and then zero, which is what the program needs to compare the clock.
#   check_reads OUT_FILE TIME_BASE OFFSET_MS FRAME_RATE
check_reads() {
    local out="$1" base="$2" offset="$3" rate="$4"
    local reads=0 max_frame=0 armed=0 fires=0 clocks_differ=0
    local -a seconds=()
    local -A bit10_seen=() zero_seen=()
    local tag elapsed result word local_ms utc_ms
    while read -r tag elapsed result word local_ms utc_ms; do
        [ "$tag" = read ] || continue
        reads=$((reads + 1))
        [ "$result" = 1 ] || wine_fail "read $reads failed: $result $word"
        local w=$((word))
        local hh=$(( w >> 24 & 0xFF )) mm=$(( w >> 16 & 0xFF )) ss=$(( w >> 8 & 0xFF )) ff=$(( w & 0xFF ))
        for byte in $hh $mm $ss $ff; do
            is_bcd "$byte" || wine_fail "word $word is not packed BCD"
        done
        local h m s f
        h=$(bcd_value $hh) m=$(bcd_value $mm) s=$(bcd_value $ss) f=$(bcd_value $ff)
        (( h <= 23 && m <= 59 && s <= 59 )) || wine_fail "word $word is not a time of day"
        (( f < rate )) || wine_fail "word $word has frame $f at $rate frames per second"
        (( f > max_frame )) && max_frame=$f

        local clock=$local_ms
        [ "$base" = utc ] && clock=$utc_ms
        local board_ms=$(( ((h * 60 + m) * 60 + s) * 1000 + f * 1000 / rate ))
        local diff
        diff=$(day_difference "$board_ms - $clock - ($offset)")
        (( diff >= -TOLERANCE_MS && diff <= TOLERANCE_MS )) ||
            wine_fail "word $word is $diff ms off the $base clock plus $offset ms (clock $clock)"
        (( $(day_difference "$local_ms - $utc_ms") != 0 )) && clocks_differ=1

        local second=$(( w >> 8 ))
        if [ -z "${bit10_seen[$second]+x}" ]; then
            seconds+=("$second")
            bit10_seen[$second]=0
            zero_seen[$second]=0
        fi
        (( ff & 0x10 )) && { bit10_seen[$second]=1; armed=1; }
        (( ff == 0 )) && { zero_seen[$second]=1; (( armed )) && fires=$((fires + 1)); armed=0; }
    done < <(wine_text "$out")

    (( reads >= 100 )) || wine_fail "only $reads reads in $out"
    (( clocks_differ )) || wine_fail "local time equals UTC: the time base is not being tested"
    (( ${#seconds[@]} >= 3 )) || wine_fail "reads cover only ${#seconds[@]} seconds"
    local i
    for (( i = 1; i < ${#seconds[@]} - 1; i++ )); do
        local second=${seconds[$i]}
        (( bit10_seen[$second] )) || wine_fail "no frame/status byte with 0x10 in second $(printf %06X "$second")"
        (( zero_seen[$second] )) || wine_fail "no zero frame/status byte in second $(printf %06X "$second")"
    done
    (( fires >= ${#seconds[@]} - 2 )) || wine_fail "the byte went from 0x10 to zero $fires times only"
    (( max_frame >= rate - 5 )) || wine_fail "highest frame $max_frame at $rate frames per second"
    echo "$reads reads over ${#seconds[@]} seconds, $fires comparisons, frames up to $max_frame, $base clock"
}

# Expects the driver to have found FAMILY at ADDRESS (the address the library left).
check_found() {
    local out="$1" family="$2" address="$3"
    local found
    found=$(wine_text "$out" | grep '^found ')
    [ "$found" = "found $family $address" ] || wine_fail "expected 'found $family $address', got '$found'"
}

# Checks the log of the configured case against what the driver saw.
#   check_log LOG DRIVER_OUT SAMPLE_EVERY
check_log() {
    local log="$1" out="$2" every="$3"
    [ -f "$log" ] || wine_fail "no log file $log"
    local text
    text=$(wine_text "$log")
    grep -Eq '^[0-9]+ start pid=[0-9]+ library=.*ZYN_NTTC\.dll config=read rejected_lines=0 first_rejected_line=0 unknown_keys=0 first_unknown_line=0$' <<< "$text" ||
        wine_fail "log start line is not as expected:$(head -1 <<< "$text")"
    grep -Eq '^[0-9]+ config board=BRQ address=0xC800 answer_address=0xC810 .* time_base=utc offset_ms=-3000 frame_rate=30 ' <<< "$text" ||
        wine_fail "log does not show the configuration that was written"
    grep -Eq '^[0-9]+ NttcOpen -> 1$' <<< "$text" || wine_fail "log has no NttcOpen call"

    # The calls, as the driver saw them, in the same order.
    diff <(sed -En 's/^[0-9]+ NttcIdentify (.*)$/\1/p' <<< "$text") \
         <(wine_text "$out" | sed -En 's/^identify (.*)$/\1/p') > /dev/null ||
        wine_fail "NttcIdentify calls in the log differ from the driver's"
    diff <(sed -En 's/^[0-9]+ NttcReadTime 0xC810 -> 1 (0x[0-9A-F]{8})$/\1/p' <<< "$text") \
         <(wine_text "$out" | awk '$1 == "read" && $3 == 1 { print $4 }') > /dev/null ||
        wine_fail "NttcReadTime words in the log differ from the driver's"

    # Millisecond stamps that never go back and span the reads as the driver timed them.
    sed -En 's/^([0-9]+) .*$/\1/p' <<< "$text" | sort -c -n || wine_fail "log stamps go back"
    local first last driver_span
    first=$(sed -En 's/^([0-9]+) NttcReadTime .*$/\1/p' <<< "$text" | head -1)
    last=$(sed -En 's/^([0-9]+) NttcReadTime .*$/\1/p' <<< "$text" | tail -1)
    driver_span=$(wine_text "$out" | awk '$1 == "read" { last = $2 } END { print last }')
    (( last - first - driver_span <= 200 && driver_span - (last - first) <= 200 )) ||
        wine_fail "log spans $((last - first)) ms over the reads, the driver $driver_span ms"

    local reads samples
    reads=$(grep -c ' NttcReadTime ' <<< "$text")
    samples=$(grep -Ec '^[0-9]+ sample reads=[0-9]+ handles=-?[0-9]+ private_bytes=-?[0-9]+$' <<< "$text")
    (( samples == reads / every )) || wine_fail "$samples process samples for $reads reads, one every $every expected"
    echo "log: $reads reads, $samples samples, stamps over $((last - first)) ms"
}

echo "== no ZYN_NTTC.ini: a TAV board at 0x300 on the local clock, 25 frames, no log"
folder=$(make_case_folder defaults)
run_driver "$folder" 3 5 || wine_fail "driver failed (exit $?); see $folder/driver.err"
check_found "$folder/driver.out" 1 0x300
check_reads "$folder/driver.out" local 0 25
extra=$(ls "$folder" | grep -v -x -e ZYN_NTTC.dll -e standin_driver.exe -e driver.out -e driver.err)
[ -z "$extra" ] || wine_fail "files appeared beside the library without a log configured: $extra"

echo "== configured: a BRQ board at 0xC800 answering as 0xC810, UTC, 3 s behind, 30 frames, a log"
folder=$(make_case_folder configured)
cat > "$folder/ZYN_NTTC.ini" <<'EOF'
# Written by tests/e2e/standin_library_wine.sh
Board = brq
address = 0xC800
answer_address = 0xC810     # the address the driver must go on with
time_base = UTC
offset_ms = -3000
frame_rate = 30
log = calls.log
sample_every_reads = 50
EOF
run_driver "$folder" 3 5 || wine_fail "driver failed (exit $?); see $folder/driver.err"
check_found "$folder/driver.out" 2 0xC810
check_reads "$folder/driver.out" utc -3000 30
check_log "$folder/calls.log" "$folder/driver.out" 50

echo "== open_fails: NttcOpen answers 0"
folder=$(make_case_folder open_fails)
printf 'open_fails = yes\r\n' > "$folder/ZYN_NTTC.ini"
run_driver "$folder" 2 5
status=$?
[ "$status" = 1 ] || wine_fail "driver exit $status with open_fails, expected 1"
[ "$(wine_text "$folder/driver.out")" = "open 0" ] || wine_fail "driver saw: $(cat "$folder/driver.out")"

echo "PASS"
