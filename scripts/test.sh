#!/usr/bin/env bash
# Builds tesk_privacy into BUILD_DIR (default: build) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
scripts/build.sh "$@"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
