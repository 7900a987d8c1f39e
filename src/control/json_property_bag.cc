// A property bag stored as a JSON file.
#include "nimbo/json_property_bag.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "nimbo/error.h"
#include "platform/text_file.h"
#include "platform/utf8_text.h"

namespace nimbo {
namespace {

using nlohmann::json;

Variant FromJson(const json& value, const std::string& name) {
  switch (value.type()) {
    case json::value_t::null: return Variant::Null();
    case json::value_t::boolean: return Variant(value.get<bool>());
    case json::value_t::string: return Variant(value.get<std::string>());
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
      if (value.is_number_unsigned() && value.get<std::uint64_t>() > INT64_MAX) {
        return Variant(value.get<double>());
      }
      return Variant::Whole(value.get<std::int64_t>());
    case json::value_t::number_float: return Variant(value.get<double>());
    default:
      throw Error::WithDetail(err::kPathFileAccess, "Property \"" + name +
                                                        "\" holds a value that is not a text, "
                                                        "number or Boolean");
  }
}

// A text JSON can hold. Other bytes would only fail later, when the bag is written out.
std::string Utf8Text(std::string text) {
  if (!IsValidUtf8(text)) throw Error(err::kTypeMismatch);
  return text;
}

json ToJsonValue(const Variant& value) {
  switch (value.type()) {
    case VarType::kEmpty:
    case VarType::kNull: return nullptr;
    case VarType::kBoolean: return value.boolean();
    case VarType::kInteger: return value.integer();
    case VarType::kLong: return value.long_value();
    case VarType::kDouble: return value.dbl();
    case VarType::kCurrency: return value.currency().ToDouble();
    case VarType::kDate:
    case VarType::kString: return Utf8Text(value.ToText());
    case VarType::kBytes:
    case VarType::kObject: break;
  }
  throw Error(err::kTypeMismatch);
}

// A property file is a handful of keys; anything much larger is not one.
constexpr std::size_t kMaxPropertyFile = 1 << 20;

// The file's bytes, at most kMaxPropertyFile of them. Raises 75 with the system's reason.
std::string ReadPropertyFile(const std::filesystem::path& path) {
  const std::string name = path.string();
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    throw Error::WithDetail(err::kPathFileAccess, name + ": " + std::strerror(errno));
  }
  std::string text;
  char buffer[1 << 14];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error_number = errno;
      ::close(fd);
      throw Error::WithDetail(err::kPathFileAccess, name + ": " + std::strerror(error_number));
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > kMaxPropertyFile) {
      ::close(fd);
      throw Error::WithDetail(err::kPathFileAccess,
                              fmt::format("{} is larger than {} bytes", name, kMaxPropertyFile));
    }
  }
  ::close(fd);
  return text;
}

}  // namespace

bool SameValue(const Variant& a, const Variant& b) {
  if (a.IsNumber() && b.IsNumber()) return a.ToDouble() == b.ToDouble();
  if (a.IsString() && b.IsString()) return a.str() == b.str();
  return a == b;
}

JsonPropertyBag JsonPropertyBag::Load(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw Error::WithDetail(err::kFileNotFound, name + ": no such file");
  }
  if (ec) throw Error::WithDetail(err::kPathFileAccess, name + ": " + ec.message());
  // Only a plain file: a folder cannot be read, and a pipe or a device could keep the reader
  // waiting or feed it without end.
  if (status.type() == std::filesystem::file_type::directory) {
    throw Error::WithDetail(err::kPathFileAccess, name + " is a folder, not a property file");
  }
  if (status.type() != std::filesystem::file_type::regular) {
    throw Error::WithDetail(err::kPathFileAccess, name + " is not a plain file");
  }
  const std::string text = ReadPropertyFile(path);
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::parse_error& e) {
    throw Error::WithDetail(err::kPathFileAccess,
                            fmt::format("{} is not valid JSON (at byte {})", name, e.byte));
  } catch (const json::exception&) {
    // A number past a double's range (1e400), say: well-formed, yet no value to hold.
    throw Error::WithDetail(err::kPathFileAccess, name + " holds a number out of range");
  }
  if (!doc.is_object()) {
    throw Error::WithDetail(err::kPathFileAccess, name + " does not hold a JSON object");
  }
  JsonPropertyBag bag;
  for (const auto& [key, value] : doc.items()) bag.values_[key] = FromJson(value, key);
  return bag;
}

std::string JsonPropertyBag::ToJson() const {
  json doc = json::object();
  for (const auto& [name, value] : values_) doc[name] = ToJsonValue(value);
  return doc.dump(2) + "\n";
}

void JsonPropertyBag::Save(const std::filesystem::path& path) const {
  const std::string text = ToJson();
  ReplacementFile file(path.string());
  file.Write(text);
  file.Commit();
}

Variant JsonPropertyBag::ReadProperty(const std::string& name, const Variant& default_value) {
  auto it = values_.find(name);
  return it == values_.end() ? default_value : it->second;
}

void JsonPropertyBag::WriteProperty(const std::string& name, const Variant& value,
                                    const Variant& default_value) {
  if (SameValue(value, default_value)) {
    values_.erase(name);
    return;
  }
  // Refuse what cannot be saved before anything changes.
  if (!IsValidUtf8(name)) throw Error(err::kInvalidCall);
  ToJsonValue(value);
  values_[name] = value;
}

}  // namespace nimbo
