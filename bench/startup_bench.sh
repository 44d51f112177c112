#!/usr/bin/env bash
# The release stub's size and start-up time; a measurement, not a test.
#
# Usage: bench/startup_bench.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a built windows-release tree (default build/windows-release):
#              app/QuorvaneSetup.exe, skin/skin.zip, bench/bench_layered_window.exe
#   RUNS       counted runs of each program (default 7), after one warm-up each
# Needs DISPLAY (an X server such as Xvfb), wine, xdotool, unshare (root).
#
# 1. Size: the file and its parts from the PE section table (code, read-only
#    data, unwind tables, imports and relocations, resources split into the
#    skin package and the rest, headers), and the largest symbols.
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
build=$(realpath "${1:-build/windows-release}")
runs=${2:-7}
exe=$build/app/QuorvaneSetup.exe
ref=$build/bench/bench_layered_window.exe
zip=$build/skin/skin.zip
for f in "$exe" "$ref" "$zip"; do
  [ -f "$f" ] || { echo "missing $f (build the windows-release preset: QuorvaneSetup bench_layered_window)"; exit 2; }
done
[ -n "${DISPLAY:-}" ] || { echo "DISPLAY is not set"; exit 2; }

echo "== size of $(basename "$exe")"
python3 - "$exe" "$zip" <<'PY'
import struct, sys
exe, zip_path = sys.argv[1], sys.argv[2]
data = open(exe, "rb").read()
skin = len(open(zip_path, "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
count = struct.unpack_from("<H", data, pe + 6)[0]
symtab, nsyms = struct.unpack_from("<II", data, pe + 12)
opt_size = struct.unpack_from("<H", data, pe + 20)[0]
table = pe + 24 + opt_size
raw = {}
for i in range(count):
    name, vsize, va, rsize = struct.unpack_from("<8sIII", data, table + 40 * i)
    name = name.rstrip(b"\0").decode()
    if name.startswith("/"):  # a long name: offset into the COFF string table
        at = symtab + 18 * nsyms + int(name[1:])
        name = data[at:data.index(b"\0", at)].decode()
    raw[name] = rsize
take = lambda *names: sum(raw.pop(n, 0) for n in names)
rows = [
    ("code (.text)", take(".text")),
    ("read-only and initialised data (.rdata .data .CRT .tls)", take(".rdata", ".data", ".CRT", ".tls")),
    ("unwind tables (.eh_frame)", take(".eh_frame")),
    ("imports and relocations (.idata .reloc)", take(".idata", ".reloc")),
]
rsrc = take(".rsrc")
rows += [("resources: skin package (skin.zip)", skin),
         ("resources: manifest, version, icon, directory", rsrc - skin)]
other = sum(raw.values())
rows.append(("other sections (%s)" % " ".join(sorted(raw)) if raw else "other sections", other))
rows.append(("headers, symbol string table, alignment", len(data) - sum(v for _, v in rows)))
for what, n in rows:
    print("  %-58s %9d bytes  %5.1f %%" % (what, n, 100.0 * n / len(data)))
print("  %-58s %9d bytes  (%.2f MiB)" % ("file", len(data), len(data) / 1048576.0))
PY

if [ -f "$exe.debug" ]; then
  echo "== largest symbols (nm --size-sort of the symbols kept in $(basename "$exe").debug)"
  i686-w64-mingw32-nm -C --size-sort -S "$exe.debug" | grep -v ' [NnUw] ' | tail -15 |
    while read -r _ size _ name; do printf "  %7d  %s\n" $((16#$size)) "${name:0:100}"; done
fi

echo "== start-up to the first painted frame under Wine ($runs runs each, alternating)"
export WINEPREFIX="${QV_WINEPREFIX:-$build/wineprefix}" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
"$build/wine-run" cmd /c exit >/dev/null 2>&1   # creates the prefix on first use
hold_fifo=$(mktemp -u) && mkfifo "$hold_fifo"
wine cmd /k <"$hold_fifo" >/dev/null 2>&1 &
holder=$!
exec 8>"$hold_fifo"
cleanup() { exec 8>&-; wait "$holder" 2>/dev/null; rm -f "$hold_fifo"; }
trap cleanup EXIT
sleep 2

# One run: prints milliseconds from spawn to a viewable window titled $2.
first_frame_ms() {
  local program=$1 title=$2 start end pid
  start=$(date +%s%N)
  unshare -n wine "$program" >/dev/null 2>&1 &
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
