// The demo: `nimbo demo DIR` run as a real program, its database read back with SQLite and its
// images checked as files of their kind; EnsureDemo called directly.
#include "demo/demo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "testing/test_support.h"

namespace nimbo {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFile;

// Runs `nimbo demo` with arguments; stderr is folded into the output.
testing::CommandResult Demo(const std::string& args) {
  return RunCommand(std::string(NIMBO_CLI_PATH) + " demo " + args + " 2>&1");
}

using Row = std::vector<std::optional<std::string>>;

// A read-only connection that runs SQL and returns every row as texts (NULL as nullopt).
class Db {
 public:
  explicit Db(const fs::path& file) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot open " + file.string());
  }

  // Runs one statement, binding texts to its parameters by name ("@I1", ":region").
  std::vector<Row> Query(const std::string& sql,
                         const std::map<std::string, std::string>& args = {}) const {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string(sqlite3_errmsg(db_.get())) + " in: " + sql);
    }
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw, sqlite3_finalize);
    for (const auto& [name, value] : args) {
      const int index = sqlite3_bind_parameter_index(raw, name.c_str());
      if (index > 0) sqlite3_bind_text(raw, index, value.c_str(), -1, SQLITE_TRANSIENT);
    }
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
      Row& row = rows.emplace_back();
      for (int c = 0; c < sqlite3_column_count(raw); ++c) {
        const unsigned char* text = sqlite3_column_text(raw, c);
        row.push_back(text ? std::optional<std::string>(reinterpret_cast<const char*>(text))
                           : std::nullopt);
      }
    }
    if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_.get()));
    return rows;
  }

  std::string Body(const std::string& procedure) const {
    const auto rows =
        Query("SELECT body FROM nimbo_procedures WHERE name = :name", {{":name", procedure}});
    if (rows.empty()) throw std::runtime_error("no procedure " + procedure);
    return *rows[0][0];
  }

  // Runs a procedure's body as the browser's definition reads it.
  std::vector<Row> Call(const std::string& procedure,
                        const std::map<std::string, std::string>& args = {}) const {
    return Query(Body(procedure), args);
  }

 private:
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db_{nullptr, sqlite3_close};
};

std::string Text(const std::optional<std::string>& value) { return value.value_or(""); }

// How often a pattern occurs in a text, letter case ignored.
long Count(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern, std::regex::icase);
  return std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator());
}

// The demo, written once for all the tests that only read it.
class DemoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    result_ = new testing::CommandResult(Demo("'" + (dir_->path() / "app").string() + "'"));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete dir_;
  }

  static fs::path Folder() { return dir_->path() / "app"; }
  static Db Open() { return Db(Folder() / "demo.db"); }

  static TempDir* dir_;
  static testing::CommandResult* result_;
};

TempDir* DemoTest::dir_ = nullptr;
testing::CommandResult* DemoTest::result_ = nullptr;

TEST_F(DemoTest, WritesTheDatabaseAndTheSixImagesIntoANewFolder) {
  ASSERT_EQ(result_->status, 0) << result_->out;
  EXPECT_EQ(result_->out, (Folder() / "demo.db").string() + "\n");
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(Folder())) {
    files.insert(entry.path().filename().string());
  }
  EXPECT_EQ(files, (std::set<std::string>{"demo.db", "bg.jpg", "cbg.gif", "circle.gif", "chart.gif",
                                          "minus.gif", "plus.gif"}));
  EXPECT_EQ(Open().Query("PRAGMA integrity_check")[0][0], "ok");
}

TEST_F(DemoTest, CatalogHoldsEveryProcedureTheRowsName) {
  const Db db = Open();
  std::set<std::string> named = {"xspb1", "xspb2", "xspb3"};
  for (const Row& row : db.Call("xspb1")) {
    if (!Text(row[4]).empty()) named.insert(Text(row[4]));
  }
  for (const Row& row : db.Call("xspb2")) named.insert(Text(row[4]));
  for (const std::string& name : named) {
    EXPECT_EQ(db.Query("SELECT 1 FROM nimbo_procedures WHERE name = :n", {{":n", name}}).size(), 1u)
        << name;
  }
  EXPECT_GE(named.size(), 20u);
  // The catalog's names are looked up without regard to case.
  EXPECT_EQ(db.Query("SELECT name FROM nimbo_procedures WHERE name = 'XSPB3'")[0][0], "xspb3");
}

