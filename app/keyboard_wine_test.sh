#!/usr/bin/env bash
# A keyboard-only install of the built installer under Wine, in English and in
# Arabic (right to left), against the vendor simulator with a capped download
# rate. The window, found by its process, is driven from outside with real X
# key events only: Tab, Shift+Tab, Space and Enter from the options page to
# the finished page and its start button; on the progress page Escape and
# Alt+F4 must leave the installer running while its close button is off. The
# way through the options page enters and leaves the folder field (a native
# edit in a window of its own) in both directions, so a key lost there ends
# the run on the wrong control. On the progress page the status row must say
# how much of how much has arrived, how fast and how long is left (the window
# writes each status text it shows to its run log, in UTF-8); the window is
# photographed at that moment.
# Usage: keyboard_wine_test.sh WINE_RUN EXE OUT_DIR SOURCE_DIR INSTALLER_EXE CAPTURE_EXE
set -u
wine_run=$1 exe=$2 out=$3 src=$4 installer=$5 capture=$6
# First thing: the deadline that ends this script and what it started.
. "$src/testing/wine/wine_script.sh"
qv_deadline 370  # without QV_SCRIPT_DEADLINE (run by hand)
mkdir -p "$out"
. "$src/testing/servers/vendor_sim_env.sh"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
. "$src/testing/display.sh"
# A display of its own too: X key events go to whatever window has the
# focus, and no other test's window may take it.
qv_display_start || { echo "FAIL - no display"; exit 1; }
command -v xdotool >/dev/null || { echo "FAIL - no xdotool"; exit 1; }
# A prefix of its own: the language file, the Run value and the font mapping
# reach no other test, and whatever this test leaves running in it is ended
# with the prefix's server at the end. The window's faces are mapped to this
# machine's fonts so that the photographs show real text (Arabic in DejaVu
# Sans for Arial).
export QV_WINEPREFIX="${QV_WINEPREFIX:-$(dirname "$wine_run")/wineprefix-keyboard}"
qv_map_fonts "$wine_run"

