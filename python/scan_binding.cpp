// varkel_icp.Scan: one scan, read from a file or made from arrays, with the
// derived data and k-d tree of a load, its pose, read-only views of its
// arrays and the tool's writers.
#include <cstdint>
#include <memory>
#include <string>

#include "geometry/PoseMatrix.h"
#include "geometry/file_paths.h"
#include "mesh/TriMesh.h"
#include "python/arrays.h"
#include "python/bindings.h"
#include "python/engine_call.h"
#include "registration/load_scan.h"

namespace {

using ScanPtr = std::shared_ptr<PyScan>;

// The mesh library's errors of a failed call, on one line.
std::string error_text(const CallConsole& console, const std::string& fallback) {
  std::string text = console.errors;
  for (char& c : text)
    if (c == '\n') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text.empty() ? fallback : text;
}

// Reads the file as `icp_tool` reads its first scan (the range-grid
// sampler from its start), with the pose file beside it, and derives what a
// load derives. Faces are built for a file that has only strips, so the
// faces view never changes under its reader.
ScanPtr read_scan(const std::string& path) {
  auto scan = std::make_shared<PyScan>();
  CallConsole console;
  const bool ok = run_engine(console, [&] {
    set_edge_sampler_state(0);
    if (!load_scan(scan->slot, 0, path)) return false;
    scan->slot.mesh->need_faces();
    return true;
  });
  if (!ok) throw EngineError("cannot read mesh " + path + ": " + error_text(console, "unreadable"));
  return scan;
}

// The N x 3 float rows of `value` (any array-like of numbers), or ValueError.
py::array_t<float, py::array::c_style | py::array::forcecast> rows_of_three(
    const py::handle& value, const char* what) {
  auto array = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(value);
  if (!array || array.ndim() != 2 || array.shape(1) != 3)
    throw py::value_error(std::string(what) + " must be an N x 3 array of numbers");
  return array;
}

// A scan from arrays, checked as a reader checks a file: at least one
// vertex, every coordinate finite, colours as many as the vertices (floats
// in [0, 1], or uint8 0..255 as a file's bytes), every face index naming a
// vertex.
ScanPtr scan_from_arrays(const py::handle& vertices, const py::handle& colors,
                         const py::handle& faces, const py::handle& pose) {
  auto mesh = std::make_unique<TriMesh>();
  // The arrays are kept while their proxies read them (a conversion makes a new one).
  const auto vertex_rows = rows_of_three(vertices, "vertices");
  auto v = vertex_rows.unchecked<2>();
  if (v.shape(0) == 0) throw py::value_error("vertices: a scan needs at least one vertex");
  for (py::ssize_t i = 0; i < v.shape(0); i++) {
    mesh->vertices.emplace_back(v(i, 0), v(i, 1), v(i, 2));
    if (!is_finite(mesh->vertices.back()))
      throw py::value_error("vertices: row " + std::to_string(i) + " is not finite");
  }
  if (!colors.is_none()) {
    const bool bytes = py::isinstance<py::array_t<uint8_t>>(colors);
    const auto color_rows = rows_of_three(colors, "colors");
    auto c = color_rows.unchecked<2>();
    if (c.shape(0) != v.shape(0)) throw py::value_error("colors: one row per vertex expected");
    for (py::ssize_t i = 0; i < c.shape(0); i++)
      mesh->colors.push_back(bytes ? Color::from_bytes(uint8_t(c(i, 0)), uint8_t(c(i, 1)), uint8_t(c(i, 2)))
                                   : Color(c(i, 0), c(i, 1), c(i, 2)));
  }
  if (!faces.is_none()) {
    auto array = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(faces);
    if (!array || array.ndim() != 2 || array.shape(1) != 3)
      throw py::value_error("faces must be an M x 3 array of vertex indices");
    auto f = array.unchecked<2>();
    for (py::ssize_t i = 0; i < f.shape(0); i++) {
      for (int k = 0; k < 3; k++)
        if (f(i, k) < 0 || f(i, k) >= v.shape(0))
          throw py::value_error("faces: row " + std::to_string(i) + " names no vertex");
      mesh->faces.emplace_back(int32_t(f(i, 0)), int32_t(f(i, 1)), int32_t(f(i, 2)));
    }
  }
  auto scan = std::make_shared<PyScan>();
  if (!pose.is_none()) scan->slot.pose = pose_from(pose, "pose");
  scan->slot.mesh = std::move(mesh);
  scan->slot.loaded = true;
  CallConsole console;
  run_engine(console, [&] {
    derive_loaded_scan(scan->slot);
    return true;
  });
  return scan;
}

const TriMesh& mesh_of(const PyScan& scan) { return *scan.slot.mesh; }

// Writes the mesh through the tool's writers (the name's ending and
// prefixes choose the format) and, with `with_pose`, the pose file beside
// it, so Scan.read gives the scan back.
void write_scan(PyScan& scan, const std::string& path, bool with_pose) {
  CallConsole console;
  std::string failed;
  run_engine(console, [&] {
    if (!scan.slot.mesh->write_mesh(path)) {
      failed = "cannot write mesh " + path;
      return false;
    }
    const std::string pose_path = pose_path_for(path);
    if (with_pose && (pose_path.empty() || !write_pose(scan.slot.pose, pose_path)))
      failed = "cannot write the pose file beside " + path;
    return failed.empty();
  });
  if (!failed.empty()) throw EngineError(failed + ": " + error_text(console, "write failed"));
}

py::array_t<double> get_pose(PyScan& scan) {
  CallConsole console;
  const PoseMatrix pose = run_engine(console, [&] { return scan.slot.pose; });
  return pose_array(pose);
}

void set_pose(PyScan& scan, const py::handle& value) {
  const PoseMatrix pose = pose_from(value, "pose");
  CallConsole console;
  run_engine(console, [&] {
    scan.slot.pose = pose;
    return true;
  });
}

std::string describe(const PyScan& scan) {
  const TriMesh& mesh = mesh_of(scan);
  std::string text = "<varkel_icp.Scan ";
  if (!scan.slot.file_name.empty()) text += "'" + scan.slot.file_name + "' ";
  text += std::to_string(mesh.vertices.size()) + " vertices, " +
          std::to_string(mesh.faces.size()) + " faces";
  if (mesh.colors.size() == mesh.vertices.size()) text += ", colours";
  return text + ">";
}

}  // namespace