TEST_F(DemoTest, NavigationRowsFormATreeWithEveryNodeKind) {
  const auto rows = Open().Call("xspb1");
  std::map<int, Row> by_id;
  std::set<std::string> kinds;
  for (const Row& row : rows) {
    ASSERT_EQ(row.size(), 8u);
    const int id = std::stoi(*row[0]);
    EXPECT_TRUE(by_id.emplace(id, row).second) << "duplicate id " << id;
    EXPECT_LE(id, 32767);
    kinds.insert(Text(row[2]));
  }
  EXPECT_EQ(kinds, (std::set<std::string>{"F", "G", "R", "N"}));
  ASSERT_TRUE(by_id.count(1));
  EXPECT_EQ(by_id[1][2], "F");

  std::map<int, std::vector<Row>> children;
  for (const auto& [id, row] : by_id) {
    if (id == 1) continue;
    const int parent = std::stoi(*row[3]);
    EXPECT_TRUE(by_id.count(parent)) << "row " << id << " has no parent row " << parent;
    children[parent].push_back(row);
  }
  for (const auto& [id, row] : by_id) {
    const std::string kind = Text(row[2]);
    // Access lists and macros are read as texts; a missing one must be empty, not NULL.
    EXPECT_TRUE(row[5].has_value() && row[7].has_value()) << "row " << id;
    if (kind == "G" || kind == "R") {
      EXPECT_FALSE(Text(row[4]).empty()) << "row " << id;
    }
    // A list node's records take their kind from its first child row.
    if (kind == "G") {
      EXPECT_FALSE(children[id].empty()) << "row " << id;
    }
    if (kind == "R") {
      const bool has_leaf_query =
          std::any_of(children[id].begin(), children[id].end(),
                      [](const Row& child) { return child[2] == "N" && !Text(child[4]).empty(); });
      EXPECT_TRUE(has_leaf_query) << "recursive row " << id << " has no N row with a query";
    }
  }
  // One folder is refused to some roles; most rows are open to all.
  const auto refused = std::count_if(
      rows.begin(), rows.end(), [](const Row& row) { return row[2] == "F" && row[7] == "1:3"; });
  EXPECT_EQ(refused, 1);
}

TEST_F(DemoTest, SectionRowsUseEverySectionKindOnExistingPages) {
  const Db db = Open();
  std::set<int> pages;
  for (const Row& row : db.Call("xspb1")) pages.insert(std::stoi(*row[0]));
  std::set<std::string> kinds;
  std::map<int, std::set<long>> numbers_on_page;
  bool table_all = false, table_list = false, chart_all = false, chart_pair = false;
  for (const Row& row : db.Call("xspb2")) {
    ASSERT_EQ(row.size(), 9u);
    const long number = std::stol(*row[0]);
    const int page = std::stoi(*row[1]);
    const std::string kind = Text(row[6]);
    const std::string totals = Text(row[8]);
    SCOPED_TRACE("section " + *row[0]);
    EXPECT_TRUE(pages.count(page));
    EXPECT_GE(page, 2) << "pages 0 and 1 are never built";
    kinds.insert(kind);
    EXPECT_TRUE(numbers_on_page[page].insert(number).second);
    if (kind == "H" || kind == "I") {
      EXPECT_GT(std::stoi(Text(row[7])), 0);
    }
    if (kind == "S") {
      table_all |= totals == "ALL";
      table_list |= std::regex_match(totals, std::regex(R"(\d+(:\d+)*)"));
    }
    if (kind == "C") {
      chart_all |= totals == "ALL";
      chart_pair |= std::regex_match(totals, std::regex(R"(\d+:\d+)"));
      EXPECT_TRUE(totals == "ALL" || std::regex_match(totals, std::regex(R"(\d+:\d+)"))) << totals;
      if (totals == "ALL") {
        // An ALL chart numbers its charts section * 10 + 1, 2, ...: those must not collide with
        // another section's ids on the page.
        for (long k = 1; k <= 9; ++k) numbers_on_page[page].insert(number * 10 + k);
      }
    }
    if (kind == "M") {
      const std::string body = db.Body(Text(row[4]));
      EXPECT_EQ(body.rfind("SHAPE", 0), 0u);
      EXPECT_EQ(Count(body, "\\bAPPEND\\b"), 2) << "three levels: two APPENDs";
    }
  }
  EXPECT_EQ(kinds, (std::set<std::string>{"H", "S", "C", "I", "M"}));
  EXPECT_TRUE(table_all && table_list && chart_all && chart_pair);
  for (const auto& [page, numbers] : numbers_on_page) {
    EXPECT_EQ(numbers.count(0), 0u) << "page " << page;
  }
}

