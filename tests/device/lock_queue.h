// Whether a thread sleeps in a futex wait on an object, read from the kernel:
// a FairLock waiter holds its ticket and sleeps on the lock's condition
// variable (the mutex in front of it is held for a few instructions only), a
// fetch waiting for its frame on its request slot's semaphore inside the
// device. This orders threads through the lock without any hook in the lock.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "fair_lock.h"

namespace belnor_test {

inline pid_t ThisThreadId() { return pid_t(syscall(SYS_gettid)); }

// The system call tid sleeps in, and its first argument; false while it runs.
inline bool SleepingCall(pid_t tid, long* number, unsigned long* first) {
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  const int n = std::fscanf(f, "%ld %lx", number, first);
  std::fclose(f);
  return n == 2;
}

// Whether tid sleeps in a futex wait on a word in [begin, begin + size).
inline bool FutexWaitWithin(const void* begin, size_t size, pid_t tid) {
  long number = -1;
  unsigned long address = 0;
  const auto from = reinterpret_cast<uintptr_t>(begin);
  return SleepingCall(tid, &number, &address) && number == SYS_futex && address >= from &&
         address < from + size;
}

inline bool QueuedOn(const belnor::FairLock& lock, pid_t tid) {
  return FutexWaitWithin(reinterpret_cast<const char*>(&lock) + sizeof(std::mutex),
                         sizeof(belnor::FairLock) - sizeof(std::mutex), tid);
}

// Waits up to a minute for waiting() to hold.
template <class Waiting>
bool AwaitWithinAMinute(Waiting waiting) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!waiting()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits up to a minute for tid to queue at lock.
inline bool AwaitQueuedOn(const belnor::FairLock& lock, pid_t tid) {
  return AwaitWithinAMinute([&] { return QueuedOn(lock, tid); });
}

}  // namespace belnor_test
