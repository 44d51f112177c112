#!/usr/bin/env bash
# Shows the skinned window under Wine in a private virtual display at 100,
# 150 and 200 % and in Arabic, saves a screenshot of each into OUT for a
# person to look at, and checks a few pixels: the background is drawn, the
# shadow is translucent, the primary button changes under the mouse, the
# Arabic window is mirrored.
#   kv_window_screens.sh WINE_RUN DEMO_EXE SKIN_ZIP OUT
set -u
wine_run=$1 demo=$2 zip=$3 out=$4
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.txt
export QV_WINEPREFIX="${QV_WINEPREFIX:-$(dirname "$out")/../wineprefix-screens}"
export WINEPREFIX="$QV_WINEPREFIX"
fail=0
say() { echo "$*"; }
bad() { echo "FAIL: $*"; fail=1; }

# The deadline that ends this script and everything in its prefix.
. "$(dirname "$0")/../../testing/wine/wine_script.sh"
qv_deadline 570  # without QV_SCRIPT_DEADLINE (run by hand)
# A private display, so that the compositor below changes no other window.
. "$(dirname "$0")/../../testing/display.sh"
qv_display_start || { echo "FAIL: no display"; exit 1; }
comp_pid=
if command -v xcompmgr >/dev/null; then
  xcompmgr >/dev/null 2>&1 &
  comp_pid=$!
  sleep 1  # a window mapped before the compositor runs may stay unseen
fi
cleanup() {
  qv_deadline_stop
  [ -n "${demo_pid:-}" ] && kill "$demo_pid" 2>/dev/null
  qv_end_prefix "$QV_WINEPREFIX"
  [ -n "$comp_pid" ] && kill "$comp_pid" 2>/dev/null
  qv_display_stop
}
trap cleanup EXIT
say "display $DISPLAY, prefix $QV_WINEPREFIX, compositor ${comp_pid:-none}"

winpath() { echo "Z:$1" | sed 's|/|\\|g'; }

# Pixel helpers over a PPM screenshot (import writes PPM for a .ppm name).
pixel() {  # file x y -> "r g b"
  python3 - "$1" "$2" "$3" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
parts, pos = [], 0
while len(parts) < 4:
    while data[pos:pos+1].isspace(): pos += 1
    if data[pos:pos+1] == b'#':
        while data[pos:pos+1] != b'\n': pos += 1
        continue
    start = pos
    while not data[pos:pos+1].isspace(): pos += 1
    parts.append(data[start:pos])
pos += 1
w = int(parts[1]); x, y = int(sys.argv[2]), int(sys.argv[3])
o = pos + (y * w + x) * 3
print(data[o], data[o+1], data[o+2])
PY
}
topng() {  # ppm png
  python3 - "$1" "$2" <<'PY'
import sys, zlib, struct
data = open(sys.argv[1], 'rb').read()
parts, pos = [], 0
while len(parts) < 4:
    while data[pos:pos+1].isspace(): pos += 1
    start = pos
    while not data[pos:pos+1].isspace(): pos += 1
    parts.append(data[start:pos])
pos += 1
w, h = int(parts[1]), int(parts[2])
px = data[pos:pos + w * h * 3]
raw = b''.join(b'\x00' + px[y*w*3:(y+1)*w*3] for y in range(h))
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
open(sys.argv[2], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
    + chunk(b'IDAT', zlib.compress(raw, 6)) + chunk(b'IEND', b''))
PY
}
lum() { set -- $1; echo $(( ($1 * 30 + $2 * 59 + $3 * 11) / 100 )); }
field() { grep "^$1 " "$2" | head -n1 | cut -d' ' -f2-; }

# Arabic text: a Windows system's Arial carries Arabic glyphs; the stand-in
# this prefix has for it does not, so Arabic runs use a face that has both.
arabic_face() {  # on|off
  if [ "$1" = on ]; then
    "$wine_run" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'DejaVu Sans' /f >/dev/null 2>&1
  else
    "$wine_run" reg delete 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /f >/dev/null 2>&1
  fi
}

