#!/usr/bin/env bash
# The main job on the stand-in board: installs what is missing, builds the 64-bit program
# and the stand-in reader library, prepares a Wine prefix, and runs
#   RUZivEr2.exe -debug
# with the stand-in ZYN_NTTC.dll and its ZYN_NTTC.ini beside it, so that the trace of
# discovery, start-up and the clock checks scrolls by. Ctrl+C stops it as the program
# defines: "Stopping ZYN NT Horavex Service2.", the worker's 5 s closing pause, then a
# further 5 s before the program exits.
#
#   scripts/run.sh [win64|win32] [path/to/ZYN_NTTC.ini]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

preset=${1:-win64}
config=${2:-$root/reader/standin/ZYN_NTTC.ini}
case "$preset" in
  win64) bits=64 ;;
  win32) bits=32 ;;
  *) echo "usage: $0 [win64|win32] [ZYN_NTTC.ini]" >&2; exit 2 ;;
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
mkdir -p "$program_dir"
cp "build/$preset/RUZivEr2.exe" "build/$preset/ZYN_NTTC.dll" "$program_dir/"
cp "$config" "$program_dir/ZYN_NTTC.ini"

echo "Running $program_dir/RUZivEr2.exe -debug under Wine; Ctrl+C stops it."
cd "$program_dir"
# The loader itself must receive Ctrl+C, so it replaces this shell.
exec "$(wine_loader "$bits")" RUZivEr2.exe -debug
