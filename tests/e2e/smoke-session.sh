#!/usr/bin/env bash
# Runs inside Xvfb: the steps of the smoke test against the program in $1.
set -euo pipefail
work=$1
caption="Kestrix Brindlewatch v0.31"

openbox >/dev/null 2>&1 &
sleep 1

"$work/brindlewatch" &
pid=$!

fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null || true; exit 1; }

window=""
for _ in $(seq 1 150); do
  window=$(xdotool search --name "^${caption}\$" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || fail "no window titled '$caption'"
xdotool windowactivate --sync "$window"
sleep 0.5

visible() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l; }

# Before F12 the Debug menu has no access key in the bar; after it, Alt+D opens it.
before=$(visible)
xdotool key F12
sleep 0.3
xdotool key alt+d
opened=0
for _ in $(seq 1 25); do
  [ "$(visible)" -gt "$before" ] && { opened=1; break; }
  sleep 0.2
done
[ "$opened" = 1 ] || fail "Alt+D opened no menu after F12"
xdotool key Escape
sleep 0.3

xdotool windowactivate --sync "$window" key alt+F4
for _ in $(seq 1 75); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after its window was closed"
wait "$pid" || fail "the program ended with status $?"
