#include "app/camera.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kDepthMin = 0.0001f;   // below: the near plane, not a surface
constexpr float kDepthMax = 0.9999f;   // above: the cleared background
constexpr float kTrackballMax = 0.7f;  // trackball radius bounds, fractions of min(w, h)
constexpr float kTrackballMin = 0.3f;
constexpr float kWheelStep = 0.2f;     // one wheel notch moves 20% of the click depth

// Offsets (percent of viewport width, height) of the depth probes, nearest first.
constexpr int kProbeOffsets[17][2] = {
    {0, 0},  {1, 1},   {-1, 1},  {-1, -1}, {1, -1}, {3, 0},  {-3, 0},  {0, 3},  {0, -3},
    {6, 6},  {-6, 6},  {-6, -6}, {6, -6},  {25, 0}, {-25, 0}, {0, 25}, {0, -25}};

void multiply4(const double a[16], const double b[16], double out[16]) {
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) {
      double s = 0.0;
      for (int k = 0; k < 4; k++) s += a[4 * k + r] * b[4 * c + k];
      out[4 * c + r] = s;
    }
}

void transform4(const double m[16], const double in[4], double out[4]) {
  for (int r = 0; r < 4; r++)
    out[r] = m[r] * in[0] + m[4 + r] * in[1] + m[8 + r] * in[2] + m[12 + r] * in[3];
}

// Lifts a trackball point onto a sphere of radius 0.8 joined to a hyperbolic
// sheet, so a drag outside the ball still turns smoothly about the view axis.
point lift(float u, float v) {
  float r2 = u * u + v * v;
  float z = r2 < 0.32f ? std::sqrt(0.64f - r2) : 0.32f / std::sqrt(r2);
  return point(u, v, z);
}

