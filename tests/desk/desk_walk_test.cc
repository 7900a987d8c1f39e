// nimbo-desk walked by script through the demo on the real window: the same event lines and the
// same page files as nimbo render with the same options, screenshots that show the pages, link
// processing through the view, the page commands, and the exit statuses.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QSet>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "desk/desk_fixture.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using nlohmann::json;
using testing::FolderFiles;
using testing::JsonLines;
using testing::Quoted;
using testing::ReadFile;
using testing::RunDesk;
using testing::RunNimbo;
using testing::TempDir;

constexpr char kNow[] = "--now 2026-12-08T21:17:44";

// The output with a folder's path replaced, so that two runs in two folders compare.
std::string Neutral(std::string out, const std::filesystem::path& folder) {
  const std::string path = folder.string();
  for (std::size_t at = out.find(path); at != std::string::npos; at = out.find(path, at)) {
    out.replace(at, path.size(), "<folder>");
  }
  return out;
}

// Whether a screenshot shows a page: it reads as a PNG of the window's size, has many colours
// and is not mostly one flat colour.
void ExpectShowsAPage(const std::filesystem::path& file, const std::string& label) {
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(file.string()), "PNG")) << label;
  EXPECT_EQ(image.width(), 1000) << label;
  EXPECT_EQ(image.height(), 700) << label;
  QSet<QRgb> colours;
  int white = 0;
  int samples = 0;
  for (int y = 0; y < image.height(); y += 3) {
    for (int x = 0; x < image.width(); x += 3) {
      const QRgb pixel = image.pixel(x, y);
      colours.insert(pixel);
      if (qRed(pixel) > 250 && qGreen(pixel) > 250 && qBlue(pixel) > 250) ++white;
      ++samples;
    }
  }
  EXPECT_GT(colours.size(), 16) << label;
  EXPECT_LT(white, samples * 95 / 100) << label;
}

class DeskWalkTest : public ::testing::Test {
 protected:
  // Runs nimbo render and nimbo-desk with the same options, each in a demo folder of its own.
  struct Both {
    testing::CommandResult render;
    testing::CommandResult desk;
  };
  Both Run(const std::string& walk, const std::string& desk_only = "") {
    Both both;
    both.render = RunNimbo("render --folder " + Quoted(render_dir_.path().string()) + " " + kNow +
                           " " + walk);
    both.desk = RunDesk("--folder " + Quoted(desk_dir_.path().string()) + " " + kNow +
                        " --width 1000 --height 700 " + walk + " " + desk_only);
    both.render.out = Neutral(both.render.out, render_dir_.path());
    both.desk.out = Neutral(both.desk.out, desk_dir_.path());
    return both;
  }

  TempDir render_dir_;
  TempDir desk_dir_;
  TempDir out_dir_;
};

TEST_F(DeskWalkTest, WalksTheDemoAsRenderDoesAndShowsEachPage) {
  const struct {
    const char* label;
    std::string walk;
    bool screenshot;
    int status = 0;
  } walks[] = {
      {"front page", "--display-path", true},
      {"table page", "--heading 'Acme Stores' --select Customers", true},
      {"chart page", "--select 'Sales by Region'", true},
      {"three levels down, with the tree",
       "--select Products --select Catalogue --select 'Coffee Pot' --tree", false},
      {"a role's node, with diagnostics",
       "--role 1 --talking --select Finance --select 'Monthly Revenue'", false},
      // Nothing failed, but the user's role may not open the folder: no page.
      {"a node the role may not open", "--select Finance", false, 3},
  };
  for (const auto& w : walks) {
    const auto shot = out_dir_ / (std::string(w.label) + ".png");
    const auto both = Run(w.walk, w.screenshot ? "--screenshot " + Quoted(shot.string()) : "");
    EXPECT_EQ(both.render.status, w.status) << w.label << "\n" << both.render.out;
    EXPECT_EQ(both.desk.status, w.status) << w.label << "\n" << both.desk.out;
    EXPECT_EQ(both.desk.out, both.render.out) << w.label;
    EXPECT_FALSE(both.desk.out.empty()) << w.label;
    EXPECT_EQ(FolderFiles(desk_dir_.path()), FolderFiles(render_dir_.path())) << w.label;
    if (w.screenshot) ExpectShowsAPage(shot, w.label);
  }
}

// An address goes to link processing through the view, as a link the user follows: a record
// link of the demo opens its form and is not followed, any other address is left to the view.
TEST_F(DeskWalkTest, LinksGoToLinkProcessingThroughTheView) {
  const struct {
    const char* url;
    bool record;
  } links[] = {
      {"oDatNav.htm^000010000000003", true},
      {"fp.htm", false},
  };
  for (const auto& link : links) {
    const auto both = Run("--select Customers --url " + Quoted(link.url));
    ASSERT_EQ(both.desk.status, 0) << link.url << "\n" << both.desk.out;
    EXPECT_EQ(both.desk.out, both.render.out) << link.url;
    const auto lines = JsonLines(both.desk.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              (json{{"event", "ProcessURL"}, {"url", link.url}, {"result", link.record}}));
    bool opened = false;
    for (const json& line : lines) {
      if (line["event"] == "OpenForm") {
        opened = true;
        EXPECT_EQ(line, (json{{"event", "OpenForm"}, {"nFrm", "00001"}, {"nID", "0000000003"}}));
      }
    }
    EXPECT_EQ(opened, link.record) << link.url;
  }
}

TEST_F(DeskWalkTest, SavesAndPrintsTheShownPage) {
  const auto saved = out_dir_ / "customers.htm";
  const auto pdf = out_dir_ / "customers.pdf";
  const auto r = RunDesk("--folder " + Quoted(desk_dir_.path().string()) + " " + kNow +
                         " --select Customers --save-to " + Quoted(saved.string()) +
                         " --print-to " + Quoted(pdf.string()));
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string page = ReadFile(saved);
  EXPECT_NE(page.find("Report:"), std::string::npos);
  EXPECT_NE(page.find("Customers"), std::string::npos);
  EXPECT_EQ(ReadFile(pdf).substr(0, 5), "%PDF-");
  const auto lines = JsonLines(r.out);
  const json save = {
      {"event", "LogIt"}, {"AType", "Save"}, {"ANarration", "Data Browser\\Customers"}};
  const json print = {
      {"event", "LogIt"}, {"AType", "Print"}, {"ANarration", "Data Browser\\Customers"}};
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], save);
  EXPECT_EQ(lines.back(), print);
}

TEST_F(DeskWalkTest, APrintThatCannotBeWrittenIsAFailure) {
  const auto pdf = out_dir_ / "no such folder" / "page.pdf";
  const auto r = RunDesk("--folder " + Quoted(desk_dir_.path().string()) +
                         " --select Customers --print-to " + Quoted(pdf.string()));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find(R"({"event":"NimboMessage","sMessage":"Print command Error: )"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(std::filesystem::exists(pdf));
}

TEST_F(DeskWalkTest, ASelectionThatMatchesNothingEndsTheWalk) {
  const auto r = RunDesk("--folder " + Quoted(desk_dir_.path().string()) +
                         " --select Customers --select Nowhere 2>&1 >/dev/null");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("no child \"Nowhere\""), std::string::npos) << r.out;
}

}  // namespace
}  // namespace nimbo
