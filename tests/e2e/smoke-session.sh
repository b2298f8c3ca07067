#!/usr/bin/env bash
# Runs inside Xvfb: the steps of the smoke test against the program in $1.
set -euo pipefail
work=$1
. "$(dirname "$0")/lib.sh"

openbox >/dev/null 2>&1 &
sleep 1

start_program "$work"
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

close_program menu
