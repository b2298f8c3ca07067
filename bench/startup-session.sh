#!/usr/bin/env bash
# Runs inside Xvfb: measures the program in $1/app against the empty window.
set -euo pipefail
work=$1
empty=$2
runs=$3
result=$4
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
  local window=
  until window=$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null); do sleep 0.005; done
  t1=$(date +%s%N)
  sleep 0.3
  hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status")
  # Closed as a user closes it, so that the next start finds what a day's
  # first start finds: no lock left by a killed copy.
  xdotool windowactivate --sync "${window%%$'\n'*}" key --clearmodifiers alt+F4 >/dev/null 2>&1 || true
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$(( (t1 - t0) / 1000000 )) $hwm"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: > "$work/program"
: > "$work/floor"
for _ in $(seq 1 "$runs"); do
  # Each start finds the record files as generated and, after the first, the
  # backups an earlier start left: the start of a program used every day.
  cp -r "$work/seed/." "$work/app/data/"
  measure "$work/app/brindlewatch" >> "$work/program"
  measure "$empty" >> "$work/floor"
done

p_ms=$(cut -d' ' -f1 "$work/program" | median)
f_ms=$(cut -d' ' -f1 "$work/floor" | median)
p_kib=$(cut -d' ' -f2 "$work/program" | median)
f_kib=$(cut -d' ' -f2 "$work/floor" | median)
echo "start-up: program ${p_ms} ms, empty window ${f_ms} ms, ratio $(awk "BEGIN {printf \"%.2f\", $p_ms / $f_ms}")"
echo "peak memory: program $((p_kib / 1024)) MiB, empty window $((f_kib / 1024)) MiB, above the floor $(((p_kib - f_kib) / 1024)) MiB"
echo "$p_ms $f_ms $p_kib $f_kib" > "$result"
