#!/usr/bin/env bash
# dwl.exe end to end under wine, against the Linux dwl-handset-sim on a pseudo-terminal mapped to
# a COM port of the wine prefix. One case per call, so that ctest runs them side by side:
#
#   dwl_exe_under_wine.sh CASE DWL_EXE HOST_BUILD SOURCE_DIR WORK_DIR [ZIP]
#
#   flash     mode 5 at 460800 baud: success, and the handset holds exactly the images; a
#             second dwl.exe on the same port meanwhile is refused and disturbs nothing
#   ports     dwl.exe boot and format (COM6, COM7), then two handsets at once: one process per
#             port, one summary each, a log file each; an odd rate the port refuses
#   stop      Ctrl-C (SIGINT, which wine makes a console Ctrl-C) reaches the first process of
#             two ports alone: both runs end cancelled, exit status 130
#   silent    a handset that never answers: the time-out result and its exit status
#   pulled    the handset program killed in the middle of a sector: "Port lost", no hang
#   stalled   a handset that stops reading in the middle of a sector (SIGSTOP): the Linux
#             program's time-out and exit status in about its time; a second one stopped the
#             same way ends at the first Ctrl-C
#   station   dwl.exe station on two ports (COM15, COM16), two handsets each one after another:
#             its port processes, JSON lines, four runs in the results file (read by the Linux
#             dwl results and by dwl.exe results --csv, alike), Ctrl-C ends it
#   missing   a missing image: the same message and exit status as the Linux dwl; a COM port
#             that leads nowhere or does not exist; help and the commands offered; a results
#             server's address refused in one line
#   package   the zip unpacked elsewhere: its dwl.exe finds its data folder (check, demo)
#   station_window
#             the Win32 station window runs dwl.exe station on COM20 and COM21, each a handset
#             program taking two handsets: four passes, Stop, four rows in the results file.
#             The last argument is the window's test program; the caller gives this case a
#             display and a wine prefix of its own (windows_under_xvfb.sh)
#
# The wine prefix is WINEPREFIX (ctest sets it to one inside the build folder). Every process
# this script starts is ended by its own number when it stops.
set -uo pipefail

case_name=$1
dwl_exe=$2
host_build=$3
source_dir=$4
work=$5/$case_name
zip=${6:-}

export WINEDEBUG=-all
# Only the station window's case opens windows.
[ "$case_name" = station_window ] || export DISPLAY=
: "${WINEPREFIX:?the wine prefix}"
export WINEPREFIX
handset_program=$host_build/app/dwl-handset-sim
examples=$source_dir/examples
# dwl.exe of the build folder reads its layout files from the source tree; the unpacked archive
# has its own data folder (the package case clears this).
export DWL_SOURCE_DIR=$source_dir
# A run that hangs fails the case instead of holding the whole test command.
run_limit=60

# fail, the handset program on a pseudo-terminal, COM ports, the flash check.
source "$(dirname "$0")/wine_bench.sh"

rm -rf "$work"
mkdir -p "$work/bench"
# A bench's working folder: flash.txt and the handset programs beside the images.
cp "$examples"/flash.txt "$examples"/dwl87.spm "$examples"/dwl88.spm "$examples"/sample.* \
    "$work/bench/"
cd "$work/bench" || exit 1

# Runs dwl.exe with the arguments; sets status. Its output, with the CR of its line ends taken
# off, is in $work/dwl.out and dwl.err.
run_dwl() {
    timeout --kill-after=5 "$run_limit" wine "$dwl_exe" "$@" >"$work/dwl.out" 2>"$work/dwl.err"
    status=$?
    [ "$status" -ne 124 ] || fail "dwl.exe $* did not end within $run_limit s"
    sed -i 's/\r$//' "$work/dwl.out" "$work/dwl.err"
}

# Starts dwl.exe with the arguments in the background, its output read as it comes
# (wait_for_output) and kept in $work/dwl.out, its processor time in $work/dwl.time; sets
# dwl_pid.
start_dwl() {
    exec {dwl_lines}< <(timeout --kill-after=5 "$run_limit" /usr/bin/time -f "%U %S" \
        -o "$work/dwl.time" wine "$dwl_exe" "$@" 2>"$work/dwl.err" | tee "$work/dwl.out")
    dwl_pid=$!
}

# Reads dwl.exe's output until a line matches the pattern (a glob); false when it ended first.
wait_for_output() {
    local line
    while IFS= read -r -u "$dwl_lines" line; do
        # shellcheck disable=SC2053
        [[ ${line%$'\r'} == $1 ]] && return 0
    done
    return 1
}

