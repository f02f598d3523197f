#!/usr/bin/env bash
# Configures and builds tesk_privacy into BUILD_DIR (default: build).
# Extra arguments go to cmake, e.g. scripts/build.sh -DTESK_SANITIZE=ON
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
