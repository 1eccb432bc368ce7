#!/usr/bin/env bash
# One entry point for everything:
#   ./go setup | build | test [--sanitize] | demo | bench [--quick] | fuzz [--long SECONDS]
#        | format [--check]
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages the build, the tests and the tools need.
PACKAGES=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
          libgtest-dev libgmock-dev libbenchmark-dev libtomlplusplus-dev libcli11-dev
          locales python3-serial clang-format scdoc man-db
          libcpp-httplib-dev nlohmann-json3-dev libmosquitto-dev mosquitto mosquitto-clients
          libjs-chart.js chromium chromium-driver python3-selenium
          libgrpc++-dev protobuf-compiler-grpc libprotobuf-dev protobuf-compiler
          python3-grpcio python3-protobuf libxml2-utils libssl-dev openssl
          libavahi-client-dev avahi-daemon avahi-utils dbus iproute2)

# The test suite runs a second time under this comma-decimal locale.
TEST_LOCALE=de_DE.UTF-8

jobs() { nproc 2>/dev/null || echo 2; }

# A compiler cache, where the machine has one, makes rebuilds of other work trees cheap.
if command -v ccache >/dev/null 2>&1 && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

# The sources the formatter checks: ours, not the fuzz corpora.
format_sources() { git ls-files '*.cpp' '*.h' '*.c'; }

setup() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    if [ ${#missing[@]} -gt 0 ]; then
        echo "go: installing ${missing[*]}"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
    if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
        echo "go: generating the locale $TEST_LOCALE"
        $sudo localedef -i de_DE -f UTF-8 "$TEST_LOCALE"
    fi
}

# build DIR [cmake options...]
build_in() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$(jobs)"
}

# The demo needs the library, the host program and the simulator, not the tests: a
# newcomer sees it in the time of that build.
build_demo() {
    cmake -S . -B build -G Ninja >/dev/null
    cmake --build build -j "$(jobs)" --target gc6890-cli gc6890-sim
}

build() { setup; build_in build; }

run_tests() {
    local dir=$1
    # The summary line ("100% tests passed, 0 tests failed out of N") is ctest's own.
    ctest --test-dir "$dir" -j "$(jobs)" --output-on-failure --timeout 300
}

# fuzz SECONDS: every harness replays its kept crash inputs, then fuzzes for SECONDS from
# its seeds (fuzz/corpus/<name>, read only; new inputs go to build-fuzz/corpus/<name>).
# Two harnesses run at a time on two cores. Any crash, leak or time-out fails the run.
fuzz_one() {
    local program=$1 seconds=$2 name
    name=$(basename "$program")
    name=${name#fuzz_}
    local regressions=fuzz/regressions/$name
    mkdir -p "build-fuzz/corpus/$name" build-fuzz/artifacts build-fuzz/tmp
    # Harnesses that need files make them under TMPDIR: keep them in the build folder.
    export TMPDIR=$PWD/build-fuzz/tmp
    if compgen -G "$regressions/*" >/dev/null; then
        "$program" "$regressions"/* || return 1
    fi
    "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$name-" \
        "build-fuzz/corpus/$name" "fuzz/corpus/$name"
}

run_fuzzers() {
    local seconds=$1 failed=0
    mkdir -p build-fuzz/logs
    local programs=(build-fuzz/fuzz/fuzz_*)
    local i=0
    while [ $i -lt ${#programs[@]} ]; do
        local pids=() names=()
        for program in "${programs[@]:$i:$(jobs)}"; do
            fuzz_one "$program" "$seconds" >"build-fuzz/logs/$(basename "$program").log" 2>&1 &
            pids+=($!)
            names+=("$(basename "$program")")
        done
        for k in "${!pids[@]}"; do
            local log="build-fuzz/logs/${names[$k]}.log"
            if wait "${pids[$k]}"; then
                echo "go: ${names[$k]}: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" | tail -1), no crash"
            else
                echo "go: ${names[$k]} FAILED; see $log" >&2
                tail -30 "$log" >&2
                failed=1
            fi
        done
        i=$((i + $(jobs)))
    done
    return $failed
}

cmd=${1:-help}
shift || true
case "$cmd" in
    setup) setup ;;
    build) build ;;
    test)
        setup
        if [ "${1:-}" = "--sanitize" ]; then
            # The sanitizer build uses clang, so that CI compiles with both g++ and clang. Its
            # reports need only the line tables of the debug information (a sixth less
            # compile time than all of it).
            CXX=clang++ build_in build-sanitize -DGC6890_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
                -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only
            # The sanitizers slow everything several times: time bounds get 300 ms more.
            ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
                GC6890_TEST_TIME_SLACK_MS=300 run_tests build-sanitize
        else
            build_in build
            run_tests build
        fi
        ;;
    demo)
        setup
        build_demo
        ./build/apps/gc6890/gc6890 demo
        ;;
    bench)
        setup
        build_in build-bench -DGC6890_BENCH=ON -DGC6890_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
        # --quick: fewer exchanges, runs and polls (about a minute and a half instead of
        # about four on a quiet machine, and the lab's load for 20 s instead of 2 min);
        # the figures are then rougher.
        declare -A options=()
        if [ "${1:-}" = "--quick" ]; then
            options=([bench_exchange]="--rounds 5 --exchanges 5000 --python-exchanges 2000"
                     [bench_exchange_parts]="--benchmark_min_time=0.1"
                     [bench_parsing]="--benchmark_min_time=0.1"
                     [bench_operations]="--runs 5"
                     [bench_memory]="--polls 20000 --warm-up 2000"
                     [bench_service]="--step-seconds 2 --seconds 15 --crowd-seconds 8"
                     [bench_sila]="--read-seconds 2 --update-seconds 5"
                     [bench_lab]="--seconds 20")
        fi
        echo "go: bench on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), $(date -u '+%F %H:%M UTC')"
        for b in build-bench/bench/bench_*; do
            [ -x "$b" ] || continue
            echo; echo "== $(basename "$b") ${options[$(basename "$b")]:-}"
            # shellcheck disable=SC2086  # the options are words
            "$b" ${options[$(basename "$b")]:-}
        done
        ;;
    fuzz)
        setup
        # 45 s a harness: thirteen of them, two at a time, keep CI's run under 30 minutes.
        seconds=45
        if [ "${1:-}" = "--long" ]; then
            seconds=${2:?usage: ./go fuzz --long SECONDS}
        fi
        # -O1 and line tables only: what a crash report needs, for a fifth of the compile time.
        CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DGC6890_FUZZ=ON -DGC6890_TESTS=OFF \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG" >/dev/null
        cmake --build build-fuzz -j "$(jobs)" --target fuzzers
        run_fuzzers "$seconds"
        ;;
    format)
        # --check: list the files that differ from .clang-format and fail; else rewrite them.
        if [ "${1:-}" = "--check" ]; then
            format_sources | xargs clang-format-14 --style=file --dry-run -Werror
            echo "go: every source is formatted"
        else
            format_sources | xargs clang-format-14 --style=file -i
        fi
        ;;
    *)
        echo "usage: ./go setup | build | test [--sanitize] | demo | bench [--quick] | fuzz [--long SECONDS] | format [--check]" >&2
        exit 2
        ;;
esac
