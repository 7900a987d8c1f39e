// KeyTable: finds an item by its key text in O(1), holding nothing but the items' 32-bit slot
// numbers: the keys themselves stay with the items and are read through a callback. An open
// addressing table with linear probing, at most 70% full, so an entry costs 6 to 12 bytes
// where a node-based hash map of strings costs some 100.
#ifndef NIMBO_SRC_PLATFORM_KEY_TABLE_H_
#define NIMBO_SRC_PLATFORM_KEY_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace nimbo {

class KeyTable {
 public:
  // The key of a slot in the table. Slot 0 is never an item.
  using KeyOf = std::function<std::string_view(std::uint32_t slot)>;

  explicit KeyTable(KeyOf key_of) : key_of_(std::move(key_of)) {}

  // The slot whose key is `key`, or 0.
  std::uint32_t Find(std::string_view key) const;
  // Adds a slot under its present key, which no other slot in the table has.
  void Insert(std::uint32_t slot);
  // Removes a slot, found under its present key (the key must not have changed meanwhile).
  void Erase(std::uint32_t slot);
  // Renames every slot s to renumber[s], keys unchanged.
  void Renumber(const std::vector<std::uint32_t>& renumber);
  void Clear();
  std::size_t size() const { return size_; }

 private:
  std::size_t Home(std::string_view key) const {
    return std::hash<std::string_view>()(key) & (cells_.size() - 1);
  }
  void Grow();

  KeyOf key_of_;
  std::vector<std::uint32_t> cells_;  // 0: empty; the size is 0 or a power of two
  std::size_t size_ = 0;
};

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_KEY_TABLE_H_
