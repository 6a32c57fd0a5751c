#!/usr/bin/env bash
# Builds the libFuzzer targets (and only what they need) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for the given number of seconds, as many at a
# time as there are processors. Each starts from its seeds in fuzz/seeds/<target>/ and keeps
# what it learns in build-fuzz/corpus/<target>/. A crash leaves its input in build-fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
cd "$root"
mapfile -t targets < <(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDOVRANT_FUZZ=ON -DDOVRANT_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"

run_one() {
  local name=$1 seconds=$2
  local corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  local seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  if "build-fuzz/bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/$name-" "$corpus" "${seeds[@]}" \
    >"build-fuzz/$name.out" 2>&1; then
    echo "-- $name for ${seconds}s: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' \
      "build-fuzz/$name.out" | grep -o '[0-9]*$') runs, nothing found"
  else
    echo "-- $name for ${seconds}s: FAILED"
    tail -n 40 "build-fuzz/$name.out"
    return 1
  fi
}
export -f run_one
printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} bash -c 'run_one "$@"' _ {} "$seconds"
