#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. No display, sound device or GPU needed.
# Usage: scripts/test.sh            normal build in build/
#        scripts/test.sh --asan     AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#        scripts/test.sh --windows  the Windows build (build-win64/, scripts/build-windows.sh) under
#                                   Wine and Xvfb: its test suites, then checks of quillon.exe and
#                                   the tools against the native build's results
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--windows" ]; then
  exec scripts/test-windows.sh "${@:2}"
fi
if [ "${1:-}" = "--asan" ]; then
  scripts/setup.sh build-asan -DQUILLON_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  dir=build-asan
else
  scripts/setup.sh build
  dir=build
fi
# Tests never need a display; make sure none is used by accident.
unset DISPLAY WAYLAND_DISPLAY
ctest --test-dir "$dir" --output-on-failure -j "$(nproc 2>/dev/null || echo 2)"
