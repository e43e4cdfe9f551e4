#include "registration/Aligner.h"

#include "spatial/KDtree.h"

Aligner::Aligner() {
  slots[0] = std::make_unique<MeshSlot>();
  slots[1] = std::make_unique<MeshSlot>();
}

Aligner::~Aligner() = default;
