#!/usr/bin/env bash
# tools/fuzz.sh [seconds] [target...]: builds the libFuzzer harnesses with
# clang (ASan+UBSan) into build/fuzzers and runs each target for the given
# time (default 60 s), one after the other, starting from its seed corpus:
# tests/fuzz/corpus/<target>, or tests/wsq/corpus/<name> for wsq_<name>.
# Without targets it runs them all. New inputs go to
# build/fuzzers/corpus/<target>; crashes are left in build/fuzzers/.
# FUZZ_JOBS=n runs n processes per target (libFuzzer's -jobs/-workers).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift || true
dir=$root/build/fuzzers
jobs=${FUZZ_JOBS:-1}
clangxx=$(command -v clang++-14 || command -v clang++)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root/tests/fuzz/libfuzzer" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER="$clangxx" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$dir" -j 4

seeds_of() {
  case $1 in
    wsq_*) echo "$root/tests/wsq/corpus/${1#wsq_}" ;;
    *) echo "$root/tests/fuzz/corpus/$1" ;;
  esac
}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for seeds in "$root"/tests/wsq/corpus/*/; do targets+=("wsq_$(basename "$seeds")"); done
  for seeds in "$root"/tests/fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi
for t in "${targets[@]}"; do
  seeds=$(seeds_of "$t")
  [ -x "$dir/fuzz_$t" ] && [ -d "$seeds" ] || { echo "no fuzz target $t" >&2; exit 2; }
  extra=()
  case $t in
    wsq_*) extra+=(-dict="$root/tests/wsq/fuzz/wsq.dict") ;;
    ctemplate) extra+=(-max_len=1024) ;;  # see fuzz_ctemplate.cpp
  esac
  if [ "$jobs" -gt 1 ]; then extra+=(-jobs="$jobs" -workers="$jobs"); fi
  mkdir -p "$dir/corpus/$t"
  echo "== fuzz_$t for ${secs}s"
  # Extraction and matching take a while under the sanitizers on a busy
  # machine, hence the generous per-input timeout. Standard output carries
  # libminutia's step log and is closed.
  (cd "$dir" && "./fuzz_$t" -max_total_time="$secs" -timeout=30 -rss_limit_mb=2048 \
    -malloc_limit_mb=1024 -use_value_profile=1 -close_fd_mask=3 -print_final_stats=1 \
    "${extra[@]}" "$dir/corpus/$t" "$seeds")
done
