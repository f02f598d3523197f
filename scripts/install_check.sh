#!/usr/bin/env bash
# Installs the build in BUILD_DIR (default: build) into a temporary prefix and
# builds and runs a small program against it twice: through the CMake package
# (examples/consumer) and through pkg-config. Removes what it made.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$BUILD_DIR" --prefix "$work/prefix" >/dev/null
cmake -S examples/consumer -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"
PKG_CONFIG_PATH="$work/prefix/$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$BUILD_DIR/CMakeCache.txt")/pkgconfig" \
  bash -c 'c++ -std=c++20 examples/consumer/main.cc -o "$1/pc_consumer" $(pkg-config --cflags --libs tesk_privacy)' _ "$work"
"$work/pc_consumer" >/dev/null
"$work/prefix/bin/tesk-privacy" --version
echo "install check: CMake package, pkg-config and the installed command work"
