#!/usr/bin/env bash
# One entry point for people, the README and CI:
#   ./lwdemo.sh          install what is missing, build, generate the show and play it
#   ./lwdemo.sh test     install what is missing, build, run every test: normal build,
#                        sanitizer build (AddressSanitizer + UBSan), then the fuzz targets
#   ./lwdemo.sh build    install what is missing and build (build/)
#   ./lwdemo.sh coverage build with --coverage (build-cov/), run the tests, print the
#                        line coverage of the library (app display lwo lws math pipeline
#                        platform sfx; not tests, fuzz, bench or tools)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$top"

# One package a line where it has a reason of its own.
packages=(build-essential cmake ninja-build pkg-config libsdl2-dev libpng-dev
          libgtest-dev libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev
          xvfb xauth xdotool x11-utils x11-apps
          xfonts-base  # SDL's X11 message box draws with the X core fonts
          libsdl2-image-dev  # lwplay reads TGA, PNG, JPEG and BMP images in place of 3DF textures
          gcovr  # ./lwdemo.sh coverage summarises the library's line coverage
)
jobs=${LWDEMO_JOBS:-$(nproc)}
fuzzseconds=${LWDEMO_FUZZ_SECONDS:-60}

setup() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

runtests() { # runtests DIR
  ctest --test-dir "$1" --output-on-failure -j "$jobs"
}

runfuzz() {
  build "$top/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 \
        -DCMAKE_CXX_COMPILER=clang++-14 -DLWDEMO_FUZZ=ON -DLWDEMO_TESTS=OFF -DLWDEMO_BENCH=OFF
  local pids=() names=() failed=0
  for bin in "$top"/build-fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    local name=${bin##*/fuzz_}
    local corpus="$top/build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    local seeds=()
    [ -d "$top/fuzz/seeds/$name" ] && seeds+=("$top/fuzz/seeds/$name")
    if [ -f "$top/fuzz/$name.seeds" ]; then
      while read -r d; do
        [ -n "$d" ] && [ -d "$top/$d" ] && seeds+=("$top/$d")
      done < "$top/fuzz/$name.seeds"
    fi
    echo "fuzz $name: ${fuzzseconds}s"
    "$bin" -max_total_time="$fuzzseconds" -rss_limit_mb=4096 -print_final_stats=1 \
           -artifact_prefix="$top/build-fuzz/crash-$name-" "$corpus" "${seeds[@]}" \
           >"$top/build-fuzz/fuzz-$name.log" 2>&1 &
    pids+=($!); names+=("$name")
    # Two cores: run two fuzzers at a time.
    if [ ${#pids[@]} -ge "$jobs" ]; then
      wait "${pids[0]}" || { failed=1; tail -50 "$top/build-fuzz/fuzz-${names[0]}.log"; }
      pids=("${pids[@]:1}"); names=("${names[@]:1}")
    fi
  done
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || { failed=1; tail -50 "$top/build-fuzz/fuzz-${names[$i]}.log"; }
  done
  for log in "$top"/build-fuzz/fuzz-*.log; do
    [ -f "$log" ] && grep -E '^(stat::number_of_executed_units|Done )' "$log" | sed "s|^|${log##*/}: |"
  done
  return $failed
}

coverage() {
  local dir="$top/build-cov"
  build "$dir" -DCMAKE_BUILD_TYPE=Debug -DLWDEMO_BENCH=OFF \
        -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage
  find "$dir" -name '*.gcda' -delete
  local failed=0
  runtests "$dir" || failed=1
  gcovr --root "$top" --object-directory "$dir" --exclude-directories "$dir/CMakeFiles/[0-9]" \
        --filter "$top/(app|display|lwo|lws|math|pipeline|platform|sfx)/" \
        --output "$dir/coverage.txt" --print-summary
  echo "per-file report: $dir/coverage.txt"
  return $failed
}

case "${1:-run}" in
  run)
    setup
    build "$top/build" -DCMAKE_BUILD_TYPE=Release
    show="$top/build/show"
    if [ -x "$top/build/makeshow" ]; then
      "$top/build/makeshow" "$show"
    fi
    mkdir -p "$show"
    cd "$show"
    # Without a screen the card renders headless: keep every 30th shown frame as a PNG
    # so that there is something to look at afterwards.
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ "${LWDEMO_VIDEO:-}" = headless ]; then
      export LWDEMO_CAPTURE=${LWDEMO_CAPTURE:-$show/frames}
      export LWDEMO_CAPTURE_EVERY=${LWDEMO_CAPTURE_EVERY:-30}
      echo "No screen: playing headless, frames go to $LWDEMO_CAPTURE (every ${LWDEMO_CAPTURE_EVERY}th)"
    fi
    exec "$top/build/lwdemo"
    ;;
  build)
    setup
    build "$top/build" -DCMAKE_BUILD_TYPE=Release
    ;;
  test)
    setup
    build "$top/build" -DCMAKE_BUILD_TYPE=Release
    runtests "$top/build"
    build "$top/build-san" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DLWDEMO_SANITIZE=ON -DLWDEMO_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 runtests "$top/build-san"
    runfuzz
    ;;
  coverage)
    setup
    coverage
    ;;
  *)
    echo "usage: $0 [run|build|test|coverage]" >&2
    exit 2
    ;;
esac
