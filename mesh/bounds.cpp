#include "mesh/TriMesh.h"

// Placeholders until this part of the mesh library is built.
void TriMesh::need_bounding_box() {}
void TriMesh::need_bounding_sphere() {}