void start_action(ViewCamera& cam, CameraDevice& device, int x, int y, const point& centre,
                  float size) {
  GlSnapshot state;
  device.read_state(state);
  const int vx = state.viewport[0], vy = state.viewport[1];
  const int w = state.viewport[2], h = state.viewport[3];
  const double* p = state.projection;
  cam.pixel_scale = float(2.0 / std::min(w * p[0], h * p[5]));

  point hit;
  cam.click_depth = camera_read_depth(device, x, y, hit) ? -hit.z : cam.surface_depth;

  // Screen box of the scene: the whole viewport, or the square around the
  // projected sphere when the eye is outside it and the scene in front.
  GlSnapshot eye_state = state;
  const double ident[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::copy(ident, ident + 16, eye_state.modelview);
  double win[3] = {0.0, 0.0, 0.0};
  project_point(eye_state, centre, win);
  float extent = float(std::max(w, h));
  int x0 = vx, x1 = vx + w, y0 = vy, y1 = vy + h;
  if (centre.z < 0.0f && len(centre) > size) {
    extent = (-size / centre.z) / cam.pixel_scale;
    x0 = std::clamp(int(win[0] - extent), vx, vx + w);
    x1 = std::clamp(int(win[0] + extent), vx, vx + w);
    y0 = std::clamp(int(win[1] - extent), vy, vy + h);
    y1 = std::clamp(int(win[1] + extent), vy, vy + h);
  }
  int bx = (x0 + x1) / 2, by = (y0 + y1) / 2;
  point dir;
  unproject_point(eye_state, bx, by, 1.0, dir);
  normalize(dir);

  // Surface point along the box-centre ray, a little beyond the surface found.
  const float beyond = 1.0f + 0.2f * cam.field_of_view;
  float f;
  point q;
  if (camera_read_depth(device, bx, by, q) && dir.z != 0.0f) {
    f = beyond * q.z / dir.z;
  } else {
    f = dir.z != 0.0f ? -beyond * cam.click_depth / dir.z : cam.click_depth;
  }
  point surface = f * dir;

  // A scene filling the view turns about the surface; a small one about its centre.
  float t = std::clamp(2.0f * extent / float(std::max(w, h)) - 1.0f, 0.0f, 1.0f);
  point rc = t * surface + (1.0f - t) * centre;
  for (int i = 0; i < 3; i++) cam.rotation_centre[i] = rc[i];

  double tb[3] = {0.0, 0.0, 0.0};
  project_point(eye_state, rc, tb);
  cam.trackball_centre[0] = float(tb[0]);
  cam.trackball_centre[1] = float(tb[1]);
  float small = float(std::min(w, h));
  cam.trackball_radius = std::max(std::min(extent, kTrackballMax * small), kTrackballMin * small);
}

void rotate(ViewCamera& cam, int x, int y, PoseMatrix& transform) {
  const float tx = cam.trackball_centre[0], ty = cam.trackball_centre[1];
  const float r = cam.trackball_radius > 0.0f ? cam.trackball_radius : 1.0f;
  float pu = (cam.last_x - tx) / r, pv = (cam.last_y - ty) / r;
  float qu = (x - tx) / r, qv = (y - ty) / r;
  point axis = cross(lift(pu, pv), lift(qu, qv));
  double angle = std::sqrt(double(qu - pu) * (qu - pu) + double(qv - pv) * (qv - pv));
  point c(cam.rotation_centre);
  transform = translation(c) * rotation(angle, axis) * translation(-c) * transform;
}

void pan(ViewCamera& cam, int x, int y, PoseMatrix& transform) {
  double s = double(cam.click_depth) * cam.pixel_scale;
  transform = translation((x - cam.last_x) * s, (y - cam.last_y) * s, 0.0) * transform;
}

void dolly(ViewCamera& cam, int x, int y, PoseMatrix& transform) {
  float m = float((x - cam.last_x) - (y - cam.last_y));  // right or down moves in
  float amount = (std::exp(-(5.0f / cam.field_of_view) * cam.pixel_scale * m) - 1.0f) *
                 cam.click_depth;
  point c(cam.rotation_centre);
  float l = len(c);
  point along = l > 0.0f ? c / l : point(0.0f, 0.0f, -1.0f);  // centre at the eye: the view axis
  transform = translation(amount * along) * transform;
  cam.surface_depth = std::max(cam.surface_depth + amount, 0.0f);
  cam.click_depth = std::max(cam.click_depth + amount, 0.0f);
}

void wheel(ViewCamera& cam, int action, PoseMatrix& transform) {
  float amount = kWheelStep * cam.click_depth;
  if (action == kActionWheelUp) amount = -amount;
  transform = translation(0.0, 0.0, amount) * transform;
  cam.surface_depth = std::max(cam.surface_depth - amount, 0.0f);
  cam.click_depth = std::max(cam.click_depth - amount, 0.0f);
}

}  // namespace

int action_from_mask(int mask) {
  if (mask & 8) return kActionWheelUp;
  if (mask & 16) return kActionWheelDown;
  if (mask & 4) return kActionPan;
  if (mask & 2) return kActionDolly;
  if (mask & 1) return kActionRotate;
  return kActionNone;
}

bool project_point(const GlSnapshot& state, const point& p, double win[3]) {
  double in[4] = {p.x, p.y, p.z, 1.0}, eye[4], clip[4];
  transform4(state.modelview, in, eye);
  transform4(state.projection, eye, clip);
  if (clip[3] == 0.0) return false;
  for (int i = 0; i < 3; i++) clip[i] /= clip[3];
  const int* v = state.viewport;
  win[0] = v[0] + v[2] * (clip[0] + 1.0) / 2.0;
  win[1] = v[1] + v[3] * (clip[1] + 1.0) / 2.0;
  win[2] = (clip[2] + 1.0) / 2.0;
  return true;
}

bool unproject_point(const GlSnapshot& state, double wx, double wy, double wz, point& object) {
  double pm[16];
  multiply4(state.projection, state.modelview, pm);
  PoseMatrix inv_source(pm);
  PoseMatrix inv = inverse(inv_source);
  const int* v = state.viewport;
  if (v[2] == 0 || v[3] == 0) return false;
  double ndc[4] = {2.0 * (wx - v[0]) / v[2] - 1.0, 2.0 * (wy - v[1]) / v[3] - 1.0, 2.0 * wz - 1.0,
                   1.0};
  double out[4];
  transform4(inv.m, ndc, out);
  if (out[3] == 0.0) return false;
  object = point(float(out[0] / out[3]), float(out[1] / out[3]), float(out[2] / out[3]));
  return true;
}