void bind_scan(py::module_& m) {
  py::class_<PyScan, ScanPtr> scan(m, "Scan", R"(One scan: a mesh or point set with per-vertex data and its pose.

Made by Scan.read or Scan.from_arrays, never changed by an alignment: align,
prealign and trials return poses and leave the scan's pose to the caller.
The array properties are read-only views of the scan's own memory (no copy),
valid as long as any of them or the scan lives.)");
  scan.def_static("read", &read_scan, py::arg("path"),
                  R"(Reads a scan as icp_tool does: every format the tool reads (PLY, OBJ,
OFF, STL, SM, RAY, 3DS, VIVID), the pose file beside it (scan.ply ->
scan.xf) applied, or the identity. Normals, curvatures and the k-d tree
are derived now. Raises varkel_icp.Error with the reader's message.)");
  scan.def_static("from_arrays", &scan_from_arrays, py::arg("vertices"),
                  py::arg("colors") = py::none(), py::arg("faces") = py::none(),
                  py::arg("pose") = py::none(),
                  R"(A scan from arrays: vertices N x 3, colors N x 3 (floats in [0, 1] or
uint8), faces M x 3 vertex indices (none: a point set, normals from the
neighbours), pose 4x4 (none: the identity). Raises ValueError for a bad
shape, a non-finite coordinate or a face naming no vertex.)");
  scan.def_property_readonly("vertices", [](py::object self) {
    const TriMesh& mesh = mesh_of(self.cast<const PyScan&>());
    return read_only_view(reinterpret_cast<const float*>(mesh.vertices.data()), mesh.vertices.size(), 3, self);
  }, "N x 3 float32: positions in the scan's own frame (the pose places them).");
  scan.def_property_readonly("normals", [](py::object self) {
    const TriMesh& mesh = mesh_of(self.cast<const PyScan&>());
    return read_only_view(reinterpret_cast<const float*>(mesh.normals.data()), mesh.normals.size(), 3, self);
  }, "N x 3 float32: unit normals, own frame.");
  scan.def_property_readonly("colors", [](py::object self) -> py::object {
    const TriMesh& mesh = mesh_of(self.cast<const PyScan&>());
    if (mesh.colors.size() != mesh.vertices.size()) return py::none();
    return read_only_view(reinterpret_cast<const float*>(mesh.colors.data()), mesh.colors.size(), 3, self);
  }, "N x 3 float32 in [0, 1], or None for a scan without colours.");
  scan.def_property_readonly("faces", [](py::object self) {
    const TriMesh& mesh = mesh_of(self.cast<const PyScan&>());
    return read_only_view(reinterpret_cast<const int32_t*>(mesh.faces.data()), mesh.faces.size(), 3, self);
  }, "M x 3 int32 vertex indices (0 rows for a point set).");
  scan.def_property_readonly("curvatures", [](py::object self) {
    const TriMesh& mesh = mesh_of(self.cast<const PyScan&>());
    return py::make_tuple(
        read_only_view(mesh.principal_curv1.data(), mesh.principal_curv1.size(), 0, self),
        read_only_view(mesh.principal_curv2.data(), mesh.principal_curv2.size(), 0, self));
  }, "(k1, k2): the principal curvatures per vertex, float32, k1 >= k2 (empty for a point set).");
  scan.def_property("pose", &get_pose, &set_pose,
                    "4x4 float64, row by row: scan frame -> common frame (a copy; assign to change).");
  scan.def_property_readonly("path", [](const PyScan& s) -> py::object {
    if (s.slot.file_name.empty()) return py::none();
    return py::str(s.slot.file_name);
  }, "The file it was read from, or None.");
  scan.def("write", &write_scan, py::arg("path"), py::arg("with_pose") = true,
           R"(Writes the scan through the tool's writers: the name's ending and
prefixes choose the format, as in icp_tool convert (e.g. "asc:norm:out.ply").
With with_pose the pose file beside it (out.xf) too. Raises varkel_icp.Error.)");
  scan.def("__repr__", &describe);
}
