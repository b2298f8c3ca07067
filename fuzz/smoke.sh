#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a copy of its committed corpus
# and prints what it did. usage: smoke.sh TARGET CORPUS SECONDS
set -euo pipefail
target=$1
corpus=$2
seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work" "$corpus" 2> "$work/log" || { tail -n 60 "$work/log"; exit 1; }
grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|INFO: Loaded|DONE' "$work/log" || true
