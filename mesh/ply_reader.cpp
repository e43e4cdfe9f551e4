#include "mesh/mesh_io.h"

// Placeholder until the PLY header parser lands.
bool read_ply_header_and_body(TriMesh&, std::FILE*) { return false; }
