// Character-wise slicing of UTF-8 texts, and their check and repair.
#include "platform/utf8_text.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nimbo {
namespace {

// The length of the well-formed sequence starting at `at`, or 1 for a stray byte.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (at + length > text.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed character at `at` (1 to 4), or 0 when it is ill-formed; then
// `*bad` is how many bytes the replacement stands for (at least 1).
std::size_t WellFormedLength(std::string_view text, std::size_t at, std::size_t* bad) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    *bad = 1;
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const bool fits = at + i < text.size() &&
                      (i == 1 ? byte(i) >= low && byte(i) <= high : (byte(i) & 0xC0) == 0x80);
    if (!fits) {
      *bad = i;
      return 0;
    }
  }
  return length;
}

// The first byte at or after `from` that is not ASCII, or the size.
std::size_t SkipAscii(std::string_view text, std::size_t from) {
  std::size_t i = from;
  // Pages are mostly ASCII: sixteen bytes at a time where the processor has the instructions
  // (every x86-64 does), then eight.
#if defined(__SSE2__)
  for (; i + 16 <= text.size(); i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    if (_mm_movemask_epi8(bytes) != 0) break;
  }
#endif
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if ((word & 0x8080808080808080ULL) != 0) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  std::size_t at = SkipAscii(text, 0);
  while (at < text.size()) {
    std::size_t bad = 0;
    const std::size_t length = WellFormedLength(text, at, &bad);
    if (length == 0) return false;
    at = SkipAscii(text, at + length);
  }
  return true;
}

void AppendValidUtf8(std::string_view text, std::string& out) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t ascii_end = SkipAscii(text, at);
    out.append(text.substr(at, ascii_end - at));
    at = ascii_end;
    if (at == text.size()) break;
    std::size_t bad = 0;
    const std::size_t length = WellFormedLength(text, at, &bad);
    if (length > 0) {
      out.append(text.substr(at, length));
      at += length;
    } else {
      out += kReplacement;
      at += bad;
    }
  }
}

std::size_t Utf8Offset(std::string_view text, std::size_t chars) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < chars && at < text.size(); ++n) at += SequenceLength(text, at);
  return at;
}

}  // namespace nimbo
