// The panel during a long action (a single ICP run, a trial batch, a load):
// every control unusable, "Cancelar" shown and usable when the action can be
// stopped, and afterwards every control exactly as it was.
#pragma once

#include <utility>
#include <vector>

#include "app/AppState.h"

// Every control's enabled flag before a lock, to be put back by unlock_panel.
using EnabledFlags = std::vector<std::pair<Control*, bool>>;

// Disables every control; with `cancellable`, shows and enables "Cancelar".
// Returns every control's flag before (empty before the panel exists).
EnabledFlags lock_panel(AppState& app, bool cancellable);

// Puts every flag of `before` back (and empties it), hides "Cancelar" and
// tells the panel that its controls changed.
void unlock_panel(AppState& app, EnabledFlags& before);
