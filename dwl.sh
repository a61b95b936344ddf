#!/usr/bin/env bash
# Set-up, build, tests and demo of dwl on a Debian machine.
#   ./dwl.sh            install what is missing, build (build/)
#   ./dwl.sh test       install, build, run the tests; compile a Release tree (build-release/);
#                       each libFuzzer harness for 60 s
#                       (clang, build-fuzz/); valgrind memcheck of a whole mode-5 run; then the
#                       same tests built with AddressSanitizer and UndefinedBehaviorSanitizer
#                       (build-asan/); the package too, and its contents are checked; and the
#                       Windows command line cross-built and tested under wine (build-windows/);
#                       at the end one line per step with its time and outcome
#   ./dwl.sh demo       install what the demo needs, build dwl and dwl-handset-sim only
#                       (build-demo/), flash the sample images into the emulated handset
#   ./dwl.sh package    install, build, make the Debian package build/dwl_<version>_<arch>.deb
#   ./dwl.sh windows    install MinGW-w64, fetch SQLite's amalgamation (checked by its SHA-256),
#                       cross-build a static dwl.exe (build-windows/) and pack
#                       dist/dwl-<version>-win64.zip
#   ./dwl.sh format     clang-format every source file
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libcli11-dev libgtest-dev clang-format
    clang libclang-rt-14-dev valgrind dpkg-dev help2man desktop-file-utils nlohmann-json3-dev
    ccache libsqlite3-dev libpq-dev postgresql libfaketime chromium imagemagick)
# The Windows build: the cross compiler, wine to run its tests, GoogleTest's sources, what packs
# and unpacks the archive, what fetches SQLite's amalgamation, what takes a run's processor time,
# and the X server, window manager and operator's hands of the tests of dwl-gui.exe's windows.
windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest zip unzip curl time xvfb
    openbox xdotool x11-utils imagemagick)
# What the demo needs: the command line and the emulated handset, nothing of the GUI or tests.
demo_packages=(cmake g++ make libcli11-dev nlohmann-json3-dev ccache libsqlite3-dev libpq-dev)
jobs=$(nproc 2>/dev/null || echo 2)
# SQLite for the Windows build: its amalgamation (sqlite3.c, sqlite3.h; public domain), as the
# npm registry's better-sqlite3 carries it under deps/sqlite3/ (SQLite 3.50.4 in this release).
# The archive is checked against its SHA-256 and unpacked into build-windows/third_party/, never
# into the tree; it is kept in ~/.cache/dwl so that a new build folder does not fetch it again.
sqlite_package=better-sqlite3-12.4.1.tgz
sqlite_package_sha256=14398acbf00d1e8fe0a2753df7d4f15c13138e4b874f4e6e96791f65b4536d0d

# Every compile goes through ccache (its cache lives outside the tree, ~/.cache/ccache by
# default): a second run of the tests compiles almost nothing.
use_ccache() {
    command -v ccache >/dev/null || return 0
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    # The build folders differ (build/, build-asan/, a clone elsewhere): hash relative paths.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=1
}

