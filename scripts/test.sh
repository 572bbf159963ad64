#!/usr/bin/env bash
# Sets the machine up, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite with CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

build="$root/build/asan"
jobs="$(nproc)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELLUMO_SANITIZE=ON -DVELLUMO_TESTS=ON -DVELLUMO_BENCH=ON >/dev/null
cmake --build "$build" --parallel "$jobs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
ctest --output-on-failure --parallel "$jobs"
