#!/usr/bin/env bash
# Runs inside Xvfb: measures the program in $1/app against the empty window.
set -euo pipefail
work=$1
empty=$2
runs=$3
caption="Kestrix Brindlewatch v0.31"

openbox >/dev/null 2>&1 &
sleep 1

# Prints "milliseconds peak_kib" for one start of the command.
measure() {
  local t0 t1 pid hwm
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1 &
  pid=$!
  # xdotool's own --sync looks only twice a second; look every few milliseconds.
  until xdotool search --onlyvisible --name "^${caption}\$" >/dev/null 2>&1; do sleep 0.005; done
  t1=$(date +%s%N)
  sleep 0.3
  hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$(( (t1 - t0) / 1000000 )) $hwm"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: > "$work/program"
: > "$work/floor"
for _ in $(seq 1 "$runs"); do
  # Each start finds the record files as generated and, after the first, the
  # backups an earlier start left: the start of a program used every day.
  cp "$work/seed/"*.cal "$work/app/data/"
  measure "$work/app/brindlewatch" >> "$work/program"
  measure "$empty" >> "$work/floor"
done

p_ms=$(cut -d' ' -f1 "$work/program" | median)
f_ms=$(cut -d' ' -f1 "$work/floor" | median)
p_kib=$(cut -d' ' -f2 "$work/program" | median)
f_kib=$(cut -d' ' -f2 "$work/floor" | median)
echo "start-up: program ${p_ms} ms, empty window ${f_ms} ms, ratio $(awk "BEGIN {printf \"%.2f\", $p_ms / $f_ms}")"
echo "peak memory: program $((p_kib / 1024)) MiB, empty window $((f_kib / 1024)) MiB, above the floor $(((p_kib - f_kib) / 1024)) MiB"
