#!/usr/bin/env bash
# Installs the build in BUILD_DIR (default: build) into a temporary prefix and
# builds and runs a small program against it twice: through the CMake package
# (examples/consumer) and through pkg-config. Every installed header must
# compile on its own. Removes what it made.
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
# Each public header is self-contained and includes public headers only.
(cd "$work/prefix/include" && find tesk_privacy -name '*.h' | sort) |
  xargs -P "$(nproc)" -I{} sh -c 'echo "#include \"{}\"" | c++ -std=c++20 -fsyntax-only -x c++ -I"$1" - ||
                                   { echo "install check: {} does not compile on its own" >&2; exit 255; }' _ "$work/prefix/include"
echo "install check: $(cd "$work/prefix/include" && find tesk_privacy -name '*.h' | wc -l) public headers"
"$work/prefix/bin/tesk-privacy" --version
echo "install check: CMake package, pkg-config and the installed command work"
