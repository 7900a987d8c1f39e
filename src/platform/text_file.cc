// Writing the component's text files.
#include "platform/text_file.h"

#include <cerrno>
#include <cstring>

#include "nimbo/error.h"

namespace nimbo {
namespace {

Error FileError(int error_number, const std::string& path) {
  const int number = (error_number == ENOENT || error_number == ENOTDIR) ? err::kPathNotFound
                                                                         : err::kPathFileAccess;
  return Error(number, std::string(DescriptionOf(number)) + ": " + path + " (" +
                           std::strerror(error_number) + ")");
}

}  // namespace

TextFileWriter::TextFileWriter(const std::string& path) : path_(path) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) throw FileError(errno, path_);
  // Pages are written line by line; a large buffer keeps that to a few system calls.
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

TextFileWriter::~TextFileWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

void TextFileWriter::WriteLine(std::string_view text) {
  if (file_ == nullptr) throw Error(err::kPathFileAccess);
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2) {
    throw FileError(errno, path_);
  }
}

void TextFileWriter::Close() {
  if (file_ == nullptr) return;
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) throw FileError(errno, path_);
}

void WriteOneLineFile(const std::string& path, std::string_view text) {
  TextFileWriter writer(path);
  writer.WriteLine(text);
  writer.Close();
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace nimbo
