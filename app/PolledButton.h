// One mouse button as seen by a user interface that polls the button state
// once per frame and keeps no event queue (the panel's ImGui). A press and
// its release arriving between two frames would leave the state unchanged
// at both frames and the click would be lost; so a release that comes before
// any frame has seen its press is held back until after such a frame.
#pragma once

class PolledButton {
 public:
  // The button went down.
  void press() {
    down_ = true;
    seen_ = false;
    held_release_ = false;
  }

  // The button went up: at once when a frame has seen it down, otherwise
  // after the next frame (see end_frame).
  void release() {
    if (seen_) down_ = false;
    else if (down_) held_release_ = true;
  }

  // The state a frame starting now must see; marks the press as seen.
  bool start_frame() {
    if (down_) seen_ = true;
    return down_;
  }

  // Call when the frame is done: delivers a held release and returns true
  // when it did, since the UI then needs another frame to see it.
  bool end_frame() {
    if (!held_release_ || !seen_) return false;
    held_release_ = false;
    down_ = false;
    return true;
  }

 private:
  bool down_ = false;
  bool seen_ = false;           // a frame has seen the current press
  bool held_release_ = false;   // released before any frame saw the press
};
