#include "mesh/TriMesh.h"

// Placeholders until this part of the mesh library is built.
TriMesh* TriMesh::read_mesh(const std::string&) { return nullptr; }
bool TriMesh::read_into(const std::string&) { return false; }
