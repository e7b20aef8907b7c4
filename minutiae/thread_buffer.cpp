#include "thread_buffer.h"

#include <pthread.h>

#include <atomic>
#include <new>

namespace minutiae {
namespace detail {

namespace {

using Slots = std::vector<std::unique_ptr<SlotBase>>;

// The key goes with the library (a host may unload it while its threads go
// on; their buffers are then left behind rather than freed by gone code).
class SlotKey {
 public:
  SlotKey() { ok_ = pthread_key_create(&key_, [](void *p) { delete static_cast<Slots *>(p); }) == 0; }
  ~SlotKey() {
    if (ok_) pthread_key_delete(key_);
  }
  SlotKey(const SlotKey &) = delete;
  SlotKey &operator=(const SlotKey &) = delete;
  bool ok_ = false;
  pthread_key_t key_{};
};

SlotKey g_slotKey;

}  // namespace

size_t newSlotIndex() {
  static std::atomic<size_t> next{0};
  return next++;
}

Slots &threadSlots() {
  if (!g_slotKey.ok_) throw std::bad_alloc();
  if (void *p = pthread_getspecific(g_slotKey.key_)) return *static_cast<Slots *>(p);
  auto slots = std::make_unique<Slots>();
  if (pthread_setspecific(g_slotKey.key_, slots.get()) != 0) throw std::bad_alloc();
  return *slots.release();
}

}  // namespace detail
}  // namespace minutiae
