// The retained control layer: the panel's controls as a tree of plain
// records, independent of any window or drawing library. The GUI draws the
// tree and reports user input through ControlPanel::activate(); everything a
// control does (write its live variable, call its callback) happens here, so
// the panel's behaviour is testable without a display.
//
// Live variables follow the classic retained-panel rule: each value control
// keeps the value it shows (`shown_int` / `shown_float`). A user edit writes
// the shown value and the live variable, then runs the callback. Code that
// changes a live variable behind the panel's back calls sync_live_all(),
// which copies every live variable into its control's shown value.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ControlPanel;

enum class ControlKind {
  Root,         // the panel's invisible top container
  Panel,        // a labelled container, embossed (framed) or borderless
  Column,       // splits the enclosing container: later siblings go to a new column
  Button,
  Checkbox,     // int32 live variable, 0 or 1
  RadioGroup,   // int32 live variable = value of the selected radio button
  RadioButton,  // child of a RadioGroup; its value is its position in the group
  Separator,
  FloatSlider,  // float live variable within [low, high]
};

// Returns the kind's name as tests and reports print it ("button", ...).
const char* control_kind_name(ControlKind kind);

// Called with the control's id after a user edit or press.
using ControlCallback = std::function<void(int id)>;

struct Control {
  ControlKind kind = ControlKind::Root;
  std::string label;              // Windows-1252; may be empty; blanks are kept
  int id = -1;                    // given to the callback; -1 when there is none
  ControlCallback callback;       // may be empty
  int32_t* live_int = nullptr;    // Checkbox, RadioGroup: edited in place; may be null
  float* live_float = nullptr;    // FloatSlider: edited in place; may be null
  int32_t shown_int = 0;          // value shown by a Checkbox or RadioGroup
  float shown_float = 0.0f;       // value shown by a FloatSlider
  float low = 0.0f, high = 0.0f;  // FloatSlider limits
  int32_t value = 0;              // RadioButton: the value it selects in its group
  bool bordered = true;           // Panel: embossed frame (true) or no border
  bool bar = false;               // Column: draw a dividing bar
  bool enabled = true;            // usable by the user; see enable()/disable()
  bool visible = true;            // drawn at all; see set_visible()
  Control* parent = nullptr;
  ControlPanel* owner = nullptr;
  std::vector<std::unique_ptr<Control>> children;

  // Make the control usable / unusable, and with it, recursively, every
  // control inside it (panels and radio groups). Enabling a control whose
  // container is disabled makes that control alone usable again.
  void enable();
  void disable();
  void set_enabled(bool on);
  // Shows or hides this control (alone); a hidden control takes no room.
  void set_visible(bool on);

  // Copies the live variable (if any) into the shown value; returns whether
  // the shown value changed.
  bool sync_live();
};

// The panel: owns the control tree, builds it, and applies user input.
class ControlPanel {
 public:
  ControlPanel();
  ControlPanel(const ControlPanel&) = delete;
  ControlPanel& operator=(const ControlPanel&) = delete;

  Control& root() { return *root_; }
  const Control& root() const { return *root_; }

  // Builders. Each appends a control to `parent` (the root when null) and
  // returns it. Value controls start showing their live variable's value.
  // A radio button must be added to a RadioGroup.
  Control* add_panel(Control* parent, const std::string& label, bool bordered = true);
  Control* add_column(Control* parent, bool bar);
  Control* add_button(Control* parent, const std::string& label, int id, ControlCallback cb);
  Control* add_checkbox(Control* parent, const std::string& label, int32_t* live, int id,
                        ControlCallback cb);
  Control* add_radio_group(Control* parent, int32_t* live, int id, ControlCallback cb);
  Control* add_radio_button(Control* group, const std::string& label);
  Control* add_separator(Control* parent);
  Control* add_float_slider(Control* parent, const std::string& label, float* live, float low,
                            float high, int id, ControlCallback cb);

  // User input. Applies one user action to `control` and returns whether it
  // took effect. Nothing happens (false) when the control is disabled, or is
  // a radio button that is disabled or belongs to a disabled group.
  // - Button: runs the callback.
  // - Checkbox: `int_value` (0/1) becomes the shown and live value, callback.
  // - RadioButton: its group takes the button's value, group callback.
  // - RadioGroup: `int_value` is selected directly (must be a button's value).
  // - FloatSlider: `float_value`, clamped to [low, high], becomes shown and
  //   live value, callback.
  // After an action took effect the activation listener runs with `control`
  // (the GUI redraws the 3-D view there after every panel action).
  bool activate(Control& control, int32_t int_value = 0, float float_value = 0.0f);

  // Copies every live variable into its control, whole tree.
  void sync_live_all();

  // Every control, depth first in creation order, the root excluded.
  std::vector<Control*> all_controls();

  // Listeners (may be empty): `changed` after enable/disable or a sync that
  // changed what the panel shows (calls that change nothing stay silent, so
  // syncing after every mouse motion costs no redraw); `activated` after a
  // user action took effect.
  void set_change_listener(std::function<void()> listener) { changed_ = std::move(listener); }
  void set_activation_listener(std::function<void(const Control&)> listener) {
    activated_ = std::move(listener);
  }
  void notify_changed() {
    if (changed_) changed_();
  }

 private:
  Control* append(Control* parent, ControlKind kind, const std::string& label, int id,
                  ControlCallback cb);

  std::unique_ptr<Control> root_;
  std::function<void()> changed_;
  std::function<void(const Control&)> activated_;
};
