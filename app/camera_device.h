// CameraDevice: the few graphics-system services the trackball camera needs,
// behind an interface so the camera's arithmetic runs (and is tested) without
// a graphics context. The drawing library implements it on OpenGL; tests use
// a fake with a synthetic depth buffer.
#pragma once

// What the camera reads back from the graphics state: the current viewport
// (x, y, width, height) and the modelview and projection matrices
// (column-major, as OpenGL stores them).
struct GlSnapshot {
  int viewport[4] = {0, 0, 1, 1};
  double modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  double projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

class CameraDevice {
 public:
  virtual ~CameraDevice() = default;
  // The current viewport and matrices.
  virtual void read_state(GlSnapshot& state) = 0;
  // Depth at window pixel (x, y) (inside the viewport), scaled so that the
  // cleared background reads 1.0. False when the depth range cannot be
  // calibrated (the camera then treats the pixel as empty).
  virtual bool read_pixel_depth(int x, int y, float& depth) = 0;
  // Loads `projection` as the projection matrix and the identity as the modelview.
  virtual void load_projection(const double projection[16]) = 0;
  // Positions (homogeneous, eye coordinates) of light 0 and light 1.
  virtual void set_light_positions(const float light0[4], const float light1[4]) = 0;
  // Sets the viewport (the drawing library also moves the scissor box with it).
  virtual void set_viewport(int x, int y, int w, int h) = 0;
  // The viewport becomes the 3-D area of the window (the part the panel leaves).
  virtual void auto_set_viewport() = 0;
};
