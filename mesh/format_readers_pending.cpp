#include "mesh/mesh_io.h"

// Placeholders until the OBJ, OFF, SM, STL, 3DS, VIVID and ray readers land;
// the branch that builds them deletes this file.
bool read_ray(TriMesh&, std::FILE*) { return false; }
bool read_obj(TriMesh&, std::FILE*) { return false; }
bool read_off(TriMesh&, std::FILE*) { return false; }
bool read_sm(TriMesh&, std::FILE*) { return false; }
bool read_stl(TriMesh&, std::FILE*) { return false; }
bool read_3ds(TriMesh&, std::FILE*) { return false; }
bool read_vivid(TriMesh&, std::FILE*) { return false; }
