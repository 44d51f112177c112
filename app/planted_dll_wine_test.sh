#!/usr/bin/env bash
# DLLs planted beside the installer are never loaded. Beside a copy of the
# installer lies a DLL named after every DLL it may load that is not a
# KnownDLL (what it imports statically, what it delay-loads, what it names in
# its code, and uxtheme, which comctl32 loads on its behalf); each plant
# exports the names the installer imports from it and leaves a marker file
# when its DllMain runs. Wine loads its own builtin DLLs first; the overrides
# "name=n,b" make it search the program's folder first for those names, as
# Windows does. The installer then installs against the vendor simulator:
# it must complete and no marker may appear. The control, a program that
# imports version.dll the ordinary way, shows that the same plant is loaded
# when nothing stops it.
# Wine's own builtin system DLLs load some names themselves (its user32
# imports version.dll) before any code of a program runs; a baseline program
# with the installer's system imports finds those, and they are named, not
# checked.
# Usage: planted_dll_wine_test.sh WINE_RUN EXE OUT_DIR SOURCE_DIR INSTALLER_EXE
#          CC OBJDUMP DELAY_IMPORT_DIR "STATIC_DLLS" "DELAYED_DLLS"
set -u
wine_run=$1 exe=$2 out=$3 src=$4 installer=$5 cc=$6 objdump=$7 delay_dir=$8
allowed_static=$9 delayed=${10}
# First thing: the deadline that ends this script and what it started (its
# own check and winpath below stand in for the helper's).
. "$src/testing/wine/wine_script.sh"
qv_deadline 370  # without QV_SCRIPT_DEADLINE (run by hand)
prefix=${QV_WINEPREFIX:-$(sed -n 's/^export WINEPREFIX="\${QV_WINEPREFIX:-\(.*\)}"$/\1/p' "$wine_run")}
trap 'qv_deadline_stop; qv_end_wine_programs "$prefix" "$out" ChannelIstaller' EXIT
fail=0
check() { if [ "$1" = ok ]; then echo "ok   - $2"; else echo "FAIL - $2"; fail=1; fi; }
winpath() { echo "Z:$1" | tr / '\\'; }
lower() { tr '[:upper:]' '[:lower:]'; }

# Windows 10's KnownDLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session
# Manager\KnownDLLs): always taken from the system folder, cannot be planted.
known="advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf msvcrt
       normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32
       ntdll kernelbase"
is_known() { echo " $(echo $known) " | grep -qi " $1 "; }

dir=$out/planted
rm -rf "$dir" "$out/install"
mkdir -p "$dir"
cp "$exe" "$dir/QuorvaneSetup.exe"

# The static imports, by DLL: "dll function" per line.
static_imports() {
  "$objdump" -p "$exe" | awk '/DLL Name:/ {dll=tolower($3); sub(/\.dll$/, "", dll); next}
                              dll != "" && /^\t[0-9a-f]+\t *[0-9]+ +[^ ]/ {print dll, $NF}
                              /^$/ {dll=""}'
}
static_imports >"$out/static_imports.txt"
static_dlls=$(cut -d' ' -f1 "$out/static_imports.txt" | sort -u)
for d in $static_dlls; do
  echo " $allowed_static " | grep -qi " $d " && check ok "static import $d is one of the system set" \
                                           || check no "static import $d is not one of the system set ($allowed_static)"
done
# DLL names the program's code holds (LoadLibrary targets of libcurl, ...).
# A name starts with a letter: the byte before a string may be a printable one
# of the data packed in front of it ("1kernel32.dll").
named=$(strings -a -e l "$exe"; strings -a "$exe")
named=$(echo "$named" | grep -oiE '[a-z][a-z0-9_]*\.dll$' | lower | sed 's/\.dll$//' | sort -u)
plants=$(for d in $static_dlls $delayed $named uxtheme; do is_known "$d" || echo "$d"; done | lower | sort -u)
[ -n "$plants" ] || check no "something to plant"
echo "planted: $(echo $plants)"

# One plant per name; its exports are the names the program imports from it
# (the delay-load library's list, or the static import table).
for d in $plants; do
  {
    echo "LIBRARY $d.dll"
    echo "EXPORTS"
    { [ -f "$delay_dir/$d.def" ] && sed -n '3,$p' "$delay_dir/$d.def"
      awk -v d="$d" '$1 == d {print $2}' "$out/static_imports.txt"; } | sort -u | sed 's/$/=PlantStub/'
  } >"$out/$d.def"
  "$cc" -shared -O1 -o "$dir/$d.dll" "$src/testing/wine/planted_dll.c" "$out/$d.def" \
    || check no "plant $d.dll builds"
done
"$cc" -O1 -o "$dir/control.exe" "$src/testing/wine/version_importer.c" -lversion -lwintrust || check no "control builds"
"$cc" -O1 -o "$dir/baseline.exe" "$src/testing/wine/system_set_importer.c" -luser32 -lgdi32 -ladvapi32 -lole32 \
  -loleaut32 -lws2_32 -lshell32 || check no "baseline builds"

overrides="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d;$(echo $plants | tr ' ' ',')=n,b"
markers() { ls "$dir" | grep -i '\.dll\.loaded$' | lower | sed 's/\.dll\.loaded$//' | sort -u | tr '\n' ' '; }

# 0. What Wine loads on its own: its builtin system DLLs import some of these
# names (its user32 imports version.dll), before any code of a program runs.
# Nothing can be shown about those names under Wine.
WINEDLLOVERRIDES=$overrides timeout 60 "$wine_run" "$(winpath "$dir/baseline.exe")"
wine_own=$(markers)
rm -f "$dir"/*.loaded
checked=$(for d in $plants; do echo " $wine_own " | grep -q " $d " || echo "$d"; done)
echo "loaded by Wine's own system DLLs, not shown here: ${wine_own:-none}"
echo "checked: $(echo $checked)"
[ -n "$checked" ] || check no "some planted names can be checked under Wine"

# 1. The installer: a whole silent install, and no plant loaded.
. "$src/testing/servers/vendor_sim_env.sh"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
trap 'qv_deadline_stop; stop_vendor_sim; qv_end_wine_programs "$prefix" "$out" ChannelIstaller' EXIT
start_vendor_sim "$sim" "$out/sim" --file "$installer" --domains 2 || exit 1
WINEDLLOVERRIDES=$overrides timeout 180 "$wine_run" "$(winpath "$dir/QuorvaneSetup.exe")" -silent -auto-start \
  -install-path "$(winpath "$out/install")"
rc=$?
stop_vendor_sim
[ $rc -eq 0 ] && check ok "the install completes beside the plants (exit code 0)" \
             || check no "the install completes beside the plants (rc=$rc)"
[ -n "$(ls -A "$out/install" 2>/dev/null)" ] && check ok "the full installer installed" \
                                             || check no "the full installer installed"
got=$(for d in $(markers); do echo " $wine_own " | grep -q " $d " || echo "$d"; done)
[ -z "$got" ] && check ok "no planted DLL was loaded" || check no "no planted DLL was loaded; loaded: $(echo $got)"

# 2. The control: the same plants and overrides, an ordinary static import.
rm -f "$dir"/*.loaded
WINEDLLOVERRIDES=$overrides timeout 60 "$wine_run" "$(winpath "$dir/control.exe")"
got=$(markers)
for d in version wintrust; do
  echo " $got " | grep -q " $d " && check ok "the control loads the planted $d.dll" \
                                || check no "the control loads the planted $d.dll (loaded: $got)"
done
exit $fail
