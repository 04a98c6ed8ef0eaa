#!/usr/bin/env bash
# The installed program's command line, run as a script runs it: without a
# display, so that anything that tried to open a window would abort.
#   cli_test.sh PROGRAM COMPLETION-FILE
set -uo pipefail
program=$1
completion=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
failures=0

# expect CODE PATTERN ARGS...: the exit code, and a pattern standard error
# (or, for code 0, standard output) must hold.
expect() {
    local code=$1 pattern=$2
    shift 2
    "$program" "$@" >"$work/out" 2>"$work/err" <"${input:-/dev/null}"
    local got=$?
    local text=$work/err
    [[ $code == 0 ]] && text=$work/out
    if [[ $got != "$code" ]] || { [[ -n $pattern ]] && ! grep -qe "$pattern" "$text"; }; then
        echo "FAIL: kestrel-eval $* gave $got, expected $code with '$pattern'"
        sed 's/^/  out: /' "$work/out" | head -5
        sed 's/^/  err: /' "$work/err" | head -5
        failures=$((failures + 1))
    fi
}

# Unknown and malformed options never start the windows.
expect 1 "unknown option '--simulat'" --simulat read 00
expect 1 "unknown option '--bogus'" --bogus
expect 1 "unknown option" --simulate=yes
expect 1 "needs --simulate" --sim-state=board.txt read 00
expect 1 "Try 'kestrel-eval --help'" frobnicate
expect 1 "Usage: kestrel-eval read REG" read 0x1D 2

# --opt=value, -h, -V.
expect 0 '^21$' --simulate "--sim-state=$work/board.txt" read 0x1D
expect 0 '^kestrel-eval [0-9]' -V
expect 0 '^Usage: kestrel-eval' -h
"$program" --help | awk 'length > 80 { print "FAIL: help line over 80 columns: " $0; bad = 1 } END { exit bad }' ||
    failures=$((failures + 1))

# '-' is standard input for an image file.
for i in $(seq 0 31); do printf '81%02Xh: %02Xh\r\n' "$i" $((i + 0x40)); done >"$work/block.dat"
input=$work/block.dat expect 0 '' --simulate "--sim-state=$work/board.txt" --no-backup \
    eeprom write 8100 - --verify
expect 0 '^8101h: 41h' --simulate "--sim-state=$work/board.txt" eeprom read 8100 2
expect 0 '^8100h: 40h' --simulate "--sim-state=$work/board.txt" eeprom read 8100 --out -

# A trace the program wrote decodes back to its transactions, the zero write's
# hold included; a capture with a bad row names the file and the line.
expect 0 '' --simulate "--sim-state=$work/board.txt" "--trace=$work/t.vcd" read 1D
expect 0 '^0.000,Read Byte,AE,1D,AE+ 1D+ Sr AF+ <21+ <..-,' decode "$work/t.vcd"
expect 0 '' --simulate "--sim-state=$work/board.txt" "--trace=$work/z.vcd" --no-backup eeprom zero 81E0
expect 0 '^[0-9.]*,Zero Write,AE,81FF,AE+ 81+ FF+ 00+,' decode "$work/z.vcd" --scl SCL --sda SDA
printf 'Time [s],SCL,SDA\n0.0,1,1\n0.1,X,1\n' >"$work/x.csv"
expect 1 "x.csv: line 3: SCL is \"X\", not 0 or 1" decode "$work/x.csv"
expect 1 "no channel named SCK" decode "$work/t.vcd" --scl SCK
expect 1 "none.vcd: cannot be opened: No such file or directory" decode "$work/none.vcd"
expect 1 "\-\-scl and \-\-sda go with 'decode'" --simulate --scl A read 1D

# A snapshot compared with itself is identical; with a changed board it differs (4).
expect 0 '' --simulate "--sim-state=$work/board.txt" snapshot save "$work/a.snap"
expect 0 '^identical: 25 of 25' snapshot diff "$work/a.snap" "$work/a.snap"
expect 0 '' --simulate "--sim-state=$work/board.txt" write 14 81
expect 4 '' --simulate "--sim-state=$work/board.txt" snapshot diff "$work/a.snap"

# The production station on the program itself: a record in the user's data
# folder, the write of 14h undone, the report from it; no window either.
export XDG_DATA_HOME=$work/data
expect 0 '^Usage: kestrel-eval production run' production --help
expect 0 '^PASS S-1  registers written: 14h' --simulate "--sim-state=$work/board.txt" \
    production run --golden "$work/a.snap" --serial S-1
expect 0 '^attempts 1, passed 1' production report
expect 1 "needs one of: run, report" production

# The completion offers the commands, the eeprom commands and the page bases.
complete_words() {
    (
        # shellcheck disable=SC1090
        source "$completion"
        COMP_WORDS=(kestrel-eval "$@")
        COMP_CWORD=$(($# ))
        _kestrel_eval
        echo "${COMPREPLY[*]}"
    )
}
[[ $(complete_words det) == detect ]] || { echo "FAIL: completion of 'det'"; failures=$((failures + 1)); }
[[ $(complete_words production r) == "run report" ]] ||
    { echo "FAIL: completion of 'production r'"; failures=$((failures + 1)); }
[[ $(complete_words eeprom wr) == "write write-byte" ]] ||
    { echo "FAIL: completion of 'eeprom wr'"; failures=$((failures + 1)); }
[[ $(complete_words --simulate eeprom erase 81E) == 81E0 ]] ||
    { echo "FAIL: completion of an erase page"; failures=$((failures + 1)); }
[[ $(complete_words snapshot a) == apply ]] ||
    { echo "FAIL: completion of 'snapshot a'"; failures=$((failures + 1)); }
[[ $(complete_words snapshot apply good.snap --r) == --registers-only ]] ||
    { echo "FAIL: completion of --registers-only"; failures=$((failures + 1)); }
[[ $(complete_words eeprom write 8100 blk.dat --er) == --erase ]] ||
    { echo "FAIL: completion of --erase"; failures=$((failures + 1)); }
[[ $(complete_words --csv log.csv run s.kes --ju) == --junit ]] ||
    { echo "FAIL: completion after --csv FILE before run"; failures=$((failures + 1)); }
[[ $(complete_words --simulate serve --l) == --listen ]] ||
    { echo "FAIL: completion of serve's --listen"; failures=$((failures + 1)); }

[[ $failures == 0 ]] && echo "command line ok"
exit $((failures != 0))
