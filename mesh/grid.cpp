#include "mesh/TriMesh.h"

// Placeholders until this part of the mesh library is built.
void TriMesh::triangulate_grid() {}
void TriMesh::remove_slivers() {}
float TriMesh::typical_edge_length() { return 0.0f; }
