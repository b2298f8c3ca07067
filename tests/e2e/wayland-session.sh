#!/usr/bin/env bash
# Runs inside Xvfb: starts weston on this display with XWayland, then runs
# the scenarios of wayland.sh against the program and shipped files in $1.
set -euo pipefail
root=$1
. "$(dirname "$0")/lib.sh"

host=$DISPLAY
runtime=$(mktemp -d)
chmod 0700 "$runtime"
weston_pid=""
tray=""
pid=""

cleanup() {
  local status=$?
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  [ -z "$tray" ] || kill "$tray" 2>/dev/null || true
  if [ -n "$weston_pid" ]; then
    if [ "$status" != 0 ] && [ "$status" != 77 ]; then
      echo "--- the end of weston's log:"
      tail -n 15 "$runtime/weston.log" 2>/dev/null || true
    fi
    # Its own process group holds XWayland and the shell's helpers too.
    kill -- "-$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
  fi
  rm -rf "$runtime"
}
trap cleanup EXIT

# Input goes through the compositor's own seat, which reads this Xvfb.
seat() { DISPLAY=$host xdotool "$@"; }

XDG_RUNTIME_DIR=$runtime setsid weston --backend=x11-backend.so --use-pixman --width=1024 --height=768 \
  --xwayland --no-config --idle-time=0 --socket=bw-wayland --log="$runtime/weston.log" \
  >"$runtime/weston.out" 2>&1 &
weston_pid=$!

for _ in $(seq 1 75); do
  [ -S "$runtime/bw-wayland" ] && break
  kill -0 "$weston_pid" 2>/dev/null || break
  sleep 0.2
done
if [ ! -S "$runtime/bw-wayland" ]; then
  echo "SKIP: weston could not start in this container:"
  tail -n 15 "$runtime/weston.log" "$runtime/weston.out" 2>/dev/null || true
  exit 77
fi

# XWayland takes the first free display number, which only weston's log tells.
xw=""
for _ in $(seq 1 50); do
  xw=$(sed -n 's/.*xserver listening on display \(:[0-9][0-9]*\).*/\1/p' "$runtime/weston.log" | head -n 1)
  [ -n "$xw" ] && break
  sleep 0.2
done
[ -n "$xw" ] || fail "weston runs but offers no XWayland display"
DISPLAY=$xw timeout 15 xdpyinfo >/dev/null 2>&1 || fail "XWayland does not answer on $xw (is the xwayland package installed?)"
echo "weston runs; XWayland is $xw"
# Weston follows the pointer only once it has seen it come into its window,
# which it may miss when the window opens under the pointer; the screen is
# larger than weston's window so that the pointer can leave it and come back.
seat mousemove 1200 790
sleep 0.3
seat mousemove 600 400
sleep 0.3

export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=bw-wayland XDG_SESSION_TYPE=wayland DISPLAY=$xw
unset QT_QPA_PLATFORM

# Each scenario runs in a folder of its own ($root/$1, with prefs.ini holding
# $2), so that what one leaves in prefs.ini cannot sway the next.
prepare() {
  work=$root/$1
  mkdir -p "$work/data"
  cp "$root/brindlewatch" "$work/"
  cp "$root/logo.gif" "$root/category.txt" "$root/template_page.txt" "$root/template_item.txt" "$work/data/"
  printf '%b' "$2" >"$work/data/prefs.ini"
}

no_errors() {
  if [ -e "$work/data/ErrorLog.txt" ]; then
    cat "$work/data/ErrorLog.txt"
    fail "errors were reported"
  fi
}

pref() { tr -d '\r' <"$work/data/prefs.ini" | sed -n "s/^$1=//p" | head -n 1; }

