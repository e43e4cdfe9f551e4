// Operations of ViewCamera (app/ViewCamera.h), the trackball camera of one
// view: the projection set-up before drawing or dragging, the depth probe
// that finds the surface under the cursor, and the drag actions that change a
// transform in place (rotate, pan, dolly, wheel). All graphics access goes
// through a CameraDevice. "Eye coordinates" are those after the view
// transform: the camera sits at the origin looking down -Z.
#pragma once

#include "app/ViewCamera.h"
#include "app/camera_device.h"
#include "geometry/PoseMatrix.h"

// Drag actions.
enum CameraAction {
  kActionNone = 0,
  kActionRotate = 1,
  kActionPan = 2,
  kActionDolly = 3,
  kActionWheelUp = 4,
  kActionWheelDown = 5,
};

// Mouse-button bit mask: bit 0 left, 1 middle, 2 right, 3 wheel up (button 3),
// 4 wheel down (button 4). Returns the action: wheel up wins, then wheel down,
// then right (with anything) pans, middle or left+middle dollies, left rotates.
int action_from_mask(int mask);

// Probes up to 17 pixels around (x, y) (offsets in percent of the viewport,
// clamped into it) and returns the eye-space point of the first one holding a
// surface (normalised depth strictly inside (0.0001, 0.9999)). False when none does.
bool camera_read_depth(CameraDevice& device, int x, int y, point& found);

// Before drawing a view or handling a drag: refreshes the surface depth from
// the depth buffer at the viewport's centre, fits near and far planes around
// the scene sphere (centre in eye coordinates, radius `size`), loads the
// frustum and an identity modelview and places light 0 along the camera's
// light direction, light 1 opposite.
void camera_setup(ViewCamera& camera, CameraDevice& device, const point& centre, float size);

// One mouse event at window position (x, y) (y downward) with `action`:
// starts the action when it changes, then rotates, pans, dollies or steps the
// wheel, changing `transform` (eye <- drawn frame) in place. The first event of
// a drag only starts it; every wheel event acts. Action 0 after 0 does nothing.
void camera_mouse(ViewCamera& camera, CameraDevice& device, int x, int y, int action,
                  const point& centre, float size, PoseMatrix& transform);

// Window-space projection and unprojection (as the GL utility library's),
// with the matrices and viewport of `state`. False for a singular matrix or w = 0.
bool project_point(const GlSnapshot& state, const point& eye_or_object, double win[3]);
bool unproject_point(const GlSnapshot& state, double wx, double wy, double wz, point& object);

// The frustum matrix (column-major), as glFrustum builds it.
void frustum_matrix(double left, double right, double bottom, double top, double near_plane,
                    double far_plane, double out[16]);
