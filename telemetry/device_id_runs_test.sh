#!/usr/bin/env bash
# The device identifier across processes under Wine: a fresh cache is written
# by the first run and read back by the second, which prints the same text.
#   device_id_runs_test.sh <wine-run> <device_id_probe.exe>
set -u
wine_run=$1
probe=$2
key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Quorvanebala'
"$wine_run" reg delete "$key" /v assssr_addr /f /reg:32 >/dev/null 2>&1
first=$("$wine_run" "$probe" | tr -d '\r')
second=$("$wine_run" "$probe" | tr -d '\r')
stored=$("$wine_run" reg query "$key" /v assssr_addr /reg:32 | tr -d '\r' | awk '$1 == "assssr_addr" {print $3}')
echo "first=$first second=$second stored=$stored"
fail=0
[[ $first =~ ^[0-9A-F]{12}$ ]] || { echo "FAIL: first run gave '$first'"; fail=1; }
[ "$first" = "$second" ] || { echo "FAIL: second run gave '$second'"; fail=1; }
[[ $stored =~ ^[0-9A-F]{32}$ ]] || { echo "FAIL: cached value '$stored'"; fail=1; }
exit $fail
