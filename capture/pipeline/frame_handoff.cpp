#include "frame_handoff.h"

namespace belnor {

void FrameHandoff::Reset(size_t bytes) {
  producer_.assign(bytes, 0);
  std::lock_guard<std::mutex> lock(lock_);
  latest_.assign(bytes, 0);
  sequence_ = 0;
  taken_ = 0;
  stop_ = false;
}

void FrameHandoff::Release() {
  producer_ = {};
  std::lock_guard<std::mutex> lock(lock_);
  latest_ = {};
}

void FrameHandoff::Publish() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    latest_.swap(producer_);
    ++sequence_;
  }
  signal_.notify_one();
}

bool FrameHandoff::Take(std::vector<uint8_t>& frame, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(lock_);
  signal_.wait_for(lock, wait, [&] { return stop_ || sequence_ != taken_; });
  if (stop_ || sequence_ == taken_) return false;
  taken_ = sequence_;
  // The consumer's old buffer becomes a future conversion target.
  frame.swap(latest_);
  if (latest_.size() != frame.size()) latest_.assign(frame.size(), 0);
  return true;
}

void FrameHandoff::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    stop_ = true;
  }
  signal_.notify_all();
}

bool FrameHandoff::StopRequested() {
  std::lock_guard<std::mutex> lock(lock_);
  return stop_;
}

}  // namespace belnor
