// K-d tree with midpoint splits, pooled nodes and compatibility predicates.
// The split is the middle of the node's bounding box on its longest axis (not
// the median), which keeps the build a single partition pass per level; the
// queries prune interior nodes by their bounding sphere and by the split
// plane, the k-nearest query also by the distance to the region the split
// planes leave to a node.
#include "spatial/KDtree.h"
#include "spatial/kdtree_search.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#include "geometry/large_arrays.h"

// ---- Node pool ---------------------------------------------------------------
// Every tree takes fixed-size blocks from one process-wide free list. A chunk
// of blocks is taken from the heap when the list runs dry: 4 KiB at first,
// each chunk twice the last up to 2 MiB, so a small tree holds little memory
// and a million-point tree (some 30 MiB of nodes) takes a few large chunks,
// backed by large pages (geometry/large_arrays.h). Chunks are never given
// back, so building and dropping trees repeatedly costs no heap traffic after
// the first build. A build or a destruction holds the pool's
// lock for its whole length, so trees may be built and dropped on several
// threads at once (a scan's tree is built beside its other derived data).
namespace {

using kdtree_detail::kMaxLeafPoints;
using kdtree_detail::squared_distance;

std::mutex g_pool_mutex;

struct FreeBlock {
  FreeBlock* next;
};
static_assert(sizeof(KDtree::Node) >= sizeof(FreeBlock), "a node block must hold a free-list link");

const std::size_t kFirstChunkBytes = 4096;
const std::size_t kLargestChunkBytes = std::size_t(2) << 20;  // one large page
const std::size_t kCacheLine = 64;
static_assert(kFirstChunkBytes >= sizeof(KDtree::Node), "a chunk must hold at least one node");

FreeBlock* g_free_blocks = nullptr;
std::size_t g_next_chunk_bytes = kFirstChunkBytes;

void refill_pool() {
  const std::size_t bytes = g_next_chunk_bytes;
  if (g_next_chunk_bytes < kLargestChunkBytes) g_next_chunk_bytes *= 2;
  // Cache-line aligned: a 64-byte node then never straddles two lines. A
  // largest chunk is aligned to its size, so it is exactly one large page.
  const std::size_t alignment = bytes == kLargestChunkBytes ? kLargestChunkBytes : kCacheLine;
  char* chunk = static_cast<char*>(::operator new(bytes, std::align_val_t(alignment)));
  prefer_large_pages(chunk, bytes);
  const std::size_t blocks = bytes / sizeof(KDtree::Node);
  // Threaded back to front so that blocks are handed out in address order.
  for (std::size_t i = blocks; i-- > 0;) {
    FreeBlock* block = reinterpret_cast<FreeBlock*>(chunk + i * sizeof(KDtree::Node));
    block->next = g_free_blocks;
    g_free_blocks = block;
  }
}

KDtree::Node* alloc_node() {
  if (!g_free_blocks) refill_pool();
  FreeBlock* block = g_free_blocks;
  g_free_blocks = block->next;
  return new (block) KDtree::Node;
}

void free_node(KDtree::Node* node) {
  FreeBlock* block = reinterpret_cast<FreeBlock*>(node);
  block->next = g_free_blocks;
  g_free_blocks = block;
}

// Releases a subtree; recursion depth equals the tree depth, as in the build.
// Blocks are pushed in reverse build order (above, below, node), so the free
// list hands them out again in build order: a tree rebuilt over the same
// points gets the same memory layout, each node followed by its first child.
void free_subtree(KDtree::Node* node) {
  if (node->point_count == 0) {
    free_subtree(node->inner.above);
    free_subtree(node->inner.below);
  }
  free_node(node);
}

// ---- Build -------------------------------------------------------------------

// Axis of the longest box extent; ties go to the later axis (dx = dy > dz
// gives 1, any tie with dz gives 2).
int longest_axis(double dx, double dy, double dz) {
  if (dx > dy) return dx > dz ? 0 : 2;
  return dy > dz ? 1 : 2;
}

// Splits pts[lo..hi] three ways around `s`: below it, equal to it (or NaN),
// above it. Returns the middle of the equal run, so a run of coincident points
// is cut in half; when the whole range is equal that is lo + (hi - lo) / 2.
// When that middle would leave nothing below (a run of one or two at the very
// front, which happens when rounding puts the split value onto the smallest
// coordinate), the whole run goes below instead.
int split_equal_run(const float** pts, int lo, int hi, int axis, float s) {
  int lt = lo, i = lo, gt = hi + 1;
  while (i < gt) {
    const float c = pts[i][axis];
    if (c < s) {
      std::swap(pts[lt++], pts[i++]);
    } else if (c > s) {
      std::swap(pts[i], pts[--gt]);
    } else {
      i++;
    }
  }
  const int middle = lt + (gt - 1 - lt) / 2;
  return middle > 0 ? middle : gt;
}

// Partitions pts[0..n) around `s` on `axis` with two cursors and returns the
// split position: every coordinate before it is <= s, every one after it >= s
// (the query's plane test relies on exactly that). When both cursors stop on
// coordinates equal to s, the part between them has not been looked at yet:
// it is split three ways and the run equal to s cut at its middle, so points
// on the split plane (coincident points above all) never leave a side empty.
// Both cursors are bounded by the array, whatever the coordinates (NaN
// compares false both ways and simply stops a cursor).
int partition(const float** pts, int n, int axis, float s) {
  int left = 0, right = n - 1;
  for (;;) {
    while (left < n && pts[left][axis] < s) ++left;
    while (right >= 0 && pts[right][axis] > s) --right;
    if (right < left) return left;
    if (pts[left][axis] == pts[right][axis]) return split_equal_run(pts, left, right, axis, s);
    std::swap(pts[left], pts[right]);
    ++left;
    --right;
  }
}

KDtree::Node* build(const float** pts, int n) {
  KDtree::Node* node = alloc_node();
  if (n <= kMaxLeafPoints) {
    node->point_count = n;
    std::copy(pts, pts + n, node->leaf_points);
    return node;
  }
  node->point_count = 0;

  // The box covers the finite coordinates only: a NaN or infinite coordinate
  // can never be the nearest to a finite query, and letting it into the box
  // would make every sphere test fail (and NaN compares false, so a NaN first
  // point would otherwise poison the box).
  const float kInf = std::numeric_limits<float>::infinity();
  float lo[3] = {kInf, kInf, kInf}, hi[3] = {-kInf, -kInf, -kInf};
  for (int i = 0; i < n; i++) {
    for (int a = 0; a < 3; a++) {
      const float c = pts[i][a];
      if (!std::isfinite(c)) continue;
      if (c < lo[a]) lo[a] = c;
      if (c > hi[a]) hi[a] = c;
    }
  }
  // Centre and extents in double: (lo + hi) and the squared extents would
  // overflow single precision for coordinates near the float range. The
  // radius is measured from the centre as rounded to float and rounded up, so
  // the sphere really holds the box (the query prunes by it). An axis without
  // any finite coordinate gets an empty box at 0.
  double ext[3], reach2 = 0.0;
  for (int a = 0; a < 3; a++) {
    if (lo[a] > hi[a]) lo[a] = hi[a] = 0.0f;
    const float centre = static_cast<float>((double(lo[a]) + double(hi[a])) * 0.5);
    node->inner.box_centre[a] = centre;
    ext[a] = double(hi[a]) - double(lo[a]);
    const double half = std::max(double(hi[a]) - centre, centre - double(lo[a]));
    reach2 += half * half;
  }
  const double radius = std::sqrt(reach2);
  float radius_f = static_cast<float>(radius);
  if (radius_f < radius) radius_f = std::nextafter(radius_f, kInf);
  node->inner.radius = radius_f;
  const int axis = longest_axis(ext[0], ext[1], ext[2]);
  node->inner.axis = axis;

  int split = partition(pts, n, axis, node->inner.box_centre[axis]);
  // Finite coordinates always leave both sides non-empty. Only points that
  // can never be returned (all infinite on this axis, so the split value is
  // the empty box's 0) can put every point on one side; an empty side would
  // recurse forever, so such a split halves the array instead.
  if (split <= 0 || split >= n) split = n / 2;
  node->inner.below = build(pts, split);
  node->inner.above = build(pts + split, n - split);
  return node;
}

// ---- k nearest ---------------------------------------------------------------

// Per-axis distance from the query to the region of a node (0 inside it).
struct Offsets {
  float v[3];
};

// Max-heap entry: distance (not squared) and point.
typedef std::pair<float, const float*> HeapEntry;

// Up to this many neighbours the heap lives on the stack, so the common small
// queries (6 for point-set normals) allocate nothing.
const std::size_t kLocalHeap = 16;

struct KNearestQuery {
  const float* p;
  const KDtree::CompatFunc* compat;
  std::size_t k;
  HeapEntry local[kLocalHeap + 1];
  std::vector<HeapEntry> spill;  // the heap when k > kLocalHeap; grows with use, never sized by k
  HeapEntry* heap = local;
  std::size_t size = 0;
  float best_dist2;
  float best_dist;

