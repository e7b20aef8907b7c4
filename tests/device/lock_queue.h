// Whether a thread waits its turn at a FairLock, read from the kernel: a
// waiter holds its ticket and sleeps in a futex wait on the lock's condition
// variable (the mutex in front of it is held for a few instructions only).
// This orders threads through the lock without any hook in the lock.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "fair_lock.h"

namespace belnor_test {

inline pid_t ThisThreadId() { return pid_t(syscall(SYS_gettid)); }

inline bool QueuedOn(const belnor::FairLock& lock, pid_t tid) {
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  long number = -1;
  unsigned long address = 0;
  const int n = std::fscanf(f, "%ld %lx", &number, &address);
  std::fclose(f);
  const auto begin = reinterpret_cast<uintptr_t>(&lock);
  return n == 2 && number == SYS_futex && address >= begin + sizeof(std::mutex) &&
         address < begin + sizeof(belnor::FairLock);
}

// Waits up to a minute for tid to queue at lock.
inline bool AwaitQueuedOn(const belnor::FairLock& lock, pid_t tid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!QueuedOn(lock, tid)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace belnor_test
