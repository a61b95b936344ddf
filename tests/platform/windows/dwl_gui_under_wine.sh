#!/usr/bin/env bash
# dwl-gui.exe end to end in a real window: under wine, on an X server of its own (Xvfb on a free
# display, openbox as its window manager), driven like an operator with xdotool's clicks and
# keys, against the Linux dwl-handset-sim on a pseudo-terminal mapped to COM4 of a wine prefix
# of its own:
#
#   dwl_gui_under_wine.sh DWL_GUI_EXE HOST_BUILD SOURCE_DIR WORK_DIR [CPU_REPORT]
#
# With CPU_REPORT (bench/wine_pace.sh) it writes there the processor time dwl-gui.exe took
# from the switch-on answer to the success window, the wall time, and their ratio.
#
# Chooses mode 5 in its ring, loads the three sample images through the file dialogs, presses
# Start, answers the switch-on window, and ends on the success window; the handset then holds
# exactly the images. Every wait is for a window by its name, with a deadline.
set -uo pipefail

gui_exe=$1
host_build=$2
source_dir=$3
work=$4/gui
cpu_report=${5:-}
handset_program=$host_build/app/dwl-handset-sim
examples=$source_dir/examples
layout=$source_dir/ui/mmi.uir
export DWL_SOURCE_DIR=$source_dir WINEDEBUG=-all
# A prefix of its own: its wine server and desktop belong to this display alone. Made once.
export WINEPREFIX=$4/wine-gui
# How long a window may take to come, and the run to end.
window_limit=30
run_limit=90

source "$(dirname "$0")/wine_bench.sh"
# A failure keeps a picture of the screen as it was then.
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
    [ -n "${DISPLAY:-}" ] && [ ! -f "$work/failed.png" ] &&
        import -window root "$work/failed.png" 2>/dev/null
}

for tool in Xvfb openbox xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 0; }
done

rm -rf "$work"
mkdir -p "$work/bench"
cp "$examples"/flash.txt "$examples"/dwl87.spm "$examples"/dwl88.spm "$examples"/sample.* \
    "$work/bench/"
cd "$work/bench" || exit 1

# The X server takes the first free display and says which.
exec {display_fd}< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>"$work/xvfb.err")
xvfb_pid=$!
started_pids+=("$xvfb_pid")
read -r -t 20 -u "$display_fd" display_number || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display_number
openbox >"$work/openbox.out" 2>&1 &
started_pids+=("$!")

# The prefix's programs and server go before the X server they draw on.
stop_wine() {
    wineserver -k 2>/dev/null
    timeout 10 wineserver -w 2>/dev/null
}
# A run ended from outside (ctest's time-out) may have left the prefix's server up, its desktop
# bound to an X server that is gone: a program started there would never show a window.
stop_wine
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
fi
trap 'stop_wine; finish' EXIT

start_handset 4 --report "$work/report"
map_port 4 "$handset_device"

# Every xdotool call has a bound: an activation that the window manager never grants (a window
# disabled under its dialog) must not hold the test.
xdo() {
    timeout 10 xdotool "$@"
}

# Waits for a visible window whose name matches the pattern, up to a deadline; prints its id.
# xdotool's search gives up at an X error (a window that goes while it looks, as the switch-on
# window does): it is asked again until the deadline.
wait_window() {
    local deadline=$((SECONDS + ${2:-$window_limit})) id=
    while [ -z "$id" ] && [ $SECONDS -lt $deadline ]; do
        id=$(timeout $((deadline - SECONDS)) xdotool search --sync --onlyvisible --name "$1" \
            2>/dev/null | head -1)
        [ -n "$id" ] || sleep 0.2
    done
    echo "$id"
}

# The screen position of the middle of a control of the main panel, from the layout file and
# where the window's client area is (below the menu bar, which takes the X window's height
# beyond the panel's).
panel_height=$(sed -n 's/^panel 3 "[^"]*" [0-9]* \([0-9]*\).*/\1/p' "$layout")
control_centre() {
    local line x y w h
    line=$(sed -n '/^panel 3 /,/^panel /p' "$layout" | grep -E "^ +[a-z]+ $1 \"")
    read -r x y w h < <(sed -E 's/^ +[a-z]+ [0-9]+ "[^"]*" ([0-9]+) ([0-9]+) ([0-9]+) ([0-9]+).*/\1 \2 \3 \4/' \
        <<<"$line")
    local info ax ay height
    info=$(xwininfo -id "$main_window")
    ax=$(sed -n 's/ *Absolute upper-left X: *//p' <<<"$info")
    ay=$(sed -n 's/ *Absolute upper-left Y: *//p' <<<"$info")
    height=$(sed -n 's/ *Height: *//p' <<<"$info")
    echo $((ax + x + w / 2)) $((ay + height - panel_height + y + h / 2))
}

