#!/usr/bin/env bash
# valgrind memcheck of a whole mode-5 run (binary, ogm and TFS ogm images) through the command
# line against the emulated handset in the same process. Fails on any memcheck error or leak,
# and when the run itself does not succeed.
#   fuzz/memcheck.sh [build folder]   (default build-fuzz/memcheck: plain build, no sanitizers)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${1:-$root/build-fuzz/memcheck}")

if [ ! -x "$build/app/dwl" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDWL_WITH_QT=OFF >/dev/null
    cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target dwl >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/flash.txt examples/dwl87.spm examples/dwl88.spm "$work/"
log=$build/memcheck.log
echo "memcheck: dwl flash --sim --mode 5 (log in $log)"
status=0
(cd "$work" && valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=99 --track-origins=yes \
    "$build/app/dwl" flash --sim --mode 5 --bin "$root/examples/sample.bin" \
    --ogm "$root/examples/sample.ogm" --tfs "$root/examples/sample.tfs") >"$log" 2>&1 || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|All heap blocks" "$log" || true
if [ "$status" -ne 0 ]; then
    echo "memcheck: FAILED (exit status $status), see $log"
    exit 1
fi
echo "memcheck: no errors, no leaks"