# The window's client area on the X root, which weston keeps equal to its
# own output once the window is mapped: sets $ax and $ay.
client_at() { read -r ax ay < <(xwininfo -id "$window" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} END {print x, y}'); }

# Succeeds when the compositor's output shows the window's own pixels at X,Y:
# where X thinks the window is must be where the user sees it.
shows_at() {
  local size diff
  size=$(xwininfo -id "$window" | awk '/Width:/ {w = $NF} /Height:/ {h = $NF} END {print w "x" h}')
  seat mousemove 1023 767
  sleep 0.2
  import -window "$window" "$runtime/client.png"
  DISPLAY=$host import -window root "$runtime/output.png"
  convert "$runtime/output.png" -crop "${size}+$1+$2" +repage "$runtime/seen.png"
  diff=$(compare -metric AE -fuzz 10% "$runtime/client.png" "$runtime/seen.png" null: 2>&1 || true)
  # A blinking text cursor may differ between the two pictures.
  [ "$(echo "$diff" | awk '{printf "%d", $1}')" -le 200 ]
}

# Waits until the window shows with its client area within weston's frame
# of the stored place X,Y: sets $ax, $ay and the frame's size $dx, $dy.
wait_placed() {
  for _ in $(seq 1 25); do
    client_at
    dx=$((ax - $1))
    dy=$((ay - $2))
    if [ "$dx" -ge 0 ] && [ "$dx" -le 64 ] && [ "$dy" -ge 0 ] && [ "$dy" -le 64 ] && shows_at "$ax" "$ay"; then
      return 0
    fi
    sleep 0.2
  done
  fail "the window's client area is at $ax,$ay on the screen, not by its stored place $1,$2"
}

# Clicks the title bar (X,Y) so that the window has the keyboard, then leaves
# by Brindlewatch > Exit.
close_by_menu() {
  seat mousemove "$1" "$2" click 1
  sleep 0.3
  seat key alt+b
  sleep 0.5
  seat key x
  wait_ended "the program did not end after Brindlewatch > Exit"
  pid=""
}

# Starts the program in folder $1 and waits for its window on XWayland,
# setting $pid and $window. Unlike start_program it says which way the start
# went wrong: a window that went to Wayland is a wrong choice of platform.
start_on_xwayland() {
  "$1/brindlewatch" &
  pid=$!
  window=""
  for _ in $(seq 1 100); do
    window=$(xdotool search --name "^${caption}\$" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before it showed a window"
    sleep 0.2
  done
  [ -n "$window" ] || fail "with QT_QPA_PLATFORM unset the program did not come up on XWayland ($xw)"
  sleep 0.5
}

# 1. A platform the user chose is kept, even in a session with XWayland.
prepare chosen '[Window]\r\nMainX=3000\r\nMainY=1500\r\n'
QT_QPA_PLATFORM=wayland "$work/brindlewatch" 2>"$work/stderr" &
pid=$!
for _ in $(seq 1 20); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
wayland_plugin=yes
if kill -0 "$pid" 2>/dev/null; then
  if xdotool search --name "^${caption}\$" >/dev/null 2>&1; then
    fail "with QT_QPA_PLATFORM=wayland the program still came up on XWayland"
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=""
  echo "ok: QT_QPA_PLATFORM=wayland runs on Wayland itself"
else
  wait "$pid" 2>/dev/null || true
  pid=""
  grep -q 'platform plugin "wayland"' "$work/stderr" || {
    cat "$work/stderr"
    fail "with QT_QPA_PLATFORM=wayland the program ended"
  }
  wayland_plugin=no
  echo "NOTE: Qt's Wayland plugin is not installed (qt6-wayland), so Qt would use XWayland by itself"
fi

# 2. With no choice made it comes up on XWayland, at its stored place; a
# move by the user is what the next start shows.
prepare place '[Window]\r\nMainX=3000\r\nMainY=1500\r\n'
start_on_xwayland "$work"
echo "ok: with QT_QPA_PLATFORM unset the window is on XWayland ($xw)"
[ "$wayland_plugin" = yes ] || echo "NOTE: that proves little without the Wayland plugin"
wait_placed 200 100
echo "ok: it shows at its stored place (client area at $ax,$ay; weston's frame adds $dx,$dy)"
frame_x=$dx
frame_y=$dy

# Drags the title bar as a user would, resting on it before the press.
from_x=$ax
from_y=$ay
seat mousemove $((from_x + 150)) $((from_y - dy / 2))
sleep 0.5
seat mousedown 1
sleep 0.3
for _ in $(seq 1 10); do
  seat mousemove_relative 10 8
  sleep 0.05
done
seat mouseup 1
# The compositor moves the window by the pointer's way from the press on, so
# a motion it took before the press counts for nothing: the place to expect
# is where the window came to rest.
moved=no
last=""
for _ in $(seq 1 25); do
  client_at
  if [ "$ax $ay" = "$last" ] && [ "$ax" -gt "$from_x" ] && [ "$ay" -gt "$from_y" ] && shows_at "$ax" "$ay"; then
    moved=yes
    break
  fi
  last="$ax $ay"
  sleep 0.2
done
[ "$moved" = yes ] || fail "dragging the title bar did not move the window (client area at $ax,$ay, was $from_x,$from_y)"
to_x=$((200 + ax - from_x))
to_y=$((100 + ay - from_y))
echo "ok: dragged to $to_x,$to_y"
close_by_menu $((ax + 150)) $((ay - dy / 2))
no_errors
x=$(pref MainX)
y=$(pref MainY)
if [ "$x" = $((to_x * 15)) ] && [ "$y" = $((to_y * 15)) ]; then
  echo "ok: prefs.ini holds the place it was moved to"
elif [ "$x" = 3000 ] && [ "$y" = 1500 ]; then
  # Weston's window manager moves the frame without the synthetic
  # ConfigureNotify other window managers send, so no X client learns its
  # new place; a compositor that sends it gets the check above.
  echo "NOTE: weston did not tell the program it was moved; prefs.ini keeps the place it started at"
else
  fail "prefs.ini holds MainX=$x MainY=$y, neither where the window was moved ($((to_x * 15)), $((to_y * 15))) nor where it started"
fi

# 3. Minimising with the tray mode on and a tray host on XWayland. A window
# that weston minimises must go to the tray; weston offers no minimise for
# X windows, and then the window must simply stay as it was.
prepare tray '[Window]\r\nMainX=4800\r\nMainY=2700\r\n[Prefs]\r\nMinimize=1\r\n'
trayer --edge top --align right --widthtype pixel --width 100 --height 24 --SetDockType true >/dev/null 2>&1 &
tray=$!
for _ in $(seq 1 25); do
  xwininfo -root -tree | grep -q '("panel" "trayer")' && break
  sleep 0.2
done
xwininfo -root -tree | grep -q '("panel" "trayer")' || fail "trayer did not come up on XWayland"
echo "ok: trayer runs on XWayland"
start_on_xwayland "$work"
wait_placed 320 180
if [ "$dx" != "$frame_x" ] || [ "$dy" != "$frame_y" ]; then
  fail "placed with weston's frame at $dx,$dy here but $frame_x,$frame_y before: not by the stored place"
fi
echo "ok: another stored place gives another place on the screen"
title_x=$((ax + 150))
title_y=$((ay - dy / 2))

xdotool windowminimize "$window"
seen=Normal
for _ in $(seq 1 15); do
  seen=$(state)
  [ "$seen" = Normal ] || break
  sleep 0.2
done
case "$seen" in
"")
  point_at_icon "the window was hidden but no icon is in the tray"
  xdotool click --repeat 2 --delay 120 1
  for _ in $(seq 1 50); do
    [ "$(state)" = Normal ] && break
    sleep 0.2
  done
  [ "$(state)" = Normal ] || fail "a double-click on the tray icon did not restore the window"
  echo "ok: minimised into the tray and restored from it"
  ;;
Normal)
  [ "$(xwininfo -id "$window" | sed -n 's/.*Map State: //p')" = IsViewable ] || fail "the window is no longer shown"
  if xwininfo -root -tree | grep '"brindlewatch": ("brindlewatch"' | grep -qv "$caption"; then
    fail "an icon went into the tray though the window was never minimised"
  fi
  echo "NOTE: weston ignored the request to minimise; the window stays shown and the tray is not used"
  ;;
*) fail "with a tray host the minimised window went to state '$seen' instead of being hidden" ;;
esac
close_by_menu "$title_x" "$title_y"
no_errors
if [ "$(pref MainX)" != 4800 ] || [ "$(pref MainY)" != 2700 ]; then
  fail "prefs.ini holds MainX=$(pref MainX) MainY=$(pref MainY) after a start at 4800, 2700"
fi
echo "ok: the place is kept"
echo "wayland: passed"
