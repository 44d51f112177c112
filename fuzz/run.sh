#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them one after another, each for the
# given number of seconds, on a scratch corpus in the build folder seeded
# from fuzz/<target>/corpus (new inputs land there, never in the repository;
# copy the few worth keeping into the seed corpus by hand).
#
#   fuzz/run.sh [seconds per target] [target ...]      (default: 60, all)
#   fuzz/run.sh 0 [target ...]                          (build only)
#
# Environment:
#   QV_FUZZ_BUILD  build folder (default build/fuzz)
#   QV_FUZZ_RUNS   also stop a target after this many executions
#   QV_FUZZ_ARGS   more libFuzzer options
#   QV_FUZZ_JOBS   parallel compile jobs (default 2)
# Prints per target: executions, coverage (cov and ft at the start and at the
# end of the run, from libFuzzer's stats) and findings (crash-, leak-,
# timeout-, oom- files in build/fuzz/runs/<target>/). Each run also appends
# one line to build/fuzz/campaign.tsv. Exit status 1 when anything was found.
set -euo pipefail
seconds=${1:-60}
shift || true
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${QV_FUZZ_BUILD:-$root/build/fuzz}

all=()
for dir in "$here"/*/; do
  name=$(basename "$dir")
  [[ -f "$dir/${name}_fuzzer.cpp" ]] && all+=("$name")
done
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all[@]}")

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
flags+=" -fsanitize-ignorelist=$here/sanitizer_ignorelist.txt"
mkdir -p "$build"
if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQV_FUZZERS=ON -DQV_TEST_HOOKS=OFF \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 2; }
fi
nice -n 19 cmake --build "$build" -j "${QV_FUZZ_JOBS:-2}" --target "${targets[@]/%/_fuzzer}"
[[ $seconds != 0 ]] || exit 0

stat_of() {  # <log> <INITED|DONE> -> "cov ft"
  local line
  line=$(grep -a "#[0-9]*[[:space:]]*$2 " "$1" | tail -1 || true)
  [[ -n $line ]] || line=$(grep -a "cov: " "$1" | tail -1 || true)
  echo "$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$line") $(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$line")"
}

found_any=0
printf '%-16s %12s %9s %9s %11s %11s  %s\n' target executions cov-start cov-end ft-start ft-end findings
for t in "${targets[@]}"; do
  work="$build/runs/$t"
  mkdir -p "$work/corpus"
  cp -n "$here/$t/corpus/"* "$work/corpus/" 2>/dev/null || true
  extra=()
  [[ -f "$here/$t/$t.dict" ]] && extra+=(-dict="$here/$t/$t.dict")
  [[ -n ${QV_FUZZ_RUNS:-} ]] && extra+=(-runs="$QV_FUZZ_RUNS")
  log="$work/last.log"
  # shellcheck disable=SC2086
  (cd "$work" && nice -n 19 "$build/fuzz/${t}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/" "${extra[@]}" ${QV_FUZZ_ARGS:-} corpus \
    >"$log" 2>&1) || true
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  read -r cov0 ft0 <<<"$(stat_of "$log" INITED)"
  read -r cov1 ft1 <<<"$(stat_of "$log" DONE)"
  findings=$(cd "$work" && ls -1 crash-* leak-* timeout-* oom-* slow-unit-* 2>/dev/null | tr '\n' ' ' || true)
  [[ -z $findings ]] || found_any=1
  printf '%-16s %12s %9s %9s %11s %11s  %s\n' "$t" "${execs:-?}" "${cov0:-?}" "${cov1:-?}" "${ft0:-?}" "${ft1:-?}" \
    "${findings:-none}"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$seconds" "${execs:-?}" "${cov0:-?}" \
    "${cov1:-?}" "${ft0:-?}" "${ft1:-?}" "${findings:-none}" >>"$build/campaign.tsv"
done
exit $found_any
