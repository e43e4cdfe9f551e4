// OFF reader: after the "OFF" keyword (taken by the dispatcher) a line with
// the vertex and face counts (and an edge count, ignored), the positions,
// then one polygon per line as a count followed by that many indices; the
// rest of a polygon's line (a colour, for instance) is ignored.
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

// Parses up to `max` integers from the front of `line`; returns how many.
int parse_ints(const char* line, long* values, int max) {
  int n = 0;
  while (n < max) {
    char* end;
    errno = 0;
    const long v = std::strtol(line, &end, 10);
    if (end == line || errno == ERANGE || v < INT_MIN || v > INT_MAX) break;
    values[n++] = v;
    line = end;
  }
  return n;
}

}  // namespace

bool read_off(TriMesh& mesh, std::FILE* f) {
  skip_comments(f);
  // The counts are read from one line so that a missing edge count cannot
  // take the first coordinate in its place.
  char line[1024];
  long counts[3];
  if (!std::fgets(line, sizeof line, f) || parse_ints(line, counts, 3) < 2) {
    error_printf("Couldn't read vertex and face counts.\n");
    return false;
  }
  const int nverts = static_cast<int>(counts[0]), nfaces = static_cast<int>(counts[1]);
  FaceLayout polygons;  // "count i0 i1 ...", then the rest of the line
  polygons.record_len = 1;
  polygons.count = 0;
  polygons.first_index = 1;
  polygons.line_per_face = true;
  return read_verts_ascii(mesh, f, nverts, VertexLayout::positions_only(3)) &&
         read_faces_ascii(mesh, f, nfaces, polygons);
}
