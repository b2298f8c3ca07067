#!/usr/bin/env bash
# Hostile inputs against the real command-line tool. For each case: the exit
# status, exactly one line on standard error matching what went wrong, the
# data folder's files unchanged (unless the case says what changes), and an
# end within a generous bound. Large inputs are generated here, each bounded
# in size, so nothing big is committed.
# usage: run.sh BRINDLEWATCH-CLI [plain|sanitized]
set -uo pipefail
cli=$1
build=${2:-plain}
here=$(cd "$(dirname "$0")" && pwd)
bound=${HOSTILE_BOUND:-60} # seconds; the slowest case takes well under 2 on the build machine
runner=() # what the tool runs under
passed=0
failed=0
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

fingerprint() { # the data folder's files and links: content, or size and time for huge ones
  (cd "$1" && find . -mindepth 1 \( -type f -o -type l \) -printf '%y %p %l %s %T@\n' | sort &&
    find . -type f -size -64M -print0 | sort -z | xargs -0r sha256sum)
}

# check NAME STATUS REGEX [unchanged|changed] -- ARGS...: runs the tool on $data.
check() {
  local name=$1 status=$2 regex=$3 files=$4
  shift 5
  local before after got
  before=$(fingerprint "$data")
  timeout -s KILL "$bound" "${runner[@]}" "$cli" --data "$data" "$@" </dev/null >"$root/out" 2>"$root/err"
  got=$?
  after=$(fingerprint "$data")
  local why=""
  [ "$got" = 137 ] && why="did not end within ${bound}s"
  [ -z "$why" ] && [ "$got" != "$status" ] && why="exit status $got, not $status"
  if [ "$status" = 0 ]; then
    [ -z "$why" ] && [ -s "$root/err" ] && why="a message on standard error"
  else
    [ -z "$why" ] && [ "$(wc -l <"$root/err")" != 1 ] && why="$(wc -l <"$root/err") lines on standard error"
    [ -z "$why" ] && ! grep -Eq -- "$regex" "$root/err" && why="message does not match /$regex/"
  fi
  [ -z "$why" ] && [ "$files" = unchanged ] && [ "$before" != "$after" ] && why="the data folder changed"
  if [ -z "$why" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name: $why"
    head -c 600 "$root/err" | sed 's/^/  stderr: /'
  fi
}

fresh() { # a data folder with two appointments and one to-do item
  data="$root/$1/data"
  mkdir -p "$data"
  "$cli" --data "$data" import "$here/../interop/sample.ics" >/dev/null 2>&1 || true
}

calendar() { # FILE, then the lines between BEGIN:VCALENDAR and END:VCALENDAR on stdin
  { printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//hostile//EN\r\n'; cat; printf 'END:VCALENDAR\r\n'; } >"$1"
}

# 1. Export to devices and links to them. The nodes are our own (the null and
# full devices made afresh), so a tool that replaced them harms nothing.
fresh export-devices
if mknod "$root/null" c 1 3 && mknod "$root/full" c 1 7; then
  ln -s "$root/null" "$root/null-link"
  check "export to a link to a null device" 0 "." unchanged -- export "$root/null-link"
  if [ -c "$root/null" ] && [ -L "$root/null-link" ]; then passed=$((passed + 1)); else
    echo "FAIL: the null device or the link to it was replaced"; failed=$((failed + 1)); fi
  check "export to a full device" 4 "[Dd]isk full" unchanged -- export "$root/full"
else
  echo "SKIP: no device nodes can be made here"
fi
check "export to a folder" 4 "." unchanged -- export "$root"

# 2. Export onto the program's own files.
fresh export-own
check "export onto appointments.cal" 2 "appointments.cal" unchanged -- export "$data/appointments.cal"
check "export onto a backup by another spelling" 2 "." unchanged -- export "$data/../data/./todos.cal"

# 3. A time zone whose observances repeat every hour since 1601.
fresh hourly-zone
calendar "$root/hourly.ics" <<'ICS'
BEGIN:VTIMEZONE
TZID:Hourly
BEGIN:STANDARD
DTSTART:16010101T000000
RRULE:FREQ=HOURLY
TZOFFSETFROM:+0100
TZOFFSETTO:+0000
END:STANDARD
END:VTIMEZONE
BEGIN:VEVENT
UID:h@hostile
DTSTAMP:20261201T000000Z
DTSTART;TZID=Hourly:20261207T100000
SUMMARY:Hourly
END:VEVENT
ICS
check "an hourly time zone" 2 "Hourly" unchanged -- import "$root/hourly.ics"

# 4. Components nested 400,000 deep.
fresh nesting
{
  printf 'BEGIN:VEVENT\r\nUID:n@hostile\r\nDTSTART:20261207T100000\r\n'
  yes $'BEGIN:X-A\r' | head -n 400000
  yes $'END:X-A\r' | head -n 400000
  printf 'END:VEVENT\r\n'
} | calendar "$root/nested.ics"
check "deep nesting" 2 "." unchanged -- import "$root/nested.ics"

# 5. One 8 MB line, and one folded over 22 MB.
fresh long-lines
{
  printf 'BEGIN:VEVENT\r\nUID:l@hostile\r\nDTSTART:20261207T100000\r\nSUMMARY:'
  head -c 8000000 /dev/zero | tr '\0' 'a'
  printf '\r\nEND:VEVENT\r\n'
} | calendar "$root/long.ics"
check "an 8 MB line" 2 "." unchanged -- import "$root/long.ics"
{
  printf 'BEGIN:VEVENT\r\nUID:f@hostile\r\nDTSTART:20261207T100000\r\nDESCRIPTION:'
  yes "$(printf '%.0sb' $(seq 1 72))"$'\r\n ' | head -n 300000 | tr -d '\n' | sed 's/\r /\r\n /g'
  printf '\r\nEND:VEVENT\r\n'
} | calendar "$root/folded.ics"
check "a 22 MB folded line" 2 "." unchanged -- import "$root/folded.ics"

# 6. Special files in the record files' places.
for command in todo check search export backups; do
  fresh "fifo-$command"
  mkfifo "$data/todos.bak"
  rm -f "$data/todos.cal" && mkfifo "$data/todos.cal"
  case $command in
  search) args=(search milk) ;;
  export) args=(export "$root/fifo-$command/out.ics") ;;
  *) args=("$command") ;;
  esac
  check "a FIFO as todos.cal ($command)" 4 "todos\\.(cal|bak)" unchanged -- "${args[@]}"