TEST_F(DemoTest, RowsUseTheTextTodayLkeyAndCkeyMacros) {
  const Db db = Open();
  std::set<std::string> macros;
  for (const Row& row : db.Call("xspb1")) macros.insert(Text(row[5]));
  for (const Row& row : db.Call("xspb2")) macros.insert(Text(row[5]));
  for (const char* macro : {"TEXT", "TODAY", "LKEY", "CKEY05", ""}) {
    EXPECT_TRUE(macros.count(macro)) << macro;
  }
}

TEST_F(DemoTest, StoredPagesAreTheFrontPageAndAPageHeadForTheSections) {
  const Db db = Open();
  const auto front = db.Call("xspb3", {{"@I1", "1"}});
  const auto head_rows = db.Call("xspb3", {{"@I1", "2"}});
  ASSERT_EQ(front.size(), 1u);
  ASSERT_EQ(head_rows.size(), 1u);
  ASSERT_GE(front[0].size(), 4u);
  const std::string head = Text(head_rows[0][3]);
  const std::string front_page = Text(front[0][3]);

  EXPECT_EQ(head.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(front_page.rfind(head, 0), 0u) << "the front page is styled by the same head";
  EXPECT_TRUE(front_page.ends_with("</DIV></BODY></HTML>"));
  // The head opens the division that every page's closing line closes.
  EXPECT_EQ(Count(head, "<div\\b") - Count(head, "</div>"), 1);
  EXPECT_EQ(Count(head, "</body>"), 0);

  // Every class the page template and the section writers use is styled.
  for (const char* cls : {"pgl", "pgr", "mh", "ph", "hn", "hvr", "hvl", "thc", "tdr", "tdl", "tfl",
                          "tfr", "ctl", "cal", "cdv"}) {
    EXPECT_GT(Count(head, std::string("\\.") + cls + "\\b"), 0) << cls;
  }
  // The script works on the ids and images the writers emit; the style sheet draws the page's
  // background and the chart bars with the demo's images.
  for (const char* word : {"'CGR'", "CTL(?:CAP)?", "'ROW'", "'SHP'", "^DTL", "DISPALL", "minus.gif",
                           "plus.gif", "addEventListener('click'", "bg.jpg", "cbg.gif"}) {
    EXPECT_NE(head.find(word), std::string::npos) << word;
  }
}

// Columns declared DATE hold YYYY-MM-DD texts and CURRENCY columns numbers, so the field types
// they give read back as dates and amounts.
TEST_F(DemoTest, DeclaredTypesHoldMatchingValues) {
  const Db db = Open();
  int dates = 0, amounts = 0;
  for (const Row& table : db.Query("SELECT name FROM sqlite_schema WHERE type = 'table'")) {
    for (const Row& column :
         db.Query("SELECT name, type FROM pragma_table_info(:t)", {{":t", *table[0]}})) {
      const std::string where = *table[0] + "." + *column[0];
      if (column[1] == "DATE") {
        for (const Row& value : db.Query("SELECT " + *column[0] + " FROM " + *table[0])) {
          ++dates;
          EXPECT_TRUE(value[0] && std::regex_match(*value[0], std::regex(R"(20\d\d-\d\d-\d\d)")))
              << where << ": " << Text(value[0]);
        }
      }
      if (column[1] == "CURRENCY") {
        for (const Row& value : db.Query("SELECT typeof(" + *column[0] + ") FROM " + *table[0])) {
          ++amounts;
          EXPECT_TRUE(value[0] == "integer" || value[0] == "real") << where;
        }
      }
    }
  }
  EXPECT_GT(dates, 100);
  EXPECT_GT(amounts, 100);
  // The orders are those of 2026.
  EXPECT_EQ(db.Query("SELECT count(*) FROM orders WHERE order_date NOT LIKE '2026-%'")[0][0], "0");
}

struct ImageSize {
  int width = 0;
  int height = 0;
};

// The size a GIF declares, when the bytes are a complete GIF89a.
std::optional<ImageSize> GifSize(const std::string& bytes) {
  if (bytes.size() < 14 || bytes.rfind("GIF89a", 0) != 0 || bytes.back() != '\x3b') return {};
  auto u16 = [&](std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
  };
  return ImageSize{u16(6), u16(8)};
}

// The size in a JPEG's start-of-frame segment, when the bytes run from SOI to EOI.
std::optional<ImageSize> JpegSize(const std::string& bytes) {
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
  if (bytes.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8 || byte(bytes.size() - 2) != 0xFF ||
      byte(bytes.size() - 1) != 0xD9) {
    return {};
  }
  for (std::size_t at = 2; at + 9 < bytes.size();) {
    if (byte(at) != 0xFF) return {};
    const int marker = byte(at + 1);
    const std::size_t length = byte(at + 2) << 8 | byte(at + 3);
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      return ImageSize{byte(at + 7) << 8 | byte(at + 8), byte(at + 5) << 8 | byte(at + 6)};
    }
    at += 2 + length;
  }
  return {};
}

