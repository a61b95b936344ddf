#!/usr/bin/env bash
# Set-up, build, tests and demo of dwl on a Debian machine.
#   ./dwl.sh            install what is missing, build (build/)
#   ./dwl.sh test       install, build, run the tests; each libFuzzer harness for 60 s
#                       (clang, build-fuzz/); valgrind memcheck of a whole mode-5 run; then the
#                       same tests built with AddressSanitizer and UndefinedBehaviorSanitizer
#                       (build-asan/)
#   ./dwl.sh demo       install, build, flash the sample images into the emulated handset
#   ./dwl.sh format     clang-format every source file
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libcli11-dev libgtest-dev clang-format
    clang libclang-rt-14-dev valgrind nlohmann-json3-dev)
jobs=$(nproc 2>/dev/null || echo 2)

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

case "${1:-build}" in
build)
    install_missing
    build build
    ;;
test)
    install_missing
    build build
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
    fuzz/run.sh 60
    fuzz/memcheck.sh build
    build build-asan -DDWL_SANITIZE=ON -DDWL_WITH_QT=OFF -DDWL_WITH_BENCH=OFF \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"
    (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --output-on-failure -j "$jobs")
    ;;
demo)
    install_missing
    build build
    exec build/app/dwl demo
    ;;
format)
    git ls-files '*.cpp' '*.h' | xargs clang-format -i
    ;;
*)
    echo "usage: $0 [build|test|demo|format]" >&2
    exit 2
    ;;
esac
