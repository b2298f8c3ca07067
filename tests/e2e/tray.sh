#!/usr/bin/env bash
# The real program under Xvfb with openbox: in "system tray only" mode,
# minimising with a tray host (trayer) running hides the window behind an
# icon, and a double-click on the icon brings it back; with no tray host,
# minimising keeps the window on the taskbar.
# usage: tray.sh EXECUTABLE SHIPPED_DATA_FOLDER
set -euo pipefail
exe=$1
shipped=$2
here=$(cd "$(dirname "$0")" && pwd)

run() { # with-tray | without-tray
  local work
  work=$(mktemp -d)
  cp "$exe" "$work/brindlewatch"
  mkdir "$work/data"
  cp "$shipped/logo.gif" "$work/data/"
  printf '[Prefs]\r\nMinimize=1\r\n' > "$work/data/prefs.ini"
  local status=0
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/tray-session.sh" "$work" "$1" || { status=$?; echo "  (run $1)"; }
  rm -rf "$work"
  return $status
}

run with-tray
run without-tray
echo "tray: 2 passed, 0 failed"
