# A virtual X display for programs that open windows (Wine, screenshots).
# Sourced by bash scripts; it sets no traps, so the caller stops what it started.
#
#   qv_display_start    starts a private Xvfb (1280x800, 24 bits, no TCP) and
#                       exports DISPLAY; fails when no server comes up
#   qv_display_ensure   the same, but only when DISPLAY is empty
#   qv_display_stop     stops the Xvfb this shell started, if any
#
# Xvfb picks a free display number itself (-displayfd) and reports it once it
# accepts connections, so callers running at the same time never collide and
# never connect too early.

QV_XVFB_PID=

qv_display_start() {
  local numfile i
  numfile=$(mktemp /tmp/qv-display-XXXXXX) || return 1
  Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 5>"$numfile" >/dev/null 2>&1 &
  QV_XVFB_PID=$!
  for i in $(seq 1 100); do
    [ -s "$numfile" ] && break
    kill -0 "$QV_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$numfile" ]; then
    rm -f "$numfile"
    qv_display_stop
    echo "no virtual display: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$numfile")"
  rm -f "$numfile"
}

qv_display_ensure() {
  [ -n "${DISPLAY:-}" ] || qv_display_start
}

qv_display_stop() {
  if [ -n "${QV_XVFB_PID:-}" ]; then
    kill "$QV_XVFB_PID" 2>/dev/null
    wait "$QV_XVFB_PID" 2>/dev/null
    QV_XVFB_PID=
  fi
}
