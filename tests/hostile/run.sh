#!/usr/bin/env bash
# Damaged and hostile pictures through the real loader and the whole program under Wine
# (about a minute); the bad settings, the squatted single-instance name and the real
# message box run with the other Windows tests (ctest), unless named here:
#   tests/hostile/run.sh [GTEST_FILTER]
# Writes the pictures with tools/make_hostile.py, builds the Windows tests, and runs
# them in their own Wine prefix on a private display. Environment overrides:
#   ZORVANE_BUILD_WINDOWS  build folder  (build/windows)
#   ZORVANE_HOSTILE_DIR    pictures      (build/hostile)
#   ZORVANE_HOSTILE_PREFIX Wine prefix   (build/wine-hostile)
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root" || exit 1
filter=${1:-'HostileInput.*:HostileGif.*'}
build=${ZORVANE_BUILD_WINDOWS:-$root/build/windows}
pictures=${ZORVANE_HOSTILE_DIR:-$root/build/hostile}
prefix=${ZORVANE_HOSTILE_PREFIX:-$root/build/wine-hostile}

bash scripts/deps || exit 1
source scripts/lib/wine.sh

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  >/dev/null && cmake --build "$build" --target zorvane_win32_tests || exit 1
python3 tools/make_hostile.py "$pictures" || exit 1

zv_xvfb_start || exit 1
zv_wine_prefix "$prefix" || exit 1
export ZORVANE_HOSTILE_DIR=$pictures
timeout "${ZORVANE_HOSTILE_TIMEOUT:-1200}" wine "$build/tests/zorvane_win32_tests.exe" \
  --gtest_filter="$filter" </dev/null
