// The Fenwick tree behind the memory tree view's node numbering.
#include "platform/slot_index.h"

namespace nimbo {
namespace {

constexpr std::size_t LowBit(std::size_t i) { return i & (~i + 1); }

}  // namespace

std::size_t SlotIndex::Append() {
  const std::size_t slot = tree_.size();
  // The new cell covers (slot - lowbit, slot]: itself plus the cells that tile the rest.
  std::uint32_t count = 1;
  for (std::size_t j = slot - 1; j > slot - LowBit(slot); j -= LowBit(j)) count += tree_[j];
  tree_.push_back(count);
  ++live_;
  return slot;
}

void SlotIndex::Kill(std::size_t slot) {
  for (std::size_t i = slot; i < tree_.size(); i += LowBit(i)) --tree_[i];
  --live_;
}

std::size_t SlotIndex::Position(std::size_t slot) const {
  std::size_t sum = 0;
  for (std::size_t i = slot; i > 0; i -= LowBit(i)) sum += tree_[i];
  return sum;
}

std::size_t SlotIndex::SlotAt(std::size_t position) const {
  if (position == 0 || position > live_) return 0;
  const std::size_t size = tree_.size() - 1;
  std::size_t step = 1;
  while (step * 2 <= size) step *= 2;
  // Descend from the largest power of two, keeping the longest prefix with fewer than
  // `position` live slots; the slot after it is the one wanted.
  std::size_t slot = 0;
  for (; step > 0; step /= 2) {
    const std::size_t next = slot + step;
    if (next <= size && tree_[next] < position) {
      slot = next;
      position -= tree_[next];
    }
  }
  return slot + 1;
}

void SlotIndex::Reset(std::size_t live) {
  tree_.assign(live + 1, 0);
  for (std::size_t i = 1; i <= live; ++i) {
    tree_[i] += 1;
    const std::size_t parent = i + LowBit(i);
    if (parent <= live) tree_[parent] += tree_[i];
  }
  live_ = live;
}

}  // namespace nimbo
