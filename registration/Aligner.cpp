#include "registration/Aligner.h"

Aligner::Aligner() {
  slots[0] = std::make_unique<MeshSlot>();
  slots[1] = std::make_unique<MeshSlot>();
}

Aligner::~Aligner() = default;

// The engine is built by the registration work; until then every run fails.
bool Aligner::align(int, bool, bool) { return false; }
bool Aligner::align_color(int, bool, bool) { return false; }
bool Aligner::run_icp() { return false; }
