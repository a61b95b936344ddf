#!/usr/bin/env bash
# Set-up, build, tests and demo of dwl on a Debian machine.
#   ./dwl.sh            install what is missing, build (build/)
#   ./dwl.sh test       install, build, run the tests; compile a Release tree (build-release/);
#                       each libFuzzer harness for 60 s
#                       (clang, build-fuzz/); valgrind memcheck of a whole mode-5 run; then the
#                       same tests built with AddressSanitizer and UndefinedBehaviorSanitizer
#                       (build-asan/); the package too, and its contents are checked
#   ./dwl.sh demo       install, build, flash the sample images into the emulated handset
#   ./dwl.sh package    install, build, make the Debian package build/dwl_<version>_<arch>.deb
#   ./dwl.sh format     clang-format every source file
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libcli11-dev libgtest-dev clang-format
    clang libclang-rt-14-dev valgrind dpkg-dev help2man desktop-file-utils nlohmann-json3-dev
    ccache libsqlite3-dev libpq-dev postgresql)
jobs=$(nproc 2>/dev/null || echo 2)

# Every compile goes through ccache (its cache lives outside the tree, ~/.cache/ccache by
# default): a second run of the tests compiles almost nothing.
use_ccache() {
    command -v ccache >/dev/null || return 0
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    # The build folders differ (build/, build-asan/, a clone elsewhere): hash relative paths.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=1
}

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "dwl: installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

build() { # folder, extra cmake options...
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

package() { # the Debian package of the build in build/, the only one there
    rm -f build/dwl_*.deb
    local out
    out=$(cd build && cpack -G DEB 2>&1) || { echo "$out" >&2; return 1; }
    grep -F 'CPack: - package:' <<<"$out"
}

case "${1:-build}" in
build)
    install_missing
    use_ccache
    build build
    ;;
test)
    install_missing
    use_ccache
    tools/check-layers
    build build
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
    # A second build type, the programs only: warnings that only the optimiser's view shows
    # (-Werror) must not break a Release build.
    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DDWL_WITH_BENCH=OFF \
        -DDWL_WITH_TESTS=OFF >/dev/null
    cmake --build build-release -j "$jobs"
    package
    tools/check-package build
    fuzz/run.sh 60
    fuzz/memcheck.sh build
    # The tests again under AddressSanitizer and UndefinedBehaviorSanitizer, the Qt view and
    # its tests included (offscreen); the leaks of the libraries we do not build are not ours.
    build build-asan -DDWL_SANITIZE=ON -DDWL_WITH_BENCH=OFF \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"
    (cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
        LSAN_OPTIONS=suppressions=$PWD/../tools/lsan-suppressions.txt \
        UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")
    ;;
demo)
    install_missing
    use_ccache
    build build
    exec build/app/dwl demo
    ;;
package)
    install_missing
    use_ccache
    build build
    package
    ;;
format)
    git ls-files '*.cpp' '*.h' | xargs clang-format -i
    ;;
*)
    echo "usage: $0 [build|test|demo|package|format]" >&2
    exit 2
    ;;
esac
