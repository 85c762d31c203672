#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 300).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
mkdir -p build/fuzz/corpus
for bin in build/fuzz/fuzz/*_fuzz; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  mkdir -p "build/fuzz/corpus/$name"
  echo "-- $name for ${seconds}s"
  "$bin" -max_total_time="$seconds" -print_final_stats=0 "build/fuzz/corpus/$name" 2>&1 | tail -n 2
done
