#!/usr/bin/env bash
# Configures and builds tesk_privacy into BUILD_DIR (default: build).
# Extra arguments go to cmake, e.g. scripts/build.sh -DTESK_SANITIZE=ON
# Compilations go through ccache when it is installed, keyed independently
# of the checkout's and the build folder's location.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
