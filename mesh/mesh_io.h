// Shared body readers of the mesh file formats (internal to the mesh layer).
// Every function reads from a C stream, appends to the mesh, and returns
// false on a short read or a failed scan; none allocates more than the input
// can hold.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "mesh/TriMesh.h"

bool read_ply_header_and_body(TriMesh& mesh, std::FILE* f);

bool read_verts_binary(TriMesh& mesh, std::FILE* f, bool& need_swap, int nverts, int vert_len,
                       int vert_pos, int vert_norm, int vert_color, bool float_color,
                       int vert_conf);
bool read_verts_ascii(TriMesh& mesh, std::FILE* f, int nverts, int vert_len, int vert_pos,
                      int vert_norm, int vert_color, bool float_color, int vert_conf);
bool read_faces_binary(TriMesh& mesh, std::FILE* f, bool need_swap, int nfaces, int face_len,
                       int face_count, int face_idx);
bool read_faces_ascii(TriMesh& mesh, std::FILE* f, int nfaces, int face_len, int face_count,
                      int face_idx, bool skip_rest_of_line);
// Appends the triangles of one polygon to `faces`.
void add_polygon(TriMesh& mesh, const std::vector<int>& indices);
// Skips white space and "#" comments; the next other character is pushed back.
void skip_comments(std::FILE* f);
void swap_bytes_4(void* value);
void swap_bytes_2(void* value);

bool read_ray(TriMesh& mesh, std::FILE* f);
bool read_obj(TriMesh& mesh, std::FILE* f);
bool read_off(TriMesh& mesh, std::FILE* f);
bool read_sm(TriMesh& mesh, std::FILE* f);
bool read_stl(TriMesh& mesh, std::FILE* f);
bool read_3ds(TriMesh& mesh, std::FILE* f);
bool read_vivid(TriMesh& mesh, std::FILE* f);
