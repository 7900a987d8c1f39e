// A real folder that cannot be written, for the files a test puts in it first. Root ignores
// permissions, so as root it is a small tmpfs mounted read-only; otherwise a folder whose write
// permission is taken away. Where neither works (root without the right to mount), the test
// skips and says why.
#ifndef NIMBO_TESTS_TESTING_READ_ONLY_FOLDER_H_
#define NIMBO_TESTS_TESTING_READ_ONLY_FOLDER_H_

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "testing/test_support.h"

namespace nimbo::testing {

class ReadOnlyFolder {
 public:
  // A writable folder that Seal() makes read-only.
  ReadOnlyFolder() : path_(dir_ / "sealed") {
    std::filesystem::create_directory(path_);
    if (geteuid() == 0) {
      if (mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16m,mode=0755") != 0) {
        why_not_ = std::string(
                       "running as root, which ignores permissions, and a read-only tmpfs "
                       "cannot be mounted here: ") +
                   std::strerror(errno);
        return;
      }
      mounted_ = true;
    }
  }
  ~ReadOnlyFolder() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    if (sealed_ && !mounted_) chmod(path_.c_str(), 0755);
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

  // Empty when the folder can be made read-only; otherwise why not (the test should skip).
  const std::string& why_not() const { return why_not_; }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  // Makes the folder read-only. Throws when that fails.
  void Seal() {
    const int rc = mounted_ ? mount("tmpfs", path_.c_str(), "tmpfs",
                                    MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr)
                            : chmod(path_.c_str(), 0555);
    if (rc != 0)
      throw std::runtime_error(std::string("cannot seal the folder: ") + strerror(errno));
    sealed_ = true;
  }

 private:
  TempDir dir_;
  std::filesystem::path path_;
  std::string why_not_;
  bool mounted_ = false;
  bool sealed_ = false;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_READ_ONLY_FOLDER_H_
