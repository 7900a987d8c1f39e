// The web host's own assets (page, style sheet, scripts), compiled into the program from
// apps/serve/assets by embed_assets.cmake.
#ifndef NIMBO_APPS_SERVE_ASSETS_H_
#define NIMBO_APPS_SERVE_ASSETS_H_

#include <string_view>
#include <vector>

namespace nimbo::app::serve {

struct Asset {
  std::string_view name;   // the file name in the assets folder, e.g. "app.js"
  std::string_view bytes;  // its content
};

// Every asset, sorted by name.
const std::vector<Asset>& Assets();

// The asset with exactly this name, or null. Names are compared as they are: no path is ever
// formed from them, so nothing outside the compiled-in set can be reached.
const Asset* FindAsset(std::string_view name);

// The Content-Type for a file name, by its extension ("application/octet-stream" when unknown).
std::string_view ContentTypeFor(std::string_view name);

}  // namespace nimbo::app::serve

#endif  // NIMBO_APPS_SERVE_ASSETS_H_
