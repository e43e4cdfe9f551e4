// Scene set-up around the loaded meshes: the view spheres, the view
// transforms built from them, the view reset ("Reset"), "Centrar" and the
// "Superpuestas"/"Separadas" radio group. No drawing happens here; the
// display reads what these leave in ViewState.
#pragma once

#include "app/AppState.h"

// The view transform that frames a sphere: T(0, 0, -5r) · T(-c), i.e. the
// centre moves to the origin and then five radii along -Z, in front of the camera.
PoseMatrix view_transform(const BoundingSphere& sphere);

// which = 0: mesh 1's bounding sphere (own coordinates) into spheres[1];
// which = 1: mesh 2's into spheres[2] (a slot without a mesh leaves the entry
// unchanged); which = 2: the sphere around both loaded meshes in the common
// frame into spheres[0] (box of the posed sphere centres widened by the radii;
// left unchanged when no slot is loaded). Meshes' bounding spheres must exist.
void update_view_sphere(AppState& app, int which);

// All three view spheres and view transforms rebuilt from the slots as they
// are now; an empty slot's sphere is the empty sphere (invalid), and so is
// the common one when no slot is loaded. For after a load that failed.
void refresh_view_spheres(AppState& app);

// Stage 1: re-reads mesh 1's pose and re-frames the overlapped view. Stage 2:
// re-reads both poses, initial_pose = mesh 2's pose, shown_pose = 0, disables
// the "ICP" and "ICP_COLOR" radio buttons, forgets the runs so far ("Grabar"
// needs both variants again) and re-frames all three views.
// Every stage ends by refreshing the panel (controls are reached through
// app.controls; null handles are skipped). Cameras are left as they are:
// their depths and rotation centre carry over.
void reset_view(AppState& app);

// "Centrar": re-frames the current view(s) around their spheres; poses are not
// touched; the panel is refreshed. Nothing while nothing is loaded.
void centre_view(AppState& app);

// "Superpuestas"/"Separadas" changed: "Mover malla2" is usable only in the
// overlapped view (its value is kept).
void views_changed(AppState& app);
