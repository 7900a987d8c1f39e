// nimbo::Stream in memory: bytes collected by Write, saved to a file by SaveToFile.
#ifndef NIMBO_SRC_PLATFORM_MEMORY_STREAM_H_
#define NIMBO_SRC_PLATFORM_MEMORY_STREAM_H_

#include <string>

#include "nimbo/record_source.h"

namespace nimbo {

class MemoryStream : public Stream {
 public:
  void Type(int value) override;
  int Type() const override { return type_; }
  void Open() override;
  void Write(const Variant& data) override;
  void SaveToFile(const std::string& path, int options) override;
  void Close() override;
  int State() const override { return open_ ? kStateOpen : kStateClosed; }

 private:
  void RequireOpen() const;

  int type_ = kTypeText;
  bool open_ = false;
  Bytes bytes_;
};

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_MEMORY_STREAM_H_
