// ViewCamera: the trackball camera of one view (record; its operations that
// touch OpenGL live with the drawing code).
#pragma once

#include <cstdint>

struct ViewCamera {
  int32_t last_x = 0, last_y = 0;          // last cursor position, y upward from the viewport bottom
  int32_t last_action = 0;                 // 0 none, 1 rotate, 2 pan, 3 dolly, 4 wheel up, 5 wheel down
  float light_dir[3] = {0.0f, 0.0f, 1.0f}; // direction of light 0 in eye coordinates
  float rotation_centre[3] = {0.0f, 0.0f, 0.0f};  // eye coordinates; also the dolly direction
  float field_of_view = 0.7f;              // frustum width factor
  float pixel_scale = 0.0f;                // eye-space size of one pixel at unit depth
  float surface_depth = 0.0f;              // depth of the surface at the viewport centre
  float click_depth = 0.0f;                // depth under the cursor when the action started
  float trackball_centre[2] = {0.0f, 0.0f};  // pixels
  float trackball_radius = 0.0f;           // pixels
};
