// Triangle strips: unpacking to faces, switching the stream's encoding, and
// building strips from faces for drawing.
//
// The builder is a greedy walker over `across_edge`: it starts preferably at
// faces with a single free neighbour (the ends of chains), leaves each start
// face across the edge whose far side offers the longest obvious
// continuation, and walks, alternating the turn direction, until it meets a
// used face or the boundary.
#include <algorithm>

#include "geometry/large_arrays.h"
#include "mesh/TriMesh.h"
#include "mesh/connectivity_util.h"
#include "mesh/diagnostics.h"

namespace {

// Length of the strip whose length word stands at `at` in a length-prefixed
// stream, cut to what the stream still holds after it; a negative length
// counts as an empty strip. This keeps every walk inside the stream
// whatever the words say.
int32_t clamped_strip_length(const std::vector<int32_t>& stream, size_t at) {
  const int32_t length = stream[at];
  if (length <= 0) return 0;
  const size_t room = stream.size() - at - 1;
  return static_cast<size_t>(length) > room ? static_cast<int32_t>(room) : length;
}

// Face states of the strip builder: -1 used, otherwise the number of unused
// faces across its edges (0 to 3).
constexpr int8_t kUsed = -1;

// A face that repeats a vertex. The walk finds its way through a face by the
// corner that holds a vertex, which such a face does not tell apart, so it
// would emit triangles that are in no face. Each one forms a strip of its own.
bool repeats_a_vertex(const Face& f) { return f[0] == f[1] || f[1] == f[2] || f[2] == f[0]; }

struct StripBuilder {
  const std::vector<Face>& faces;
  const std::vector<Face>& across;
  std::vector<int8_t> state;
  std::vector<int32_t> pending;  // stack of faces whose state dropped to 1
  std::vector<int32_t>& out;     // terminated-form stream
  std::vector<bool> solo;        // faces that join no other face's strip

  bool unused(int32_t f) const { return f != -1 && !solo[f] && state[f] >= 0; }
  // The face across edge j of f, as far as strips are concerned.
  int32_t linked(int32_t f, int j) const {
    const int32_t n = across[f][j];
    return n == -1 || solo[f] || solo[n] ? -1 : n;
  }

  // How promising it is to leave face f across its edge j (0 to 3).
  int edge_score(int32_t f, int j) const {
    const int32_t n = linked(f, j);
    if (!unused(n)) return 0;
    const int c = corner_of(faces[n], faces[f][(j + 1) % 3]);
    if (c < 0 || !unused(linked(n, c))) return 1;
    return state[n] == 2 ? 3 : 2;
  }

  void mark_used(int32_t f) {
    state[f] = kUsed;
    for (int j = 0; j < 3; j++) {
      const int32_t n = linked(f, j);
      if (n == -1) continue;
      if (state[n] > 0) state[n]--;
      if (state[n] == 1) pending.push_back(n);
    }
  }

  void grow(int32_t f) {
    const Face& start = faces[f];
    if (state[f] == 0) {
      out.insert(out.end(), {start[0], start[1], start[2], -1});
      state[f] = kUsed;
      return;
    }
    // Highest score wins, the lowest edge on ties.
    int best = 0, best_score = edge_score(f, 0);
    for (int j = 1; j < 3; j++) {
      const int score = edge_score(f, j);
      if (score > best_score) best = j, best_score = score;
    }
    int32_t first = start[best];
    int32_t second = start[(best + 1) % 3];
    int32_t third = start[(best + 2) % 3];
    int dir = 1;
    out.push_back(first);
    out.push_back(second);
    for (;;) {
      out.push_back(third);
      mark_used(f);
      const int c = corner_of(faces[f], first);
      const int32_t next = c < 0 ? -1 : linked(f, c);
      if (!unused(next)) break;
      f = next;
      first = second;
      second = third;
      const int p = corner_of(faces[f], first);
      if (p < 0) break;
      third = faces[f][(p + 3 + dir) % 3];
      dir = -dir;
    }
    out.push_back(-1);
  }
};

// True when `across` has one entry per face and each entry is -1 or a face.
bool across_edge_fits(const std::vector<Face>& across, size_t num_faces) {
  if (across.size() != num_faces) return false;
  for (const Face& a : across) {
    for (int j = 0; j < 3; j++) {
      if (a[j] < -1 || (a[j] >= 0 && static_cast<size_t>(a[j]) >= num_faces)) return false;
    }
  }
  return true;
}

}  // namespace

void TriMesh::need_faces() {
  if (!faces.empty()) return;
  if (!tristrips.empty()) {
    unpack_tristrips();
  } else if (!grid.empty()) {
    triangulate_grid();
  }
}

