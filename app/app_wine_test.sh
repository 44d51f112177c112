#!/usr/bin/env bash
# End-to-end runs of the built installer under Wine: silent completion, a
# silent start without an automatic option, and an interactive window that a
# screenshot shows. Installs run against the native vendor simulator on
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
exit $fail
