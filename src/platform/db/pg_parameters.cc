// A scanner of PostgreSQL SQL text that finds parameter references, and the numbering of @name
// parameters as $n.
#include "platform/db/pg_parameters.h"

#include <fmt/format.h>

#include <functional>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/result_table.h"

namespace nimbo::db {
namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }
// Bytes past ASCII belong to identifiers, as the server's scanner has it.
bool IsIdentStart(char c) {
  return IsLetter(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigitChar(c) || c == '$'; }

// One parameter reference in a query: [begin, end) of its text.
struct Reference {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t position = 0;  // $k: k; @name: 0
  std::string_view name;     // @name without the "@"
};

// The index just past a quoted run that opens at `i` with `quote`, a doubled quote standing for
// one; with `backslashes`, a backslash escapes the next character (E'...' strings). An
// unterminated run ends the text; the server reports it.
std::size_t SkipQuoted(std::string_view sql, std::size_t i, char quote, bool backslashes) {
  ++i;
  while (i < sql.size()) {
    const char c = sql[i];
    if (backslashes && c == '\\') {
      i += 2;
    } else if (c == quote) {
      if (i + 1 < sql.size() && sql[i + 1] == quote) {
        i += 2;
      } else {
        return i + 1;
      }
    } else {
      ++i;
    }
  }
  return sql.size();
}

// Block comments nest in PostgreSQL.
std::size_t SkipBlockComment(std::string_view sql, std::size_t i) {
  std::size_t depth = 0;
  while (i < sql.size()) {
    if (sql.substr(i, 2) == "/*") {
      ++depth;
      i += 2;
    } else if (sql.substr(i, 2) == "*/") {
      i += 2;
      if (--depth == 0) return i;
    } else {
      ++i;
    }
  }
  return sql.size();
}

// The tag of a dollar quote ("$tag$" or "$$") opening at `i`, or 0 when none opens there.
std::size_t DollarTagLength(std::string_view sql, std::size_t i) {
  std::size_t j = i + 1;
  if (j < sql.size() && IsIdentStart(sql[j])) {
    while (j < sql.size() && IsIdentChar(sql[j]) && sql[j] != '$') ++j;
  }
  if (j < sql.size() && sql[j] == '$') return j + 1 - i;
  return 0;
}

// Calls `found` for every parameter reference outside constants, quoted names and comments.
void ScanReferences(std::string_view sql, const std::function<void(const Reference&)>& found) {
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'') {
      i = SkipQuoted(sql, i, '\'', false);
    } else if (c == '"') {
      i = SkipQuoted(sql, i, '"', false);
    } else if (sql.substr(i, 2) == "--") {
      const std::size_t end = sql.find('\n', i);
      i = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (sql.substr(i, 2) == "/*") {
      i = SkipBlockComment(sql, i);
    } else if (IsIdentStart(c)) {
      const std::size_t start = i;
      while (i < sql.size() && IsIdentChar(sql[i])) ++i;
      // E'...' and e'...' are the strings in which a backslash escapes a quote.
      if (i - start == 1 && (c == 'E' || c == 'e') && i < sql.size() && sql[i] == '\'') {
        i = SkipQuoted(sql, i, '\'', true);
      }
    } else if (c == '$') {
      if (i + 1 < sql.size() && IsDigitChar(sql[i + 1])) {
        Reference reference;
        reference.begin = i;
        std::size_t j = i + 1;
        std::size_t position = 0;
        while (j < sql.size() && IsDigitChar(sql[j])) {
          if (position <= kMaxPgParameters) position = position * 10 + (sql[j] - '0');
          ++j;
        }
        reference.end = j;
        reference.position = position;
        i = j;
        if (position > 0) found(reference);
      } else if (const std::size_t tag = DollarTagLength(sql, i)) {
        const std::string_view delimiter = sql.substr(i, tag);
        const std::size_t close = sql.find(delimiter, i + tag);
        i = close == std::string_view::npos ? sql.size() : close + tag;
      } else {
        ++i;
      }
    } else if (c == '@' && i + 1 < sql.size() && IsLetter(sql[i + 1])) {
      Reference reference;
      reference.begin = i;
      std::size_t j = i + 1;
      while (j < sql.size() && (IsLetter(sql[j]) || IsDigitChar(sql[j]) || sql[j] == '_')) ++j;
      reference.end = j;
      reference.name = sql.substr(i + 1, j - i - 1);
      i = j;
      found(reference);
    } else {
      ++i;
    }
  }
}

[[noreturn]] void TooMany() {
  throw Error(err::kCommandError,
              fmt::format("The body uses more than {} parameters.", kMaxPgParameters));
}

}  // namespace

PgBodyParameters NumberPgParameters(const std::vector<std::string_view>& queries) {
  std::size_t positional = 0;
  std::vector<std::string> names;  // "@name" in order of first use
  std::vector<bool> positional_used;
  for (std::string_view sql : queries) {
    ScanReferences(sql, [&](const Reference& reference) {
      if (reference.position > 0) {
        if (reference.position > kMaxPgParameters) TooMany();
        if (reference.position > positional) positional = reference.position;
        if (positional_used.size() < positional) positional_used.resize(positional, false);
        positional_used[reference.position - 1] = true;
        return;
      }
      const std::string name = "@" + std::string(reference.name);
      for (const std::string& earlier : names) {
        if (SameName(earlier, name)) return;
      }
      names.push_back(name);
    });
  }
  if (positional + names.size() > kMaxPgParameters) TooMany();

  PgBodyParameters result;
  for (std::size_t k = 1; k <= positional; ++k) result.names.push_back(fmt::format("${}", k));
  result.used = positional_used;
  result.used.resize(positional, false);
  for (const std::string& name : names) {
    result.names.push_back(name);
    result.used.push_back(true);
  }
  for (std::string_view sql : queries) {
    std::string& out = result.queries.emplace_back();
    std::size_t copied = 0;
    ScanReferences(sql, [&](const Reference& reference) {
      if (reference.position > 0) return;
      const std::string name = "@" + std::string(reference.name);
      std::size_t slot = positional;
      for (const std::string& known : names) {
        if (SameName(known, name)) break;
        ++slot;
      }
      out.append(sql.substr(copied, reference.begin - copied));
      out += fmt::format("${}", slot + 1);
      copied = reference.end;
    });
    out.append(sql.substr(copied));
  }
  return result;
}

}  // namespace nimbo::db