# Sleeps until dwl.exe has ended; sets status and takes the CR off its output's line ends.
end_dwl() {
    cat <&"$dwl_lines" >/dev/null
    exec {dwl_lines}<&-
    wait "$dwl_pid"
    status=$?
    [ "$status" -ne 124 ] || fail "dwl.exe did not end within $run_limit s"
    sed -i 's/\r$//' "$work/dwl.out" "$work/dwl.err"
}

expect_status() {
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

expect_line() { # file, line
    grep -qxF -- "$2" "$1" || fail "no line \"$2\" in $(basename "$1")"
}

case $case_name in
flash)
    start_handset 5 --report "$work/report"
    map_port 5 "$handset_device"
    start_dwl flash --port COM5 --mode 5 --speed 460800 --bin sample.bin --ogm sample.ogm \
        --tfs sample.tfs
    wait_for_output 'binary *%*' || fail "the run never got to the binary image"
    # The port is held: another dwl.exe is refused without sending a byte.
    timeout "$run_limit" wine "$dwl_exe" flash --port COM5 --bin sample.bin >"$work/second.out" \
        2>&1
    second_status=$?
    [ "$second_status" -eq 5 ] || fail "a second dwl.exe on the port: exit $second_status"
    grep -q '^COM5: cannot open \\\\.\\COM5: in use by another program' "$work/second.out" ||
        fail "a second dwl.exe on the port was not refused"
    end_dwl
    expect_status 0
    expect_line "$work/dwl.out" "result: Download successful"
    grep -q '^elapsed: ' "$work/dwl.out" || fail "no elapsed time"
    # Its waits on the line sleep: the 12 s run takes a small part of a core (a wait that spun
    # on a write that had ended took half a core for a second or more at a time).
    read -r user sys < <(tail -n 1 "$work/dwl.time")
    awk -v u="$user" -v s="$sys" 'BEGIN { exit !(u + s < 0.3) }' ||
        fail "the run took $user s user and $sys s system processor time"
    # Stopped, the handset ends the session it may not have seen closed yet, its report on
    # disk, and exits 0.
    kill "$handset_pid"
    wait "$handset_pid"
    handset_status=$?
    [ "$handset_status" -eq 0 ] || fail "the handset program ended with status $handset_status"
    expect_flash_holds_samples "$work/report"
    ;;
ports)
    start_handset 6
    map_port 6 "$handset_device"
    start_handset 7
    map_port 7 "$handset_device"
    run_dwl boot --port COM6
    expect_status 0
    expect_line "$work/dwl.out" "Booting Loader is Completed!!"
    run_dwl format --port COM7
    expect_status 0
    expect_line "$work/dwl.out" "Flash is Formated!!"
    run_dwl flash --port COM6 --port COM7 --bin sample.bin --log bench.log
    expect_status 0
    expect_line "$work/dwl.out" '\\.\COM6: success: Download successful'
    expect_line "$work/dwl.out" '\\.\COM7: success: Download successful'
    grep -q '^\[\\\\.\\COM7\] result: Download successful$' "$work/dwl.out" ||
        fail "the second port's lines are not passed on"
    for port in COM6 COM7; do
        grep -q 'Download successful' "bench-$port.log" || fail "no log file of $port"
    done
    # An odd rate that the port (a pseudo-terminal under wine) cannot make is the port's refusal.
    run_dwl flash --port COM6 --speed 302325 --bin sample.bin
    expect_status 8
    grep -q 'COMMAND : the port refused 302325 baud: Invalid parameter' "$work/dwl.out" ||
        fail "the refused rate is not the port's"
    grep -q 'speed change refused' "$work/dwl.out" && fail "the handset is blamed for the rate"
    ;;
stop)
    start_handset 10
    map_port 10 "$handset_device"
    start_handset 11
    map_port 11 "$handset_device"
    # Five seconds in, the ports are in the middle of the binary image (about 8 s at this rate).
    timeout --foreground --preserve-status -s INT -k 20 5 wine "$dwl_exe" flash -p COM10 \
        -p COM11 --bin sample.bin >"$work/dwl.out" 2>"$work/dwl.err"
    status=$?
    sed -i 's/\r$//' "$work/dwl.out" "$work/dwl.err"
    expect_status 130
    for port in COM10 COM11; do
        expect_line "$work/dwl.out" "\\\\.\\$port: FAILED (exit 130): Download cancelled by the operator."
        expect_line "$work/dwl.err" "[\\\\.\\$port] dwl: SIGINT: the run was stopped; the flash may be partly written"
    done
    ;;
silent)
    start_handset 8 --silent-from WakeUp
    map_port 8 "$handset_device"
    run_dwl flash --port COM8 --bin sample.bin --json
    expect_status 6
    grep -qF '"result":{"family":6,"code":4,' "$work/dwl.out" ||
        fail "not the wake-up's time-out"
    # The port is named as it was given, not by the panel's COM4 it runs on.
    grep -qF '"port":"COM8","device":"\\\\.\\COM8"' "$work/dwl.out" ||
        fail "the JSON does not name COM8"
    ;;
