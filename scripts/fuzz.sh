#!/bin/sh
# Builds the libFuzzer targets with clang and runs each on its seed corpus.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60). Build directory: $FUZZ_BUILD_DIR
# (default build-fuzz). New corpus entries go to a scratch copy, so the seed
# corpora in fuzz/corpus/ stay as committed; a crash leaves its input in
# $FUZZ_BUILD_DIR/artifacts/ and makes the script fail.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
build=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_JOBS:-2}

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTESK_BUILD_FUZZERS=ON -DTESK_BUILD_TESTS=OFF \
    -DTESK_BUILD_PYTHON=OFF ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER}
fi
ninja -C "$build" -j "$jobs" fuzzers

targets=${*:-$(cd "$build" && ls fuzz/*_fuzzer | sed 's|fuzz/||')}
mkdir -p "$build/artifacts"
status=0
for target in $targets; do
  name=${target%_fuzzer}
  scratch="$build/corpus/$name"
  mkdir -p "$scratch"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$scratch/"
  echo "== $target: $seconds s"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -max_len=65536 \
       -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 "$scratch" 2>"$build/$target.log"; then
    echo "!! $target found a failure; see $build/$target.log and $build/artifacts/"
    grep -E -A 30 "^==[0-9]+==|^INFO: Seed|deadly signal|ERROR: libFuzzer" "$build/$target.log" | head -60 || true
    for crash in "$build/artifacts/$target-"*; do
      [ -f "$crash" ] && { echo "-- $crash (hex):"; od -A d -t x1z "$crash" | head -40; }
    done
    status=1
  fi
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)" "$build/$target.log" || true
done
exit $status
