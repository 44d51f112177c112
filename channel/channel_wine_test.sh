#!/usr/bin/env bash
# End-to-end channel installs under Wine: the built installer against the
# native vendor simulator on 127.0.0.1, the sample full installer downloaded
# from it and started through the progress pipe, real processes throughout.
# Every run goes through debug_capture, which prints the debugger lines of the
# installer and of the processes it starts, and each process start.
#
# Usage: channel_wine_test.sh SOURCE_DIR WINE_RUN SETUP_EXE INSTALLER_EXE CLIENT_EXE CAPTURE_EXE WORK_DIR
set -u
src=$1 wine_run=$2 setup=$3 installer=$4 client=$5 capture=$6 work=$7
# First thing: the deadline that ends this script and what it started.
. "$src/testing/wine/wine_script.sh"
qv_deadline 560  # without QV_SCRIPT_DEADLINE (run by hand)
. "$src/testing/servers/vendor_sim_env.sh"
export LC_ALL=C  # the English text table, whatever the host's language
rm -rf "$work"
mkdir -p "$work"
sim=$(find_vendor_sim "$src" "$(dirname "$wine_run")/vendor_sim_build") || { echo "FAIL - no vendor simulator"; exit 1; }
prefix=${QV_WINEPREFIX:-$(dirname "$wine_run")/wineprefix}
blocker=
# The prefix is shared with other tests: only the programs of this test are
# ended (the installer, its download, what they installed, debug_capture).
trap 'qv_deadline_stop; stop_vendor_sim; [ -n "$blocker" ] && kill $blocker 2>/dev/null
      qv_end_wine_programs "$prefix" QuorvaneSetup ChannelIstaller debug_capture.exe "$work"' EXIT
has_line() { grep -qxF -- "$2" "$1"; }
# The failure report the window sent: "<http_code> <error_module>" of each
# install report in the simulator's record (ANSI bytes as U+0080..U+00FF).
failure_reports() {
  python3 -c 'import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    if r["method"] == "POST" and r["path"].endswith("/update_pc_module"):
        d = json.loads(r["body"]).get("error_detail", {})
        print(d.get("http_code"), d.get("error_module"))' "$1" 2>/dev/null
}
# The host names the directory requests went to ("127.0.0.1" for the
# production endpoint, "localhost" for the "-test" one; see vendor_sim_env.sh).
directory_hosts() {
  python3 -c 'import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    if r["path"].endswith("/backup_domain/list"):
        print(r["headers"].get("Host", "").split(":")[0])' "$1" 2>/dev/null | sort -u | tr '\n' ' '
}
# The install report's download attempts: "<selected_cdn> <download_byte> <cdn_error_msg>";
# a record or report that cannot be read gives "unreadable: <why>" instead.
report_attempts() {
  python3 -c 'import json, sys
try:
    for line in open(sys.argv[1]):
        r = json.loads(line)
        if r["method"] == "POST" and r["path"].endswith("/update_pc_module"):
            for a in json.loads(r["body"])["extra_info"]["cdn_attempts"]:
                print(a["selected_cdn"], a["download_byte"], a["cdn_error_msg"] or "-")
except Exception as e:
    print("unreadable:", repr(e))' "$1"
}
# The stub's process id: the first process debug_capture started.
stub_pid() { sed -n 's/^\([0-9]*\): debug_capture: started .*QuorvaneSetup\.exe$/\1/p' "$1" | head -1; }
# Runs the installer under debug_capture; extra arguments go to the installer.
# With END set, the run is ended END_MS after the line END appeared; with
# TEMP_DIR set (a Windows path), the run's TEMP and TMP are that folder.
run_setup() {
  local out=$1
  shift
  local opts=()
  [ -n "${END:-}" ] && opts=(--end-after "$END" "${END_MS:-3000}")
  [ -n "${TEMP_DIR:-}" ] && opts+=(--env "TEMP=$TEMP_DIR" --env "TMP=$TEMP_DIR")
  # Wine's own loader and exception errors go to OUT.stderr, for a run that ends oddly.
  WINEDEBUG=${WINEDEBUG:--all,err+module,err+seh} timeout 180 "$wine_run" "$capture" "${opts[@]}" \
    "$(winpath "$setup")" "$@" >"$out" 2>"$out.stderr"
}
# Shows the end of a run's output and of Wine's errors, after a failed check.
show_run() {
  echo "#   last lines of $1:"; tail -8 "$1" | sed 's/^/#     /'
  [ -s "$1.stderr" ] && { echo "#   Wine's errors:"; tail -8 "$1.stderr" | sed 's/^/#     /'; }
  return 0
}

