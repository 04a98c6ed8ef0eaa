#!/usr/bin/env bash
# Regenerates the README's pictures (docs/screenshots) from the screenshot
# tool on the simulated board. With --screens, also shows every window on a
# 1366x768 display (Xvfb with openbox) at scale factors 1, 1.5 and 2 and saves
# each screen to build/screens/scale-F/, to check that every window opens
# whole and legible.
set -euo pipefail
cd "$(dirname "$0")/.."
KESTREL_BUILD_TESTS=OFF KESTREL_BUILD_BENCH=OFF scripts/build.sh
QT_QPA_PLATFORM=offscreen build/tools/kestrel-screenshots docs/screenshots
echo "README pictures in docs/screenshots"
if [ "${1:-}" = "--screens" ]; then
    display=:91
    Xvfb "$display" -screen 0 1366x768x24 >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $wm $xvfb 2>/dev/null || true' EXIT
    sleep 1
    DISPLAY=$display openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
    for scale in 1 1.5 2; do
        out=build/screens/scale-$scale
        mkdir -p "$out"
        DISPLAY=$display QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
            build/tools/kestrel-screenshots --desktop "$out"
        echo "screens at scale $scale in $out"
    done
fi
