#!/usr/bin/env bash
# Runs inside Xvfb: starts the unpacked package's window as a user with no
# data yet, adds a to-do item through the To Do menu with the keyboard, and
# closes the window. The checks of what it wrote are run.sh's.
# usage: session.sh ROOT TITLE
set -euo pipefail
root=$1
title=$2
# shellcheck source-path=SCRIPTDIR source=../e2e/lib.sh
. "$(dirname "$0")/../e2e/lib.sh"

openbox >/dev/null 2>&1 &
sleep 1

start_program "$root/usr/bin"

class=$(xprop -id "$window" WM_CLASS 2>/dev/null || true)
case $class in
*'"brindlewatch", "brindlewatch"'*) ;;
*) fail "the window's WM_CLASS is '$class', not the desktop entry's StartupWMClass brindlewatch" ;;
esac

xdotool windowactivate --sync "$window"
sleep 0.3
# The dialog of a new item, by its caption. --all makes every criterion hold,
# not any one; the caption match ignores case, so it must be one no menu has.
new_dialog() { xdotool search --all --onlyvisible --pid "$pid" --name '^New to do$' 2>/dev/null | head -n 1 || true; }

# New is the first entry of the To Do menu, so Return picks it.
xdotool key alt+t
sleep 0.5
xdotool key Return
dialog=""
for _ in $(seq 1 50); do
  dialog=$(new_dialog)
  [ -n "$dialog" ] && break
  sleep 0.2
done
[ -n "$dialog" ] || fail "New in the To Do menu opened no 'New to do' dialog"
xdotool windowactivate --sync "$dialog"
sleep 0.3
# The title box has the focus; Tab passes the description and Completed to OK.
xdotool type --delay 20 "$title"
xdotool key Tab Tab Tab space
for _ in $(seq 1 50); do
  [ -z "$(new_dialog)" ] && break
  sleep 0.2
done
[ -z "$(new_dialog)" ] || fail "the 'New to do' dialog stayed open after OK"

close_program
