// The parts of the module varkel_icp, one per concept, each adding its
// classes and functions to the module (python/module.cpp calls them in order).
#pragma once

#include <pybind11/pybind11.h>

namespace py = pybind11;

void bind_scan(py::module_& m);       // Scan (python/scan_binding.cpp)
void bind_alignment(py::module_& m);  // align, prealign (python/align_binding.cpp)
void bind_trials(py::module_& m);     // trials (python/trials_binding.cpp)
