#!/usr/bin/env bash
# End-to-end runs of the built installer under Wine: silent completion, a
# silent start without an automatic option, an interactive window that a
# screenshot shows, and interactive installs driven by real clicks (one that
# finishes, one that fails). Installs run against the native vendor simulator on
# 127.0.0.1 (see testing/servers/vendor_sim_env.sh).
# Usage: app_wine_test.sh WINE_RUN EXE OUT_DIR SOURCE_DIR INSTALLER_EXE CAPTURE_EXE
set -u
wine_run=$1 exe=$2 out=$3 src=$4 installer=$5 capture=$6
# First thing: the deadline that ends this script and what it started.
. "$src/testing/wine/wine_script.sh"
qv_deadline 270  # without QV_SCRIPT_DEADLINE (run by hand)
mkdir -p "$out"
. "$src/testing/servers/vendor_sim_env.sh"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
. "$src/testing/display.sh"
qv_display_ensure || { echo "FAIL - no display"; exit 1; }
prefix=${QV_WINEPREFIX:-$(sed -n 's/^export WINEPREFIX="\${QV_WINEPREFIX:-\(.*\)}"$/\1/p' "$wine_run")}
# The prefix is shared with other tests: only this test's programs are ended
# (the installer under both its names, its download, the client it
# installed, debug_capture).
trap 'qv_deadline_stop; stop_vendor_sim
      qv_end_wine_programs "$prefix" QuorvaneSetup ChannelIstaller debug_capture.exe "$out"; qv_display_stop' EXIT
# Ends a run started in the background as PID (the runner): a stop request,
# which the runner hands to the program, then, after 10 s, a kill. Sets rc.
end_run() {
  kill "$1" 2>/dev/null
  timeout 10 tail --pid="$1" -f /dev/null || kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  rc=$?
}
# Waits up to 30 s for a run started as PID (the runner) to end by itself,
# then ends it. Sets rc.
await_end() {  # RUNNER_PID
  timeout 30 tail --pid="$1" -f /dev/null
  end_run "$1"
}
# The installer's window once it shows (empty after 60 s), then a moment to
# paint: found by its process (an image name of its own), so no other window
# on the display can stand in for it.
wait_for_window() {
  local found
  found=$(qv_wait_window "$1" 60) && sleep 2
  echo "${found#* }"
}

# The run's log of the process that ran last: "QuorvaneSetup_<pid>.log" in the
# prefix's temporary folder, the newest one.
newest_log() { ls -t "$prefix"/drive_c/users/*/AppData/Local/Temp/QuorvaneSetup_*.log \
                     "$prefix"/drive_c/users/*/Temp/QuorvaneSetup_*.log 2>/dev/null | head -1; }
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
[ $rc -eq 0 ] && check 0 "silent automatic install ends by itself with exit code 0" \
             || check 1 "silent automatic install ends by itself with exit code 0 (rc=$rc)"
[ "$(reports)" = "0 " ] && check 0 "one report of a success" || check 1 "one report of a success: $(reports)"

# 2. "-silent" alone waits for nothing and never ends by itself: once its run
# has begun (its log's first line, through debug_capture), it is still
# running some seconds later; then it is ended.
"$wine_run" "$capture" "$(winpath "$exe")" -silent >"$out/silent_alone.txt" 2>/dev/null &
pid=$!
began=""
for i in $(seq 1 1200); do
  grep -q "QuorvaneSetup starts; log" "$out/silent_alone.txt" && { began=1; break; }
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
[ -n "$began" ] && sleep 5
alive=""
[ -n "$began" ] && kill -0 $pid 2>/dev/null && ! grep -q "debug_capture: exited" "$out/silent_alone.txt" && alive=1
end_run $pid
[ -n "$alive" ] && check 0 "silent start without automatic option stays alive" \
                || check 1 "silent start without automatic option stays alive (began: ${began:-no})"

# 3. Silent automatic installs that fail end by themselves, after exactly one
# failure report (code 2000), with the failure's exit code; the run's log
# names the failure and ends with the exit code. No domain answers: 7102. The
# full installer reports a failure text: 7105.
# Older logs go: the folder keeps the five newest. Seven older logs are
# seeded beside this section's two runs; what stays is the runs' own logs and
# the newest of the seeded ones.
tempdir=$(dirname "$(newest_log)")
rm -f "$tempdir"/QuorvaneSetup_*.log
seeded=()
for d in 1 2 3 4 5 6 7; do
  touch -d "$d days ago" "$tempdir/QuorvaneSetup_$((90000 + d)).log"
  seeded+=("QuorvaneSetup_$((90000 + d)).log")
