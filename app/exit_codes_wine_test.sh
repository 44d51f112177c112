#!/usr/bin/env bash
# The exit codes of the README's table that no other end-to-end test reaches,
# each from the built installer under Wine in the situation the table names:
# a full installer that cannot be started (7104), a way out that only a proxy
# asking for credentials offers (7107), and the Windows session ending while
# the install runs (7109) or before any install began (0). Each row checks the
# process's own exit code (through debug_capture, whole, not modulo 256), the
# run log's last line, the debugger line that names the situation and the
# reports that reached the vendor simulator on 127.0.0.1.
#
# The test has a Wine prefix of its own: the session's end reaches every
# window of a prefix, and the proxy settings are written into it.
# Usage: exit_codes_wine_test.sh WINE_RUN EXE OUT_DIR SOURCE_DIR INSTALLER_EXE CAPTURE_EXE
set -u
wine_run=$1 exe=$2 out=$3 src=$4 installer=$5 capture=$6
# First thing: the deadline that ends this script and what it started.
. "$src/testing/wine/wine_script.sh"
qv_deadline 560  # without QV_SCRIPT_DEADLINE (run by hand)
export LC_ALL=C  # the English text table, whatever the host's language
rm -rf "$out"
mkdir -p "$out"
export QV_WINEPREFIX=${QV_WINEPREFIX:-$(dirname "$wine_run")/wineprefix-exitcodes}
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy no_proxy NO_PROXY
settings="$src/testing/proxy/connection_settings.py"
. "$src/testing/servers/vendor_sim_env.sh"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
. "$src/testing/display.sh"
qv_display_ensure || { echo "FAIL - no display"; exit 1; }
PROXY_PID= RUN_PID=
stop_proxy() {
  if [ -n "$PROXY_PID" ]; then kill "$PROXY_PID" 2>/dev/null; wait "$PROXY_PID" 2>/dev/null; PROXY_PID=; fi
}
# The prefix is this test's own: whatever is left running in it goes with its server.
trap 'qv_deadline_stop; stop_proxy; stop_vendor_sim; [ -n "$RUN_PID" ] && kill "$RUN_PID" 2>/dev/null
      python3 "$settings" "$wine_run" --clear >/dev/null 2>&1; qv_end_prefix "$QV_WINEPREFIX"; qv_display_stop' EXIT
python3 "$settings" "$wine_run" --clear >/dev/null 2>&1

# A build of the sample full installer that no Windows can start, signed by
# the test publisher like the build itself, so that it passes every check
# before the start: the same file marked as a DLL (CreateProcess: error 193).
signing=$(sed -n 's/^QV_SIGNING_DIR:PATH=//p' "$(dirname "$(dirname "$installer")")/CMakeCache.txt")
python3 - "$(dirname "$installer")/QVInstaller.unsigned.exe" "$out/dll.unsigned.exe" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
coff = struct.unpack_from("<I", data, 0x3C)[0] + 4
characteristics = struct.unpack_from("<H", data, coff + 18)[0]
struct.pack_into("<H", data, coff + 18, characteristics | 0x2000)  # IMAGE_FILE_DLL
open(sys.argv[2], "wb").write(data)
PY
unstartable=$out/QVInstaller.dll.exe
osslsigncode sign -h sha256 -n sample_installer -certs "$signing/publisher.pem" -key "$signing/publisher.key" \
  -in "$out/dll.unsigned.exe" -out "$unstartable" >/dev/null 2>&1
[ -s "$unstartable" ]
check $? "a signed build of the full installer marked as a DLL"

# Row setups: each starts what its situation needs and sets `args`, the
# installer's options, and `ending`, how the run is ended ("" by itself,
# "session" by the end of the Windows session once the line in `ending_after`
# has appeared).
setup_not_started() {
  start_vendor_sim "$sim" "$out/$name/sim" --file "$unstartable" --domains 1 || return 1
  args=(-silent -auto-start) ending=
}
# Every way out goes through a proxy that answers each CONNECT with 407; the
# shipped libcurl has no proxy authentication, so there is no way past it.
setup_proxy_auth() {
  local port
  start_vendor_sim "$sim" "$out/$name/sim" --file "$installer" --domains 1 || return 1
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  PROXY_LOG=$out/$name/proxy.jsonl
  python3 "$src/testing/proxy/test_proxy.py" --port "$port" --port-file "$out/$name/proxy.port" --log "$PROXY_LOG" \
    --mode auth --max-lifetime 300 >/dev/null 2>"$out/$name/proxy.err" &
  PROXY_PID=$!
  for _ in $(seq 1 100); do [ -f "$out/$name/proxy.port" ] && break; sleep 0.1; done
  [ -f "$out/$name/proxy.port" ] || { echo "the test proxy did not start" >&2; return 1; }
  python3 "$settings" "$wine_run" --proxy "127.0.0.1:$port" >/dev/null || return 1
  export QV_DIRECTORY_URL="https://api.corp.test" QV_REPORT_URL="https://api.corp.test"
  export QV_CLIENT_SERVICE_URL="https://api.corp.test" QV_BUILTIN_DOMAINS="https://d0.corp.test,https://d1.corp.test"
  args=(-silent -auto-start) ending=
}
# The download is slow enough to be running when the session ends.
setup_session_end() {
  start_vendor_sim "$sim" "$out/$name/sim" --file "$installer" --domains 1 --rate 0:20k || return 1
  args=(-silent -auto-start) ending=session ending_after="download status: "
}
# "-silent" alone starts no install: the session's end finds nothing running.
setup_session_end_idle() {
  start_vendor_sim "$sim" "$out/$name/sim" --file "$installer" --domains 1 || return 1
  args=(-silent) ending=session ending_after="QuorvaneSetup starts; log"
}
teardown() {
  stop_proxy
  stop_vendor_sim
  python3 "$settings" "$wine_run" --clear >/dev/null 2>&1
  unset QV_DIRECTORY_URL QV_REPORT_URL QV_CLIENT_SERVICE_URL QV_BUILTIN_DOMAINS
}