  bool full() const { return size >= k; }
  void push(const HeapEntry& e);
  void visit(const KDtree::Node* node, float cell_dist2, Offsets offsets);
  void offer(const float* q);
};

// Adds an entry and drops the largest when more than k are held.
void KNearestQuery::push(const HeapEntry& e) {
  if (k > kLocalHeap) {
    spill.push_back(e);
    heap = spill.data();
  } else {
    heap[size] = e;
  }
  std::push_heap(heap, heap + ++size);
  if (size > k) {
    std::pop_heap(heap, heap + size--);
    if (k > kLocalHeap) spill.pop_back();
  }
}

void KNearestQuery::offer(const float* q) {
  const float d2 = squared_distance(p, q);
  if (std::isnan(d2)) return;  // a NaN distance would break the heap order
  if (full() && !(d2 < best_dist2)) return;
  if (compat && !(*compat)(q)) return;
  push(HeapEntry(std::sqrt(d2), q));
  best_dist = heap[0].first;
  best_dist2 = best_dist * best_dist;
}

void KNearestQuery::visit(const KDtree::Node* node, float cell_dist2, Offsets offsets) {
  // Same traversal as NearestQuery, but nothing is pruned until k points are held.
  while (node->point_count == 0) {
    if (full()) {
      const float d2 = squared_distance(p, node->inner.box_centre);
      const float reach = node->inner.radius + best_dist;
      if (d2 >= reach * reach) return;
    }
    const int axis = node->inner.axis;
    const float m = node->inner.box_centre[axis] - p[axis];
    const KDtree::Node* far_child;
    if (m >= 0.0f) {
      visit(node->inner.below, cell_dist2, offsets);
      if (full() && best_dist <= m) return;
      far_child = node->inner.above;
    } else {
      visit(node->inner.above, cell_dist2, offsets);
      if (full() && best_dist <= -m) return;
      far_child = node->inner.below;
    }
    const float far_dist2 = cell_dist2 - offsets.v[axis] * offsets.v[axis] + m * m;
    if (full() && far_dist2 >= best_dist2) return;
    cell_dist2 = far_dist2;
    offsets.v[axis] = std::fabs(m);
    node = far_child;
  }
  for (int i = 0; i < node->point_count; i++) offer(node->leaf_points[i]);
}

}  // namespace

