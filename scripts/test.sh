#!/usr/bin/env bash
# Installs what is missing, builds the host and both Windows builds with warnings as
# errors, and runs every test: host unit tests (also under ThreadSanitizer), then the
# Windows builds' checks and end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
presets=(host host-tsan win32 win64)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" -DHORAVEX_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
for preset in "${presets[@]}"; do
  echo "== tests: $preset"
  ctest --preset "$preset" -j "$jobs"
done
