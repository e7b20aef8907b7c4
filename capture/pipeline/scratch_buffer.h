// Growable working buffer of a caller-owned context: grows to the largest
// size asked for and is reused after that. Contents are indeterminate after
// a call to get; users fill what they read.
//
// Built on unique_ptr rather than std::vector so that no out-of-line
// standard-library template instance (which carries default visibility)
// lands in the shared library's export table.
#pragma once

#include <cstddef>
#include <memory>

namespace belnor {

template <class T>
class ScratchBuffer {
 public:
  T *get(size_t count) {
    if (count > capacity_) {
      data_.reset(new T[count]);
      capacity_ = count;
    }
    return data_.get();
  }

 private:
  std::unique_ptr<T[]> data_;
  size_t capacity_ = 0;
};

}  // namespace belnor
