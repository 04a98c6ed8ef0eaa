#!/usr/bin/env bash
# Installs what is missing, builds, and starts kestrel-eval on the simulated
# evaluation board. Extra arguments go to the program (e.g. --trace run.vcd).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
KESTREL_BUILD_TESTS=OFF KESTREL_BUILD_BENCH=OFF scripts/build.sh
exec build/bin/kestrel-eval --simulate "$@"
