// main() of a benchmark that talks to the virtual scanner: started on the
// real libusb, it runs itself again with the scanner's folder first on the
// library path.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "vscanner_control.h"

namespace belnor_bench {

inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline int RunOnVirtualScanner(int argc, char** argv, const char* scannerDir) {
  if (!VSCANNER_LOOKUP(vscanner_reset)) {
    // The second start already had the path: the scanner is not built there.
    if (getenv("BELNOR_BENCH_REEXEC")) {
      std::fprintf(stderr, "the virtual scanner is not in %s\n", scannerDir);
      return 1;
    }
    setenv("BELNOR_BENCH_REEXEC", "1", 1);
    setenv("LD_LIBRARY_PATH", scannerDir, 1);
    execv("/proc/self/exe", argv);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace belnor_bench
