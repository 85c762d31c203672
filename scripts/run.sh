#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and starts the application on the
# simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if [ -x build/release/host/owl_desktop ]; then
  exec build/release/host/owl_desktop --simulator "$@"
fi
echo "The desktop program is not built yet; running the engine benchmarks instead."
for bench in build/release/bench/*_bench; do
  [ -x "$bench" ] && "$bench" --benchmark_min_time=0.2
done
