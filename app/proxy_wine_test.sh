#!/usr/bin/env bash
# The built installer behind proxies, under Wine: "-silent -auto-start"
# installs against the native vendor simulator with the current user's proxy
# settings written into a Wine prefix of this test's own
# (testing/proxy/connection_settings.py) and testing/proxy/test_proxy.py as the
# proxy. Host names under corp.test resolve only inside the proxy (--map), as
# in an office network where the direct route fails.
# Usage: proxy_wine_test.sh WINE_RUN EXE OUT_DIR SOURCE_DIR INSTALLER_EXE CAPTURE_EXE
set -u
wine_run=$1 exe=$2 out=$3 src=$4 installer=$5 capture=$6
# First thing: the deadline that ends this script and what it started.
. "$src/testing/wine/wine_script.sh"
qv_deadline 560  # without QV_SCRIPT_DEADLINE (run by hand)
rm -rf "$out"
mkdir -p "$out"
# Its own prefix: the proxy settings written here reach no other test.
export QV_WINEPREFIX=${QV_WINEPREFIX:-$(dirname "$wine_run")/wineprefix-proxy}
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy no_proxy NO_PROXY
settings="$src/testing/proxy/connection_settings.py"
. "$src/testing/servers/vendor_sim_env.sh"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
. "$src/testing/display.sh"
qv_display_ensure || { echo "FAIL - no display"; exit 1; }
PROXY_PID=
stop_proxy() {
  if [ -n "$PROXY_PID" ]; then kill "$PROXY_PID" 2>/dev/null; wait "$PROXY_PID" 2>/dev/null; PROXY_PID=; fi
}
# Whatever is left running in the prefix of its own is ended with its server.
trap 'qv_deadline_stop; stop_proxy; stop_vendor_sim; python3 "$settings" "$wine_run" --clear
      qv_end_prefix "$QV_WINEPREFIX"; qv_display_stop' EXIT

# The proxy's port is chosen before anything starts: the automatic
# configuration script names it.
proxy_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
proxy="127.0.0.1:$proxy_port"
# The installer's name carries a channel and aid, so the run also sends its
# install report and the client activation.
named="$out/QuorvaneSetup_cid12_seosourceid77_platformid3_aid901.exe"
cp "$exe" "$named"