# What a finished install registers, read from the prefix's registry (32-bit
# view) and desktop: the names of those present, of "run" (the autostart
# value), "CHANNELID" and "SEOID" (the channel values) and "shortcut".
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane'
desktop=$prefix/drive_c/users/$(whoami)/Desktop
registered() {
  local v found=
  "$wine_run" reg query "$run_key" /v Quorvane /reg:32 >/dev/null 2>&1 && found+="run "
  for v in CHANNELID SEOID; do
    "$wine_run" reg query "$uninstall_key" /v $v /reg:32 >/dev/null 2>&1 && found+="$v "
  done
  [ -e "$desktop/Quorvane.lnk" ] && found+="shortcut "
  echo "$found"
}
forget_registration() {
  "$wine_run" reg delete "$run_key" /v Quorvane /reg:32 /f >/dev/null 2>&1
  "$wine_run" reg delete "$uninstall_key" /reg:32 /f >/dev/null 2>&1
  rm -f "$desktop/Quorvane.lnk"
}

# The user's temporary folder inside the prefix (created on first use of Wine).
"$wine_run" cmd /c exit 0 >/dev/null 2>&1
temp=$(ls -d "$prefix"/drive_c/users/"$(whoami)"/Temp "$prefix"/drive_c/users/"$(whoami)"/AppData/Local/Temp 2>/dev/null | head -1)
[ -d "$temp" ] || { echo "FAIL - no temporary folder in $prefix"; exit 1; }
rm -f "$temp"/ChannelIstaller*.exe
# The runs' own folders below the Windows temporary folder.
wintemp=$(ls -d "$prefix"/drive_c/windows/temp "$prefix"/drive_c/windows/Temp 2>/dev/null | head -1)
[ -d "$wintemp" ] || { echo "FAIL - no Windows temporary folder in $prefix"; exit 1; }
rm -rf "$wintemp"/QuorvaneSetup.*
run_folders_left() { ls -d "$wintemp"/QuorvaneSetup.* 2>/dev/null | grep -v '/QuorvaneSetup\.parts$'; }
# Where a partial download waits for the next run.
store=$wintemp/QuorvaneSetup.parts
forget_registration

echo "# 1. a channel install that succeeds, while a ChannelIstaller.exe is running"
# What someone without administrator rights could plant in the user's
# temporary folder: the installer's names (the running one above, and the
# fallback name as a link to another file), a DLL the full installer's loader
# would look for beside it. None of it is used or changed.
mkdir -p "$work/planted"
echo "not to be changed" >"$work/planted/victim"
rm -f "$temp/ChannelIstaller.exe" "$temp/ChannelIstaller38.exe" "$temp/version.dll"
ln -s "$work/planted/victim" "$temp/ChannelIstaller38.exe"
echo "planted" >"$temp/version.dll"
# Domains 0 and 1 are too slow to deliver the file within the probe's window;
# domain 2 is not limited: the ranking puts it first.
start_vendor_sim "$sim" "$work/sim1" --file "$installer" --domains 3 --rate 0:100k,1:200k || exit 1
cp "$client" "$temp/ChannelIstaller.exe"
mkdir -p "$work/blocker"
QV_SAMPLE_CLIENT_DIR=$(winpath "$work/blocker") "$wine_run" "$temp/ChannelIstaller.exe" -sample-stay=forever \
  >/dev/null 2>&1 &
blocker=$!
for i in $(seq 1 600); do [ -s "$work/blocker/client_started.txt" ] && break; sleep 0.1; done
blocker_started=0
[ -s "$work/blocker/client_started.txt" ] || blocker_started=1
check $blocker_started "a ChannelIstaller.exe is running before the install starts"
ok_dir=$work/installed_ok
run_setup "$work/run1.txt" -silent -auto-start -install-path "$(winpath "$ok_dir")" -sample-steps=5,6,100,7 \
  -sample-slow=400
