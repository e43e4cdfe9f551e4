// Every mesh format through the dispatcher. The first byte picks the name
// the dispatcher sees (".stl" is recognised by name, the rest by content);
// the remaining bytes are the file.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "mesh/mesh_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input::silence();
  if (size == 0) return 0;
  const char* name = (data[0] & 1) ? "fuzz.stl" : "fuzz.mesh";
  const bool sized = (data[0] & 2) != 0;
  std::FILE* f = sized ? fuzz_input::sized_stream(data + 1, size - 1)
                       : fuzz_input::unsized_stream(data + 1, size - 1);
  if (!f) return 0;
  TriMesh m;
  if (read_mesh_stream(m, f, name, name)) {
    for (const Face& face : m.faces)
      for (int j = 0; j < 3; j++)
        if (face[j] < 0 || static_cast<size_t>(face[j]) >= m.vertices.size()) std::abort();
  }
  std::fclose(f);
  return 0;
}
