// Lookup of the compiled-in assets and the content types the web host serves files with.
#include "serve/assets.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <utility>

namespace nimbo::app::serve {

const Asset* FindAsset(std::string_view name) {
  const auto& assets = Assets();
  const auto it = std::find_if(assets.begin(), assets.end(),
                               [name](const Asset& asset) { return asset.name == name; });
  return it == assets.end() ? nullptr : &*it;
}

std::string_view ContentTypeFor(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 12> kTypes = {{
      {".htm", "text/html; charset=utf-8"},
      {".html", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".json", "application/json"},
      {".svg", "image/svg+xml"},
      {".gif", "image/gif"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".png", "image/png"},
      {".ico", "image/x-icon"},
      {".txt", "text/plain; charset=utf-8"},
  }};
  const auto dot = name.rfind('.');
  if (dot != std::string_view::npos) {
    std::string ext(name.substr(dot));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& [suffix, type] : kTypes) {
      if (ext == suffix) return type;
    }
  }
  return "application/octet-stream";
}

}  // namespace nimbo::app::serve