rc=$?
stop_vendor_sim
check $([ $rc -eq 0 ]; echo $?) "silent channel install ends with exit code 0 (rc=$rc)"
[ $rc -eq 0 ] || show_run "$work/run1.txt"
cmp -s "$client" "$ok_dir/Quorvane.exe"
check $? "the sample full installer installed Quorvane.exe into the chosen folder"
pid=$(stub_pid "$work/run1.txt")
expected=" -pipename=\\\\.\\pipe\\autoupdate_pipe_quorvane_$pid  -silent -auto-start  -launch-by-channel -install-path \"$(winpath "$ok_dir")\" -silent -auto-start -sample-steps=5,6,100,7 -sample-slow=400 "
actual=$(sed -n 's/^cmdline=//p' "$ok_dir/installer_args.txt" 2>/dev/null | tr -d '\r')
[ "$actual" = "$expected" ]
check $? "the full installer's command line is exact"
[ "$actual" = "$expected" ] || { echo "#   expected [$expected]"; echo "#   actual   [$actual]"; }
reads=$(sed -n "s/^$pid: __update  ReadFile //p" "$work/run1.txt" | tr '\n' ' ')
[ "$reads" = "5 6 100 " ]
check $? "the reader takes 5, 6 and 100 and reads nothing after 100 (read: $reads)"
started_from=$(sed -n 's/^[0-9]*: debug_capture: started \(.*ChannelIstaller.*\)$/\1/p' "$work/run1.txt" | tr -d '\r')
echo "$started_from" | grep -qix 'C:\\windows\\temp\\QuorvaneSetup\.[0-9A-F]\{32\}\\ChannelIstaller\.exe'
check $? "the full installer ran from ChannelIstaller.exe in the run's own folder ($started_from)"
for i in $(seq 1 100); do kill -0 $blocker 2>/dev/null || break; sleep 0.1; done
if [ $blocker_started != 0 ]; then
  check 1 "the running ChannelIstaller.exe was terminated first (it never ran)"
  kill $blocker 2>/dev/null
elif kill -0 $blocker 2>/dev/null; then
  check 1 "the running ChannelIstaller.exe was terminated first"
  kill $blocker 2>/dev/null
else
  wait $blocker
  brc=$?
  check $([ $brc -eq 0 ]; echo $?) "the running ChannelIstaller.exe was terminated first, with exit code 0 (rc=$brc)"
fi
blocker=
cmp -s "$client" "$temp/ChannelIstaller.exe" && [ -L "$temp/ChannelIstaller38.exe" ] &&
  [ "$(cat "$work/planted/victim")" = "not to be changed" ] && [ "$(cat "$temp/version.dll")" = planted ]
check $? "what lies in the user's temporary folder is neither used nor changed"
[ -z "$(run_folders_left)" ]
check $? "the run's own folder is gone with the run ($(run_folders_left))"
rm -f "$temp/ChannelIstaller.exe" "$temp/ChannelIstaller38.exe" "$temp/version.dll"
fastest=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["domains"][2])' "$SIM_PORTS")
attempts=$(report_attempts "$SIM_RECORD")
[ "$attempts" = "$fastest $(stat -c %s "$installer") -" ]
check $? "the file came from the fastest domain, and the report carries this run's one attempt ($attempts)"
[ "$(directory_hosts "$SIM_RECORD")" = "127.0.0.1 " ]
check $? "without -test the production directory was asked ($(directory_hosts "$SIM_RECORD"))"
found=$(registered)
[ "$found" = "CHANNELID SEOID shortcut " ]
check $? "the finished install wrote the channel values and the desktop shortcut (found: $found)"

echo "# 2. the full installer fails with a text"
start_vendor_sim "$sim" "$work/sim2" --file "$installer" --domains 2 || exit 1
run_setup "$work/run2.txt" -silent -auto-start \
  -install-path "$(winpath "$work/installed_fail")" -sample-fail=disk%20full
rc=$?
stop_vendor_sim
failure_reports "$SIM_RECORD" | grep -qx "2000 Failed to install: disk full"
check $? "the window reported the full installer's failure text (code 2000)"
pid=$(stub_pid "$work/run2.txt")
has_line "$work/run2.txt" "$pid: channel install failed, status text: Failed to install: disk full"
check $? "the status text is the full installer's failure text"
grep -q "^$pid: execute installer failed with error: " "$work/run2.txt"
check $? "the failed run is written to the debugger output"
rc=$(sed -n "s/^$pid: debug_capture: exited \([0-9]*\)\r\?$/\1/p" "$work/run2.txt")
check $([ "$rc" = 7105 ]; echo $?) "a failed silent install ends by itself with the installer-failure code 7105 (rc=$rc)"

