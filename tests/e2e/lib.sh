# Shared steps of the end-to-end sessions; source it inside Xvfb.
caption="Kestrix Brindlewatch v0.31"

# Starts the program in folder $1 and sets $pid and $window.
start_program() {
  "$1/brindlewatch" &
  pid=$!
  window=""
  for _ in $(seq 1 150); do
    window=$(xdotool search --name "^${caption}\$" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || fail "no window titled '$caption'"
  sleep 0.5
}

fail() {
  echo "FAIL: $*"
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  exit 1
}

# Closes the window as a user would, by the close box (Alt+F4) or with
# "menu" through Brindlewatch > Exit, and waits for the program to end cleanly.
close_program() {
  if [ "${1:-}" = menu ]; then
    xdotool windowactivate --sync "$window" key alt+b
    sleep 0.5
    xdotool key x
  else
    xdotool windowactivate --sync "$window" key alt+F4
  fi
  wait_ended "the program did not end after its window was closed"
}

# Waits up to 15 s for the program to end with status 0; fails with $1 if it runs on.
wait_ended() {
  for _ in $(seq 1 75); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  kill -0 "$pid" 2>/dev/null && fail "$1"
  wait "$pid" || fail "the program ended with status $?"
}

# The window manager's state of $window: Normal, Iconic (on the taskbar,
# minimised) or none (hidden).
state() { xprop -id "$window" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }

# Points the mouse at the program's icon in the tray; fails with $1 when no
# icon shows there.
point_at_icon() {
  local icon=""
  for _ in $(seq 1 25); do
    icon=$(xwininfo -root -tree | grep '"brindlewatch": ("brindlewatch"' | grep -v "$caption" | head -n 1 || true)
    [ -n "$icon" ] && break
    sleep 0.2
  done
  [ -n "$icon" ] || fail "${1:-no icon in the tray}"
  # The icon's size and its place on the screen: "22x22+77+1  +1001+1".
  read -r w h x y < <(echo "$icon" | sed -E 's/.* ([0-9]+)x([0-9]+)[+-][0-9]+[+-][0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4/')
  xdotool mousemove $((x + w / 2)) $((y + h / 2))
  sleep 0.3
}
