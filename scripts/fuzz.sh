#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer in build-fuzz and runs
# each for SECONDS (default 600), two at a time (one per core). New inputs
# go to build-fuzz/fuzz/found/NAME, crashes to build-fuzz/fuzz (crash-*).
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
build_dir=${BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTREL_FUZZ=ON -DCMAKE_UNITY_BUILD="${KESTREL_UNITY:-OFF}" >/dev/null
cmake --build "$build_dir" -j2
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Runs one target on its corpus; its output goes to its log, its exit status
# to NAME.status beside the log.
fuzz_one() {
    local name=$1 corpus=$2 found="$build_dir/fuzz/found/$1" log="$build_dir/fuzz/$1.log"
    mkdir -p "$found"
    local rc=0
    (cd "$build_dir/fuzz" && "./fuzz_$name" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 "$OLDPWD/$found" "$OLDPWD/$corpus") >"$log" 2>&1 || rc=$?
    echo "$rc" >"$build_dir/fuzz/$name.status"
}

names=()
for corpus in fuzz/corpus/*/; do
    name=$(basename "$corpus")
    names+=("$name")
    rm -f "$build_dir/fuzz/$name.status"
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
    fuzz_one "$name" "$corpus" &
done
wait

status=0
for name in "${names[@]}"; do
    echo "== $name: ${seconds}s"
    log="$build_dir/fuzz/$name.log"
    if [ "$(cat "$build_dir/fuzz/$name.status" 2>/dev/null)" = 0 ]; then
        grep -E "^stat::(number_of_executed_units|average_exec_per_sec)" "$log" || true
    else
        status=1
        grep -E "==[0-9]+==|SUMMARY|Test unit written|runtime error" "$log" || tail -20 "$log"
    fi
done
exit $status
