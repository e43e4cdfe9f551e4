// Smallest enclosing ball by the move-to-front method with pivoting (Welzl's
// recursion as refined by Gaertner, "Fast and robust smallest enclosing
// balls", 1999), entirely in float32.
//
// The points live in a doubly linked list threaded through two index arrays,
// so moving a point to the front is a relink, never a copy. The support set
// holds at most 4 points; each push solves for the new ball incrementally
// from the previous level's centre and squared radius.
#include "mesh/min_sphere.h"

#include <cmath>
#include <cstdint>

#include "geometry/large_arrays.h"

namespace {

// The ball spanned by a support set of up to 4 points, kept level by level so
// that pop() is a counter decrement.
class SupportBall {
 public:
  int size() const { return m_; }
  const point& center() const { return current_c_; }
  float squared_radius() const { return current_r2_; }

  // |p - c|^2 - r^2 for the current ball: positive when p lies outside.
  float excess(const point& p) const { return dist2(p, current_c_) - current_r2_; }

  // Adds p to the support set and makes the current ball the smallest one
  // with all support points on its boundary. Rejects (returns false, set
  // unchanged) a point that is numerically affinely dependent on the set.
  bool push(const point& p) {
    if (m_ == 0) {
      q0_ = p;
      c_[0] = p;
      r2_[0] = 0.0f;
    } else {
      // w_m = p - q0, then made orthogonal (in the weighted sense) to the
      // earlier w_i, all coefficients from the unmodified w_m.
      point w = p - q0_;
      float a[kMaxSupport];
      for (int i = 1; i < m_; i++) a[i] = (2.0f / z_[i]) * dot(w_[i], w);
      for (int i = 1; i < m_; i++) w -= a[i] * w_[i];
      w_[m_] = w;
      z_[m_] = 2.0f * len2(w);
      if (z_[m_] < kDependentEps * current_r2_) return false;

      float e = dist2(p, c_[m_ - 1]) - r2_[m_ - 1];
      float f = e / z_[m_];
      c_[m_] = c_[m_ - 1] + f * w;
      r2_[m_] = r2_[m_ - 1] + 0.5f * e * f;
    }
    current_c_ = c_[m_];
    current_r2_ = r2_[m_];
    m_++;
    return true;
  }

  // Drops the last support point. The current ball is kept: it still
  // encloses every point met so far, which is what the caller relies on.
  void pop() { m_--; }

 private:
  static constexpr int kMaxSupport = 4;
  // Relative threshold for an affinely dependent push (single precision).
  static constexpr float kDependentEps = 1e-13f;

  int m_ = 0;
  point q0_;
  point w_[kMaxSupport];
  float z_[kMaxSupport] = {0, 0, 0, 0};
  point c_[kMaxSupport];
  float r2_[kMaxSupport] = {0, 0, 0, 0};
  point current_c_;            // (0, 0, 0) with the empty set
  float current_r2_ = -1.0f;   // -1: the empty ball encloses nothing
};

// Doubly linked list of point indices; kEnd marks both ends.
class PointList {
 public:
  static constexpr int32_t kEnd = -1;

  // Links the indices of the finite points of `pts`, in order.
  explicit PointList(const std::vector<point>& pts) {
    assign_large(next_, pts.size(), kEnd);
    assign_large(prev_, pts.size(), kEnd);
    int32_t last = kEnd;
    for (size_t i = 0; i < pts.size(); i++) {
      const point& p = pts[i];
      if (!is_finite(p)) continue;
      int32_t idx = static_cast<int32_t>(i);
      if (last == kEnd)
        head_ = idx;
      else
        next_[last] = idx;
      prev_[idx] = last;
      last = idx;
    }
  }

  int32_t front() const { return head_; }
  int32_t next(int32_t i) const { return i == kEnd ? kEnd : next_[i]; }

  // Unlinks i and relinks it at the front.
  void move_to_front(int32_t i) {
    if (i == head_) return;
    int32_t p = prev_[i], n = next_[i];
    next_[p] = n;
    if (n != kEnd) prev_[n] = p;
    prev_[i] = kEnd;
    next_[i] = head_;
    prev_[head_] = i;
    head_ = i;
  }

 private:
  std::vector<int32_t> next_, prev_;
  int32_t head_ = kEnd;
};

class MiniballSolver {
 public:
  MiniballSolver(const std::vector<point>& pts) : pts_(pts), list_(pts) {}

  bool empty() const { return list_.front() == PointList::kEnd; }
  const SupportBall& ball() const { return ball_; }

  // Pivoting driver: repeatedly takes the point of largest excess as a new
  // support point and re-solves with move-to-front over the support prefix.
  void solve() {
    int32_t t = list_.next(list_.front());
    mtf(t);
    // Each round strictly grows r^2 in exact arithmetic; the cap guards
    // against float rounding making two balls alternate forever.
    const long max_rounds = 1000 + 4L * static_cast<long>(pts_.size());
    for (long round = 0; round < max_rounds; round++) {
      int32_t pivot = PointList::kEnd;
      float max_e = max_excess(t, pivot);
      if (!(max_e > 0.0f)) break;
      t = support_end_;
      if (t == pivot) t = list_.next(t);
      float old_r2 = ball_.squared_radius();
      ball_.push(pts_[pivot]);
      mtf(support_end_);
      ball_.pop();
      move_to_front(pivot);
      if (!(ball_.squared_radius() > old_r2)) break;
    }
  }

 private:
  // Move-to-front recursion over the list prefix before `end`; the recursion
  // depth is bounded by the support size (4).
  void mtf(int32_t end) {
    support_end_ = list_.front();
    if (ball_.size() == 4) return;
    for (int32_t k = list_.front(); k != end;) {
      int32_t j = k;
      k = list_.next(k);
      if (ball_.excess(pts_[j]) > 0.0f && ball_.push(pts_[j])) {
        mtf(j);
        ball_.pop();
        move_to_front(j);
      }
    }
  }

  void move_to_front(int32_t j) {
    if (support_end_ == j) support_end_ = list_.next(support_end_);
    list_.move_to_front(j);
  }

  // The point from t to the end of the list with the largest positive excess
  // (a later point wins only with a strictly larger one); 0 when none.
  float max_excess(int32_t t, int32_t& pivot) const {
    float max_e = 0.0f;
    for (int32_t k = t; k != PointList::kEnd; k = list_.next(k)) {
      float e = ball_.excess(pts_[k]);
      if (e > max_e) {
        max_e = e;
        pivot = k;
      }
    }
    return max_e;
  }

  const std::vector<point>& pts_;
  PointList list_;
  SupportBall ball_;
  int32_t support_end_ = PointList::kEnd;
};

}  // namespace

bool smallest_enclosing_sphere(const std::vector<point>& pts, point& center, float& radius) {
  MiniballSolver solver(pts);
  if (solver.empty()) return false;
  solver.solve();
  center = solver.ball().center();
  radius = std::sqrt(solver.ball().squared_radius());
  return true;
}