done
run_logs=()
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
  [ $rc -eq "$(unix_rc "$want")" ] && check 0 "silent failed install ($name) ends by itself with exit code $want" \
                      || check 1 "silent failed install ($name) ends by itself with exit code $want (rc=$rc)"
  got=$(reports)
  [ "$(echo "$got" | grep -c .)" -eq 1 ] && [ "${got%% *}" = 2000 ] \
    && check 0 "exactly one failure report ($name): $got" || check 1 "exactly one failure report ($name): $got"
  log=$(newest_log)
  if [ -n "$log" ] && log_ok "$log" "QuorvaneSetup starts; log" "QuorvaneSetup ends; exit code $want" \
     && grep -q "install failed: .*; exit code $want" "$log"; then
    check 0 "the run's log names the failure and ends with exit code $want ($log)"
  else
    check 1 "the run's log names the failure and ends with exit code $want (${log:-no log})"
  fi
  cp "$log" "$out/failed_$name.log" 2>/dev/null
  [ -n "$log" ] && run_logs+=("$(basename "$log")")
done
kept=$(ls "$tempdir" | grep '^QuorvaneSetup_.*\.log$' | sort | tr '\n' ' ')
expected=$(printf '%s\n' "${run_logs[@]}" | sort -u)
expected=$(printf '%s\n' $expected "${seeded[@]:0:$((5 - $(grep -c . <<<"$expected")))}" | sort | tr '\n' ' ')
[ "$kept" = "$expected" ] && check 0 "the five newest logs are kept ($kept)" \
  || check 1 "the five newest logs are kept (kept: $kept; expected: $expected)"

# 3b. A temporary folder that cannot take the log (here: TEMP and TMP name a
# file) changes nothing: the same failure, the same exit code.
start_vendor_sim "$sim" "$out/sim3ro" --file "$installer" --domains 2 --fault 0:refuse,1:refuse || exit 1
: >"$out/not_a_folder"
timeout 180 "$wine_run" "$capture" --env "TEMP=$(winpath "$out/not_a_folder")" --env "TMP=$(winpath "$out/not_a_folder")" \
  "$(winpath "$exe")" -silent -auto-start -install-path "$(winpath "$out/install3ro")" >"$out/no_temp.txt" 2>/dev/null
rc=$?
stop_vendor_sim
[ $rc -eq "$(unix_rc 7102)" ] && [ "$(reports | grep -c '^2000')" -eq 1 ] && [ -f "$out/not_a_folder" ] \
  && check 0 "without a usable temporary folder the failed install still ends with 7102 and its report" \
  || check 1 "without a usable temporary folder the failed install still ends with 7102 and its report (rc=$rc)"

# 4. An interactive start shows the window.
if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
  cp "$exe" "$out/QuorvaneSetup-interactive.exe"
  "$wine_run" "$out/QuorvaneSetup-interactive.exe" &
  pid=$!
  found=""
  w=$(wait_for_window QuorvaneSetup-interactive.exe)
  [ -n "$w" ] && xdotool getwindowname "$w" 2>/dev/null | grep -q Quorvane && found=1
  import -window root "$out/interactive.png" 2>/dev/null
  end_run $pid
  [ -n "$found" ] && check 0 "interactive start shows a window titled Quorvane" \
                  || check 1 "interactive start shows a window titled Quorvane"
  spread=$(convert "$out/interactive.png" -format "%[fx:standard_deviation]" info: 2>/dev/null || echo 0)
  awk "BEGIN{exit !($spread > 0.01)}" && check 0 "the screenshot shows more than a blank screen ($out/interactive.png)" \
                                     || check 1 "the screenshot shows more than a blank screen (spread $spread)"
