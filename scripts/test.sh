#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the parser, codec and mail-client tests under AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   2. the fuzz target, built with clang and run for a short bounded time;
#   3. the full build (desktop window included) and all its tests, last, so
#      the run ends with the summary of the whole suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}

"$root/scripts/install-deps.sh"

sanitized="$root/build-sanitize"
cmake -S "$root" -B "$sanitized" -DQUOR_SANITIZE=ON -DQUOR_BUILD_UI=OFF -DQUOR_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$sanitized" -j"$jobs" --target quor_message_tests quor_net_tests
(cd "$sanitized" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -L 'message|net')

"$root/scripts/run-fuzz.sh" "${FUZZ_SECONDS:-30}"

build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs"
(cd "$build" && ctest --output-on-failure -j"$jobs")
