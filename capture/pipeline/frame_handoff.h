// Hands converted frames from libuvc's callback thread to the worker: the
// producer converts into its own buffer and publishes it; the worker takes
// the newest frame into its buffer. A frame is taken at most once, and frames
// the worker had no time for are skipped, never processed twice.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace belnor {

class FrameHandoff {
 public:
  // Sizes the buffers; clears the stop request and the published frame.
  void Reset(size_t bytes);
  // Frees the buffers.
  void Release();

  // Producer side (one thread): the buffer to fill, then Publish.
  uint8_t* ProducerBuffer() { return producer_.empty() ? nullptr : producer_.data(); }
  size_t Bytes() const { return producer_.size(); }
  void Publish();

  // Consumer side (one thread): waits up to wait for a frame newer than the
  // last one taken and swaps it into frame. False on time-out or stop.
  bool Take(std::vector<uint8_t>& frame, std::chrono::milliseconds wait);

  void RequestStop();
  bool StopRequested();

 private:
  std::mutex lock_;
  std::condition_variable signal_;
  std::vector<uint8_t> latest_;  // guarded by lock_
  uint64_t sequence_ = 0;        // guarded by lock_
  bool stop_ = false;            // guarded by lock_
  std::vector<uint8_t> producer_;
  uint64_t taken_ = 0;  // consumer only
};

}  // namespace belnor
