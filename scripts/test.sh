#!/usr/bin/env bash
# Installs what is missing, builds every configuration once and runs the whole suite:
# address+undefined sanitizers, thread sanitizer, the release build with its benchmarks (built,
# not run), the Debian package and its checks, the suite once more for its coverage, a short
# smoke run of each fuzzer, and last a one-minute soak run in the thread-sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
for preset in asan tsan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "== release (benchmarks built, not run)"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"

echo "== Debian package (from the release build), checked without installing it"
scripts/package.sh
scripts/check-package.sh

echo "== coverage"
scripts/coverage.sh

echo "== fuzz smoke run"
scripts/fuzz.sh 10

echo "== soak, 60 s in the thread-sanitizer build"
scripts/soak.sh 60 tsan