click_control() {
    # Found again each time: wine may give the window a new X window (when it is re-managed).
    main_window=$(wait_window '^dwl - PCF5087 software download')
    xdo windowactivate --sync "$main_window" 2>/dev/null
    # shellcheck disable=SC2046
    # No --sync: a pointer already there (the click before) would make it wait for a motion
    # that never comes.
    xdo mousemove $(control_centre "$1") click 1
}

# Clicks a button until the window it opens comes (a click while a load still locks the panel
# is dropped, as the operator's would be); prints the window's id.
press_for_window() {
    local deadline=$((SECONDS + ${3:-$window_limit})) id=
    while [ -z "$id" ] && [ $SECONDS -lt $deadline ]; do
        click_control "$1"
        id=$(wait_window "$2" 3)
    done
    echo "$id"
}

load_image() { # load button, dialog title, file[, the dialog when it is open already]
    local dialog=${4:-}
    [ -n "$dialog" ] || dialog=$(press_for_window "$1" "^$2\$")
    [ -n "$dialog" ] || { fail "no dialog \"$2\""; return; }
    xdo windowactivate --sync "$dialog" 2>/dev/null
    xdo type --delay 2 "Z:${PWD//\//\\}\\$3"
    xdo key Return
}

timeout --kill-after=5 "$run_limit" wine "$gui_exe" >"$work/gui.out" 2>&1 &
gui_pid=$!
started_pids+=("$gui_pid")
main_window=$(wait_window '^dwl - PCF5087 software download')
[ -n "$main_window" ] || { fail "no main window"; exit 1; }

# The download mode: a click gives the ring the keyboard (its list drops down and Escape closes
# it again), then Home and five down: mode 5, each step taken as the ring changes. The TFS load
# button is offered in mode 5 and not in mode 0: its dialog shows that the ring took the mode.
tfs_dialog=
for try in 1 2 3; do
    click_control 4
    xdo key --delay 50 Escape Home Down Down Down Down Down
    tfs_dialog=$(press_for_window 15 '^select tfs file$' 10)
    [ -n "$tfs_dialog" ] && break
done
load_image 15 "select tfs file" sample.tfs "$tfs_dialog"
load_image 7 "select bin file" sample.bin
load_image 11 "select ogm file" sample.ogm

switch_on=$(press_for_window 27 '^Switch on$')
[ -n "$switch_on" ] || fail "no switch-on window after Start"
xdo windowactivate --sync "$switch_on" 2>/dev/null
xdo key Return
ticks_before=$(program_ticks "$(basename "$gui_exe")")
wall_before=$(date +%s.%N)
success=$(wait_window '^Download$' "$run_limit")
# Without it there is nothing more to see (the trap ends the program and the rest).
[ -n "$success" ] || { fail "the run did not end on the success window"; exit 1; }
ticks_after=$(program_ticks "$(basename "$gui_exe")")
wall_after=$(date +%s.%N)
if [ -n "$cpu_report" ]; then
    awk -v t="$((ticks_after - ticks_before))" -v hz="$(getconf CLK_TCK)" \
        -v a="$wall_before" -v b="$wall_after" \
        'BEGIN { printf "cpu %.2f s, wall %.2f s, share %.1f %% of a core\n", t / hz, b - a,
                 100 * t / hz / (b - a) }' >"$cpu_report"
fi
import -window root "$work/screen.png" 2>/dev/null
xdo windowactivate --sync "$success" 2>/dev/null
xdo key Return
# Quit ends the program; the port closes and the handset writes its report.
click_control 32
wait "$gui_pid"
status=$?
[ "$status" -eq 0 ] || fail "dwl-gui.exe ended with status $status"
kill "$handset_pid"
wait "$handset_pid" 2>/dev/null
expect_flash_holds_samples "$work/report"

[ "$failures" -eq 0 ] || exit 1
echo "dwl-gui.exe: mode 5 through the window, the handset holds the images"
