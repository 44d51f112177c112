#!/usr/bin/env bash
# End-to-end runs of the built installer under Wine: silent completion, a
# silent start without an automatic option, an interactive window that a
# screenshot shows, and an interactive install driven by real clicks. Installs run against the native vendor simulator on
# 127.0.0.1 (see channel/testing/vendor_sim_env.sh).
# Usage: app_wine_test.sh WINE_RUN EXE OUT_DIR SOURCE_DIR INSTALLER_EXE CAPTURE_EXE
set -u
wine_run=$1 exe=$2 out=$3 src=$4 installer=$5 capture=$6
mkdir -p "$out"
. "$src/channel/testing/vendor_sim_env.sh"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
trap 'stop_vendor_sim' EXIT
winpath() { echo "Z:$1" | tr / '\\'; }
if [ -z "${DISPLAY:-}" ]; then
  n=$((100 + RANDOM % 400))
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null; stop_vendor_sim' EXIT
  export DISPLAY=":$n"
  sleep 1
fi
fail=0
check() { if [ "$1" = ok ]; then echo "ok   - $2"; else echo "FAIL - $2"; fail=1; fi; }

# 1. "-silent -auto-start" reaches the finished page and closes itself with 0.
start_vendor_sim "$sim" "$out/sim1" --file "$installer" --domains 2 || exit 1
timeout 120 "$wine_run" "$exe" -silent -auto-start -install-path "$(winpath "$out/install1")"
rc=$?
stop_vendor_sim
[ $rc -eq 0 ] && check ok "silent automatic install ends by itself with exit code 0" \
             || check no "silent automatic install ends by itself with exit code 0 (rc=$rc)"

# 2. "-silent" alone waits for nothing and never ends by itself.
timeout 8 "$wine_run" "$exe" -silent
rc=$?
[ $rc -eq 124 ] && check ok "silent start without automatic option stays alive" \
               || check no "silent start without automatic option stays alive (rc=$rc)"

# 3. A silent automatic install that fails (no domain answers) keeps the hidden
# window (and the process) alive: still running 3 s after the failure.
start_vendor_sim "$sim" "$out/sim3" --file "$installer" --domains 2 --fault 0:refuse,1:refuse || exit 1
timeout 120 "$wine_run" "$capture" --end-after "channel install failed" 3000 "$(winpath "$exe")" -silent -auto-start \
  -install-path "$(winpath "$out/install3")" >"$out/failed_run.txt" 2>/dev/null
rc=$?
stop_vendor_sim
[ $rc -eq 124 ] && grep -q "channel install failed" "$out/failed_run.txt" \
  && check ok "silent failed install keeps running" \
  || check no "silent failed install keeps running (rc=$rc)"

# 4. An interactive start shows the window.
if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
  "$wine_run" "$exe" &
  pid=$!
  found=""
  for i in $(seq 1 30); do
    sleep 1
    if xdotool search --name "Quorvane" >/dev/null 2>&1; then found=1; break; fi
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
# installed client and the installer ends with exit code 0.
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null; then
  start_vendor_sim "$sim" "$out/sim5" --file "$installer" --domains 2 --rate '*:400k' || exit 1
  folder="$out/install5"
  rm -rf "$folder"
  "$wine_run" "$exe" -install-path "$(winpath "$folder")" &
  pid=$!
  wid=""
  for i in $(seq 1 30); do
    sleep 1
    wid=$(xdotool search --name "Installation Guide" 2>/dev/null | head -1)
    [ -n "$wid" ] && break
  done
  sleep 2
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
    click 275 149   # "install", centred, 129 px from the top, 40 px high
    sleep 2
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
  grep -q '"path":"/api/data_report/client/update_pc_module"' "$SIM_RECORD" 2>/dev/null \
    && grep '"path":"/api/data_report/client/update_pc_module"' "$SIM_RECORD" | grep -q 'http_code\\":0' \
    && check ok "the finished install was reported" || check no "the finished install was reported"
  for s in page0 page1 page2; do
    [ -s "$out/$s.png" ] && check ok "screenshot $out/$s.png" || check no "screenshot $out/$s.png"
  done
else
  check no "no display for the interactive install"
fi
exit $fail
