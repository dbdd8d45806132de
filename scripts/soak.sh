#!/usr/bin/env bash
# The soak run: installs what is missing, builds the program and the stand-in reader library,
# then installs RUZivEr2.exe as a service in a fresh Wine prefix, starts it through the
# service manager on a stand-in board that fails and tears reads and goes silent about once
# a minute, lets it run for the minutes given, and stops it. It asserts that the service kept
# running and polling at its 51 ms cadence, stopped cleanly, and did not grow, and prints
# the figures (tests/e2e/soak_run.sh says how).
#
#   scripts/soak.sh [minutes=10] [win64|win32]
#
# Its outputs, the stand-in's call log among them, stay in build/soak-<preset>/run.
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-10}
preset=${2:-win64}
case "$preset" in
  win64) bits=64 ;;
  win32) bits=32 ;;
  *) echo "usage: $0 [minutes] [win64|win32]" >&2; exit 2 ;;
esac
if ! [[ "$minutes" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [minutes] [win64|win32]" >&2
  exit 2
fi

scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target RUZivEr2 standin_library

exec tests/e2e/soak_run.sh "$bits" "build/$preset/RUZivEr2.exe" "build/$preset/ZYN_NTTC.dll" \
  "$(pwd)/build/soak-$preset" "$minutes"
