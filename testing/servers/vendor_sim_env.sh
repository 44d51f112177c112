# Shell functions (bash, sourced) that start the native vendor simulator for
# the Windows-side tests and the demo.
#
#   find_vendor_sim SOURCE_DIR CACHE_DIR   prints the path of a vendor_sim binary
#   start_vendor_sim SIM WORK_DIR [FLAGS...]
#       starts it with --port-file/--record in WORK_DIR, waits until it listens,
#       exports its environment (QV_DIRECTORY_URL, QV_TEST_DIRECTORY_URL,
#       QV_BUILTIN_DOMAINS, ...) and
#       sets SIM_PID, SIM_PORTS (the port file) and SIM_RECORD (the record file)
#   stop_vendor_sim
#
# The Windows build tree builds no native tools, so the binary comes from
# $QV_VENDOR_SIM, from a native build tree of the same sources (the test
# command builds native-asan and native-tsan before windows), or is compiled
# here once into CACHE_DIR.

find_vendor_sim() {
  local src=$1 cache=$2 candidate newest
  if [ -n "${QV_VENDOR_SIM:-}" ] && [ -x "$QV_VENDOR_SIM" ]; then
    echo "$QV_VENDOR_SIM"
    return 0
  fi
  newest=$(ls -t "$src"/tools/vendor_sim/*.cpp "$src"/tools/vendor_sim/*.h 2>/dev/null | head -1)
  for candidate in "$src"/build/native-asan/tools/vendor_sim "$src"/build/native-tsan/tools/vendor_sim \
                   "$src"/build/native/tools/vendor_sim "$cache/vendor_sim"; do
    if [ -x "$candidate" ] && { [ -z "$newest" ] || [ "$candidate" -nt "$newest" ]; }; then
      echo "$candidate"
      return 0
    fi
  done
  mkdir -p "$cache"
  echo "compiling the vendor simulator into $cache" >&2
  # shellcheck disable=SC2046
  g++ -std=c++17 -O1 -pthread -I"$src" $(pkg-config --cflags cpp-httplib) -o "$cache/vendor_sim.tmp" \
    "$src"/tools/vendor_sim/*.cpp $(pkg-config --libs cpp-httplib) -lz >&2 || return 1
  mv "$cache/vendor_sim.tmp" "$cache/vendor_sim"
  echo "$cache/vendor_sim"
}

start_vendor_sim() {
  local sim=$1 work=$2
  shift 2
  mkdir -p "$work"
  SIM_PORTS=$work/ports.json
  SIM_RECORD=$work/record.jsonl
  rm -f "$SIM_PORTS" "$SIM_RECORD"
  "$sim" --record "$SIM_RECORD" --port-file "$SIM_PORTS" "$@" >"$work/vendor_sim.out" 2>&1 &
  SIM_PID=$!
  local i
  for i in $(seq 1 300); do
    [ -f "$SIM_PORTS" ] && break
    kill -0 "$SIM_PID" 2>/dev/null || { echo "vendor_sim did not start:" >&2; cat "$work/vendor_sim.out" >&2; return 1; }
    sleep 0.1
  done
  [ -f "$SIM_PORTS" ] || { echo "vendor_sim did not listen" >&2; return 1; }
  eval "$(python3 -c 'import json,sys,shlex
for k, v in json.load(open(sys.argv[1]))["env"].items(): print("export %s=%s" % (k, shlex.quote(v)))' "$SIM_PORTS")"
  # The "-test" directory: the same simulator under another host name, so its
  # record (the Host header) shows which endpoint a run asked.
  export QV_TEST_DIRECTORY_URL="${QV_DIRECTORY_URL/127.0.0.1/localhost}"
}

stop_vendor_sim() {
  if [ -n "${SIM_PID:-}" ]; then
    kill "$SIM_PID" 2>/dev/null
    wait "$SIM_PID" 2>/dev/null
    SIM_PID=
  fi
}

# The install reports the last simulator started received: "http_code error_module" per line.
reports() {
  python3 - "$SIM_RECORD" <<'PY'
import json, sys
for l in open(sys.argv[1], encoding="utf-8"):
    if not l.strip(): continue
    r = json.loads(l)
    if r["path"] == "/api/data_report/client/update_pc_module":
        d = json.loads(r["body"])["error_detail"]
        print(d["http_code"], d.get("error_module", ""))
PY
}
