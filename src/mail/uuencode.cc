// The attachment encoder: reads a file in large chunks and writes its uuencoded text straight
// into a string sized up front, two output characters per table look-up.
#include "mail/uuencode.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "nimbo/error.h"

namespace nimbo {
namespace {

constexpr std::size_t kLineBytes = 45;
// A full line: the length character "M", 60 encoded characters and CR LF.
constexpr std::size_t kFullLineChars = 1 + 60 + 2;
// Whole lines per read, so only the final chunk of a file can end in a partial line. About
// 1.4 MiB: large enough that system calls do not count, small enough to stay in cache.
constexpr std::size_t kChunkBytes = kLineBytes * 32768;
constexpr std::string_view kHead = "begin 664 ";
constexpr std::string_view kTail = "`\r\nend\r\n";
// The filler of a last group that is short of three bytes.
constexpr unsigned char kPadByte = 32;

// A 6-bit value (or a byte count up to 45) as its character. The value 0 would be a space,
// which mail transports trim or mangle, so it becomes the grave accent instead.
constexpr char CharOf(unsigned value) { return value == 0 ? '`' : static_cast<char>(value + 32); }

// The two characters of every 12-bit value, so that three input bytes take two look-ups into
// 8 KiB, which stays in the first-level cache.
struct PairTable {
  std::array<char, 2 * 4096> chars{};
};

constexpr PairTable MakePairTable() {
  PairTable table;
  for (unsigned v = 0; v < 4096; ++v) {
    table.chars[2 * v] = CharOf(v >> 6);
    table.chars[2 * v + 1] = CharOf(v & 0x3F);
  }
  return table;
}

constexpr PairTable kPairs = MakePairTable();

// Encodes `groups` groups of three bytes from `in` into 4 * `groups` characters at `out`.
inline char* EncodeGroups(const unsigned char* in, std::size_t groups, char* out) {
  for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4) {
    const std::uint32_t bits = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, &kPairs.chars[2 * (bits >> 12)], 2);
    std::memcpy(out + 2, &kPairs.chars[2 * (bits & 0xFFF)], 2);
  }
  return out;
}

inline char* EncodeFullLine(const unsigned char* in, char* out) {
  *out++ = CharOf(kLineBytes);
  out = EncodeGroups(in, kLineBytes / 3, out);
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

// The last line of a file, `count` (0 to 44) bytes, padded to whole groups with spaces; the
// length character still counts only the real bytes.
char* EncodeLastLine(const unsigned char* in, std::size_t count, char* out) {
  std::array<unsigned char, kLineBytes> block;
  block.fill(kPadByte);
  std::copy_n(in, count, block.begin());
  *out++ = CharOf(static_cast<unsigned>(count));
  out = EncodeGroups(block.data(), (count + 2) / 3, out);
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

// A file whose length is a multiple of 45 (the empty file too) has no short last line: a line of
// 0 bytes would read as the terminating line, and decoders then miss the "end" after it.
constexpr std::uint64_t LastLineChars(std::uint64_t count) {
  return count == 0 ? 0 : 1 + 4 * ((count + 2) / 3) + 2;
}

// The name that goes on the head line. Both separators count, so a path from a host that uses
// backslashes names its file the same way.
std::string_view FileName(std::string_view path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// A result this large is worth backing with huge pages.
constexpr std::uint64_t kHugePageThreshold = std::uint64_t{8} << 20;

// Asks the kernel to back the whole pages inside [data, data + size) with huge pages. A
// result of a few hundred MB would otherwise take one page fault per 4 KiB when it is first
// written, which costs more than the encoding itself. Only a hint: where the kernel does not
// allow it, nothing changes.
void AdviseHugePages(char* data, std::size_t size) {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Owns an open file descriptor.
class File {
 public:
  explicit File(int fd) : fd_(fd) {}
  ~File() { ::close(fd_); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  int fd() const { return fd_; }

  // Reads exactly `size` bytes; a file that ends early (cut short while being read) or a read
  // failure is an access error.
  void ReadExactly(unsigned char* into, std::size_t size, const std::string& path) const {
    while (size > 0) {
      const ssize_t got = ::read(fd_, into, size);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        throw Error::WithDetail(err::kPathFileAccess, path + ": " + std::strerror(errno));
      }
      if (got == 0) throw Error::WithDetail(err::kPathFileAccess, path + " ended early");
      into += got;
      size -= static_cast<std::size_t>(got);
    }
  }

 private:
  int fd_;
};

}  // namespace

std::string UUEncodeFile(const std::string& path) {
  // A name with a NUL in it cannot name any file.
  if (path.find('\0') != std::string::npos) return {};

  // Looking and opening are one step, so a file cannot vanish in between. Non-blocking, so a
  // pipe at the path is turned down below instead of waiting for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) return {};
    throw Error::WithDetail(err::kPathFileAccess, path + ": " + std::strerror(errno));
  }
  const File file(fd);
  struct stat info;
  if (::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw Error::WithDetail(err::kPathFileAccess, path + " is not a plain file");
  }
  // Plain blocking reads from here on, whatever the file system makes of the flag.
  ::fcntl(file.fd(), F_SETFL, ::fcntl(file.fd(), F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);

  // 64-bit arithmetic throughout: a file of a few GB must not wrap the size.
  const auto length = static_cast<std::uint64_t>(info.st_size);
  const std::string_view name = FileName(path);
  const std::uint64_t full_lines = length / kLineBytes;
  const std::uint64_t rest = length % kLineBytes;
  const std::uint64_t total = kHead.size() + name.size() + 2 + full_lines * kFullLineChars +
                              LastLineChars(rest) + kTail.size();

  std::string text;
  if (total > text.max_size()) throw std::length_error("UUEncodeFile: file too large");
  text.reserve(static_cast<std::size_t>(total));
  if (total >= kHugePageThreshold) AdviseHugePages(text.data(), text.capacity());
  text.resize(static_cast<std::size_t>(total));
  char* out = text.data();
  out = std::copy(kHead.begin(), kHead.end(), out);
  out = std::copy(name.begin(), name.end(), out);
  *out++ = '\r';
  *out++ = '\n';

  std::vector<unsigned char> buffer(
      static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunkBytes)));
  std::uint64_t remaining = length;
  std::size_t last_chunk = 0;
  while (remaining > 0) {
    last_chunk = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer.size()));
    file.ReadExactly(buffer.data(), last_chunk, path);
    const unsigned char* in = buffer.data();
    for (std::size_t line = 0; line < last_chunk / kLineBytes; ++line, in += kLineBytes) {
      out = EncodeFullLine(in, out);
    }
    remaining -= last_chunk;
  }
  // Every chunk but the last is whole lines, so the rest sits at the end of the last chunk.
  if (rest > 0) {
    out = EncodeLastLine(buffer.data() + last_chunk - rest, static_cast<std::size_t>(rest), out);
  }
  out = std::copy(kTail.begin(), kTail.end(), out);
  assert(out == text.data() + text.size());
  return text;
}

}  // namespace nimbo
