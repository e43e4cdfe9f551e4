#include "registration/MeshSlot.h"

#include "spatial/KDtree.h"

MeshSlot::MeshSlot() = default;
MeshSlot::~MeshSlot() = default;

MeshSlot::MeshSlot(const MeshSlot& other) { *this = other; }

MeshSlot& MeshSlot::operator=(const MeshSlot& other) {
  if (this == &other) return *this;
  index = other.index;
  mesh = other.mesh ? std::make_unique<TriMesh>(*other.mesh) : nullptr;
  pose = other.pose;
  kdtree.reset();
  weights = other.weights;
  cdf = other.cdf;
  file_name = other.file_name;
  xf_name = other.xf_name;
  stored_name = other.stored_name;
  color_mode = other.color_mode;
  color_tolerance = other.color_tolerance;
  color_cache_key = other.color_cache_key;
  significant_colors = other.significant_colors;
  significant_flags = other.significant_flags;
  color_dirs = other.color_dirs;
  feature_marks = other.feature_marks;
  loaded = other.loaded;
  brightness = other.brightness;
  lighting = other.lighting;
  two_sided = other.two_sided;
  wireframe = other.wireframe;
  curvature_scale = other.curvature_scale;
  return *this;
}

void MeshSlot::clear() {
  MeshSlot fresh;
  fresh.index = index;
  *this = fresh;
}
