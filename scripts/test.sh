#!/usr/bin/env bash
# Installs what is needed, checks the house style, builds with warnings as errors, and runs
# every test: the plain build, a sample of the fault campaign and the Debian package (whose
# file list is checked), the AddressSanitizer + UndefinedBehaviorSanitizer build, the
# ThreadSanitizer build of the threaded parts, and the fuzz targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# Each stage says when it starts, so a slow one shows in the CI's log.
trap 'echo "== ended after ${SECONDS}s =="' EXIT
# Compiling sources eight at a time nearly halves the build time on two cores; the fuzz build
# still compiles the core one source at a time, so a missing include shows there.
unity="-DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=8"

echo "== style (at ${SECONDS}s) =="
scripts/style.sh

echo "== plain build (at ${SECONDS}s) =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDOVRANT_WERROR=ON $unity
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== fault campaign sample (plain build) (at ${SECONDS}s) =="
# Every family of file operations at spread failure points, errors and kills; the whole
# campaign is scripts/fault-campaign.sh without options.
scripts/fault-campaign.sh --sample 8 --jobs 3 --budget 170

echo "== Debian package (at ${SECONDS}s) =="
rm -f build/quillbern-dovrant_*.deb build/quillbern-dovrant-daemon_*.deb
(cd build && cpack -G DEB)
scripts/check-package.sh build
# On a throw-away machine (the CI's), also install it and run the installed program.
if [ "${CI:-}" = true ]; then scripts/install-check.sh build; fi

echo "== sanitizer build (ASan + UBSan) (at ${SECONDS}s) =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDOVRANT_SANITIZE=ON -DDOVRANT_BENCH=OFF -DDOVRANT_WERROR=ON $unity
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== thread sanitizer build of the threaded parts (log, counters, pump, HTTPS, worker threads, transfers, dial-up, operator, headless) (at ${SECONDS}s) =="
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDOVRANT_TSAN=ON -DDOVRANT_GUI=OFF -DDOVRANT_BENCH=OFF -DDOVRANT_WERROR=ON $unity
cmake --build build-tsan -j "$jobs" --target common_tests https_tests gateway_tests transfer_tests dialup_tests operator_tests service_tests
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# As many programs at a time as there are processors; a failing one shows its output.
printf '%s\n' common https gateway transfer dialup operator service | xargs -P "$jobs" -n 1 \
  sh -c 'if build-tsan/bin/$1_tests --gtest_brief=1 >build-tsan/$1.out 2>&1; then
           echo "-- $1_tests: $(tail -n 1 build-tsan/$1.out)"
         else cat build-tsan/$1.out; echo "-- $1_tests FAILED"; exit 1; fi' sh
unset TSAN_OPTIONS

echo "== fuzz targets (libFuzzer, ASan + UBSan) (at ${SECONDS}s) =="
scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
echo "all tests passed"
