#include "app/gui/viewer_window.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/build_panel.h"
#include "app/gui/clear_frame.h"
#include "app/gui/panel_view.h"
#include "app/gui/program_hooks.h"
#include "app/panel_scale.h"
#include "app/panel_status.h"

namespace {

constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 900;
constexpr int kWindowX = 50;
constexpr int kWindowY = 50;
const char* const kWindowTitle = "Varkel's ICP";

int g_main_window = 0;
int g_main_width = kWindowWidth;
int g_main_height = kWindowHeight;
unsigned long g_main_x_window = 0;
// The context of the running program; GLUT's callbacks carry no user data.
AppState* g_app = nullptr;

// The title names the loaded files; set only when it changes.
void show_title() {
  static std::string shown = kWindowTitle;
  std::string title = window_title(*g_app);
  if (title == shown) return;
  glutSetWindowTitle(title.c_str());
  shown = title;
}

// Milliseconds since `from`.
double millis_since(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from)
      .count();
}

// Milliseconds of CPU time the process has used, all its threads (the
// software renderer draws on threads of its own).
double process_cpu_millis() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return 1e3 * double(t.tv_sec) + 1e-6 * double(t.tv_nsec);
}

void draw_scene() {
  static const std::chrono::steady_clock::time_point opened = std::chrono::steady_clock::now();
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  const double cpu_start = process_cpu_millis();
  show_title();
  auto_set_viewport();
  bool preview = false;
  if (g_app->viewer.display) preview = g_app->viewer.display();
  else clear_frame();
  glutSwapBuffers();
  if (g_app->viewer.report_frames) {
    glFinish();  // the frame's cost, not only its queueing
    std::printf("VIEW_FRAME %s %.0f %.1f %.1f\n", preview ? "preview" : "full",
                millis_since(opened), millis_since(start), process_cpu_millis() - cpu_start);
  }
  std::fflush(stdout);
}

void reshape(int width, int height) {
  g_main_width = width;
  g_main_height = height;
  dock_panel_window(width, height);
  auto_set_viewport();
  clear_frame();
  glutSwapBuffers();
}

void mouse(int button, int state, int x, int y) {
  if (g_app->viewer.mouse) g_app->viewer.mouse(button, state, x, y);
}

void motion(int x, int y) {
  if (g_app->viewer.motion) g_app->viewer.motion(x, y);
}

// Any key: every control shows its live variable again; a shortcut key also
// presses its control.
void keyboard(unsigned char key, int, int) {
  if (g_app->viewer.key) g_app->viewer.key(key);
  g_app->sync_live_all();
}

// The close button: what runs ends first (the closing hook), then GLUT
// destroys the window and its panel, so no redraw may be asked of either.
void closing() {
  if (g_app->viewer.closing) g_app->viewer.closing();
  g_main_window = 0;
  forget_panel_window();
}

// The screen's resolution in dots per inch: the desktop's font resolution
// (the Xft.dpi resource, which desktops scale for high-resolution screens),
// else the physical one the server reports; 0 when neither is known.
double screen_dpi(Display* display) {
  XrmInitialize();
  if (const char* resources = XResourceManagerString(display)) {
    XrmDatabase database = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value;
    double dpi = 0.0;
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
      dpi = std::atof(value.addr);
    XrmDestroyDatabase(database);
    if (dpi > 0.0) return dpi;
  }
  const int screen = DefaultScreen(display);
  const int millimetres = DisplayWidthMM(display, screen);
  return millimetres > 0 ? 25.4 * DisplayWidth(display, screen) / millimetres : 0.0;
}

// The start size grows with the panel's scale, within the screen.
void scaled_window_size(Display* display, float scale, int& width, int& height) {
  const int screen = DefaultScreen(display);
  width = std::min(int(kWindowWidth * scale), DisplayWidth(display, screen) - kWindowX);
  height = std::min(int(kWindowHeight * scale), DisplayHeight(display, screen) - kWindowY);
  width = std::max(width, 1);
  height = std::max(height, 1);
}

void idle() {
  if (!g_app->viewer.idle || !g_app->viewer.idle()) glutIdleFunc(nullptr);
}

}  // namespace

ViewportRect auto_set_viewport() {
  ViewportRect r;
  r.width = g_main_width > panel_width() ? g_main_width - panel_width() : 1;
  r.height = g_main_height > 0 ? g_main_height : 1;
  glViewport(r.x, r.y, r.width, r.height);
  return r;
}

int main_window_id() { return g_main_window; }

unsigned long main_x_window() { return g_main_x_window; }

void start_idle_calls() { glutIdleFunc(idle); }

void post_main_redisplay() {
  if (g_main_window) glutPostWindowRedisplay(g_main_window);
}

int run_viewer(AppState& app, int argc, char** argv, const ViewerOptions& options) {
  const char* program = argc > 0 ? argv[0] : "icp_viewer";
  // Without a display GLUT would end the process with its own message. The
  // probe stays open until GLUT is connected: an X server may reset when
  // its last client leaves, and GLUT would then race that reset.
  Display* probe = XOpenDisplay(nullptr);
  if (!probe) {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr, "%s: no graphical display available (DISPLAY=\"%s\" cannot be opened); "
                 "this program needs a desktop session\n", program, name ? name : "");
    return 1;
  }
  g_app = &app;
  install_program_hooks(app);

  const float scale = choose_panel_scale(std::getenv("ICP_PANEL_SCALE"), screen_dpi(probe));
  set_panel_scale(scale);
  if (scale != 1.0f) scaled_window_size(probe, scale, g_main_width, g_main_height);
  glutInitWindowSize(g_main_width, g_main_height);
  glutInitWindowPosition(kWindowX, kWindowY);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInit(&argc, argv);
  XCloseDisplay(probe);
  std::vector<std::string> mesh_paths;
  for (int i = 1; i < argc; ++i) mesh_paths.push_back(argv[i]);
  if (mesh_paths.size() > 2) {
    std::fprintf(stderr, "usage: %s [MESH1 [MESH2]]\n", program);
    return 1;
  }

  g_main_window = glutCreateWindow(kWindowTitle);
  g_main_x_window = glXGetCurrentDrawable();
  glutDisplayFunc(draw_scene);
  glutMouseFunc(mouse);
  glutMotionFunc(motion);
  glutKeyboardFunc(keyboard);
  glutReshapeFunc(reshape);
  glutCloseFunc(closing);
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);

  // The panel object lives as long as the event loop; the handles reach it.
  ControlPanel panel;
  panel.set_activation_listener([&options](const Control& c) {
    post_main_redisplay();
    if (options.echo_activations) {
      std::printf("ACTIVATED %s \"%s\" id=%d", control_kind_name(c.kind), c.label.c_str(),
                  c.kind == ControlKind::RadioButton ? c.parent->id : c.id);
      if (c.kind == ControlKind::FloatSlider) std::printf(" value=%.3f", c.shown_float);
      std::printf("\n");
      std::fflush(stdout);
    }
  });
  create_panel_window(g_main_window, g_main_width, g_main_height, &panel, options);
  build_control_panel(panel, app);

  if (app.viewer.load_meshes && !mesh_paths.empty()) app.viewer.load_meshes(mesh_paths);
  if (app.viewer.reset_view) app.viewer.reset_view();
  app.sync_live_all();

  glutMainLoop();
  app.controls = ControlHandles();  // the panel is gone with the window
  g_main_window = 0;
  return 0;
}
