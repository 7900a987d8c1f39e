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

// Writes the demo's tables, records, browser definition and pictures into the PostgreSQL database
// of a postgresql:// URI, in one transaction, and the six page images into `dir` (created if
// needed). The database must hold no tables: one that does is refused and left as it was.
// Returns a description of the database for the user (never the password). Throws
// std::runtime_error with the reason when it cannot connect, the database is not empty, or a
// step fails (then nothing was written to the database).
std::string WriteDemoToPostgres(const std::string& uri, const std::filesystem::path& dir);

// The stored front page: the page head's style and script around the welcome text, closed.
std::string DemoFrontPage();

// Writes the six page images into `dir`, which must exist. Throws std::runtime_error.
void WritePageImages(const std::filesystem::path& dir);

// The path of the demo database in `dir`, written first as by WriteDemo unless `dir` already
// holds the database this program builds and all six page images. Throws as WriteDemo does.
std::string EnsureDemo(const std::filesystem::path& dir);

}  // namespace nimbo::app

#endif  // NIMBO_APPS_DEMO_DEMO_H_
