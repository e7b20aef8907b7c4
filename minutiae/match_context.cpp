// Template contexts, pair descriptors, candidate search, neighbourhood vote
// and the choice of correspondences.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "int_geometry.h"
#include "matcher.h"

namespace minutiae {

namespace {

constexpr uint64_t kNoNeighbour = ~uint64_t(0);

}  // namespace

// Capture library: pairs 256..32400, octants 256..12099, score > 145,
// octant lengths within 15; weak sets return early; refinement only for
// t > 184 and 500 < M < 800; size penalties; re-score 330 <= S <= 660.
const MatchProfile kCaptureMatch{intSqrt, segmentDirection, 256, 32400, 256, 12099, 145, 15, true,
                                 false, 500, 800, true, 330, 661, false, false};

void buildPairTable(SetContext &ctx) {
  if (ctx.distance2.size() != 120 * 120) ctx.distance2.assign(120 * 120, 0);
  if (ctx.cells.size() != 120 * 120) ctx.cells.assign(120 * 120, PairCell{});
  const int n = ctx.count;
  const MatchProfile &p = *ctx.profile;
  ctx.sectorSlots.assign(size_t(n) * 9, kNoNeighbour);
  ctx.octantSlots.assign(size_t(n) * 8, kNoNeighbour);
  uint64_t *sector = ctx.sectorSlots.data(), *octant = ctx.octantSlots.data();
  const Minutia *m = ctx.record->minutiae;
  for (int i = 0; i < n; ++i) {
    ctx.distance2[size_t(i) * 121] = 0;
    ctx.cells[size_t(i) * 121] = {uint16_t(p.length(0)), 0, 0};
  }
  int32_t dx[kMaxMinutiae], dy[kMaxMinutiae], d2[kMaxMinutiae];
  uint16_t len[kMaxMinutiae];
  uint8_t dir[kMaxMinutiae];
  for (int i = 0; i + 1 < n; ++i) {
    const int count = n - i - 1;
    const Minutia *rest = m + i + 1;
    for (int k = 0; k < count; ++k) {
      dx[k] = rest[k].x - m[i].x;
      dy[k] = rest[k].y - m[i].y;
    }
    if (p.geometry) {
      p.geometry(dx, dy, count, d2, len, dir);
    } else {
      for (int k = 0; k < count; ++k) {
        d2[k] = dx[k] * dx[k] + dy[k] * dy[k];
        // A length fits 16 bits for any squared distance an int holds.
        len[k] = uint16_t(p.length(d2[k]));
        dir[k] = uint8_t(p.direction(dx[k], dy[k]));
      }
    }
    int32_t *d2row = &ctx.distance2[size_t(i) * 120];
    PairCell *row = &ctx.cells[size_t(i) * 120];
    // Only neighbours within the pair range can fill a slot: listed here
    // without a branch, visited below.
    uint8_t inRange[kMaxMinutiae];
    int ranged = 0;
    for (int k = 0; k < count; ++k) {
      const int j = i + 1 + k;
      const uint8_t forth = uint8_t(dir[k] - m[i].angle), back = uint8_t(dir[k] - m[j].angle - 128);
      d2row[j] = ctx.distance2[size_t(j) * 120 + i] = d2[k];
      row[j] = {len[k], forth, back};
      ctx.cells[size_t(j) * 120 + i] = {len[k], back, forth};
      inRange[ranged] = uint8_t(k);
      ranged += (d2[k] >= p.pairMinD2) & (d2[k] <= p.pairMaxD2);
    }
    // Each sector and octant slot keeps the least (squared distance,
    // neighbour): the nearest, the lower index on a tie. All ones where out
    // of the octant range, so no branch on the geometry.
    uint64_t *secI = sector + size_t(i) * 9, *octI = octant + size_t(i) * 8;
    for (int r = 0; r < ranged; ++r) {
      const int k = inRange[r], j = i + 1 + k, d = d2[k];
      const uint8_t forth = row[j].rel, back = row[j].relBack;
      const uint64_t octantMask = uint64_t((d >= p.octantMinD2) & (d <= p.octantMaxD2)) - 1;
      const uint64_t base = uint64_t(uint32_t(d)) << 8;
      const uint64_t toJ = base | uint64_t(j), toI = base | uint64_t(i);
      uint64_t &si = secI[(forth * 9) >> 8], &oi = octI[forth >> 5];
      si = std::min(si, toJ);
      oi = std::min(oi, toJ | octantMask);
      uint64_t &sj = sector[size_t(j) * 9 + ((back * 9) >> 8)], &oj = octant[size_t(j) * 8 + (back >> 5)];
      sj = std::min(sj, toI);
      oj = std::min(oj, toI | octantMask);
    }
  }
}

int buildNeighbourPairs(SetContext &ctx, bool indexed) {
  const int n = ctx.count;
  std::vector<uint64_t> &sector = ctx.sectorSlots, &octant = ctx.octantSlots;
  ctx.pairs.clear();
  int pairs = 0;
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < 9 && pairs < kMaxPairs; ++k) {
      const uint64_t s = sector[size_t(j) * 9 + k];
      if (s == kNoNeighbour) continue;
      const int c = int(s & 255);
      uint64_t &back = sector[size_t(c) * 9 + ((ctx.Rel(c, j) * 9) >> 8)];
      if (back != kNoNeighbour && int(back & 255) == j) back = kNoNeighbour;
      const int16_t len = int16_t(ctx.Len(j, c));
      ctx.pairs.push_back({int16_t(j), int16_t(c), len, ctx.Rel(j, c), ctx.Rel(c, j)});
      if (indexed) ctx.pairs.push_back({int16_t(c), int16_t(j), len, ctx.Rel(c, j), ctx.Rel(j, c)});
      ++pairs;
    }
  ctx.octants.assign(size_t(n), OctantLanes{});
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < 8; ++k) {
      const uint64_t s = octant[size_t(j) * 8 + k];
      if (s == kNoNeighbour) continue;
      const int nb = int(s & 255);
      OctantLanes &o = ctx.octants[size_t(j)];
      o.angleNear[k] = ctx.Rel(j, nb);
      o.angleFar[k] = ctx.Rel(nb, j);
      o.length[k] = int16_t(ctx.Len(j, nb));
    }
  return pairs;
}