void frustum_matrix(double l, double r, double b, double t, double n, double f, double out[16]) {
  std::fill(out, out + 16, 0.0);
  out[0] = 2.0 * n / (r - l);
  out[5] = 2.0 * n / (t - b);
  out[8] = (r + l) / (r - l);
  out[9] = (t + b) / (t - b);
  out[10] = -(f + n) / (f - n);
  out[11] = -1.0;
  out[14] = -2.0 * f * n / (f - n);
}

bool camera_read_depth(CameraDevice& device, int x, int y, point& found) {
  GlSnapshot state;
  device.read_state(state);
  const int vx = state.viewport[0], vy = state.viewport[1];
  const int w = state.viewport[2], h = state.viewport[3];
  if (w <= 0 || h <= 0) return false;
  for (const auto& off : kProbeOffsets) {
    int px = std::clamp(x + int(0.01 * off[0] * w), vx, vx + w - 1);
    int py = std::clamp(y + int(0.01 * off[1] * h), vy, vy + h - 1);
    float depth = 1.0f;
    if (!device.read_pixel_depth(px, py, depth)) return false;
    if (depth > kDepthMin && depth < kDepthMax)
      return unproject_point(state, px, py, depth, found);
  }
  return false;
}

void camera_setup(ViewCamera& cam, CameraDevice& device, const point& centre, float size) {
  GlSnapshot state;
  device.read_state(state);
  const int w = state.viewport[2], h = state.viewport[3];
  point hit;
  if (camera_read_depth(device, w / 2, h / 2, hit)) cam.surface_depth = -hit.z;

  float far_plane = std::max(size - centre.z, size / 10.0f);
  float near_plane = std::max(-(centre.z + size), size / 10000.0f);
  float depth = std::min(cam.surface_depth, far_plane);
  depth = std::max(depth, near_plane);
  depth = std::max(depth, far_plane / 10000.0f);
  cam.surface_depth = depth;
  near_plane = std::max(near_plane, depth / 10.0f);

  double diag = std::sqrt(double(w) * w + double(h) * h);
  if (!(diag > 0.0)) diag = 1.0;
  double top = h / diag * 0.5 * cam.field_of_view * near_plane;
  double right = w / diag * 0.5 * cam.field_of_view * near_plane;
  if (!(top > 0.0)) top = 0.5 * cam.field_of_view * near_plane;      // zero-height viewport
  if (!(right > 0.0)) right = 0.5 * cam.field_of_view * near_plane;
  if (!(far_plane > near_plane)) far_plane = near_plane * 2.0f;       // empty scene (size 0)
  double proj[16];
  frustum_matrix(-right, right, -top, top, near_plane, far_plane, proj);
  device.load_projection(proj);

  const float* d = cam.light_dir;
  const float light0[4] = {d[0], d[1], d[2], 0.0f};
  const float light1[4] = {-d[0], -d[1], -d[2], 0.0f};
  device.set_light_positions(light0, light1);
}

void camera_mouse(ViewCamera& cam, CameraDevice& device, int x, int y, int action,
                  const point& centre, float size, PoseMatrix& transform) {
  if (action == kActionNone && cam.last_action == kActionNone) return;
  GlSnapshot state;
  device.read_state(state);
  int yy = state.viewport[1] + state.viewport[3] - 1 - y;
  if (action != cam.last_action && action != kActionNone)
    start_action(cam, device, x, yy, centre, size);

  if (action == kActionRotate && cam.last_action == kActionRotate) {
    rotate(cam, x, yy, transform);
  } else if (action == kActionPan && cam.last_action == kActionPan) {
    pan(cam, x, yy, transform);
  } else if (action == kActionDolly && cam.last_action == kActionDolly) {
    dolly(cam, x, yy, transform);
  } else if (action == kActionWheelUp || action == kActionWheelDown) {
    wheel(cam, action, transform);
  }
  cam.last_x = x;
  cam.last_y = yy;
  cam.last_action = action;
}