void TriMesh::unpack_tristrips() {
  if (tristrips.empty() || !faces.empty()) return;
  // A stream left in its file form is read in its normal form.
  if (tristrips.back() == -1) convert_strips(TSTRIP_LENGTH);

  progress_printf("Unpacking triangle strips... ");
  const size_t n = tristrips.size();
  size_t count = 0;
  for (size_t at = 0; at < n; at += clamped_strip_length(tristrips, at) + 1) {
    count += std::max(clamped_strip_length(tristrips, at) - 2, 0);
  }
  faces.reserve(count);

  const size_t nv = vertices.size();
  for (size_t at = 0; at < n;) {
    const int32_t length = clamped_strip_length(tristrips, at);
    const int32_t* s = tristrips.data() + at + 1;
    bool flipped = false;
    for (int32_t k = 2; k < length; k++) {
      // Every other triangle of a strip runs the other way round; swapping
      // its first two corners restores the counter-clockwise order.
      const Face f = flipped ? Face(s[k - 1], s[k - 2], s[k]) : Face(s[k - 2], s[k - 1], s[k]);
      flipped = !flipped;
      if (face_in_range(f, nv)) faces.push_back(f);
    }
    at += length + 1;
  }
  progress_printf("Done.\n  %d triangles\n", static_cast<int>(faces.size()));
}

void TriMesh::convert_strips(TstripRep target) {
  if (tristrips.empty()) return;
  std::vector<int32_t>& t = tristrips;
  const size_t n = t.size();
  if (target == TSTRIP_LENGTH) {
    if (t.back() != -1) return;
    // From the back, so each index moves one place on into the slot its
    // successor has already vacated; each -1 becomes the next strip's length.
    int32_t length = 0;
    for (size_t i = n - 1; i-- > 0;) {
      if (t[i] == -1) {
        t[i + 1] = length;
        length = 0;
      } else {
        t[i + 1] = t[i];
        length++;
      }
    }
    t[0] = length;
  } else {
    if (t.back() == -1) return;
    if (n < 2) {
      t.assign(1, -1);
      return;
    }
    // From the front: each index moves one place back over its length word;
    // the slot before each next length word gets the -1. A negative length
    // counts as an empty strip.
    int32_t remaining = std::max(t[0], 0);
    for (size_t i = 1; i < n; i++) {
      if (remaining > 0) {
        t[i - 1] = t[i];
        remaining--;
      } else {
        t[i - 1] = -1;
        remaining = std::max(t[i], 0);
      }
    }
    t[n - 1] = -1;
  }
}

void TriMesh::need_tristrips() {
  if (!tristrips.empty()) return;
  if (faces.empty() && !grid.empty()) need_faces();
  if (faces.empty()) return;

  need_across_edge();
  // A table left over from other faces would send the walk astray.
  if (!across_edge_fits(across_edge, faces.size())) {
    release(across_edge);
    need_across_edge();
  }
  progress_printf("Building triangle strips... ");

  const size_t nv = vertices.size();
  const int32_t nf = static_cast<int32_t>(faces.size());
  // Worst case every strip is one face: three corners and a terminator.
  // The room left over is kept: it was never touched, so it holds no
  // memory, and trimming it would copy the whole stream.
  reserve_large(tristrips, 4 * static_cast<size_t>(nf));
  StripBuilder builder{faces, across_edge, std::vector<int8_t>(nf, 0), {}, tristrips,
                       std::vector<bool>(nf, false)};
  for (int32_t i = 0; i < nf; i++) builder.solo[i] = repeats_a_vertex(faces[i]);
  // A face joins the stack when its state first reaches 1, which happens at
  // most once per face, so nf entries never regrow.
  reserve_large(builder.pending, size_t(nf));
  for (int32_t i = 0; i < nf; i++) {
    // Faces that name no real vertex cannot be drawn: they join no strip.
    if (!face_in_range(faces[i], nv)) {
      builder.state[i] = kUsed;
      continue;
    }
    int8_t linked = 0;
    for (int j = 0; j < 3; j++) linked += builder.linked(i, j) != -1;
    builder.state[i] = linked;
  }
  for (int32_t i = 0; i < nf; i++) {
    if (builder.state[i] == 1) builder.pending.push_back(i);
  }

  int nstrips = 0;
  for (int32_t next_in_order = 0; next_in_order < nf;) {
    int32_t f;
    if (builder.pending.empty()) {
      f = next_in_order++;
    } else {
      f = builder.pending.back();
      builder.pending.pop_back();
    }
    if (builder.state[f] < 0) continue;
    builder.grow(f);
    nstrips++;
  }

  convert_strips(TSTRIP_LENGTH);
  progress_printf("Done.\n  %d strips (Avg. length %.1f)\n", nstrips,
                  nstrips > 0 ? static_cast<float>(nf) / nstrips : 0.0f);
}
