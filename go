#!/usr/bin/env bash
# One entry point for everything: ./go setup | build | test [--sanitize] | demo | bench | fuzz
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages the build, the tests and the tools need.
PACKAGES=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
          libgtest-dev libgmock-dev libbenchmark-dev libtomlplusplus-dev libcli11-dev)

jobs() { nproc 2>/dev/null || echo 2; }

setup() {
    # The comms log's folder, which the library expects the installation to have made.
    mkdir -p "${GC6890_HOME:-$HOME/.local/share/gc6890}/c/dravik"
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then return 0; fi
    echo "go: installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build DIR [cmake options...]
build_in() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$(jobs)"
}

build() { setup; build_in build; }

run_tests() {
    local dir=$1
    # The summary line ("100% tests passed, 0 tests failed out of N") is ctest's own.
    ctest --test-dir "$dir" -j "$(jobs)" --output-on-failure --timeout 300
}

cmd=${1:-help}
shift || true
case "$cmd" in
    setup) setup ;;
    build) build ;;
    test)
        setup
        if [ "${1:-}" = "--sanitize" ]; then
            # The sanitizer build uses clang, so that CI compiles with both g++ and clang.
            CXX=clang++ build_in build-sanitize -DGC6890_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
            ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
                run_tests build-sanitize
        else
            build_in build
            run_tests build
        fi
        ;;
    demo)
        build
        ./build/apps/gc6890/gc6890 demo
        ;;
    bench)
        setup
        build_in build-bench -DGC6890_BENCH=ON -DGC6890_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
        for b in build-bench/bench/bench_*; do [ -x "$b" ] && "$b"; done
        ;;
    *)
        echo "usage: ./go setup | build | test [--sanitize] | demo | bench | fuzz" >&2
        exit 2
        ;;
esac
