#!/usr/bin/env bash
# The windows ended by a signal end as Quit ends them: started on a state
# file and a trace, and sent SIGTERM, SIGINT or SIGHUP after start-up, the
# program exits 0, the state file holds the start-up's PLOVER write and
# sigrok decodes every STOP of the trace. Killed outright (SIGKILL), the
# trace still decodes up to its last STOP.
# Usage: signal_test.sh KESTREL_EVAL
set -uo pipefail
# Batch commands end the same way: SIGINT, SIGTERM or SIGHUP during
# `production run --boards 5`, `eeprom restore` and `run` completes the
# transaction under way, records what was done (an attempt row for the board
# in progress, the reports, the state file) and exits 130 with one line
# saying where it stopped. The simulated port is slowed down (option
# port-access-ns) so that each command is still running when the signal comes.
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

# Runs a batch command in the background on the slowed board b.txt, sends
# `signal` once `ready` (a shell test) holds, and checks exit 130 and the line.
batch() {
    local signal=$1 ready=$2
    shift 2
    "$program" --simulate --sim-state b.txt "$@" >bout.txt 2>berr.txt &
    local bpid=$!
    for _ in $(seq 600); do
        eval "$ready" && break
        sleep 0.05
    done
    kill -"$signal" "$bpid"
    local code=0
    wait "$bpid" || code=$?
    [ "$code" -eq 130 ] || fail "$signal $3" "exit code $code: $(cat berr.txt)"
    grep -q "stopped by SIG$signal" berr.txt || fail "$signal $3" "no line saying where: $(cat berr.txt)"
    grep -q '^option port-access-ns 20000$' b.txt || fail "$signal $3" "state file not saved whole"
}
slow() {
    printf 'option port-access-ns 20000\n' >b.txt
}

"$program" --simulate --sim-state g.txt snapshot save golden.snap --no-backup >/dev/null 2>&1 ||
    fail setup "no golden snapshot"
"$program" --simulate --sim-state g.txt eeprom backup full.dat >/dev/null 2>&1 ||
    fail setup "no backup"
printf 'write 10 11\nwait 3000\nexpect 10 11\n' >long.kes
for signal in INT TERM HUP; do
    # A board in progress has its row: one per board line printed.
    slow
    rm -f db.sqlite
    batch "$signal" 'grep -q " S-000" bout.txt' production run --golden golden.snap \
        --serial S-0001 --boards 5 --same-board --database db.sqlite --backups bk
    rows=$("$program" production report --database db.sqlite 2>&1 | grep -o '^attempts [0-9]*' |
        grep -o '[0-9]*')
    boards=$(grep -c ' S-000' bout.txt)
    [ "${rows:-0}" -eq "$boards" ] && [ "$boards" -ge 2 ] ||
        fail "$signal production" "$rows rows for $boards boards: $(cat bout.txt)"
    # A restore says which pages it did not write.
    slow
    batch "$signal" 'sleep 1; true' eeprom restore full.dat --no-backup
    grep -q 'restore stopped at page' berr.txt || fail "$signal restore" "$(cat berr.txt)"
    # A script's reports are whole and say where it stopped.
    slow
    rm -f r.xml
    batch "$signal" 'sleep 1; true' run long.kes --junit r.xml
    python3 -c 'import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])' r.xml ||
        fail "$signal run" "no whole JUnit report"
done

start || fail KILL "no start-up transaction in the trace"
kill -KILL "$pid"
wait "$pid" 2>/dev/null
stopsDecode || fail KILL "a STOP does not decode in the killed program's trace"

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
