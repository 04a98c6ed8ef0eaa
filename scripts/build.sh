#!/usr/bin/env bash
# Configures and builds kestrel-eval in BUILD_DIR (default: build).
# KESTREL_SANITIZE=ON builds with AddressSanitizer and UBSan (the test build).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja \
    -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    -DKESTREL_SANITIZE="${KESTREL_SANITIZE:-OFF}" >/dev/null
cmake --build "$build_dir" -j2
