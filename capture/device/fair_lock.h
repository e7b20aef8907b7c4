// A mutex handed on in the order it was asked for. A thread that unlocks and
// locks again at once queues behind the threads already waiting, so a caller
// never waits longer than the holds queued before it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace belnor {

class FairLock {
 public:
  void lock();
  void unlock();

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  uint64_t nextTicket_ = 0;  // given to the next caller of lock
  uint64_t serving_ = 0;     // ticket of the holder
};

}  // namespace belnor
