// Shared helpers for the tests: temporary folders and whole-file reads and writes.
#ifndef NIMBO_TESTS_TESTING_TEST_SUPPORT_H_
#define NIMBO_TESTS_TESTING_TEST_SUPPORT_H_

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/variant.h"

namespace nimbo::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of a file in the folder.
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A small file system of its own (tmpfs) mounted on a fresh folder, for tests that need a disk
// that is full or read-only for real. Mounting needs root (CI runs as root); elsewhere mounted()
// is false and the test skips, saying why:
//   ScratchMount disk(64 * 1024);
//   if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
// The file system is unmounted and its folder removed when the object goes away.
class ScratchMount {
 public:
  explicit ScratchMount(std::size_t bytes);
  ~ScratchMount();
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& why_not() const { return why_not_; }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  // Takes up every free byte with a file of its own ("filler"), so the next write fails.
  void Fill() const;
  // Mounts the file system again, read-only, keeping what it holds.
  void MakeReadOnly() const;

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
  std::string why_not_;
};

// The names of the files in a folder, sorted.
std::vector<std::string> FileNames(const std::filesystem::path& folder);

// The whole content of a file as raw bytes; throws std::runtime_error when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// Writes raw bytes to a file, replacing it.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// Splits a page file into its lines, each of which must end in CR LF; a last line without one
// comes back with "<no CR LF>" appended, so that the comparison shows it.
std::vector<std::string> LinesOf(const std::string& text);

// Runs a shell command, returning its exit status and what it printed on stdout.
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult RunCommand(const std::string& command);

}  // namespace nimbo::testing

namespace nimbo {
// Shows a Variant in test failures as its type and text form, e.g. Long(7) or String("a").
void PrintTo(const Variant& value, std::ostream* out);
}  // namespace nimbo

#endif  // NIMBO_TESTS_TESTING_TEST_SUPPORT_H_
