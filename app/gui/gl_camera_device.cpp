#include "app/gui/gl_camera_device.h"

#include <GL/gl.h>

#include "app/gui/viewer_window.h"

void GlCameraDevice::read_state(GlSnapshot& state) {
  glGetIntegerv(GL_VIEWPORT, state.viewport);
  glGetDoublev(GL_MODELVIEW_MATRIX, state.modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, state.projection);
}

bool GlCameraDevice::calibrate(int x, int y) {
  float before = 1.0f;
  glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &before);
  GLboolean scissor_on = glIsEnabled(GL_SCISSOR_TEST);
  GLint scissor[4];
  GLboolean depth_write = GL_TRUE;
  GLdouble clear_depth = 1.0;
  glGetIntegerv(GL_SCISSOR_BOX, scissor);
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depth_write);
  glGetDoublev(GL_DEPTH_CLEAR_VALUE, &clear_depth);

  glEnable(GL_SCISSOR_TEST);
  glScissor(x, y, 1, 1);
  glDepthMask(GL_TRUE);
  glClearDepth(1.0);
  glClear(GL_DEPTH_BUFFER_BIT);
  float stored_max = 0.0f;
  glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &stored_max);
  if (stored_max > 0.0f) {
    glClearDepth(before / stored_max);
    glClear(GL_DEPTH_BUFFER_BIT);
    depth_max_ = stored_max;
  }

  glClearDepth(clear_depth);
  glDepthMask(depth_write);
  glScissor(scissor[0], scissor[1], scissor[2], scissor[3]);
  if (!scissor_on) glDisable(GL_SCISSOR_TEST);
  return depth_max_ > 0.0f;
}

bool GlCameraDevice::read_pixel_depth(int x, int y, float& depth) {
  if (depth_max_ <= 0.0f && !calibrate(x, y)) return false;
  float raw = 1.0f;
  glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &raw);
  depth = raw / depth_max_;
  return true;
}

void GlCameraDevice::load_projection(const double projection[16]) {
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixd(projection);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void GlCameraDevice::set_light_positions(const float light0[4], const float light1[4]) {
  glLightfv(GL_LIGHT0, GL_POSITION, light0);
  glLightfv(GL_LIGHT1, GL_POSITION, light1);
}

void GlCameraDevice::set_viewport(int x, int y, int w, int h) {
  glViewport(x, y, w, h);
  glScissor(x, y, w, h);
}

void GlCameraDevice::auto_set_viewport() {
  ::auto_set_viewport();
}
