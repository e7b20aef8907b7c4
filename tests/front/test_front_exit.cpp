// A host that exits, or unloads the library, without LIVESCAN_Close: both
// builds stop streaming and join their worker on the way out, so the host
// ends cleanly (also under the sanitizers, whose reports fail the child).
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

namespace {

struct Host {
  bool exited;
  int status;  // exit code, or the signal
};

// Runs the host once against library with the scanner devices given.
Host RunHost(const char *mode, const char *library, const char *devices) {
  setenv("VSCANNER_DEVICES", devices, 1);
  std::vector<char *> args{const_cast<char *>(EXIT_HOST), const_cast<char *>(mode),
                           const_cast<char *>(library), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, EXIT_HOST, nullptr, nullptr, args.data(), environ) != 0) return {false, -1};
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) return {true, WEXITSTATUS(status)};
  return {false, WIFSIGNALED(status) ? WTERMSIG(status) : -1};
}

void ExpectCleanRuns(const char *mode, const char *library, const char *devices, int runs) {
  for (int i = 0; i < runs; ++i) {
    const Host h = RunHost(mode, library, devices);
    ASSERT_TRUE(h.exited) << devices << " run " << i << ": signal " << h.status;
    ASSERT_EQ(h.status, 0) << devices << " run " << i;
  }
}

struct Build {
  const char *name, *library;
};
const Build kBuilds[] = {{"Full", BELNOR_LIBRARY}, {"Lite", BELNOR_LITE_LIBRARY}};

void PrintTo(const Build &b, std::ostream *os) { *os << b.name; }

class ExitWithoutClose : public testing::TestWithParam<Build> {};

TEST_P(ExitWithoutClose, ReturnFromMainOnType1) {
  ExpectCleanRuns("exit", GetParam().library, "8899:1001/fps=60", 20);
}

TEST_P(ExitWithoutClose, ReturnFromMainOnType5) {
  ExpectCleanRuns("exit", GetParam().library, "8899:1003/fps=60", 20);
}

TEST_P(ExitWithoutClose, UnloadWhileStreaming) {
  ExpectCleanRuns("dlclose", GetParam().library, "8899:1001/fps=60", 5);
  ExpectCleanRuns("dlclose", GetParam().library, "8899:1003/fps=60", 5);
}

// Close, then unload the capture library, as scanbench's Close does: no
// thread of it or of libuvc may be left running. (The virtual scanner below
// stays mapped: its devices, and the threads drawing their scenes, live as
// long as the process.)
TEST_P(ExitWithoutClose, CloseAndUnloadAsScanbenchDoes) {
  ExpectCleanRuns("close-dlclose", GetParam().library, "8899:1003/fps=60", 5);
}

INSTANTIATE_TEST_SUITE_P(Builds, ExitWithoutClose, testing::ValuesIn(kBuilds),
                         [](const testing::TestParamInfo<Build> &i) { return i.param.name; });

}  // namespace
