#!/usr/bin/env bash
# End-to-end runs of the built installer under Wine: silent completion, a
# silent start without an automatic option, an interactive window that a
# screenshot shows, and interactive installs driven by real clicks (one that
# finishes, one that fails). Installs run against the native vendor simulator on
# 127.0.0.1 (see testing/servers/vendor_sim_env.sh).
# Usage: app_wine_test.sh WINE_RUN EXE OUT_DIR SOURCE_DIR INSTALLER_EXE CAPTURE_EXE
set -u
wine_run=$1 exe=$2 out=$3 src=$4 installer=$5 capture=$6
mkdir -p "$out"
. "$src/testing/servers/vendor_sim_env.sh"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
trap 'stop_vendor_sim' EXIT
winpath() { echo "Z:$1" | tr / '\\'; }
. "$src/testing/display.sh"
qv_display_ensure || { echo "FAIL - no display"; exit 1; }
trap 'stop_vendor_sim; qv_display_stop' EXIT
fail=0
check() { if [ "$1" = ok ]; then echo "ok   - $2"; else echo "FAIL - $2"; fail=1; fi; }
# The visible window of the installer started as PID (the runner, or the Wine
# process it runs: Wine sets _NET_WM_PID), found by its process rather than by
# its title, so no other window on the display can stand in for it.
window_of() {
  local p
  for p in "$1" $(pgrep -P "$1"); do
    xdotool search --all --onlyvisible --pid "$p" --name "." 2>/dev/null | head -1
  done | head -1
}
# The installer's window id once it shows (empty after 30 s), then a moment to paint.
wait_for_window() {
  local w=""
  for i in $(seq 1 30); do
    sleep 1
    w=$(window_of "$1")
    [ -n "$w" ] && break
  done
  sleep 2
  echo "$w"
}

# The run's log of the process that ran last: "QuorvaneSetup_<pid>.log" in the
# prefix's temporary folder, the newest one.
prefix=${QV_WINEPREFIX:-$(sed -n 's/^export WINEPREFIX="\${QV_WINEPREFIX:-\(.*\)}"$/\1/p' "$wine_run")}
newest_log() { ls -t "$prefix"/drive_c/users/*/AppData/Local/Temp/QuorvaneSetup_*.log \
                     "$prefix"/drive_c/users/*/Temp/QuorvaneSetup_*.log 2>/dev/null | head -1; }
# The install reports the simulator received: "http_code error_module" per line.
reports() {
  python3 - "$SIM_RECORD" <<'PY'
import json, sys
for l in open(sys.argv[1], encoding="utf-8"):
    if not l.strip(): continue
    r = json.loads(l)
    if r["path"] == "/api/data_report/client/update_pc_module":
        d = json.loads(r["body"])["error_detail"]
        print(d["http_code"], d.get("error_module", ""))
PY
}
# Log lines carry a time stamp and a thread id; the run's own lines follow in order.
log_ok() {  # log first_expected last_expected
  python3 - "$@" <<'PY'
import re, sys
lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().splitlines()
stamp = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[[^\]]+\] (.*)$")
texts = []
for l in lines:
    m = stamp.match(l)
    if not m: print("  unstamped line:", l); sys.exit(1)
    texts.append(m.group(1))
if not texts or not texts[0].startswith(sys.argv[2]): print("  first:", texts[:1]); sys.exit(1)
if texts[-1] != sys.argv[3]: print("  last:", texts[-1:]); sys.exit(1)
PY
}

# A Unix parent sees a Wine process's exit code modulo 256 (7102 -> 190); the
# full code is in the run's log and, on Windows, in the process's exit code.
unix_rc() { echo $(($1 % 256)); }

# 1. "-silent -auto-start" reaches the finished page and closes itself with 0.
start_vendor_sim "$sim" "$out/sim1" --file "$installer" --domains 2 || exit 1
timeout 120 "$wine_run" "$exe" -silent -auto-start -install-path "$(winpath "$out/install1")"
rc=$?
stop_vendor_sim
[ $rc -eq 0 ] && check ok "silent automatic install ends by itself with exit code 0" \
             || check no "silent automatic install ends by itself with exit code 0 (rc=$rc)"
[ "$(reports)" = "0 " ] && check ok "one report of a success" || check no "one report of a success: $(reports)"

# 2. "-silent" alone waits for nothing and never ends by itself.
timeout 8 "$wine_run" "$exe" -silent
rc=$?
[ $rc -eq 124 ] && check ok "silent start without automatic option stays alive" \
               || check no "silent start without automatic option stays alive (rc=$rc)"

