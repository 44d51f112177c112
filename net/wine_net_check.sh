#!/usr/bin/env bash
# Runs the network tests of the Windows build under Wine against real local
# HTTP and HTTPS servers. Usage: wine_net_check.sh WINE_RUN TEST_EXE
set -u
wine_run="$1"
test_exe="$2"
testing="$(cd "$(dirname "$0")/../testing" && pwd)"
work="$(mktemp -d /tmp/qv-net-wine-XXXXXX)"
# The deadline that ends this script and the test program it runs.
. "$testing/wine/wine_script.sh"
qv_deadline 270  # without QV_SCRIPT_DEADLINE (run by hand)
prefix=${QV_WINEPREFIX:-$(sed -n 's/^export WINEPREFIX="\${QV_WINEPREFIX:-\(.*\)}"$/\1/p' "$wine_run")}
server_pid=""
cleanup() {
  qv_deadline_stop
  qv_end_wine_programs "$prefix" "$(basename "$test_exe")"
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

bash "$testing/certs/make_test_certs.sh" "$work/certs" || { echo "could not make TLS test files"; exit 1; }
python3 "$testing/servers/wine_test_server.py" "$work/certs" "$work/ready" &
server_pid=$!
for _ in $(seq 1 100); do
  [ -f "$work/ready" ] && break
  sleep 0.1
done
[ -f "$work/ready" ] || { echo "test server did not start"; exit 1; }

set -a
# shellcheck disable=SC1091
. "$work/ready"
set +a
# libcurl on Schannel checks the chain itself (through crypt32) only with a CA
# file; Z: is the Linux root under Wine.
export QV_CA_FILE="Z:${work//\//\\}\\certs\\ca.pem"
export QV_DIRECTORY_URL="$QV_TEST_HTTPS_URL"
export QV_TEST_DIRECTORY_URL="$QV_TEST_HTTPS_URL"
export QV_BUILTIN_DOMAINS="https://static.builtin.invalid,https://apphub.builtin.invalid"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy
"$wine_run" "$test_exe"
