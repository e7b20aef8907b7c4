// A matcher B search state over two point sets with grids, lists and point
// groups built, as the search has it before pairing.
#pragma once

#include <gtest/gtest.h>

#include "match_tables.h"
#include "matcher_b_records.h"

namespace fplibtest {

struct SearchState {
  fplib::PointSetB a, b;
  fplib::MatcherBSearch s;
  SearchState(const fplib::PointSetB &first, const fplib::PointSetB &second) : a(first), b(second) {
    EXPECT_TRUE(fplib::EnsureMatchTables());
    EXPECT_TRUE(fplib::createMatcherBContext(s.first, true));
    EXPECT_TRUE(fplib::createMatcherBContext(s.second, false));
    s.first.points = &a;
    s.second.points = &b;
    s.candidates.assign(fplib::kMaxPointsB, fplib::PairCandidatesB());
    fplib::prepareMatcherBContext(s.first);
    fplib::buildPairGridB(b, s.second.grid, s.second.pairLists);
  }
};

inline fplib::PointSetB Set(std::initializer_list<fplib::PointB> pts) {
  fplib::PointSetB ps;
  for (const auto &p : pts) ps.points[ps.count++] = p;
  return ps;
}

}  // namespace fplibtest
