// Conversions between the engine's records and NumPy arrays.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"

namespace py = pybind11;

// A pose as a new 4x4 float64 array, row by row as the pose file writes it.
py::array_t<double> pose_array(const PoseMatrix& pose);
// A pose from any 4x4 array of numbers; ValueError naming `what` for
// another shape or a NaN or infinite entry.
PoseMatrix pose_from(const py::handle& value, const char* what);

// A read-only array over `count` records of `width` values of T at `data`,
// which `owner` keeps alive and unchanged (no copy). Shape (count, width),
// or (count,) when width is 0.
template <typename T>
py::array read_only_view(const T* data, size_t count, size_t width, const py::handle& owner) {
  std::vector<py::ssize_t> shape{py::ssize_t(count)};
  std::vector<py::ssize_t> strides{py::ssize_t(sizeof(T) * (width ? width : 1))};
  if (width) {
    shape.push_back(py::ssize_t(width));
    strides.push_back(py::ssize_t(sizeof(T)));
  }
  static const T empty{};
  py::array view(py::dtype::of<T>(), shape, strides, data ? data : &empty, owner);
  py::detail::array_proxy(view.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  return view;
}
