#!/usr/bin/env bash
# Download benchmark (not a test): a 200 MiB file served by nginx on
# 127.0.0.1 with a per-connection rate cap, fetched by our segmented
# downloader, our single stream, the curl tool and aria2c with 8 connections.
# Prints wall time, the ratio to the physical limit
# (size / (connections x rate)) and peak memory of each, over a few runs.
# With OLD_REF, an earlier commit's segmented downloader runs in the same
# set-up too, and the mean times of this tree's segmented downloader against
# it and against aria2c are printed last.
#
# Usage: bench/download_bench.sh [BUILD_DIR] [RUNS] [OLD_REF]
#   BUILD_DIR  a native build holding bench/download_driver (default build/download-native;
#              built here if missing)
#   RUNS       runs per client (default 3)
#   OLD_REF    an earlier commit to compare with (its sources are exported to
#              build/download-bench-<commit>/src and built there once)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/download-native}
runs=${2:-3}
old_ref=${3:-}
size_mib=200
rate_mib=10

need=()
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need+=(nginx-light)
command -v aria2c >/dev/null || need+=(aria2)
[ -x /usr/bin/time ] || need+=(time)
command -v curl >/dev/null || need+=(curl)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

if [ ! -x "$build/bench/download_driver" ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake --preset native -S "$repo" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target download_driver >/dev/null
fi
driver=$build/bench/download_driver
old_driver=
if [ -n "$old_ref" ]; then
  old_ref=$(git -C "$repo" rev-parse --short "$old_ref")
  old_root=$repo/build/download-bench-$old_ref
  if [ ! -f "$old_root/src/CMakeLists.txt" ]; then
    mkdir -p "$old_root/src"
    git -C "$repo" archive "$old_ref" | tar -x -C "$old_root/src"
  fi
  [ -f "$old_root/build/CMakeCache.txt" ] || cmake --preset native -S "$old_root/src" -B "$old_root/build" >/dev/null
  cmake --build "$old_root/build" -j2 --target download_driver >/dev/null
  old_driver=$old_root/build/bench/download_driver
fi

work=$(mktemp -d /tmp/qv-bench-XXXXXX)
chmod 755 "$work"
cleanup() {
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  sleep 0.5
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/out" "$work/tmp"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/www/file.bin"
chmod -R a+rX "$work/www"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    location / { limit_rate ${rate_mib}m; }
  }
}
CONF
"$nginx_bin" -p "$work" -c "$work/nginx.conf" -e "$work/error.log"
for _ in $(seq 50); do curl -fsI "http://127.0.0.1:$port/file.bin" >/dev/null 2>&1 && break; sleep 0.1; done
url="http://127.0.0.1:$port/file.bin"
size=$((size_mib * 1024 * 1024))
echo "file ${size_mib} MiB, limit_rate ${rate_mib}m per connection, $(nproc) processors, $runs runs each"

# run NAME CONNECTIONS COMMAND...: times each run, checks the copy, prints one
# row; the mean is kept in means[NAME].
results=()
declare -A means
run() {
  local name=$1 conns=$2
  shift 2
  local best="" worst="" sum=0 rss=0
  for i in $(seq "$runs"); do
    rm -f "$work/out/"*
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >"$work/client.log" 2>&1 || {
      echo "$name failed:"; tail -5 "$work/client.log"; exit 1; }
    cmp -s "$work/out/copy.bin" "$work/www/file.bin" || { echo "$name: copy differs"; exit 1; }
    read -r secs kib < "$work/time.txt"
    sum=$(python3 -c "print($sum + $secs)")
    best=$(python3 -c "print(min(x for x in [$secs, ${best:-1e9}]))")
    worst=$(python3 -c "print(max(x for x in [$secs, ${worst:-0}]))")
    [ "$kib" -gt "$rss" ] && rss=$kib
  done
  local limit mean
  limit=$(python3 -c "print($size / ($conns * $rate_mib * 1048576))")
  mean=$(python3 -c "print($sum / $runs)")
  means[$name]=$mean
  results+=("$(python3 -c "print('| %-26s | %2d | %6.2f s | %6.2f s | %6.2f s | %6.2f s | %5.2f | %6.1f MB |' % ('$name', $conns, $mean, $best, $worst, $limit, $mean / $limit, $rss / 1024))")")
}

# The downloader starts processors + 1 ranges, at most 8.
segments=$(( $(nproc) + 1 )); [ "$segments" -gt 8 ] && segments=8
run "segmented Downloader" "$segments" "$driver" segmented "$url" "$work/out/copy.bin"
if [ -n "$old_driver" ]; then
  run "segmented Downloader $old_ref" "$segments" "$old_driver" segmented "$url" "$work/out/copy.bin"
fi
run "single stream (HttpClient)" 1 "$driver" single "$url" "$work/out/copy.bin"
run "curl" 1 curl -fsS -o "$work/out/copy.bin" "$url"
run "aria2c -x8 -s8 -k1M" 8 aria2c -q -x8 -s8 -k1M --allow-overwrite=true --auto-file-renaming=false \
  --file-allocation=none -d "$work/out" -o copy.bin "$url"

echo
echo "| client                     | conns | mean | best | worst | physical limit | mean/limit | peak RSS |"
echo "|---|---|---|---|---|---|---|---|"
printf '%s\n' "${results[@]}"
if [ -n "$old_driver" ]; then
  echo
  python3 -c "print('segmented Downloader / $old_ref: %.3f' % (${means["segmented Downloader"]} / ${means["segmented Downloader $old_ref"]}))"
  python3 -c "print('segmented Downloader / aria2c: %.3f' % (${means["segmented Downloader"]} / ${means["aria2c -x8 -s8 -k1M"]}))"
  python3 -c "print('segmented Downloader $old_ref / aria2c: %.3f' % (${means["segmented Downloader $old_ref"]} / ${means["aria2c -x8 -s8 -k1M"]}))"
fi
