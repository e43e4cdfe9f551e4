// The white clear of the 3-D part, used by the reshape callback and by the
// display when nothing is loaded.
#pragma once

// Disables dithering, blending, depth test, normalisation, lighting and
// colour material, then clears the colour buffer to (1, 1, 1, 0) and the
// depth buffer to 1.0 (the whole 3-D window; the panel is its own window).
void clear_frame();
