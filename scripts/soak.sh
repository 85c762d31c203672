#!/usr/bin/env bash
# Builds the soak run in a preset (release unless told otherwise) and runs it for SECONDS.
# Exits non-zero when an invariant broke or a sanitizer reported; the last line is the summary.
# SOAK_SEED picks another sequence of operations.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: scripts/soak.sh SECONDS [PRESET]" >&2
  exit 2
fi
seconds=$1
preset=${2:-release}

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target owl_soak
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
export ASAN_OPTIONS="abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
exec "build/$preset/soak/owl_soak" --seconds "$seconds" --seed "${SOAK_SEED:-1}"
