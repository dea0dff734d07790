#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds and runs every test:
#   1. clang-format over the C++ files of src, tests and bench: no difference
#      from .clang-format allowed;
#   2. the core suite (every GoogleTest program outside the window) under
#      AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the processor, the driver and the rest of the app tests, and the window's
#      hand-over between the worker and its own thread, under ThreadSanitizer;
#   4. the fuzz target, built with clang and run for a short bounded time;
#   5. the full build (desktop window included) and all its tests, last, so
#      the run ends with the summary of the whole suite.
# Runs as a normal user: only installing missing packages asks for sudo.
# Each step prints the seconds it took. JOBS (default 2) sets the build's
# parallelism, FUZZ_SECONDS (default 30) the fuzzing time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}

# The core tests are labelled after their folders; base exists once the
# shared basics have a folder of their own. A label with no tests is harmless.
core_labels='^(config|base|message|net|engine|app)$'

started=$SECONDS
announce() { printf '\n=== %s\n' "$1"; started=$SECONDS; }
took() { printf '=== %s: %d s\n' "$1" $((SECONDS - started)); }

"$root/scripts/install-deps.sh"

announce "1/5 formatting (clang-format)"
cpp_files() {
  local patterns=() folder extension
  for folder in src tests bench; do
    for extension in cpp cc cxx h hh hpp; do patterns+=("$folder/*.$extension"); done
  done
  # The files under version control; a copy without git gets every file found.
  if ! git -C "$root" -c safe.directory="$root" ls-files -- "${patterns[@]}" 2>/dev/null; then
    (cd "$root" && find src tests bench -type f \
      \( -name '*.cpp' -o -name '*.cc' -o -name '*.cxx' -o -name '*.h' -o -name '*.hh' \
      -o -name '*.hpp' \) | sort)
  fi
}
sources=()
while IFS= read -r file; do
  # A tracked file deleted in the work tree is not there to check.
  if [ -f "$root/$file" ]; then sources+=("$file"); fi
done < <(cpp_files)
if [ ${#sources[@]} -eq 0 ]; then
  echo "No C++ files found under src, tests and bench" >&2
  exit 1
fi
if ! (cd "$root" && clang-format --dry-run --Werror "${sources[@]}"); then
  echo "The files above differ from .clang-format: run clang-format -i on them." >&2
  exit 1
fi
echo "${#sources[@]} files formatted as .clang-format says"
took "1/5 formatting"

announce "2/5 core suite under AddressSanitizer and UndefinedBehaviorSanitizer"
asan="$root/build-asan"
cmake -S "$root" -B "$asan" -DQUOR_SANITIZE=address -DQUOR_BUILD_UI=OFF -DQUOR_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$asan" -j"$jobs"
(cd "$asan" && ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1 \
  UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" --no-tests=error -L "$core_labels")
took "2/5 AddressSanitizer"

announce "3/5 processor, driver and window hand-over under ThreadSanitizer"
tsan="$root/build-tsan"
cmake -S "$root" -B "$tsan" -DQUOR_SANITIZE=thread -DQUOR_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$tsan" -j"$jobs" --target quor quor_app_tests tst_main_dialog
(cd "$tsan" && TSAN_OPTIONS=second_deadlock_stack=1 \
  ctest --output-on-failure -j"$jobs" --no-tests=error -L '^app$')
# Qt is not instrumented: the window's test alone gets the suppressions that
# cover Qt's own internals (see the file).
(cd "$tsan" && TSAN_OPTIONS="second_deadlock_stack=1:suppressions=$root/scripts/tsan-qt.supp" \
  ctest --output-on-failure --no-tests=error -R '^ui\.tst_main_dialog$')
took "3/5 ThreadSanitizer"

announce "4/5 fuzzing the message parser"
"$root/scripts/run-fuzz.sh" "${FUZZ_SECONDS:-30}"
took "4/5 fuzzing"

announce "5/5 full build and the whole suite"
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs"
took "5/5 full build"
(cd "$build" && ctest --output-on-failure -j"$jobs")
