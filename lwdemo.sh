#!/usr/bin/env bash
# One entry point for people, the README and CI:
#   ./lwdemo.sh          install what is missing, build, generate the show and play it
#   ./lwdemo.sh test     install what is missing, build, run every test: normal build,
#                        sanitizer build (AddressSanitizer + UBSan), then the fuzz targets;
#                        last a RelWithDebInfo build that is compiled only
#   ./lwdemo.sh build    install what is missing and build (build/)
#   ./lwdemo.sh coverage build with --coverage (build-cov/), run the tests, print the
#                        line coverage of the library (app display lwo lws math pipeline
#                        platform sfx; not tests, fuzz, bench or tools)
#   ./lwdemo.sh bench    install what is missing, build with the benchmarks, and compare the
#                        card's fill rate with Mesa's software rasterizer (one thread each,
#                        then every thread each)
#   ./lwdemo.sh cleanroom  a fresh minimal Debian root (build-cleanroom/), a clean clone of
#                        HEAD in it, then ./lwdemo.sh and ./lwdemo.sh test run inside as root
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
          debootstrap  # ./lwdemo.sh cleanroom makes its fresh Debian root with it
          libavformat-dev  # video capture: the MP4 and Matroska containers
          libavcodec-dev  # video capture: the H.264 encoder
          libswscale-dev  # video capture: RGB to the encoder's YUV
          libavutil-dev  # video capture: frames, options and error texts
          ffmpeg  # ffprobe reads captured videos back in the tests
          libosmesa6-dev  # bench_llvmpipe sets the card's fill rate beside Mesa's software rasterizer
)
jobs=${LWDEMO_JOBS:-$(nproc)}
fuzzseconds=${LWDEMO_FUZZ_SECONDS:-45}

