#include "app/gui/viewer_hooks.h"
#include "app/gui/viewing_hooks.h"

// Every hook and panel action of the program, installed before the window opens.
void install_program_hooks() { install_viewing_hooks(); }
