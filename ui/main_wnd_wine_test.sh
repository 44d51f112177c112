#!/usr/bin/env bash
# Runs the main window's Wine test. The window asks for the faces a Windows
# machine has ("Yu Gothic UI", "Microsoft YaHei", "Malgun Gothic", Arabic in
# Arial, Thai in Tahoma); the test prefix maps them to the DejaVu and Noto
# fonts of this machine first, so that the screenshots show real text. (DejaVu
# Sans stands in for Arial: it has Latin, Cyrillic, Vietnamese and Arabic, and
# is a little wider, so a text that fits here fits in Arial. Wine does not
# link fonts here, and no Thai face has Latin letters: in Thai, Latin shows as
# boxes.)
#   main_wnd_wine_test.sh WINE_RUN TEST_EXE
set -u
wine_run=$1 exe=$2
# A prefix of its own, so the font mapping reaches no other test.
export QV_WINEPREFIX="${QV_WINEPREFIX:-$(dirname "$wine_run")/wineprefix-ui}"
# And a display of its own: its real clicks and pointer moves reach no other
# test's window.
. "$(dirname "$0")/../testing/display.sh"
qv_display_start || { echo "FAIL - no display"; exit 1; }
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"; qv_display_stop' EXIT
printf '%s\r\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"Yu Gothic UI"="Noto Sans CJK JP"' '"Microsoft YaHei"="Noto Sans CJK SC"' '"Malgun Gothic"="Noto Sans CJK KR"' \
  '"Arial"="DejaVu Sans"' '"Tahoma"="Noto Sans Thai"' '' >"$reg"
"$wine_run" regedit /S "Z:$(echo "$reg" | sed 's|/|\\|g')" >/dev/null 2>&1
"$wine_run" "$exe" "${@:3}"
