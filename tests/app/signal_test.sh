#!/usr/bin/env bash
# The windows ended by a signal end as Quit ends them: started on a state
# file and a trace, and sent SIGTERM, SIGINT or SIGHUP after start-up, the
# program exits 0, the state file holds the start-up's PLOVER write and
# sigrok decodes every STOP of the trace. Killed outright (SIGKILL), the
# trace still decodes up to its last STOP.
# Usage: signal_test.sh KESTREL_EVAL
set -uo pipefail
# Job control: the program started in the background does not inherit an
# ignored SIGINT, as it would from a script without it.
set -m
program=$1
# Without sigrok-cli: skipped, except on CI (CI=true), where every test must run.
command -v sigrok-cli >/dev/null || { echo "sigrok-cli is not installed"; [ "${CI:-}" = true ] && exit 1; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
failures=0
fail() { echo "FAIL ($1): $2"; failures=$((failures + 1)); }

# Starts the windows; returns once the start-up's transaction is in the trace.
start() {
    rm -f g.txt g.vcd
    QT_QPA_PLATFORM=offscreen "$program" --simulate --sim-state g.txt --trace g.vcd \
        >out.txt 2>&1 &
    pid=$!
    for _ in $(seq 300); do
        grep -q dumpvars g.vcd 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# Every START decodes with its STOP: as many of one as of the other, at least one.
stopsDecode() {
    local decoded starts stops
    decoded=$(sigrok-cli -I vcd -i g.vcd -P i2c:scl=SCL:sda=SDA 2>&1)
    starts=$(grep -c ': Start$' <<<"$decoded")
    stops=$(grep -c ': Stop$' <<<"$decoded")
    [ "$starts" -ge 1 ] && [ "$starts" -eq "$stops" ] ||
        { echo "$decoded" | tail -5; echo "starts $starts, stops $stops"; return 1; }
}

for signal in TERM INT HUP; do
    start || { fail "$signal" "no start-up transaction in the trace"; kill -KILL "$pid"; continue; }
    kill -"$signal" "$pid"
    code=0
    wait "$pid" || code=$?
    [ "$code" -eq 0 ] || fail "$signal" "exit code $code: $(cat out.txt)"
    grep -qx 'plover 90 6' g.txt || fail "$signal" "PLOVER write not saved: $(cat g.txt 2>&1)"
    stopsDecode || fail "$signal" "a STOP does not decode"
done

start || fail KILL "no start-up transaction in the trace"
kill -KILL "$pid"
wait "$pid" 2>/dev/null
stopsDecode || fail KILL "a STOP does not decode in the killed program's trace"

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
