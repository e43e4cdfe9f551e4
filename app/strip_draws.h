// The draw calls for a mesh's triangle strips, planned without the GL.
//
// A strip stream holds each strip as its index count followed by its vertex
// indices. The strips are drawn from one index buffer holding the stream as
// it is, so each strip is named by its count and the position of its first
// index in the stream. They are drawn in batches of about `batch_indices`
// indices with a flush after each batch but the last: a software renderer
// bins every triangle it is given before it rasterizes any, and the memory
// of the bins is fresh on the first frame; smaller batches let it rasterize
// one batch while it bins the next and reuse the same memory. The triangles
// and their order are the same in any batching, so are the pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct StripDraws {
  std::vector<int32_t> counts;      // index count of each strip drawn
  std::vector<size_t> starts;       // position of its first index in the stream
  std::vector<size_t> batch_ends;   // one past the last strip of each batch
};

// The strips of `strips` to draw for a mesh of `vertex_count` vertices, in
// stream order: a strip that names a vertex outside [0, vertex_count) is
// left out, as is an empty one; a count that is negative or runs past the
// end stops the stream there. A batch closes once its strips hold at least
// `batch_indices` indices (0: every strip on its own batch).
StripDraws plan_strip_draws(const std::vector<int32_t>& strips, size_t vertex_count,
                            size_t batch_indices);
