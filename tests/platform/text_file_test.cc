// Files the component writes: CR LF line ends, replacement of the whole file only once it is
// complete, and the errors of a bad folder, a full disk and a read-only one (real ones: a small
// tmpfs mounted by the test when run as root).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "platform/text_file.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::FileNames;
using testing::ReadFile;
using testing::ScratchMount;
using testing::TempDir;
using testing::WriteFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The error a call raises; fails the test when it raises none.
Error ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return Error(0);
}

TEST(TextFileTest, LinesEndInCrLfAndReplaceTheFile) {
  TempDir dir;
  const std::string path = (dir / "page.htm").string();
  WriteFile(path, std::string(5000, 'x'));
  TextFileWriter writer(path);
  writer.WriteLine("<p>caf\xC3\xA9</p>");
  writer.WriteLine("");
  EXPECT_EQ(ReadFile(path), std::string(5000, 'x'));  // nothing changes before the commit
  writer.Commit();
  EXPECT_EQ(ReadFile(path), "<p>caf\xC3\xA9</p>\r\n\r\n");
  EXPECT_THAT(FileNames(dir.path()), ElementsAre("page.htm"));

  WriteOneLineFile(path, "");
  EXPECT_EQ(ReadFile(path), "\r\n");
}

TEST(TextFileTest, LinesThatAreNotUtf8AreRepaired) {
  TempDir dir;
  const std::string path = (dir / "page.htm").string();
  TextFileWriter writer(path);
  writer.WriteLine("<td>caf\xE9</td>");  // a Latin-1 text from a stored head
  writer.WriteLine("<td>\xE2\x82\xAC</td>");
  writer.Commit();
  EXPECT_EQ(ReadFile(path), "<td>caf\xEF\xBF\xBD</td>\r\n<td>\xE2\x82\xAC</td>\r\n");
}

TEST(TextFileTest, AWriterThatIsNotCommittedLeavesNoTrace) {
  TempDir dir;
  WriteFile(dir / "page.htm", "earlier page");
  {
    TextFileWriter writer((dir / "page.htm").string());
    writer.WriteLine(std::string(200000, 'y'));  // more than the buffer: some of it on disk
  }
  EXPECT_EQ(ReadFile(dir / "page.htm"), "earlier page");
  EXPECT_THAT(FileNames(dir.path()), ElementsAre("page.htm"));
}

TEST(TextFileTest, BadFoldersAndPathsRaiseClassicErrorsWithThePathAsDetail) {
  TempDir dir;
  std::filesystem::create_directory(dir / "page.htm");
  const struct {
    std::string path;
    int number;
    const char* reason;
  } cases[] = {
      {(dir / "no" / "page.htm").string(), err::kPathNotFound, "No such file or directory"},
      {(dir / "page.htm").string(), err::kPathFileAccess, "Is a directory"},
      {dir.path().string() + std::string("/a\0b", 4), err::kPathFileAccess, "Invalid argument"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const Error e = ErrorOf([&] { TextFileWriter writer(c.path); });
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.description(), DescriptionOf(c.number));
    EXPECT_THAT(e.detail(), HasSubstr(c.reason));
  }
  EXPECT_THAT(FileNames(dir.path()), ElementsAre("page.htm"));
}

TEST(TextFileTest, AFullDiskKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
  ScratchMount disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
  WriteFile(disk / "oDatNav.htm", "earlier page\r\n");
  disk.Fill();

  // A page small enough to sit in the write buffer fails only when it is flushed at the end.
  TextFileWriter writer((disk / "oDatNav.htm").string());
  writer.WriteLine(std::string(3000, 'p'));
  const Error e = ErrorOf([&] { writer.Commit(); });
  EXPECT_EQ(e.number(), err::kPathFileAccess);
  EXPECT_STREQ(e.description(), "Path/File access error");
  EXPECT_THAT(e.detail(), HasSubstr((disk / "oDatNav.htm").string()));
  EXPECT_THAT(e.detail(), HasSubstr("No space left on device"));
  EXPECT_EQ(ReadFile(disk / "oDatNav.htm"), "earlier page\r\n");
  EXPECT_THAT(FileNames(disk.path()), ElementsAre("filler", "oDatNav.htm"));
  // Once failed, always failed: nothing more is written or put in place.
  EXPECT_EQ(ErrorOf([&] { writer.WriteLine("more"); }).number(), err::kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { writer.Commit(); }).number(), err::kPathFileAccess);
  EXPECT_EQ(ReadFile(disk / "oDatNav.htm"), "earlier page\r\n");

  // A large page fails while it is written.
  const Error large = ErrorOf([&] {
    TextFileWriter big((disk / "oDatNav.htm").string());
    for (int i = 0; i < 100; ++i) big.WriteLine(std::string(4096, 'q'));
    big.Commit();
  });
  EXPECT_EQ(large.number(), err::kPathFileAccess);
  EXPECT_EQ(ReadFile(disk / "oDatNav.htm"), "earlier page\r\n");
  EXPECT_THAT(FileNames(disk.path()), ElementsAre("filler", "oDatNav.htm"));
}

TEST(TextFileTest, AReadOnlyDiskRaises75AndChangesNothing) {
  ScratchMount disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
  WriteFile(disk / "fp.htm", "front\r\n");
  disk.MakeReadOnly();
  const Error e = ErrorOf([&] { WriteOneLineFile((disk / "fp.htm").string(), "new front"); });
  EXPECT_EQ(e.number(), err::kPathFileAccess);
  EXPECT_STREQ(e.description(), "Path/File access error");
  EXPECT_THAT(e.detail(), HasSubstr("Read-only file system"));
  EXPECT_EQ(ReadFile(disk / "fp.htm"), "front\r\n");
  EXPECT_THAT(FileNames(disk.path()), ElementsAre("fp.htm"));
}

TEST(TextFileTest, CreateOnlyRefusesAFileThatExists) {
  TempDir dir;
  ReplacementFile first((dir / "pic1").string(), ReplacementFile::Existing::kFail);
  first.Write("new");
  first.Commit();
  EXPECT_EQ(ReadFile(dir / "pic1"), "new");

  ReplacementFile second((dir / "pic1").string(), ReplacementFile::Existing::kFail);
  second.Write("newer");
  const Error e = ErrorOf([&] { second.Commit(); });
  EXPECT_EQ(e.number(), err::kPathFileAccess);
  EXPECT_THAT(e.detail(), HasSubstr("File exists"));
  EXPECT_EQ(ReadFile(dir / "pic1"), "new");
  EXPECT_THAT(FileNames(dir.path()), ElementsAre("pic1"));
}

TEST(TextFileTest, JoinPath) {
  EXPECT_EQ(JoinPath("/srv/app", "fp.htm"), "/srv/app/fp.htm");
  EXPECT_EQ(JoinPath("/srv/app/", "fp.htm"), "/srv/app/fp.htm");
  EXPECT_EQ(JoinPath("", "fp.htm"), "/fp.htm");
}

}  // namespace
}  // namespace nimbo
