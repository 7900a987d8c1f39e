// TextPool: texts that many items share (the tags and image keys of a list node's children are
// one and the same for all of them), each held once and named by a 32-bit id. Id 0 is the empty
// text and is never counted; every other id is counted and freed with its last holder.
#ifndef NIMBO_SRC_PLATFORM_TEXT_POOL_H_
#define NIMBO_SRC_PLATFORM_TEXT_POOL_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nimbo {

class TextPool {
 public:
  // The id of `text`, counting one more holder of it.
  std::uint32_t Acquire(std::string_view text);
  // One holder of `id` fewer; the text goes with its last holder. Id 0 is ignored.
  void Release(std::uint32_t id);
  // The text of an id that is held.
  const std::string& Text(std::uint32_t id) const;
  // Forgets every text.
  void Clear();
  // How many texts are held (the empty one not counted).
  std::size_t size() const { return ids_.size(); }

 private:
  struct Entry {
    const std::string* text = nullptr;  // the key in ids_; null while the id is free
    std::uint32_t holders = 0;
  };

  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>()(text);
    }
  };

  std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> ids_;
  std::vector<Entry> entries_ = {Entry{}};  // entries_[0] is the empty text
  std::vector<std::uint32_t> free_;
};

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_TEXT_POOL_H_
