#include "registration/load_scan.h"

#include <cstdio>
#include <memory>
#include <thread>

#include "geometry/console.h"
#include "geometry/parallel.h"
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

void derive_loaded_scan(MeshSlot& slot) {
  TriMesh& mesh = *slot.mesh;
  mesh.need_normals();
  // The tree reads nothing but the vertices, which nothing below changes:
  // it is built on a thread of its own while this one derives the rest
  // (whose loops split over the cores as usual). Started after the normals,
  // whose point-set fit builds a tree of its own. On one thread
  // (ICP_THREADS=1) it is built last instead.
  std::unique_ptr<KDtree> tree;
  std::thread tree_builder;
  if (!slot.kdtree && thread_count() > 1) {
    tree_builder = std::thread([&tree, &mesh] { tree = std::make_unique<KDtree>(mesh.vertices); });
  }
  mesh.need_tristrips();
  mesh.need_bounding_sphere();
  mesh.need_curvatures();
  mesh.need_dcurv();
  mesh.need_neighbors();
  compute_curvature_scale(slot);
  if (tree_builder.joinable()) {
    tree_builder.join();
    slot.kdtree = std::move(tree);
  }
  if (!slot.kdtree) slot.kdtree = std::make_unique<KDtree>(mesh.vertices);
}
