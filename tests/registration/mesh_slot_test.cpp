// A slot is a value: copies are deep and never share the source's k-d tree,
// which indexes the source's own vertex array.
#include <gtest/gtest.h>

#include "spatial/KDtree.h"
#include "registration/MeshSlot.h"

TEST(MeshSlot, CopyIsDeepAndStartsWithoutATree) {
  MeshSlot source;
  source.mesh = std::make_unique<TriMesh>();
  source.mesh->vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)};
  source.kdtree = std::make_unique<KDtree>(source.mesh->vertices);
  source.color_tolerance = 9.0f;

  MeshSlot copy = source, assigned;
  assigned.kdtree = std::make_unique<KDtree>(source.mesh->vertices);
  assigned = source;
  for (const MeshSlot* s : {&copy, &assigned}) {
    ASSERT_TRUE(s->mesh);
    EXPECT_NE(s->mesh.get(), source.mesh.get());
    EXPECT_EQ(s->mesh->vertices.size(), 3u);
    EXPECT_FALSE(s->kdtree);
    EXPECT_EQ(s->color_tolerance, 9.0f);
  }
  EXPECT_TRUE(source.kdtree);
}
