#!/usr/bin/env bash
# A keyboard-only install of the built installer under Wine, in English and in
# Arabic, against the vendor simulator with a capped download rate: the window
# (found by its process, not its title) is driven with xdotool keys alone —
# Tab, Space, Enter (and Down in the closed language list) — from the options
# page to the finished page and the start button. Escape and Alt+F4 on the
# progress page leave the installer running while its close button is off;
# the status row says how much has arrived, how fast and how long is left
# (the window writes each status text it shows as a debugger line).
# Usage: keyboard_wine_test.sh WINE_RUN EXE OUT_DIR SOURCE_DIR INSTALLER_EXE CAPTURE_EXE
set -u
wine_run=$1 exe=$2 out=$3 src=$4 installer=$5 capture=$6
mkdir -p "$out"
. "$src/testing/servers/vendor_sim_env.sh"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
. "$src/testing/display.sh"
qv_display_ensure || { echo "FAIL - no display"; exit 1; }
trap 'stop_vendor_sim; qv_display_stop' EXIT
command -v xdotool >/dev/null || { echo "FAIL - no xdotool"; exit 1; }
winpath() { echo "Z:$1" | tr / '\\'; }
fail=0
check() { if [ "$1" = ok ]; then echo "ok   - $2"; else echo "FAIL - $2"; fail=1; fi; }

# The installer's unix process: Wine starts a program's process detached from
# its parent, so it is found by its image, a copy of its own for this run.
process_of_image() {
  local f
  for f in /proc/[0-9]*/cmdline; do
    if tr '\0' '\n' <"$f" 2>/dev/null | head -1 | grep -qiF "$1"; then
      f=${f#/proc/}
      echo "${f%/cmdline}"
      return 0
    fi
  done
  return 1
}
# The installer's main window: a shown window of that process with a title
# (the shadow, the folder field's host and the tool tip have none).
window_of() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
    [ -n "$(xdotool getwindowname "$w" 2>/dev/null)" ] && { echo "$w"; return 0; }
  done
  return 1
}
shot() {  # name: the window's area of the screen
  eval "$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null)"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$1.png" 2>/dev/null
}
key() {  # keys, each pressed and let go, a moment apart
  local k
  for k in "$@"; do
    # Without a window manager X keeps the keyboard where Wine last put it
    # (the folder field's host); the window hands its keys on either way.
    xdotool windowfocus --sync "$wid" 2>/dev/null
    xdotool key --clearmodifiers "$k"
    sleep 0.4
  done
}

# A download that lasts long enough for a steady rate: the per-connection cap
# is a tenth of the installer's size per second (several connections share it).
size=$(stat -c %s "$installer")
rate=$(( size / 10 > 8192 ? size / 10 : 8192 ))

for lang in en arabic; do
  start_vendor_sim "$sim" "$out/sim-$lang" --file "$installer" --domains 1 --rate "*:$rate" || exit 1
  folder="$out/install-$lang"
  rm -rf "$folder"
  "$wine_run" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Quorvane /reg:32 /f >/dev/null 2>&1
  log="$out/debug_lines-$lang.txt"
  image="$out/QuorvaneSetup-keyboard-$lang.exe"
  cp "$exe" "$image"
  "$wine_run" "$capture" "$(winpath "$image")" -install-path "$(winpath "$folder")" >"$log" 2>"$out/wine-$lang.log" &
  pid=$!
  wid=""
  for i in $(seq 1 60); do
    sleep 1
    setup_pid=$(process_of_image "QuorvaneSetup-keyboard-$lang.exe") && wid=$(window_of "$setup_pid") && break
  done
  [ -n "$wid" ] && check ok "$lang: the installer's window is found by its process" \
                || check no "$lang: the installer's window is found by its process"
  if [ -n "$wid" ]; then
    sleep 2
    xdotool windowfocus --sync "$wid" 2>/dev/null
    sleep 0.5
    if [ "$lang" = arabic ]; then
      # Focus starts on "install"; four Tabs reach the language list, Down
      # picks the next language (Arabic, after English) and the window mirrors.
      key Tab Tab Tab Tab Down
      sleep 1
      shot "keyboard-$lang-page0-language"
      key Tab space   # "autostart" is next in the mirrored order too
    else
      key Tab Tab Tab Tab Tab space   # install, folder, browse, shortcut, language, autostart
    fi
    sleep 0.5
    shot "keyboard-$lang-page0"
    key Return      # the default button: install
    sleep 2
    shot "keyboard-$lang-page1"
    # The close button is off while installing: Escape and Alt+F4 do nothing.
    key Escape alt+F4
    sleep 1
    kill -0 "$setup_pid" 2>/dev/null && [ -n "$(xdotool getwindowname "$wid" 2>/dev/null)" ] \
      && check ok "$lang: Escape and Alt+F4 on the progress page leave the installer running" \
      || check no "$lang: Escape and Alt+F4 on the progress page leave the installer running"
    # The status row once the rate is steady: size, rate and time left.
    steady=""
    for i in $(seq 1 40); do
      if grep -aE "download status: " "$log" | grep -qaE "(left|المتبقي)"; then steady=1; break; fi
      sleep 0.5
    done
    shot "keyboard-$lang-download-detail"
    [ -n "$steady" ] && check ok "$lang: the status row shows size, rate and time left ($out/keyboard-$lang-download-detail.png)" \
                     || check no "$lang: the status row shows size, rate and time left"
    grep -a "download status: " "$log" | tail -1 | sed "s/^/     $lang last: /"
    for i in $(seq 1 120); do [ -f "$folder/Quorvane.exe" ] && break; sleep 1; done
    sleep 3
    shot "keyboard-$lang-page2"
    key Return      # focus is on the start button
  fi
  timeout 30 tail --pid=$pid -f /dev/null
  kill $pid 2>/dev/null
  wait $pid
  rc=$?
  stop_vendor_sim
  [ $rc -eq 0 ] && check ok "$lang: Enter on the finished page starts the client and ends with exit code 0" \
               || check no "$lang: Enter on the finished page starts the client and ends with exit code 0 (rc=$rc)"
  for i in $(seq 1 20); do [ -s "$folder/client_started.txt" ] && break; sleep 0.5; done
  [ -s "$folder/client_started.txt" ] && check ok "$lang: the start button started the installed client" \
                                     || check no "$lang: the start button started the installed client"
  # Space ticked "autostart": the client's logon command is registered.
  "$wine_run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Quorvane /reg:32 2>/dev/null |
    tr -d '\r' | grep -qi "Quorvane.exe" && check ok "$lang: Space ticked autostart (Run value set)" \
    || check no "$lang: Space ticked autostart (Run value set)"
  if [ "$lang" = arabic ]; then
    grep -aq "/Arabic" "$out/sim-$lang/record.jsonl" 2>/dev/null \
      && check ok "arabic: the language picked with the keyboard is the run's language" \
      || check no "arabic: the language picked with the keyboard is the run's language"
  fi
done
exit $fail
