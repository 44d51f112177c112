#!/usr/bin/env bash
# Continuation benchmark (not a test): the package download with failover,
# as the stub runs it, against the vendor simulator on 127.0.0.1, which
# counts the body bytes it hands out. Each row runs this tree's build and an
# earlier commit's build (OLD_REF) in the same run and prints the bytes
# fetched over all attempts divided by the file size, and the wall time:
#
#   break at 50 %           three domains, the first breaks at 50 % of the file
#   breaks at 50 % and 90 % the first at 50 %, the second at 90 %
#   failed run + rerun      one domain breaks at 60 %: the run fails; a second
#                           run against a healthy domain follows
#   1,500 entries, ranked   a directory of 1,500 entries over 5 domains, ranked
#                           by the throughput probe, then downloaded: the
#                           probes started, and the bytes handed out against
#                           the file plus 2 MiB per probed domain
#
# Usage: bench/resume_bench.sh [BUILD_DIR] [OLD_REF] [SIZE]
#   BUILD_DIR  a native build of this tree (default build/native; configured
#              with the native preset and built here if missing)
#   OLD_REF    the earlier commit (default: where this branch left main)
#   SIZE       the file's size for vendor_sim (default 8m)
# PRESET (environment, default native) configures both builds alike.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/native}
old_ref=${2:-$(git -C "$repo" merge-base HEAD main)}
size_arg=${3:-8m}

build_tools() {  # SOURCE BUILD TARGETS...
  local src=$1 dir=$2
  shift 2
  [ -f "$dir/CMakeCache.txt" ] || cmake --preset "${PRESET:-native}" -S "$src" -B "$dir" >/dev/null
  cmake --build "$dir" -j2 --target "$@" >/dev/null
}

work=$(mktemp -d /tmp/qv-resume-bench-XXXXXX)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The earlier commit's sources, exported once per commit and kept with their
# build beside this tree's builds.
old_ref=$(git -C "$repo" rev-parse --short "$old_ref")
old_src=$repo/build/resume-bench-$old_ref/src
echo "building this tree ($build) and $old_ref ($old_src) ..."
build_tools "$repo" "$build" download_driver vendor_sim
if [ ! -f "$old_src/CMakeLists.txt" ]; then
  mkdir -p "$old_src"
  git -C "$repo" archive "$old_ref" | tar -x -C "$old_src"
fi
# The earlier commit's library with this driver when its own has no package
# mode (its own driver otherwise: it fits its library's delegate).
if ! grep -q '"package"' "$old_src/bench/download_driver.cpp"; then
  cp "$repo/bench/download_driver.cpp" "$old_src/bench/download_driver.cpp"
fi
build_tools "$old_src" "$old_src/../build" download_driver
new_driver=$build/bench/download_driver
old_driver=$old_src/../build/bench/download_driver
sim=$build/tools/vendor_sim

# start_sim NAME [FLAGS...]: a simulator with a byte count and a request record.
start_sim() {
  local name=$1
  shift
  rm -f "$work/$name".*
  "$sim" --size "$size_arg" --no-gzip --bytes-file "$work/$name.bytes" --record "$work/$name.rec" \
    --port-file "$work/$name.ports" "$@" >/dev/null 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 200); do [ -f "$work/$name.ports" ] && break; sleep 0.05; done
  python3 -c 'import json,sys; print("\n".join(json.load(open(sys.argv[1]))["domains"]))' "$work/$name.ports" \
    >"$work/$name.domains"
}
stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}
bytes_of() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["total"])' "$1" 2>/dev/null || echo 0; }
gets_of() { python3 -c 'import json,sys; print(sum(1 for l in open(sys.argv[1]) if json.loads(l)["method"] == "GET"))' "$1"; }
now() { date +%s.%N; }

# The simulator's size in bytes, as its HEAD answer announces it.
start_sim size --domains 1
size=$(curl -sI "$(head -1 "$work/size.domains")/official/pc/client_channel/QVInstaller.exe" |
  tr -d '\r' | sed -n 's/^Content-Length: //Ip')
stop_sim
half=$((size / 2)) ninety=$((size * 9 / 10)) sixty=$((size * 6 / 10))

printf '%-26s %-5s %10s %8s %8s  %s\n' "row" "code" "bytes" "/size" "wall s" "note"
row() {  # LABEL CODE BYTES SECONDS NOTE
  printf '%-26s %-5s %10d %8.2f %8.2f  %s\n' "$1" "$2" "$3" "$(echo "$3 / $size" | bc -l)" "$4" "$5"
}

for code in old new; do
  driver=$old_driver
  [ $code = new ] && driver=$new_driver
  target=$work/$code/ChannelIstaller.exe
  mkdir -p "$work/$code"

  for breaks in "0:cut=$half" "0:cut=$half 1:cut=$ninety"; do
    rm -f "$work/$code"/*
    faults=()
    for f in $breaks; do faults+=(--fault "$f"); done
    start_sim run --domains 3 "${faults[@]}"
    t0=$(now)
    "$driver" package "$target" "$work/run.domains" >/dev/null 2>&1 || echo "# $code: the download failed"
    t1=$(now)
    stop_sim
    label="break at 50 %"
    [ "$breaks" != "0:cut=$half" ] && label="breaks at 50 % and 90 %"
    row "$label" $code "$(bytes_of "$work/run.bytes")" "$(echo "$t1 - $t0" | bc -l)" ""
  done

  rm -f "$work/$code"/*
  start_sim fail --domains 1 --fault "0:cut=$sixty"
  t0=$(now)
  "$driver" package "$target" "$work/fail.domains" >/dev/null 2>&1 || true
  stop_sim
  start_sim rerun --domains 1
  "$driver" package "$target" "$work/rerun.domains" >/dev/null 2>&1 || echo "# $code: the rerun failed"
  t1=$(now)
  stop_sim
  row "failed run at 60 % + rerun" $code $(($(bytes_of "$work/fail.bytes") + $(bytes_of "$work/rerun.bytes"))) \
    "$(echo "$t1 - $t0" | bc -l)" ""

  rm -f "$work/$code"/*
  start_sim many --domains 5
  for i in $(seq 0 1499); do sed -n "$((i % 5 + 1))p" "$work/many.domains"; done >"$work/many.list"
  t0=$(now)
  out=$("$driver" package "$target" --rank "$work/many.list" 2>/dev/null || true)
  t1=$(now)
  sleep 1  # the probes' answers end after the ranking has left them
  stop_sim
  attempts=$(echo "$out" | sed -n 's/^attempts=//p')
  probes=$(($(gets_of "$work/many.rec") - ${attempts:-0}))
  bytes=$(bytes_of "$work/many.bytes")
  limit=$((size + probes * 2 * 1024 * 1024))
  row "1,500 entries, ranked" $code "$bytes" "$(echo "$t1 - $t0" | bc -l)" \
    "probes $probes; limit file + 2 MiB per probe = $(echo "$limit / $size" | bc -l | cut -c1-5)"
done
