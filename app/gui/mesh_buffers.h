// A mesh's drawing data held by the GL: positions, normals and the colours of
// the current colour mode in buffer objects, and the triangle strips as one
// index buffer drawn with a few multi-draw calls (app/strip_draws.h). Drawing
// from client arrays one strip per call makes a software renderer copy the
// arrays again for every strip of every frame; from buffers the copy happens
// once. Under a software renderer that can draw from the program's memory
// as it stands (GL_AMD_pinned_memory), the buffers are the caller's arrays
// themselves, lent rather than copied: no fresh copy of a million-vertex
// scan to fill before its first frame.
//
// Each frame the caller hands the data it would draw; sync() compares it with
// what was uploaded (array addresses, sizes and a checksum of the contents,
// so arrays refilled in place are noticed too) and uploads only what changed.
// The checksum pass reads the arrays once per frame, far cheaper than the
// upload it avoids. A lent array must stay where it is until the next sync()
// or the buffers' end: every draw follows a sync() with the arrays it draws.
// Needs the 3-D window's context current.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/strip_draws.h"
#include "geometry/Vec.h"

class MeshBuffers {
 public:
  MeshBuffers() = default;
  MeshBuffers(const MeshBuffers&) = delete;
  MeshBuffers& operator=(const MeshBuffers&) = delete;
  ~MeshBuffers();

  // Brings the buffers up to date: `vertices` (n points), `normals` (n or
  // none: nullptr), `colors` (n or none: nullptr), `strips` (length-prefixed
  // strips of vertex indices; a malformed tail is dropped, as are indices
  // outside [0, n)). Needs buffer objects and multi-draw (OpenGL 1.5).
  void sync(const point* vertices, size_t n, const point* normals, const Color* colors,
            const std::vector<int32_t>& strips);

  // Binds positions, normals and colours (those present) as the vertex,
  // normal and colour arrays; use_colors false leaves the colour array off.
  void bind(bool use_colors) const;
  // Unbinds the buffers so client-side arrays work again.
  static void unbind();

  // After bind(): every strip (in batches, flushed between them), or every
  // vertex as a point.
  void draw_strips() const;
  void draw_points() const;

 private:
  struct Source {
    const void* data = nullptr;
    size_t bytes = 0;
    uint64_t sum = 0;
    bool operator==(const Source& o) const {
      return data == o.data && bytes == o.bytes && sum == o.sum;
    }
  };
  static Source describe(const void* data, size_t bytes);
  void upload(GLenum target, GLuint& buffer, const void* data, size_t bytes);

  GLuint positions_ = 0, normals_ = 0, colors_ = 0, indices_ = 0;
  Source positions_src_, normals_src_, colors_src_, strips_src_;
  size_t vertex_count_ = 0;
  size_t strips_vertex_count_ = 0;  // vertex count the strips were checked against
  bool has_normals_ = false, has_colors_ = false;
  // The strips drawn and their batches; each strip's byte offset in indices_.
  StripDraws strips_;
  std::vector<const void*> strip_offsets_;
};
