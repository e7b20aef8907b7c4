// Running some of a test program's tests again in a fresh child process: for
// what only the first call of a process does (tables, pooled workspaces).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace testproc {

constexpr const char *kChildVariable = "BELNOR_FRESH_PROCESS_CHILD";

// True in the child that RunInFreshProcess started.
inline bool InFreshProcess() { return std::getenv(kChildVariable) != nullptr; }

// Runs this program with --gtest_filter=filter and standard output discarded;
// the child's exit status (0 when its tests passed), or -1 when it did not exit.
inline int RunInFreshProcess(const std::string &filter) {
  std::string arg = "--gtest_filter=" + filter;
  char *argv[] = {const_cast<char *>("/proc/self/exe"), arg.data(), nullptr};
  std::vector<std::string> env{std::string(kChildVariable) + "=1"};
  for (char **e = environ; *e; ++e) env.emplace_back(*e);
  std::vector<char *> envp;
  for (std::string &e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace testproc
