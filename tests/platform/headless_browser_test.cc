// The headless browser: navigation records, and save-as and print on real files.
#include "nimbo/headless_browser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::ReadFile;
using ::nimbo::testing::TempDir;
using ::nimbo::testing::WriteFile;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(HeadlessBrowserTest, RecordsNavigationsAndTellsTheListener) {
  HeadlessBrowser browser;
  EXPECT_EQ(browser.LocationURL(), "");
  std::vector<std::string> heard;
  browser.SetNavigateListener([&](const std::string& url) {
    EXPECT_EQ(browser.LocationURL(), url);  // recorded before the listener runs
    heard.push_back(url);
  });
  browser.Navigate("about:blank");
  browser.Navigate("/apps/db/oDatNav.htm");
  browser.Navigate("about:blank");
  const std::vector<std::string> expected = {"about:blank", "/apps/db/oDatNav.htm", "about:blank"};
  EXPECT_EQ(browser.Navigations(), expected);
  EXPECT_EQ(heard, expected);
  EXPECT_EQ(browser.LocationURL(), "about:blank");
}

TEST(HeadlessBrowserTest, KeepsOnlyTheLatestNavigationsButCountsThemAll) {
  HeadlessBrowser browser;
  const std::size_t kept = HeadlessBrowser::kKeptNavigations;
  const std::size_t total = kept * 3 + 5;
  for (std::size_t i = 0; i < total; ++i) browser.Navigate("/apps/db/page" + std::to_string(i));
  std::vector<std::string> expected;
  for (std::size_t i = total - kept; i < total; ++i) {
    expected.push_back("/apps/db/page" + std::to_string(i));
  }
  EXPECT_EQ(browser.Navigations(), expected);
  EXPECT_EQ(browser.NavigationCount(), total);
  EXPECT_EQ(browser.LocationURL(), expected.back());
  // The history does not grow past its bound: no reallocation after it first filled up.
  const std::size_t capacity = browser.Navigations().capacity();
  for (std::size_t i = 0; i < kept * 10; ++i) browser.Navigate("about:blank");
  EXPECT_EQ(browser.Navigations().capacity(), capacity);
}

TEST(HeadlessBrowserTest, SaveAsCopiesTheShownFileWhereTheProviderSays) {
  TempDir dir;
  const auto page = dir / "oDatNav.htm";
  const auto target = dir / "saved.htm";
  WriteFile(target, "an older file");
  WriteFile(page, "first version");
  HeadlessBrowser browser;
  std::vector<std::pair<std::filesystem::path, int>> asked;
  browser.SetSavePathProvider([&](const std::filesystem::path& shown, int option) {
    asked.emplace_back(shown, option);
    return std::optional<std::filesystem::path>(target);
  });
  browser.Navigate(page.string());
  // The document is read when the command runs, as the page file is rewritten in place.
  WriteFile(page, "<html>\r\nsaved \xC3\xA9\r\n</html>\r\n");
  browser.ExecWB(kCmdSaveAs, kPromptUser);
  EXPECT_EQ(ReadFile(target), "<html>\r\nsaved \xC3\xA9\r\n</html>\r\n");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].first, page);
  EXPECT_EQ(asked[0].second, kPromptUser);

  // Saving the file onto itself leaves it as it is.
  browser.SetSavePathProvider(
      [&](const std::filesystem::path& shown, int) { return std::optional(shown); });
  browser.ExecWB(kCmdSaveAs, kPromptUser);
  EXPECT_EQ(ReadFile(page), "<html>\r\nsaved \xC3\xA9\r\n</html>\r\n");
}

