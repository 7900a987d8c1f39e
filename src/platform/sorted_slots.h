// SortedSlots: 32-bit slot numbers kept in an order that a caller-supplied comparison defines,
// in blocks of at most kBlock, so that finding, adding and removing one costs O(log n + kBlock)
// and the whole costs about 4 bytes a slot. The memory tree view keeps its sorted siblings in one
// of these. The comparison must be a strict total order over the slots held, and must not change
// for a slot while it is held.
#ifndef NIMBO_SRC_PLATFORM_SORTED_SLOTS_H_
#define NIMBO_SRC_PLATFORM_SORTED_SLOTS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace nimbo {

class SortedSlots {
 public:
  static constexpr std::size_t kBlock = 512;

  // Adds `slot` at its place and returns the slot that now follows it, or 0 when it is last.
  template <class Less>
  std::uint32_t Insert(std::uint32_t slot, const Less& less);
  // Removes `slot`, found by the same order; nothing when it is not held.
  template <class Less>
  void Erase(std::uint32_t slot, const Less& less);
  // Replaces the contents by `slots`, which are in order already.
  void Assign(const std::vector<std::uint32_t>& slots);
  // Renames every slot s to renumber[s]; the renaming must keep the order.
  void Renumber(const std::vector<std::uint32_t>& renumber);
  void Clear() { blocks_.clear(); }
  bool empty() const { return blocks_.empty(); }
  // Every slot in order, for checks.
  std::vector<std::uint32_t> Flatten() const;

 private:
  using Block = std::vector<std::uint32_t>;

  // The first block whose last slot is not below `slot` (the end when there is none).
  template <class Less>
  std::vector<Block>::iterator BlockFor(std::uint32_t slot, const Less& less) {
    return std::partition_point(blocks_.begin(), blocks_.end(),
                                [&](const Block& b) { return less(b.back(), slot); });
  }

  std::vector<Block> blocks_;  // none is empty
};

template <class Less>
std::uint32_t SortedSlots::Insert(std::uint32_t slot, const Less& less) {
  if (blocks_.empty()) {
    blocks_.emplace_back(1, slot);
    return 0;
  }
  auto block = BlockFor(slot, less);
  if (block == blocks_.end()) block = std::prev(blocks_.end());  // after everything
  auto at = std::lower_bound(block->begin(), block->end(), slot, less);
  std::size_t index = static_cast<std::size_t>(at - block->begin());
  block->insert(at, slot);
  std::size_t block_index = static_cast<std::size_t>(block - blocks_.begin());
  if (block->size() > kBlock) {
    // Split in halves, each a block of its own size: a shrunk block would keep its capacity.
    // The slot's own position may move to the new block.
    Block upper(block->begin() + kBlock / 2, block->end());
    *block = Block(block->begin(), block->begin() + kBlock / 2);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(block_index) + 1,
                   std::move(upper));
    if (index >= kBlock / 2) {
      index -= kBlock / 2;
      ++block_index;
    }
  }
  const Block& home = blocks_[block_index];
  if (index + 1 < home.size()) return home[index + 1];
  if (block_index + 1 < blocks_.size()) return blocks_[block_index + 1].front();
  return 0;
}

template <class Less>
void SortedSlots::Erase(std::uint32_t slot, const Less& less) {
  auto block = BlockFor(slot, less);
  if (block == blocks_.end()) return;
  auto at = std::lower_bound(block->begin(), block->end(), slot, less);
  if (at == block->end() || *at != slot) return;
  block->erase(at);
  if (block->empty()) blocks_.erase(block);
}

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_SORTED_SLOTS_H_
