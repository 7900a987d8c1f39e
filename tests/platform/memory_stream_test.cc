// The stream's save when the file cannot be written: the classic description with the path and
// the reason as the detail, and the earlier file whole, on a real full disk (a tmpfs mounted by
// the test when run as root).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::FileNames;
using testing::ReadFile;
using testing::ScratchMount;
using testing::TempDir;
using testing::WriteFile;

std::shared_ptr<Stream> StreamOf(std::size_t bytes) {
  auto stream = CreateStream();
  stream->Type(kTypeBinary);
  stream->Open();
  stream->Write(Variant(Bytes(bytes, 0xAB)));
  return stream;
}

// The error SaveToFile raises; fails the test when it raises none.
Error SaveError(Stream& stream, const std::string& path, int options) {
  try {
    stream.SaveToFile(path, options);
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return Error(0);
}

TEST(MemoryStreamTest, AFailedSaveSaysWriteToFileFailedAndWhereAsTheDetail) {
  TempDir dir;
  auto stream = StreamOf(10);
  const Error e = SaveError(*stream, dir.path().string(), kSaveCreateOverWrite);
  EXPECT_EQ(e.number(), err::kWriteToFileFailed);
  EXPECT_STREQ(e.description(), "Write to file failed.");
  EXPECT_EQ(e.detail(), dir.path().string() + ": cannot write (Is a directory)");
}

TEST(MemoryStreamTest, AFullDiskKeepsTheEarlierFileWhole) {
  ScratchMount disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
  WriteFile(disk / "pic1", "earlier picture");
  disk.Fill();
  for (std::size_t size : {100u, 200000u}) {  // within the write buffer, and beyond it
    SCOPED_TRACE(size);
    auto stream = StreamOf(size);
    const Error e = SaveError(*stream, (disk / "pic1").string(), kSaveCreateOverWrite);
    EXPECT_EQ(e.number(), err::kWriteToFileFailed);
    EXPECT_EQ(e.detail(), (disk / "pic1").string() + ": cannot write (No space left on device)");
    EXPECT_EQ(ReadFile(disk / "pic1"), "earlier picture");
    EXPECT_EQ(FileNames(disk.path()), (std::vector<std::string>{"filler", "pic1"}));
  }
}

}  // namespace
}  // namespace nimbo
