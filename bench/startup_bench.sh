#!/usr/bin/env bash
# The release stub's size and start-up time; a measurement, not a test.
#
# Usage: bench/startup_bench.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a built release tree: app/QuorvaneSetup.exe, skin/skin.zip,
#              bench/bench_layered_window.exe. Default: the release build of
#              the architecture this machine runs (scripts/windows-arch.sh):
#              build/windows-release (i686), or build/windows-x86_64-release
#              where 32-bit programs cannot run (or QV_WINDOWS_ARCH=x86_64).
#   RUNS       counted runs of each program (default 7), after one warm-up each
# Needs DISPLAY (an X server such as Xvfb), wine, xdotool, unshare (root).
#
# 1. Size: bench/size_bench.sh for this build.
# 2. Start-up: the time from process start to the first painted frame, for
#    the installer and for bench_layered_window (the least a program of the
#    same toolchain does to show a layered window), run in turn A B A B ...
#    "First painted frame" is observed from outside, on the X server: the
#    moment the program's top-level window is viewable (mapped), polled with
#    `xdotool search --onlyvisible` every few milliseconds. Both programs give
#    their layered window its pixels (UpdateLayeredWindow) before showing it,
#    so the window maps with its first frame. Start is taken just before the
#    process is spawned. Each run is then killed.
#    Every run gets a network namespace of its own (unshare -n): the release
#    build talks to its fixed vendor hosts, and a benchmark sends nothing off
#    this machine. A wine process kept alive in the background holds the
#    prefix's server and system processes, so runs measure the program rather
#    than Wine's own start.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/windows-arch.sh
if [ -n "${1:-}" ]; then
  build=$(realpath "$1")
else
  qv_windows_arch || exit 2
  [ -z "$QV_WINDOWS_WHY" ] || echo "== $QV_WINDOWS_WHY"
  if [ "$QV_WINDOWS_ARCH" = x86_64 ]; then build=$(realpath build/windows-x86_64-release); else build=$(realpath build/windows-release); fi
fi
runs=${2:-7}
# The executable's own architecture picks Wine's loader, as its wine-run does: the
# 64-bit one for an x86_64 build (/usr/bin/wine prefers the 32-bit loader,
# which cannot start where 32-bit programs cannot run).
arch=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(4096); print({0x14C:"i686",0x8664:"x86_64"}.get(struct.unpack_from("<H",d,struct.unpack_from("<I",d,0x3C)[0]+4)[0],"?"))' "$build/app/QuorvaneSetup.exe" 2>/dev/null)
wine=wine
if [ "$arch" = x86_64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  wine=/usr/lib/wine/wine64
fi
exe=$build/app/QuorvaneSetup.exe
ref=$build/bench/bench_layered_window.exe
zip=$build/skin/skin.zip
for f in "$exe" "$ref" "$zip"; do
  [ -f "$f" ] || { echo "missing $f (build the release preset: QuorvaneSetup bench_layered_window)"; exit 2; }
done
[ -n "${DISPLAY:-}" ] || { echo "DISPLAY is not set"; exit 2; }

bench/size_bench.sh "$build"
echo

echo "== start-up to the first painted frame under Wine ($runs runs each, alternating)"
export WINEPREFIX="${QV_WINEPREFIX:-$build/wineprefix}" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
"$build/wine-run" cmd /c exit >/dev/null 2>&1   # creates the prefix on first use
hold_fifo=$(mktemp -u) && mkfifo "$hold_fifo"
"$wine" cmd /k <"$hold_fifo" >/dev/null 2>&1 &
holder=$!
exec 8>"$hold_fifo"
# The holder ends at the end of its input; the 64-bit loader's cmd may not,
# so it is stopped after a moment.
cleanup() {
  exec 8>&-
  for _ in $(seq 20); do kill -0 "$holder" 2>/dev/null || break; sleep 0.1; done
  kill "$holder" 2>/dev/null
  wait "$holder" 2>/dev/null
  rm -f "$hold_fifo"
}
trap cleanup EXIT
sleep 2

# One run: prints milliseconds from spawn to a viewable window titled $2.
first_frame_ms() {
  local program=$1 title=$2 start end pid
  start=$(date +%s%N)
  unshare -n "$wine" "$program" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null; then echo "$(basename "$program") ended before showing a window" >&2; return 1; fi
    if [ $(( ($(date +%s%N) - start) / 1000000 )) -gt 60000 ]; then kill "$pid"; echo "no window in 60 s" >&2; return 1; fi
    sleep 0.002
  done
  end=$(date +%s%N)
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  while xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do sleep 0.05; done
  echo $(( (end - start) / 1000000 ))
}

a_title="Quorvane Installation Guide"
b_title="Layered window reference"
first_frame_ms "$exe" "$a_title" >/dev/null && first_frame_ms "$ref" "$b_title" >/dev/null || exit 1
a=() b=()
for i in $(seq 1 "$runs"); do
  ta=$(first_frame_ms "$exe" "$a_title") || exit 1
  tb=$(first_frame_ms "$ref" "$b_title") || exit 1
  a+=("$ta") b+=("$tb")
  echo "  run $i: installer $ta ms, reference $tb ms"
done
python3 - "${a[*]}" "${b[*]}" <<'PY'
import statistics, sys
a = [int(x) for x in sys.argv[1].split()]
b = [int(x) for x in sys.argv[2].split()]
ratios = [x / y for x, y in zip(a, b)]
print("  installer  median %5d ms (min %d, max %d)" % (statistics.median(a), min(a), max(a)))
print("  reference  median %5d ms (min %d, max %d)" % (statistics.median(b), min(b), max(b)))
print("  ratio installer/reference: median of pairs %.2f (min %.2f, max %.2f)"
      % (statistics.median(ratios), min(ratios), max(ratios)))
PY
