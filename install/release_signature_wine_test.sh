#!/usr/bin/env bash
# A signed installer as the release step makes it, checked the way Windows
# checks it: scripts/sign_exe signs EXE with the test publisher's certificate,
# then WinVerifyTrust (through the program's own publisher check, under Wine)
# must accept it for the signer's name and reject it for another name, once
# unsigned, and once one byte has changed after signing.
#   release_signature_wine_test.sh WINE_RUN PUBLISHER_PROBE EXE SOURCE_DIR [--signed]
# With --signed, EXE is already signed (scripts/release's output) and is checked as is.
set -uo pipefail
wine_run=${1:?WINE_RUN} probe=${2:?PROBE} exe=${3:?EXE} src=${4:?SOURCE_DIR} mode=${5:-}
signing=${QV_SIGNING_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane-signing}
publisher=${QV_TEST_PUBLISHER_NAME:-Quorvane Test Publisher}
work=$(mktemp -d /tmp/qv-release-sign-XXXXXX)
# The deadline that ends this script and the probe it runs (its own check
# below stands in for the helper's).
. "$src/testing/wine/wine_script.sh"
qv_deadline 90  # without QV_SCRIPT_DEADLINE (run by hand)
prefix=${QV_WINEPREFIX:-$(sed -n 's/^export WINEPREFIX="\${QV_WINEPREFIX:-\(.*\)}"$/\1/p' "$wine_run")}
trap 'qv_deadline_stop; qv_end_wine_programs "$prefix" "$(basename "$probe")"; rm -rf "$work"' EXIT
winpath() { echo "Z:$1" | tr / '\\'; }
failed=0
check() {  # NAME EXPECTED_EXIT EXPECTED_RESULT FILE PUBLISHER
  local name=$1 want_rc=$2 want=$3 file=$4 who=$5 got rc
  "$wine_run" "$probe" "$(winpath "$file")" "$who" >"$work/out" 2>/dev/null
  rc=$?
  got=$(tr -d '\r' <"$work/out")
  if [ "$rc" = "$want_rc" ] && [ "${got%% signer=*}" = "$want" ]; then
    echo "ok   $name: $got"
  else
    echo "FAIL $name: exit $rc, \"$got\" (expected exit $want_rc, \"$want\")"
    failed=1
  fi
}

if [ "$mode" = --signed ]; then
  cp "$exe" "$work/signed.exe"
else
  cp "$exe" "$work/unsigned.exe"
  "$src/scripts/sign_exe" "$work/unsigned.exe" "$work/signed.exe" "$publisher" "$signing/publisher.pem" \
    -certs "$signing/publisher.pem" -key "$signing/publisher.key" || { echo "FAIL signing"; exit 1; }
  check "unsigned" 1 unsigned "$work/unsigned.exe" "$publisher"
fi
check "signed, the test publisher" 0 ok "$work/signed.exe" "$publisher"
check "signed, another publisher's name" 1 "foreign signer" "$work/signed.exe" "Quorvane Software"
# One byte in the first section (the code), after signing.
python3 - "$work/signed.exe" "$work/changed.exe" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
pe = struct.unpack_from('<I', data, 0x3c)[0]
opt = pe + 24
sections = opt + struct.unpack_from('<H', data, pe + 20)[0]
raw = struct.unpack_from('<I', data, sections + 20)[0]  # PointerToRawData of the first section
data[raw + 64] ^= 0x01
open(sys.argv[2], 'wb').write(data)
PY
check "one byte changed after signing" 1 "bad digest" "$work/changed.exe" "$publisher"
exit $failed
