#!/usr/bin/env bash
# The release installer's size against its goal; a measurement, not a test.
#
# Usage: bench/size_bench.sh [BUILD_DIR ...]
#   BUILD_DIR  a built release tree holding app/QuorvaneSetup.exe and
#              skin/skin.zip (default: build/windows-release and
#              build/windows-x86_64-release, those that exist)
# QV_SIZE_GOAL overrides the goal in bytes (default 1000000).
#
# For each executable: the file's bytes, its parts from the PE section table
# (code, read-only and initialised data, unwind tables, imports and
# relocations, resources split into the skin package and the rest, headers),
# and the distance to the goal. With the symbols kept beside it
# (QuorvaneSetup.exe.debug) also the largest symbols.
# Exit status: 0 when every executable measured is within the goal, 1 when
# one is over it, 2 when there is nothing to measure.
set -uo pipefail
cd "$(dirname "$0")/.."
goal=${QV_SIZE_GOAL:-1000000}
builds=("$@")
if [ ${#builds[@]} -eq 0 ]; then
  for b in build/windows-release build/windows-x86_64-release; do
    [ -f "$b/app/QuorvaneSetup.exe" ] && builds+=("$b")
  done
fi
[ ${#builds[@]} -gt 0 ] || { echo "no release build (build the windows-release or windows-x86_64-release preset: QuorvaneSetup)"; exit 2; }

over=0
for build in "${builds[@]}"; do
  exe=$build/app/QuorvaneSetup.exe
  zip=$build/skin/skin.zip
  for f in "$exe" "$zip"; do
    [ -f "$f" ] || { echo "missing $f"; exit 2; }
  done
  python3 - "$exe" "$zip" "$goal" <<'PY' || over=1
import struct, sys
exe, zip_path, goal = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(exe, "rb").read()
skin = len(open(zip_path, "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
machine, count = struct.unpack_from("<HH", data, pe + 4)
arch = {0x14C: "i686", 0x8664: "x86_64"}.get(machine, hex(machine))
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
    raw[name] = raw.get(name, 0) + rsize
take = lambda *names: sum(raw.pop(n, 0) for n in names)
rows = [
    ("code (.text)", take(".text")),
    ("read-only and initialised data (.rdata .data .CRT .tls)", take(".rdata", ".data", ".CRT", ".tls")),
    ("unwind tables (.eh_frame .pdata .xdata)", take(".eh_frame", ".pdata", ".xdata")),
    ("imports and relocations (.idata .reloc)", take(".idata", ".reloc")),
]
rsrc = take(".rsrc")
rows += [("resources: skin package (skin.zip)", skin),
         ("resources: manifest, version, icon, directory", rsrc - skin)]
other = sum(raw.values())
rows.append(("other sections (%s)" % " ".join(sorted(raw)) if raw else "other sections", other))
rows.append(("headers, alignment", len(data) - sum(v for _, v in rows)))
print("== %s (%s)" % (exe, arch))
for what, n in rows:
    print("  %-58s %9d bytes  %5.1f %%" % (what, n, 100.0 * n / len(data)))
print("  %-58s %9d bytes  (%.2f MiB)" % ("file", len(data), len(data) / 1048576.0))
verdict = "within" if len(data) <= goal else "OVER"
print("  %-58s %9d bytes  %s the goal by %d" % ("goal", goal, verdict, abs(goal - len(data))))
sys.exit(0 if len(data) <= goal else 1)
PY
  if [ -f "$exe.debug" ]; then
    nm=$(sed -n 's/^CMAKE_NM:FILEPATH=//p' "$build/CMakeCache.txt" 2>/dev/null)
    [ -x "${nm:-}" ] || nm=i686-w64-mingw32-nm
    echo "  largest symbols (nm --size-sort of $(basename "$exe").debug):"
    "$nm" -C --size-sort -S "$exe.debug" | grep -v ' [NnUwbB] ' | grep -v ' [rdt] \.' | tail -12 |
      while read -r _ size _ name; do printf "  %9d  %s\n" $((16#$size)) "${name:0:100}"; done
  fi
done
exit $over