run_case() {  # name dpi lang page
  local name=$1 dpi=$2 lang=$3 page=$4 dir="$out/$1"
  mkdir -p "$dir"
  "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  if [ "$lang" = arabic ]; then arabic_face on; else arabic_face off; fi
  wineserver -w 2>/dev/null
  "$wine_run" "$demo" --skin "$(winpath "$zip")" --lang "$lang" --page "$page" --backdrop \
    --report "$(winpath "$dir/report.txt")" --dump "$(winpath "$dir")" >"$dir/wine.txt" 2>&1 &
  demo_pid=$!
  for _ in $(seq 1 120); do [ -f "$dir/report.txt" ] && break; sleep 0.5; done
  if [ ! -f "$dir/report.txt" ]; then
    bad "$name: the window did not come up"
    kill "$demo_pid" 2>/dev/null; wait "$demo_pid" 2>/dev/null; demo_pid=
    return 1
  fi
  # The window is on screen once its dark background shows in front of the
  # light backdrop (bounded wait: the compositor paints a moment after the
  # windows map; a screen still black shows neither).
  set -- $(field window "$dir/report.txt")
  local px=$(($1 + 20)) py=$(($2 + $4 / 2))
  for _ in $(seq 1 40); do
    sleep 0.5
    import -window root -depth 8 "$dir/screen.ppm"
    [ "$(lum "$(pixel "$dir/screen.ppm" $px $py)")" -lt 60 ] && [ "$(lum "$(pixel "$dir/screen.ppm" 5 5)")" -gt 180 ] && break
  done
  sleep 1
  import -window root -depth 8 "$dir/screen.ppm"
  topng "$dir/screen.ppm" "$out/$name.png"
  cat "$dir/report.txt"
  return 0
}

end_case() {
  WINEPREFIX="$QV_WINEPREFIX" wineserver -k 2>/dev/null
  wait "$demo_pid" 2>/dev/null
  demo_pid=
}

