#!/usr/bin/env bash
# run_fuzz.sh TARGET SEED_DIR SECONDS: runs a libFuzzer target for a while on
# a scratch corpus seeded from SEED_DIR (which is only read).
set -eu
target="$1"; seeds="$2"; seconds="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus"
args=("$work/corpus")
[ -d "$seeds" ] && args+=("$seeds")
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
     -artifact_prefix="$work/" -print_final_stats=1 "${args[@]}"
