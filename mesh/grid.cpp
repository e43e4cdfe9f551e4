// Range grids: triangulation of the grid's squares, and the removal of the
// long thin triangles that a triangulation makes across depth jumps.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "geometry/Lcg32.h"
#include "mesh/TriMesh.h"
#include "mesh/connectivity_util.h"
#include "mesh/diagnostics.h"

namespace {

// The generator that picks the faces typical_edge_length samples.
// One value for the whole process, starting at 0 and carried from call to
// call, so repeated calls look at different faces.
Lcg32 edge_sampler;

// How needle-like a triangle is, from its squared edge lengths: m x^2 / (4
// l01 l12 l20), with m the shortest and x = l01 + l12 + l20 - 2m. About 1 for
// a needle with one short edge, 0.25 for an equilateral triangle, 0 when an
// edge has zero length. Double precision: the product of three squared
// lengths overflows float for scans in large units.
double sliver_measure(float l01, float l12, float l20) {
  const double m = std::min(l01, std::min(l12, l20));
  const double x = double(l01) + l12 + l20 - 2.0 * m;
  const double denominator = 4.0 * double(l01) * l12 * l20;
  return denominator > 0.0 ? m * x * x / denominator : 0.0;
}

}  // namespace

uint32_t edge_sampler_state() { return edge_sampler.state; }
void set_edge_sampler_state(uint32_t state) { edge_sampler.state = state; }

void TriMesh::triangulate_grid() {
  progress_printf("Triangulating... ");
  release(faces);

  const size_t nv = vertices.size();
  const int64_t w = grid_width, h = grid_height;
  // A grid whose size does not match its dimensions has no trustworthy
  // squares: it yields no faces (the readers refuse such files).
  const bool shaped = w > 0 && h > 0 && static_cast<uint64_t>(w * h) <= grid.size();

  // Clean the grid: a cell is a sample only if it names a vertex that is not
  // at the origin (the scanner's mark for "no return").
  for (int32_t& cell : grid) {
    if (!vertex_in_range(cell, nv) || vertices[cell] == point(0, 0, 0)) cell = -1;
  }

  size_t count = 0;
  if (shaped) {
    for (int64_t y = 0; y < h - 1; y++) {
      for (int64_t x = 0; x < w - 1; x++) {
        const int64_t ll = y * w + x, ul = ll + w;
        const int valid = (grid[ll] >= 0) + (grid[ll + 1] >= 0) + (grid[ul] >= 0) + (grid[ul + 1] >= 0);
        count += valid == 4 ? 2 : valid == 3 ? 1 : 0;
      }
    }
  }
  faces.reserve(count);

  if (shaped) {
    for (int64_t y = 0; y < h - 1; y++) {
      for (int64_t x = 0; x < w - 1; x++) {
        const int64_t cell = y * w + x;
        const int32_t ll = grid[cell], lr = grid[cell + 1];
        const int32_t ul = grid[cell + w], ur = grid[cell + w + 1];
        const int valid = (ll >= 0) + (lr >= 0) + (ul >= 0) + (ur >= 0);
        if (valid == 4) {
          // Split along the shorter diagonal; the ul-lr one on a tie.
          if (dist2(vertices[ul], vertices[lr]) <= dist2(vertices[ur], vertices[ll])) {
            faces.emplace_back(ll, lr, ul);
            faces.emplace_back(lr, ur, ul);
          } else {
            faces.emplace_back(ll, lr, ur);
            faces.emplace_back(ll, ur, ul);
          }
        } else if (valid == 3) {
          if (ll < 0) {
            faces.emplace_back(lr, ur, ul);
          } else if (lr < 0) {
            faces.emplace_back(ll, ur, ul);
          } else if (ur < 0) {
            faces.emplace_back(ll, lr, ul);
          } else {
            faces.emplace_back(ll, lr, ur);
          }
        }
      }
    }
  }

  progress_printf("%lu faces.\n  ", static_cast<unsigned long>(count));
  if (!faces.empty()) remove_slivers();
  progress_printf("Done.\n");
}

float TriMesh::typical_edge_length() {
  need_faces();
  if (faces.empty()) return 0.0f;

  const size_t nf = faces.size();
  // Half the faces, at most 333; at least one, so a lone triangle still has
  // a length.
  const size_t samples = std::max<size_t>(1, std::min<size_t>(nf / 2, 333));
  const size_t nv = vertices.size();
  std::vector<float> lengths2;
  lengths2.reserve(3 * samples);
  for (size_t i = 0; i < samples; i++) {
    const Face& f = faces[edge_sampler.next() % nf];
    if (!face_in_range(f, nv)) continue;
    const point& p0 = vertices[f[0]];
    const point& p1 = vertices[f[1]];
    const point& p2 = vertices[f[2]];
    lengths2.push_back(dist2(p0, p1));
    lengths2.push_back(dist2(p1, p2));
    lengths2.push_back(dist2(p2, p0));
  }
  if (lengths2.empty()) return 0.0f;
  const auto median = lengths2.begin() + lengths2.size() / 2;
  std::nth_element(lengths2.begin(), median, lengths2.end());
  return std::sqrt(*median);
}

void TriMesh::remove_slivers() {
  need_faces();
  if (faces.empty()) return;
  const float typical = typical_edge_length();
  // Only triangles with an edge of at least four typical edges are examined,
  // so ordinary thin triangles of a dense scan are left alone.
  const float threshold = (4.0f * typical) * (4.0f * typical);
  constexpr double kSliverMeasure = 0.85;

  const size_t nv = vertices.size();
  const size_t nf = faces.size();
  std::vector<bool> slivers(nf, false);
  for (size_t i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!face_in_range(f, nv)) continue;
    const point& p0 = vertices[f[0]];
    const point& p1 = vertices[f[1]];
    const point& p2 = vertices[f[2]];
    const float l01 = dist2(p0, p1), l12 = dist2(p1, p2), l20 = dist2(p2, p0);
    if (l01 < threshold && l12 < threshold && l20 < threshold) continue;
    slivers[i] = sliver_measure(l01, l12, l20) >= kSliverMeasure;
  }
  remove_faces(slivers);
}