echo "# 3. a full installer that never connects to the pipe (asking the -test directory)"
start_vendor_sim "$sim" "$work/sim3" --file "$installer" --domains 2 || exit 1
run_setup "$work/run3.txt" -silent -auto-start -test -install-path "$(winpath "$work/installed_noconnect")" \
  -sample-noconnect
rc=$?
stop_vendor_sim
check $([ $rc -eq 0 ]; echo $?) "the outcome comes from the exit code and the reader ends (rc=$rc)"
! grep -q "Client connected" "$work/run3.txt" && grep -q "__update namepipestr" "$work/run3.txt"
check $? "the pipe was offered but never connected"
[ -f "$work/installed_noconnect/Quorvane.exe" ]
check $? "the installer still installed"
[ "$(directory_hosts "$SIM_RECORD")" = "localhost " ]
check $? "with -test the test directory was asked ($(directory_hosts "$SIM_RECORD"))"
grep -q -- "-test" "$work/installed_noconnect/installer_args.txt" 2>/dev/null
check $? "the forwarded -test reached the full installer's command line"

echo "# 4. no domain delivers the file"
start_vendor_sim "$sim" "$work/sim4" --file "$installer" --domains 3 --fault 0:refuse,1:refuse,2:404 || exit 1
run_setup "$work/run4.txt" -silent -auto-start \
  -install-path "$(winpath "$work/installed_none")"
rc=$?
stop_vendor_sim
failure_reports "$SIM_RECORD" | grep -qx "2000 download failed.errorcode is. 404"
check $? "the window reported the last attempt's text (code 2000)"
pid=$(stub_pid "$work/run4.txt")
# Wine hands wide debugger lines on in the ANSI code page: the full-width
# comma and colon of the English text arrive as "," and ":".
grep -qx "$pid: channel install failed, status text: download failed.errorcode is. 404" "$work/run4.txt"
check $? "the status text is the last attempt's text"
grep -q "^$pid: down load up grade file failed$" "$work/run4.txt"
check $? "the failed download is written to the debugger output"
[ -n "$pid" ] && ! grep -q "debug_capture: started .*ChannelIstaller" "$work/run4.txt" && ! grep -q "__update namepipestr" "$work/run4.txt" &&
  [ ! -e "$work/installed_none" ]
check $? "no pipe and no process: nothing was started"
rc=$(sed -n "s/^$pid: debug_capture: exited \([0-9]*\)\r\?$/\1/p" "$work/run4.txt")
check $([ "$rc" = 7102 ]; echo $?) "the failed silent install ends by itself with the download-failure code 7102 (rc=$rc)"

echo "# 5. payloads that are not the vendor's whole program are never started, and nothing is registered"
# KIND of the download domain's fault | the failure text the report and the window carry (a prefix) |
# the exit code the run ends with by itself | more simulator options
# The head* rows reach the segmented fallback: the domain's rate keeps the
# single stream from finishing within its 60 s, the fallback's length probe
# then fails (an error status), or announces another length than the GET
# that follows (the file changed between the two; uncompressed, so that the
# GET's own length is seen at once).
rejected="Download rejected: the file is not signed by Quorvane"
size=$(stat -c %s "$installer")
while IFS='|' read -r kind text code more; do
  [ -n "$kind" ] || continue
  rm -rf "$store"  # each row starts without a part an earlier row kept
  dir=$work/installed_$kind
  dir=${dir//=/_}
  forget_registration </dev/null
  found=$(registered </dev/null)
  [ -z "$found" ]
  check $? "$kind: the prefix starts without the install's registration (found: $found)"
  # shellcheck disable=SC2086
  start_vendor_sim "$sim" "$work/sim5_$kind" --file "$installer" --domains 1 \
    --foreign-file "$(dirname "$installer")/QVInstaller.foreign.exe" --fault "0:$kind" $more </dev/null || exit 1
  # The guard only ends a run that would not end by itself; a loaded machine
  # may take many seconds from the failure to the exit.
  END="channel install failed" END_MS=60000 run_setup "$work/run5_$kind.txt" -silent -auto-start \
    -install-path "$(winpath "$dir")" </dev/null
  rc=$?
  stop_vendor_sim
  pid=$(stub_pid "$work/run5_$kind.txt")
  report=$(failure_reports "$SIM_RECORD" | head -1)
  # "?" in a text stands for one character that the ANSI conversion may change.
  case "$report" in 2000\ $text*) r=0 ;; *) r=1 ;; esac
  check $r "$kind: the failure is reported ($report)"
  grep -q "^$pid: channel install failed, status text: ${text//\?/.}" "$work/run5_$kind.txt"
  check $? "$kind: the failure is shown"
  [ -n "$pid" ] && ! grep -q "debug_capture: started .*ChannelIstaller" "$work/run5_$kind.txt" &&
    [ ! -e "$dir/installer_args.txt" ] && [ ! -e "$dir/Quorvane.exe" ]
  check $? "$kind: the full installer never started and installed nothing"
  ! ls "$temp"/ChannelIstaller*.exe >/dev/null 2>&1 && [ -z "$(run_folders_left)" ]
  check $? "$kind: no partial or rejected file is left behind"
  code_seen=$(sed -n "s/^$pid: debug_capture: exited \([0-9]*\)\r\?$/\1/p" "$work/run5_$kind.txt")
  check $([ "$code_seen" = "$code" ]; echo $?) "$kind: the failed silent install ends by itself with $code (rc=$code_seen)"
  found=$(registered </dev/null)
  [ -z "$found" ]
  check $? "$kind: no autostart value, no channel value and no desktop shortcut (found: $found)"
  case $kind in
    head*)
      python3 -c 'import json, sys
