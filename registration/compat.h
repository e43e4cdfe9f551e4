// The two compatibility predicates of the ICP correspondence search. Both are
// built on the stack for one query pass, own nothing, and are handed to
// KDtree::find_nearest (or, by their own type, to find_nearest_with, which
// inlines them), which calls them only for candidates that already beat the
// best point found so far.
#pragma once

#include <cassert>
#include <cmath>
#include <cstdint>

#include "geometry/Vec.h"
#include "mesh/TriMesh.h"
#include "registration/color_record.h"
#include "spatial/KDtree.h"

namespace compat_detail {

// Vertex index of a candidate pointer; the tree must have been built over
// `mesh`'s vertex array (a caller's contract, not a property of the data).
inline int candidate_index(const float* p, const TriMesh& mesh) {
  int i = KDtree::index_of(p, mesh.vertices);
  assert(i >= 0 && static_cast<std::size_t>(i) < mesh.vertices.size());
  return i;
}

}  // namespace compat_detail

// Normals must agree: accepts a candidate vertex i of `mesh` when
// dot(normal, mesh->normals[i]) > min_dot (strictly), or when i is a boundary
// vertex (whatever its normal; the caller drops pairs on boundary vertices
// later). `normal` is the query normal in the frame of the tree's mesh.
// Without normals on the mesh (normals.size() != vertices.size()) interior
// vertices cannot be judged and are rejected. The boundary test builds the
// mesh's neighbour and vertex-face tables on first use. When `boundary` is
// given (one byte per vertex, 1 on a boundary) it answers the boundary test
// instead; it must agree with the mesh's tables.
class NormCompat final : public KDtree::CompatFunc {
 public:
  point normal;
  TriMesh* mesh;
  float min_dot;
  const uint8_t* boundary;

  NormCompat(const point& normal_, TriMesh* mesh_, float min_dot_,
             const uint8_t* boundary_ = nullptr)
      : normal(normal_), mesh(mesh_), min_dot(min_dot_), boundary(boundary_) {}
  bool operator()(const float* p) const override {
    const int i = compat_detail::candidate_index(p, *mesh);
    if (boundary ? boundary[i] != 0 : mesh->is_boundary(i)) return true;
    if (mesh->normals.size() != mesh->vertices.size()) return false;
    return dot(normal, mesh->normals[size_t(i)]) > min_dot;
  }
  // Starts the read of the candidate's normal (the tree's search calls it
  // ahead of the test).
  void prefetch(const float* p) const {
    __builtin_prefetch(mesh->normals.data() + compat_detail::candidate_index(p, *mesh));
  }
};

// Colour and colour-difference direction must agree: accepts a candidate
// vertex i of `mesh` when dot(dir, dirs[i]) >= min_dir_dot (equality passes)
// and the L1 colour distance |color - mesh->colors[i]| is < max_color_l1
// (equality fails). `dirs` is the mesh's per-vertex array of colour-difference
// directions, indexed like its vertices. No boundary test. Without colours on
// the mesh (colors.size() != vertices.size()) or without `dirs` every
// candidate is rejected.
//
// `records`, when set, holds the same directions and colours side by side,
// one record per vertex (registration/color_record.h), and the test reads
// them there: one cache line per candidate instead of one in each array.
class ColorCompat final : public KDtree::CompatFunc {
 public:
  Color color;
  point dir;
  TriMesh* mesh;
  float min_dir_dot;
  float max_color_l1;
  const point* dirs;
  const ColorRecord* records = nullptr;  // {dirs[i], mesh->colors[i]} per vertex, or null

  ColorCompat(const Color& color_, const point& dir_, TriMesh* mesh_, float min_dir_dot_,
              float max_color_l1_, const point* dirs_)
      : color(color_), dir(dir_), mesh(mesh_), min_dir_dot(min_dir_dot_),
        max_color_l1(max_color_l1_), dirs(dirs_) {}
  bool operator()(const float* p) const override {
    const int i = compat_detail::candidate_index(p, *mesh);
    if (records) return accepts(records[i].dir, records[i].color);
    if (!dirs || mesh->colors.size() != mesh->vertices.size()) return false;
    return accepts(dirs[i], mesh->colors[size_t(i)]);
  }
  // Starts the read of the candidate's record (the tree's search calls it
  // ahead of the test).
  void prefetch(const float* p) const {
    if (records) __builtin_prefetch(records + compat_detail::candidate_index(p, *mesh));
  }

 private:
  bool accepts(const point& d, const Color& c) const {
    if (dot(dir, d) < min_dir_dot) return false;
    const float l1 = std::fabs(color.r - c.r) + std::fabs(color.g - c.g) + std::fabs(color.b - c.b);
    return l1 < max_color_l1;
  }
};