# The prefix's user.ini picks the language a run starts in (the keys used
# here cannot pick one from the list); whatever was there is put back.
local_appdata=$("$wine_run" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
ini_dir=$("$wine_run" winepath -u "$local_appdata\\Quorvane" 2>/dev/null | tr -d '\r')
[ -n "$local_appdata" ] && [ -n "$ini_dir" ] || { echo "FAIL - no local application data folder in the prefix"; exit 1; }
ini="$ini_dir/user.ini"
saved_ini=""
if [ -f "$ini" ]; then saved_ini=$(mktemp); cp "$ini" "$saved_ini"; fi
restore_ini() {
  if [ -n "$saved_ini" ]; then mv "$saved_ini" "$ini"; else rm -f "$ini"; fi
}
trap 'qv_deadline_stop; stop_vendor_sim; restore_ini; qv_end_prefix "$QV_WINEPREFIX"; qv_display_stop' EXIT

shot() {  # name: the window's area of the screen
  eval "$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null)"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$1.png" 2>/dev/null
}
key() {  # X key names, each pressed and let go
  local k
  for k in "$@"; do
    xdotool key --clearmodifiers "$k"
    sleep 0.2
  done
}
# Waits (up to $1 tenths of a second) until the command in the other
# arguments succeeds.
wait_until() {
  local n=$1 i
  shift
  for i in $(seq 1 "$n"); do "$@" && return 0; sleep 0.1; done
  return 1
}
# This run's lines of its run log: the log is named by the process id, and a
# process of an earlier run with the same id has appended to the same file.
run_lines() { tac "$runlog" 2>/dev/null | sed '/QuorvaneSetup starts/q' | tac; }
status_lines() { run_lines | grep -a "download status: "; }
refusals() { run_lines | grep -ac "close refused: the install is running"; }
# The status row with received and total size, rate and time left.
status_has_all() { status_lines | grep -qaE "$detail"; }

# A download that lasts long enough for a steady rate: the per-connection cap
# is a twentieth of the installer's size per second (several connections share it).
size=$(stat -c %s "$installer")
rate=$(( size / 20 > 8192 ? size / 20 : 8192 ))
size_re='[0-9.]+ (B|KB|MB|GB)'

for lang in en arabic; do
  if [ "$lang" = arabic ]; then
    detail="$size_re من $size_re، $size_re/ث، المتبقي [0-9]"
    mkdir -p "$ini_dir"
    printf '[AppInfo]\r\nlanguage=arabic\r\n' >"$ini"
  else
    detail="$size_re of $size_re at $size_re/s, .+ left"
    rm -f "$ini"
  fi
  start_vendor_sim "$sim" "$out/sim-$lang" --file "$installer" --domains 1 --rate "*:$rate" || exit 1
  folder="$out/install-$lang"
  rm -rf "$folder"
  "$wine_run" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Quorvane /reg:32 /f >/dev/null 2>&1
  log="$out/debug_lines-$lang.txt"
  image="$out/QuorvaneSetup-keyboard-$lang.exe"
  cp "$exe" "$image"
  "$wine_run" "$capture" "$(winpath "$image")" -install-path "$(winpath "$folder")" >"$log" 2>"$out/wine-$lang.log" &
  pid=$!
  wid="" setup_pid="" runlog=/dev/null
  for i in $(seq 1 120); do
    setup_pid=$(qv_process_of_image "QuorvaneSetup-keyboard-$lang.exe") && wid=$(qv_window_of "$setup_pid") && break
    sleep 0.5
  done
  [ -n "$wid" ] && check 0 "$lang: the installer's window is found by its process" \
                || check 1 "$lang: the installer's window is found by its process"
  # The run log the installer names at its start, as a unix path.
  if wait_until 100 grep -qa "starts; log " "$log"; then
    runlog=$("$wine_run" winepath -u "$(grep -ao 'starts; log .*\.log' "$log" | head -1 | cut -d' ' -f3-)" 2>/dev/null |
             tr -d '\r')
  fi
  if [ -n "$wid" ]; then
    # No window manager runs here: X gives the keyboard to the window under
    # the pointer until a program sets the input focus, and again once the
    # window holding it (the folder field's host, when the page changes) goes
    # away. The pointer rests at the screen's centre, on the centred window.
    eval "$(xdotool getmouselocation --shell)"
    px=$X py=$Y
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    if [ "$px" -lt "$X" ] || [ "$px" -ge $((X + WIDTH)) ] || [ "$py" -lt "$Y" ] || [ "$py" -ge $((Y + HEIGHT)) ]; then
      check 1 "$lang: the pointer ($px,$py) rests on the window ($X,$Y ${WIDTH}x$HEIGHT)"
    fi
    # Focus starts on "install". Into the folder field, back out with
    # Shift+Tab, in again and on: browse, shortcut, language, autostart,
    # agree; back to autostart, tick it; Enter presses the default button.
    key Tab shift+Tab Tab
    shot "keyboard-$lang-page0-folder"
    key Tab Tab Tab Tab Tab shift+Tab space
    shot "keyboard-$lang-page0"
    key Return
    if wait_until 300 status_lines >/dev/null; then
      check 0 "$lang: Enter on the options page starts the install"
      shot "keyboard-$lang-page1"
      # The close button is off while installing: Escape does nothing, and
      # Alt+F4 is refused (a line in the run log). One at a time: after
      # Escape no refusal (judged for good at the end, when every key sent
      # has been taken), after Alt+F4 one.
      key Escape
      sleep 2
      [ "$(refusals)" -eq 0 ] && kill -0 "$setup_pid" 2>/dev/null
      check $? "$lang: Escape on the progress page leaves the installer running and asks for no close"
      key alt+F4
      # (The window is looked for again: a single look may come back empty
      # while the display is busy.)
      wait_until 100 test "$(refusals)" -ge 1 && kill -0 "$setup_pid" 2>/dev/null &&
        wait_until 50 qv_window_of "$setup_pid" >/dev/null
      check $? "$lang: Alt+F4 on the progress page is refused and leaves the installer running ($(refusals) refusals)"
      if wait_until 400 status_has_all; then
        shot "keyboard-$lang-download-detail"
        check 0 "$lang: the status row shows size, rate and time left ($out/keyboard-$lang-download-detail.png)"
      else
        check 1 "$lang: the status row shows size, rate and time left"
      fi
      status_lines | grep -aE "$detail" | tail -1 | sed "s/^/     $lang: /"
      # The finished page follows the line that says so, on the same thread.
      if wait_until 1500 grep -qaE "install (finished|failed)" "$log" && grep -qa "install finished" "$log"; then
        # Every key sent so far has been taken: Escape asked for no close.
        [ "$(refusals)" -eq 1 ] && check 0 "$lang: Escape with the close button off asks for no close" \
          || check 1 "$lang: Escape with the close button off asks for no close ($(refusals) refusals, Alt+F4 gives one)"
        shot "keyboard-$lang-page2"
        key Return      # focus is on the start button
      else
        check 1 "$lang: the install finishes ($(grep -a "install failed" "$log"))"
      fi
    else
      check 1 "$lang: Enter on the options page starts the install"
    fi
  fi
  timeout 60 tail --pid="$pid" -f /dev/null
  # A run that did not end is ended: the installer itself, then its starter.
  [ -n "$setup_pid" ] && kill "$setup_pid" 2>/dev/null
  kill "$pid" 2>/dev/null
  wait "$pid"
  rc=$?
  stop_vendor_sim
  [ $rc -eq 0 ] && check 0 "$lang: Enter on the finished page starts the client and ends with exit code 0" \
               || check 1 "$lang: Enter on the finished page starts the client and ends with exit code 0 (rc=$rc)"
  wait_until 100 test -s "$folder/client_started.txt" \
    && check 0 "$lang: the start button started the installed client" \
    || check 1 "$lang: the start button started the installed client"
  # Space ticked "autostart": the client's logon command is registered.
  "$wine_run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Quorvane /reg:32 2>/dev/null |
    tr -d '\r' | grep -qi "Quorvane.exe" && check 0 "$lang: Space ticked autostart (Run value set)" \
    || check 1 "$lang: Space ticked autostart (Run value set)"
  if [ "$lang" = arabic ]; then
    grep -aq "/Arabic" "$SIM_RECORD" 2>/dev/null \
      && check 0 "arabic: the run's reports are in Arabic" \
      || check 1 "arabic: the run's reports are in Arabic"
  fi
done
exit $fail
