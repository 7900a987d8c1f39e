// SavePage and PrintPage through the headless browser: the page saved and printed on real
// files, failures reported by command name, and the audit entry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "testing/mail_fixture.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::MailerUnderTest;
using ::nimbo::testing::ReadFile;
using ::nimbo::testing::WriteFile;
using ::testing::ElementsAre;

struct PageUnderTest : MailerUnderTest {
  PageUnderTest() {
    WriteFile(page(), "<html>report</html>\r\n");
    browser->Navigate(page().string());
  }
  std::filesystem::path page() const { return folder / "oDatNav.htm"; }
};

TEST(PageCommandsTest, SaveCopiesTheShownPageAndLogsTheSelectedNode) {
  PageUnderTest p;
  const auto target = p.folder / "saved.htm";
  std::vector<int> options;
  p.browser->SetSavePathProvider([&](const std::filesystem::path&, int option) {
    options.push_back(option);
    return std::optional<std::filesystem::path>(target);
  });
  p.control.SavePage();
  EXPECT_EQ(ReadFile(target), "<html>report</html>\r\n");
  EXPECT_THAT(options, ElementsAre(kPromptUser));
  EXPECT_THAT(p.events->lines, ElementsAre("LogIt|Save|Data Browser"));
}

TEST(PageCommandsTest, PrintHandsTheShownPageToThePrinter) {
  PageUnderTest p;
  std::vector<std::string> printed;
  p.browser->SetPrinter(
      [&](const std::filesystem::path& file, int) { printed.push_back(ReadFile(file)); });
  p.control.PrintPage();
  EXPECT_THAT(printed, ElementsAre("<html>report</html>\r\n"));
  EXPECT_THAT(p.events->lines, ElementsAre("LogIt|Print|Data Browser"));
}

TEST(PageCommandsTest, FailuresAreReportedByCommandNameAndStillLogged) {
  struct Case {
    const char* name;
    std::function<void(PageUnderTest&)> arrange;
    bool print;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {"NoPrinter",
       [](PageUnderTest&) {},
       true,
       {"NimboMessage|Print command Error: Invalid procedure call or argument",
        "BlaBla|Print is not available: the host supplies no printer", "LogIt|Print|Data Browser"}},
      {"PrinterFails",
       [](PageUnderTest& p) {
         p.browser->SetPrinter(
             [](const std::filesystem::path&, int) { throw Error(482, "Printer error"); });
       },
       true,
       {"NimboMessage|Print command Error: Printer error", "LogIt|Print|Data Browser"}},
      {"NoSaveDialog",
       [](PageUnderTest&) {},
       false,
       {"NimboMessage|Save As command Error: Invalid procedure call or argument",
        "BlaBla|Save As is not available: the host supplies no save dialog",
        "LogIt|Save|Data Browser"}},
      {"NothingShown",
       [](PageUnderTest& p) { p.browser->Navigate("about:blank"); },
       true,
       {"NimboMessage|Print command Error: Invalid procedure call or argument",
        "BlaBla|Nothing to print: no document is shown", "LogIt|Print|Data Browser"}},
      {"NoBrowser",
       [](PageUnderTest& p) { p.control.SetControls(p.tree, nullptr); },
       false,
       {"NimboMessage|Save As command Error: Object variable or With block variable not set",
        "LogIt|Save|Data Browser"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageUnderTest p;
    p.control.Talking(true);  // the detail of a failure comes as a diagnostic
    c.arrange(p);
    c.print ? p.control.PrintPage() : p.control.SavePage();
    EXPECT_EQ(p.events->lines, c.events);
  }
}

TEST(PageCommandsTest, WithoutASelectedNodeTheCommandRunsAndNothingIsLogged) {
  PageUnderTest p;
  p.tree->Clear();
  int printed = 0;
  p.browser->SetPrinter([&](const std::filesystem::path&, int) { ++printed; });
  p.control.PrintPage();
  p.control.SavePage();  // no save dialog: reported, not logged
  EXPECT_EQ(printed, 1);
  EXPECT_THAT(p.events->lines,
              ElementsAre("NimboMessage|Save As command Error: Invalid procedure call or argument"));
}

}  // namespace
}  // namespace nimbo
