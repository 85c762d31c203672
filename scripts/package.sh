#!/usr/bin/env bash
# Builds the Debian package: installs what is missing, builds the release configuration (or
# reuses it) and leaves build/package/owl-configurator_VERSION_ARCH.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
mkdir -p build/package
rm -f build/package/owl-configurator_*.deb
cpack --config build/release/CPackConfig.cmake -B build/package >/dev/null
deb=$(ls build/package/owl-configurator_*.deb)
echo "built $deb"
