// The classic error numbers and their descriptions.
#include "nimbo/error.h"

#include <utility>

namespace nimbo {

std::string_view DescriptionOf(int number) {
  switch (number) {
    case err::kInvalidCall: return "Invalid procedure call or argument";
    case err::kOverflow: return "Overflow";
    case err::kOutOfMemory: return "Out of memory";
    case err::kSubscriptOutOfRange: return "Subscript out of range";
    case err::kTypeMismatch: return "Type mismatch";
    case err::kFileNotFound: return "File not found";
    case err::kPathFileAccess: return "Path/File access error";
    case err::kPathNotFound: return "Path not found";
    case err::kObjectNotSet: return "Object variable or With block variable not set";
    case err::kInvalidUseOfNull: return "Invalid use of Null";
    case err::kSetAtRunTime: return "Property Set can't be executed at run time";
    case err::kGetAtRunTime: return "Property Get can't be executed at run time";
    case err::kNoSuchMember: return "Object doesn't support this property or method";
    case err::kNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case err::kObjectClosed: return "Operation is not allowed when the object is closed.";
    case err::kKeyNotUnique: return "Key is not unique in collection";
    default: return "Application-defined or object-defined error";
  }
}

Error::Error(int number) : Error(number, std::string(DescriptionOf(number))) {}

Error::Error(int number, std::string description)
    : std::runtime_error(std::move(description)), number_(number) {}

Error::Error(int number, std::string description, std::string detail)
    : Error(number, std::move(description)) {
  if (!detail.empty()) detail_ = std::make_shared<const std::string>(std::move(detail));
}

Error Error::WithDetail(int number, std::string detail) {
  return Error(number, std::string(DescriptionOf(number)), std::move(detail));
}

const std::string& Error::detail() const noexcept {
  static const std::string kNone;
  return detail_ ? *detail_ : kNone;
}

}  // namespace nimbo
