// The JSON property bag on any file content and any property text: a file loads or raises
// Path/File access error (75) and nothing else; what loads holds the values the file holds;
// the bag written out as JSON loads again with the same values and writes out the same text;
// a property text of any bytes is stored and written, or refused with Type mismatch (13), or
// Invalid procedure call (5) for a name that is not UTF-8.
//
// Input: the file's content. The input is also stored as the text of a property named by its
// first bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "nimbo/error.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/variant.h"

namespace {

using nimbo::Error;
using nimbo::JsonPropertyBag;
using nimbo::Variant;
using nimbo::fuzz::Check;
using nimbo::fuzz::Fail;
using nlohmann::json;

// A file in memory, reached through a path as the bag needs.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("nimbo-fuzz-bag", 0)) {
    if (fd_ < 0) Fail("memfd_create failed");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& Hold(std::string_view content) {
    if (ftruncate(fd_, 0) != 0) Fail("ftruncate failed");
    std::size_t done = 0;
    while (done < content.size()) {
      const ssize_t wrote =
          pwrite(fd_, content.data() + done, content.size() - done, static_cast<off_t>(done));
      if (wrote <= 0) Fail("pwrite failed");
      done += static_cast<std::size_t>(wrote);
    }
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

// A value no bag holds, to tell a missing key from a stored one.
const Variant kAbsent{"\x01nimbo-fuzz-absent"};

// The value a property file gives a JSON value, judged independently of the bag's reading.
bool Holds(const Variant& stored, const json& value) {
  switch (value.type()) {
    case json::value_t::null:
      return stored.IsNull();
    case json::value_t::boolean:
      return stored.type() == nimbo::VarType::kBoolean && stored.boolean() == value.get<bool>();
    case json::value_t::string:
      return stored.IsString() && stored.str() == value.get<std::string>();
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return stored.IsNumber() && stored.ToDouble() == value.get<double>();
    default:
      return false;
  }
}

// Two bags hold the same keys with the same values (numbers as numbers, texts as texts).
void CheckSameBag(JsonPropertyBag& a, JsonPropertyBag& b, const json& keys, const char* what) {
  for (const auto& [name, value] : keys.items()) {
    const Variant x = a.ReadProperty(name, kAbsent);
    const Variant y = b.ReadProperty(name, kAbsent);
    Check(x.type() == y.type() || (x.IsNumber() && y.IsNumber()),
          std::string(what) + ": the kind of " + name + " changed");
    Check(nimbo::SameValue(x, y) || (x.IsNull() && y.IsNull()),
          std::string(what) + ": the value of " + name + " changed");
  }
}

MemoryFile& File() {
  static MemoryFile file;
  return file;
}

void CheckLoad(std::string_view content) {
  JsonPropertyBag bag;
  try {
    bag = JsonPropertyBag::Load(File().Hold(content));
  } catch (const Error& e) {
    Check(e.number() == nimbo::err::kPathFileAccess,
          "a bad property file raises 75, not " + std::to_string(e.number()));
    return;
  }
  const json doc = json::parse(content);  // the bag loaded it, so it is JSON
  Check(doc.is_object(), "a loaded file holds an object");
  for (const auto& [name, value] : doc.items()) {
    Check(Holds(bag.ReadProperty(name, kAbsent), value), "the bag holds the file's " + name);
  }

  const std::string text = bag.ToJson();
  JsonPropertyBag again;
  try {
    again = JsonPropertyBag::Load(File().Hold(text));
  } catch (const Error& e) {
    Fail(std::string("a bag written out does not load: ") + e.description());
  }
  CheckSameBag(bag, again, doc, "written out and loaded");
  Check(again.ToJson() == text, "a bag loaded from its own text writes the same text");
}

void CheckStore(std::string_view content) {
  const std::string name(content.substr(0, content.size() % 7));
  JsonPropertyBag bag;
  try {
    bag.WriteProperty(name, Variant(content), Variant(""));
  } catch (const Error& e) {
    Check(e.number() == nimbo::err::kTypeMismatch || e.number() == nimbo::err::kInvalidCall,
          "a text that cannot be stored raises 13 (5 for its name), not " +
              std::to_string(e.number()));
    Check(!bag.Contains(name), "a refused text leaves nothing behind");
    return;
  }
  Check(content.empty() != bag.Contains(name), "a text other than the default is stored");
  const std::string text = bag.ToJson();
  JsonPropertyBag again;
  try {
    again = JsonPropertyBag::Load(File().Hold(text));
  } catch (const Error& e) {
    Fail(std::string("a stored text written out does not load: ") + e.description());
  }
  const Variant back = again.ReadProperty(name, Variant(""));
  Check(back.IsString() && back.str() == content, "a stored text loads back byte for byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content = nimbo::fuzz::AsText(data, size);
  CheckLoad(content);
  CheckStore(content);
  return 0;
}
