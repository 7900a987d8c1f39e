// Files the component writes whole in the application folder (the pages, the picture): written
// to a temporary file beside the real one and put in its place only once every byte is on disk,
// so a reader sees either the earlier file or the new one whole, never a part of the new one.
// Text lines are written as UTF-8 followed by CR LF.
#ifndef NIMBO_SRC_PLATFORM_TEXT_FILE_H_
#define NIMBO_SRC_PLATFORM_TEXT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace nimbo {

// A file being replaced: the bytes go to a temporary file in the same folder ("." followed by
// the name and a random suffix), which Commit puts in place. Until then the earlier file stays as
// it was; a writer that is not committed removes its temporary file.
//
// Errors are nimbo::Error with the classic description and, as the detail, the path and the
// system's reason: 76 when the folder does not exist, 75 when the file cannot be written
// (a read-only or full file system, a folder where the file should be). Once a write has failed,
// every later call raises the same error again and nothing is put in place.
class ReplacementFile {
 public:
  // What to do when the file exists already.
  enum class Existing { kReplace, kFail };

  explicit ReplacementFile(std::string path, Existing existing = Existing::kReplace);
  // Removes the temporary file unless committed; never raises.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  void Write(std::string_view bytes);
  // Flushes the bytes to the disk, closes the temporary file and puts it in place of the file
  // (with Existing::kFail, raises 75 instead when the file exists by now).
  void Commit();

  const std::string& path() const { return path_; }
  // Whether a write has failed (every later call raises its error).
  bool failed() const { return failed_number_ != 0; }

 private:
  [[noreturn]] void Fail(int error_number, std::string_view doing);
  void Discard() noexcept;
  void KickWriteBack();

  static constexpr std::uint64_t kKickBytes = std::uint64_t{8} << 20;

  std::string path_;
  std::string temp_path_;
  Existing existing_;
  std::FILE* file_ = nullptr;
  int failed_number_ = 0;  // the error already raised, raised again on later calls
  std::uint64_t written_ = 0;  // bytes handed to the file
  std::uint64_t kicked_ = 0;   // bytes whose write-back has been started
  std::string failed_detail_;
};

// A text file written line by line and put in place whole (see ReplacementFile). Lines are
// gathered into blocks before they are written: a page of a million rows is a million lines,
// and a write each would cost more than making them. A block is no larger than the file's own
// buffer, so a full disk shows as soon as it did with a write per line.
class TextFileWriter {
 public:
  explicit TextFileWriter(const std::string& path) : file_(path) { block_.reserve(kBlockBytes); }

  // Writes one line and its CR LF; any part of it that is not well-formed UTF-8 is written as
  // U+FFFD. Raises 75 when a write fails (that of this line's block, which may hold earlier
  // lines), and again on every later call.
  void WriteLine(std::string_view text);
  // Puts the file in place. Raises 75 when its bytes cannot be written out.
  void Commit();

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 16;
  void WriteBlock();

  ReplacementFile file_;
  std::string block_;
};

// Writes a whole file of one line (the text, then CR LF), replacing it.
void WriteOneLineFile(const std::string& path, std::string_view text);

// A file in a folder, joined with this platform's path separator.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_TEXT_FILE_H_
