#include "registration/MeshSlot.h"

#include "spatial/KDtree.h"

SlotTree::SlotTree() = default;
SlotTree::SlotTree(const SlotTree&) : std::unique_ptr<KDtree>() {}
SlotTree::SlotTree(SlotTree&& other) noexcept = default;
SlotTree& SlotTree::operator=(SlotTree&& other) noexcept = default;
SlotTree::~SlotTree() = default;

SlotTree& SlotTree::operator=(const SlotTree& other) {
  if (this != &other) reset();
  return *this;
}

void MeshSlot::clear() {
  MeshSlot fresh;
  fresh.index = index;
  *this = std::move(fresh);
}
