#include "mesh/TriMesh.h"

// Placeholders until this part of the mesh library is built.
bool TriMesh::write_mesh(const std::string&) { return false; }
