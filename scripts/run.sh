#!/usr/bin/env bash
# The main job on the stand-in board: installs what is missing, builds the program and the
# stand-in reader library, prepares a Wine prefix, and runs the program in the console with the
# stand-in ZYN_NTTC.dll and its ZYN_NTTC.ini beside it. The mode word says what runs:
#
#   stepped (the default)  RUZivEr2.exe -debug: discovery, start-up and the compared-and-stepped
#                          clock checks scroll by
#   precise                RUZivEr2.exe -debug in the precise mode (Discipline = 1): its
#                          " Offset " line each second
#   measure                RUZivEr2.exe -measure (120 s) on a board set a frame late
#                          (offset_ms = -40): the machine's lines, a " Board " line each second
#                          near +40 ms, and the delay of 40 ms it proposes
#
# Ctrl+C stops it as the program defines: for -debug "Stopping ZYN NT Horavex Service2.", the
# worker's 5 s closing pause, then a further 5 s before the program exits; -measure prints its
# summary at once. The settings are written straight into the registry of the run's own prefix
# (the time base and slop stay as they are, 150 ms local time unless set): no service is
# installed there, so that no service starts beside the console run.
#
#   scripts/run.sh [stepped|precise|measure] [win64|win32] [path/to/ZYN_NTTC.ini]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=stepped
case "${1:-}" in
  stepped|precise|measure) mode=$1; shift ;;
esac
preset=${1:-win64}
config=${2:-$root/reader/standin/ZYN_NTTC.ini}
case "$preset" in
  win64) bits=64 ;;
  win32) bits=32 ;;
  *) echo "usage: $0 [stepped|precise|measure] [win64|win32] [ZYN_NTTC.ini]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target RUZivEr2 standin_library

. tests/e2e/wine_env.sh
run_dir=$root/build/run-$preset
wine_use_prefix "$run_dir/prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing a Wine prefix in $WINEPREFIX (once; about 20 s)..."
  wine_create_prefix "$run_dir/logs"
fi

program_dir=$run_dir/program
mkdir -p "$program_dir" "$run_dir/logs"
cp "build/$preset/RUZivEr2.exe" "build/$preset/ZYN_NTTC.dll" "$program_dir/"
cp "$config" "$program_dir/ZYN_NTTC.ini"
if [ "$mode" = measure ]; then
  # A later line wins: the board shows each second one frame (40 ms at 25 frames) late.
  printf '\r\n# scripts/run.sh measure: a board a frame late\r\noffset_ms = -40\r\n' >> "$program_dir/ZYN_NTTC.ini"
fi

# The mode as -load would store it, without the board's delay: the precise mode on a board in
# step, -measure showing the whole 40 ms.
settings='HKLM\SYSTEM\CurrentControlSet\Services\Vantrel'
reg_run() { wine_run 64 60 "$run_dir/logs/reg.out" "$run_dir/logs/reg.err" -- reg.exe "$@"; }
if [ "$mode" = precise ]; then
  reg_run add "$settings" /v Discipline /t REG_DWORD /d 1 /f || { echo "reg add Discipline failed" >&2; exit 1; }
else
  reg_run delete "$settings" /v Discipline /f || true
fi
reg_run delete "$settings" /v EdgeDelayUs /f || true

cd "$program_dir"
# The loader itself must receive Ctrl+C, so it replaces this shell.
if [ "$mode" = measure ]; then
  echo "Running $program_dir/RUZivEr2.exe -measure under Wine (120 s); Ctrl+C ends it sooner."
  exec "$(wine_loader "$bits")" RUZivEr2.exe -measure
fi
echo "Running $program_dir/RUZivEr2.exe -debug ($mode mode) under Wine; Ctrl+C stops it."
exec "$(wine_loader "$bits")" RUZivEr2.exe -debug
