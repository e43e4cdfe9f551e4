// The camera's device on OpenGL: reads the viewport and matrices, reads
// single depth pixels (calibrating the depth range once), loads the frustum
// and places the lights. Needs the 3-D window's context current.
#pragma once

#include "app/camera_device.h"

class GlCameraDevice : public CameraDevice {
 public:

  void read_state(GlSnapshot& state) override;
  bool read_pixel_depth(int x, int y, float& depth) override;
  void load_projection(const double projection[16]) override;
  void set_light_positions(const float light0[4], const float light1[4]) override;
  void set_viewport(int x, int y, int w, int h) override;
  // The window's auto_set_viewport(): the part the control panel leaves free.
  void auto_set_viewport() override;

 private:
  // The first depth read finds the value the depth buffer stores for 1.0
  // (some drivers do not read back exactly 1.0 for the cleared background).
  bool calibrate(int x, int y);

  float depth_max_ = 0.0f;  // 0 until calibrated
};
