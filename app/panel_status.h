// What the top of the panel says at a glance, and the window's title: the
// two loaded files, the outcome of the last action, and what runs now.
#pragma once

#include <string>
#include <vector>

#include "app/AppState.h"

// "Varkel's ICP", then " - " and the loaded files' names (folders left out)
// joined by " + ": "Varkel's ICP - mesh1.ply + mesh2.ply". An empty slot is
// left out; with none loaded the title is "Varkel's ICP".
std::string window_title(const AppState& app);

// The status area's lines, Windows-1252, top to bottom: "Malla 1: NAME" and
// "Malla 2: NAME" ("-" for an empty slot), then during a trial batch its
// three progress lines, during another long action its busy line, and
// otherwise the last outcome, when there is one, and its warning, when
// there is one.
std::vector<std::string> status_lines(const AppState& app);

// The outcome of an action, shown until the next one (Windows-1252, one
// line); it clears the warning.
void set_outcome(AppState& app, const std::string& text);
// A warning on the outcome just set (Windows-1252, one line), shown below
// it until the next outcome.
void set_warning(AppState& app, const std::string& text);

// A long action starts (`text` says what runs, e.g. "Cargando malla 1...")
// or ends (empty text); the window shows it while it runs.
void set_busy(AppState& app, const std::string& text);
