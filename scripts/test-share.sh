#!/bin/sh
# Prints how many of the repository's C++ lines are tests: every file in a tests/ folder (cases,
# fixtures and helpers) and the fuzz targets, against all C++ sources, headers and benchmarks.
# Counts the files git knows, as they are in the working tree.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.hpp' '*.h' | sort -u)
[ -n "$files" ] || { echo "no C++ files found" >&2; exit 1; }
total=0
tests=0
for f in $files; do
  [ -f "$f" ] || continue
  n=$(wc -l < "$f")
  total=$((total + n))
  case "$f" in
    tests/* | */tests/* | fuzz/*) tests=$((tests + n)) ;;
  esac
done
code=$((total - tests))
awk -v t="$tests" -v c="$code" -v a="$total" 'BEGIN {
  printf "test lines %d, other C++ lines %d, all C++ lines %d: tests are %.1f%% of all\n",
         t, c, a, 100 * t / a }'
