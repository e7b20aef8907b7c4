// Working buffers that keep their capacity from call to call on each thread:
// an extraction allocates on a thread's first call (or its first larger
// image) and then never again. Each Tag names one buffer; a function that
// holds one must not call another function using the same Tag.
//
// The buffers hang off a POSIX thread key, not thread_local objects: glibc
// aborts the process when it cannot register a thread_local destructor, and
// a failed allocation here must stay a std::bad_alloc. They are freed when
// the thread ends.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

namespace minutiae {

namespace detail {

struct SlotBase {
  virtual ~SlotBase() = default;
};
template <typename T>
struct Slot : SlotBase {
  T value{};
};

// A number per Tag/T pair, the same on every thread.
size_t newSlotIndex();
// This thread's slots, created on first use. Throws std::bad_alloc.
std::vector<std::unique_ptr<SlotBase>> &threadSlots();

}  // namespace detail

// Throws std::bad_alloc (on a thread's first use only).
template <typename Tag, typename T>
T &threadObject() {
  static const size_t index = detail::newSlotIndex();
  std::vector<std::unique_ptr<detail::SlotBase>> &slots = detail::threadSlots();
  if (index < slots.size() && slots[index]) return static_cast<detail::Slot<T> &>(*slots[index]).value;
  if (slots.size() <= index) slots.resize(index + 1);
  auto slot = std::make_unique<detail::Slot<T>>();
  T &value = slot->value;
  slots[index] = std::move(slot);
  return value;
}

template <typename Tag, typename T>
std::vector<T> &threadBuffer() {
  return threadObject<Tag, std::vector<T>>();
}

}  // namespace minutiae
