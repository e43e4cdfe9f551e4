#include "mesh/TriMesh.h"

void TriMesh::clear() {
  *this = TriMesh();
}

point TriMesh::trinorm(int f) {
  need_faces();
  const Face& face = faces[f];
  return ::trinorm(vertices[face[0]], vertices[face[1]], vertices[face[2]]);
}