# NAME | exit code | a debugger line of the run (a prefix) | the reports the simulator received ("-": none)
while IFS='|' read -r name code line want_reports; do
  [ -n "$name" ] || continue
  mkdir -p "$out/$name"
  debug=$out/$name/debug.txt
  failed_before=$fail fail=0
  "setup_$name" </dev/null || { check 1 "$name: the row's servers started"; teardown; fail=1; continue; }
  timeout 150 "$wine_run" "$capture" "$(winpath "$exe")" "${args[@]}" -install-path "$(winpath "$out/$name/install")" \
    >"$debug" 2>/dev/null </dev/null &
  RUN_PID=$!
  if [ "$ending" = session ]; then
    for _ in $(seq 1 600); do
      grep -qs "$ending_after" "$debug" && break
      kill -0 "$RUN_PID" 2>/dev/null || break
      sleep 0.1
    done
    # Until the run has gone (its window may not exist yet when the line
    # appears): a session that ends a second time changes nothing.
    for _ in $(seq 1 20); do
      sleep 2
      kill -0 "$RUN_PID" 2>/dev/null || break
      grep -qs "debug_capture: exited" "$debug" && break
      timeout 30 "$wine_run" wineboot --end-session >/dev/null 2>&1 </dev/null
    done
  fi
  wait "$RUN_PID"
  rc=$?
  RUN_PID=
  teardown
  pid=$(sed -n 's/^\([0-9]*\): debug_capture: started .*QuorvaneSetup\.exe\r\?$/\1/p' "$debug" | head -1)
  exited=$(sed -n "s/^$pid: debug_capture: exited \([0-9]*\)\r\?$/\1/p" "$debug")
  [ -n "$pid" ] && [ "$exited" = "$code" ]
  check $? "$name: the installer ends with exit code $code (exited: ${exited:-none}, rc=$rc)"
  runlog=$("$wine_run" winepath -u "$(grep -ao 'starts; log .*\.log' "$debug" | head -1 | cut -d' ' -f3-)" \
           2>/dev/null </dev/null | tr -d '\r')
  last=$(tail -1 "$runlog" 2>/dev/null | sed 's/^[0-9-]* [0-9:.]* \[[^]]*\] //' | tr -d '\r')
  [ "$last" = "QuorvaneSetup ends; exit code $code" ]
  check $? "$name: the run log's last line gives the exit code $code (${last:-no log})"
  grep -q "^$pid: $line" "$debug"
  check $? "$name: the run writes \"$line\""
  got=$(reports | tr '\n' ';')
  [ "${got:--}" = "$want_reports" ]
  check $? "$name: the reports the simulator received: $want_reports (got: ${got:--})"
  case $name in
    proxy_auth)
      python3 - "$PROXY_LOG" <<'PY'
import json, sys
seen = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
sys.exit(0 if seen and all(e["method"] == "CONNECT" and e["action"] == "auth-required" for e in seen) else 1)
PY
      check $? "$name: every request was a CONNECT the proxy answered with 407"
      ;;
    not_started)
      ! grep -q "debug_capture: started .*ChannelIstaller" "$debug" && [ ! -e "$out/$name/install/installer_args.txt" ]
      check $? "$name: no full installer process started"
      ;;
  esac
  if [ $fail != 0 ]; then echo "#   last lines of $debug:"; tail -6 "$debug" | sed 's/^/#     /'; fi
  fail=$((fail | failed_before))
done <<'ROWS'
not_started|7104|execute installer failed with error: 193|2000 tt_failed;
proxy_auth|7107|down load up grade file failed: a proxy needs authentication|-
session_end|7109|Windows session ends; exit code 7109|-
session_end_idle|0|Windows session ends; exit code 0|-
ROWS

exit $fail
