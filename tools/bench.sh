#!/usr/bin/env bash
# Builds the release tree and runs every benchmark (optionally filtered).
# tools/bench.sh [benchmark filter regex]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
"$root/tools/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
filter=${1:-.}
for b in "$root"/build/release/bench-bin/*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_filter="$filter"
done
