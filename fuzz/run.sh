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
# end of the run, from libFuzzer's stats), the fuzzer's exit status and this
# run's findings (crash-, leak-, timeout-, oom- files written into
# build/fuzz/runs/<target>/ during this run; older ones stay there but are not
# counted again). Each run also appends one line to build/fuzz/campaign.tsv.
# Exit status 1 when anything was found, when a fuzzer ended with a status
# other than 0, or when a target executed no input at all: a target that did
# not run must not read as a clean one.
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

failed=0
printf '%-16s %12s %9s %9s %11s %11s %6s  %s\n' target executions cov-start cov-end ft-start ft-end status findings
for t in "${targets[@]}"; do
  work="$build/runs/$t"
  mkdir -p "$work/corpus"
  cp -n "$here/$t/corpus/"* "$work/corpus/" 2>/dev/null || true
  extra=()
  [[ -f "$here/$t/$t.dict" ]] && extra+=(-dict="$here/$t/$t.dict")
  [[ -n ${QV_FUZZ_RUNS:-} ]] && extra+=(-runs="$QV_FUZZ_RUNS")
  log="$work/last.log"
  # Artifacts written from here on are this run's; libFuzzer rewrites a file
  # it finds again, so a repeated finding counts again too.
  started="$work/.started"
  rm -f "$started" && touch "$started"
  status=0
  # shellcheck disable=SC2086
  (cd "$work" && nice -n 19 "$build/fuzz/${t}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/" "${extra[@]}" ${QV_FUZZ_ARGS:-} corpus \
    >"$log" 2>&1) || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  read -r cov0 ft0 <<<"$(stat_of "$log" INITED)"
  read -r cov1 ft1 <<<"$(stat_of "$log" DONE)"
  findings=$(find "$work" -maxdepth 1 -type f -newer "$started" \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' \) \
    -printf '%f\n' | sort | paste -sd' ')
  verdict=${findings:-none}
  if [[ ! ${execs:-} =~ ^[0-9]+$ || $execs -eq 0 ]]; then
    verdict="DID NOT RUN (see $log)${findings:+ $findings}"
  elif [[ $status -ne 0 && -z $findings ]]; then
    verdict="FAILED (see $log)"
  fi
  [[ $verdict == none ]] || failed=1
  printf '%-16s %12s %9s %9s %11s %11s %6s  %s\n' "$t" "${execs:-?}" "${cov0:-?}" "${cov1:-?}" "${ft0:-?}" "${ft1:-?}" \
    "$status" "$verdict"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$seconds" "${execs:-?}" "${cov0:-?}" \
    "${cov1:-?}" "${ft0:-?}" "${ft1:-?}" "$status" "$verdict" >>"$build/campaign.tsv"
done
exit $failed
