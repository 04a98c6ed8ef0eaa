#!/usr/bin/env bash
# The same register steps as script_bench's BM_Run10000RegisterSteps, one
# batch process each (a write and a read, as a shell loop around batch runs
# does them), on a simulated board kept in a state file; then the script in
# one process. Prints both times and their ratio.
#   bench/script_vs_batch.sh build/bin/kestrel-eval [STEPS]
set -euo pipefail
program=$1
steps=${2:-10000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
state=$dir/board.txt
start=$(date +%s.%N)
for ((i = 0; i < steps / 2; i++)); do
    "$program" --simulate --sim-state "$state" write 10 5A
    [[ $("$program" --simulate --sim-state "$state" read 10) == 5A ]]
done
middle=$(date +%s.%N)
printf 'repeat %d\nwrite 10 5A\nexpect 10 5A\nend\n' $((steps / 2)) >"$dir/steps.kes"
"$program" --simulate --sim-state "$state" run "$dir/steps.kes" >/dev/null
end=$(date +%s.%N)
awk -v s="$start" -v m="$middle" -v e="$end" -v n="$steps" 'BEGIN {
    printf "%d batch processes: %.2f s (%.2f ms a step)\n", n, m - s, (m - s) * 1000 / n
    printf "one script run:     %.3f s (%.3f ms a step)\n", e - m, (e - m) * 1000 / n
    printf "ratio: %.0f\n", (m - s) / (e - m) }'
