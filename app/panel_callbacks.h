// The panel's own small callbacks and the keyboard's effect on the panel.
#pragma once

// "Luz" of mesh `id` (0 or 1) was toggled: that mesh's "Brillo" becomes
// usable when its lighting is on and unusable when it is off; "Brillo"'s
// value is kept either way. Other ids do nothing.
void light_toggled(int id);

// "SALIR": asks the quit question (title "Salir", Yes/No, No by default).
// Yes ends the process at once with exit status 0, without freeing the
// meshes; No returns and changes nothing.
void quit_requested(int id);

// Any key in the 3-D window: every control shows its live variable again.
void key_pressed();
