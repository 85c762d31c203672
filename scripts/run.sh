#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and starts the application on the
# simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No graphical session here, so the desktop program cannot open its window." >&2
  echo "The command-line tool works without one, for example:" >&2
  echo "  build/release/cli/owlctl --simulator list" >&2
  exit 1
fi
exec build/release/host/owl_desktop --simulator "$@"