float kdtree_detail::initial_bound2(const KDtree::Node* root, float max_dist2) {
  if (max_dist2 > 0.0f) return max_dist2;
  if (root->point_count == 0) return root->inner.radius * root->inner.radius;
  return std::numeric_limits<float>::infinity();
}

// ---- KDtree ------------------------------------------------------------------

KDtree::KDtree(const float* pts, int n) {
  if (!pts || n <= 0) return;
  // One pointer array for the whole build, partitioned in place level by level.
  std::vector<const float*> ptrs;
  reserve_large(ptrs, static_cast<std::size_t>(n));
  for (int i = 0; i < n; i++) ptrs.push_back(pts + 3 * static_cast<std::ptrdiff_t>(i));
  std::lock_guard<std::mutex> lock(g_pool_mutex);
  root = build(ptrs.data(), n);
}

KDtree::KDtree(const std::vector<point>& pts)
    : KDtree(reinterpret_cast<const float*>(pts.data()),
             pts.size() > static_cast<std::size_t>(INT_MAX) ? 0 : static_cast<int>(pts.size())) {}

KDtree::~KDtree() {
  if (!root) return;
  std::lock_guard<std::mutex> lock(g_pool_mutex);
  free_subtree(root);
}

const float* KDtree::find_nearest(const float* p, float max_dist2, const CompatFunc* compat) const {
  if (compat) return find_nearest_with(p, max_dist2, [compat](const float* q) { return (*compat)(q); });
  return find_nearest_with(p, max_dist2, [](const float*) { return true; });
}

void KDtree::find_k_nearest(std::vector<const float*>& out, int k, const float* p, float max_dist2,
                            const CompatFunc* compat) const {
  out.clear();
  if (!root || k <= 0) return;
  KNearestQuery query;
  query.p = p;
  query.compat = compat;
  query.k = static_cast<std::size_t>(k);
  query.best_dist2 = kdtree_detail::initial_bound2(root, max_dist2);
  query.best_dist = std::sqrt(query.best_dist2);
  query.visit(root, 0.0f, Offsets{{0.0f, 0.0f, 0.0f}});
  std::sort_heap(query.heap, query.heap + query.size);
  out.reserve(query.size);
  for (std::size_t i = 0; i < query.size; i++) out.push_back(query.heap[i].second);
}
