#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang (build-fuzz/harnesses/) and runs each for N seconds
# (default 60). The committed corpus in fuzz/corpus/<harness>/ seeds each run; what a run finds
# goes to build-fuzz/harnesses/corpus/<harness>/; a crash, hang or leak is kept as
# build-fuzz/harnesses/findings/<harness>-*. Exits non-zero when a harness fails.
#   fuzz/run.sh [seconds] [harness...]
# The test command runs 60 s; a long campaign outside CI, e.g. an hour of the protocol harness:
#   fuzz/run.sh 3600 handset_replies
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
shift || true
build=$root/build-fuzz/harnesses

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    harnesses=(flash_description tfs_description config handset_replies layout)
fi

# The harnesses run side by side, each for the whole time.
run_one() { # harness
    local h=$1 log=$build/fuzz_$1.log
    mkdir -p "$build/corpus/$h" "$build/findings"
    # -timeout: one input may take at most 10 s of real time (a hang); -rss_limit_mb: memory.
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/fuzz_$h" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=8192 -print_final_stats=1 -artifact_prefix="$build/findings/$h-" \
        "$build/corpus/$h" "$root/fuzz/corpus/$h" >"$log" 2>&1
}

echo "fuzz: ${harnesses[*]} for ${seconds}s each"
pids=()
for h in "${harnesses[@]}"; do
    run_one "$h" &
    pids+=($!)
done
failed=()
for i in "${!harnesses[@]}"; do
    h=${harnesses[$i]}
    log=$build/fuzz_$h.log
    if wait "${pids[$i]}"; then
        echo "fuzz: $h: $(grep -E "stat::number_of_executed_units" "$log" | tail -1)," \
            "$(grep -E "stat::average_exec_per_sec" "$log" | tail -1)"
    else
        echo "fuzz: $h FAILED, see $log and $build/findings/"
        grep -E "ERROR|SUMMARY|runtime error|budget" "$log" | head -5 || true
        failed+=("$h")
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: ${#failed[@]} failed, ${#harnesses[@]} ran: ${failed[*]}"
    exit 1
fi
echo "fuzz: ${#harnesses[@]} harnesses ran ${seconds}s each without a finding"
