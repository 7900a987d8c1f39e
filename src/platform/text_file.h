// Text files the component writes whole in the application folder: each line is written as its
// UTF-8 bytes followed by CR LF.
#ifndef NIMBO_SRC_PLATFORM_TEXT_FILE_H_
#define NIMBO_SRC_PLATFORM_TEXT_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace nimbo {

class TextFileWriter {
 public:
  // Creates the file or empties it. Raises 76 when its folder does not exist, 75 when it cannot
  // be written otherwise.
  explicit TextFileWriter(const std::string& path);
  // Closes the file if it is still open (errors then are ignored; call Close to see them).
  ~TextFileWriter();
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;

  // Writes one line and its CR LF. Raises 75 when the write fails.
  void WriteLine(std::string_view text);
  // Flushes and closes. Raises 75 when the data cannot be written.
  void Close();

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

// Writes a whole file of one line (the text, then CR LF), replacing it.
void WriteOneLineFile(const std::string& path, std::string_view text);

// A file in a folder, joined with this platform's path separator.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_TEXT_FILE_H_
