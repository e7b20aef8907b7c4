#include "frame_request_slots.h"

#include <time.h>

#include <cerrno>
#include <cstring>

#include "tick.h"

namespace belnor {

namespace {

constexpr int kSlotSearchPasses = 300;

timespec DeadlineAfter(int ms) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return deadline;
}

}  // namespace

FrameRequestSlots::FrameRequestSlots() {
  for (FrameRequestSlot& slot : slots_) sem_init(&slot.done, 0, 0);
}

FrameRequestSlots::~FrameRequestSlots() {
  for (FrameRequestSlot& slot : slots_) sem_destroy(&slot.done);
}

int FrameRequestSlots::Request(uint8_t* buffer, int capacity, int* width, int* height,
                               int waitMs) {
  FrameRequestSlot* slot = nullptr;
  for (int pass = 0; pass < kSlotSearchPasses && !slot; ++pass) {
    for (FrameRequestSlot& candidate : slots_) {
      int expected = FrameRequestSlot::kFree;
      if (candidate.state.compare_exchange_strong(expected, FrameRequestSlot::kReserved,
                                                  std::memory_order_acq_rel)) {
        slot = &candidate;
        break;
      }
    }
    if (!slot) SleepMs(1);
  }
  if (!slot) return kNoFreeSlot;

  slot->buffer = buffer;
  slot->capacity = capacity < 0 ? 0 : capacity;
  if (buffer) slot->state.store(FrameRequestSlot::kWaiting);
  // Read after parking: a Cancel either sees this request or is seen here.
  const timespec deadline = DeadlineAfter(cancelled_.load() ? 0 : waitMs);
  bool woken = false;
  for (;;) {
    if (sem_clockwait(&slot->done, CLOCK_MONOTONIC, &deadline) == 0) {
      woken = true;
      break;
    }
    if (errno != EINTR) break;
  }
  if (!woken) {
    if (!buffer) {
      slot->state.store(FrameRequestSlot::kFree, std::memory_order_release);
      return kFrameTimeout;
    }
    int expected = FrameRequestSlot::kWaiting;
    if (slot->state.compare_exchange_strong(expected, FrameRequestSlot::kFree,
                                            std::memory_order_acq_rel))
      return kFrameTimeout;
    // The worker took the request just now; its post is on the way.
    while (sem_wait(&slot->done) != 0 && errno == EINTR) {
    }
  }
  // The post follows the release of kDelivered; this load orders the copy.
  while (slot->state.load(std::memory_order_acquire) != FrameRequestSlot::kDelivered) {
  }
  const int outWidth = slot->width;
  const int outHeight = slot->height;
  const bool copied = slot->copied;
  const bool cancelled = slot->cancelled;
  slot->cancelled = false;
  slot->state.store(FrameRequestSlot::kFree, std::memory_order_release);
  if (cancelled) return kFrameTimeout;
  if (width) *width = outWidth;
  if (height) *height = outHeight;
  return copied ? 0 : outWidth * outHeight;
}

void FrameRequestSlots::Deliver(const uint8_t* source, int width, int height) {
  const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (FrameRequestSlot& slot : slots_) {
    int expected = FrameRequestSlot::kWaiting;
    if (!slot.state.compare_exchange_strong(expected, FrameRequestSlot::kFilling,
                                            std::memory_order_acq_rel))
      continue;
    slot.width = width;
    slot.height = height;
    slot.copied = size <= static_cast<size_t>(slot.capacity);
    if (slot.copied && size) std::memcpy(slot.buffer, source, size);
    slot.state.store(FrameRequestSlot::kDelivered, std::memory_order_release);
    sem_post(&slot.done);
  }
}

void FrameRequestSlots::Cancel() {
  cancelled_.store(true);
  for (FrameRequestSlot& slot : slots_) {
    int expected = FrameRequestSlot::kWaiting;
    if (!slot.state.compare_exchange_strong(expected, FrameRequestSlot::kFilling)) continue;
    slot.cancelled = true;
    slot.state.store(FrameRequestSlot::kDelivered, std::memory_order_release);
    sem_post(&slot.done);
  }
}

int FrameRequestSlots::Waiting() const {
  int waiting = 0;
  for (const FrameRequestSlot& slot : slots_)
    if (slot.state.load(std::memory_order_relaxed) == FrameRequestSlot::kWaiting) ++waiting;
  return waiting;
}

}  // namespace belnor
