#!/usr/bin/env bash
# tools/fuzz.sh [seconds] [target...]: builds the WSQ libFuzzer harnesses with
# clang into build/fuzz and runs each for the given time (default 60 s),
# starting from its seed corpus in tests/wsq/corpus/<target>. New inputs go
# to build/fuzz/corpus/<target>; crashes are left in build/fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift || true
dir=$root/build/fuzz
clangxx=$(command -v clang++-14 || command -v clang++)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root/tests/wsq/fuzz" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER="$clangxx" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$dir" -j 4
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for seeds in "$root"/tests/wsq/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi
for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t"
  echo "== fuzz_wsq_$t for ${secs}s"
  (cd "$dir" && "./fuzz_wsq_$t" -max_total_time="$secs" -timeout=2 -rss_limit_mb=2048 \
    -malloc_limit_mb=512 -use_value_profile=1 -close_fd_mask=2 -print_final_stats=1 \
    -dict="$root/tests/wsq/fuzz/wsq.dict" "$dir/corpus/$t" "$root/tests/wsq/corpus/$t")
done
