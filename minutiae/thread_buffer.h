// Working buffers that keep their capacity from call to call on each thread:
// an extraction allocates on a thread's first call (or its first larger
// image) and then never again. Each Tag names one buffer; a function that
// holds one must not call another function using the same Tag.
#pragma once
#include <vector>

namespace minutiae {

template <typename Tag, typename T>
std::vector<T> &threadBuffer() {
  thread_local std::vector<T> buffer;
  return buffer;
}

// The same for any object that keeps its storage (summed-area tables, records).
template <typename Tag, typename T>
T &threadObject() {
  thread_local T object;
  return object;
}

}  // namespace minutiae
