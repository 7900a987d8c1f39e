// The open addressing table of the tree's keys.
#include "platform/key_table.h"

#include <utility>

namespace nimbo {

std::uint32_t KeyTable::Find(std::string_view key) const {
  if (size_ == 0) return 0;
  const std::size_t mask = cells_.size() - 1;
  for (std::size_t i = Home(key);; i = (i + 1) & mask) {
    const std::uint32_t slot = cells_[i];
    if (slot == 0) return 0;
    if (key_of_(slot) == key) return slot;
  }
}

void KeyTable::Insert(std::uint32_t slot) {
  // At most 70% full, so that a probe meets an empty cell soon.
  if ((size_ + 1) * 10 > cells_.size() * 7) Grow();
  const std::size_t mask = cells_.size() - 1;
  std::size_t i = Home(key_of_(slot));
  while (cells_[i] != 0) i = (i + 1) & mask;
  cells_[i] = slot;
  ++size_;
}

void KeyTable::Erase(std::uint32_t slot) {
  if (size_ == 0) return;
  const std::size_t mask = cells_.size() - 1;
  std::size_t hole = Home(key_of_(slot));
  while (cells_[hole] != slot) {
    if (cells_[hole] == 0) return;  // not in the table
    hole = (hole + 1) & mask;
  }
  // Backward shift: each later entry of the run that may sit in the hole moves into it, so no
  // probe ever stops early at the emptied cell and no tombstones pile up.
  for (std::size_t next = (hole + 1) & mask; cells_[next] != 0; next = (next + 1) & mask) {
    const std::size_t home = Home(key_of_(cells_[next]));
    // The entry may move back to the hole when its home is not within (hole, next].
    const bool home_in_between =
        hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
    if (!home_in_between) {
      cells_[hole] = cells_[next];
      hole = next;
    }
  }
  cells_[hole] = 0;
  --size_;
}

void KeyTable::Renumber(const std::vector<std::uint32_t>& renumber) {
  for (std::uint32_t& cell : cells_) {
    if (cell != 0) cell = renumber[cell];
  }
}

void KeyTable::Clear() {
  cells_ = {};
  size_ = 0;
}

void KeyTable::Grow() {
  std::vector<std::uint32_t> old = std::move(cells_);
  cells_.assign(old.empty() ? 16 : old.size() * 2, 0);
  const std::size_t mask = cells_.size() - 1;
  for (std::uint32_t slot : old) {
    if (slot == 0) continue;
    std::size_t i = Home(key_of_(slot));
    while (cells_[i] != 0) i = (i + 1) & mask;
    cells_[i] = slot;
  }
}

}  // namespace nimbo
