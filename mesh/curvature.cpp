#include "mesh/TriMesh.h"

// Placeholders until this part of the mesh library is built.
void TriMesh::need_point_areas() {}
void TriMesh::need_curvatures() {}
void TriMesh::need_dcurv() {}
