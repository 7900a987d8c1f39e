// nimbo::Error: the one exception type that carries a run-time error across Nimbo.
// A run-time error has a number and a description; the component reports it to its host
// as "Error: <number>, <description>".
#ifndef NIMBO_ERROR_H_
#define NIMBO_ERROR_H_

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "nimbo/export.h"

namespace nimbo {

// The error numbers Nimbo raises, with the classic meanings.
namespace err {
inline constexpr int kInvalidCall = 5;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kOverflow = 6;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kFileNotFound = 53;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kInvalidUseOfNull = 94;
inline constexpr int kSetAtRunTime = 382;
inline constexpr int kGetAtRunTime = 393;
inline constexpr int kNoSuchMember = 438;
inline constexpr int kNoCurrentRecord = 3021;
inline constexpr int kObjectClosed = 3704;
inline constexpr int kKeyNotUnique = 35602;
}  // namespace err

// The classic description of a known error number; "Application-defined or
// object-defined error" for any other.
NIMBO_API std::string_view DescriptionOf(int number);

class NIMBO_API Error : public std::runtime_error {
 public:
  // An error with its classic description.
  explicit Error(int number);
  // An error with a description of its own (a database or host message, say).
  Error(int number, std::string description);
  // An error with its classic description and a detail of this machine: the file, the port, the
  // system's reason. The description stays what the classic error says, so hosts can rely on
  // it; the component passes the detail on only as a diagnostic (BlaBla, with Talking).
  static Error WithDetail(int number, std::string detail);
  // An error with a description of its own and a detail.
  Error(int number, std::string description, std::string detail);

  int number() const noexcept { return number_; }
  const char* description() const noexcept { return what(); }
  // The detail, or "" when there is none.
  const std::string& detail() const noexcept;

 private:
  int number_;
  // Shared, so that copying an error (as throwing does) cannot fail.
  std::shared_ptr<const std::string> detail_;
};

}  // namespace nimbo

#endif  // NIMBO_ERROR_H_
