// KDtree: nearest-point queries over one mesh's vertices, with optional
// compatibility predicates consulted only for candidates that already beat
// the best point found so far.
//
// The tree stores pointers into the caller's point array (consecutive x, y, z
// float triples) and returns such pointers; the caller recovers a vertex index
// as (pointer - &vertices[0].x) / 3. The array must stay unchanged and in
// place for the life of the tree. Nodes come from a process-wide pool.
#pragma once

#include <vector>

#include "geometry/Vec.h"

class KDtree {
 public:
  // Predicate on a candidate point (a pointer into the tree's array).
  class CompatFunc {
   public:
    virtual bool operator()(const float* p) const = 0;
    virtual ~CompatFunc() {}
  };

  // Builds over `n` points starting at `pts`.
  KDtree(const float* pts, int n);
  explicit KDtree(const std::vector<point>& pts);
  ~KDtree();
  KDtree(const KDtree&) = delete;
  KDtree& operator=(const KDtree&) = delete;

  // Nearest accepted point strictly closer than sqrt(max_dist2), or null.
  // max_dist2 <= 0 means: within the root's radius (half its box diagonal).
  const float* find_nearest(const float* p, float max_dist2 = 0.0f,
                            const CompatFunc* compat = nullptr) const;
  // The k nearest accepted points, nearest first (fewer if fewer are accepted).
  void find_k_nearest(std::vector<const float*>& out, int k, const float* p,
                      float max_dist2 = 0.0f, const CompatFunc* compat = nullptr) const;

  struct Node;

 private:
  Node* root = nullptr;
};
