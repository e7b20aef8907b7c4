// The injector itself: the chosen allocation fails, on the chosen threads, once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "fail_alloc_sweep.h"

namespace {

// Keeps the compiler from dropping an allocation whose result is unused.
void* volatile sink;

TEST(FailAlloc, TheChosenAllocationFailsOnceInEveryForm) {
  fail_alloc_arm(2, FAIL_ALLOC_THIS_THREAD);
  void* a = malloc(16);
  sink = a;
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(fail_alloc_fired(), 0);
  EXPECT_EQ(malloc(16), nullptr);
  EXPECT_EQ(fail_alloc_fired(), 1);
  void* c = malloc(16);
  sink = c;
  EXPECT_NE(c, nullptr);
  free(a);
  free(c);

  fail_alloc_arm(1, FAIL_ALLOC_THIS_THREAD);
  EXPECT_THROW(sink = new std::vector<int>(100), std::bad_alloc);
  fail_alloc_arm(1, FAIL_ALLOC_THIS_THREAD);
  EXPECT_EQ(new (std::nothrow) int[8], nullptr);
  fail_alloc_arm(1, FAIL_ALLOC_THIS_THREAD);
  EXPECT_EQ(calloc(4, 4), nullptr);
  fail_alloc_arm(1, FAIL_ALLOC_THIS_THREAD);
  void* big = nullptr;
  EXPECT_NE(posix_memalign(&big, 64, 128), 0);
  fail_alloc_disarm();

  sink = malloc(8);
  fail_alloc_arm(1, FAIL_ALLOC_THIS_THREAD);
  EXPECT_EQ(realloc(sink, 4096), nullptr);  // the old block stays valid
  fail_alloc_disarm();
  free(sink);
}

// Arms once the other thread has started and waits, so that starting it
// allocates nothing under the armed count; returns what the other thread's malloc gave.
void* MallocOnAnotherThreadWhileArmed(int scope) {
  std::atomic<int> ready{0}, go{0};
  void* got = nullptr;
  std::thread t([&] {
    ready.store(1);
    while (!go.load()) std::this_thread::yield();
    got = malloc(32);
  });
  while (!ready.load()) std::this_thread::yield();
  fail_alloc_arm(1, scope);
  go.store(1);
  t.join();
  return got;
}

TEST(FailAlloc, ScopeChoosesWhoseAllocationsCount) {
  void* other = MallocOnAnotherThreadWhileArmed(FAIL_ALLOC_THIS_THREAD);
  EXPECT_NE(other, nullptr);
  EXPECT_EQ(fail_alloc_fired(), 0);
  fail_alloc_disarm();
  free(other);

  EXPECT_EQ(MallocOnAnotherThreadWhileArmed(FAIL_ALLOC_ANY_THREAD), nullptr);
  EXPECT_EQ(fail_alloc_fired(), 1);
  fail_alloc_disarm();
}

TEST(FailAlloc, SweepVisitsEveryAllocationOfACall) {
  int failures = 0;
  long end = SweepAllocFailures([&] {
    try {
      std::vector<std::unique_ptr<std::string>> v;
      v.reserve(3);
      for (int i = 0; i < 3; ++i) v.push_back(std::make_unique<std::string>(40, 'x'));
    } catch (const std::bad_alloc&) {
      ++failures;
    }
  });
  // reserve, then one block per unique_ptr and one per long string
  EXPECT_EQ(end, 8);
  EXPECT_EQ(failures, 7);
}

}  // namespace
