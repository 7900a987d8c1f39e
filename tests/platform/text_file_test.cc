// Text files: CR LF line ends, whole-file replacement, and the errors of a bad folder.
#include <gtest/gtest.h>

#include "nimbo/error.h"
#include "platform/text_file.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(TextFileTest, LinesEndInCrLfAndReplaceTheFile) {
  TempDir dir;
  const std::string path = (dir / "page.htm").string();
  WriteFile(path, std::string(5000, 'x'));
  TextFileWriter writer(path);
  writer.WriteLine("<p>caf\xC3\xA9</p>");
  writer.WriteLine("");
  writer.Close();
  EXPECT_EQ(ReadFile(path), "<p>caf\xC3\xA9</p>\r\n\r\n");

  WriteOneLineFile(path, "");
  EXPECT_EQ(ReadFile(path), "\r\n");
}

TEST(TextFileTest, MissingFolderIsPathNotFound) {
  TempDir dir;
  try {
    TextFileWriter writer((dir / "no" / "page.htm").string());
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 76);
  }
  try {
    TextFileWriter writer(dir.path().string());  // a folder, not a file
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 75);
  }
}

TEST(TextFileTest, JoinPath) {
  EXPECT_EQ(JoinPath("/srv/app", "fp.htm"), "/srv/app/fp.htm");
  EXPECT_EQ(JoinPath("/srv/app/", "fp.htm"), "/srv/app/fp.htm");
  EXPECT_EQ(JoinPath("", "fp.htm"), "/fp.htm");
}

}  // namespace
}  // namespace nimbo
