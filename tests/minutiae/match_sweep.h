// A match call under the allocation-failure sweep, its results recorded in
// storage reserved beforehand (the recording itself must not allocate).
#pragma once

#include <vector>

#include "fail_alloc_sweep.h"

namespace testproc {

struct SweptMatches {
  long points = 0;  // as SweepAllocFailures returns it
  std::vector<int> results;
  std::vector<float> scores;
};

// match(float *score) -> result, called once per failure point and once more.
template <class Match>
SweptMatches SweepMatch(Match match) {
  SweptMatches out;
  out.results.reserve(100000);
  out.scores.reserve(100000);
  out.points = SweepAllocFailures([&] {
    float s = -1;
    out.results.push_back(match(&s));
    out.scores.push_back(s);
  });
  return out;
}

}  // namespace testproc
