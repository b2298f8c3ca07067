#!/usr/bin/env bash
# The real program in a Wayland session: weston with XWayland, nested in
# Xvfb so that the compositor has a keyboard and a pointer to drive it with
# (weston's headless backend has no input at all, so nothing could move or
# close a window there). With QT_QPA_PLATFORM unset the program must come up
# on XWayland, where the window can be placed and the tray can work; a
# platform the user chose is left alone.
# Exit status 77 (skipped) only when weston itself cannot start here.
# usage: wayland.sh EXECUTABLE SHIPPED_DATA_FOLDER
set -euo pipefail
exe=$1
shipped=$2
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v weston >/dev/null 2>&1; then
  echo "SKIP: weston is not installed (apt-get install weston xwayland)"
  exit 77
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cp "$exe" "$root/brindlewatch"
cp "$shipped/logo.gif" "$shipped/category.txt" "$shipped/template_page.txt" "$shipped/template_item.txt" "$root/"

started=$(date +%s)
status=0
xvfb-run -a -s "-screen 0 1280x800x24" bash "$here/wayland-session.sh" "$root" || status=$?
echo "wayland: $(($(date +%s) - started)) s"
exit "$status"
