#!/usr/bin/env bash
# Runs the Windows downloader under Wine against a local range server: a
# segmented download whose second range is cut half-way must arrive whole.
# Usage: wine_download_check.sh WINE_RUN CHECK_EXE SERVER_PY
set -u
wine_run=$1 exe=$2 server=$3
work=$(mktemp -d /tmp/qv-wine-download-XXXXXX)
trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT

size=$((12 * 1024 * 1024 + 7))
head -c "$size" /dev/urandom > "$work/source.bin"
# Wine reports the host's processor count, so the ranges are those of this machine.
threads=$(( $(nproc) + 1 )); [ "$threads" -gt 8 ] && threads=8
per=$(( size / threads )); rest=$(( size % threads ))
range1_start=$(( per + rest ))
python3 "$server" "$work/source.bin" "$work/port" --drop-at "$range1_start" --drop-after $(( per / 2 )) \
  > "$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "server did not start"; cat "$work/server.log"; exit 1; }
port=$(cat "$work/port")

"$wine_run" "$exe" "http://127.0.0.1:$port/QVInstaller.exe" "Z:${work//\//\\}\\out\\target.bin" \
  "Z:${work//\//\\}\\source.bin"
rc=$?
if [ $rc -ne 0 ]; then
  echo "--- server log"; cat "$work/server.log"
fi
for f in "$work"/out/target.bin[0-9]*; do
  [ -e "$f" ] && { echo "range file left: $f"; rc=1; }
done
exit $rc
