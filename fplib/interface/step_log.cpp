#include "step_log.h"

#include <cstdarg>
#include <cstdio>

namespace fplib {

// A literal backslash: the name comes from a drive path on the original host.
const char kLogFileName[] = "d:\\vantrel.txt";

namespace {
const char *const kLevelTags[] = {"A/", "E/", "W/", "I/", "D/", "V/"};
constexpr int kLevel = 5;
}  // namespace

void writeLogLine(const char *function, int line, const char *format, ...) {
  char buffer[512];
  int used = std::snprintf(buffer, sizeof buffer, "%s%s\t%.4d %s] ", kLevelTags[kLevel], "", line, function);
  if (used < 0) return;
  if (size_t(used) < sizeof buffer) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer + used, sizeof buffer - size_t(used), format, args);
    va_end(args);
  }
  std::printf("%s", buffer);
  std::fflush(stdout);
  if (FILE *f = std::fopen(kLogFileName, "a")) {
    std::fputs(buffer, f);
    std::fclose(f);
  }
}

}  // namespace fplib
