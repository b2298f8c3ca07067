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
  locales tzdata)
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

build() { # folder, extra cmake arguments...
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j2
}

case "${1:-}" in
run)
  install_missing "${packages[@]}"
  build build -DBUILD_TESTING=OFF -DBW_SANITIZE=OFF -DBW_FUZZ=OFF
  exec ./build/brindlewatch
  ;;
test)
  install_missing "${packages[@]}" "${test_packages[@]}"
  generate_locales
  # Every option the suite needs is given, so a folder configured otherwise
  # before (by "run", say, with testing off) is put right, and a run that
  # finds no tests fails.
  build build -DBUILD_TESTING=ON -DBW_SANITIZE=OFF -DBW_FUZZ=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  ctest --test-dir build --output-on-failure --no-tests=error -j2
  build build-sanitize -DBUILD_TESTING=ON -DBW_SANITIZE=ON -DBW_FUZZ=OFF -DCMAKE_BUILD_TYPE=Debug
  ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions="$here/tests/lsan.supp" \
    ctest --test-dir build-sanitize --output-on-failure --no-tests=error -LE world -j2
  # The store's fuzz targets, each for a bounded time on the committed corpus.
  CC=clang CXX=clang++ build build-fuzz -DBW_FUZZ=ON -DBW_SANITIZE=OFF -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  ctest --test-dir build-fuzz --output-on-failure --no-tests=error -j2
  ;;
bench)
  # Not part of the test suite: measurements take minutes and want a quiet machine.
  install_missing "${packages[@]}" libbenchmark-dev xvfb xauth openbox xdotool
  build build-bench -DBW_BENCH=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release
  ./build-bench/bench/bench_store --benchmark_min_time=0.2
  bash bench/startup.sh build-bench 100000 10000 7
  bash bench/cli.sh build-bench 100000 10000 11
  ;;
*)
  echo "usage: $0 run|test|bench" >&2
  exit 2
  ;;
esac
