#!/usr/bin/env bash
# The library's dynamic symbol table must hold exactly the interface's functions.
set -euo pipefail
library=$1
expected=$2
actual=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TtDdBbWwVvRr]$/ {print $3}' | LC_ALL=C sort)
if ! diff <(LC_ALL=C sort "$expected") <(echo "$actual"); then
  echo "exported symbols differ from $expected" >&2
  exit 1
fi
echo "exports match: $(echo "$actual" | wc -l) functions"
