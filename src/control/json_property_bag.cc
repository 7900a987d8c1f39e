// A property bag stored as a JSON file.
#include "nimbo/json_property_bag.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include <nlohmann/json.hpp>

#include "nimbo/error.h"
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
      throw Error(err::kPathFileAccess,
                  "Property \"" + name + "\" holds a value that is not a text, number or Boolean");
  }
}

// A text JSON can hold. Other bytes would only fail later, when the bag is written out.
std::string Utf8Text(std::string text) {
  if (!IsWellFormedUtf8(text)) throw Error(err::kTypeMismatch);
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

}  // namespace

bool SameValue(const Variant& a, const Variant& b) {
  if (a.IsNumber() && b.IsNumber()) return a.ToDouble() == b.ToDouble();
  if (a.IsString() && b.IsString()) return a.str() == b.str();
  return a == b;
}

JsonPropertyBag JsonPropertyBag::Load(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    throw Error(err::kFileNotFound, "File not found: " + path.string());
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(err::kPathFileAccess, "Cannot read " + path.string());
  json doc = json::parse(in, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) throw Error(err::kPathFileAccess, path.string() + " is not valid JSON");
  if (!doc.is_object()) {
    throw Error(err::kPathFileAccess, path.string() + " does not hold a JSON object");
  }
  JsonPropertyBag bag;
  for (const auto& [name, value] : doc.items()) bag.values_[name] = FromJson(value, name);
  return bag;
}

std::string JsonPropertyBag::ToJson() const {
  json doc = json::object();
  for (const auto& [name, value] : values_) doc[name] = ToJsonValue(value);
  return doc.dump(2) + "\n";
}

void JsonPropertyBag::Save(const std::filesystem::path& path) const {
  const std::string text = ToJson();
  std::filesystem::path temp = path;
  temp += ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      throw Error(err::kPathFileAccess, "Cannot write " + path.string());
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw Error(err::kPathFileAccess, "Cannot write " + path.string() + ": " + ec.message());
  }
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
  if (!IsWellFormedUtf8(name)) throw Error(err::kInvalidCall);
  ToJsonValue(value);
  values_[name] = value;
}

}  // namespace nimbo
