#!/usr/bin/env bash
# brindlewatch-cli from start to exit on a large data folder: `agenda` for one
# day and `export` of everything, median of several runs.
# usage: bench/cli.sh BUILD_FOLDER [APPOINTMENTS] [TODOS] [RUNS]
set -euo pipefail
build=$(cd "$1" && pwd)
appointments=${2:-100000}
todos=${3:-10000}
runs=${4:-11}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_data" "$work/data" "$appointments" "$todos"
cli="$build/brindlewatch-cli"

# Median wall-clock milliseconds of a command run $runs times.
median() {
  local times=()
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f ms\n", a[int((NR+1)/2)]/1000}'
}

"$cli" --data "$work/data" agenda 2016-06-01 >/dev/null # warm the page cache
echo "agenda, one day, $appointments appointments: $(median "$cli" --data "$work/data" agenda 2016-06-01)"
echo "export, $appointments appointments and $todos to-do items: $(median "$cli" --data "$work/data" export "$work/all.ics")"
