#!/usr/bin/env bash
# End-to-end runs of the built installer under Wine: silent completion, a
# silent start without an automatic option, and an interactive window that a
# screenshot shows. Usage: app_wine_test.sh WINE_RUN EXE OUT_DIR
set -u
wine_run=$1 exe=$2 out=$3
mkdir -p "$out"
if [ -z "${DISPLAY:-}" ]; then
  n=$((100 + RANDOM % 400))
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null' EXIT
  export DISPLAY=":$n"
  sleep 1
fi
fail=0
check() { if [ "$1" = ok ]; then echo "ok   - $2"; else echo "FAIL - $2"; fail=1; fi; }

# 1. "-silent -auto-start" reaches the finished page and closes itself with 0.
timeout 120 "$wine_run" "$exe" -silent -auto-start
rc=$?
[ $rc -eq 0 ] && check ok "silent automatic install ends by itself with exit code 0" \
             || check no "silent automatic install ends by itself with exit code 0 (rc=$rc)"

# 2. "-silent" alone waits for nothing and never ends by itself.
timeout 8 "$wine_run" "$exe" -silent
rc=$?
[ $rc -eq 124 ] && check ok "silent start without automatic option stays alive" \
               || check no "silent start without automatic option stays alive (rc=$rc)"

# 3. A silent automatic install that fails keeps the hidden window (and the process) alive.
timeout 8 "$wine_run" "$exe" -silent -auto-start -rehearse-failure
rc=$?
[ $rc -eq 124 ] && check ok "silent failed install keeps running" \
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
