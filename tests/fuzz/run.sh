#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UBSan) and runs each one
# for a bounded time, as many at once as there are cores.
#   tests/fuzz/run.sh                     smoke run: 10 s a target, 5 s for gif_index_fuzz
#   FUZZ_SECONDS=600 tests/fuzz/run.sh    a longer run, as long for each target
# Needs clang and libclang-rt-14-dev (the fuzzer runtime). Corpora are kept between
# runs in build/fuzz/corpus/TARGET; a failing input is left in build/fuzz/artifacts/.
# FUZZ_BUILD_DIR overrides the build folder.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
# The GIF walker is small: a few seconds cover nearly all that a minute does, and keep
# the smoke run short.
declare -A smoke=([gif_index_fuzz]=5)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DZORVANE_FUZZ=ON >/dev/null &&
  cmake --build "$build" || { echo "fuzz: build failed" >&2; exit 1; }

targets=$(sed -n 's/^zorvane_fuzz_target(\([A-Za-z0-9_]*\) .*/\1/p' "$root/tests/fuzz/CMakeLists.txt")
# fuzz TARGET: one bounded run; its exit status in $build/TARGET.rc.
fuzz() {
  local target=$1 seconds=${FUZZ_SECONDS:-${smoke[$1]:-10}}
  local corpus=$build/corpus/$target
  mkdir -p "$corpus" "$build/artifacts"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$build/artifacts/$target-")
  local dict=$root/tests/fuzz/${target%_fuzz}.dict
  [[ -f $dict ]] && options+=(-dict="$dict")
  "$build/tests/fuzz/$target" "${options[@]}" "$corpus" >"$build/$target.log" 2>&1
  echo $? >"$build/$target.rc"
}
# The runs are bounded in time, not in work: as many at once as there are cores.
jobs_max=$(nproc)
for target in $targets; do
  while (($(jobs -rp | wc -l) >= jobs_max)); do wait -n; done
  fuzz "$target" &
done
wait
failed=0
for target in $targets; do
  seconds=${FUZZ_SECONDS:-${smoke[$target]:-10}}
  log=$build/$target.log
  rc=$(cat "$build/$target.rc" 2>/dev/null || echo "?")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  echo "fuzz: $target: ${runs:-?} executions in $seconds s, corpus $(ls "$build/corpus/$target" | wc -l) inputs, exit $rc"
  if [[ $rc != 0 ]]; then
    failed=1
    tail -n 40 "$log"
  fi
done
exit $failed
