#!/usr/bin/env bash
# Builds the message-parser fuzz target with clang and runs it for a bounded
# time, starting from the sample messages.
#   scripts/run-fuzz.sh [seconds]   (default 30)
# The build folder is $QUOR_FUZZ_BUILD (default build-fuzz in the repository).
# Inputs the fuzzer finds go to a temporary corpus folder that is removed at
# the end; a crash leaves its input as crash-* in the current folder.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
build="${QUOR_FUZZ_BUILD:-$root/build-fuzz}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" \
  -DQUOR_BUILD_FUZZ=ON -DQUOR_BUILD_UI=OFF -DQUOR_BUILD_TESTS=ON -DQUOR_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target parser_fuzz -j2

corpus="$(mktemp -d "${TMPDIR:-/tmp}/quor-fuzz-corpus.XXXXXX")"
trap 'rm -rf "$corpus"' EXIT

# Long lines matter (reads are 512 bytes), so allow inputs well beyond that.
"$build/tests/fuzz/parser_fuzz" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=1024 \
  -print_final_stats=1 "$corpus" "$root/tests/fixtures/mail"