setup() { # setup [package...]: those, or the whole list
  local missing=() p
  [ $# -gt 0 ] || set -- "${packages[@]}"
  for p in "$@"; do
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
  # The card's workers and the capture thread bump the same counters: without atomic
  # updates the counts race, some go negative, and gcovr stops on them.
  build "$dir" -DCMAKE_BUILD_TYPE=Debug -DLWDEMO_BENCH=OFF \
        "-DCMAKE_CXX_FLAGS=--coverage -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS=--coverage
  find "$dir" -name '*.gcda' -delete
  local failed=0
  runtests "$dir" || failed=1
  gcovr --root "$top" --object-directory "$dir" --exclude-directories "$dir/CMakeFiles/[0-9]" \
        --filter "$top/(app|display|lwo|lws|math|pipeline|platform|sfx)/" \
        --output "$dir/coverage.txt" --print-summary
  echo "per-file report: $dir/coverage.txt"
  return $failed
}

# The Debian archive this machine's own apt sources name, as "URI SUITE KEYRING" (KEYRING
# "-" when none is named): the entry for this release's codename, else the first plain suite.
debianarchive() {
  local codename files=() f
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  [ -f /etc/apt/sources.list ] && files+=(/etc/apt/sources.list)
  for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && files+=("$f")
  done
  [ ${#files[@]} -gt 0 ] || return 1
  awk -v want="$codename" '
    function consider(uri, suites, key,   n, i, s) {
      n = split(suites, s, " ")
      for (i = 1; i <= n; i++) {
        if (want != "" && s[i] == want && exact == "") exact = uri " " s[i] " " key
        if (s[i] !~ /[-\/]/ && plain == "") plain = uri " " s[i] " " key
      }
    }
    function flush() {
      if (types ~ /(^| )deb( |$)/ && enabled != "no" && uris != "") {
        split(uris, u, " ")
        consider(u[1], suites, signed ~ /^\// ? signed : "-")
      }
      types = uris = suites = signed = enabled = ""
    }
    FNR == 1 { flush(); deb822 = FILENAME ~ /\.sources$/ }
    deb822 && /^[ \t]*$/ { flush(); next }
    deb822 && /^[A-Za-z-]+:/ {
      key = tolower(substr($0, 1, index($0, ":") - 1)); value = substr($0, index($0, ":") + 1)
      gsub(/^[ \t]+|[ \t]+$/, "", value)
      if (key == "types") types = value; else if (key == "uris") uris = value
      else if (key == "suites") suites = value; else if (key == "enabled") enabled = value
      else if (key == "signed-by") signed = value
      next
    }
    !deb822 && $1 == "deb" {
      i = 2; key = "-"
      if ($2 ~ /^\[/) {
        for (; i <= NF; i++) {
          if ($i ~ /^\[?signed-by=/) { key = $i; sub(/^\[?signed-by=/, "", key); sub(/\]$/, "", key) }
          if ($i ~ /\]$/) { i++; break }
        }
      }
      if (key !~ /^\//) key = "-"
      consider($i, $(i + 1), key)
    }
    END { flush(); if (exact != "") print exact; else if (plain != "") print plain; else exit 1 }
  ' "${files[@]}"
}

# Every mount at or under a folder, deepest first (mount points as /proc/self/mounts has
# them, with its octal escapes undone).
mountsunder() {
  local dir=$1 point
  while read -r _ point _; do
    point=$(printf '%b' "$point")
    case "$point" in "$dir" | "$dir"/*) echo "$point" ;; esac
  done < /proc/self/mounts | sort -r
}

# Ends what still runs inside the root, then unmounts everything under it.
releaseroot() {
  local root=$1 pid point
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -KILL "$pid" 2>/dev/null
  done
  while read -r point; do
    [ -n "$point" ] || continue
    umount "$point" 2>/dev/null || umount -l "$point" 2>/dev/null ||
      echo "cleanroom: could not unmount $point" >&2
  done < <(mountsunder "$root")
  return 0
}

# Deletes the root, but never while anything is still mounted inside it.
removeroot() {
  local root=$1
  [ -e "$root" ] || return 0
  releaseroot "$root"
  if [ -n "$(mountsunder "$root")" ]; then
    echo "cleanroom: still mounted under $root, not deleting it:" >&2
    mountsunder "$root" >&2
    return 1
  fi
  rm -rf --one-file-system "$root"
}

cleanroom() {
  local started=$SECONDS dir="$top/build-cleanroom" archive uri suite keyring
  local base="$top/build-cleanroom/base" root="$top/build-cleanroom/root"
  if [ "$(id -u)" -ne 0 ]; then
    echo "cleanroom: run it as root: debootstrap, mount and chroot need root" >&2
    exit 1
  fi
  setup debootstrap git
  if ! archive=$(debianarchive) || [ -z "$archive" ]; then
    echo "cleanroom: no Debian archive named in /etc/apt/sources.list or /etc/apt/sources.list.d/" >&2
    exit 1
  fi
  read -r uri suite keyring <<<"$archive"
  mkdir -p "$dir"
  removeroot "$root"
  # The bare debootstrap result is kept (never entered) and copied for each run.
  if [ "$(cat "$base/.lwdemo-archive" 2>/dev/null)" != "$uri $suite" ]; then
    removeroot "$base.new"
    removeroot "$base"
    echo "cleanroom: debootstrap --variant=minbase $suite from $uri"
    local opts=(--variant=minbase)
    [ "$keyring" != "-" ] && opts+=(--keyring="$keyring")
    debootstrap "${opts[@]}" "$suite" "$base.new" "$uri"
    echo "$uri $suite" > "$base.new/.lwdemo-archive"
    mv "$base.new" "$base"
  fi
  cp -a "$base" "$root"
  rm -f "$root/.lwdemo-archive"

  # The path goes into the trap now: the EXIT trap runs after this function's locals are gone.
  trap "releaseroot '$root'" EXIT
  trap 'echo "cleanroom: stopped by a signal" >&2; exit 130' INT
  trap 'echo "cleanroom: stopped by a signal" >&2; exit 143' TERM
  trap 'echo "cleanroom: stopped by a signal" >&2; exit 129' HUP
  echo "cleanroom: a clean clone of $(git -C "$top" rev-parse --short HEAD) in $root/src/lwdemo"
  mkdir -p "$root/src"
  git clone -q --no-checkout "$top" "$root/src/lwdemo"
  git -C "$root/src/lwdemo" checkout -q --detach "$(git -C "$top" rev-parse HEAD)"
  [ -d "$top/../shared" ] && cp -a "$top/../shared" "$root/src/shared"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  [ -d /dev/shm ] && mount --bind /dev/shm "$root/dev/shm"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys" 2>/dev/null || mount --bind /sys "$root/sys"

  local env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)
  local v
  for v in LWDEMO_FUZZ_SECONDS LWDEMO_JOBS; do
    [ -n "${!v:-}" ] && env+=("$v=${!v}")
  done
  local rc=0
  # In the background so that a signal reaches the traps at once, not when the run ends.
  chroot "$root" /usr/bin/env -i "${env[@]}" /bin/bash -c \
    'cd /src/lwdemo && ./lwdemo.sh && ./lwdemo.sh test' </dev/null &
  wait $! || rc=$?
  local took=$((SECONDS - started))
  if [ $rc -eq 0 ]; then
    printf 'cleanroom: passed in %dm%02ds\n' $((took / 60)) $((took % 60))
  else
    printf 'cleanroom: FAILED (exit %d) after %dm%02ds\n' $rc $((took / 60)) $((took % 60)) >&2
  fi
  return $rc
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
    # The tests run in Release (gcc) and Debug (gcc, sanitizers); the fuzzers build
    # RelWithDebInfo with clang. A plain "cmake -B build" builds gcc RelWithDebInfo, whose
    # -O2 warnings differ from both: compiled here, benchmarks included, not run.
    build "$top/build-relwithdebinfo" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    ;;
  coverage)
    setup
    coverage
    ;;
  cleanroom)
    cleanroom
    ;;
  bench)
    setup
    build "$top/build" -DCMAKE_BUILD_TYPE=Release -DLWDEMO_BENCH=ON
    # LP_NUM_THREADS=0: Mesa rasterizes on the calling thread, as LWDEMO_THREADS=1 does.
    echo "== one thread each"
    LP_NUM_THREADS=0 LWDEMO_THREADS=1 "$top/build/bench_llvmpipe"
    echo "== every thread each"
    env -u LP_NUM_THREADS -u LWDEMO_THREADS "$top/build/bench_llvmpipe"
    ;;
  *)
    echo "usage: $0 [run|build|test|coverage|cleanroom|bench]" >&2
    exit 2
    ;;
esac
