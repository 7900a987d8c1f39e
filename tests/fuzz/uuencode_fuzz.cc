// The attachment encoder on any file content, checked by a decoder written here from the
// uuencode format alone (no code shared with the encoder): a "begin 664 <name>" line, data lines
// whose first character counts their bytes (45 at most, every line but the last full) followed
// by four characters per three bytes, each character 32 plus six bits with the grave accent for
// zero, every line ended by CR LF, a line of one grave accent and "end". The decoded bytes must
// be the file's bytes exactly.
//
// Input: the file's content.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "mail/uuencode.h"

namespace {

using nimbo::fuzz::Check;
using nimbo::fuzz::Fail;

// The file the encoder reads, in memory; its path names it by its descriptor.
struct MemoryFile {
  MemoryFile() : fd(memfd_create("nimbo-fuzz-uu", 0)) {
    if (fd < 0) Fail("memfd_create failed");
    path = "/proc/self/fd/" + std::to_string(fd);
    name = std::to_string(fd);
  }
  void Hold(std::string_view content) const {
    if (ftruncate(fd, 0) != 0) Fail("ftruncate failed");
    std::size_t done = 0;
    while (done < content.size()) {
      const ssize_t wrote =
          pwrite(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
      if (wrote <= 0) Fail("pwrite failed");
      done += static_cast<std::size_t>(wrote);
    }
  }
  int fd;
  std::string path;
  std::string name;
};

// The six bits a character stands for; the character must be one an encoder writes.
unsigned SixBits(char c) {
  const auto code = static_cast<unsigned char>(c);
  Check(code >= 33 && code <= 96,
        "only the characters ! to ` are written, not code " + std::to_string(code));
  return (code - 32) & 63;
}

// Splits the text into its CR LF lines; every line must end so.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    Check(end != std::string_view::npos, "every line ends in CR LF");
    const std::string_view line = text.substr(0, end);
    Check(line.find_first_of("\r\n") == std::string_view::npos, "no bare CR or LF in a line");
    lines.push_back(line);
    text.remove_prefix(end + 2);
  }
  return lines;
}

std::string Decode(std::string_view text, const std::string& name) {
  const std::vector<std::string_view> lines = Lines(text);
  Check(lines.size() >= 3, "a head line, a terminating line and an end line at least");
  Check(lines.front() == "begin 664 " + name, "the head line names the file");
  Check(lines[lines.size() - 2] == "`", "the last data is followed by a line of one grave accent");
  Check(lines.back() == "end", "the text closes with end");

  std::string bytes;
  for (std::size_t i = 1; i + 2 < lines.size(); ++i) {
    const std::string_view line = lines[i];
    Check(!line.empty(), "no empty data line");
    const unsigned count = SixBits(line[0]);
    Check(count != 0, "no line of no bytes before the terminating line");
    Check(count <= 45, "at most 45 bytes on a line");
    Check(count == 45 || i + 3 == lines.size(), "only the last data line is short");
    const std::size_t groups = (count + 2) / 3;
    Check(line.size() == 1 + 4 * groups, "four characters per three bytes on a line");
    std::string decoded;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::string_view four = line.substr(1 + 4 * g, 4);
      const unsigned bits = (SixBits(four[0]) << 18) | (SixBits(four[1]) << 12) |
                            (SixBits(four[2]) << 6) | SixBits(four[3]);
      decoded += static_cast<char>((bits >> 16) & 0xFF);
      decoded += static_cast<char>((bits >> 8) & 0xFF);
      decoded += static_cast<char>(bits & 0xFF);
    }
    bytes.append(decoded, 0, count);
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const MemoryFile file;
  const std::string_view content = nimbo::fuzz::AsText(data, size);
  file.Hold(content);
  const std::string text = nimbo::UUEncodeFile(file.path);
  const std::string decoded = Decode(text, file.name);
  Check(decoded == content, "the decoded bytes are the file's bytes");
  return 0;
}
