// Walking a cumulative sampling distribution: for increasing u in [0, 1),
// the first index j at or after the previous answer with cdf[j] > u. The cdf
// is non-decreasing and ends in exactly 1.0, so the answer is the one the
// plain forward walk (`while (cdf[j] <= u) j++`) stops at; these functions
// only get there in fewer steps.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The first j >= i with cdf[j] > u, for u < 1. Galloping and then bisecting
// costs O(log distance) instead of O(distance), which matters when a pass
// draws a few hundred samples from tens of thousands of vertices.
inline size_t advance_to_sample(const std::vector<float>& cdf, size_t i, float u) {
  if (cdf[i] > u) return i;
  const size_t last = cdf.size() - 1;
  size_t lo = i, step = 1, hi = i + 1;  // invariant: cdf[lo] <= u
  while (hi < last && cdf[hi] <= u) {
    lo = hi;
    step *= 2;
    hi = lo + step;
  }
  if (hi > last) hi = last;  // cdf[last] = 1.0 > u
  return size_t(std::upper_bound(cdf.begin() + ptrdiff_t(lo) + 1, cdf.begin() + ptrdiff_t(hi) + 1, u) -
                cdf.begin());
}

// A guide to a cdf of n entries: guide[b] is the first j with
// cdf[j] * n > b (about: the first j with cdf[j] > b / n, up to rounding,
// which the walk tolerates), or n - 1 when there is none. A walk that looks
// up its u's bucket lands on or just before the answer instead of
// galloping towards it.
//
// That first j is the number of entries that reach no further than bucket
// b (for a cdf that does not decrease): the guide is a histogram of how many
// buckets each entry's value reaches, summed up. The histogram's additions
// wait on each other where consecutive entries share a bucket (most do), so
// a cdf that does not decrease takes another road: the entries' reaches then
// do not decrease either, the last entry reaching bucket b is the count of
// entries reaching no further than b, and the guide is the running maximum
// of those counts. Plain stores and a running maximum, no waiting; any other
// cdf (a NaN within it) gets the histogram. Rebuilt at every distribution
// refresh.
namespace cdf_guide_detail {

// Buckets b with b < cdf[j] * n: ceil of that, within [0, n] (NaN: 0).
inline size_t reached_buckets(float value, float scale) {
  float reach = value * scale;
  reach = reach > 0.0f ? reach : 0.0f;
  reach = reach < scale ? reach : scale;
  // Signed 64-bit conversions: one instruction each, where size_t's take several.
  const int64_t whole = int64_t(reach);
  return size_t(whole + int64_t(float(whole) < reach));
}

}  // namespace cdf_guide_detail

inline void build_cdf_guide(const std::vector<float>& cdf, std::vector<int32_t>& guide) {
  using cdf_guide_detail::reached_buckets;
  const size_t n = cdf.size();
  const float scale = float(n);
  // Entry j + 1 at the bucket each entry reaches (bucket n: reaches them all).
  guide.assign(n + 1, 0);
  size_t previous = 0;
  bool ordered = true;
  for (size_t j = 0; j < n; j++) {
    const size_t reached = reached_buckets(cdf[j], scale);
    ordered &= reached >= previous;
    previous = reached;
    guide[reached] = int32_t(j + 1);
  }
  guide.resize(n);
  if (n == 0) return;
  if (!ordered) {
    guide.assign(n, 0);
    for (size_t j = 0; j < n; j++) {
      const size_t reached = reached_buckets(cdf[j], scale);
      guide[reached < n ? reached : n - 1] += int32_t(reached < n);
    }
    int64_t passed = 0;
    for (size_t b = 0; b < n; b++) {
      passed += guide[b];
      guide[b] = int32_t(passed < int64_t(n - 1) ? passed : int64_t(n - 1));
    }
    return;
  }
  int32_t passed = 0;
  const int32_t last = int32_t(n - 1);
  for (size_t b = 0; b < n; b++) {
    passed = guide[b] > passed ? guide[b] : passed;
    guide[b] = passed < last ? passed : last;
  }
}