install_missing() { # extra packages...
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "dwl: installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

build() { # folder, extra cmake options... [-- targets...]
    local dir=$1 options=() targets=()
    shift
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
    [ $# -gt 0 ] && shift && targets=(--target "$@")
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" "${options[@]}" >/dev/null
    cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

windows_sqlite() {
    local cache=${XDG_CACHE_HOME:-$HOME/.cache}/dwl out=build-windows/third_party/sqlite3
    [ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ] && return 0
    mkdir -p "$cache" "$out"
    if ! sha256sum -c --status <<<"$sqlite_package_sha256  $cache/$sqlite_package" 2>/dev/null; then
        echo "dwl: fetching SQLite's amalgamation ($sqlite_package from registry.npmjs.org)"
        curl -fsSL -o "$cache/$sqlite_package.part" \
            "https://registry.npmjs.org/better-sqlite3/-/$sqlite_package"
        mv "$cache/$sqlite_package.part" "$cache/$sqlite_package"
    fi
    sha256sum -c --status <<<"$sqlite_package_sha256  $cache/$sqlite_package" || {
        echo "dwl: $cache/$sqlite_package is not the archive expected (SHA-256)" >&2
        rm -f "$cache/$sqlite_package"
        return 1
    }
    tar -xzf "$cache/$sqlite_package" -C "$out" --strip-components=3 \
        package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
}

# dwl.exe for 64-bit Windows, cross-built with MinGW-w64 into build-windows/ (its tests run
# against dwl-handset-sim of build/), and its archive dist/dwl-<version>-win64.zip.
windows() {
    windows_sqlite
    cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
        -DDWL_WITH_BENCH=OFF -DDWL_HOST_BUILD_DIR="$PWD/build" >/dev/null
    cmake --build build-windows -j "$jobs"
    # Static: no DLL beyond those of Windows itself (no libstdc++, libgcc or winpthread).
    local dlls program
    for program in dwl dwl-gui; do
        dlls=$(x86_64-w64-mingw32-objdump -p build-windows/app/$program.exe |
            sed -n 's/^\s*DLL Name: //p')
        if grep -viqE '^(kernel32|msvcrt|user32|advapi32|ws2_32|shell32|ole32|ntdll|gdi32|comctl32|comdlg32|setupapi)\.dll$' \
            <<<"$dlls"; then
            echo "$program.exe needs DLLs that Windows does not have:" $dlls >&2
            return 1
        fi
    done
    rm -f build-windows/dwl-*-win64.zip dist/dwl-*-win64.zip
    (cd build-windows && cpack -G ZIP >/dev/null)
    mkdir -p dist
    cp build-windows/dwl-*-win64.zip dist/
    ls dist/dwl-*-win64.zip
}

# The Windows build's tests under wine: the core tests and dwl.exe end to end. wine runs in a
# prefix of the build folder, made once; its server stays up for the whole run, so that each
# program starts in a fraction of a second, and goes when the tests are over.
windows_tests() {
    export WINEPREFIX=$PWD/build-windows/wine WINEDEBUG=-all DISPLAY=
    [ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
    # A server of this prefix left from before goes first: one that is still going down when
    # the new one starts would leave the first test programs waiting.
    wineserver -k 2>/dev/null || true
    wineserver -w
    # Its own diagnostics (an object table whenever a device goes away) go to a file, and it
    # holds none of this script's outputs open.
    wineserver -p >build-windows/wineserver.log 2>&1 </dev/null
    wineboot >/dev/null 2>&1 # the prefix's own services, before the first test program
    local status=0
    (cd build-windows && ctest --output-on-failure -j "$jobs") || status=$?
    wineserver -k
    wineserver -w
    return $status
}

package() { # the Debian package of the build in build/, the only one there
    rm -f build/dwl_*.deb
    local out
    out=$(cd build && cpack -G DEB 2>&1) || { echo "$out" >&2; return 1; }
    grep -F 'CPack: - package:' <<<"$out"
}

linux_tests() { (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs"); }

release_build() {
    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DDWL_WITH_BENCH=OFF \
        -DDWL_WITH_TESTS=OFF >/dev/null
    cmake --build build-release -j "$jobs"
}

package_and_check() {
    package
    tools/check-package build
}

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer, the Qt view and its
# tests included (offscreen); the leaks of the libraries we do not build are not ours.
sanitizer_tests() {
    build build-asan -DDWL_SANITIZE=ON -DDWL_WITH_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"
    (cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
        LSAN_OPTIONS=suppressions=$PWD/../tools/lsan-suppressions.txt \
        UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")
}

# The test command's steps: each runs (with -e of its own) even when an earlier one failed,
# unless it needs what failed; at the end one line per step says its time and outcome.
step_names=() step_results=()
step() { # name, command...
    local name=$1 start=$SECONDS status=0
    shift
    echo "=== dwl test: $name"
    set +e
    (set -e; "$@")
    status=$?
    set -e
    step_names+=("$name")
    if [ "$status" -eq 0 ]; then
        step_results+=("$(printf '%-14s %5d s  passed' "$name" $((SECONDS - start)))")
    else
        step_results+=("$(printf '%-14s %5d s  FAILED (exit %d)' "$name" $((SECONDS - start)) "$status")")
    fi
}
after() { # step that must have passed, then: step name command...
    local needed=$1 i
    shift
    for i in "${!step_names[@]}"; do
        if [ "${step_names[$i]}" = "$needed" ] && [[ ${step_results[$i]} == *passed ]]; then
            "$@"
            return
        fi
    done
    step_names+=("$2")
    step_results+=("$(printf '%-14s     -    not run: %s failed' "$2" "$needed")")
}
summary() {
    local line failed=0
    echo "=== dwl test: summary"
    for line in "${step_results[@]}"; do
        echo "  $line"
        [[ $line == *passed ]] && continue
        failed=1
        # A test step that failed names its failed tests, so that the end of the output says
        # which (the output of a long run is often seen only from its end).
        local dir=
        case $line in
        "tests "*) dir=build ;;
        "wine tests "*) dir=build-windows ;;
        "sanitizers "*) dir=build-asan ;;
        esac
        [ -n "$dir" ] && [ -f "$dir/Testing/Temporary/LastTestsFailed.log" ] &&
            sed 's/^/      failed: /' "$dir/Testing/Temporary/LastTestsFailed.log"
    done
    [ "$failed" -eq 0 ] && echo "dwl test: all steps passed" && return 0
    echo "dwl test: FAILED" >&2
    return 1
}

case "${1:-build}" in
build)
    install_missing
    use_ccache
    build build
    ;;
test)
    install_missing "${windows_packages[@]}"
    use_ccache
    step layers tools/check-layers
    step build build build
    after build step tests linux_tests
    step "Windows build" windows
    after "Windows build" step "wine tests" windows_tests
    # A second build type, the programs only: warnings that only the optimiser's view shows
    # (-Werror) must not break a Release build.
    step Release release_build
    after build step package package_and_check
    step fuzzers fuzz/run.sh 60
    after build step memcheck fuzz/memcheck.sh build
    step sanitizers sanitizer_tests
    summary
    ;;
demo)
    # Only what the demo runs: the command line and the emulated handset, without the GUI,
    # the tests and the benchmarks, in a build folder of its own.
    packages=("${demo_packages[@]}")
    install_missing
    use_ccache
    build build-demo -DDWL_WITH_QT=OFF -DDWL_WITH_TESTS=OFF -DDWL_WITH_BENCH=OFF \
        -- dwl dwl-handset-sim
    exec build-demo/app/dwl demo
    ;;
package)
    install_missing
    use_ccache
    build build
    package
    ;;
windows)
    install_missing "${windows_packages[@]}"
    use_ccache
    windows
    ;;
format)
    git ls-files '*.cpp' '*.h' | xargs clang-format -i
    ;;
*)
    echo "usage: $0 [build|test|demo|package|windows|format]" >&2
    exit 2
    ;;
esac
