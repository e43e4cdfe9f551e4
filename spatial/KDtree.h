// KDtree: nearest-point queries over one mesh's vertices, with optional
// compatibility predicates consulted only for candidates that already beat
// the best point found so far.
//
// The tree stores pointers into the caller's point array (consecutive x, y, z
// float triples) and returns such pointers; the caller recovers a vertex index
// with `index_of`. The array must stay unchanged and in place for the life of
// the tree. The tree is immutable once built.
//
// Structure: interior nodes split their points at the middle of their bounding
// box on its longest axis; leaves hold at most 7 point pointers. Nodes are
// fixed-size blocks from a process-wide pool (chunks of floor(4088 / node
// size) blocks threaded on a free list, never returned to the heap). A build
// or a destruction locks the pool for its length, so trees may be built and
// destroyed on several threads (concurrent builds take turns). Queries on a built
// tree may run on several threads at once (each thread keeps its own search
// stack); a predicate must not itself query a tree.
//
// Degenerate input, and what comes out:
// - n <= 0 (or a null array): an empty tree; every query finds nothing.
// - A point with a NaN or infinite coordinate is stored but never returned
//   (its distance compares false against every bound) and is left out of the
//   node boxes. A query point with a NaN coordinate finds nothing. Neither
//   case crashes or loops: every split divides its points into two non-empty
//   sides, whatever the coordinates are.
// - Coordinates so large that squared distances overflow a float (beyond
//   about 1e18) give no meaningful answers, but never a crash or a hang.
// - Many coincident points: runs lying on a split plane are divided at their
//   middle, so the tree stays about log2(n / 7) deep.
#pragma once

#include <vector>

#include "geometry/Vec.h"

class KDtree {
 public:
  // Predicate on a candidate point (a pointer into the tree's array): true
  // when the candidate is acceptable. Called only for candidates that are
  // already closer than the best one found, so it may be costly.
  class CompatFunc {
   public:
    virtual bool operator()(const float* p) const = 0;
    virtual ~CompatFunc() {}
  };

  // Builds over the `n` points starting at `pts` (3 floats each).
  KDtree(const float* pts, int n);
  // Builds over `pts.data()` and `pts.size()`.
  explicit KDtree(const std::vector<point>& pts);
  // Returns every node to the pool.
  ~KDtree();
  KDtree(const KDtree&) = delete;
  KDtree& operator=(const KDtree&) = delete;

  // The nearest accepted point strictly closer than sqrt(max_dist2), or null.
  // `compat` may be null (every point acceptable). Among equally near points
  // the first one met wins. max_dist2 <= 0 bounds the search by the root's
  // radius (half the diagonal of the box around all points); when the root is
  // a leaf (7 points or fewer) it has no radius and the search is unbounded.
  const float* find_nearest(const float* p, float max_dist2 = 0.0f,
                            const CompatFunc* compat = nullptr) const;
  // find_nearest with `accept` (a callable taking the candidate pointer,
  // true when acceptable) called directly instead of through CompatFunc, so
  // a predicate of a final type is inlined into the search. Same answer as
  // find_nearest with the same test. Defined in spatial/kdtree_search.h.
  template <typename Accept>
  const float* find_nearest_with(const float* p, float max_dist2, const Accept& accept) const;

  // Replaces `out` with the k nearest accepted points, nearest first (all
  // accepted points when fewer than k; empty when none or k <= 0). Every
  // accepted point is admitted until k are held, so `max_dist2` never removes
  // a point from the result; it is kept for symmetry with find_nearest.
  void find_k_nearest(std::vector<const float*>& out, int k, const float* p,
                      float max_dist2 = 0.0f, const CompatFunc* compat = nullptr) const;

  // Vertex index of `found` (a pointer returned by a query) in the array that
  // starts at `first`: (found - first) / 3.
  static int index_of(const float* found, const float* first) {
    return static_cast<int>((found - first) / 3);
  }
  static int index_of(const float* found, const std::vector<point>& pts) {
    return index_of(found, reinterpret_cast<const float*>(pts.data()));
  }

  struct Node;

 private:
  Node* root = nullptr;
};
