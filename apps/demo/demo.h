// The demo: a small business's database carrying a complete browser definition, and the page
// images its report pages use. `nimbo demo DIR` writes them; the browsing subcommands fall back
// on them when no database is named.
#ifndef NIMBO_APPS_DEMO_DEMO_H_
#define NIMBO_APPS_DEMO_DEMO_H_

#include <filesystem>
#include <string>
#include <string_view>

namespace nimbo::app {

// The demo database's file name in its folder.
inline constexpr std::string_view kDemoDatabaseName = "demo.db";

// Creates `dir` if needed and writes into it the demo database, built afresh from the texts
// compiled into the program (an existing file of that name is replaced whole, never changed in
// place), and the six page images (bg.jpg, cbg.gif, circle.gif, chart.gif, minus.gif,
// plus.gif). Returns the database's path. Throws std::runtime_error (a filesystem_error
// included) when something cannot be created or written; a failed build leaves any older
// database as it was.
std::string WriteDemo(const std::filesystem::path& dir);

// The path of the demo database in `dir`, written first as by WriteDemo unless `dir` already
// holds the database this program builds and all six page images. Throws as WriteDemo does.
std::string EnsureDemo(const std::filesystem::path& dir);

}  // namespace nimbo::app

#endif  // NIMBO_APPS_DEMO_DEMO_H_
