#!/bin/sh
# The installation as a user meets it, with nothing of the build on any path:
#   install_check.sh prefix|programs|cmake|pkg-config|headers BUILD_DIR SOURCE_DIR WORK_DIR VERSION
# "prefix" installs once (the other cases share it) into a staging folder and then moves
# it, so that any absolute path left in the installation breaks the cases that follow.
set -eu
case=$1 build=$2 source=$3 work=$4 version=$5
prefix=$work/prefix

# A clean environment: system PATH only, and a fresh home that nothing has prepared (its
# own runtime folder too, as a login has, so the port mutex is not shared with others).
fresh() {
    home=$(mktemp -d "$work/home-XXXXXX")
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home" "$@"
}

# Runs the library example on a fresh home against the simulator it must find itself:
# it succeeds, prints no idle status text or file error, and makes the comms log.
run_example() {
    fresh "$1" "$source/methods/split_front.toml" 2>"$work/example.err" || {
        cat "$work/example.err"; exit 1; }
    if grep -E "For Help|File Error" "$work/example.err"; then exit 1; fi
    test -f "$home/.local/share/gc6890/c/dravik/hp6890.err"
}

# pkg-config finds the installation's gc6890.pc and nothing of the system's own.
use_pkg_config() {
    unset PKG_CONFIG_PATH
    export PKG_CONFIG_LIBDIR
    PKG_CONFIG_LIBDIR=$(dirname "$(find "$prefix" -name gc6890.pc)")
}

case $case in
prefix)
    rm -rf "$work"
    mkdir -p "$work"
    cmake --install "$build" --prefix "$work/staging" >/dev/null
    mv "$work/staging" "$prefix"
    ;;
programs)
    fresh "$prefix/bin/gc6890" --version >"$work/version"
    # One line each: under set -e a failure left of "&&" would not end the script.
    grep -qx "gc6890 $version" "$work/version"
    grep -qx "libgc6890 $version" "$work/version"
    fresh "$prefix/bin/gc6890" --port sim status
    for page in gc6890 gc6890-sim; do
        MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1" 2>"$work/man.err" >/dev/null
        if [ -s "$work/man.err" ]; then cat "$work/man.err"; exit 1; fi
    done
    # The completion offers the commands, and the options of the command being typed.
    words=$(bash -c '. "$1"; COMP_WORDS=(gc6890 --port sim ru); COMP_CWORD=3; _gc6890
                     printf "%s " "${COMPREPLY[@]}"
                     COMP_WORDS=(gc6890 run x --v); COMP_CWORD=3; _gc6890
                     printf "%s " "${COMPREPLY[@]}"' _ "$prefix/share/bash-completion/completions/gc6890")
    [ "$words" = "run --vial --volume " ] || { echo "completion: $words"; exit 1; }
    ;;
cmake)
    fresh cmake -S "$source/examples" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    fresh cmake --build "$work/cmake" >/dev/null
    run_example "$work/cmake/host_session"
    ;;
pkg-config)
    use_pkg_config
    flags=$(pkg-config --cflags --libs gc6890)
    libdir=$(pkg-config --variable=libdir gc6890)
    # shellcheck disable=SC2086  # the flags are words
    fresh c++ -o "$work/host_session" "$source/examples/host_session.cpp" $flags -Wl,-rpath,"$libdir"
    run_example "$work/host_session"
    # The installed headers leave an ordinary program's own names alone.
    # shellcheck disable=SC2086
    fresh c++ -fsyntax-only -Wall -Wextra -Werror "$source/tests/install/header_hygiene.cpp" $flags
    ;;
headers)
    # Exactly the listed public headers are installed (tests/install/CMakeLists.txt
    # writes the list): every other header of the source tree stays out, and there is one.
    LC_ALL=C sort "$build/tests/install/installed_headers.txt" >"$work/listed"
    (cd "$prefix/include/gc6890" && find . -name '*.h') | sed 's|^\./||' | LC_ALL=C sort >"$work/installed"
    if ! diff "$work/listed" "$work/installed" >"$work/headers.diff"; then
        echo "installed headers differ from the list (<: listed only, >: installed only)"
        cat "$work/headers.diff"; exit 1
    fi
    internal=$( (cd "$source/src" && find . -name '*.h') | sed 's|^\./||' | LC_ALL=C sort |
               LC_ALL=C comm -23 - "$work/listed")
    [ -n "$internal" ] || { echo "no internal header is left out"; exit 1; }
    # A program that includes every public header compiles against the installation.
    use_pkg_config
    flags=$(pkg-config --cflags gc6890)
    sed 's/.*/#include "&"/' "$work/listed" >"$work/every_header.cpp"
    echo 'int main() { return 0; }' >>"$work/every_header.cpp"
    # shellcheck disable=SC2086  # the flags are words
    fresh c++ -fsyntax-only -Wall -Wextra -Werror "$work/every_header.cpp" $flags
    ;;
esac
