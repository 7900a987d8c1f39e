// What every fuzz target uses to report a broken property: a message and an abort, which
// libFuzzer records as a crash with its input.
#ifndef NIMBO_TESTS_FUZZ_FUZZ_CHECK_H_
#define NIMBO_TESTS_FUZZ_FUZZ_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace nimbo::fuzz {

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

inline void Check(bool holds, const std::string& what) {
  if (!holds) Fail(what);
}

// The input as text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input cut at NUL bytes: seeds keep their parts apart with a NUL, which none of the texts
// being fuzzed needs.
inline std::vector<std::string_view> SplitAtNul(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t cut = text.find('\0');
    parts.push_back(text.substr(0, cut));
    if (cut == std::string_view::npos) return parts;
    text.remove_prefix(cut + 1);
  }
}

}  // namespace nimbo::fuzz

#endif  // NIMBO_TESTS_FUZZ_FUZZ_CHECK_H_