void fillBucketIndex(SetContext &a) {
  for (auto &b : a.buckets) b.clear();
  const Minutia *m = a.record->minutiae;
  for (size_t i = 0; i < a.pairs.size(); ++i) {
    const PairDescriptor &d = a.pairs[i];
    const BucketEntry e{d.length, d.angleNear, d.angleFar, int16_t(i), m[d.farIdx].type};
    const int r1 = ((d.angleNear - 12) & 255) >> 5, r2 = ((d.angleNear + 12) & 255) >> 5;
    const int c1 = ((d.angleFar - 12) & 255) >> 5, c2 = ((d.angleFar + 12) & 255) >> 5;
    a.buckets[r1 * 8 + c1].push_back(e);
    if (r2 != r1) a.buckets[r2 * 8 + c1].push_back(e);
    if (c2 != c1) a.buckets[r1 * 8 + c2].push_back(e);
    if (r2 != r1 && c2 != c1) a.buckets[r2 * 8 + c2].push_back(e);
  }
  // By length, so that a search reads only the entries within 15 of its own.
  for (auto &b : a.buckets)
    std::sort(b.begin(), b.end(), [](const BucketEntry &x, const BucketEntry &y) {
      return x.length != y.length ? x.length < y.length : x.desc < y.desc;
    });
}

int buildTemplateContext(SetContext &ctx, const MinutiaeRecord &rec, bool indexed) {
  ctx.record = &rec;
  ctx.count = std::min<int>(rec.count, kMaxMinutiae);
  buildPairTable(ctx);
  if (ctx.count < 2) return 0;
  const int pairs = buildNeighbourPairs(ctx, indexed);
  if (indexed) fillBucketIndex(ctx);
  return indexed ? 2 * pairs : pairs;
}

