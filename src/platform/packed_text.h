// PackedText: a text in 24 bytes, for stores that keep one or two texts for each of a million
// items. Texts of up to 23 bytes live inside the object; longer ones in one heap block of
// exactly their size. A std::string takes 32 bytes and keeps only 15 inside, so the keys the
// component gives record nodes ("0000000042G123456") would each cost a heap block more.
#ifndef NIMBO_SRC_PLATFORM_PACKED_TEXT_H_
#define NIMBO_SRC_PLATFORM_PACKED_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbo {

class PackedText {
 public:
  static constexpr std::size_t kInline = 23;

  PackedText() { bytes_[kInline] = 0; }
  explicit PackedText(std::string_view text) : PackedText() { Assign(text); }
  ~PackedText() { Release(); }
  PackedText(const PackedText& other) : PackedText() { Assign(other.view()); }
  PackedText& operator=(const PackedText& other) {
    if (this != &other) Assign(other.view());
    return *this;
  }
  PackedText(PackedText&& other) noexcept;
  PackedText& operator=(PackedText&& other) noexcept;

  void Assign(std::string_view text);
  // Empties the text and gives back its heap block, if any.
  void Clear();

  std::string_view view() const;
  std::string str() const { return std::string(view()); }
  bool empty() const { return view().empty(); }

 private:
  static constexpr unsigned char kOnHeap = 0xFF;

  bool on_heap() const { return static_cast<unsigned char>(bytes_[kInline]) == kOnHeap; }
  void Release();

  // Inline: the text's bytes, then its length in the last byte. On the heap: the block's
  // address, then the text's length, and kOnHeap in the last byte.
  alignas(8) char bytes_[kInline + 1];
};

static_assert(sizeof(PackedText) == 24);

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_PACKED_TEXT_H_
