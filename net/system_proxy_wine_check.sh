#!/usr/bin/env bash
# Runs the system proxy resolver's tests under Wine with a proxy
# auto-configuration script served on 127.0.0.1, after writing the prefix's
# proxy settings with testing/proxy/connection_settings.py (the tests then
# check that WinHTTP reads them back and write further settings themselves).
# The server writes the path of every request it answers into a file the tests
# read (QV_TEST_SCRIPT_REQUESTS); "/dead.pac" is never there (404).
# Usage: system_proxy_wine_check.sh WINE_RUN TEST_EXE
set -u
wine_run="$1"
test_exe="$2"
# A prefix of its own: the proxy settings written here and by the tests reach
# no other test, whatever runs beside it.
export QV_WINEPREFIX="${QV_WINEPREFIX:-$(dirname "$wine_run")/wineprefix-system-proxy}"
here="$(cd "$(dirname "$0")" && pwd)"
# The deadline that ends this script and everything in its prefix.
. "$here/../testing/wine/wine_script.sh"
qv_deadline 270  # without QV_SCRIPT_DEADLINE (run by hand)
settings="$here/../testing/proxy/connection_settings.py"
work="$(mktemp -d /tmp/qv-proxy-wine-XXXXXX)"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  qv_deadline_stop
  python3 "$settings" "$wine_run" --clear
  qv_end_prefix "$QV_WINEPREFIX"
  rm -rf "$work"
}
trap cleanup EXIT

cat >"$work/proxy.pac" <<'PAC'
function FindProxyForURL(url, host) {
  if (shExpMatch(host, "*.viaproxy.test")) return "PROXY 127.0.0.1:3128; DIRECT";
  return "DIRECT";
}
PAC
python3 - "$work" <<'PY' &
import functools, http.server, os, sys
work = sys.argv[1]
class Quiet(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        with open(os.path.join(work, "requests.log"), "a") as f:
            f.write(self.path + "\n")
        super().do_GET()
    def log_message(self, *args):
        pass
handler = functools.partial(Quiet, directory=work)
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
with open(os.path.join(work, "port.tmp"), "w") as f:
    f.write(str(server.server_address[1]))
os.replace(os.path.join(work, "port.tmp"), os.path.join(work, "port"))
server.serve_forever()
PY
server_pid=$!
for _ in $(seq 1 100); do [ -f "$work/port" ] && break; sleep 0.1; done
[ -f "$work/port" ] || { echo "script server did not start"; exit 1; }

export QV_TEST_PAC_URL="http://127.0.0.1:$(cat "$work/port")/proxy.pac"
export QV_TEST_SCRIPT_REQUESTS="Z:${work//\//\\}\\requests.log"
export QV_TEST_WRITTEN_PROXY="127.0.0.1:3130" QV_TEST_WRITTEN_BYPASS="*.written.test;<local>"
python3 "$settings" "$wine_run" --proxy "$QV_TEST_WRITTEN_PROXY" --bypass "$QV_TEST_WRITTEN_BYPASS" ||
  { echo "could not write the proxy settings"; exit 1; }
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy no_proxy NO_PROXY
"$wine_run" "$test_exe"
