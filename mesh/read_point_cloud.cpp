// Point-cloud files into the mesh record: the whole file is read, checked
// (mesh/point_cloud_checks.h), then read by the library
// (mesh/point_cloud_library.h) and turned into vertices, colours, normals
// and, for a PCD of one point per pixel, a range grid.
#include <cmath>
#include <string>
#include <vector>

#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"
#include "mesh/point_cloud_checks.h"
#include "mesh/point_cloud_library.h"

namespace {

// Every byte left in `f`: a regular file in one read of its known size,
// another stream in chunks as its bytes arrive.
bool read_all(std::FILE* f, std::vector<char>& bytes) {
  const int64_t known = bytes_remaining(f);
  if (known >= 0) {
    bytes.resize(size_t(known));
    if (read_raw(bytes.data(), 1, bytes.size(), f) != bytes.size()) return false;
  }
  for (;;) {
    const size_t have = bytes.size();
    bytes.resize(have + (size_t(1) << 20));
    const size_t got = read_raw(bytes.data() + have, 1, size_t(1) << 20, f);
    bytes.resize(have + got);
    if (got == 0) return !std::ferror(f);
  }
}

// A colour read from bytes (PCD's rgb/rgba, pts' columns) gets back its
// byte, so it matches the same colour read from PLY exactly.
Color byte_colour(const Color& c) {
  auto byte = [](float v) { return uint8_t(std::lround(std::fmin(std::fmax(v, 0.0f), 1.0f) * 255.0f)); };
  return Color::from_bytes(byte(c.r), byte(c.g), byte(c.b));
}

// An organized cloud's pixels as a range grid, triangulated as a PLY range
// grid is. The camera looks along +z with image rows running down +y, so
// the grid's row 0 is the image's last row: the grid's triangles then face
// the camera, as a scanner's do. Pixels without a finite point are empty
// cells; their points are dropped afterwards with every other NaN vertex.
void triangulate_pixels(TriMesh& mesh, const PointCloudShape& shape) {
  mesh.grid_width = int32_t(shape.width);
  mesh.grid_height = int32_t(shape.height);
  mesh.grid.resize(size_t(shape.points));
  for (uint32_t row = 0; row < shape.height; row++)
    for (uint32_t col = 0; col < shape.width; col++) {
      const uint32_t pixel = row * shape.width + col;
      mesh.grid[size_t(shape.height - 1 - row) * shape.width + col] =
          is_finite(mesh.vertices[pixel]) ? int32_t(pixel) : -1;
    }
  mesh.triangulate_grid();
}

}  // namespace

bool read_point_cloud(TriMesh& mesh, std::FILE* f, PointCloudFormat format) {
  std::vector<char> bytes;
  if (!read_all(f, bytes)) {
    error_printf("Can't read the file.\n");
    return false;
  }
  PointCloudShape shape;
  std::string why;
  if (!check_point_cloud(bytes.data(), bytes.size(), format, shape, why)) {
    error_printf("Bad point-cloud file: %s.\n", why.c_str());
    return false;
  }
  const PointCloudLibrary* library = point_cloud_library(&why);
  if (!library) {
    error_printf("Point-cloud files cannot be read here: %s.\n", why.c_str());
    return false;
  }
  LibraryCloud cloud;
  if (!library->read(bytes.data(), bytes.size(), format, cloud, why)) {
    error_printf("%s.\n", why.c_str());
    return false;
  }
  if (cloud.points.size() != shape.points) {
    error_printf("The library read %zu points where the file holds %u.\n", cloud.points.size(),
                 shape.points);
    return false;
  }
  mesh.vertices = std::move(cloud.points);
  if (shape.normals) mesh.normals = std::move(cloud.normals);
  if (shape.colors && format == PointCloudFormat::kXyzrgb) mesh.colors = std::move(cloud.colors);
  if (shape.colors && format != PointCloudFormat::kXyzrgb)
    for (const Color& c : cloud.colors) mesh.colors.push_back(byte_colour(c));
  if (shape.height > 1) triangulate_pixels(mesh, shape);
  return true;
}