else
  check 1 "no display for the interactive check"
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
  wid=$(wait_for_window "$(basename "$named")")
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
  await_end $pid
  stop_vendor_sim
  [ -n "$wid" ] && check 0 "the window of an interactive start is found" || check 1 "the window of an interactive start is found"
  [ $rc -eq 0 ] && check 0 "interactive install ends after the start button with exit code 0" \
               || check 1 "interactive install ends after the start button with exit code 0 (rc=$rc)"
  for i in $(seq 1 20); do [ -s "$folder/client_started.txt" ] && break; sleep 0.5; done
  [ -s "$folder/client_started.txt" ] && check 0 "the start button started the installed client" \
                                     || check 1 "the start button started the installed client"
  # The requests the simulator received: the report of the finished install
  # and the activation, both naming this channel and the language chosen.
  python3 - "$SIM_RECORD" <<'PY' && check 0 "the finished install and the activation were reported" \
                                || check 1 "the finished install and the activation were reported"
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
  # The run log keeps what a person may send to support: no device id, no
  # user agent (it carries the device id), no report or activation body of
  # this run, though the log names both requests.
  log=$(newest_log)
  python3 - "$SIM_RECORD" "$log" <<'PY' && check 0 "the run log holds no device id, user agent, report or activation body ($log)" \
                                      || check 1 "the run log holds no device id, user agent, report or activation body ($log)"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
log = open(sys.argv[2], encoding="utf-8", errors="replace").read() if sys.argv[2] else ""
secrets = {}
for l in lines:
    if l["method"] != "POST":
        continue
    secrets["body of " + l["path"]] = l["body"]
    secrets["user agent"] = l["headers"].get("User-Agent", "")
    if l["path"] == "/api/data_report/client/update_pc_module":
        body = json.loads(l["body"])
        secrets["device id"] = body["device_info"]["mac"]
        secrets["attempt id"] = body["extra_info"]["attempt_id"]
        secrets["device_info member"] = '"device_info"'
    if l["path"] == "/api/common_bll/v1/client/active":
        secrets["aid member"] = '"aid"'
ok = "client/update_pc_module" in log and "client/active" in log and "device id" in secrets
if not ok:
    print("  the log does not name both requests, or no report was received")
for what, text in secrets.items():
    if text and text in log:
        print("  the log holds the", what + ":", text[:80])
        ok = False
sys.exit(0 if ok else 1)
PY
  for s in page0 page1 page2; do
    [ -s "$out/$s.png" ] && check 0 "screenshot $out/$s.png" || check 1 "screenshot $out/$s.png"
  done
else
  check 1 "no display for the interactive install"
fi

# 6. A person's install that fails (no domain answers): page 1 keeps the
# failure text in red and the link to the download site inside the window,
# and the close button ends the installer with the failure's exit code.
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null; then
  start_vendor_sim "$sim" "$out/sim6" --file "$installer" --domains 2 --fault 0:refuse,1:refuse || exit 1
  cp "$exe" "$out/QuorvaneSetup-failing.exe"
  "$wine_run" "$out/QuorvaneSetup-failing.exe" -install-path "$(winpath "$out/install6")" &
  pid=$!
  wid=$(wait_for_window QuorvaneSetup-failing.exe)
  # Red text pixels in a window area: count of pixels of the failure colour.
  red_pixels() {  # png x y w h
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 rgb:- 2>/dev/null | python3 -c '
import sys
d = sys.stdin.buffer.read()
print(sum(1 for i in range(0, len(d) - 2, 3) if d[i] > 180 and d[i + 1] < 130 and d[i + 2] < 140))'
  }
  shown=""
  if [ -n "$wid" ]; then
    # "install"; clicked again if the run has not asked the directory after 5 s.
    for attempt in 1 2 3; do
      click 275 149
      for i in $(seq 1 50); do grep -q "backup_domain/list" "$SIM_RECORD" 2>/dev/null && break 2; sleep 0.1; done
    done
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
    # "closebtn"; clicked until the installer has gone.
    for i in $(seq 1 10); do
      kill -0 $pid 2>/dev/null || break
      click 526 24
      sleep 1
    done
  fi
  await_end $pid
  stop_vendor_sim
  [ -n "$shown" ] && check 0 "a failed install shows its text on page 1 ($out/page1-failed.png)" \
                  || check 1 "a failed install shows its text on page 1"
  [ "${links:-0}" -gt 20 ] && check 0 "the download link shows inside the window" \
                           || check 1 "the download link shows inside the window (${links:-0} link pixels)"
  [ $rc -eq "$(unix_rc 7102)" ] && check 0 "the close button ends a failed install with exit code 7102" \
                  || check 1 "the close button ends a failed install with exit code 7102 (rc=$rc)"
fi
exit $fail
