// Conversions between the project's records and the library's, and the
// wrapper that turns the library's exceptions into a message: shared by
// every table of the module.
#pragma once

#include <string>

#include <Eigen/Core>
#include <open3d/geometry/PointCloud.h>

#include "registration/global_matching.h"

// The cloud's points, normals and colours (each copied when present).
open3d::geometry::PointCloud to_cloud(const MatchCloud& cloud);
// 4x4 column-major arrays (PoseMatrix::m) to and from the library's matrices.
void to_array(const Eigen::Matrix4d& m, double out[16]);
Eigen::Matrix4d from_array(const double in[16]);
// The library's message without its terminal colour codes and line ends.
std::string plain_text(const char* text);

// Runs `body`, turning the library's exceptions into false and a message.
template <typename Body>
bool guarded(std::string& error, Body body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    error = plain_text(e.what());
  } catch (...) {
    error = "unknown failure in the point-cloud library";
  }
  return false;
}
