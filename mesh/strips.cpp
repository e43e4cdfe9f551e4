#include "mesh/TriMesh.h"

// Placeholders until this part of the mesh library is built.
void TriMesh::need_faces() {}
void TriMesh::need_tristrips() {}
void TriMesh::convert_strips(TstripRep) {}
void TriMesh::unpack_tristrips() {}
void TriMesh::remove_faces(const std::vector<bool>&) {}
