#!/usr/bin/env bash
# Builds the DecryptText fuzzer with clang (libFuzzer + AddressSanitizer +
# UndefinedBehaviorSanitizer) and runs it on a scratch copy of the corpus.
#   telemetry/fuzz/run.sh [seconds] [build dir]
# New interesting inputs land in the scratch corpus; copy the few worth keeping
# into telemetry/fuzz/corpus by hand. A crash leaves crash-* in the build dir.
set -euo pipefail
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${2:-$root/build/telemetry-fuzz}
mkdir -p "$out/corpus"
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$root")
clang++ "${flags[@]}" -o "$out/decrypt_text_fuzzer" \
  "$here/decrypt_text_fuzzer.cpp" "$root/telemetry/text_cipher.cpp" "$root/telemetry/des.cpp" \
  "$root/base/text_convert_posix.cpp"
cp -n "$here"/corpus/* "$out/corpus/" 2>/dev/null || true
cd "$out"
exec ./decrypt_text_fuzzer -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 corpus
