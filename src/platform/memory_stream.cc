// The in-memory stream and its save to a file as raw bytes.
#include "platform/memory_stream.h"

#include <string_view>

#include "nimbo/error.h"
#include "platform/text_file.h"

namespace nimbo {

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
  // The bytes go in place whole or not at all: a failed save leaves the earlier file as it was.
  try {
    ReplacementFile file(path, options == kSaveCreateNotExist ? ReplacementFile::Existing::kFail
                                                              : ReplacementFile::Existing::kReplace);
    file.Write(std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
    file.Commit();
  } catch (const Error& e) {
    throw Error(err::kWriteToFileFailed, "Write to file failed.", e.detail());
  }
}

void MemoryStream::Close() {
  RequireOpen();
  open_ = false;
  bytes_.clear();
  bytes_.shrink_to_fit();
}

}  // namespace nimbo
