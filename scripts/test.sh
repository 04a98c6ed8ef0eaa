#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan, and runs
# the whole test suite (and each fuzz target for a few seconds). Any
# sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Both builds are whole builds: compiled in batches (KESTREL_UNITY=OFF for one
# file at a time).
export KESTREL_UNITY=${KESTREL_UNITY:-ON}
# The fuzz targets, built with clang and libFuzzer, each run for a few seconds.
BUILD_DIR=build-fuzz scripts/fuzz.sh 5
export BUILD_DIR=${BUILD_DIR:-build-test} KESTREL_SANITIZE=ON BUILD_TYPE=Debug
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2
