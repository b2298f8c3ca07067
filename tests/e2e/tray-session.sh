#!/usr/bin/env bash
# Runs inside Xvfb: one scenario of the tray test against the program in $1.
set -euo pipefail
work=$1
scenario=$2
. "$(dirname "$0")/lib.sh"

openbox >/dev/null 2>&1 &
sleep 1
tray=""
start_tray() {
  trayer --edge top --align right --widthtype pixel --width 100 --height 24 --SetDockType true >/dev/null 2>&1 &
  tray=$!
  sleep 1
}
[ "$scenario" = no-tray ] || start_tray

start_program "$work"

wait_state() {
  for _ in $(seq 1 50); do
    [ "$(state)" = "$1" ] && return 0
    sleep 0.2
  done
  return 1
}

# Picks item N (1 Restore, 2 Exit) of the icon's menu with the keyboard.
tray_menu() {
  point_at_icon
  xdotool click 3
  sleep 0.5
  for _ in $(seq 1 "$1"); do
    xdotool key Down
    sleep 0.1
  done
  xdotool key Return
}

xdotool windowminimize "$window"
case "$scenario" in
tray-restore-host-restarted)
  wait_state "" || fail "the window was not hidden (state: $(state))"
  point_at_icon
  kill "$tray"
  wait "$tray" 2>/dev/null || true
  sleep 0.5
  start_tray
  point_at_icon
  xdotool click --repeat 2 --delay 120 1
  wait_state Normal || fail "a double-click on the icon did not restore the window (state: $(state))"
  close_program
  ;;
tray-exit-hidden)
  wait_state "" || fail "the window was not hidden (state: $(state))"
  tray_menu 2
  wait_ended "the program still runs after Exit from the tray"
  ;;
tray-exit-minimised)
  wait_state Iconic || fail "the window did not stay on the taskbar (state: $(state))"
  tray_menu 2
  wait_ended "the program still runs after Exit from the tray"
  ;;
tray-menu-restore)
  wait_state Iconic || fail "the window did not stay on the taskbar (state: $(state))"
  tray_menu 1
  wait_state Normal || fail "Restore in the icon's menu did not restore the window (state: $(state))"
  close_program
  ;;
no-tray)
  wait_state Iconic || fail "without a tray the window did not stay minimised on the taskbar (state: $(state))"
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowmap "$window"
  wait_state Normal || fail "the window did not come back from the taskbar"
  close_program
  ;;
*) fail "unknown scenario $scenario" ;;
esac
