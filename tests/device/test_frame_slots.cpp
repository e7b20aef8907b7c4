// Frame request slots, the callback-to-worker hand-over and the capture
// lock's hand-on.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>
#include <vector>

#include "fair_lock.h"
#include "frame_handoff.h"
#include "frame_request_slots.h"
#include "lock_queue.h"

using namespace belnor;
using namespace belnor_test;
using namespace std::chrono_literals;

namespace {

// Delivers frames of value `value` until stopped.
class Deliverer {
 public:
  Deliverer(FrameRequestSlots& slots, int width, int height, uint8_t value)
      : thread_([this, &slots, width, height, value] {
          std::vector<uint8_t> frame(static_cast<size_t>(width) * height, value);
          while (!stop_) {
            slots.Deliver(frame.data(), width, height);
            std::this_thread::sleep_for(1ms);
          }
        }) {}
  ~Deliverer() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(FrameRequestSlots, DeliveredFrameAndItsSize) {
  FrameRequestSlots slots;
  Deliverer deliverer(slots, 4, 3, 9);
  std::vector<uint8_t> buffer(12, 0);
  int w = 0, h = 0;
  EXPECT_EQ(0, slots.Request(buffer.data(), 12, &w, &h, 3000));
  EXPECT_EQ(std::vector<uint8_t>(12, 9), buffer);
  EXPECT_EQ(4, w);
  EXPECT_EQ(3, h);
}

TEST(FrameRequestSlots, TooSmallBufferGetsTheSizeAndIsNotWritten) {
  FrameRequestSlots slots;
  Deliverer deliverer(slots, 4, 3, 9);
  std::vector<uint8_t> buffer(12, 0);
  EXPECT_EQ(12, slots.Request(buffer.data(), 11, nullptr, nullptr, 3000));
  EXPECT_EQ(std::vector<uint8_t>(12, 0), buffer);
  EXPECT_EQ(12, slots.Request(buffer.data(), -5, nullptr, nullptr, 3000));
  EXPECT_EQ(0, slots.Request(buffer.data(), 12, nullptr, nullptr, 3000));
}

TEST(FrameRequestSlots, ConcurrentRequestsShareOneFrame) {
  FrameRequestSlots slots;
  std::vector<uint8_t> a(6, 0), b(6, 0);
  int ra = 1, rb = 1;
  std::thread ta([&] { ra = slots.Request(a.data(), 6, nullptr, nullptr, 3000); });
  std::thread tb([&] { rb = slots.Request(b.data(), 6, nullptr, nullptr, 3000); });
  while (slots.Waiting() < 2) std::this_thread::sleep_for(1ms);
  std::vector<uint8_t> frame = {1, 2, 3, 4, 5, 6};
  slots.Deliver(frame.data(), 3, 2);
  ta.join();
  tb.join();
  EXPECT_EQ(0, ra);
  EXPECT_EQ(0, rb);
  EXPECT_EQ(frame, a);
  EXPECT_EQ(frame, b);
}

TEST(FrameRequestSlots, CancelEndsTheWaitingAndEveryLaterRequest) {
  FrameRequestSlots slots;
  std::vector<uint8_t> buffer(6, 0);
  int result = 1;
  // An hour's wait: only the cancel can end it.
  std::thread waiter([&] { result = slots.Request(buffer.data(), 6, nullptr, nullptr, 3600000); });
  while (slots.Waiting() < 1) std::this_thread::sleep_for(1ms);
  slots.Cancel();
  waiter.join();
  EXPECT_EQ(kFrameTimeout, result);
  EXPECT_EQ(kFrameTimeout, slots.Request(buffer.data(), 6, nullptr, nullptr, 3600000));
  EXPECT_EQ(std::vector<uint8_t>(6, 0), buffer);
}

TEST(FrameRequestSlots, NinthRequestFindsNoSlot) {
  FrameRequestSlots slots;
  std::vector<std::vector<uint8_t>> buffers(kRequestSlots, std::vector<uint8_t>(4, 0));
  std::vector<int> results(kRequestSlots, 1);
  std::vector<std::thread> waiting;
  for (int i = 0; i < kRequestSlots; ++i)
    waiting.emplace_back(
        [&, i] { results[i] = slots.Request(buffers[i].data(), 4, nullptr, nullptr, 5000); });
  while (slots.Waiting() < kRequestSlots) std::this_thread::sleep_for(1ms);
  std::vector<uint8_t> ninth(4, 0);
  EXPECT_EQ(kNoFreeSlot, slots.Request(ninth.data(), 4, nullptr, nullptr, 5000));
  const std::vector<uint8_t> frame = {7, 7, 7, 7};
  slots.Deliver(frame.data(), 2, 2);
  for (std::thread& t : waiting) t.join();
  for (int i = 0; i < kRequestSlots; ++i) {
    EXPECT_EQ(0, results[i]);
    EXPECT_EQ(frame, buffers[i]);
  }
}

TEST(FrameRequestSlots, ExpiredRequestIsFreedAndNeverWrittenLater) {
  FrameRequestSlots slots;
  std::vector<uint8_t> buffer(4, 0);
  EXPECT_EQ(kFrameTimeout, slots.Request(buffer.data(), 4, nullptr, nullptr, 20));
  const std::vector<uint8_t> late = {5, 5, 5, 5};
  slots.Deliver(late.data(), 2, 2);
  EXPECT_EQ(std::vector<uint8_t>(4, 0), buffer);
  // No stale wake-up satisfies the next request.
  EXPECT_EQ(kFrameTimeout, slots.Request(buffer.data(), 4, nullptr, nullptr, 20));
  EXPECT_EQ(std::vector<uint8_t>(4, 0), buffer);
  // Null buffers only wait out the time.
  EXPECT_EQ(kFrameTimeout, slots.Request(nullptr, 4, nullptr, nullptr, 20));
}

TEST(FrameRequestSlots, TimeoutsRacingDeliveriesNeverWriteAFreedBuffer) {
  FrameRequestSlots slots;
  Deliverer deliverer(slots, 64, 64, 3);
  int delivered = 0, expired = 0;
  for (int i = 0; i < 400; ++i) {
    auto buffer = std::make_unique<std::vector<uint8_t>>(64 * 64, 0);
    const int r = slots.Request(buffer->data(), 64 * 64, nullptr, nullptr, 1);
    if (r == 0) {
      ++delivered;
      EXPECT_EQ(3, (*buffer)[64 * 64 - 1]);
    } else {
      ASSERT_EQ(kFrameTimeout, r);
      ++expired;
      // Whatever arrives later must not land here; the buffer dies now.
      EXPECT_EQ(0, (*buffer)[0]);
    }
  }
  EXPECT_EQ(400, delivered + expired);
}

TEST(FrameHandoff, NewestFrameIsTakenOnce) {
  FrameHandoff handoff;
  handoff.Reset(3);
  std::vector<uint8_t> work(3, 0);
  EXPECT_FALSE(handoff.Take(work, 5ms));
  for (uint8_t value : {1, 2}) {
    std::fill(handoff.ProducerBuffer(), handoff.ProducerBuffer() + 3, value);
    handoff.Publish();
  }
  ASSERT_TRUE(handoff.Take(work, 5ms));
  EXPECT_EQ(std::vector<uint8_t>(3, 2), work);
  // The backlog was one frame: nothing to process a second time.
  EXPECT_FALSE(handoff.Take(work, 5ms));
  EXPECT_EQ(3u, handoff.Bytes());
}

TEST(FrameHandoff, StopWakesTheConsumer) {
  FrameHandoff handoff;
  handoff.Reset(1);
  std::vector<uint8_t> work(1);
  std::thread stopper([&] {
    std::this_thread::sleep_for(20ms);
    handoff.RequestStop();
  });
  EXPECT_FALSE(handoff.Take(work, 10s));
  stopper.join();
  EXPECT_TRUE(handoff.StopRequested());
}

TEST(FrameHandoff, ProducerAndConsumerNeverShareABuffer) {
  FrameHandoff handoff;
  const size_t bytes = 4096;
  handoff.Reset(bytes);
  std::atomic<bool> done{false};
  std::atomic<int> taken{0};
  std::thread producer([&] {
    for (int frame = 1; frame <= 250; ++frame) {  // each value once
      uint8_t* target = handoff.ProducerBuffer();
      std::fill(target, target + bytes, static_cast<uint8_t>(frame));
      handoff.Publish();
      // The rest are published while the consumer takes, as in the library,
      // however late the consumer starts.
      const auto deadline = std::chrono::steady_clock::now() + 60s;
      while (taken == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    }
    done = true;
  });
  std::vector<uint8_t> work(bytes);
  int previous = 0;
  for (;;) {
    const bool finished = done.load();
    if (!handoff.Take(work, 1ms)) {
      if (finished) break;
      continue;
    }
    ++taken;
    // One whole frame, never torn, never older than the last one.
    for (size_t i = 1; i < bytes; ++i) ASSERT_EQ(work[0], work[i]);
    const int value = work[0];
    EXPECT_NE(previous, value);
    previous = value;
  }
  producer.join();
  EXPECT_GT(taken, 0);
}

// Several threads waiting whenever the lock is handed on: each unlock must
// reach the next ticket's holder, whichever waiter the wakeup finds first.
TEST(FairLock, HandsOnWithManyWaiters) {
  constexpr int kThreads = 6, kRounds = 5000;
  struct Shared {
    FairLock lock;
    long counter = 0;  // guarded by lock alone
    std::atomic<int> done{0};
  };
  // Left alive if the lock stalls: its waiters never return.
  auto *shared = new Shared;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([shared] {
      for (int i = 0; i < kRounds; ++i) {
        {
          std::lock_guard<FairLock> hold(shared->lock);
          ++shared->counter;
        }
        // Queues again behind the others, as a fetcher does.
        std::this_thread::yield();
      }
      ++shared->done;
    });
  const auto deadline = std::chrono::steady_clock::now() + 120s;
  while (shared->done < kThreads && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  if (shared->done < kThreads) {
    for (std::thread &t : threads) t.detach();
    FAIL() << "the lock stopped passing on";
  }
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(long(kThreads) * kRounds, shared->counter);
  delete shared;
}

std::atomic<int> g_Interruptions{0};
void CountInterruption(int) { ++g_Interruptions; }

// The kernel wakes a lock's waiters in the order their waits began, and a
// signal makes a waiter begin its wait again: here the first in line ends up
// queued behind the second, so the wakeup finds the second first. The lock
// must still reach the first.
TEST(FairLock, HandsOnToTheFirstInLineWhenItWaitsBehindTheSecond) {
  struct sigaction interrupt = {}, before = {};
  interrupt.sa_handler = CountInterruption;  // no SA_RESTART: the wait ends
  sigemptyset(&interrupt.sa_mask);
  ASSERT_EQ(0, sigaction(SIGUSR1, &interrupt, &before));
  struct Shared {
    FairLock lock;
    std::atomic<pid_t> tids[2] = {};
    std::atomic<int> done{0};
  };
  // Left alive if the lock stalls: its waiters never return.
  auto *shared = new Shared;
  shared->lock.lock();
  std::vector<std::thread> waiters;
  bool queued = true;
  for (int i = 0; i < 2 && queued; ++i) {
    waiters.emplace_back([shared, i] {
      shared->tids[i] = ThisThreadId();
      std::lock_guard<FairLock> hold(shared->lock);
      ++shared->done;
    });
    while (!shared->tids[i]) std::this_thread::yield();
    queued = AwaitQueuedOn(shared->lock, shared->tids[i]);
  }
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  if (queued) {
    pthread_kill(waiters[0].native_handle(), SIGUSR1);
    while (g_Interruptions == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    queued = g_Interruptions > 0 && AwaitQueuedOn(shared->lock, shared->tids[0]);
  }
  shared->lock.unlock();
  while (shared->done < int(waiters.size()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  sigaction(SIGUSR1, &before, nullptr);
  EXPECT_TRUE(queued) << "the waiters did not queue in order";
  if (shared->done < int(waiters.size())) {
    for (std::thread &t : waiters) t.detach();
    FAIL() << "the lock stopped passing on";
  }
  for (std::thread &t : waiters) t.join();
  delete shared;
}

}  // namespace