# 3. Silent automatic installs that fail end by themselves, after exactly one
# failure report (code 2000), with the failure's exit code; the run's log
# names the failure and ends with the exit code. No domain answers: 7102. The
# full installer reports a failure text: 7105.
for c in "download 7102 --fault 0:refuse,1:refuse" "installer 7105"; do
  set -- $c
  name=$1 want=$2
  shift 2
  start_vendor_sim "$sim" "$out/sim3$name" --file "$installer" --domains 2 "$@" || exit 1
  extra=""
  [ "$name" = installer ] && extra="-sample-fail=disk%20full"
  timeout 120 "$wine_run" "$exe" -silent -auto-start -install-path "$(winpath "$out/install3$name")" $extra
  rc=$?
  stop_vendor_sim
  [ $rc -eq "$(unix_rc "$want")" ] && check ok "silent failed install ($name) ends by itself with exit code $want" \
                      || check no "silent failed install ($name) ends by itself with exit code $want (rc=$rc)"
  got=$(reports)
  [ "$(echo "$got" | grep -c .)" -eq 1 ] && [ "${got%% *}" = 2000 ] \
    && check ok "exactly one failure report ($name): $got" || check no "exactly one failure report ($name): $got"
  log=$(newest_log)
  if [ -n "$log" ] && log_ok "$log" "QuorvaneSetup starts; log" "QuorvaneSetup ends; exit code $want" \
     && grep -q "install failed: .*; exit code $want" "$log"; then
    check ok "the run's log names the failure and ends with exit code $want ($log)"
  else
    check no "the run's log names the failure and ends with exit code $want (${log:-no log})"
  fi
  cp "$log" "$out/failed_$name.log" 2>/dev/null
done

# 3b. A temporary folder that cannot take the log (here: a file where the
# folder should be) changes nothing: the same failure, the same exit code.
tempdir=$(dirname "$(newest_log)")
start_vendor_sim "$sim" "$out/sim3ro" --file "$installer" --domains 2 --fault 0:refuse,1:refuse || exit 1
rc=-1
if [ -d "$tempdir" ] && mv "$tempdir" "$tempdir.saved"; then
  : >"$tempdir"
  timeout 120 "$wine_run" "$exe" -silent -auto-start -install-path "$(winpath "$out/install3ro")"
  rc=$?
  rm -f "$tempdir"
  mv "$tempdir.saved" "$tempdir"
fi
stop_vendor_sim
[ $rc -eq "$(unix_rc 7102)" ] && [ "$(reports | grep -c '^2000')" -eq 1 ] \
  && check ok "without a usable temporary folder the failed install still ends with 7102 and its report" \
  || check no "without a usable temporary folder the failed install still ends with 7102 and its report (rc=$rc)"
# Older logs go: the folder keeps at most five.
[ "$(ls "$tempdir"/QuorvaneSetup_*.log 2>/dev/null | wc -l)" -le 5 ] && check ok "at most five logs are kept" \
  || check no "at most five logs are kept"

# 4. An interactive start shows the window.
if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
  "$wine_run" "$exe" &
  pid=$!
  found=""
  for i in $(seq 1 30); do
    sleep 1
    w=$(window_of $pid)
    if [ -n "$w" ] && xdotool getwindowname "$w" 2>/dev/null | grep -q Quorvane; then found=1; break; fi
  done
  sleep 2
  import -window root "$out/interactive.png" 2>/dev/null
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
  [ -n "$found" ] && check ok "interactive start shows a window titled Quorvane" \
                  || check no "interactive start shows a window titled Quorvane"
  spread=$(convert "$out/interactive.png" -format "%[fx:standard_deviation]" info: 2>/dev/null || echo 0)
  awk "BEGIN{exit !($spread > 0.01)}" && check ok "the screenshot shows more than a blank screen ($out/interactive.png)" \
                                     || check no "the screenshot shows more than a blank screen (spread $spread)"
else
  check no "no display for the interactive check"
fi

# 5. A person's install with real clicks: "install" on page 0, the progress of
# the real channel install on page 1, page 2, then "startApp" starts the
# installed client and the installer ends with exit code 0. The installer's
# file name carries a channel and the platform and aid values, so the
# finished install is reported and the client activation too.
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null; then
  start_vendor_sim "$sim" "$out/sim5" --file "$installer" --domains 2 --rate '*:400k' || exit 1
  folder="$out/install5"
  rm -rf "$folder"
  named="$out/QuorvaneSetup_cid12_seosourceid77_platformid3_aid901.exe"
  cp "$exe" "$named"
  "$wine_run" "$named" -install-path "$(winpath "$folder")" &
  pid=$!
  wid=$(wait_for_window $pid)
  shot() {  # name: the window's area of the screen
    eval "$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null)"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$1.png" 2>/dev/null
  }
  click() {  # x y inside the window
    eval "$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null)"
    xdotool mousemove $((X + $1)) $((Y + $2)) sleep 0.2 click 1
  }
  if [ -n "$wid" ]; then
    shot page0
    # "install", centred, 129 px from the top, 40 px high; the click has landed
    # once the run asks the directory (clicked again if it had not after 5 s).
    for attempt in 1 2 3; do
      click 275 149
      for i in $(seq 1 50); do grep -q "backup_domain/list" "$SIM_RECORD" 2>/dev/null && break 2; sleep 0.1; done
    done
    shot page1
    for i in $(seq 1 120); do [ -f "$folder/Quorvane.exe" ] && break; sleep 1; done
    sleep 3
    shot page2
    # "startApp" (page 2); clicked until the installer has gone.
    for i in $(seq 1 30); do
      kill -0 $pid 2>/dev/null || break
      click 275 258
      sleep 1
    done
  fi
  timeout 30 tail --pid=$pid -f /dev/null
  wait $pid
  rc=$?
  stop_vendor_sim
  [ -n "$wid" ] && check ok "the window of an interactive start is found" || check no "the window of an interactive start is found"
  [ $rc -eq 0 ] && check ok "interactive install ends after the start button with exit code 0" \
               || check no "interactive install ends after the start button with exit code 0 (rc=$rc)"
  for i in $(seq 1 20); do [ -s "$folder/client_started.txt" ] && break; sleep 0.5; done
  [ -s "$folder/client_started.txt" ] && check ok "the start button started the installed client" \
                                     || check no "the start button started the installed client"
  # The requests the simulator received: the report of the finished install
  # and the activation, both naming this channel and the language chosen.
  python3 - "$SIM_RECORD" <<'PY' && check ok "the finished install and the activation were reported" \
                                || check no "the finished install and the activation were reported"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
