#!/usr/bin/env bash
# Start-up of the real program with a large data folder, against the floor of
# an empty Qt window of the same size: time until the window is shown (median
# of several runs) and peak memory, under Xvfb with openbox.
# usage: bench/startup.sh BUILD_FOLDER [APPOINTMENTS] [TODOS] [RUNS] [RESULT_FILE]
# With 0 appointments and 0 to-dos the data folder has no record files at all.
# RESULT_FILE, when given, receives one line: program_ms floor_ms program_kib floor_kib.
set -euo pipefail
build=$(cd "$1" && pwd)
appointments=${2:-100000}
todos=${3:-10000}
runs=${4:-7}
result=${5:-/dev/null}
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app/data"
cp "$build/brindlewatch" "$work/app/"
cp "$here/../data/"{logo.gif,category.txt,template_page.txt,template_item.txt} "$work/app/data/"
mkdir -p "$work/seed"
if ((appointments > 0 || todos > 0)); then
  "$build/bench/make_data" "$work/seed" "$appointments" "$todos"
fi

xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/startup-session.sh" "$work" "$build/bench/empty_window" "$runs" "$result"
