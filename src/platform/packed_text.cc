// The 24-byte text of the node stores.
#include "platform/packed_text.h"

#include <cstring>
#include <utility>

namespace nimbo {
namespace {

struct HeapPart {
  char* data;
  std::uint64_t size;
};

}  // namespace

PackedText::PackedText(PackedText&& other) noexcept {
  std::memcpy(bytes_, other.bytes_, sizeof bytes_);
  other.bytes_[kInline] = 0;  // the block, if any, is ours now
}

PackedText& PackedText::operator=(PackedText&& other) noexcept {
  if (this != &other) {
    Release();
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.bytes_[kInline] = 0;
  }
  return *this;
}

void PackedText::Release() {
  if (!on_heap()) return;
  HeapPart heap;
  std::memcpy(&heap, bytes_, sizeof heap);
  delete[] heap.data;
  bytes_[kInline] = 0;
}

void PackedText::Clear() {
  Release();
  bytes_[kInline] = 0;
}

void PackedText::Assign(std::string_view text) {
  if (text.size() <= kInline) {
    // Copied first: the text may be this object's own.
    char copy[kInline];
    std::memcpy(copy, text.data(), text.size());
    Release();
    std::memcpy(bytes_, copy, text.size());
    bytes_[kInline] = static_cast<char>(text.size());
    return;
  }
  HeapPart heap{new char[text.size()], text.size()};
  std::memcpy(heap.data, text.data(), text.size());
  Release();
  std::memcpy(bytes_, &heap, sizeof heap);
  bytes_[kInline] = static_cast<char>(kOnHeap);
}

std::string_view PackedText::view() const {
  if (!on_heap()) return {bytes_, static_cast<unsigned char>(bytes_[kInline])};
  HeapPart heap;
  std::memcpy(&heap, bytes_, sizeof heap);
  return {heap.data, static_cast<std::size_t>(heap.size)};
}

}  // namespace nimbo