TEST_F(DemoTest, PageImagesAreSmallValidFilesOfTheirKind) {
  const struct {
    const char* name;
    int max_width;
    int max_height;
  } cases[] = {{"bg.jpg", 64, 600},   {"cbg.gif", 64, 64},   {"circle.gif", 24, 24},
               {"chart.gif", 32, 32}, {"minus.gif", 20, 20}, {"plus.gif", 20, 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = ReadFile(Folder() / c.name);
    const std::string name = c.name;
    const auto size = name.ends_with(".jpg") ? JpegSize(bytes) : GifSize(bytes);
    ASSERT_TRUE(size.has_value());
    EXPECT_GT(size->width, 0);
    EXPECT_GT(size->height, 0);
    EXPECT_LE(size->width, c.max_width);
    EXPECT_LE(size->height, c.max_height);
    EXPECT_LT(bytes.size(), 4096u);
  }
  // Plus and minus swap in place, so they are the same size.
  EXPECT_EQ(GifSize(ReadFile(Folder() / "plus.gif"))->width,
            GifSize(ReadFile(Folder() / "minus.gif"))->width);
  EXPECT_NE(ReadFile(Folder() / "plus.gif"), ReadFile(Folder() / "minus.gif"));
}

TEST_F(DemoTest, EveryProductHasItsOwnPicture) {
  const Db db = Open();
  std::set<std::string> pictures;
  const auto rows = db.Query("SELECT name, hex(picture) FROM products");
  ASSERT_GE(rows.size(), 10u);
  for (const Row& row : rows) {
    SCOPED_TRACE(*row[0]);
    ASSERT_TRUE(row[1].has_value());
    std::string bytes;
    for (std::size_t i = 0; i + 1 < row[1]->size(); i += 2) {
      bytes.push_back(static_cast<char>(std::stoi(row[1]->substr(i, 2), nullptr, 16)));
    }
    const auto size = JpegSize(bytes);
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->width, 200);
    EXPECT_EQ(size->height, 150);
    EXPECT_LT(bytes.size(), 16384u);
    pictures.insert(bytes);
  }
  EXPECT_EQ(pictures.size(), rows.size());
}

TEST(DemoCommandTest, ReplacesAnExistingDatabaseWhole) {
  TempDir dir;
  WriteFile(dir / "demo.db", "not a database");
  WriteFile(dir / "demo.db-journal", "a journal of some older file");
  const auto r = Demo(dir.path().string());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Db(dir / "demo.db")
                .Query("SELECT count(*) FROM nimbo_procedures WHERE name = "
                       "'xspb1'")[0][0],
            "1");
  EXPECT_FALSE(fs::exists(dir / "demo.db-journal"));
  // Nothing is left from the build.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 7);
}

TEST(DemoCommandTest, FolderThatCannotBeMadeFailsWithAMessage) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  const auto r = Demo((dir / "file" / "app").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("nimbo demo: "));

  const auto usage = Demo("");
  EXPECT_EQ(usage.status, 2) << "DIR is required";
}

TEST(EnsureDemoTest, KeepsACurrentDemoAndRebuildsAnOutdatedOrIncompleteOne) {
  TempDir dir;
  const fs::path app = dir / "nested" / "app";
  const std::string path = app::EnsureDemo(app);
  EXPECT_EQ(path, (app / "demo.db").string());
  ASSERT_TRUE(fs::exists(app / "plus.gif"));
  const std::string background = ReadFile(app / "bg.jpg");

  // A current demo is left alone.
  WriteFile(app / "bg.jpg", "edited");
  EXPECT_EQ(app::EnsureDemo(app), path);
  EXPECT_EQ(ReadFile(app / "bg.jpg"), "edited");

  // A missing image brings the whole demo back.
  fs::remove(app / "plus.gif");
  app::EnsureDemo(app);
  EXPECT_TRUE(fs::exists(app / "plus.gif"));
  EXPECT_EQ(ReadFile(app / "bg.jpg"), background);

  // So does a database this program did not build.
  WriteFile(app / "bg.jpg", "edited");
  WriteFile(app / "demo.db", "");
  app::EnsureDemo(app);
  EXPECT_EQ(ReadFile(app / "bg.jpg"), background);
  EXPECT_EQ(Db(app / "demo.db").Query("SELECT count(*) FROM customers")[0][0], "14");
}

}  // namespace
}  // namespace nimbo
