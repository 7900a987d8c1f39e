// A property bag kept as a JSON object in a file: how the command-line and web hosts save a
// component instance. A key whose value equals its default is not written.
// Not thread-safe.
#ifndef NIMBO_JSON_PROPERTY_BAG_H_
#define NIMBO_JSON_PROPERTY_BAG_H_

#include <filesystem>
#include <map>
#include <string>

#include "nimbo/container.h"
#include "nimbo/export.h"
#include "nimbo/variant.h"

namespace nimbo {

class NIMBO_API JsonPropertyBag : public PropertyBag {
 public:
  JsonPropertyBag() = default;

  // Reads a bag from a plain file of at most 1 MiB holding one JSON object whose values are
  // texts, numbers, Booleans or null. Raises 53 when the file does not exist, 75 when it cannot
  // be read (a folder, a device, an unreadable or oversized file) or is not such an object; the
  // error's detail says which and why.
  static JsonPropertyBag Load(const std::filesystem::path& path);
  // Writes the bag as a JSON object; the file is replaced whole (written beside it, synced, then
  // renamed), so a failure leaves the old file as it was. Raises 75 (76 for a missing folder)
  // with the path and the system's reason as the detail.
  void Save(const std::filesystem::path& path) const;

  // The bag as JSON text (keys in sorted order, two-space indent).
  std::string ToJson() const;

  Variant ReadProperty(const std::string& name, const Variant& default_value) override;
  // Texts, numbers, Booleans, Null and dates (as their text) can be stored; bytes, objects and
  // texts that are not well-formed UTF-8 (JSON cannot hold them) raise 13, a name that is not
  // UTF-8 raises 5. A refused value leaves the bag as it was.
  void WriteProperty(const std::string& name, const Variant& value,
                     const Variant& default_value) override;

  bool Contains(const std::string& name) const { return values_.count(name) != 0; }
  bool empty() const { return values_.empty(); }

 private:
  std::map<std::string, Variant> values_;
};

// Whether two values are equal the way a property bag compares a value with its default:
// numbers by value whatever their type, texts exactly, Empty and Null only with themselves.
NIMBO_API bool SameValue(const Variant& a, const Variant& b);

}  // namespace nimbo

#endif  // NIMBO_JSON_PROPERTY_BAG_H_
