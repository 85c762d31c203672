#!/usr/bin/env bash
# Saves a picture of the main window on three simulated units (two sharing a frequency) to
# docs/screenshot.png.
# OWL_BUILD_DIR picks a build directory that already holds owl_desktop (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build_dir="${OWL_BUILD_DIR:-build/release}"
if [ "$build_dir" = build/release ] && [ ! -f build/release/CMakeCache.txt ]; then
  cmake --preset release >/dev/null
fi
if [ "$build_dir" = build/release ]; then
  cmake --build --preset release --target owl_desktop
else
  cmake --build "$build_dir" --target owl_desktop
fi

out="$PWD/docs/screenshot.png"
# The program saves the picture itself once both units are listed, then closes its window.
QT_QPA_PLATFORM=offscreen OWL_DESKTOP_SCREENSHOT="$out" \
  timeout 60 "$build_dir/host/owl_desktop" --simulator 2>/dev/null | grep -q "^saved "
echo "wrote $out"