methods = [json.loads(l)["method"] for l in open(sys.argv[1]) if "/QVInstaller.exe" in json.loads(l)["path"]]
sys.exit(0 if "HEAD" in methods else 1)' "$SIM_RECORD"
      check $? "$kind: the single stream timed out and the segmented fallback probed the length"
      attempts=$(report_attempts "$SIM_RECORD")
      [ "$(grep -c . <<<"$attempts")" = 1 ] && [ "${attempts##* }" != "-" ] && [ "${attempts#unreadable}" = "$attempts" ]
      check $? "$kind: the report carries the domain's one failed attempt ($attempts)"
      ;;
  esac
done <<EOF_CASES
unsigned|$rejected (unsigned 0x|7103|
tamper|$rejected (bad digest 0x|7103|
foreign|$rejected (foreign signer 0x|7103|
html|$rejected (|7103|
short=300000|$rejected (|7103|
drop=300000|download failed?errorcode is? 18|7102|
headstatus=405|download failed?errorcode is? 1002|7102|--rate 0:2k
headlength=$((size - 4096))|download failed?errorcode is? 1003|7103|--rate 0:2k --no-gzip
EOF_CASES

echo "# 7. a file continued from two builds of equal length is never started; one download from 0 follows"
# Build B: the sample installer with one byte of its DOS stub changed, signed
# by the test publisher like the build itself (so of equal length). Domain 0
# serves the build and breaks its download in the middle; domain 1 serves B,
# and continues the part with B's second half: a mix whose digest matches
# neither. The retry takes every byte from one answer.
signing=$(sed -n 's/^QV_SIGNING_DIR:PATH=//p' "$(dirname "$(dirname "$installer")")/CMakeCache.txt")
other=$work/QVInstaller.other.exe
python3 -c 'import sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.find(b"This program")
data[at] = ord("t")
open(sys.argv[2], "wb").write(data)' "$(dirname "$installer")/QVInstaller.unsigned.exe" "$work/other.unsigned.exe"
osslsigncode sign -h sha256 -n sample_installer -certs "$signing/publisher.pem" -key "$signing/publisher.key" \
  -in "$work/other.unsigned.exe" -out "$other" >/dev/null 2>&1
size=$(stat -c %s "$installer")
half=$((size / 2))
[ -s "$other" ] && [ "$(stat -c %s "$other")" = "$size" ] && ! cmp -s "$other" "$installer"
check $? "a second build of $size bytes, signed by the test publisher, differs from the first"
forget_registration
mix_dir=$work/installed_7
start_vendor_sim "$sim" "$work/sim7" --file "$installer" --domains 2 --no-gzip --foreign-file "$other" \
  --fault "0:cut=$half@2" --fault 1:foreign || exit 1
run_setup "$work/run7.txt" -silent -auto-start -install-path "$(winpath "$mix_dir")"
rc=$?
stop_vendor_sim
pid=$(stub_pid "$work/run7.txt")
check $([ $rc -eq 0 ]; echo $?) "the install ends with exit code 0 (rc=$rc)"
[ $rc -eq 0 ] || show_run "$work/run7.txt"
grep -qx "$pid: continuing at $half of $size bytes" "$work/run7.txt"
check $? "the second domain continued the first's part at $half bytes"
grep -qx "$pid: the continued download failed the publisher check; downloading it once more from the first byte" \
  "$work/run7.txt"
check $? "the mix failed the publisher check, and the download was retried once"
[ "$(grep -c "^$pid: continuing at" "$work/run7.txt")" = 1 ] && ! grep -q "^$pid: the downloaded installer is rejected" "$work/run7.txt"
check $? "the retry continued nothing, and nothing was rejected"
ranges=$(python3 -c 'import json, sys
for l in open(sys.argv[1]):
    r = json.loads(l)
    if r["method"] == "GET" and r.get("domain") == 1 and r["path"].endswith("/QVInstaller.exe"):
        print(r["headers"].get("Range", "-"))' "$SIM_RECORD" | tr '\n' ' ')
[ "$ranges" = "bytes=0-2097151 bytes=$half- - " ]
check $? "domain 1 got the probe, the continuation and the download from 0 (Range: $ranges)"
started=$(sed -n "s/^[0-9]*: debug_capture: started \(.*ChannelIstaller[^ ]*\.exe\)\r\?$/\1/p" "$work/run7.txt" | head -1)
started_unix=$prefix/drive_c/$(echo "${started#C:\\}" | tr '\\' /)
# The run's own folder goes with the run, so the started file cannot be
# compared afterwards; that it is the second build, whole, follows from the
# one download from 0 on domain 1 (which serves it) and the passed check.
echo "$started" | grep -qiE '^C:\\windows\\temp\\QuorvaneSetup\.[0-9A-F]{32}\\ChannelIstaller\.exe$' &&
  [ ! -e "$started_unix" ] && cmp -s "$client" "$mix_dir/Quorvane.exe"
check $? "the file started ran from the run's own folder, gone with the run, and installed the client ($started)"
bytes=$(report_attempts "$SIM_RECORD" | sed -n 's/^http[^ ]* \([0-9]*\) .*/\1/p' | tr '\n' ' ')
[ "$bytes" = "$half $size $half $size " ]
check $? "the report carries the four attempts of the two downloads, each with the bytes on disk after it ($bytes)"
rm -f "$temp"/ChannelIstaller*

echo "# 8. a run whose download breaks at half keeps the part; the next run asks only for the rest"
# The first run's only domain cuts every answer at the middle of the file, so
# the run fails with exactly the first half on disk.
size=$(stat -c %s "$installer")
half=$((size / 2))
rm -rf "$store"
forget_registration
start_vendor_sim "$sim" "$work/sim8a" --file "$installer" --domains 1 --no-gzip --fault "0:cut=$half" || exit 1
END="channel install failed" END_MS=60000 run_setup "$work/run8a.txt" -silent -auto-start \
  -install-path "$(winpath "$work/installed_8")"
stop_vendor_sim
pid=$(stub_pid "$work/run8a.txt")
rc=$(sed -n "s/^$pid: debug_capture: exited \([0-9]*\)\r\?$/\1/p" "$work/run8a.txt")
grep -qx "$pid: the partial download is kept: $half of $size bytes" "$work/run8a.txt" && [ "$rc" = 7102 ] &&
  [ "$(stat -c %s "$store/ChannelIstaller.exe.partial" 2>/dev/null)" = "$half" ] &&
  [ -s "$store/ChannelIstaller.exe.partial.txt" ] && [ -z "$(run_folders_left)" ]
r=$?
check $r "the failed run (rc=$rc) kept its $half bytes and their record in the store, and removed its own folder"
[ $r = 0 ] || show_run "$work/run8a.txt"
start_vendor_sim "$sim" "$work/sim8b" --file "$installer" --domains 1 --no-gzip || exit 1
run_setup "$work/run8b.txt" -silent -auto-start -install-path "$(winpath "$work/installed_8")"
rc=$?
stop_vendor_sim
pid=$(stub_pid "$work/run8b.txt")
ranges=$(python3 -c 'import json, sys
for l in open(sys.argv[1]):
    r = json.loads(l)
    if r["method"] == "GET" and r["path"].endswith("/QVInstaller.exe"):
        print(r["headers"].get("Range", "-"))' "$SIM_RECORD" | tr '\n' ' ')
# Every GET of the file names a range (none asks for all of it), the last
# one the rest after the kept part.
[ $rc -eq 0 ] && grep -qx "$pid: continuing at $half of $size bytes" "$work/run8b.txt" &&
  [[ " $ranges" != *" - "* && "$ranges" == *"bytes=$half- " ]] && cmp -s "$client" "$work/installed_8/Quorvane.exe"
r=$?
check $r "the next run (rc=$rc) continued at $half bytes, asked only for the rest (Range: $ranges) and installed"
[ $r = 0 ] || show_run "$work/run8b.txt"
[ ! -e "$store/ChannelIstaller.exe.partial" ] && [ ! -e "$store/ChannelIstaller.exe.partial.txt" ]
check $? "the part was used up: the store is empty"
# A store that others may read or write (here: a folder whose mode lets
# everyone in, which Wine reports as access for Everyone) is not used, and
# what it holds is left alone: the run downloads from the first byte.
mkdir -p "$store"
cp "$work/run8a.txt" "$store/ChannelIstaller.exe.partial"
echo planted >"$store/ChannelIstaller.exe.partial.txt"
chmod 0777 "$store"
forget_registration
start_vendor_sim "$sim" "$work/sim8c" --file "$installer" --domains 1 --no-gzip || exit 1
run_setup "$work/run8c.txt" -silent -auto-start -install-path "$(winpath "$work/installed_8c")"
rc=$?
stop_vendor_sim
pid=$(stub_pid "$work/run8c.txt")
[ $rc -eq 0 ] && grep -q "^$pid: partial downloads are not kept between runs: its owner or access" "$work/run8c.txt" &&
  ! grep -q "^$pid: continuing at" "$work/run8c.txt" && ! grep -q "^$pid: the partial download of an earlier run" "$work/run8c.txt" &&
  [ "$(cat "$store/ChannelIstaller.exe.partial.txt")" = planted ]
check $? "a store anyone may change is not used nor emptied, and the run installs from the first byte (rc=$rc)"
rm -rf "$store"

echo "# 6. a temporary folder whose name is outside the ANSI code page"
# Wine maps Windows file names to Linux ones in the locale's character set:
# under LC_ALL=C no name outside ASCII can be made or opened at all (Wine
# fails the call itself), so the Wine processes of this case run in a UTF-8
# locale; the ANSI code page (1252) and the language stay those of the C
# locale. The folder is made from inside Wine, as a user's would be.
(
  export LC_ALL=C.UTF-8
  name="Временная"
  cyrillic=$temp/$name
  temp_win="C:${temp#"$prefix"/drive_c}"
  temp_win="${temp_win//\//\\}\\$name"
  rm -rf "$cyrillic"
  rm -f "$temp"/ChannelIstaller*.exe
  "$wine_run" cmd /c mkdir "$temp_win" >/dev/null 2>&1
  [ -d "$cyrillic" ]
  check $? "the folder $temp_win was made"
  start_vendor_sim "$sim" "$work/sim6" --file "$installer" --domains 1 || exit 1
  TEMP_DIR=$temp_win run_setup "$work/run6.txt" -silent -auto-start -install-path "$(winpath "$work/installed_6")"
  rc=$?
  stop_vendor_sim
  check $([ $rc -eq 0 ]; echo $?) "a silent install with TEMP and TMP in that folder ends with exit code 0 (rc=$rc)"
  sed -n 's/^[0-9]*: debug_capture: started //p' "$work/run6.txt" | tr -d '\r' |
    grep -qix 'C:\\windows\\temp\\QuorvaneSetup\.[0-9A-F]\{32\}\\ChannelIstaller\.exe'
  check $? "the full installer ran from the run's own folder, not from that one"
  cmp -s "$client" "$work/installed_6/Quorvane.exe"
  check $? "the file started installed the client"
  ! ls "$temp"/ChannelIstaller*.exe "$cyrillic"/ChannelIstaller*.exe >/dev/null 2>&1 &&
    ls "$cyrillic"/QuorvaneSetup_*.log >/dev/null 2>&1
  check $? "the run's log went to that folder, the download to neither"
  rm -rf "$cyrillic"
  exit $fail
) || fail=1

exit $fail
