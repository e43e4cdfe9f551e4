#include "app/gui/panel_view.h"

#include <GL/freeglut.h>
#include <imgui.h>
#include <imgui_impl_glut.h>
#include <imgui_impl_opengl2.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/PolledButton.h"
#include "app/texts.h"

namespace {

// Frames drawn after any input so that ImGui's hover and active states settle
// (a click needs one frame that sees the press and one that sees the release).
constexpr int kSettleFrames = 3;
// Inner padding of an embossed panel, pixels at scale 1.
constexpr float kPanelPad = 6.0f;
const char* const kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr float kFontSize = 14.0f;   // pixels at scale 1
constexpr int kPanelWidthAtOne = 300;
// Height of the status area in text lines: two file names and three lines
// of outcome or progress.
constexpr float kStatusLines = 5.0f;

struct PendingAction {
  Control* control;
  int32_t int_value;
  float float_value;
};

struct ItemRect {
  const Control* control;
  ImVec2 min, max;
};

struct PanelView {
  ControlPanel* panel = nullptr;
  ViewerOptions options;
  int window = 0;
  int main_width = 0;
  std::vector<PendingAction> pending;  // user edits of this frame, applied after it
  std::vector<ItemRect> rects;         // where each control was drawn this frame
  std::vector<ItemRect> last_rects;    // the same for the frame before
  std::vector<float> right_edges;      // right edge of the current container, screen x
  PolledButton buttons[3];             // left, right, middle as ImGui numbers them
  int frames_to_settle = kSettleFrames;
  std::string reported_state;          // which controls were shown and usable at the last report
  bool redisplay_posted = false;      // a frame was asked for and not drawn yet
  std::function<void()> extras;        // content drawn below the controls
  std::function<void()> status;        // the status area above them
  std::function<void(unsigned char)> shortcuts;  // keys typed over the panel
  std::function<bool()> report_hold;   // true: no layout report now
};

PanelView g_view;
float g_scale = 1.0f;

float pad() { return kPanelPad * g_scale; }

float right_edge() { return g_view.right_edges.back(); }

void record_rect(const Control& c) {
  g_view.rects.push_back({&c, ImGui::GetItemRectMin(), ImGui::GetItemRectMax()});
}

// Whether the pointer is over where `c` was drawn in the frame before.
bool was_under_mouse(const Control& c) {
  for (const ItemRect& r : g_view.last_rects)
    if (r.control == &c) return ImGui::IsMouseHoveringRect(r.min, r.max);
  return false;
}

void push_action(Control& c, int32_t int_value = 0, float float_value = 0.0f) {
  g_view.pending.push_back({&c, int_value, float_value});
}

void draw_control(Control& c);

// Draws a container's children, split into side-by-side columns wherever a
// Column control stands among them.
void draw_children(Control& container) {
  std::vector<std::vector<Control*>> columns(1);
  bool bar = false;
  for (auto& child : container.children) {
    if (child->kind == ControlKind::Column) {
      columns.emplace_back();
      bar = bar || child->bar;
    } else {
      columns.back().push_back(child.get());
    }
  }
  if (columns.size() == 1) {
    for (Control* c : columns[0]) draw_control(*c);
    return;
  }
  float width = right_edge() - ImGui::GetCursorScreenPos().x;
  ImGuiTableFlags flags = ImGuiTableFlags_SizingStretchSame;
  if (bar) flags |= ImGuiTableFlags_BordersInnerV;
  if (!ImGui::BeginTable("##columns", static_cast<int>(columns.size()), flags,
                         ImVec2(width, 0.0f)))
    return;
  // Beside a slider, the other columns take only what their controls need,
  // so the slider is wide enough to show its value beside the grab.
  auto has_slider = [](const std::vector<Control*>& column) {
    return std::any_of(column.begin(), column.end(),
                       [](const Control* c) { return c->kind == ControlKind::FloatSlider; });
  };
  if (std::any_of(columns.begin(), columns.end(), has_slider)) {
    for (const auto& column : columns)
      ImGui::TableSetupColumn(nullptr, has_slider(column) ? ImGuiTableColumnFlags_WidthStretch
                                                          : ImGuiTableColumnFlags_WidthFixed);
  }
  for (const auto& column : columns) {
    ImGui::TableNextColumn();
    g_view.right_edges.push_back(ImGui::GetCursorScreenPos().x +
                                 ImGui::GetContentRegionAvail().x);
    for (Control* c : column) draw_control(*c);
    g_view.right_edges.pop_back();
  }
  ImGui::EndTable();
}

// An embossed panel is a rounded frame with its label set into the top edge;
// a borderless one only groups its children.
void draw_panel(Control& c) {
  if (!c.bordered) {
    ImGui::BeginGroup();
    draw_children(c);
    ImGui::EndGroup();
    return;
  }
  ImVec2 start = ImGui::GetCursorScreenPos();
  float right = right_edge();
  float line = ImGui::GetTextLineHeight();
  ImGui::Dummy(ImVec2(right - start.x, line));
  ImGui::Indent(pad());
  g_view.right_edges.push_back(right - pad());
  ImGui::BeginGroup();
  draw_children(c);
  ImGui::EndGroup();
  g_view.right_edges.pop_back();
  ImGui::Unindent(pad());
  float bottom = ImGui::GetItemRectMax().y + pad();
  ImGui::Dummy(ImVec2(1.0f, pad() - ImGui::GetStyle().ItemSpacing.y));

  ImDrawList* draw = ImGui::GetWindowDrawList();
  ImVec2 frame_min(start.x, start.y + line * 0.5f);
  ImVec2 frame_max(right, bottom);
  draw->AddRect(frame_min, frame_max, ImGui::GetColorU32(ImGuiCol_Border), 4.0f);
  g_view.rects.push_back({&c, frame_min, frame_max});
  if (c.label.empty()) return;
  std::string text = cp1252_to_utf8(c.label);
  ImVec2 size = ImGui::CalcTextSize(text.c_str());
  ImVec2 at(start.x + 2.0f * pad(), start.y);
  draw->AddRectFilled(ImVec2(at.x - 3.0f, at.y), ImVec2(at.x + size.x + 3.0f, at.y + line),
                      ImGui::GetColorU32(ImGuiCol_WindowBg));
  draw->AddText(at, ImGui::GetColorU32(c.enabled ? ImGuiCol_Text : ImGuiCol_TextDisabled),
                text.c_str());
}

void draw_radio_group(Control& group) {
  for (auto& button : group.children) {
    ImGui::PushID(button.get());
    ImGui::BeginDisabled(!(button->enabled && group.enabled));
    std::string text = cp1252_to_utf8(button->label);
    if (ImGui::RadioButton(text.c_str(), group.shown_int == button->value)) push_action(*button);
    record_rect(*button);
    ImGui::EndDisabled();
    ImGui::PopID();
  }
}

void draw_control(Control& c) {
  if (!c.visible) return;
  ImGui::PushID(&c);
  std::string text = cp1252_to_utf8(c.label);
  switch (c.kind) {
    case ControlKind::Panel:
      draw_panel(c);
      break;
    case ControlKind::Button: {
      ImGui::BeginDisabled(!c.enabled);
      float width = right_edge() - ImGui::GetCursorScreenPos().x;
      if (ImGui::Button(text.c_str(), ImVec2(width, 0.0f))) push_action(c);
      record_rect(c);
      ImGui::EndDisabled();
      break;
    }
    case ControlKind::Checkbox: {
      ImGui::BeginDisabled(!c.enabled);
      bool on = c.shown_int != 0;
      if (ImGui::Checkbox(text.c_str(), &on)) push_action(c, on ? 1 : 0);
      record_rect(c);
      ImGui::EndDisabled();
      break;
    }
    case ControlKind::RadioGroup:
      draw_radio_group(c);
      break;
    case ControlKind::FloatSlider: {
      ImGui::BeginDisabled(!c.enabled);
      ImGui::AlignTextToFramePadding();
      ImGui::TextUnformatted(text.c_str());
      ImGui::SameLine();
      ImGui::SetNextItemWidth(right_edge() - ImGui::GetCursorScreenPos().x);
      float value = c.shown_float;
      // A click sets the value under the pointer; Ctrl+click opens a typed
      // entry, and so does a double click (handed to the slider as one).
      ImGuiIO& io = ImGui::GetIO();
      const bool ctrl = io.KeyCtrl;
      if (ImGui::IsMouseDoubleClicked(0) && was_under_mouse(c)) io.KeyCtrl = true;
      if (ImGui::SliderFloat("##value", &value, c.low, c.high, "%.3f")) push_action(c, 0, value);
      io.KeyCtrl = ctrl;
      record_rect(c);
      ImGui::EndDisabled();
      break;
    }
    case ControlKind::Separator:
      ImGui::Separator();
      record_rect(c);
      break;
    case ControlKind::Root:
    case ControlKind::Column:
    case ControlKind::RadioButton:
      break;
  }
  ImGui::PopID();
}

void draw_panel_ui() {
  ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
  ImGui::SetNextWindowSize(io.DisplaySize);
  ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                           ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                           ImGuiWindowFlags_NoSavedSettings |
                           ImGuiWindowFlags_NoBringToFrontOnFocus;
  ImGui::Begin("##panel", nullptr, flags | ImGuiWindowFlags_NoScrollbar |
                                       ImGuiWindowFlags_NoScrollWithMouse);
  g_view.last_rects.swap(g_view.rects);
  g_view.rects.clear();
  // The status area keeps its place and height whatever the controls below
  // it do, so it is read without scrolling and never shifts them.
  if (g_view.status) {
    const float height = kStatusLines * ImGui::GetTextLineHeightWithSpacing();
    ImGui::BeginChild("##status", ImVec2(0.0f, height), false, ImGuiWindowFlags_NoScrollbar);
    g_view.status();
    ImGui::EndChild();
    ImGui::Separator();
  }
  ImGui::BeginChild("##controls");
  g_view.right_edges.assign(1, ImGui::GetCursorScreenPos().x + ImGui::GetContentRegionAvail().x);
  draw_children(g_view.panel->root());
  if (g_view.extras) g_view.extras();
  ImGui::EndChild();
  ImGui::End();
}

// Prints where each control was drawn, in 3-D-window pixels (the panel sits
// at the window's right edge, top aligned).
void report_layout() {
  float offset_x = static_cast<float>(g_view.main_width - panel_width());
  int n = 0;
  for (Control* c : g_view.panel->all_controls()) {
    ++n;
    int x = -1, y = -1;
    for (const ItemRect& r : g_view.rects) {
      if (r.control != c) continue;
      x = static_cast<int>(offset_x + (r.min.x + r.max.x) * 0.5f);
      y = static_cast<int>((r.min.y + r.max.y) * 0.5f);
    }
    bool usable = c->enabled && (c->kind != ControlKind::RadioButton || c->parent->enabled);
    std::printf("CONTROL %d %s \"%s\" %d %d %d\n", n, control_kind_name(c->kind), c->label.c_str(),
                x, y, usable ? 1 : 0);
  }
  std::printf("PANEL_READY\n");
  std::fflush(stdout);
}

// One letter per control: hidden, usable or not; a change is reported.
std::string panel_state() {
  std::string state;
  for (Control* c : g_view.panel->all_controls())
    state += !c->visible ? 'h' : c->enabled ? 'u' : 'd';
  return state;
}

void post_redisplay() {
  if (!g_view.window) return;
  g_view.redisplay_posted = true;
  glutPostWindowRedisplay(g_view.window);
}

void request_frames(int frames) {
  g_view.frames_to_settle = std::max(g_view.frames_to_settle, frames);
  post_redisplay();
}

void panel_display() {
  g_view.redisplay_posted = false;
  // The buttons go in before the backend starts the frame: ImGui reads them
  // when the frame starts, and a slider must see its press while the button
  // is still down in that same frame, not a frame later beside the release.
  ImGuiIO& io = ImGui::GetIO();
  for (int b = 0; b < 3; ++b) io.MouseDown[b] = g_view.buttons[b].start_frame();
  ImGui_ImplOpenGL2_NewFrame();
  ImGui_ImplGLUT_NewFrame();
  draw_panel_ui();
  ImGui::Render();

  glViewport(0, 0, static_cast<int>(io.DisplaySize.x), static_cast<int>(io.DisplaySize.y));
  ImVec4 bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
  glClearColor(bg.x, bg.y, bg.z, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
  glutSwapBuffers();

  // A release that arrived before any frame saw its press is delivered now.
  bool more = false;
  for (PolledButton& button : g_view.buttons) more = button.end_frame() || more;
  std::vector<PendingAction> actions;
  actions.swap(g_view.pending);
  for (const PendingAction& a : actions) {
    g_view.panel->activate(*a.control, a.int_value, a.float_value);
    more = true;
  }
  if (more) g_view.frames_to_settle = std::max(g_view.frames_to_settle, kSettleFrames);
  if (g_view.frames_to_settle > 0) {
    --g_view.frames_to_settle;
    post_redisplay();
  } else if (g_view.options.report_layout && !(g_view.report_hold && g_view.report_hold()) &&
             panel_state() != g_view.reported_state) {
    // Reported again whenever a control was shown or hidden, enabled or disabled.
    g_view.reported_state = panel_state();
    report_layout();
  }
}

void panel_reshape(int width, int height) {
  ImGui::GetIO().DisplaySize = ImVec2(static_cast<float>(width), static_cast<float>(height));
  request_frames(kSettleFrames);
}

void panel_mouse(int button, int state, int x, int y) {
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = ImVec2(static_cast<float>(x), static_cast<float>(y));
  // The modifiers at the click (Ctrl+click on a slider opens a typed entry).
  int mods = glutGetModifiers();
  io.KeyCtrl = (mods & GLUT_ACTIVE_CTRL) != 0;
  io.KeyShift = (mods & GLUT_ACTIVE_SHIFT) != 0;
  io.KeyAlt = (mods & GLUT_ACTIVE_ALT) != 0;
  if (button == 3 || button == 4) {  // the wheel
    if (state == GLUT_DOWN) io.MouseWheel += button == 3 ? 1.0f : -1.0f;
  } else {
    int b = button == GLUT_LEFT_BUTTON ? 0 : button == GLUT_RIGHT_BUTTON ? 1
          : button == GLUT_MIDDLE_BUTTON ? 2 : -1;
    // ImGui 1.86 keeps no input queue: the buttons are handed to it at the
    // start of each frame, with a quick click's release held back.
    if (b >= 0 && state == GLUT_DOWN) g_view.buttons[b].press();
    else if (b >= 0) g_view.buttons[b].release();
  }
  request_frames(kSettleFrames);
}

void panel_motion(int x, int y) {
  ImGui::GetIO().MousePos = ImVec2(static_cast<float>(x), static_cast<float>(y));
  request_frames(1);
}

void panel_entry(int state) {
  if (state == GLUT_LEFT) ImGui::GetIO().MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
  request_frames(1);
}

void panel_keyboard(unsigned char key, int x, int y) {
  ImGui_ImplGLUT_KeyboardFunc(key, x, y);
  // A key typed into a slider's entry is text, not a shortcut.
  if (g_view.shortcuts && !ImGui::GetIO().WantTextInput) g_view.shortcuts(key);
  request_frames(kSettleFrames);
}

void panel_keyboard_up(unsigned char key, int x, int y) {
  ImGui_ImplGLUT_KeyboardUpFunc(key, x, y);
  request_frames(kSettleFrames);
}

void panel_special(int key, int x, int y) {
  ImGui_ImplGLUT_SpecialFunc(key, x, y);
  request_frames(kSettleFrames);
}

void panel_special_up(int key, int x, int y) {
  ImGui_ImplGLUT_SpecialUpFunc(key, x, y);
  request_frames(kSettleFrames);
}

void set_up_imgui(int width, int height) {
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // no settings file: the program keeps none
  io.LogFilename = nullptr;
  io.DisplaySize = ImVec2(static_cast<float>(width), static_cast<float>(height));
  struct stat font_stat;
  if (stat(kFontFile, &font_stat) == 0) io.Fonts->AddFontFromFileTTF(kFontFile, kFontSize * g_scale);

  ImGui::StyleColorsLight();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowPadding = ImVec2(8.0f, 8.0f);
  style.FramePadding = ImVec2(5.0f, 1.0f);
  style.ItemSpacing = ImVec2(6.0f, 2.0f);
  style.DisabledAlpha = 0.45f;
  style.FrameRounding = 3.0f;
  style.FrameBorderSize = 1.0f;
  style.WindowBorderSize = 0.0f;
  style.Colors[ImGuiCol_WindowBg] = ImVec4(0.88f, 0.88f, 0.87f, 1.0f);
  style.Colors[ImGuiCol_Border] = ImVec4(0.55f, 0.55f, 0.55f, 1.0f);
  style.Colors[ImGuiCol_TextDisabled] = ImVec4(0.58f, 0.58f, 0.58f, 1.0f);
  if (g_scale != 1.0f) style.ScaleAllSizes(g_scale);

  ImGui_ImplGLUT_Init();
  ImGui_ImplOpenGL2_Init();
}

}  // namespace

void create_panel_window(int main_window, int main_width, int main_height, ControlPanel* panel,
                         const ViewerOptions& options) {
  g_view.panel = panel;
  g_view.options = options;
  g_view.main_width = main_width;
  g_view.window = glutCreateSubWindow(main_window, main_width - panel_width(), 0, panel_width(),
                                      main_height);
  set_up_imgui(panel_width(), main_height);
  // The backend's InstallFuncs is not used: events are forwarded here so the
  // held-release rule and the wheel apply.
  glutDisplayFunc(panel_display);
  glutReshapeFunc(panel_reshape);
  glutMouseFunc(panel_mouse);
  glutMotionFunc(panel_motion);
  glutPassiveMotionFunc(panel_motion);
  glutEntryFunc(panel_entry);
  glutKeyboardFunc(panel_keyboard);
  glutKeyboardUpFunc(panel_keyboard_up);
  glutSpecialFunc(panel_special);
  glutSpecialUpFunc(panel_special_up);
  panel->set_change_listener([] { request_frames(1); });
  glutSetWindow(main_window);
}

void dock_panel_window(int main_width, int main_height) {
  if (!g_view.window) return;
  g_view.main_width = main_width;
  int current = glutGetWindow();
  glutSetWindow(g_view.window);
  glutPositionWindow(std::max(0, main_width - panel_width()), 0);
  glutReshapeWindow(panel_width(), std::max(1, main_height));
  glutSetWindow(current);
}

void set_panel_extras(std::function<void()> draw) { g_view.extras = std::move(draw); }

void set_panel_status(std::function<void()> draw) { g_view.status = std::move(draw); }

void set_panel_shortcuts(std::function<void(unsigned char key)> on_key) {
  g_view.shortcuts = std::move(on_key);
}

void set_panel_scale(float scale) { g_scale = scale; }

float panel_scale() { return g_scale; }

int panel_width() { return static_cast<int>(std::lround(kPanelWidthAtOne * g_scale)); }

void forget_panel_window() { g_view.window = 0; }

void set_panel_report_hold(std::function<bool()> hold) { g_view.report_hold = std::move(hold); }

void post_panel_redisplay() { request_frames(kSettleFrames); }

void post_panel_frame() { request_frames(1); }

void report_panel_text(const std::string& text) {
  static std::string last;
  if (!g_view.options.report_layout || text == last) return;
  last = text;
  std::printf("PANEL_TEXT %s\n", text.c_str());
  std::fflush(stdout);
}

bool panel_settling() {
  return g_view.redisplay_posted || g_view.frames_to_settle > 0 || !g_view.pending.empty();
}
