#!/usr/bin/env bash
# Installs what is missing, builds the host and both Windows builds with warnings as
# errors, and runs every test: host unit tests (also under ThreadSanitizer, and under
# AddressSanitizer with UndefinedBehaviorSanitizer), the fuzz targets (clang, libFuzzer)
# for a bounded time each, then the Windows builds' checks and end-to-end tests under Wine.
#
# Each fuzz target fuzzes for 60 s from its seed corpus (tests/fuzz/corpus); set
# HORAVEX_FUZZ_SECONDS to change that. A finding is kept in build/fuzz/tests/fuzz/<target>.run/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
presets=(host host-tsan host-asan fuzz win32 win64)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" -DHORAVEX_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
for preset in "${presets[@]}"; do
  echo "== tests: $preset"
  ctest --preset "$preset" -j "$jobs"
  if [ "$preset" = fuzz ]; then
    cat build/fuzz/tests/fuzz/*.run/summary.txt
  fi
done
