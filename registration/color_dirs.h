// Colour-difference directions: per vertex, the vertex colour minus the mean
// colour of its neighbours, scaled to unit length in RGB space. The colour
// pass of the ICP matches only vertices whose directions agree.
#pragma once

#include "registration/MeshSlot.h"

// Fills slot.color_dirs (one entry per vertex) from the mesh's colors and
// neighbors (built on demand). Does nothing, and prints nothing, when
// color_dirs already has one entry per vertex or the slot has no mesh.
// Otherwise prints "Calculando diferencia de color entre puntos vecinos... "
// and "Hecho.\n" through the progress printer. A vertex whose colour equals
// its neighbourhood mean, a vertex without neighbours, and every vertex of a
// mesh whose colors are not one per vertex get the zero vector, which never
// passes the direction test.
void compute_color_dirs(MeshSlot& slot);
