#!/usr/bin/env bash
# How well the Windows programs keep the wire's pace under wine, and what they cost: mode 5 with
# the three sample images at 460800 baud against the Linux dwl-handset-sim on a pseudo-terminal,
# runs of dwl.exe and of dwl-gui.exe (driven through its window) alternating. Each run prints
# the wire ratio (the span of the handset's line activity over the wire time of its bytes plus
# its own waits, from the handset's report) and the program's share of a processor core during
# the transfer. A benchmark, not a test.
#
#   bench/wine_pace.sh [RUNS] [dwl|gui|both]    (after ./dwl.sh windows; build/ holds the
#                                               Linux dwl-handset-sim)
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
runs=${1:-3}
which=${2:-both}
host_build=$source_dir/build
dwl_exe=$source_dir/build-windows/app/dwl.exe
gui_exe=$source_dir/build-windows/app/dwl-gui.exe
work=$source_dir/build-windows/bench-pace
mkdir -p "$work"

# The wire ratio from a handset's report ("span S", "busy B", "waits W").
wire_ratio() {
    awk '$1 == "span" { s = $2 } $1 == "busy" { b = $2 } $1 == "waits" { w = $2 }
         END { if (b + w > 0) printf "%.4f", s / (b + w); else printf "none" }' "$1"
}

now() { date +%s.%N; }

# Processor time (user and system) of the program of this prefix, in clock ticks.
program_ticks() {
    local pid
    for pid in $(pgrep -x "$1"); do
        tr '\0' '\n' </proc/"$pid"/environ 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" ||
            continue
        awk '{print $14 + $15}' /proc/"$pid"/stat
        return
    done
    echo 0
}

share() { # ticks before, after, wall before, after
    awk -v t="$(($2 - $1))" -v hz="$(getconf CLK_TCK)" -v a="$3" -v b="$4" \
        'BEGIN { printf "cpu %.2f s, wall %.2f s, share %.1f %% of a core", t / hz, b - a,
                 100 * t / hz / (b - a) }'
}

# dwl.exe in a console-less prefix of its own (the prefix's server runs apart, started before).
dwl_run() {
    local i=$1 dir=$work/dwl.$i
    export WINEPREFIX=$work/wine-dwl WINEDEBUG=-all DISPLAY= DWL_SOURCE_DIR=$source_dir
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
    wineserver -p >/dev/null 2>&1 </dev/null || true
    # The prefix's services start now, not with the program (they would hold its output open).
    wineboot >/dev/null 2>&1 </dev/null
    rm -rf "$dir"
    mkdir -p "$dir"
    cp examples/flash.txt examples/dwl87.spm examples/dwl88.spm examples/sample.* "$dir/"
    "$host_build/app/dwl-handset-sim" --flash examples/flash.txt --report "$dir/report" \
        >"$dir/handset.out" 2>&1 &
    local handset=$! device=
    for _ in $(seq 1 100); do
        device=$(sed -n '1s/^dwl-handset-sim: //p' "$dir/handset.out")
        [ -n "$device" ] && break
        sleep 0.05
    done
    ln -sfn "$device" "$WINEPREFIX/dosdevices/com4"
    # Processor time from the switch-on prompt to the program's end (the GUI's run is measured
    # from the switch-on answer to the success window): the whole process's, less what it had
    # taken at the prompt.
    local line ticks_before=0 wall_before=0 started
    started=$(now)
    exec {lines}< <(cd "$dir" && /usr/bin/time -f "%e %U %S" -o "$dir/time" wine "$dwl_exe" \
        flash --port COM4 --mode 5 --speed 460800 --bin sample.bin --ogm sample.ogm \
        --tfs sample.tfs 2>&1 | tee "$dir/dwl.out")
    while IFS= read -r -u "$lines" line; do
        case $line in
        "> Please switch on"*)
            ticks_before=$(program_ticks dwl.exe) wall_before=$(now)
            break
            ;;
        esac
    done
    cat <&"$lines" >/dev/null
    exec {lines}<&-
    kill "$handset"
    wait "$handset" 2>/dev/null || true
    grep -q "^result: Download successful" "$dir/dwl.out" || echo "dwl.exe run $i failed (see $dir)"
    local wall user sys
    read -r wall user sys <"$dir/time"
    printf 'dwl.exe     run %d: wire ratio %s, %s\n' "$i" "$(wire_ratio "$dir/report")" \
        "$(share "$ticks_before" "$(echo "($user + $sys) * $(getconf CLK_TCK) / 1" | bc)" \
            "$wall_before" "$(echo "$started + $wall" | bc)")"
}

gui_run() {
    local i=$1 dir=$work/gui.$i
    rm -rf "$dir"
    mkdir -p "$dir"
    bash tests/platform/windows/dwl_gui_under_wine.sh "$gui_exe" "$host_build" "$source_dir" \
        "$dir" "$dir/cpu" >"$dir/out" 2>&1 || echo "dwl-gui.exe run $i failed (see $dir)"
    printf 'dwl-gui.exe run %d: wire ratio %s, %s\n' "$i" "$(wire_ratio "$dir/gui/report")" \
        "$(cat "$dir/cpu" 2>/dev/null || echo 'no cpu figure')"
}

for i in $(seq 1 "$runs"); do
    [ "$which" = gui ] || dwl_run "$i"
    [ "$which" = dwl ] || gui_run "$i"
done
[ "$which" = gui ] || { WINEPREFIX=$work/wine-dwl wineserver -k 2>/dev/null || true; }
