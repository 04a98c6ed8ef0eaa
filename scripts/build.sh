#!/usr/bin/env bash
# Configures and builds kestrel-eval in BUILD_DIR (default: build).
# KESTREL_SANITIZE=ON builds with AddressSanitizer and UBSan (the test build);
# KESTREL_BUILD_TESTS / KESTREL_BUILD_BENCH=OFF leave out tests and benchmarks.
# KESTREL_UNITY=ON compiles the sources in batches (a whole build is about
# twice as fast; a one-file change rebuilds its batch): the CI build.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja \
    -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    -DKESTREL_SANITIZE="${KESTREL_SANITIZE:-OFF}" \
    -DKESTREL_BUILD_TESTS="${KESTREL_BUILD_TESTS:-ON}" \
    -DKESTREL_BUILD_BENCH="${KESTREL_BUILD_BENCH:-ON}" \
    -DCMAKE_UNITY_BUILD="${KESTREL_UNITY:-OFF}" >/dev/null
cmake --build "$build_dir" -j2
