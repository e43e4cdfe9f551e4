// Mouse handling of the 3-D window: which camera and which transform a drag
// acts on. The overlapped view turns the overlapped framing (or, with
// "Mover malla2", mesh 2's pose); the split view turns the view that was
// pressed in (upper = mesh 1, lower = mesh 2), chosen at the press and kept
// until the next press. The window layer forwards its callbacks here and then
// asks for a redraw and refreshes the panel.
#pragma once

#include "app/AppState.h"
#include "app/camera_device.h"

// The mouse-button bit mask held in the 3-D window (bit 0 left, 1 middle,
// 2 right, 3 wheel up, 4 wheel down).
struct ButtonMask {
  int bits = 0;
};

// Mouse button callback (GLUT button number 0..4, pressed or released, window
// position with y downward): updates the mask, picks the split view under the
// cursor on a press, then runs the motion handler at (x, y). Buttons outside
// 0..4 are ignored by the mask.
void mouse_button(AppState& app, CameraDevice& device, ButtonMask& mask, int button,
                  bool pressed, int x, int y);

// Motion callback: drives the camera of the active view with the action of the
// mask. Nothing while nothing is loaded.
void mouse_motion(AppState& app, CameraDevice& device, const ButtonMask& mask, int x, int y);
