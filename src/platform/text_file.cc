// Writing the component's files through a temporary file that replaces the real one when whole.
#include "platform/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "nimbo/error.h"
#include "platform/utf8_text.h"

namespace nimbo {
namespace {

// Temporary names: the process, a counter and a random number, so that two writers (in one
// process or in two) never pick the same name; O_EXCL settles any clash that is left.
std::string TemporaryName(std::string_view path) {
  static std::atomic<std::uint64_t> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  const std::size_t slash = path.rfind('/');
  const std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return fmt::format("{}.{}.{}-{}-{:08x}", folder, name, static_cast<long>(getpid()),
                     counter.fetch_add(1), static_cast<std::uint32_t>(random()));
}

int NumberFor(int error_number) {
  return (error_number == ENOENT || error_number == ENOTDIR) ? err::kPathNotFound
                                                             : err::kPathFileAccess;
}

}  // namespace

ReplacementFile::ReplacementFile(std::string path, Existing existing)
    : path_(std::move(path)), existing_(existing) {
  // A NUL would cut the path short and write somewhere else.
  if (path_.find('\0') != std::string::npos) Fail(EINVAL, "cannot write");
  // A folder where the file should be would show only when the file is put in place.
  struct stat existing_file {};
  if (::stat(path_.c_str(), &existing_file) == 0 && S_ISDIR(existing_file.st_mode)) {
    Fail(EISDIR, "cannot write");
  }
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp_path_ = TemporaryName(path_);
    // Mode 0666 less the umask: the file gets the permissions a plain create would give it.
    fd = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int error_number = errno;
    temp_path_.clear();
    Fail(error_number, "cannot write");
  }
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int error_number = errno;
    ::close(fd);
    Fail(error_number, "cannot write");
  }
  // Most bytes arrive in large blocks (TextFileWriter); the buffer gathers the small writes.
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() noexcept {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
}

void ReplacementFile::Fail(int error_number, std::string_view doing) {
  if (failed_number_ == 0) {
    failed_number_ = NumberFor(error_number);
    failed_detail_ = fmt::format("{}: {} ({})", path_, doing, std::strerror(error_number));
  }
  Discard();
  throw Error::WithDetail(failed_number_, failed_detail_);
}

void ReplacementFile::Write(std::string_view bytes) {
  if (failed_number_ != 0) throw Error::WithDetail(failed_number_, failed_detail_);
  if (file_ == nullptr) throw Error(err::kPathFileAccess);  // committed already
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    Fail(errno, "cannot write");
  }
  written_ += bytes.size();
  if (written_ - kicked_ >= kKickBytes) KickWriteBack();
}

void ReplacementFile::KickWriteBack() {
#if defined(__linux__)
  // The sync at Commit waits for every byte to reach the disk. Starting the write-back of what
  // is written so far lets the disk work while the rest of a large file is being made, and
  // leaves the final sync little to wait for. Only a start: nothing here waits or fails.
  if (std::fflush(file_) != 0) Fail(errno, "cannot write");
  ::sync_file_range(::fileno(file_), static_cast<off64_t>(kicked_),
                    static_cast<off64_t>(written_ - kicked_), SYNC_FILE_RANGE_WRITE);
#endif
  kicked_ = written_;
}

void ReplacementFile::Commit() {
  if (failed_number_ != 0) throw Error::WithDetail(failed_number_, failed_detail_);
  if (file_ == nullptr) return;
  // A full disk may show only now: at the flush, at the sync (file systems that allocate late)
  // or at the close.
  if (std::fflush(file_) != 0) Fail(errno, "cannot write");
  if (::fsync(::fileno(file_)) != 0) Fail(errno, "cannot write");
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) Fail(errno, "cannot write");
  if (existing_ == Existing::kFail) {
    // Claiming the name with an exclusive create makes the check and the taking one step; the
    // whole file then replaces the empty one. (A hard link would do it in one, but not every
    // file system has them.)
    const int claim = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (claim < 0) Fail(errno, "cannot create");
    ::close(claim);
  }
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    const int error_number = errno;
    if (existing_ == Existing::kFail) ::unlink(path_.c_str());  // the empty claim goes too
    Fail(error_number, "cannot replace");
  }
  temp_path_.clear();
}

void TextFileWriter::WriteLine(std::string_view text) {
  if (file_.failed()) file_.Write({});  // raises the error the file failed with
  // Pages are UTF-8: bytes that are not (from a stored head, a caption, a record) become U+FFFD
  // rather than make the whole page invalid.
  if (IsValidUtf8(text)) {
    block_.append(text);
  } else {
    AppendValidUtf8(text, block_);
  }
  block_.append("\r\n");
  if (block_.size() >= kBlockBytes) WriteBlock();
}

void TextFileWriter::WriteBlock() {
  // Emptied however the write ends: after a failed write the file raises the same error on
  // every later call, so the lines are not kept for another try.
  struct Emptied {
    std::string& block;
    ~Emptied() { block.clear(); }
  } emptied{block_};
  file_.Write(block_);
}

void TextFileWriter::Commit() {
  WriteBlock();
  file_.Commit();
}

void WriteOneLineFile(const std::string& path, std::string_view text) {
  TextFileWriter writer(path);
  writer.WriteLine(text);
  writer.Commit();
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace nimbo
