// The eight frame request slots: host threads park a buffer and wait, the
// worker copies each processed frame into every waiting buffer that can hold
// it. A slot's state changes atomically (free, reserved, waiting, filling,
// delivered), so a request that timed out is never written afterwards and a
// late delivery never satisfies the next request.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cstdint>

namespace belnor {

// Request results besides 0 (delivered) and a positive size (too small).
constexpr int kNoFreeSlot = -6;
constexpr int kFrameTimeout = -7;
constexpr int kRequestSlots = 8;

struct FrameRequestSlot {
  enum State : int { kFree, kReserved, kWaiting, kFilling, kDelivered };
  std::atomic<int> state{kFree};
  sem_t done;
  uint8_t* buffer = nullptr;
  int capacity = 0;
  int width = 0;  // processed frame offered to the request
  int height = 0;
  bool copied = false;
  bool cancelled = false;  // ended by Cancel, not by a frame
};

class FrameRequestSlots {
 public:
  FrameRequestSlots();
  ~FrameRequestSlots();
  FrameRequestSlots(const FrameRequestSlots&) = delete;
  FrameRequestSlots& operator=(const FrameRequestSlots&) = delete;

  // Parks buffer and waits up to waitMs for the next frame. 0 when copied,
  // the frame's byte size when capacity is smaller (nothing written), -6 when
  // no slot came free within about 300 ms, -7 on time-out. A null buffer only
  // waits out the time. The optional outputs give the offered frame's size.
  int Request(uint8_t* buffer, int capacity, int* width, int* height, int waitMs);

  // Copies width x height bytes into every waiting request that can hold them
  // and wakes the requests.
  void Deliver(const uint8_t* source, int width, int height);

  // Requests parked and waiting for a frame now.
  int Waiting() const;

  // Ends every waiting request, and every later one at once, with -7: the
  // device is about to close.
  void Cancel();

 private:
  FrameRequestSlot slots_[kRequestSlots];
  std::atomic<bool> cancelled_{false};
};

}  // namespace belnor