namespace {

// The first entry not shorter than length; a search without data-dependent branches.
const BucketEntry *FirstNotShorter(const BucketEntry *base, size_t n, int length) {
  if (n == 0) return base;
  while (n > 1) {
    const size_t half = n / 2;
    base = base[half].length < length ? base + half : base;
    n -= half;
  }
  return base + (base->length < length);
}

}  // namespace

int matchPairDescriptors(const SetContext &a, const SetContext &b, VoteState &v) {
  v.candidates.clear();
  if (b.pairs.empty()) return 0;
  if (v.found.size() < size_t(kMaxFoundCandidates)) v.found.resize(size_t(kMaxFoundCandidates));
  MatchCandidate *found = v.found.data();
  int count = 0;
  const Minutia *mb = b.record->minutiae;
  for (size_t qi = 0; qi < b.pairs.size(); ++qi) {
    const PairDescriptor &q = b.pairs[qi];
    const int qn = mb[q.nearIdx].type, qf = mb[q.farIdx].type;
    const std::vector<BucketEntry> &bucket = a.buckets[(q.angleNear / 32) * 8 + q.angleFar / 32];
    const BucketEntry *end = bucket.data() + bucket.size();
    const int first = count;
    // Every entry within 15 in length is scored and written; those that
    // pass advance the count.
    for (const BucketEntry *s = FirstNotShorter(bucket.data(), bucket.size(), q.length - 15);
         s != end && s->length <= q.length + 15; ++s) {
      const int dl = std::abs(s->length - q.length);
      const int d1 = Signed8(q.angleNear - s->angleNear), d2 = Signed8(q.angleFar - s->angleFar);
      const int plain = 1155 - 44 * dl - 30 * (std::abs(d1) + std::abs(d2));
      const bool pass = (std::abs(d1) <= 12) & (std::abs(d2) <= 12) & (plain > a.profile->acceptScore);
      const int same = (s->farType == qn) + (s->farType == qf);
      const int score = same == 2 ? (plain * 1229 + 512) >> 10 : same == 0 ? (plain * 853 + 512) >> 10 : plain;
      const int e = std::abs(d1 - d2);
      const int slowed = ((35 - e) * score) >> 5, keep = -int(e < 4);  // keep: all ones or none
      const int turn = (score & keep) | (slowed & ~keep);
      found[count] = {s->desc, int(qi), score, turn};
      count += pass;
    }
    // The order of the candidates matters only for which are kept at the
    // cap: those first in descriptor order, as the buckets were filled.
    if (count > kMaxMatchCandidates) {
      for (int i = first + 1; i < count; ++i)
        for (int k = i; k > first && found[k - 1].aDesc > found[k].aDesc; --k) std::swap(found[k - 1], found[k]);
      count = kMaxMatchCandidates;
    }
    // At the cap no later query can add a candidate.
    if (count == kMaxMatchCandidates) break;
  }
  v.candidates.assign(found, found + count);
  for (const MatchCandidate &c : v.candidates) {
    const PairDescriptor &s = a.pairs[size_t(c.aDesc)], &q = b.pairs[size_t(c.bDesc)];
    v.Vote(q.nearIdx, s.nearIdx) += c.score;
    v.Vote(q.farIdx, s.farIdx) += c.score;
  }
  return int(v.candidates.size());
}

