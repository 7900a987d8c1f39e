// Byte arrays as shown text.
#include "platform/binary_text.h"

#include "nimbo/format.h"

namespace nimbo {
namespace {

// Up to this many bytes are shown in full: enough for a key or a short code, and still short.
constexpr std::size_t kShownInFull = 16;

}  // namespace

std::string BinaryText(const Bytes& bytes) {
  if (bytes.empty()) return std::string();
  if (bytes.size() <= kShownInFull) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (std::uint8_t byte : bytes) {
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0F];
    }
    return text;
  }
  return "(binary data, " + FormatNumber(static_cast<double>(bytes.size()), "#,##0") + " bytes)";
}

}  // namespace nimbo
