// The PLY reader on arbitrary bytes, both as a file of known size and as a
// stream of unknown size. Whatever it accepts must satisfy the mesh's index
// invariant.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "mesh/mesh_io.h"

namespace {

void check(const TriMesh& m) {
  const size_t n = m.vertices.size();
  for (const Face& f : m.faces)
    for (int j = 0; j < 3; j++)
      if (f[j] < 0 || static_cast<size_t>(f[j]) >= n) std::abort();
  for (int32_t c : m.grid)
    if (c < -1 || c >= static_cast<int64_t>(n)) std::abort();
  if (!m.colors.empty() && m.colors.size() != n) std::abort();
}

void read_one(std::FILE* f) {
  if (!f) return;
  TriMesh m;
  if (read_mesh_stream(m, f, "fuzz.ply", "fuzz.ply")) check(m);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input::silence();
  read_one(fuzz_input::sized_stream(data, size));
  read_one(fuzz_input::unsized_stream(data, size));
  return 0;
}
