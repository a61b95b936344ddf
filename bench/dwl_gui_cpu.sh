#!/usr/bin/env bash
# How much of a processor core dwl-gui.exe takes under wine during a mode-5 run at 460800 baud
# (the default speed of the panel) against dwl-handset-sim: the end-to-end window test's run,
# measured from the switch-on answer to the success window. A benchmark, not a test.
#
#   bench/dwl_gui_cpu.sh [RUNS]     (after ./dwl.sh windows; build/ holds dwl-handset-sim)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
work=$PWD/build-windows/bench-gui
mkdir -p "$work"
for i in $(seq 1 "$runs"); do
    bash tests/platform/windows/dwl_gui_under_wine.sh "$PWD/build-windows/app/dwl-gui.exe" \
        "$PWD/build" "$PWD" "$work" "$work/cpu.$i" >/dev/null
    echo "run $i: $(cat "$work/cpu.$i")"
done
