# Shell functions (bash, sourced) shared by the scripts that test the built
# programs under Wine. It sets no traps: the caller ends what it started,
# usually with qv_end_wine_programs in its EXIT trap.
#
#   winpath PATH              the Windows name of a Linux path ("Z:\...")
#   check STATUS DESCRIPTION  prints "ok   - DESCRIPTION" when STATUS is 0,
#                             else "FAIL - DESCRIPTION" and sets fail=1
#   qv_map_fonts WINE_RUN     maps the faces a Windows machine has to this
#                             machine's fonts in the prefix WINE_RUN uses
#   qv_process_of_image NAME  the Linux process id of the running Windows
#                             program whose image name contains NAME
#   qv_window_of PID          the shown main window (one with a title) of the
#                             Linux process PID
#   qv_wait_window NAME [S]   waits up to S seconds (30) for the main window of
#                             the program NAME; prints "PID WINDOW"
#   qv_end_wine_programs PREFIX PATTERN...
#                             ends every process of the Wine prefix PREFIX
#                             whose command line contains one of PATTERN (the
#                             programs this script started), within bounded
#                             waits, and says which it had to end
#   qv_end_prefix PREFIX      ends everything in a prefix of the script's own
#                             (wineserver -k), within a bounded wait
#   qv_deadline SECONDS       ends the script after SECONDS (see below)

fail=${fail:-0}

winpath() { echo "Z:$1" | tr / '\\'; }

check() {
  if [ "$1" = 0 ]; then echo "ok   - $2"; else echo "FAIL - $2"; fail=1; fi
}

# The window asks for the faces a Windows machine has ("Yu Gothic UI",
# "Microsoft YaHei", "Malgun Gothic", Arabic in Arial, Thai in Tahoma); they
# are mapped to the DejaVu and Noto fonts of this machine so that
# photographs show real text. DejaVu Sans stands in for Arial: it has Latin,
# Cyrillic, Vietnamese and Arabic, and is a little wider, so a text that fits
# here fits in Arial.
qv_map_fonts() {
  local reg
  reg=$(mktemp --suffix=.reg) || return 1
  printf '%s\r\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"Yu Gothic UI"="Noto Sans CJK JP"' '"Microsoft YaHei"="Noto Sans CJK SC"' '"Malgun Gothic"="Noto Sans CJK KR"' \
    '"Arial"="DejaVu Sans"' '"Tahoma"="Noto Sans Thai"' '' >"$reg"
  "$1" regedit /S "$(winpath "$reg")" >/dev/null 2>&1
  local rc=$?
  rm -f "$reg"
  return $rc
}

# Wine starts a program's process detached from the process that asked for
# it, so a program is found by its image (give each run an image name of its
# own where several may run).
qv_process_of_image() {
  local f
  for f in /proc/[0-9]*/cmdline; do
    if { tr '\0' '\n' <"$f" | head -1 | grep -qiF "$1"; } 2>/dev/null; then
      f=${f#/proc/}
      echo "${f%/cmdline}"
      return 0
    fi
  done
  return 1
}

# The main window: a shown window of that process with a title (Wine sets
# _NET_WM_PID; the shadow, the folder field's host and the tool tip have no
# title). Found by its process, so no other window on the display can stand in.
qv_window_of() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
    [ -n "$(xdotool getwindowname "$w" 2>/dev/null)" ] && { echo "$w"; return 0; }
  done
  return 1
}

qv_wait_window() {
  local name=$1 tenths=$((${2:-30} * 10)) i p w
  for i in $(seq 1 "$tenths"); do
    p=$(qv_process_of_image "$name") && w=$(qv_window_of "$p") && { echo "$p $w"; return 0; }
    sleep 0.1
  done
  return 1
}

# The processes of a prefix: Wine passes WINEPREFIX on to every process it
# starts in it.
qv_wine_processes() {  # PREFIX PATTERN...
  local prefix=$1 f pid cmd p
  shift
  for f in /proc/[0-9]*/environ; do
    pid=${f#/proc/}
    pid=${pid%/environ}
    [ "$pid" = $$ ] && continue
    { tr '\0' '\n' <"$f" | grep -qxF "WINEPREFIX=$prefix"; } 2>/dev/null || continue
    cmd=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || continue
    for p in "$@"; do
      case $cmd in *"$p"*) echo "$pid"; break ;; esac
    done
  done
}

qv_end_wine_programs() {  # PREFIX PATTERN...
  local pids i
  pids=$(qv_wine_processes "$@")
  [ -n "$pids" ] || return 0
  echo "# ending what this script started and left running: $(echo $pids)"
  # shellcheck disable=SC2086
  kill $pids 2>/dev/null
  for i in $(seq 1 50); do
    pids=$(for p in $pids; do kill -0 "$p" 2>/dev/null && echo "$p"; done)
    [ -n "$pids" ] || return 0
    sleep 0.1
  done
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null
  return 0
}

qv_end_prefix() {  # PREFIX
  WINEPREFIX=$1 timeout 20 wineserver -k >/dev/null 2>&1
  WINEPREFIX=$1 timeout 20 wineserver -w >/dev/null 2>&1
  return 0
}

# qv_deadline SECONDS: ends this script when it has run that long
# ($QV_SCRIPT_DEADLINE instead when set: CTest's limit for the test less a
# margin), before CTest's own limit would kill it outright and no EXIT trap
# could end what it started. The script gets TERM, then what runs in its
# foreground, so that its EXIT trap runs as soon as that has ended. Call it
# first thing; qv_deadline_stop, in the EXIT trap, ends the watch.
QV_DEADLINE_PID=
qv_deadline() {
  local main=$$ limit=${QV_SCRIPT_DEADLINE:-$1}
  trap 'exit 124' TERM
  (
    trap 'kill $sleeper 2>/dev/null; exit 0' TERM
    sleep "$limit" &
    sleeper=$!
    wait $sleeper
    echo "FAIL - the script ran for $limit s and is ended" >&2
    kill -TERM "$main"
    pkill -TERM -P "$main"
  ) &
  QV_DEADLINE_PID=$!
}
qv_deadline_stop() {
  if [ -n "$QV_DEADLINE_PID" ]; then kill "$QV_DEADLINE_PID" 2>/dev/null; wait "$QV_DEADLINE_PID" 2>/dev/null; fi
  QV_DEADLINE_PID=
}
