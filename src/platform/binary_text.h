// How a byte array reads where a text is shown (a cell of a report page, a node's text): never
// as its raw bytes, which may hold a NUL, a line break or bytes that are no UTF-8 at all.
#ifndef NIMBO_SRC_PLATFORM_BINARY_TEXT_H_
#define NIMBO_SRC_PLATFORM_BINARY_TEXT_H_

#include <string>

#include "nimbo/variant.h"

namespace nimbo {

// Short values in full, long ones by their size:
//   no bytes         ""
//   1 to 16 bytes    "0x" and two uppercase hexadecimal digits a byte ("0x0D0A00FF")
//   more             "(binary data, N bytes)", N with digit grouping ("(binary data, 2,048 bytes)")
std::string BinaryText(const Bytes& bytes);

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_BINARY_TEXT_H_
