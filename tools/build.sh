#!/usr/bin/env bash
# tools/build.sh DIR [cmake options...]: configures (once) and builds into DIR,
# with CMAKE_BUILD_PARALLEL_LEVEL jobs when it is set, else one per core.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "$@"
fi
cmake --build "$dir" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
