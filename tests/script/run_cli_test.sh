#!/usr/bin/env bash
# `kestrel-eval run` as a test server runs it: the examples pass on the
# simulated board, a failed expectation reaches a real JUnit consumer
# (Debian's python3-junitparser) with its differing bits, and SIGTERM ends a
# long run with a complete report that says where it stopped.
set -uo pipefail
program=$1
examples=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export XDG_STATE_HOME=$dir/state
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for example in "$examples"/*.kes; do
    "$program" --simulate --sim-state "$dir/board.txt" run "$example" \
        --junit "$dir/example.xml" --csv "$dir/example.csv" >"$dir/out" 2>&1 ||
        fail "$(basename "$example") exits $?: $(tail -3 "$dir/out")"
done
[[ $(wc -l <"$dir/example.csv") -ge 1 ]] || fail "no CSV header"

cat >"$dir/check.kes" <<'SCRIPT'
on-error continue
expect 1D 21
expect 1D 25 mask 0F
SCRIPT
"$program" --simulate run "$dir/check.kes" --junit "$dir/check.xml" >/dev/null
code=$?
[[ $code == 5 ]] || fail "failed expect exits $code, not 5"
/usr/bin/python3 - "$dir/check.xml" <<'PY' || fail "JUnit report not as junitparser reads it"
import sys
from junitparser import JUnitXml, Failure
xml = JUnitXml.fromfile(sys.argv[1])
suites = list(xml)
assert len(suites) == 1, suites
suite = suites[0]
assert (suite.tests, suite.failures, suite.errors) == (2, 1, 0), (suite.tests, suite.failures)
cases = list(suite)
assert cases[0].is_passed and cases[0].name.endswith("check.kes:2: expect 1D 21"), cases[0].name
results = cases[1].result
assert len(results) == 1 and isinstance(results[0], Failure), results
assert "check.kes:3: register 1Dh: expected 05h under mask 0Fh, read 21h; differing bit 2 (04h)" \
    in results[0].message, results[0].message
PY

# A script piped in runs as from a file; a report never replaces the script.
printf 'expect 1C 00\n' | "$program" --simulate run - >"$dir/out" 2>&1
code=$?
[[ $code == 5 ]] || fail "run - with a failing expect exits $code, not 5: $(cat "$dir/out")"
cp "$dir/check.kes" "$dir/kept.kes"
"$program" --simulate run "$dir/check.kes" --junit "$dir/check.kes" >/dev/null 2>"$dir/err"
code=$?
[[ $code == 1 ]] || fail "--junit naming the script exits $code, not 1"
cmp -s "$dir/check.kes" "$dir/kept.kes" || fail "--junit replaced the script"

printf 'frobnicate\n' >"$dir/bad.kes"
"$program" --simulate --trace "$dir/bad.vcd" run "$dir/bad.kes" --junit "$dir/bad.xml" 2>"$dir/err"
code=$?
[[ $code == 1 ]] || fail "script error exits $code, not 1"
grep -q "bad.kes:1:1: 'frobnicate'" "$dir/err" || fail "script error not named: $(cat "$dir/err")"
[[ ! -e $dir/bad.xml ]] || fail "a report was written for a script that did not run"

printf 'repeat 100000\nwait 10\nend\n' >"$dir/long.kes"
"$program" --simulate run "$dir/long.kes" --junit "$dir/long.xml" >"$dir/long.out" 2>&1 &
pid=$!
# Once its report's temporary file is there, the run has taken over the signals.
for ((i = 0; i < 200; i++)); do
    compgen -G "$dir/long.xml.tmp-*" >/dev/null && break
    sleep 0.05
done
sleep 0.3
kill -TERM $pid
wait $pid
code=$?
[[ $code == 130 ]] || fail "SIGTERM: exit $code, not 130"
/usr/bin/python3 - "$dir/long.xml" <<'PY' || fail "stopped run's report"
import sys
from junitparser import JUnitXml, Error
suite = list(JUnitXml.fromfile(sys.argv[1]))[0]
results = [r for case in suite for r in case.result]
assert any(isinstance(r, Error) and r.type == "stopped" and "long.kes:2" in r.message
           for r in results), [r.message for r in results]
PY
ls "$dir" | grep -q '\.tmp\|~' && fail "a temporary report file was left behind"

[[ $failures == 0 ]] && echo "script runs ok"
exit $((failures > 0))
