// The in-memory stream and its save to a file as raw bytes.
#include "platform/memory_stream.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "nimbo/error.h"

namespace nimbo {
namespace {

[[noreturn]] void FailWrite(const std::string& path, int error_number) {
  throw Error(err::kWriteToFileFailed,
              fmt::format("Write to file failed: {}: {}", path, std::strerror(error_number)));
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void MemoryStream::Type(int value) {
  if (open_) throw Error(err::kObjectOpen);
  if (value != kTypeBinary && value != kTypeText) throw Error(err::kArgumentsWrongType);
  type_ = value;
}

void MemoryStream::Open() {
  if (open_) throw Error(err::kObjectOpen);
  bytes_.clear();
  open_ = true;
}

void MemoryStream::RequireOpen() const {
  if (!open_) throw Error(err::kObjectClosed);
}

void MemoryStream::Write(const Variant& data) {
  RequireOpen();
  if (type_ != kTypeBinary) throw Error(err::kNotAllowedInContext);
  if (data.type() != VarType::kBytes) throw Error(err::kArgumentsWrongType);
  bytes_.insert(bytes_.end(), data.bytes().begin(), data.bytes().end());
}

void MemoryStream::SaveToFile(const std::string& path, int options) {
  RequireOpen();
  if (options != kSaveCreateOverWrite && options != kSaveCreateNotExist) {
    throw Error(err::kArgumentsWrongType);
  }
  // A NUL would cut the path short and write somewhere else.
  if (path.find('\0') != std::string::npos) FailWrite(path, EINVAL);
  // "x" makes the create fail when the file exists, without a race between test and create.
  const char* mode = options == kSaveCreateNotExist ? "wbx" : "wb";
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), mode));
  if (!file) FailWrite(path, errno);
  if (!bytes_.empty() &&
      std::fwrite(bytes_.data(), 1, bytes_.size(), file.get()) != bytes_.size()) {
    FailWrite(path, errno);
  }
  if (std::fclose(file.release()) != 0) FailWrite(path, errno);
}

void MemoryStream::Close() {
  RequireOpen();
  open_ = false;
  bytes_.clear();
  bytes_.shrink_to_fit();
}

}  // namespace nimbo