done
fresh fifo-import
rm -f "$data/todos.cal" && mkfifo "$data/todos.cal"
check "a FIFO as todos.cal (import)" 4 "todos\\.cal" unchanged -- import "$here/../interop/sample.ics"
fresh folder-record
rm -f "$data/appointments.cal" && mkdir "$data/appointments.cal"
check "a folder named appointments.cal" 4 "appointments\\.cal" unchanged -- agenda 2026-12-07

# 7. A record file that links outside the folder.
fresh symlinked
mv "$data/appointments.cal" "$root/symlinked/elsewhere.cal"
ln -s "$root/symlinked/elsewhere.cal" "$data/appointments.cal"
outside=$(sha256sum "$root/symlinked/elsewhere.cal")
check "import through a linked appointments.cal" 4 "appointments\\.cal" unchanged -- import "$here/../interop/sample.ics"
[ "$(sha256sum "$root/symlinked/elsewhere.cal")" = "$outside" ] || { echo "FAIL: the link's target was written"; failed=$((failed + 1)); }
fresh dangling
rm -f "$data/appointments.cal" && ln -s "$root/dangling/nowhere.cal" "$data/appointments.cal"
check "import through a dangling link" 4 "appointments\\.cal" unchanged -- import "$here/../interop/sample.ics"
[ ! -e "$root/dangling/nowhere.cal" ] || { echo "FAIL: the dangling link's target was created"; failed=$((failed + 1)); }

# 8. A 1 GB record file under a memory limit: one line and status 4, never an abort.
fresh huge
truncate -s 1G "$data/appointments.cal"
printf '0000001' | dd of="$data/appointments.cal" conv=notrunc status=none
# Address space for the program and its libraries, not for the file. A
# sanitized build reserves far more address space than that for itself, and
# without the limit the file is simply read and reported as damaged.
if [ "$build" = plain ]; then
  runner=(bash -c 'ulimit -v 1048576 && exec "$@"' limited)
  for command in agenda check; do
    check "a 1 GB appointments.cal ($command)" 4 "appointments\\.cal" unchanged -- "$command"
  done
  runner=()
else
  echo "SKIP: a 1 GB appointments.cal under a memory limit (sanitized build)"
fi

# A record file larger than the format can hold is damaged without a read.
fresh beyond
truncate -s 2000G "$data/appointments.cal"
printf '0000001' | dd of="$data/appointments.cal" conv=notrunc status=none
check "a 2 TB appointments.cal" 4 "appointments\\.cal" unchanged -- agenda

# 9. A 10 MB prefs.ini of short lines.
fresh prefs
{ printf '[Prefs]\r\n'; seq 1 1000000 | sed 's/.*/K&=1\r/'; } >"$data/prefs.ini"
check "a 10 MB prefs.ini" 0 "." unchanged -- check

# 11. Mixed line endings: never a component dropped without a word.
fresh mixed
printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//hostile//EN\r\nBEGIN:VEVENT\r\nUID:1@h\r\nDTSTART:20261207T090000\r\nSUMMARY:One\r\nEND:VEVENT\r\nBEGIN:VEVENT\rUID:2@h\rDTSTART:20261207T100000\rSUMMARY:Two\rEND:VEVENT\rBEGIN:VEVENT\r\nUID:3@h\r\nDTSTART:20261207T110000\r\nSUMMARY:Three\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' >"$root/mixed.ics"
timeout "$bound" "$cli" --data "$data" import "$root/mixed.ics" >"$root/out" 2>"$root/err"
agenda=$(timeout "$bound" "$cli" --data "$data" agenda 2026-12-07 2>/dev/null)
if grep -q Two <<<"$agenda" && grep -q Three <<<"$agenda"; then passed=$((passed + 1)); else
  echo "FAIL: mixed line endings: an event was dropped"; cat "$root/err"; failed=$((failed + 1)); fi

# 15. Messages that say what happened.
fresh messages
check "export to an empty name" 2 "." unchanged -- export ""
calendar "$root/cut.ics" </dev/null
head -c 60 "$root/cut.ics" >"$root/truncated.ics"
check "a calendar cut short" 2 "." unchanged -- import "$root/truncated.ics"
mkfifo "$root/pipe.ics"
check "a FIFO passed to import" 2 "not a (regular )?file" unchanged -- import "$root/pipe.ics"
check "a folder passed to import" 2 "not a (regular )?file|folder" unchanged -- import "$root"
before=$(fingerprint "$data")
timeout "$bound" "$cli" --data "" agenda >"$root/out" 2>"$root/err"
got=$?
if [ "$got" = 2 ] && [ "$(wc -l <"$root/err")" = 1 ]; then passed=$((passed + 1)); else
  echo "FAIL: --data \"\": exit $got"; cat "$root/err"; failed=$((failed + 1)); fi

echo "hostile: $passed passed, $failed failed"
[ "$failed" = 0 ]
