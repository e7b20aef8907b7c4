#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a release build, and a build
# with AddressSanitizer and UndefinedBehaviorSanitizer; then the threaded
# suites once more under ThreadSanitizer. Fails on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_suite() {
  local dir=$1
  shift
  "$root/tools/build.sh" "$dir" "$@"
  # No retries: a test that passes only on its second try hides a race.
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600
}

run_suite "$root/build/release" -DCMAKE_BUILD_TYPE=Release
run_suite "$root/build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBELNOR_SANITIZE=address,undefined -DBELNOR_BENCH=OFF

# ThreadSanitizer: only the threaded suites (ctest label tsan), built
# through the belnor_tsan_tests target.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
tsan="$root/build/tsan"
if [ ! -f "$tsan/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBELNOR_SANITIZE=thread -DBELNOR_BENCH=OFF
fi
cmake --build "$tsan" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" --target belnor_tsan_tests
ctest --test-dir "$tsan" -L tsan --output-on-failure -j "$(nproc)" --timeout 600
