#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo: a private Dovecot POP3
# server and an SMTP server on loopback, a handful of sample messages, a sample
# profile and agents file in build/demo-home, then `quor --test-message` on
# one sample (what the agents would do) and `quor --headless --once` on them.
# Prints the trial, the activity log and what was sent and saved.
# Runs as a normal user: only installing missing packages asks for sudo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}

"$root/scripts/install-deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target quor quor_demo
exec "$build/demo/quor_demo" "$build/demo-home"