pulled)
    start_handset 9
    map_port 9 "$handset_device"
    start_dwl flash --port COM9 --bin sample.bin
    # Pull the cable once the first tenth of the image has gone: in the middle of a sector.
    wait_for_output 'binary *%*' || fail "the run never got to the binary image"
    kill -KILL "$handset_pid"
    wait "$handset_pid" 2>/dev/null
    pulled_at=$SECONDS
    end_dwl
    [ $((SECONDS - pulled_at)) -le 15 ] || fail "dwl.exe took $((SECONDS - pulled_at)) s to end"
    [ "$status" -ne 0 ] || fail "a pulled cable ended in success"
    grep -q '^Port lost: \\\\.\\COM9: ' "$work/dwl.out" || fail "no \"Port lost\" line"
    grep -q '^result: ' "$work/dwl.out" || fail "no result line"
    ;;
stalled)
    # A run on COM13 stops its handset and gets a Ctrl-C once the line has stalled for longer
    # than its write time-out (5 s): where dwl.exe used to wait for the driver for ever.
    start_handset 13
    map_port 13 "$handset_device"
    # Its wine process's number goes to a file, for the Ctrl-C.
    exec {dwl_lines}< <(timeout --kill-after=5 "$run_limit" sh -c 'echo $$ >"$0"; exec "$@"' \
        "$work/stop.pid" wine "$dwl_exe" flash --port COM13 --bin sample.bin 2>"$work/stop.err" |
        tee "$work/stop.out")
    stop_pid=$! stop_lines=$dwl_lines
    wait_for_output 'binary *%*' || fail "the run on COM13 never got to the binary image"
    kill -STOP "$handset_pid"
    stop_handset=$handset_pid
    # The run on COM12 stops its handset too and ends as the Linux program does, on its own.
    start_handset 12
    map_port 12 "$handset_device"
    start_dwl flash --port COM12 --bin sample.bin
    wait_for_output 'binary *%*' || fail "the run on COM12 never got to the binary image"
    kill -STOP "$handset_pid"
    stalled_at=$SECONDS
    sleep 5
    # Ctrl-C: wine makes SIGINT to its process a console Ctrl-C.
    kill -INT "$(cat "$work/stop.pid")"
    ctrl_c_at=$SECONDS
    cat <&"$stop_lines" >/dev/null
    wait "$stop_pid"
    stop_status=$?
    [ $((SECONDS - ctrl_c_at)) -le 5 ] ||
        fail "the first Ctrl-C took $((SECONDS - ctrl_c_at)) s to end the run"
    [ "$stop_status" -eq 130 ] || fail "Ctrl-C on a stalled line: exit $stop_status"
    kill -CONT "$stop_handset"
    end_dwl
    kill -CONT "$handset_pid"
    # The Linux program: exit 13 after some 31 s.
    [ $((SECONDS - stalled_at)) -le 45 ] ||
        fail "a stalled line took $((SECONDS - stalled_at)) s to end"
    expect_status 13
    grep -q '^result: Timeout during the download (family 13, code 0, exit 13)$' "$work/dwl.out" ||
        fail "not the download's time-out"
    # The port is named as it was given, not by the panel's COM4 it runs on.
    grep -q '^Run .* COM12 \\\\.\\COM12 460800 baud' "$work/dwl.out" ||
        fail "the run line does not name COM12"
    ;;
missing)
    # A COM port that leads nowhere is refused before the run, whatever its number.
    map_port 3 "$work/no-such-tty"
    for port in COM3 COM14; do
        run_dwl boot --port $port
        expect_status 66
        expect_line "$work/dwl.err" "dwl: no serial device \\\\.\\$port"
    done
    run_dwl flash --port COM300 --bin sample.bin
    expect_status 64
    grep -q 'unknown port COM300: the COM ports are COM1 to COM256' "$work/dwl.err" ||
        fail "COM300 is not refused as such"
    # What is offered runs: no sim, no station demo; /? is help.
    run_dwl /?
    expect_status 0
    grep -qE '^  sim ' "$work/dwl.out" && fail "offers what it cannot run"
    grep -qE '^  station ' "$work/dwl.out" || fail "does not offer the station"
    grep -q 'PostgreSQL' "$work/dwl.out" && fail "offers a results server"
    run_dwl flash --help
    grep -q 'COM port (COM1 to COM256)' "$work/dwl.out" || fail "--port's help speaks of COM1-4"
    run_dwl demo --station
    expect_status 64
    # A results server's address, in either form: one line, before any port is opened.
    for address in postgresql://station@127.0.0.1/dwl "host=127.0.0.1 dbname=dwl"; do
        for command in "station -p COM5" "flash --sim --bin sample.bin" results; do
            option=--results
            [ "$command" = results ] && option=--db
            # shellcheck disable=SC2086
            run_dwl $command "$option" "$address"
            expect_status 64
            [ "$(wc -l <"$work/dwl.err")" -eq 1 ] &&
                grep -q '^dwl: forwarding runs to a PostgreSQL server is not in the Windows build' \
                    "$work/dwl.err" || fail "$command $address: $(cat "$work/dwl.err")"
        done
    done
    run_dwl flash --sim --bin no-such-image.bin
    windows_status=$status
    "$host_build/app/dwl" flash --sim --bin no-such-image.bin >"$work/linux.out" \
        2>"$work/linux.err"
    linux_status=$?
    [ "$windows_status" -eq "$linux_status" ] ||
        fail "exit status $windows_status; on Linux $linux_status"
    [ "$linux_status" -eq 66 ] || fail "exit status $linux_status on Linux, expected 66"
    diff "$work/dwl.err" "$work/linux.err" >&2 || fail "another message"
    ;;
