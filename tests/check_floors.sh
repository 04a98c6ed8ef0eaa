#!/usr/bin/env bash
# Every include points down the floors, never up:
#   chip (the chip map, data only) <- bus <- capture, simulator <- device
#   <- files <- connection <- widgets <- windows, batch <- app
# (bus/ includes nothing of the project above it; capture/ (logic analyser
# files) and simulator/ only bus/; device/ neither the simulator, the file
# formats nor a window; files/ only the device layer and below; no window
# includes app/; batch/ no window and no widget; script/ is batch's floor;
# jobs/ (bus jobs for Qt event loops) sits on connection/, under widgets/ and
# remote/, the SCPI server, which serves batch's `serve` and the windows).
# Prints each include that points up.
set -euo pipefail
src=${1:-$(dirname "$0")/../src}
windows="about block_read scripts_window bus_monitor diagram editors eeprom_window main_window production_window remote_window snapshots status status_timeline switch_control"
allowed() {  # folder -> the folders it may include
    case $1 in
        chip) echo "chip" ;;
        bus) echo "chip bus" ;;
        capture) echo "chip bus capture" ;;
        simulator) echo "chip bus simulator" ;;
        device) echo "chip bus capture device" ;;
        files) echo "chip bus device files" ;;
        connection) echo "chip bus capture simulator device files connection" ;;
        jobs) echo "chip bus capture simulator device files connection jobs" ;;
        widgets) echo "chip bus capture device files connection jobs widgets" ;;
        # The SCPI server: the script engine and batch's sessions and backups
        # (the library below batch's serve command), bus jobs, no widgets.
        remote) echo "chip bus simulator device files connection batch script jobs remote" ;;
        production) echo "chip bus simulator device files connection production" ;;
        batch) echo "chip bus capture simulator device files connection jobs production remote batch" ;;
        script) echo "chip bus simulator device files connection production batch script" ;;
        # The scripts window runs the script engine on the windows' connection.
        scripts_window) echo "chip bus device files connection jobs widgets batch script scripts_window" ;;
        app) echo "*" ;;
        *) echo "chip bus capture device files connection jobs production remote widgets $windows" ;;  # a window folder
    esac
}
bad=0
for dir in "$src"/*/; do
    floor=$(basename "$dir")
    ok=$(allowed "$floor")
    [ "$ok" = "*" ] && continue
    while IFS= read -r line; do
        file=${line%%:*}
        target=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$line")
        if ! grep -qw "$target" <<<"$ok"; then
            echo "${file#$src/}: includes $target/ (a floor above $floor/)"
            bad=1
        fi
    done < <(grep -HE '^#include "[a-z_]+/' "$dir"* 2>/dev/null || true)
done
[ $bad -eq 0 ] && echo "every include points down"
exit $bad
