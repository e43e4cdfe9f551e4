#include "mesh/TriMesh.h"

// Placeholders until this part of the mesh library is built.
void TriMesh::remove_vertices(const std::vector<bool>&) {}
void TriMesh::remove_unused_vertices() {}
void TriMesh::remap_verts(const std::vector<int>&) {}
void TriMesh::reorder_verts() {}
