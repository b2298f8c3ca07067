#!/usr/bin/env bash
# Starts the real program under Xvfb with a window manager, reveals the debug
# menu with F12, leaves by Brindlewatch > Exit and checks that the program
# ended and the position was stored.
# usage: smoke.sh EXECUTABLE SHIPPED_DATA_FOLDER
set -euo pipefail
exe=$1
shipped=$2
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/brindlewatch"
mkdir "$work/data"
cp "$shipped/logo.gif" "$shipped/category.txt" "$shipped/template_page.txt" "$shipped/template_item.txt" "$work/data/"

xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/smoke-session.sh" "$work"

grep -q '^\[Window\]' "$work/data/prefs.ini" || { echo "FAIL: prefs.ini has no Window section"; exit 1; }
grep -q '^MainX=' "$work/data/prefs.ini" || { echo "FAIL: no MainX"; exit 1; }
grep -q '^MainY=' "$work/data/prefs.ini" || { echo "FAIL: no MainY"; exit 1; }
if [ -e "$work/data/ErrorLog.txt" ]; then
  echo "FAIL: errors were reported:"; cat "$work/data/ErrorLog.txt"; exit 1
fi
echo "smoke: 1 passed, 0 failed"
