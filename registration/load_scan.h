// The load sequence shared by the program's mesh loading and icp_tool: read a
// mesh file, its pose file and its derived data into a slot.
#pragma once

#include <string>

#include "geometry/file_paths.h"
#include "registration/MeshSlot.h"

// Clears `slot`, sets slot.index = index and slot.file_name = path, and
// reads the mesh (read_mesh prints why on failure: then false, slot empty).
// Pose: slot.xf_name = pose_path_for(path), then read_slot_pose. Then
// the derived data in the program's load order (normals, strips, bounding
// sphere, curvatures, their derivatives, neighbours) with the k-d tree,
// slot.loaded = true, and compute_curvature_scale.
bool load_scan(MeshSlot& slot, int index, const std::string& path);

// slot.pose from slot.xf_name (geometry/pose_file.h): the file's matrix when
// it is usable (rigid or merely not rigid), else the identity (no name, no
// file, or a file that cannot be used); slot.pose_check says which. A file
// that is there but unusable or not rigid gets one line on the console
// stream: "Pose file NAME of mesh K PROBLEM: the mesh is placed by
// {the identity|it as it stands}."
void read_slot_pose(MeshSlot& slot);

// The derived data of a freshly read scan as the program's load order
// gives it (normals, strips, bounding sphere, curvatures, their
// derivatives, neighbours, and the slot's k-d tree when it has none), then
// the slot's curvature scale. On several threads the parts after the
// normals run side by side, with the same arrays and the same progress
// text, in the same order, as the load order. The slot must hold a mesh.
void derive_loaded_scan(MeshSlot& slot);