TEST(HeadlessBrowserTest, ACancelledSaveDoesNothing) {
  TempDir dir;
  WriteFile(dir / "fp.htm", "front");
  HeadlessBrowser browser;
  browser.SetSavePathProvider(
      [](const std::filesystem::path&, int) -> std::optional<std::filesystem::path> {
        return std::nullopt;
      });
  browser.Navigate((dir / "fp.htm").string());
  EXPECT_NO_THROW(browser.ExecWB(kCmdSaveAs, kPromptUser));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(HeadlessBrowserTest, PrintHandsTheShownFileToThePrinter) {
  TempDir dir;
  WriteFile(dir / "fp.htm", "front page");
  HeadlessBrowser browser;
  std::vector<std::string> printed;
  browser.SetPrinter([&](const std::filesystem::path& file, int option) {
    printed.push_back(ReadFile(file) + "/" + std::to_string(option));
  });
  browser.Navigate((dir / "fp.htm").string());
  browser.ExecWB(kCmdPrint, kPromptUser);
  browser.ExecWB(kCmdPrint, 2);
  EXPECT_EQ(printed, (std::vector<std::string>{"front page/1", "front page/2"}));
}

TEST(HeadlessBrowserTest, PrinterFailuresComeBackAsErrors) {
  TempDir dir;
  WriteFile(dir / "fp.htm", "front page");
  HeadlessBrowser browser;
  browser.Navigate((dir / "fp.htm").string());

  browser.SetPrinter([](const std::filesystem::path&, int) { throw Error(482, "Printer error"); });
  try {
    browser.ExecWB(kCmdPrint, kPromptUser);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 482);
    EXPECT_STREQ(e.description(), "Printer error");
  }

  browser.SetPrinter(
      [](const std::filesystem::path&, int) { throw std::runtime_error("out of paper"); });
  try {
    browser.ExecWB(kCmdPrint, kPromptUser);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kInvalidCall);
    EXPECT_STREQ(e.description(), "Invalid procedure call or argument");
    EXPECT_EQ(e.detail(), "out of paper");
  }
}

TEST(HeadlessBrowserTest, FailuresRaiseWithANumberAndADescription) {
  struct Case {
    const char* name;
    std::function<void(HeadlessBrowser&, const TempDir&)> setup;
    int command;
    int number;
    const char* says;  // part of the detail
  };
  const auto save_into = [](std::filesystem::path target) {
    return [target](const std::filesystem::path&, int) { return std::optional(target); };
  };
  const auto print_nothing = [](const std::filesystem::path&, int) {};
  const auto show_page = [](HeadlessBrowser& b, const TempDir& d) {
    WriteFile(d / "page.htm", "page");
    b.Navigate((d / "page.htm").string());
  };
  const Case cases[] = {
      {"nothing shown",
       [&](HeadlessBrowser& b, const TempDir& d) {
         b.SetSavePathProvider(save_into(d / "out.htm"));
       },
       kCmdSaveAs, err::kInvalidCall, "no document"},
      {"blank page shown",
       [&](HeadlessBrowser& b, const TempDir&) {
         b.SetPrinter(print_nothing);
         b.Navigate("about:blank");
       },
       kCmdPrint, err::kInvalidCall, "no document"},
      {"shown file gone",
       [&](HeadlessBrowser& b, const TempDir& d) {
         b.SetPrinter(print_nothing);
         b.Navigate((d / "missing.htm").string());
       },
       kCmdPrint, err::kFileNotFound, "missing.htm"},
      {"shown path is a folder",
       [&](HeadlessBrowser& b, const TempDir& d) {
         b.SetSavePathProvider(save_into(d / "out.htm"));
         b.Navigate(d.path().string());
       },
       kCmdSaveAs, err::kPathFileAccess, "not a readable file"},
      {"no save provider", show_page, kCmdSaveAs, err::kInvalidCall, "no save dialog"},
      {"no printer", show_page, kCmdPrint, err::kInvalidCall, "no printer"},
      {"copy into a missing folder",
       [&](HeadlessBrowser& b, const TempDir& d) {
         show_page(b, d);
         b.SetSavePathProvider(save_into(d / "no such folder" / "out.htm"));
       },
       kCmdSaveAs, err::kPathFileAccess, "cannot save"},
      {"unknown command",
       [&](HeadlessBrowser& b, const TempDir& d) {
         show_page(b, d);
         b.SetPrinter(print_nothing);
       },
       0, err::kInvalidCall, "command 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    HeadlessBrowser browser;
    c.setup(browser, dir);
    try {
      browser.ExecWB(c.command, kPromptUser);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number);
      EXPECT_EQ(e.description(), DescriptionOf(c.number));
      EXPECT_THAT(e.detail(), HasSubstr(c.says));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.htm"));
  }
}

}  // namespace
}  // namespace nimbo
