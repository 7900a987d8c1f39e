// Tests of the attachment encoder: exact text for the boundary lengths, and round trips through
// the uudecode of GNU sharutils.
#include "mail/uuencode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::ReadFile;
using ::nimbo::testing::RunCommand;
using ::nimbo::testing::TempDir;
using ::nimbo::testing::WriteFile;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(byte(engine));
  return bytes;
}

std::string Repeat(const std::string& part, int times) {
  std::string whole;
  for (int i = 0; i < times; ++i) whole += part;
  return whole;
}

struct ExactCase {
  const char* label;
  std::string content;
  std::string expected;
};

class UUEncodeExactTest : public ::testing::TestWithParam<ExactCase> {};

TEST_P(UUEncodeExactTest, GivesTheExactText) {
  TempDir dir;
  WriteFile(dir / "a.txt", GetParam().content);
  EXPECT_EQ(UUEncodeFile((dir / "a.txt").string()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, UUEncodeExactTest,
    ::testing::Values(
        ExactCase{"ThreeBytes", "abc", "begin 664 a.txt\r\n#86)C\r\n`\r\nend\r\n"},
        // No data line at all: a 0-byte line would read as the terminating line.
        ExactCase{"Empty", "", "begin 664 a.txt\r\n`\r\nend\r\n"},
        // Zero bytes encode to grave accents, never to spaces.
        ExactCase{"ThreeZeroBytes", std::string(3, '\0'),
                  "begin 664 a.txt\r\n#````\r\n`\r\nend\r\n"},
        // "AAA" encodes to "04%!"; a multiple of 45 goes straight to the terminating line.
        ExactCase{"FortyFiveBytes", std::string(45, 'A'),
                  "begin 664 a.txt\r\nM" + Repeat("04%!", 15) + "\r\n`\r\nend\r\n"},
        // The 46th byte "A" padded with two spaces: 0x41 0x20 0x20.
        ExactCase{"FortySixBytes", std::string(46, 'A'),
                  "begin 664 a.txt\r\nM" + Repeat("04%!", 15) + "\r\n!02`@\r\n`\r\nend\r\n"},
        // Four bytes "abcd": the last group "d" is padded with two bytes of 32, giving "9\"`@"
        // where zero bytes would have given "9```".
        ExactCase{"FourBytesPaddedWithSpaces", "abcd",
                  "begin 664 a.txt\r\n$86)C9\"`@\r\n`\r\nend\r\n"}),
    [](const ::testing::TestParamInfo<ExactCase>& test_case) { return test_case.param.label; });

TEST(UUEncodeFileTest, EveryEncodedCharacterIsPrintableAndNotASpace) {
  TempDir dir;
  WriteFile(dir / "r.bin", RandomBytes(4096, 7));
  const std::string text = UUEncodeFile((dir / "r.bin").string());
  const std::size_t body = text.find("\r\n") + 2;
  ASSERT_TRUE(text.ends_with("\r\n`\r\nend\r\n"));
  for (std::size_t i = body; i < text.size() - 5; ++i) {
    if (text[i] == '\r' || text[i] == '\n') continue;
    ASSERT_GE(text[i], '!') << "at " << i;
    ASSERT_LE(text[i], '`') << "at " << i;
  }
}

struct NameCase {
  const char* label;
  std::string suffix;  // Appended to the temporary folder's path.
  std::string head;
};

class UUEncodeNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(UUEncodeNameTest, TakesTheNameAfterTheLastSeparator) {
  TempDir dir;
  // A backslash is an ordinary character in a Linux file name, so "sub\fp.htm" is one file.
  WriteFile(dir.path().string() + "/sub\\fp.htm", "x");
  WriteFile(dir / "pic1", "x");
  const std::string text = UUEncodeFile(dir.path().string() + GetParam().suffix);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), GetParam().head);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UUEncodeNameTest,
    ::testing::Values(NameCase{"AfterSlash", "/pic1", "begin 664 pic1"},
                      NameCase{"AfterBackslash", "/sub\\fp.htm", "begin 664 fp.htm"},
                      NameCase{"DoubledSlash", "//pic1", "begin 664 pic1"}),
    [](const ::testing::TestParamInfo<NameCase>& test_case) { return test_case.param.label; });

TEST(UUEncodeFileTest, WholePathIsTheNameWithoutSeparators) {
  TempDir dir;
  WriteFile(dir / "plain.gif", "x");
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string text = UUEncodeFile("plain.gif");
  std::filesystem::current_path(old);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "begin 664 plain.gif");
}

TEST(UUEncodeFileTest, NothingAtThePathGivesTheEmptyString) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  for (const std::string& path :
       {(dir / "missing.gif").string(), (dir / "no" / "such" / "dir" / "x").string(),
        // A path that runs through a file as if it were a folder.
        (dir / "file" / "x").string(), std::string()}) {
    EXPECT_EQ(UUEncodeFile(path), "") << path;
  }
}

// Something at the path that cannot be read as a file is an access error, not an empty text.
TEST(UUEncodeFileTest, UnreadableThingsRaiseAccessError) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);  // Must not wait for a writer.
  WriteFile(dir / "secret", "x");
  ::chmod((dir / "secret").c_str(), 0);
  std::vector<std::string> paths = {dir.path().string(), (dir / "pipe").string()};
  // Root reads files whatever their mode.
  if (::geteuid() != 0) paths.push_back((dir / "secret").string());
  for (const std::string& path : paths) {
    try {
      UUEncodeFile(path);
      ADD_FAILURE() << "no error for " << path;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kPathFileAccess) << path;
      EXPECT_STREQ(e.description(), "Path/File access error") << path;
      EXPECT_EQ(e.detail().rfind(path, 0), 0u) << e.detail();  // the detail names the file
    }
  }
}

class UUEncodeRoundTripTest : public ::testing::TestWithParam<std::size_t> {};

// The real uudecode must accept the text and give back the file byte for byte. It reads the
// CR LF line ends of the mail text as they are.
TEST_P(UUEncodeRoundTripTest, UudecodeGivesBackTheBytes) {
  const std::size_t size = GetParam();
  TempDir dir;
  const std::string input = RandomBytes(size, static_cast<unsigned>(size) + 1);
  WriteFile(dir / "input.bin", input);
  const std::string text = UUEncodeFile((dir / "input.bin").string());
  ASSERT_EQ(text.substr(0, text.find("\r\n")), "begin 664 input.bin");
  WriteFile(dir / "mail.uu", text);

  const auto result =
      RunCommand("cd '" + dir.path().string() + "' && uudecode -o decoded.bin mail.uu 2>&1");
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_TRUE(ReadFile(dir / "decoded.bin") == input) << "decoded bytes differ, size " << size;
}

INSTANTIATE_TEST_SUITE_P(Sizes, UUEncodeRoundTripTest,
                         // The last two take several reads: one ends in a partial line, one
                         // in exactly two reads of whole lines.
                         ::testing::Values(0, 1, 2, 44, 45, 46, 90, 300 * 1024 + 7,
                                           3 * 1024 * 1024 + 7, 2 * 45 * 32768));

}  // namespace
}  // namespace nimbo
