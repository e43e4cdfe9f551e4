#include "python/arrays.h"

#include <cmath>

py::array_t<double> pose_array(const PoseMatrix& pose) {
  py::array_t<double> out({4, 4});
  auto m = out.mutable_unchecked<2>();
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) m(r, c) = pose.at(r, c);
  return out;
}

PoseMatrix pose_from(const py::handle& value, const char* what) {
  auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
  if (!array || array.ndim() != 2 || array.shape(0) != 4 || array.shape(1) != 4)
    throw py::value_error(std::string(what) + " must be a 4x4 array of numbers");
  PoseMatrix pose;
  auto m = array.unchecked<2>();
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) pose.at(r, c) = m(r, c);
  if (!is_finite(pose)) throw py::value_error(std::string(what) + " has a NaN or infinite entry");
  return pose;
}
