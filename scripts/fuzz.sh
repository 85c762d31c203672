#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 300), starting from its checked-in seeds (fuzz/seeds/<target>, only read) and what
# earlier runs found (build/fuzz/corpus/<target>, where new inputs go). Inputs stay at libFuzzer's
# usual 4096 bytes; the longer hand-made seeds are cut to that.
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
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  "$bin" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 \
    "build/fuzz/corpus/$name" "${seeds[@]}" 2>&1 | tail -n 2
done