report = [l for l in lines if l["path"] == "/api/data_report/client/update_pc_module"]
active = [l for l in lines if l["path"] == "/api/common_bll/v1/client/active"]
ok = True
def need(cond, what):
    global ok
    if not cond:
        print("  not as expected:", what)
        ok = False
need(len(report) == 1, "one install report, got %d" % len(report))
need(len(active) == 1, "one activation, got %d" % len(active))
if report:
    body = json.loads(report[0]["body"])
    need(body["action_type"] == "install" and body["error_detail"]["http_code"] == 0, "report of a success")
    need(body["install_path"].endswith("install5"), "report names the folder: " + body["install_path"])
    agent = report[0]["headers"].get("User-Agent", "")
    need("/12/Quorvane-PC/" in agent and agent.endswith("/English"), "report agent: " + agent)
if active:
    need(active[0]["body"] == '{ "aid": "901", "platform_id": 3 }', "activation body: " + active[0]["body"])
    agent = active[0]["headers"].get("User-Agent", "")
    need("/12/Quorvane-PC/" in agent and agent.endswith("/English"), "activation agent: " + agent)
sys.exit(0 if ok else 1)
PY
  for s in page0 page1 page2; do
    [ -s "$out/$s.png" ] && check ok "screenshot $out/$s.png" || check no "screenshot $out/$s.png"
  done
else
  check no "no display for the interactive install"
fi

# 6. A person's install that fails (no domain answers): page 1 keeps the
# failure text in red and the link to the download site inside the window,
# and the close button ends the installer with the failure's exit code.
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null; then
  start_vendor_sim "$sim" "$out/sim6" --file "$installer" --domains 2 --fault 0:refuse,1:refuse || exit 1
  "$wine_run" "$exe" -install-path "$(winpath "$out/install6")" &
  pid=$!
  wid=$(wait_for_window $pid)
  # Red text pixels in a window area: count of pixels of the failure colour.
  red_pixels() {  # png x y w h
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 rgb:- 2>/dev/null | python3 -c '
import sys
d = sys.stdin.buffer.read()
print(sum(1 for i in range(0, len(d) - 2, 3) if d[i] > 180 and d[i + 1] < 130 and d[i + 2] < 140))'
  }
  shown=""
  if [ -n "$wid" ]; then
    click 275 149
    for i in $(seq 1 60); do
      sleep 1
      shot page1-failed
      [ "$(red_pixels "$out/page1-failed.png" 40 280 470 45)" -gt 20 ] && { shown=1; break; }
    done
    sleep 1
    shot page1-failed
    # The link row, below the bar, inside the window: blue link pixels.
    links=$(convert "$out/page1-failed.png" -crop 470x26+40+330 +repage -depth 8 rgb:- 2>/dev/null | python3 -c '
import sys
d = sys.stdin.buffer.read()
print(sum(1 for i in range(0, len(d) - 2, 3) if d[i + 2] > 200 and d[i] < 140))')
    click 526 24    # "closebtn"
  fi
  timeout 30 tail --pid=$pid -f /dev/null
  wait $pid
  rc=$?
  stop_vendor_sim
  [ -n "$shown" ] && check ok "a failed install shows its text on page 1 ($out/page1-failed.png)" \
                  || check no "a failed install shows its text on page 1"
  [ "${links:-0}" -gt 20 ] && check ok "the download link shows inside the window" \
                           || check no "the download link shows inside the window (${links:-0} link pixels)"
  [ $rc -eq "$(unix_rc 7102)" ] && check ok "the close button ends a failed install with exit code 7102" \
                  || check no "the close button ends a failed install with exit code 7102 (rc=$rc)"
fi
exit $fail