int64_t voteAlignments(const SetContext &b, const SetContext &a, VoteState &v) {
  // Support is written for every voted cell and read only there.
  for (auto &s : v.support)
    if (s.size() != 120 * 120) s.assign(120 * 120, 0.0f);
  uint8_t cols[kMaxMinutiae];
  OctantAgreement agree[kMaxMinutiae];
  v.voted.clear();
  for (int bi = 0; bi < b.count; ++bi) {
    const int32_t *row = &v.votes[size_t(bi) * 120];
    int count = 0;
    for (int ai = 0; ai < a.count; ++ai) {
      cols[count] = uint8_t(ai);
      count += row[ai] != 0;
    }
    octantAgreements(b.octants[size_t(bi)], a.octants.data(), cols, count, a.profile->octantLengthDiff, agree);
    for (int i = 0; i < count; ++i) {
      v.voted.push_back({uint8_t(bi), cols[i]});
      const size_t cell = size_t(bi) * 120 + cols[i];
      const int total = agree[i].total;
      const float fs = float(agree[i].sum);
      v.support[0][cell] = total > 0 ? fs / float(390 * total) : 0.0f;
      v.support[1][cell] = total > 0 ? std::sqrt(fs * fs / (950625.0f * float(total))) : 0.0f;
    }
  }
  clearVoteCells(v.votes, b.count, a.count);
  clearVoteCells(v.weightedVotes, b.count, a.count);
  int64_t result = 0;
  for (const MatchCandidate &c : v.candidates) {
    const PairDescriptor &s = a.pairs[size_t(c.aDesc)], &q = b.pairs[size_t(c.bDesc)];
    const int w1 = int(std::floor(float(c.score) * (v.Support(1, q.nearIdx, s.nearIdx) + v.Support(1, q.farIdx, s.farIdx))));
    const int w2 = int(std::floor(float(c.turnScore) * (v.Support(0, q.nearIdx, s.nearIdx) + v.Support(0, q.farIdx, s.farIdx))));
    v.Vote(q.nearIdx, s.nearIdx) += w1;
    v.Vote(q.farIdx, s.farIdx) += w1;
    v.Weighted(q.nearIdx, s.nearIdx) += w2;
    v.Weighted(q.farIdx, s.farIdx) += w2;
    result += w2;
  }
  return result;
}

int collectCorrespondences(const SetContext &a, const SetContext &b, VoteState &v,
                           std::vector<Correspondence> &list) {
  struct TopTwoVotes {
    int idx[2] = {-1, -1};
    int val[2] = {0, 0};
    void Offer(int i, int value) {
      if (idx[0] < 0 || value > val[0]) {
        idx[1] = idx[0];
        val[1] = val[0];
        idx[0] = i;
        val[0] = value;
      } else if (idx[1] < 0 || value > val[1]) {
        idx[1] = i;
        val[1] = value;
      }
    }
  };
  TopTwoVotes cols[kMaxMinutiae], rows[kMaxMinutiae];
  for (const VotedCell cell : v.voted) {
    const int value = v.Vote(cell.b, cell.a);
    if (value == 0) continue;
    cols[cell.a].Offer(cell.b, value);
    rows[cell.b].Offer(cell.a, value);
  }
  // At most two per row and two per column.
  Correspondence *raw = v.raw;
  int rawCount = 0;
  int uses[kMaxMinutiae] = {};
  for (int bi = 0; bi < b.count; ++bi)
    for (int k = 0; k < 2; ++k) {
      const int ai = rows[bi].idx[k];
      if (ai < 0) continue;
      if (rows[bi].val[k] < 270) break;
      TopTwoVotes &col = cols[ai];
      for (int r = 0; r < 2; ++r)
        if (col.idx[r] == bi) {
          col.idx[r] = -2;  // removed
          ++uses[ai];
        }
      raw[rawCount++] = {int16_t(bi), int16_t(ai), v.Weighted(bi, ai)};
    }
  for (int ai = 0; ai < a.count; ++ai)
    for (int k = 0; k < 2; ++k) {
      if (uses[ai] > 1) break;
      const int bi = cols[ai].idx[k];
      if (bi < 0) continue;
      if (cols[ai].val[k] < 270) break;
      raw[rawCount++] = {int16_t(bi), int16_t(ai), v.Weighted(bi, ai)};
      ++uses[ai];
    }
  // Those with a weight, by row of B, in the order found within a row.
  int next[kMaxMinutiae + 1] = {};
  for (int k = 0; k < rawCount; ++k) next[raw[k].b + 1] += raw[k].weight != 0;
  for (int bi = 0; bi < b.count; ++bi) next[bi + 1] += next[bi];
  list.resize(size_t(next[b.count]));
  for (int k = 0; k < rawCount; ++k)
    if (raw[k].weight != 0) list[size_t(next[raw[k].b]++)] = raw[k];
  if (int(list.size()) > kMaxCorrespondences) list.resize(kMaxCorrespondences);
  return int(list.size());
}

}  // namespace minutiae
