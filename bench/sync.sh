#!/usr/bin/env bash
# Times brindlewatch-cli sync against Radicale and Xandikos on loopback:
#   bench/sync.sh BUILD [ENTRIES] [SERVERS]     SERVERS: "radicale xandikos" by default
# - a first sync that brings ENTRIES entries (half events, half to-dos) from
#   the server into an empty data folder; the server's collection is written
#   straight into its storage folder beforehand, which no client could do
#   faster;
# - a sync with nothing to do against that collection (median of 7), and the
#   requests it made, counted by the tool's own trace of them;
# - a first sync that sends 1,000 local entries to an empty collection.
set -euo pipefail
build=${1:?build folder}
entries=${2:-10000}
servers=${3:-radicale xandikos}
cli=$(cd "$build" && pwd)/brindlewatch-cli
py=/usr/bin/python3
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

port() { $py -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 100); do (echo >/dev/tcp/127.0.0.1/"$1") 2>/dev/null && return 0; sleep 0.1; done; return 1; }

# ENTRIES calendar objects in FOLDER, as files named NAME-i.ics.
make_entries() {
  $py - "$1" "$2" <<'PY'
import os, sys
folder, n = sys.argv[1], int(sys.argv[2])
os.makedirs(folder, exist_ok=True)
for i in range(n):
    if i % 2:
        body = ("BEGIN:VEVENT\r\nUID:e%d@bench\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:2027%02d%02dT%02d0000\r\n"
                "DTEND:2027%02d%02dT%02d3000\r\nSUMMARY:Meeting %d\r\nDESCRIPTION:Room %d\\, floor 2\r\nEND:VEVENT\r\n"
                % (i, 1 + i % 12, 1 + i % 28, 8 + i % 10, 1 + i % 12, 1 + i % 28, 8 + i % 10, i, i % 40))
    else:
        body = ("BEGIN:VTODO\r\nUID:t%d@bench\r\nDTSTAMP:20261201T000000Z\r\nSUMMARY:Task %d\r\nSTATUS:%s\r\n"
                "END:VTODO\r\n" % (i, i, "COMPLETED" if i % 3 == 0 else "NEEDS-ACTION"))
    with open(os.path.join(folder, "entry-%d.ics" % i), "w", newline="") as f:
        f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//EN\r\n" + body + "END:VCALENDAR\r\n")
PY
}

data_for() {
  mkdir -p "$work/$1"
  printf '[Sync]\r\nAppointmentsURL=%s\r\nToDosURL=%s\r\nUser=%s\r\n' "$2" "$2" "$3" >"$work/$1/prefs.ini"
  echo "$work/$1"
}

ms() { local s e; s=$(date +%s%N); "$@" >/dev/null; e=$(date +%s%N); echo $(((e - s) / 1000000)); }

# The median of 7 runs: wall ms, then the tool's own CPU ms (user + system).
median_noop() {
  local data=$1 runs=() TIMEFORMAT='%R %U %S' t
  for _ in 1 2 3 4 5 6 7; do
    t=$({ time "$cli" --data "$data" sync >/dev/null; } 2>&1)
    runs+=("$(awk '{printf "%d %d", $1 * 1000, ($2 + $3) * 1000}' <<<"$t")")
  done
  printf '%s\n' "${runs[@]}" | sort -n | sed -n 4p
}

# Radicale: the collection written into its storage folder.
rport=$(port)
rstore=$work/radicale
mkdir -p "$rstore/collection-root/ann/big" "$rstore/collection-root/ann/up"
for c in big up; do
  printf '{"C:supported-calendar-component-set": "VEVENT,VTODO", "tag": "VCALENDAR"}' >"$rstore/collection-root/ann/$c/.Radicale.props"
done
make_entries "$rstore/collection-root/ann/big" "$entries"
radicale -C "" --server-hosts "127.0.0.1:$rport" --auth-type none --rights-type authenticated \
  --storage-filesystem-folder "$rstore" >"$work/radicale.log" 2>&1 &
pids+=($!)
wait_port "$rport"

# Xandikos: the collection committed to its git repository.
xport=$(port)
xstore=$work/xandikos
xandikos -d "$xstore" --defaults -l 127.0.0.1 -p "$xport" >"$work/xandikos.log" 2>&1 &
pids+=($!)
wait_port "$xport"
$py "$(dirname "$0")/../tests/sync/dav.py" mkcalendar "http://127.0.0.1:$xport/user/calendars/big/" "" Big VEVENT,VTODO
$py "$(dirname "$0")/../tests/sync/dav.py" mkcalendar "http://127.0.0.1:$xport/user/calendars/up/" "" Up VEVENT,VTODO
make_entries "$xstore/user/calendars/big" "$entries"
git -C "$xstore/user/calendars/big" add -A >/dev/null
git -C "$xstore/user/calendars/big" -c user.name=bench -c user.email=bench@localhost commit -qm entries

export BRINDLEWATCH_PASSWORD=
for server in $servers; do
  if [ "$server" = radicale ]; then
    base="http://127.0.0.1:$rport/ann"; user=ann
  else
    base="http://127.0.0.1:$xport/user/calendars"; user=
  fi
  down=$(data_for "$server-down" "$base/big/" "$user")
  first=$(ms "$cli" --data "$down" sync)
  read -r noop noopcpu < <(median_noop "$down")
  requests=$(BRINDLEWATCH_SYNC_TRACE=1 "$cli" --data "$down" sync 2>&1 >/dev/null | grep -c '^sync: request' || true)
  up=$(data_for "$server-up" "$base/up/" "$user")
  $py - "$up" <<'PY'
import sys
lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Bench//EN"]
for i in range(1000):
    if i % 2:
        lines += ["BEGIN:VEVENT", "UID:u%d" % i, "DTSTAMP:20261201T000000Z", "DTSTART:20270105T%02d0000" % (8 + i % 10),
                  "DTEND:20270105T%02d3000" % (8 + i % 10), "SUMMARY:Local meeting %d" % i, "END:VEVENT"]
    else:
        lines += ["BEGIN:VTODO", "UID:u%d" % i, "DTSTAMP:20261201T000000Z", "SUMMARY:Local task %d" % i, "END:VTODO"]
lines.append("END:VCALENDAR")
open(sys.argv[1] + "/local.ics", "w").write("\r\n".join(lines) + "\r\n")
PY
  mv "$up/local.ics" "$work/local-$server.ics"
  "$cli" --data "$up" import "$work/local-$server.ics" >/dev/null
  upload=$(ms "$cli" --data "$up" sync)
  echo "$server: first sync of $entries entries from the server: $first ms; a sync with nothing to do: $noop ms (median of 7; the tool's CPU $noopcpu ms), $requests request(s); first sync sending 1,000 entries: $upload ms"
done
