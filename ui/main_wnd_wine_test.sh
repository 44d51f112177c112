#!/usr/bin/env bash
# Runs the main window's Wine test, in a prefix whose font mapping gives the
# faces a Windows machine has (see qv_map_fonts in testing/wine/wine_script.sh)
# from this machine's DejaVu and Noto fonts, so that the screenshots show real
# text. (Wine does not link fonts here, and no Thai face has Latin letters: in
# Thai, Latin shows as boxes.)
#   main_wnd_wine_test.sh WINE_RUN TEST_EXE
set -u
wine_run=$1 exe=$2
# A prefix of its own, so the font mapping reaches no other test.
export QV_WINEPREFIX="${QV_WINEPREFIX:-$(dirname "$wine_run")/wineprefix-ui}"
# And a display of its own: its real clicks and pointer moves reach no other
# test's window.
. "$(dirname "$0")/../testing/display.sh"
. "$(dirname "$0")/../testing/wine/wine_script.sh"
# Ends the test and everything in its prefix before CTest's limit would kill
# the script outright.
qv_deadline 270  # without QV_SCRIPT_DEADLINE (run by hand)
qv_display_start || { echo "FAIL - no display"; exit 1; }
trap 'qv_deadline_stop; qv_end_prefix "$QV_WINEPREFIX"; qv_display_stop' EXIT
qv_map_fonts "$wine_run"
"$wine_run" "$exe" "${@:3}"
