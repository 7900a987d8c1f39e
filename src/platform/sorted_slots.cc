// The block-wise ordered index of slots.
#include "platform/sorted_slots.h"

namespace nimbo {

void SortedSlots::Assign(const std::vector<std::uint32_t>& slots) {
  blocks_.clear();
  // Blocks start three-quarters full, leaving room for additions before the first splits.
  constexpr std::size_t kFill = kBlock * 3 / 4;
  for (std::size_t at = 0; at < slots.size(); at += kFill) {
    const std::size_t end = std::min(slots.size(), at + kFill);
    blocks_.emplace_back(slots.begin() + static_cast<std::ptrdiff_t>(at),
                         slots.begin() + static_cast<std::ptrdiff_t>(end));
  }
}

void SortedSlots::Renumber(const std::vector<std::uint32_t>& renumber) {
  for (Block& block : blocks_) {
    for (std::uint32_t& slot : block) slot = renumber[slot];
  }
}

std::vector<std::uint32_t> SortedSlots::Flatten() const {
  std::vector<std::uint32_t> all;
  for (const Block& block : blocks_) all.insert(all.end(), block.begin(), block.end());
  return all;
}

}  // namespace nimbo
