#include "app/controls.h"

#include <algorithm>
#include <cassert>

const char* control_kind_name(ControlKind kind) {
  switch (kind) {
    case ControlKind::Root: return "root";
    case ControlKind::Panel: return "panel";
    case ControlKind::Column: return "column";
    case ControlKind::Button: return "button";
    case ControlKind::Checkbox: return "checkbox";
    case ControlKind::RadioGroup: return "radiogroup";
    case ControlKind::RadioButton: return "radiobutton";
    case ControlKind::Separator: return "separator";
    case ControlKind::FloatSlider: return "slider";
  }
  return "?";
}

namespace {

// Both return whether anything the panel shows changed.
bool set_enabled_recursive(Control& control, bool on) {
  bool changed = control.enabled != on;
  control.enabled = on;
  for (auto& child : control.children) changed = set_enabled_recursive(*child, on) || changed;
  return changed;
}

bool sync_recursive(Control& control) {
  bool changed = control.sync_live();
  for (auto& child : control.children) changed = sync_recursive(*child) || changed;
  return changed;
}

void collect(Control& control, std::vector<Control*>* out) {
  for (auto& child : control.children) {
    out->push_back(child.get());
    collect(*child, out);
  }
}

}  // namespace

void Control::set_enabled(bool on) {
  if (set_enabled_recursive(*this, on) && owner) owner->notify_changed();
}

void Control::set_visible(bool on) {
  if (visible == on) return;
  visible = on;
  if (owner) owner->notify_changed();
}

void Control::enable() { set_enabled(true); }
void Control::disable() { set_enabled(false); }

bool Control::sync_live() {
  bool changed = false;
  if (live_int && shown_int != *live_int) {
    shown_int = *live_int;
    changed = true;
  }
  if (live_float && shown_float != *live_float) {
    shown_float = *live_float;
    changed = true;
  }
  return changed;
}

ControlPanel::ControlPanel() : root_(std::make_unique<Control>()) { root_->owner = this; }

Control* ControlPanel::append(Control* parent, ControlKind kind, const std::string& label, int id,
                              ControlCallback cb) {
  if (!parent) parent = root_.get();
  auto control = std::make_unique<Control>();
  control->kind = kind;
  control->label = label;
  control->id = id;
  control->callback = std::move(cb);
  control->parent = parent;
  control->owner = this;
  parent->children.push_back(std::move(control));
  return parent->children.back().get();
}

Control* ControlPanel::add_panel(Control* parent, const std::string& label, bool bordered) {
  Control* c = append(parent, ControlKind::Panel, label, -1, nullptr);
  c->bordered = bordered;
  return c;
}

Control* ControlPanel::add_column(Control* parent, bool bar) {
  Control* c = append(parent, ControlKind::Column, "", -1, nullptr);
  c->bar = bar;
  return c;
}

Control* ControlPanel::add_button(Control* parent, const std::string& label, int id,
                                  ControlCallback cb) {
  return append(parent, ControlKind::Button, label, id, std::move(cb));
}

Control* ControlPanel::add_checkbox(Control* parent, const std::string& label, int32_t* live,
                                    int id, ControlCallback cb) {
  Control* c = append(parent, ControlKind::Checkbox, label, id, std::move(cb));
  c->live_int = live;
  c->sync_live();
  return c;
}

Control* ControlPanel::add_radio_group(Control* parent, int32_t* live, int id,
                                       ControlCallback cb) {
  Control* c = append(parent, ControlKind::RadioGroup, "", id, std::move(cb));
  c->live_int = live;
  c->sync_live();
  return c;
}

Control* ControlPanel::add_radio_button(Control* group, const std::string& label) {
  assert(group && group->kind == ControlKind::RadioGroup);
  int32_t value = static_cast<int32_t>(group->children.size());
  Control* c = append(group, ControlKind::RadioButton, label, -1, nullptr);
  c->value = value;
  return c;
}

Control* ControlPanel::add_separator(Control* parent) {
  return append(parent, ControlKind::Separator, "", -1, nullptr);
}

Control* ControlPanel::add_float_slider(Control* parent, const std::string& label, float* live,
                                        float low, float high, int id, ControlCallback cb) {
  Control* c = append(parent, ControlKind::FloatSlider, label, id, std::move(cb));
  c->live_float = live;
  c->low = low;
  c->high = high;
  c->sync_live();
  return c;
}

bool ControlPanel::activate(Control& control, int32_t int_value, float float_value) {
  if (!control.enabled) return false;
  Control* target = &control;  // the control whose value and callback apply
  switch (control.kind) {
    case ControlKind::Button:
      break;
    case ControlKind::Checkbox:
      control.shown_int = int_value != 0 ? 1 : 0;
      if (control.live_int) *control.live_int = control.shown_int;
      break;
    case ControlKind::RadioButton:
      target = control.parent;
      if (!target || target->kind != ControlKind::RadioGroup || !target->enabled) return false;
      int_value = control.value;
      [[fallthrough]];
    case ControlKind::RadioGroup: {
      bool known = std::any_of(target->children.begin(), target->children.end(),
                               [&](const auto& b) { return b->value == int_value; });
      if (!known) return false;
      target->shown_int = int_value;
      if (target->live_int) *target->live_int = int_value;
      break;
    }
    case ControlKind::FloatSlider:
      control.shown_float = std::clamp(float_value, control.low, control.high);
      if (control.live_float) *control.live_float = control.shown_float;
      break;
    case ControlKind::Root:
    case ControlKind::Panel:
    case ControlKind::Column:
    case ControlKind::Separator:
      return false;
  }
  if (target->callback) target->callback(target->id);
  if (activated_) activated_(control);
  return true;
}

void ControlPanel::sync_live_all() {
  if (sync_recursive(*root_)) notify_changed();
}

std::vector<Control*> ControlPanel::all_controls() {
  std::vector<Control*> out;
  collect(*root_, &out);
  return out;
}
