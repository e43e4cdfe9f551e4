// The k-d tree's nearest-point search, as a template over the acceptance
// test: KDtree::find_nearest runs it with a CompatFunc called through its
// virtual operator, and a caller that knows its predicate's type (the ICP
// pairing, once per sample) runs it with that type, so the test is inlined
// into the leaf scan. Both give the same answer for the same predicate.
// Include this header only where find_nearest_with is called; it also holds
// the tree's node record, which nothing outside the tree reads.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "spatial/KDtree.h"

namespace kdtree_detail {

const int kMaxLeafPoints = 7;

}  // namespace kdtree_detail

// One record serves both kinds: a leaf has point_count 1..7, an interior node 0.
struct KDtree::Node {
  int32_t point_count;
  union {
    const float* leaf_points[kdtree_detail::kMaxLeafPoints];
    struct {
      float box_centre[3];  // centre of the bounding box of the node's points
      float radius;         // half the box diagonal (from box_centre, rounded up)
      int32_t axis;         // 0, 1 or 2: the split axis
      Node* below;          // points with a coordinate below the split value
      Node* above;          // the others
    } inner;
  };
};

namespace kdtree_detail {

inline float squared_distance(const float* a, const float* b) {
  float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return dx * dx + dy * dy + dz * dz;
}

// A far child left for later by the descent: the child and the query's
// distance to the split plane between it and its near sibling.
struct PendingChild {
  const KDtree::Node* node;
  float plane;
};

// The pending children of this thread's searches: at most one per level, so
// a search allocates nothing once the thread has met a tree this deep.
inline std::vector<PendingChild>& pending_children() {
  thread_local std::vector<PendingChild> pending;
  return pending;
}

// The starting bound: max_dist2, or the root's squared radius when it is <= 0
// (unbounded for a leaf root, which has no radius).
float initial_bound2(const KDtree::Node* root, float max_dist2);

template <typename Accept>
struct NearestSearch {
  const float* p;
  const Accept& accept;
  const float* best = nullptr;
  float best_dist2;
  float best_dist;

  // Depth first, nearer child first, with the far children on an explicit
  // stack instead of the call stack (the descent is the hot loop of every
  // pairing step). A node is entered only when the sphere around its box
  // reaches closer than the best distance. A far child is taken from the
  // stack once its near sibling's subtree is done, and entered only when
  // the split plane is closer than the best distance. Nothing skipped can
  // hold a strictly closer point, so the answer is the first nearest point
  // in the depth-first order. Both children of a node are fetched while its
  // sphere test runs: which one comes next follows the query, not a pattern
  // the processor can predict.
  void search(const KDtree::Node* node, std::vector<PendingChild>& pending) {
    // The stack's storage in locals: the vector lives in thread-local
    // storage, and reading its bounds at every push costs more than the push.
    PendingChild* stack = pending.data();
    size_t capacity = pending.size();
    size_t top = 0;
    for (;;) {
      bool entered = true;
      while (node->point_count == 0) {
        __builtin_prefetch(node->inner.below);
        __builtin_prefetch(node->inner.above);
        const float d2 = squared_distance(p, node->inner.box_centre);
        const float reach = node->inner.radius + best_dist;
        if (d2 >= reach * reach) {  // the whole box is at least best_dist away
          entered = false;
          break;
        }
        const int axis = node->inner.axis;
        const float m = node->inner.box_centre[axis] - p[axis];
        const bool below_first = m >= 0.0f;
        if (top == capacity) {
          pending.resize(2 * top + 32);
          stack = pending.data();
          capacity = pending.size();
        }
        stack[top++] = PendingChild{below_first ? node->inner.above : node->inner.below, std::fabs(m)};
        node = below_first ? node->inner.below : node->inner.above;
      }
      if (entered) scan_leaf(node);
      for (;;) {
        if (top == 0) return;
        const PendingChild& far = stack[--top];
        if (best_dist <= far.plane) continue;
        node = far.node;
        break;
      }
    }
  }

  // The leaf's points in order: a point is taken when strictly closer than
  // the best so far and accepted. The distances come first, so that the
  // reads of the seven points overlap instead of waiting on each test.
  void scan_leaf(const KDtree::Node* leaf) {
    const int count = leaf->point_count;
    float d2[kMaxLeafPoints];
    for (int i = 0; i < count; i++) d2[i] = squared_distance(p, leaf->leaf_points[i]);
    for (int i = 0; i < count; i++) {
      if (!(d2[i] < best_dist2)) continue;  // strict: a point at the bound is not taken
      const float* q = leaf->leaf_points[i];
      if (!accept(q)) continue;
      best_dist2 = d2[i];
      best_dist = std::sqrt(d2[i]);
      best = q;
    }
  }
};

}  // namespace kdtree_detail

template <typename Accept>
const float* KDtree::find_nearest_with(const float* p, float max_dist2, const Accept& accept) const {
  if (!root) return nullptr;
  const float bound2 = kdtree_detail::initial_bound2(root, max_dist2);
  kdtree_detail::NearestSearch<Accept> search{p, accept, nullptr, bound2, std::sqrt(bound2)};
  search.search(root, kdtree_detail::pending_children());
  return search.best;
}