station)
    for port in 15 16; do
        start_handset $port --sessions 2 --gap 0.2
        map_port $port "$handset_device"
    done
    # Its wine process's number goes to a file, for the Ctrl-C.
    exec {dwl_lines}< <(timeout --kill-after=5 "$run_limit" sh -c 'echo $$ >"$0"; exec "$@"' \
        "$work/station.pid" wine "$dwl_exe" station -p COM15 -p COM16 --bin sample.bin \
        --results runs.sqlite --json-lines 2>"$work/dwl.err" | tee "$work/dwl.out")
    dwl_pid=$!
    for run in 1 2 3 4; do
        wait_for_output '{"event":"run_ended",*' || fail "the station ended after $((run - 1)) runs"
    done
    kill -INT "$(cat "$work/station.pid")"
    end_dwl
    expect_status 0
    grep -q '^{"event":"station_stopped",.*"reason":"interrupted"}$' "$work/dwl.out" ||
        fail "the station did not stop on Ctrl-C"
    [ "$(grep -c '"event":"run_ended".*"passed":true' "$work/dwl.out")" -eq 4 ] ||
        fail "not four passed runs"
    # Both programs read the same four rows, two per port, every one passed.
    "$host_build/app/dwl" results --db runs.sqlite --csv >"$work/linux.csv" || fail "dwl results"
    run_dwl results --db runs.sqlite --csv
    expect_status 0
    diff "$work/linux.csv" "$work/dwl.out" >&2 || fail "dwl.exe results --csv reads otherwise"
    for port in COM15 COM16; do
        [ "$(grep -cF "\\.\\$port" "$work/linux.csv")" -eq 2 ] || fail "not two runs of $port"
    done
    [ "$(($(wc -l <"$work/linux.csv") - 1))" -eq 4 ] || fail "not four rows in runs.sqlite"
    ;;
package)
    unset DWL_SOURCE_DIR
    [ -f "$zip" ] || { fail "no archive $zip"; exit 1; }
    mkdir -p "$work/unpacked" && cd "$work/unpacked" || exit 1
    unzip -q "$zip" || fail "the archive does not unpack"
    top=$(find . -mindepth 1 -maxdepth 1 -type d | head -1)
    for file in dwl.exe README.txt LICENSE.txt NOTICES.txt data/flash.txt data/dwl87.spm data/mmi.uir \
        data/Utility.uir data/sample.bin; do
        [ -f "$top/$file" ] || fail "$file is missing from the archive"
    done
    # From another folder, as a user starts it: the samples come from the data folder.
    dwl_exe=$work/unpacked/$top/dwl.exe
    cd "$work/bench" && rm -f flash.txt dwl87.spm dwl88.spm
    run_dwl check --flash "$work/unpacked/$top/data/flash.txt"
    expect_status 0
    run_dwl demo
    expect_status 0
    expect_line "$work/dwl.out" "result: Download successful"
    ;;
station_window)
    start_handset 20 --sessions 2 --gap 1
    map_port 20 "$handset_device"
    start_handset 21 --sessions 2 --gap 1
    map_port 21 "$handset_device"
    DWL_E2E_DWL_EXE=$(winepath -w "$dwl_exe") DWL_E2E_BIN=$(winepath -w "$work/bench/sample.bin") \
        timeout --kill-after=5 300 wine "$zip" --gtest_filter='*EndToEnd*' \
        >"$work/dwl.out" 2>"$work/dwl.err"
    status=$?
    expect_status 0
    grep -q '^\[       OK \] Win32StationTest.EndToEnd' "$work/dwl.out" || fail "the window's run did not pass"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "--- dwl.exe's output:" >&2
    cat "$work/dwl.out" "$work/dwl.err" >&2 2>/dev/null
    exit 1
fi
echo "dwl.exe $case_name: passed"
