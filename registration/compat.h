// The two compatibility predicates of the ICP correspondence search. Both are
// built on the stack for one query pass, own nothing, and are handed to
// KDtree::find_nearest, which calls them only for candidates that already
// beat the best point found so far.
#pragma once

#include <cstdint>

#include "geometry/Vec.h"
#include "spatial/KDtree.h"

class TriMesh;

// Normals must agree: accepts a candidate vertex i of `mesh` when
// dot(normal, mesh->normals[i]) > min_dot (strictly), or when i is a boundary
// vertex (whatever its normal; the caller drops pairs on boundary vertices
// later). `normal` is the query normal in the frame of the tree's mesh.
// Without normals on the mesh (normals.size() != vertices.size()) interior
// vertices cannot be judged and are rejected. The boundary test builds the
// mesh's neighbour and vertex-face tables on first use. When `boundary` is
// given (one byte per vertex, 1 on a boundary) it answers the boundary test
// instead; it must agree with the mesh's tables.
class NormCompat : public KDtree::CompatFunc {
 public:
  point normal;
  TriMesh* mesh;
  float min_dot;
  const uint8_t* boundary;

  NormCompat(const point& normal_, TriMesh* mesh_, float min_dot_,
             const uint8_t* boundary_ = nullptr)
      : normal(normal_), mesh(mesh_), min_dot(min_dot_), boundary(boundary_) {}
  bool operator()(const float* p) const override;
};

// Colour and colour-difference direction must agree: accepts a candidate
// vertex i of `mesh` when dot(dir, dirs[i]) >= min_dir_dot (equality passes)
// and the L1 colour distance |color - mesh->colors[i]| is < max_color_l1
// (equality fails). `dirs` is the mesh's per-vertex array of colour-difference
// directions, indexed like its vertices. No boundary test. Without colours on
// the mesh (colors.size() != vertices.size()) or without `dirs` every
// candidate is rejected.
class ColorCompat : public KDtree::CompatFunc {
 public:
  Color color;
  point dir;
  TriMesh* mesh;
  float min_dir_dot;
  float max_color_l1;
  const point* dirs;

  ColorCompat(const Color& color_, const point& dir_, TriMesh* mesh_, float min_dir_dot_,
              float max_color_l1_, const point* dirs_)
      : color(color_), dir(dir_), mesh(mesh_), min_dir_dot(min_dir_dot_),
        max_color_l1(max_color_l1_), dirs(dirs_) {}
  bool operator()(const float* p) const override;
};
