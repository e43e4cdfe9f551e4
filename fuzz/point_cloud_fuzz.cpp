// The point-cloud checks on arbitrary bytes, and the library on every input
// that passes them. The first byte picks the format (PCD, xyz, xyzn, xyzrgb,
// pts); the remaining bytes are the file. An input the checks pass must give
// the library exactly the points the checks counted (anything else means the
// library read past or short of what was checked), and the reader must then
// turn it into a mesh whose indices all name vertices.
//
// The library is not built for the fuzzer: it runs as the module the
// programs open (build-fuzz/lib/varkel_icp/icp_open3d.so); without it only
// the checks run. ICP_FUZZ_STRICT=1 also stops on an input the checks pass
// and the library refuses.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "mesh/mesh_io.h"
#include "mesh/point_cloud_library.h"

namespace {

const char* const kNames[] = {"fuzz.pcd", "fuzz.xyz", "fuzz.xyzn", "fuzz.xyzrgb", "fuzz.pts"};

void read_as_mesh(const uint8_t* data, size_t size, const char* name) {
  std::FILE* f = fuzz_input::sized_stream(data, size);
  if (!f) return;
  TriMesh m;
  if (read_mesh_stream(m, f, name, name))
    for (const Face& face : m.faces)
      for (int j = 0; j < 3; j++)
        if (face[j] < 0 || static_cast<size_t>(face[j]) >= m.vertices.size()) std::abort();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input::silence();
  if (size == 0) return 0;
  const char* name = kNames[data[0] % 5];
  const PointCloudFormat format = point_cloud_format(name);
  const char* file = reinterpret_cast<const char*>(data + 1);
  PointCloudShape shape;
  std::string why;
  if (!check_point_cloud(file, size - 1, format, shape, why)) return 0;
  static const PointCloudLibrary* library = point_cloud_library(nullptr);
  if (!library) return 0;
  LibraryCloud cloud;
  if (!library->read(file, size - 1, format, cloud, why)) {
    if (std::getenv("ICP_FUZZ_STRICT")) std::abort();
    return 0;
  }
  if (cloud.points.size() != shape.points) std::abort();
  if (!cloud.colors.empty() && cloud.colors.size() != shape.points) std::abort();
  if (!cloud.normals.empty() && cloud.normals.size() != shape.points) std::abort();
  read_as_mesh(data + 1, size - 1, name);
  return 0;
}
