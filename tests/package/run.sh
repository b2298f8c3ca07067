#!/usr/bin/env bash
# Builds the Debian package of BUILD_DIR, runs Debian's validators and lintian
# on it, unpacks it into a scratch root and uses it there as a user with no
# data yet would: the window under Xvfb adds a to-do item, the tool lists it,
# and the reminder script of the systemd timer announces an appointment.
# Everything it makes lives in one temporary folder, removed at the end.
# usage: run.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# For a failure that leaves nothing further to check.
give_up() {
  echo "FAIL: $*"
  echo "package: stopped after $((failures + 1)) failure(s)"
  exit 1
}
step() { echo "--- $*"; }

for tool in cpack dpkg-deb lintian desktop-file-validate appstreamcli systemd-analyze man xvfb-run openbox xdotool xprop; do
  command -v "$tool" >/dev/null || give_up "$tool is not installed (scripts/setup.sh test installs it)"
done
[ -r /usr/share/bash-completion/bash_completion ] || give_up "bash-completion is not installed"

step "cpack -G DEB"
[ -r "$build/CPackConfig.cmake" ] || give_up "$build has no CPackConfig.cmake; configure it first"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$work/pkg/brindlewatch_${version}_$(dpkg --print-architecture).deb"
# The package and cpack's staging go to the scratch folder, not the build's.
if ! (cd "$build" && timeout 600 cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log"
  give_up "cpack failed"
fi
[ -f "$deb" ] || give_up "cpack made no $(basename "$deb"): $(ls "$work/pkg")"

step "control fields"
control=$(dpkg-deb -f "$deb")
for field in Package Version Architecture Maintainer Section Priority Description Depends Recommends Homepage; do
  grep -q "^$field: ." <<<"$control" || fail "the control file has no $field"
done
grep -q '^Recommends:.*libnotify-bin' <<<"$control" || fail "libnotify-bin is not recommended"
grep -q '^Depends:.*libqt6widgets6' <<<"$control" || fail "dpkg-shlibdeps found no Qt dependency: $(grep '^Depends' <<<"$control")"
grep -q '^Depends:.*libical3' <<<"$control" || fail "dpkg-shlibdeps found no libical dependency"

step "lintian"
lintian_status=0
timeout 300 lintian --display-info --pedantic --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$work/lintian.txt" || true
if [ "$lintian_status" != 0 ]; then
  fail "lintian ended with status $lintian_status (errors above)"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root" || give_up "dpkg-deb -x could not unpack the package"

step "files"
app_id=example.kestrix.brindlewatch
desktop="$root/usr/share/applications/$app_id.desktop"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
for f in usr/bin/brindlewatch usr/bin/brindlewatch-cli usr/libexec/brindlewatch/brindlewatch-remind; do
  [ -x "$root/$f" ] || fail "/$f is missing or not executable"
done
for f in logo.gif template_page.txt template_item.txt category.txt "Read Me.txt"; do
  cmp -s "$root/usr/share/brindlewatch/$f" "$source_dir/data/$f" || fail "/usr/share/brindlewatch/$f is missing or not the shipped file"
done
for f in "${desktop#"$root"/}" "${metainfo#"$root"/}" usr/share/man/man1/brindlewatch.1.gz usr/share/man/man1/brindlewatch-cli.1.gz \
  usr/share/bash-completion/completions/brindlewatch-cli usr/lib/systemd/user/brindlewatch-reminders.service \
  usr/lib/systemd/user/brindlewatch-reminders.timer usr/lib/systemd/user/brindlewatch-sync.service \
  usr/lib/systemd/user/brindlewatch-sync.timer usr/share/doc/brindlewatch/copyright \
  usr/share/doc/brindlewatch/changelog.gz usr/share/icons/hicolor/scalable/apps/brindlewatch.svg; do
  [ -f "$root/$f" ] || fail "/$f is missing"
done
# A PNG's width and height are the big-endian words at bytes 16 and 20.
for size in 16 22 24 32 48 64 128 256; do
  icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/brindlewatch.png"
  if [ ! -f "$icon" ]; then
    fail "no ${size}x${size} icon"
    continue
  fi
  read -r w h < <(od -An -tu1 -j16 -N8 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w $h" = "$size $size" ] || fail "the ${size}x${size} icon is ${w}x${h}"
done
grep -q '^StartupWMClass=brindlewatch$' "$desktop" || fail "the desktop entry's StartupWMClass is not brindlewatch"
grep -q '^Categories=Office;Calendar;ProjectManagement;$' "$desktop" || fail "the desktop entry's categories are not Office;Calendar;ProjectManagement;"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

step "desktop-file-validate"
desktop-file-validate "$desktop" || fail "desktop-file-validate found problems in the desktop entry"

step "appstreamcli validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli found problems in the metainfo"
appstreamcli validate-tree --no-net "$root" >"$work/tree.txt" 2>&1 || {
  cat "$work/tree.txt"
  fail "appstreamcli validate-tree found problems in the installed tree"
}

step "systemd-analyze verify"
# It wants the service's program to exist where the unit says, and the
# unpacked package is not installed, so the check reads copies of the units
# that point into the scratch root; the documentation is found there too.
mkdir -p "$work/units" "$work/runtime"
chmod 700 "$work/runtime"
cp "$root"/usr/lib/systemd/user/brindlewatch-reminders.* "$work/units/"
sed -i "s#^ExecStart=/#ExecStart=$root/#" "$work/units/brindlewatch-reminders.service"
XDG_RUNTIME_DIR="$work/runtime" MANPATH="$root/usr/share/man" \
  systemd-analyze --user verify "$work/units/brindlewatch-reminders.service" "$work/units/brindlewatch-reminders.timer" \
  >"$work/verify.txt" 2>&1 || fail "systemd-analyze verify rejected the units"
if [ -s "$work/verify.txt" ]; then
  cat "$work/verify.txt"
  fail "systemd-analyze verify reported problems"
fi
grep -qx 'Type=oneshot' "$root/usr/lib/systemd/user/brindlewatch-reminders.service" || fail "the service is not Type=oneshot"
grep -qx 'WantedBy=timers.target' "$root/usr/lib/systemd/user/brindlewatch-reminders.timer" || fail "the timer is not wanted by timers.target"
# The sync timer's units, checked the same way.
cp "$root"/usr/lib/systemd/user/brindlewatch-sync.* "$work/units/"
sed -i "s#^ExecStart=/#ExecStart=$root/#" "$work/units/brindlewatch-sync.service"
XDG_RUNTIME_DIR="$work/runtime" MANPATH="$root/usr/share/man" \
  systemd-analyze --user verify "$work/units/brindlewatch-sync.service" "$work/units/brindlewatch-sync.timer" \
  >"$work/verify-sync.txt" 2>&1 || fail "systemd-analyze verify rejected the sync units"
if [ -s "$work/verify-sync.txt" ]; then
  cat "$work/verify-sync.txt"
  fail "systemd-analyze verify reported problems in the sync units"
fi
sync_service="$root/usr/lib/systemd/user/brindlewatch-sync.service"
grep -qx 'Type=oneshot' "$sync_service" || fail "the sync service is not Type=oneshot"
grep -qx 'ExecStart=/usr/bin/brindlewatch-cli sync' "$sync_service" ||
  fail "the sync service does not run the installed tool: $(grep '^ExecStart' "$sync_service")"
# The unit must start without the file, which a user with a Secret Service never writes.
grep -qx 'EnvironmentFile=-%E/brindlewatch/sync.env' "$sync_service" || fail "the sync service has no optional sync.env"
grep -qx 'WantedBy=timers.target' "$root/usr/lib/systemd/user/brindlewatch-sync.timer" || fail "the sync timer is not wanted by timers.target"

step "man --warnings"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

step "bash completion"
# The completion is read from the unpacked package, which shellcheck cannot follow.
# shellcheck disable=SC1091
completion=$(
  . /usr/share/bash-completion/bash_completion
  . "$root/usr/share/bash-completion/completions/brindlewatch-cli"
  complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _brindlewatch_cli brindlewatch-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
    echo "${COMPREPLY[*]}"
  }
  complete_words brindlewatch-cli up
  complete_words brindlewatch-cli --data /tmp ag
  complete_words brindlewatch-cli upcoming --w
  complete_words brindlewatch-cli restore --
  complete_words brindlewatch-cli sync --s
)
[ "$completion" = $'upcoming\nagenda\n--within\n--yes\n--setup' ] || fail "bash completion offered: $(echo "$completion" | paste -sd '|')"

# The user: a home of their own with no data yet, and XDG_DATA_HOME unset, so
# the installed copy keeps its data in ~/.local/share/brindlewatch.
home="$work/home"
mkdir -p "$home" "$work/xdg-runtime"
chmod 700 "$work/xdg-runtime"
as_user() { env -u XDG_DATA_HOME HOME="$home" XDG_RUNTIME_DIR="$work/xdg-runtime" "$@"; }
data="$home/.local/share/brindlewatch"
title="Renew the parking permit $$"

step "the window, as a first-time user"
session_status=0
as_user timeout --kill-after=10 150 xvfb-run -a -s "-screen 0 1024x768x24" \
  bash "$here/session.sh" "$root" "$title" || session_status=$?
[ "$session_status" = 0 ] || fail "the window's session ended with status $session_status"

if [ ! -d "$data" ]; then
  fail "the window made no data folder $data"
else
  for f in logo.gif template_page.txt template_item.txt category.txt; do
    cmp -s "$data/$f" "$root/usr/share/brindlewatch/$f" || fail "$data/$f is missing or not the package's copy"
  done
  [ -f "$data/todos.cal" ] || fail "the window wrote no todos.cal in $data"
  if [ -e "$data/ErrorLog.txt" ]; then
    fail "the window reported errors: $(cat "$data/ErrorLog.txt")"
  fi
fi
[ -e "$root/usr/bin/data" ] && fail "the installed copy made a data folder beside its executable"

step "the tool, as the same user"
todo=$(as_user timeout 30 "$root/usr/bin/brindlewatch-cli" todo 2>&1)
status=$?
[ "$status" = 0 ] || fail "brindlewatch-cli todo ended with status $status: $todo"
grep -qF "$title" <<<"$todo" || fail "brindlewatch-cli todo does not list the item the window added; it printed: $todo"

step "the reminder"
mkdir -p "$work/fake-bin"
cat >"$work/fake-bin/notify-send" <<EOF
#!/bin/sh
printf '%s\n' "\$@" > "$work/notified"
EOF
chmod +x "$work/fake-bin/notify-send"
# shellcheck disable=SC2031 # PATH here is an argument of env, for the script alone
remind() { as_user PATH="$work/fake-bin:$PATH" timeout 30 "$root/usr/libexec/brindlewatch/brindlewatch-remind"; }
remind || fail "the reminder script failed with nothing due (status $?)"
[ -e "$work/notified" ] && fail "the reminder script notified with nothing due: $(cat "$work/notified")"
# An appointment of the current minute; a minute about to end is waited out,
# so that the import and the reminder see the same one.
[ "$(date +%S)" -lt 50 ] || sleep $((61 - 10#$(date +%S)))
start=$(date +%Y%m%dT%H%M00)
finish=$(date -d '+30 minutes' +%Y%m%dT%H%M00)
printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Brindlewatch tests//EN\r\nBEGIN:VEVENT\r\nUID:package-check@brindlewatch\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:%s\r\nDTEND:%s\r\nSUMMARY:Dentist %s\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' \
  "$start" "$finish" "$$" >"$work/now.ics"
as_user timeout 30 "$root/usr/bin/brindlewatch-cli" import "$work/now.ics" >/dev/null || fail "brindlewatch-cli import failed (status $?)"
remind || fail "the reminder script failed with an appointment due (status $?)"
if [ ! -e "$work/notified" ]; then
  fail "the reminder script did not call notify-send for an appointment starting now"
else
  grep -qF "Dentist $$" "$work/notified" || fail "the notification does not name the appointment: $(paste -sd '|' "$work/notified")"
fi

if [ "$failures" != 0 ]; then
  echo "package: $failures failure(s)"
  exit 1
fi
echo "package: all checks passed"
