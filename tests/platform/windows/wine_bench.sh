# What the scripts that run the Windows programs under wine share: failures, the processes they
# start (each ended by its own number), dwl-handset-sim on a pseudo-terminal, the COM ports of
# the wine prefix, the processor time of a Windows program, and the check that the handset holds
# the sample images. Sourced; expects handset_program, examples and work to be set, and
# WINEPREFIX.

failures=0
started_pids=()
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
finish() {
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
}
trap finish EXIT

# Starts dwl-handset-sim with the given options; sets handset_pid and handset_device.
start_handset() {
    local out=$work/handset.$1.out
    shift
    "$handset_program" --flash "$examples/flash.txt" "$@" >"$out" 2>"$out.err" &
    handset_pid=$!
    started_pids+=("$handset_pid")
    # Its first line names the device; the read sleeps until it comes.
    handset_device=
    exec {lines}< <(tail -n +1 -F "$out" 2>/dev/null)
    local tail_pid=$!
    started_pids+=("$tail_pid")
    local line
    while IFS= read -r -t 60 -u "$lines" line; do
        handset_device=${line#dwl-handset-sim: }
        break
    done
    exec {lines}<&-
    kill "$tail_pid" 2>/dev/null
    [ -n "$handset_device" ] || { echo "dwl-handset-sim named no device" >&2; exit 1; }
}

# COM port n of the wine prefix opens the pseudo-terminal.
map_port() {
    mkdir -p "$WINEPREFIX/dosdevices"
    ln -sfn "$2" "$WINEPREFIX/dosdevices/com$1"
}

sha() { sha256sum "$@" | cut -d' ' -f1; }

# Processor time (user and system) so far of the program of this prefix with the given name
# (another test may run one of its own), in clock ticks; 0 when it is not running.
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

# The handset's report (--report) shows the three sample images of the working folder written:
# the binary at its address, the ogm (padded to whole words), the TFS files.
expect_flash_holds_samples() {
    local report=$1
    local bin_size ogm_digest
    bin_size=$(stat -c %s sample.bin)
    grep -qxF -- "written 0x02000000 $bin_size sha256 $(sha sample.bin)" "$report" ||
        fail "the binary image is not in the flash"
    ogm_digest=$( (cat sample.ogm; [ $(($(stat -c %s sample.ogm) % 2)) -eq 1 ] && printf '\xff') |
        sha)
    grep -q " sha256 $ogm_digest\$" "$report" || fail "the ogm image is not in the flash"
    grep -q "^tfs_files .* sha256 $(sha sample.tfs)\$" "$report" ||
        fail "the TFS image is not in the flash"
}
