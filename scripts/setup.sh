#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine, run as root:
#   scripts/setup.sh run    installs what is missing, builds, starts Brindlewatch
#   scripts/setup.sh test   installs what is missing, builds, runs every test
#                           (plain build, then again under ASan and UBSan,
#                           then a short run of each fuzz target)
#   scripts/setup.sh bench  builds and runs the benchmarks and the start-up measurement
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

packages=(g++ cmake ninja-build pkg-config qt6-base-dev libical-dev fonts-dejavu-core fonts-dejavu-extra fonts-liberation)
test_packages=(xvfb xauth openbox xdotool x11-utils tidy trayer clang libclang-rt-14-dev python3 python3-icalendar
  radicale xandikos python3-requests libsecret-tools gnome-keyring dbus-daemon openssl
  locales tzdata clang-format
  lintian desktop-file-utils appstream systemd man-db dpkg-dev file bash-completion
  weston xwayland qt6-wayland imagemagick)
# The locales the suite's matrix of users' worlds runs in.
test_locales=(en_US.UTF-8 en_GB.UTF-8 de_DE.UTF-8 sv_SE.UTF-8 ar_EG.UTF-8 ja_JP.UTF-8)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

generate_locales() {
  local missing=0
  for l in "${test_locales[@]}"; do
    local short=${l%.UTF-8}
    locale -a 2>/dev/null | grep -qix "${short}.utf8" && continue
    sed -i "s/^# *\(${l} UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" >> /etc/locale.gen
    missing=1
  done
  if ((missing)); then locale-gen; fi
}

# The folders, options and test environments live in CMakePresets.json, so
# that a build by hand with the same preset name is the build this script makes.
build() { # preset
  cmake --preset "$1"
  cmake --build --preset "$1"
}

case "${1:-}" in
run)
  install_missing "${packages[@]}"
  build run
  exec ./build/brindlewatch
  ;;
test)
  install_missing "${packages[@]}" "${test_packages[@]}"
  generate_locales
  # Formatting first: it takes a second, and the builds take minutes.
  bash scripts/check-format.sh
  # Every preset gives every option the suite needs, so a folder configured
  # otherwise before (by "run", say, with testing off) is put right, and every
  # test preset fails a run that finds no tests.
  build dev
  ctest --preset dev
  # The test preset holds the sanitizers' options, so that a run by hand with
  # it stops at the same first error and knows the same leaks to ignore.
  build asan
  ctest --preset asan
  # The store's fuzz targets, each for a bounded time on the committed corpus.
  build fuzz
  ctest --preset fuzz
  ;;
bench)
  # Not part of the test suite: measurements take minutes and want a quiet machine.
  install_missing "${packages[@]}" libbenchmark-dev xvfb xauth openbox xdotool python3 radicale xandikos \
    python3-requests git
  build bench
  ./build-bench/bench/bench_store --benchmark_min_time=0.2 \
    --benchmark_out=build-bench/bench.json --benchmark_out_format=json
  bash bench/startup.sh build-bench 100000 10000 7 build-bench/startup-full.txt
  bash bench/startup.sh build-bench 0 0 7 build-bench/startup-empty.txt
  bash bench/cli.sh build-bench 100000 10000 11
  python3 bench/targets.py build-bench/bench.json build-bench/startup-full.txt build-bench/startup-empty.txt
  # Sync, against both servers on loopback; Xandikos at 2,000 entries, as
  # its first sync of 10,000 runs for many minutes.
  bash bench/sync.sh build-bench 10000 radicale
  bash bench/sync.sh build-bench 2000 xandikos
  ;;
*)
  echo "usage: $0 run|test|bench" >&2
  exit 2
  ;;
esac
