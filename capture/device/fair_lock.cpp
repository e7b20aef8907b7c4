#include "fair_lock.h"

namespace belnor {

void FairLock::lock() {
  std::unique_lock<std::mutex> hold(mutex_);
  const uint64_t ticket = nextTicket_++;
  turn_.wait(hold, [&] { return serving_ == ticket; });
}

void FairLock::unlock() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    ++serving_;
  }
  // Only the next ticket goes on; the others wait again.
  turn_.notify_all();
}

}  // namespace belnor
