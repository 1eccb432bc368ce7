#!/bin/sh
# Builds the library example the way a user's program is built: against an installed
# libgc6890 found through its pkg-config file, then runs it on the simulator.
#   build_with_pkg_config.sh BUILD_DIR EXAMPLE_SOURCE WORK_DIR
set -eu
build=$1 source=$2 work=$3
rm -rf "$work"
mkdir -p "$work/home/c/dravik"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
pc=$(find "$work/prefix" -name gc6890.pc | head -n 1)
libdir=$(dirname "$(dirname "$pc")")
export PKG_CONFIG_PATH="$(dirname "$pc")"
${CXX:-c++} -o "$work/host_session" "$source" \
    $(pkg-config --define-prefix --cflags --libs gc6890) -Wl,-rpath,"$libdir"
GC6890_HOME="$work/home" GC6890_SIM_BIN="$work/prefix/bin/gc6890-sim" "$work/host_session"
