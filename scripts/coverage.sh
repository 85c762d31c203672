#!/usr/bin/env bash
# Builds the coverage configuration, runs the whole suite in it and prints line and branch
# coverage of the engine per folder. Throw branches, branches the compiler proved unreachable and
# the branches of defaulted comparisons (one per member, written by the compiler) are left out:
# they are the compiler's, not ours.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$jobs"
# Counts from an earlier run would be added to this one.
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j "$jobs"

trace=build/coverage/coverage.json
# CMake's compiler check leaves coverage notes of its own; they are not ours. The counters are
# updated atomically (see the preset), since the engine's threads run the same code at once; a
# line gcov still cannot print is reported and skipped rather than failing the whole summary.
# gcovr runs on one thread: with several, a parse error in one of them hangs the whole run.
timeout 900 gcovr --root . --object-directory build/coverage --exclude-directories '.*/CMakeFiles/[0-9.]+$' \
  --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors \
  --exclude-lines-by-pattern '.*=\s*default;.*' \
  --filter '(core|api|bridge|client)/' --exclude '.*/tests/.*' --json "$trace"

# The summary goes to standard output; the report file is only a place gcovr may replace.
summary() {  # name, filter
  gcovr --root . --add-tracefile "$trace" --filter "$2" --print-summary --output build/coverage/summary.txt |
    awk -v name="$1" '/^lines:/ {l = $2 " " $3 " " $4 " " $5 " " $6} /^branches:/ {b = $2 " " $3 " " $4 " " $5 " " $6}
      END {printf "%-7s lines %-22s branches %s\n", name, l, b}'
}
echo "== coverage (lines, branches; throw, unreachable and defaulted-comparison branches left out)"
summary core 'core/'
summary api 'api/'
summary bridge 'bridge/'
summary client 'client/'
summary engine '(core|api|bridge|client)/'
