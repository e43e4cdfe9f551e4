#include "registration/load_scan.h"

#include <cstdio>
#include <memory>
#include <string>

#include "geometry/console.h"
#include "geometry/parallel.h"
#include "mesh/diagnostics.h"
#include "registration/curvature_scale.h"
#include "spatial/KDtree.h"

bool load_scan(MeshSlot& slot, int index, const std::string& path) {
  slot.clear();
  slot.index = index;
  slot.file_name = path;
  slot.mesh.reset(TriMesh::read_mesh(path));
  if (!slot.mesh) return false;

  slot.xf_name = pose_path_for(path);
  read_slot_pose(slot);

  slot.loaded = true;
  derive_loaded_scan(slot);
  return true;
}

void read_slot_pose(MeshSlot& slot) {
  PoseMatrix pose;
  slot.pose_check = read_pose_file(slot.xf_name, pose);
  const PoseFileStatus status = slot.pose_check.status;
  slot.pose = pose_is_usable(status) ? pose : identity();
  if (!pose_needs_warning(status)) return;
  std::fprintf(console_stream(), "Pose file %s of mesh %d %s: the mesh is placed by %s.\n",
               slot.xf_name.c_str(), slot.index + 1, pose_problem_text(slot.pose_check).c_str(),
               pose_is_usable(status) ? "it as it stands" : "the identity");
  std::fflush(console_stream());
}

namespace {

// The derived data in the program's load order on this thread alone (with
// its loops on the cores as usual), the k-d tree last.
void derive_in_order(MeshSlot& slot) {
  TriMesh& mesh = *slot.mesh;
  mesh.need_tristrips();
  mesh.need_bounding_sphere();
  mesh.need_curvatures();
  mesh.need_dcurv();
  mesh.need_neighbors();
  if (!slot.kdtree) slot.kdtree = std::make_unique<KDtree>(mesh.vertices);
}

// True for a mesh with faces from which nothing but normals has been derived
// yet: the parts below then depend on nothing but the faces, the normals
// and the vertex-face table, and each builds exactly what the load order
// would build.
bool freshly_read(const TriMesh& mesh) {
  return !mesh.faces.empty() && mesh.tristrips.empty() && mesh.vertex_faces.empty() &&
         mesh.across_edge.empty() && mesh.neighbors.empty();
}

// The same data as derive_in_order, in independent parts run side by side,
// one part per thread at a time (longest first; a part's own loops run on
// its thread). Each part writes only its own arrays and reads only data
// made before the parts start, so every array is what the load order gives
// on any number of threads; the parts' progress text is collected and
// printed afterwards in the load order.
void derive_side_by_side(MeshSlot& slot) {
  TriMesh& mesh = *slot.mesh;
  // Read by both the strips (through the across-edge map) and the
  // neighbours, so made first; in the load order its line is the first
  // of the strips' lines.
  mesh.need_vertex_faces();
  std::unique_ptr<KDtree> tree;
  enum Part { kCurvatures, kStrips, kTree, kNeighbors, kSphere, kParts };
  std::string text[kParts];
  parallel_for(kParts, 1, [&](size_t part) {
    capture_console(text[part], [&] {
      switch (part) {
        case kCurvatures:
          mesh.need_curvatures();
          mesh.need_dcurv();
          break;
        case kStrips: mesh.need_tristrips(); break;
        case kTree:
          if (!slot.kdtree) tree = std::make_unique<KDtree>(mesh.vertices);
          break;
        case kNeighbors: mesh.need_neighbors(); break;
        case kSphere: mesh.need_bounding_sphere(); break;
      }
      return true;
    });
  });
  if (tree) slot.kdtree = std::move(tree);
  std::FILE* out = console_stream();
  for (Part part : {kStrips, kSphere, kCurvatures, kNeighbors}) std::fputs(text[part].c_str(), out);
  std::fflush(out);
}

}  // namespace

void derive_loaded_scan(MeshSlot& slot) {
  TriMesh& mesh = *slot.mesh;
  mesh.need_normals();
  // Side by side only where the parts' text can be put back in order: it
  // must reach the console stream, not a hook.
  if (thread_count() > 1 && freshly_read(mesh) && !progress_hooked()) {
    derive_side_by_side(slot);
  } else {
    derive_in_order(slot);
  }
  compute_curvature_scale(slot);
}
