// Reading a point-cloud file (PCD, xyz, xyzn, xyzrgb, pts) with the
// point-cloud library. The implementation lives in the shared module
// icp_open3d.so (bridge/open3d/, the only code that includes Open3D), opened
// on the first call of point_cloud_library(), as the prealignment's matching
// is (registration/global_matching.h): a process that never reads such a
// file never loads it, and a build or machine without it reads every other
// format and says this one is unavailable.
//
// The library is handed bytes that passed check_point_cloud
// (mesh/point_cloud_checks.h) and nothing else: the reader works on its own
// copy of them, so what it reads is what was checked.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "geometry/Vec.h"
#include "mesh/point_cloud_checks.h"

// Every point the file holds, in file order, NaN ones included.
struct LibraryCloud {
  std::vector<point> points;
  std::vector<point> normals;  // empty, or one per point
  std::vector<Color> colors;   // empty, or one per point, each in [0, 1]
};

struct PointCloudLibrary {
  int version;  // kPointCloudLibraryVersion

  // Reads the `size` bytes of a file of `format` into `cloud`. False, with
  // `error` set to one line, when the library refuses the file or fails; it
  // never throws. One call at a time (the module's lock), on one thread.
  bool (*read)(const char* data, size_t size, PointCloudFormat format, LibraryCloud& cloud,
               std::string& error);
};

const int kPointCloudLibraryVersion = 1;

// The module's table, opened on the first call; null when the module or one
// of its libraries is missing or does not match, with `*why` (may be null)
// saying which.
const PointCloudLibrary* point_cloud_library(std::string* why);
