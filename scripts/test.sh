#!/usr/bin/env bash
# Sets the machine up, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, builds the libFuzzer targets with clang, and
# runs the whole suite (unit tests, command-line checks, fuzz smoke runs)
# with CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
jobs="$(nproc)"

fuzz="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELLUMO_FUZZ=ON -DVELLUMO_TESTS=OFF -DVELLUMO_BENCH=OFF >/dev/null
cmake --build "$fuzz" --parallel "$jobs"

build="$root/build/asan"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELLUMO_SANITIZE=ON -DVELLUMO_TESTS=ON -DVELLUMO_BENCH=ON \
      -DVELLUMO_FUZZ_BUILD="$fuzz" >/dev/null
cmake --build "$build" --parallel "$jobs"

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
ctest --output-on-failure --parallel "$jobs"