check_common() {  # name scale shadowsize shadowimage
  local name=$1 scale=$2 ssize=$3 simage=$4 rep="$out/$1/report.txt" shot="$out/$1/screen.ppm"
  [ "$(field scale "$rep")" = "$scale" ] || bad "$name: scale $(field scale "$rep"), wanted $scale"
  [ "$(field shadow "$rep")" = "$ssize $simage" ] || bad "$name: shadow '$(field shadow "$rep")', wanted '$ssize $simage'"
  set -- $(field window "$rep")
  local wx=$1 wy=$2 ww=$3 wh=$4
  [ "$ww" = $((550 * scale / 100)) ] || bad "$name: window width $ww"
  # The drawn surface: the background's dark blue left of the middle, and a
  # shadow pixel that is neither empty nor solid.
  local bg=$(field bgpixel "$rep") sp=$(field shadowpixel "$rep")
  [ "${bg:0:2}" = "ff" ] && [ $((16#${bg:2:2} + 16#${bg:4:2} + 16#${bg:6:2})) -lt 150 ] || bad "$name: background pixel $bg"
  local sa=$((16#${sp:0:2}))
  [ "$sa" -gt 3 ] && [ "$sa" -lt 250 ] || bad "$name: shadow alpha $sa is not translucent"
  # On screen: the dark background inside, the backdrop far outside, and
  # below the window a shadow darker than the backdrop but not black.
  local inside=$(lum "$(pixel "$shot" $((wx + 20)) $((wy + wh / 2)))")
  local far=$(lum "$(pixel "$shot" 5 5)")
  [ "$inside" -lt 60 ] || bad "$name: window background on screen has luminance $inside"
  [ "$far" -gt 180 ] || bad "$name: backdrop luminance $far"
  if [ -n "$comp_pid" ] && [ $((wy + wh + ssize / 2)) -lt 800 ]; then
    local under=$(lum "$(pixel "$shot" $((wx + ww / 2)) $((wy + wh + ssize / 4)))")
    [ "$under" -lt $((far - 8)) ] && [ "$under" -gt 60 ] || bad "$name: shadow on screen has luminance $under (backdrop $far)"
  fi
}

# 100 %, with the button's hover.
if run_case en100 96 en 0; then
  check_common en100 100 38 window_shadow.png
  set -- $(field install "$out/en100/report.txt")
  bx=$(($1 + 12)) by=$(($2 + 6)) cx=$(($1 + $3 / 2)) cy=$(($2 + $4 / 2))
  before=$(pixel "$out/en100/screen.ppm" $bx $by)
  xdotool mousemove $cx $cy; sleep 0.3; xdotool mousemove $((cx + 1)) $cy
  for _ in $(seq 1 20); do
    sleep 0.5
    import -window root -depth 8 "$out/en100/hover.ppm"
    [ "$(pixel "$out/en100/hover.ppm" $bx $by)" != "$before" ] && break
  done
  sleep 0.5
  import -window root -depth 8 "$out/en100/hover.ppm"
  topng "$out/en100/hover.ppm" "$out/en100-hover.png"
  after=$(pixel "$out/en100/hover.ppm" $bx $by)
  say "button pixel before hover: $before, under the mouse: $after"
  [ "$(lum "$after")" -gt $(( $(lum "$before") + 8 )) ] || bad "en100: the button does not light up under the mouse"
  xdotool mousemove 5 5
  # The language list drops down under the combo box on a click.
  set -- $(field language_combo "$out/en100/report.txt")
  lx=$(($1 + 30)) ly=$(($2 + $4 + 40))
  plain=$(pixel "$out/en100/hover.ppm" $lx $ly)
  xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)) click 1
  for _ in $(seq 1 20); do
    sleep 0.5
    import -window root -depth 8 "$out/en100/list.ppm"
    [ "$(pixel "$out/en100/list.ppm" $lx $ly)" != "$plain" ] && break
  done
  sleep 0.5
  import -window root -depth 8 "$out/en100/list.ppm"
  topng "$out/en100/list.ppm" "$out/en100-list.png"
  [ "$(pixel "$out/en100/list.ppm" $lx $ly)" != "$plain" ] || bad "en100: no drop-down list under the combo box"
  end_case
fi

if run_case en150 144 en 0; then check_common en150 150 57 window_shadow@150.png; end_case; fi
if run_case en200 192 en 0; then check_common en200 200 76 window_shadow@200.png; end_case; fi

# Arabic: mirrored. The check box moves to the right half, the close button
# to the left corner.
for c in "ar100 96 100 38 window_shadow.png" "ar150 144 150 57 window_shadow@150.png"; do
  set -- $c
  name=$1 dpi=$2 scale=$3 ssize=$4 simage=$5
  if run_case "$name" "$dpi" arabic 0; then
    check_common "$name" "$scale" "$ssize" "$simage"
    rep="$out/$name/report.txt"
    [ "$(field rtl "$rep")" = 1 ] || bad "$name: not right to left"
    set -- $(field window "$rep"); wx=$1 ww=$3
    set -- $(field createshortcut "$rep"); [ "$1" -gt $((wx + ww / 2)) ] || bad "$name: check box not mirrored (x $1)"
    set -- $(field closebtn "$rep"); [ "$1" -lt $((wx + ww / 4)) ] || bad "$name: close button not mirrored (x $1)"
    end_case
  fi
done

# The other two pages at 100 %, for the eye.
if run_case progress100 96 en 1; then check_common progress100 100 38 window_shadow.png; end_case; fi
if run_case finished100 96 en 2; then check_common finished100 100 38 window_shadow.png; end_case; fi

"$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
arabic_face off
say "screenshots in $out"
exit $fail
