#include "step_log.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace fplib {

// A literal backslash: the name comes from a drive path on the original host.
const char kLogFileName[] = "d:\\vantrel.txt";

namespace {
const char *const kLevelTags[] = {"A/", "E/", "W/", "I/", "D/", "V/"};
constexpr int kLevel = 5;

// The log file stays open between lines. Before each line the name is looked
// up again in the working directory: when it names another file (the
// directory changed, or the file was removed or replaced) that one is opened.
struct LogFile {
  std::mutex lock;
  FILE *file = nullptr;
  dev_t device = 0;
  ino_t inode = 0;

  void Close() {
    if (file) std::fclose(file);
    file = nullptr;
  }
  FILE *Current() {
    struct stat st;
    if (file && ::stat(kLogFileName, &st) == 0 && st.st_dev == device && st.st_ino == inode) return file;
    Close();
    file = std::fopen(kLogFileName, "a");
    if (file && ::fstat(fileno(file), &st) == 0) {
      device = st.st_dev;
      inode = st.st_ino;
    }
    return file;
  }
};

LogFile &Log() {
  static LogFile log;
  return log;
}

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
  LogFile &log = Log();
  std::lock_guard<std::mutex> hold(log.lock);
  if (FILE *f = log.Current()) {
    std::fputs(buffer, f);
    // Every complete line is in the file before the call goes on.
    std::fflush(f);
  }
}

void closeLogFile() {
  LogFile &log = Log();
  std::lock_guard<std::mutex> hold(log.lock);
  log.Close();
}

}  // namespace fplib
