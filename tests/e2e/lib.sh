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
