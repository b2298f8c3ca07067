#!/usr/bin/env bash
# The real program under Xvfb with openbox and a real tray host (trayer):
# in "system tray only" and "both" modes, minimising puts an icon in the
# tray; its menu restores the window or ends the program, and a double-click
# restores it, also after the tray host was killed and started again while
# the window was hidden. With no tray host, minimising keeps the window on
# the taskbar.
# usage: tray.sh EXECUTABLE SHIPPED_DATA_FOLDER
set -euo pipefail
exe=$1
shipped=$2
here=$(cd "$(dirname "$0")" && pwd)

passed=0
failed=0
run() { # MODE SCENARIO
  local work
  work=$(mktemp -d)
  cp "$exe" "$work/brindlewatch"
  mkdir "$work/data"
  cp "$shipped/logo.gif" "$work/data/"
  printf '[Prefs]\r\nMinimize=%s\r\n' "$1" > "$work/data/prefs.ini"
  if xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/tray-session.sh" "$work" "$2" \
    && [ ! -e "$work/data/ErrorLog.txt" ]; then
    passed=$((passed + 1))
  else
    echo "  (mode $1, $2)"
    [ -e "$work/data/ErrorLog.txt" ] && cat "$work/data/ErrorLog.txt"
    failed=$((failed + 1))
  fi
  rm -rf "$work"
}

run 1 tray-restore-host-restarted
run 1 tray-exit-hidden
run 2 tray-menu-restore
run 2 tray-exit-minimised
run 1 no-tray
echo "tray: $passed passed, $failed failed"
[ "$failed" = 0 ]