// advance_to_sample(cdf, i, u) for the walk's next u (i the answer for the
// previous, smaller u). Every cdf value before i is <= u, so the answer is
// the first j of the whole array with cdf[j] > u; the walk starts from the
// guide's entry for u when every cdf value before that entry is <= u too,
// else from i. The guide is only a hint: for a non-decreasing cdf, a
// missing, stale or foreign one costs speed, never a different index.
//
// The guided start is taken by a branch that is nearly always taken rather
// than by a select: a select would make each draw's reads wait for the
// previous draw's answer, while the branch leaves consecutive draws
// independent, so the processor overlaps their memory reads.
inline size_t next_sample(const std::vector<float>& cdf, const std::vector<int32_t>& guide, size_t i,
                          float u) {
  const size_t n = cdf.size();
  if (__builtin_expect(guide.size() == n, 1)) {
    const size_t b = size_t(u * float(n));
    size_t h = b < n ? size_t(guide[b]) : n;
    if (__builtin_expect(h < n && (h == 0 || cdf[h - 1] <= u), 1)) {
      // The answer is most often the guide's entry or one of the next two:
      // stepping over them without branches saves mispredictions (a draw's
      // bucket says little about which of them it is). cdf[last] = 1.0 > u
      // stops the steps at the last entry at the latest.
      if (h + 2 < n) {
        h += size_t(cdf[h] <= u);
        h += size_t(cdf[h] <= u);
      }
      return advance_to_sample(cdf, h, u);
    }
  }
  return advance_to_sample(cdf, i, u);
}

// A filter on the draws of a walk whose samples a mask may reject: one byte
// per guide bucket, 0 when no vertex a draw falling in that bucket can pick
// is kept by the mask. Such a draw is rejected without walking the cdf; the
// others walk as before, so the picks are exactly those of the plain walk.
//
// Why the bucket's window is safe: a draw u lies in bucket b = floor(u * n)
// (n as a float, as next_sample computes it). Every j before guide[b - 1]
// has cdf[j] * n <= b - 1 < u * n once rounded, and rounding is monotone,
// so cdf[j] <= u: the pick is at or after guide[b - 1]. The entry
// guide[b + 1] has cdf * n > b + 1 > u * n once rounded, so cdf > u there:
// the pick is at or before it (or at the last entry, where the guide is
// clamped). Only the mask's vertices in that window matter.
//
// A draw has a bucket: for u < 1, u * float(n) rounds to a float below n
// (u is at most 1 - 2^-24, which takes the product at least one step below
// float(n), and float(n) is the float nearest to n), so floor(u * n) < n
// for any n, also beyond 2^24 where float(n) may exceed n.
struct SampleFilter {
  std::vector<int32_t> kept_before;  // n + 1 entries: mask's vertices among 0 .. j-1; empty: no filter
  std::vector<uint64_t> kept_bits;   // the mask itself, one bit per vertex (small enough to stay cached)
  std::vector<uint8_t> may_keep;     // per bucket of the guide it was built over

  // Counts the mask's vertices (keep(j) for j < n) and drops any buckets.
  template <typename Keep>
  void set_mask(size_t n, const Keep& keep) {
    kept_before.assign(n + 1, 0);
    kept_bits.assign((n + 63) / 64, 0);
    for (size_t j = 0; j < n; j++) {
      const bool kept = keep(j);
      kept_before[j + 1] = kept_before[j] + int32_t(kept ? 1 : 0);
      kept_bits[j / 64] |= uint64_t(kept ? 1 : 0) << (j % 64);
    }
    may_keep.clear();
  }
  void clear() {
    std::vector<int32_t>().swap(kept_before);
    std::vector<uint64_t>().swap(kept_bits);
    std::vector<uint8_t>().swap(may_keep);
  }
  // Whether the mask keeps vertex j (j below the mask's vertex count).
  bool keeps(size_t j) const { return (kept_bits[j / 64] >> (j % 64)) & 1; }
  // Rebuilds the buckets over `guide` (built over a cdf of as many entries
  // as the mask has vertices); nothing without a mask.
  void rebuild(const std::vector<int32_t>& guide) {
    const size_t n = guide.size();
    may_keep.clear();
    if (n == 0 || kept_before.size() != n + 1) return;
    may_keep.resize(n);
    // The window of bucket b is [guide[b - 1], guide[b + 1]], or [0, ...] for
    // the first bucket and [..., n - 1] for the last; the inner buckets go
    // without those tests.
    const auto window_keeps = [this](size_t lo, size_t hi) {
      return uint8_t(kept_before[hi + 1] > kept_before[lo]);
    };
    may_keep[0] = window_keeps(0, n > 1 ? size_t(guide[1]) : 0);
    for (size_t b = 1; b + 1 < n; b++) may_keep[b] = window_keeps(size_t(guide[b - 1]), size_t(guide[b + 1]));
    if (n > 1) may_keep[n - 1] = window_keeps(size_t(guide[n - 2]), n - 1);
  }
  // The buckets when they were built over a guide of a cdf of n entries;
  // else null.
  const uint8_t* buckets(size_t n) const {
    return n > 0 && may_keep.size() == n ? may_keep.data() : nullptr;
  }
};
