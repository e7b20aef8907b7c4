// Runs a call with each of its allocations failing in turn.
#ifndef BELNOR_TESTS_FAIL_ALLOC_SWEEP_H
#define BELNOR_TESTS_FAIL_ALLOC_SWEEP_H

#include "fail_alloc.h"

// Calls fn() with the n-th allocation failing, n = 1, 2, ... until a call
// completes without reaching n, and returns that n (the number of failure
// points plus one). fn checks its own results each time. Gives up (returns
// -1) after max_points.
template <class Fn>
long SweepAllocFailures(Fn fn, int scope = FAIL_ALLOC_THIS_THREAD, long max_points = 100000) {
  for (long n = 1; n <= max_points; ++n) {
    fail_alloc_arm(n, scope);
    fn();
    const bool fired = fail_alloc_fired() != 0;
    fail_alloc_disarm();
    if (!fired) return n;
  }
  return -1;
}

#endif
