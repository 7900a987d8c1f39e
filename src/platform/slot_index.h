// SlotIndex: an order-statistic index over slots handed out in increasing order, so that the
// position of a live slot among all live slots, and the slot at a position, both cost O(log n).
// The memory tree view numbers its nodes with it.
#ifndef NIMBO_PLATFORM_SLOT_INDEX_H_
#define NIMBO_PLATFORM_SLOT_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nimbo {

// A Fenwick tree over 1-based slots, each live (1) or dead (0). Slots are only ever appended,
// so the tree grows at its end; a dead slot stays dead until Reset.
class SlotIndex {
 public:
  // Appends a live slot and returns its number (1, 2, ...). O(log n).
  std::size_t Append();
  // Marks a live slot dead. O(log n).
  void Kill(std::size_t slot);
  // The number of live slots up to and including `slot`: a live slot's 1-based position.
  std::size_t Position(std::size_t slot) const;
  // The live slot at a 1-based position; 0 when position is 0 or beyond the live count.
  std::size_t SlotAt(std::size_t position) const;
  // Starts again with `live` live slots numbered 1..live. O(live).
  void Reset(std::size_t live = 0);

  std::size_t live() const { return live_; }
  std::size_t slots() const { return tree_.size() - 1; }

 private:
  // tree_[i] counts the live slots in (i - lowbit(i), i]; tree_[0] is unused. Counts are 32-bit
  // so that more of the tree stays in cache.
  std::vector<std::uint32_t> tree_ = {0};
  std::size_t live_ = 0;
};

}  // namespace nimbo

#endif  // NIMBO_PLATFORM_SLOT_INDEX_H_
