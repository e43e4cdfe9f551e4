#include "registration/KDtree.h"

// Placeholder until the tree is built: an empty tree that finds nothing.
struct KDtree::Node {};

KDtree::KDtree(const float*, int) {}
KDtree::KDtree(const std::vector<point>&) {}
KDtree::~KDtree() = default;

const float* KDtree::find_nearest(const float*, float, const CompatFunc*) const { return nullptr; }
void KDtree::find_k_nearest(std::vector<const float*>& out, int, const float*, float,
                            const CompatFunc*) const {
  out.clear();
}
