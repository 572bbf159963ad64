#!/usr/bin/env bash
# Sets the machine up, builds Vellumo (release) and runs the main job on BOOK
# (the sample book when none is given).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLUMO_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" >/dev/null

book="${1:-$root/samples/kapitanskaya-dochka.mobi}"
exec "$build/tools/vellumo-cli/vellumo-cli" show "$book" 30
