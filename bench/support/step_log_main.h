// main() of a benchmark that calls libminutia: the step log is written as in
// use, but standard output is discarded and the log file goes to a scratch
// directory; the results go to standard error.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "fplib.h"

namespace belnor_bench {

inline int RunWithStepLogInScratch(int argc, char **argv, const char *name) {
  benchmark::Initialize(&argc, argv);
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  std::filesystem::current_path(scratch);
  const int devnull = open("/dev/null", O_WRONLY);
  if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
  FP_Begin();
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  FP_End();
  std::filesystem::remove_all(scratch);
  return 0;
}

}  // namespace belnor_bench
