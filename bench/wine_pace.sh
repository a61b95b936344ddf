#!/usr/bin/env bash
# How well the Windows programs keep the wire's pace under wine, and what they cost: mode 5 with
# the three sample images at 460800 baud against the Linux dwl-handset-sim on a pseudo-terminal,
# runs of dwl.exe and of dwl-gui.exe (driven through its window) alternating. Each run prints
# the wire ratio (the span of the handset's line activity over the wire time of its bytes plus
# its own waits, from the handset's report) and the program's share of a processor core from
# the switch-on prompt (dwl.exe) or answer (dwl-gui.exe) to the end of the run. A benchmark, not
# a test.
#
#   bench/wine_pace.sh [RUNS] [dwl|gui|both]    (after ./dwl.sh windows; build/ holds the
#                                               Linux dwl-handset-sim)
set -uo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
runs=${1:-3}
which=${2:-both}
host_build=$source_dir/build
handset_program=$host_build/app/dwl-handset-sim
examples=$source_dir/examples
dwl_exe=$source_dir/build-windows/app/dwl.exe
gui_exe=$source_dir/build-windows/app/dwl-gui.exe
bench=$source_dir/build-windows/bench-pace
mkdir -p "$bench"
export WINEDEBUG=-all DWL_SOURCE_DIR=$source_dir

work=$bench
# The handset program, COM ports and the processor time of a program of the prefix.
source tests/platform/windows/wine_bench.sh

now() { date +%s.%N; }

# The wire ratio from a handset's report ("span S", "busy B", "waits W").
wire_ratio() {
    awk '$1 == "span" { s = $2 } $1 == "busy" { b = $2 } $1 == "waits" { w = $2 }
         END { if (b + w > 0) printf "%.4f", s / (b + w); else printf "none" }' "$1"
}

# dwl.exe in a console-less prefix of its own, whose server and services start before it.
dwl_run() {
    local i=$1
    work=$bench/dwl.$i
    rm -rf "$work"
    mkdir -p "$work"
    cp "$examples"/flash.txt "$examples"/dwl87.spm "$examples"/dwl88.spm "$examples"/sample.* \
        "$work/"
    export WINEPREFIX=$bench/wine-dwl DISPLAY=
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
    wineserver -p >/dev/null 2>&1 </dev/null
    wineboot >/dev/null 2>&1 </dev/null
    start_handset 4 --report "$work/report"
    map_port 4 "$handset_device"
    # Its processor time at the prompt, less than what its whole process took.
    local line ticks_before=0 wall_before=0 started wall user sys
    started=$(now)
    exec {lines}< <(cd "$work" && /usr/bin/time -f "%e %U %S" -o "$work/time" wine "$dwl_exe" \
        flash --port COM4 --mode 5 --speed 460800 --bin sample.bin --ogm sample.ogm \
        --tfs sample.tfs 2>&1 | tee "$work/dwl.out")
    while IFS= read -r -u "$lines" line; do
        if [[ $line == "> Please switch on"* ]]; then
            ticks_before=$(program_ticks dwl.exe) wall_before=$(now)
            break
        fi
    done
    cat <&"$lines" >/dev/null
    exec {lines}<&-
    kill "$handset_pid"
    wait "$handset_pid" 2>/dev/null
    grep -q "^result: Download successful" "$work/dwl.out" || echo "dwl.exe run $i failed ($work)"
    read -r wall user sys <"$work/time"
    awk -v i="$i" -v r="$(wire_ratio "$work/report")" -v t0="$ticks_before" \
        -v t="$(echo "$user + $sys" | bc)" -v hz="$(getconf CLK_TCK)" -v a="$wall_before" \
        -v b="$(echo "$started + $wall" | bc)" \
        'BEGIN { c = t - t0 / hz; printf "dwl.exe     run %d: wire ratio %s, cpu %.2f s, wall %.2f s, share %.1f %% of a core\n", i, r, c, b - a, 100 * c / (b - a) }'
}

gui_run() {
    local i=$1 dir=$bench/gui.$i
    rm -rf "$dir"
    mkdir -p "$dir"
    bash tests/platform/windows/dwl_gui_under_wine.sh "$gui_exe" "$host_build" "$source_dir" \
        "$dir" "$dir/cpu" >"$dir/out" 2>&1 || echo "dwl-gui.exe run $i failed ($dir)"
    printf 'dwl-gui.exe run %d: wire ratio %s, %s\n' "$i" "$(wire_ratio "$dir/gui/report")" \
        "$(cat "$dir/cpu" 2>/dev/null || echo 'no figure')"
}

for i in $(seq 1 "$runs"); do
    [ "$which" = gui ] || dwl_run "$i"
    [ "$which" = dwl ] || gui_run "$i"
done
if [ "$which" != gui ]; then
    WINEPREFIX=$bench/wine-dwl wineserver -k 2>/dev/null
fi
exit 0
