// Reading a connection text: "key=value" pairs separated by ";". Back-end neutral.
#ifndef NIMBO_SRC_PLATFORM_DB_CONNECTION_TEXT_H_
#define NIMBO_SRC_PLATFORM_DB_CONNECTION_TEXT_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nimbo::db {

class ConnectionText {
 public:
  // Splits a text into its pairs: keys and values trimmed of blanks; a value wrapped in '...' or
  // "..." keeps its blanks and semicolons, a doubled quote inside standing for one; empty
  // segments are skipped. Raises err::kProviderError for a segment without "=", an empty key or
  // an unterminated quoted value.
  static ConnectionText Parse(std::string_view text);

  // The value of the last pair with this key (letter case ignored), or null.
  const std::string* Find(std::string_view key) const;

  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_CONNECTION_TEXT_H_
