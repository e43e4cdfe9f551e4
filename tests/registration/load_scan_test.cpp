// The derived data of a loaded scan on several threads: the parts of the
// load sequence then run side by side, and every array, the tree's answers,
// the curvature scale and the progress text must be exactly what one thread
// gives (which builds them one after another in the load order).
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/console.h"
#include "geometry/parallel.h"
#include "mesh/diagnostics.h"
#include "registration/curvature_scale.h"
#include "test_meshes.h"

namespace {

template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

struct Loaded {
  MeshSlot slot;
  std::string text;  // the progress text of the derivation
  std::vector<int> nearest;  // the tree's answers to points beside some vertices
};

// Derives `mesh` as a load does, on `threads` threads.
Loaded derive(const TriMesh& mesh, int threads) {
  Loaded out;
  out.slot.mesh = std::make_unique<TriMesh>(mesh);
  set_thread_count(threads);
  set_curvature_scale_generator_state(12345);
  set_verbose(true);
  capture_console(out.text, [&] {
    derive_loaded_scan(out.slot);
    return true;
  });
  set_thread_count(0);
  const std::vector<point>& v = out.slot.mesh->vertices;
  for (size_t i = 0; i < v.size(); i += 97) {
    const point q = v[i] + point(0.003f, -0.002f, 0.001f);
    const float* p = out.slot.kdtree->find_nearest(q.data(), 0.0f);
    out.nearest.push_back(p ? KDtree::index_of(p, v) : -1);
  }
  return out;
}

}  // namespace

TEST(LoadScan, ThreadsGiveTheLoadOrdersArraysAndText) {
  // Large enough for every loop to split over 3 threads.
  TriMesh fresh;
  {
    std::unique_ptr<TriMesh> field = testmesh::height_field(150, 140, -1, -1, 1, 1);
    fresh.vertices = field->vertices;
    fresh.colors = field->colors;
    fresh.faces = field->faces;
  }
  TriMesh from_strips = fresh;  // strips only: derived in the load order on any count
  from_strips.need_tristrips();
  from_strips.faces.clear();
  from_strips.across_edge.clear();
  from_strips.vertex_faces.release();

  for (const TriMesh* mesh : {&fresh, &from_strips}) {
    const Loaded one = derive(*mesh, 1);
    EXPECT_NE(one.text.find("Computing dcurv"), std::string::npos);
    for (int threads : {2, 3}) {
      const Loaded many = derive(*mesh, threads);
      const TriMesh& a = *one.slot.mesh;
      const TriMesh& b = *many.slot.mesh;
      SCOPED_TRACE(std::to_string(threads) + " threads, " +
                   (mesh == &fresh ? "faces" : "strips"));
      EXPECT_EQ(many.text, one.text);
      EXPECT_TRUE(same_bits(b.faces, a.faces));
      EXPECT_TRUE(same_bits(b.normals, a.normals));
      EXPECT_TRUE(same_bits(b.tristrips, a.tristrips));
      EXPECT_TRUE(same_bits(b.across_edge, a.across_edge));
      EXPECT_TRUE(b.vertex_faces == a.vertex_faces);
      EXPECT_TRUE(b.neighbors == a.neighbors);
      EXPECT_TRUE(same_bits(b.corner_areas, a.corner_areas));
      EXPECT_TRUE(same_bits(b.principal_dir1, a.principal_dir1));
      EXPECT_TRUE(same_bits(b.principal_curv2, a.principal_curv2));
      EXPECT_TRUE(same_bits(b.dcurv, a.dcurv));
      EXPECT_EQ(std::memcmp(&b.bounding_sphere, &a.bounding_sphere, sizeof a.bounding_sphere), 0);
      EXPECT_EQ(many.slot.curvature_scale, one.slot.curvature_scale);
      EXPECT_EQ(many.nearest, one.nearest);
    }
  }
}
