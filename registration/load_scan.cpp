#include "registration/load_scan.h"

#include "registration/curvature_scale.h"

bool load_scan(MeshSlot& slot, int index, const std::string& path) {
  slot.clear();
  slot.index = index;
  slot.file_name = path;
  slot.mesh.reset(TriMesh::read_mesh(path));
  if (!slot.mesh) return false;

  slot.xf_name = pose_path_for(path);
  if (slot.xf_name.empty() || !read_pose(slot.xf_name, slot.pose)) slot.pose = identity();

  slot.loaded = true;
  derive_loaded_scan(slot);
  return true;
}

void derive_loaded_scan(MeshSlot& slot) {
  TriMesh& mesh = *slot.mesh;
  mesh.need_normals();
  mesh.need_tristrips();
  mesh.need_bounding_sphere();
  mesh.need_curvatures();
  mesh.need_dcurv();
  mesh.need_neighbors();
  compute_curvature_scale(slot);
}