# The directory names two domains by names only the proxy resolves (their
# ports come from the proxy's --map).
cat >"$out/directory_corp.json" <<'JSON'
{"code":0,"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"http://d0.corp.test","backup_urls":["http://d1.corp.test"]}]}
JSON
# One domain by a proxy-only name, one on 127.0.0.1 (direct).
cat >"$out/directory_mixed.json" <<'JSON'
{"code":0,"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"http://d0.corp.test","backup_urls":["{domain1}"]}]}
JSON
cat >"$out/proxy.pac" <<PAC
function FindProxyForURL(url, host) {
  if (shExpMatch(host, "*.corp.test")) return "PROXY $proxy";
  return "DIRECT";
}
PAC

# start_sim NAME [FLAGS...]: the simulator, and the ports the proxy maps to.
start_sim() {
  local name=$1
  shift
  start_vendor_sim "$sim" "$out/$name" --file "$installer" --domains 2 --pac-file "$out/proxy.pac" "$@" || return 1
  eval "$(python3 -c 'import json,sys
p = json.load(open(sys.argv[1]))
print("api_port=%d" % p["api_port"])
print("d0=%s d1=%s" % tuple(u.rsplit(":", 1)[1] for u in p["domains"]))' "$SIM_PORTS")"
}
# start_proxy MODE: the test proxy with the corp.test names mapped to the simulator.
start_proxy() {
  PROXY_LOG=$out/$run_name/proxy.jsonl
  rm -f "$PROXY_LOG" "$out/$run_name/proxy.port"
  python3 "$src/testing/proxy/test_proxy.py" --port "$proxy_port" --port-file "$out/$run_name/proxy.port" \
    --log "$PROXY_LOG" --mode "$1" --max-lifetime 300 \
    --map "api.corp.test=127.0.0.1:$api_port" --map "d0.corp.test=127.0.0.1:$d0" \
    --map "d1.corp.test=127.0.0.1:$d1" >/dev/null 2>"$out/$run_name/proxy.err" &
  PROXY_PID=$!
  for _ in $(seq 1 100); do [ -f "$out/$run_name/proxy.port" ] && return 0; sleep 0.1; done
  echo "the test proxy did not start" >&2
  return 1
}
corp_env() {
  export QV_DIRECTORY_URL="http://api.corp.test" QV_REPORT_URL="http://api.corp.test"
  export QV_CLIENT_SERVICE_URL="http://api.corp.test" QV_BUILTIN_DOMAINS="http://d0.corp.test,http://d1.corp.test"
}
# install [--end-after TEXT MS]: a silent automatic install of $run_name, its
# debugger lines in $out/$run_name/debug.txt; sets rc and seconds.
install() {
  local folder="$out/$run_name/install" start=$SECONDS
  timeout 150 "$wine_run" "$capture" "$@" "$(winpath "$named")" -silent -auto-start \
    -install-path "$(winpath "$folder")" >"$out/$run_name/debug.txt" 2>/dev/null
  rc=$?
  seconds=$((SECONDS - start))
  stop_proxy
  stop_vendor_sim
}
# What the proxy and the simulator saw: python3 over both logs, the checks
# given on standard input (`proxied`, `record`, need(cond, what)).
judge() {
  python3 - "$PROXY_LOG" "$SIM_RECORD" "$1" 3<&0 <<'PY'
import json, os, sys
def load(path):
    if not os.path.exists(path):
        return []
    return [json.loads(l) for l in open(path, encoding="utf-8") if l.strip()]
proxied, record, name = load(sys.argv[1]), load(sys.argv[2]), sys.argv[3]
ok = True
def need(cond, what):
    global ok
    if not cond:
        print("  %s: not as expected: %s" % (name, what))
        ok = False
exec(os.fdopen(3).read())
sys.exit(0 if ok else 1)
PY
}

# 1. The proxy in the settings is the only way out: the install succeeds and
# every request of the run went through it.
run_name=manual
start_sim "$run_name" --directory-file "$out/directory_corp.json" && start_proxy forward || exit 1
corp_env
python3 "$settings" "$wine_run" --proxy "$proxy" || { echo "FAIL - could not write the proxy settings"; exit 1; }
install
[ $rc -eq 0 ] && check 0 "behind a proxy-only network the silent install succeeds" \
              || check 1 "behind a proxy-only network the silent install succeeds (rc=$rc)"
judge "$run_name" <<'PY' && check 0 "every request of the run (directory, probes, download, reports) went through the proxy" \
                         || check 1 "every request of the run went through the proxy"
paths = lambda entries: sorted(e["path"].split("?")[0] for e in entries)
forwarded = [p for p in proxied if p["action"] == "forward"]
need(len(record) > 0 and paths(forwarded) == paths(record),
     "proxy %s / simulator %s" % (paths(forwarded), paths(record)))
need(any(r["path"].endswith("/backup_domain/list") for r in record), "the directory was asked")
need(sum(1 for r in record if r["server"] == "domain") >= 3, "probes and the download reached the domains")
need(any(r["path"] == "/api/data_report/client/update_pc_module" for r in record), "the install was reported")
need(any(r["path"] == "/api/common_bll/v1/client/active" for r in record), "the activation was reported")
PY
grep -q "route: http://api.corp.test/.* via proxy $proxy (manual settings)" "$out/$run_name/debug.txt" \
  && check 0 "the log names the route each transfer took and why" \
  || check 1 "the log names the route each transfer took and why"

# 2. A bypass entry: that host goes direct, the others through the proxy.
# (Loopback normally bypasses every proxy; "<-loopback>" lets 127.0.0.1 in.)
run_name=bypass
start_sim "$run_name" && start_proxy forward || exit 1
export QV_DIRECTORY_URL="http://localhost:$api_port" QV_REPORT_URL="http://localhost:$api_port"
export QV_CLIENT_SERVICE_URL="http://localhost:$api_port"
python3 "$settings" "$wine_run" --proxy "$proxy" --bypass "<-loopback>;localhost" || exit 1
install
[ $rc -eq 0 ] && check 0 "with a bypass entry the install succeeds" \
              || check 1 "with a bypass entry the install succeeds (rc=$rc)"
judge "$run_name" <<'PY' && check 0 "the bypassed host went direct, the domains through the proxy" \
                         || check 1 "the bypassed host went direct, the domains through the proxy"
hosts = set(p["host"] for p in proxied)
need(hosts == {"127.0.0.1"}, "hosts through the proxy: %s" % hosts)
need(sum(1 for r in record if r["server"] == "api") >= 2, "directory and reports reached the simulator")
need(len([p for p in proxied if p["action"] == "forward"]) == sum(1 for r in record if r["server"] == "domain"),
     "every domain request through the proxy")
PY
grep -q "route: http://localhost:$api_port/.* direct (bypass list)" "$out/$run_name/debug.txt" \
  && check 0 "the log says the bypass list sent it direct" || check 1 "the log says the bypass list sent it direct"

# 3. An automatic configuration script: its choice is followed, d0.corp.test
# through the proxy, the simulator's api on 127.0.0.1 direct.
run_name=pac
start_sim "$run_name" --directory-file "$out/directory_mixed.json" && start_proxy forward || exit 1
export QV_BUILTIN_DOMAINS="http://d0.corp.test,http://127.0.0.1:$d1"
python3 "$settings" "$wine_run" --script "http://127.0.0.1:$api_port/proxy.pac" || exit 1
install
[ $rc -eq 0 ] && check 0 "with a configuration script the install succeeds" \
              || check 1 "with a configuration script the install succeeds (rc=$rc)"
judge "$run_name" <<'PY' && check 0 "the script's choice is followed: one host through the proxy, one direct" \
                         || check 1 "the script's choice is followed: one host through the proxy, one direct"
need(len(proxied) > 0 and set(p["host"] for p in proxied) == {"d0.corp.test"},
     "hosts through the proxy: %s" % set(p["host"] for p in proxied))
need(any(r["path"] == "/proxy.pac" for r in record), "the script was fetched")
need(any(r["path"].endswith("/backup_domain/list") for r in record), "the directory was asked (direct)")
need(any(r["server"] == "domain" and r["domain"] == 0 for r in record), "d0 was reached through the proxy")
PY
grep -q "via proxy $proxy (automatic configuration)" "$out/$run_name/debug.txt" \
  && grep -q "direct (automatic configuration: DIRECT)" "$out/$run_name/debug.txt" \
  && check 0 "the log names the script's routes" || check 1 "the log names the script's routes"

# 4. A proxy that refuses or stalls, with direct reachable: the install still
# succeeds direct, inside the time limit of a plain silent install (the 120 s
# the other end-to-end tests give one; a bound, not a speed goal).
for mode in refuse stall; do
  run_name=$mode
  start_sim "$run_name" && start_proxy "$mode" || exit 1
  python3 "$settings" "$wine_run" --proxy "$proxy" --bypass "<-loopback>" || exit 1
  install
  [ $rc -eq 0 ] && check 0 "a proxy that ${mode}s: the install succeeds direct (${seconds} s)" \
                || check 1 "a proxy that ${mode}s: the install succeeds direct (rc=$rc, ${seconds} s)"
  [ $rc -eq 0 ] && [ $seconds -lt 120 ]
  check $? "a proxy that ${mode}s: the install ends inside the time limit of a plain silent install (${seconds} s)"
  grep -q "left via proxy $proxy: the proxy" "$out/$run_name/debug.txt" \
    && check 0 "the log says why the proxy was left ($mode)" || check 1 "the log says why the proxy was left ($mode)"
done

# 5. The only way out asks for credentials: the failure text and the log say
# a proxy needs authentication, and the silent install ends by itself with
# 7107, its run log's last line saying so. (The guard only ends a run that
# would not end by itself.)
run_name=auth
start_sim "$run_name" --directory-file "$out/directory_corp.json" && start_proxy auth || exit 1
corp_env
python3 "$settings" "$wine_run" --proxy "$proxy" || exit 1
install --end-after "channel install failed" 60000
pid=$(sed -n 's/^\([0-9]*\): debug_capture: started .*QuorvaneSetup_cid12.*$/\1/p' "$out/$run_name/debug.txt" | head -1)
exited=$(sed -n "s/^$pid: debug_capture: exited \([0-9]*\)\r\?$/\1/p" "$out/$run_name/debug.txt")
[ "$exited" = 7107 ]
check $? "the silent install behind a proxy that wants credentials ends by itself with 7107 (exited: ${exited:-none}, rc=$rc)"
runlog=$("$wine_run" winepath -u "$(grep -ao 'starts; log .*\.log' "$out/$run_name/debug.txt" | head -1 | cut -d' ' -f3-)" \
         2>/dev/null | tr -d '\r')
last=$(tail -1 "$runlog" 2>/dev/null | sed 's/^[0-9-]* [0-9:.]* \[[^]]*\] //' | tr -d '\r')
[ "$last" = "QuorvaneSetup ends; exit code 7107" ]
check $? "the run log's last line gives the exit code 7107 (${last:-no log})"
grep -q "channel install failed, status text: The proxy server requires authentication" "$out/$run_name/debug.txt" \
  && check 0 "the failure text says the proxy requires authentication" \
  || check 1 "the failure text says the proxy requires authentication (rc=$rc)"
grep -q "needs authentication" "$out/$run_name/debug.txt" \
  && check 0 "the log says a proxy needs authentication" || check 1 "the log says a proxy needs authentication"
judge "$run_name" <<'PY' && check 0 "the proxy asked for credentials and nothing reached the simulator" \
                         || check 1 "the proxy asked for credentials and nothing reached the simulator"
need(len(proxied) > 0 and all(p["action"] == "auth-required" for p in proxied), "proxy actions")
need(not [r for r in record if r["path"] != "/proxy.pac"], "simulator requests: %d" % len(record))
PY

exit $fail
