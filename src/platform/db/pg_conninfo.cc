// Connection texts of the PostgreSQL back end.
#include "platform/db/pg_conninfo.h"

#include <fmt/format.h>
#include <libpq-fe.h>

#include <memory>
#include <set>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/result_table.h"

namespace nimbo::db {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// The keywords this libpq understands, lower case.
const std::set<std::string>& LibpqKeywords() {
  static const std::set<std::string> keywords = [] {
    std::set<std::string> result;
    struct Free {
      void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
    };
    const std::unique_ptr<PQconninfoOption, Free> options(PQconndefaults());
    for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o) {
      result.insert(o->keyword);
    }
    return result;
  }();
  return keywords;
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

}  // namespace

bool IsPgUri(std::string_view text) {
  return StartsWithNoCase(text, "postgresql://") || StartsWithNoCase(text, "postgres://");
}

bool IsPgConnectionText(const ConnectionText& text) {
  if (const std::string* source = text.Find("Data Source"); source && IsPgUri(*source)) {
    return true;
  }
  const std::string* provider = text.Find("Provider");
  return provider != nullptr && SameName(*provider, "PostgreSQL");
}

PgConnInfo PgConnInfoFrom(const ConnectionText& text) {
  PgConnInfo info;
  auto add = [&info](std::string key, const std::string& value) {
    if (value.find('\0') != std::string::npos) {
      throw Error(err::kProviderError,
                  fmt::format("The connection parameter {} contains a NUL character.", key));
    }
    info.parameters.emplace_back(std::move(key), value);
  };
  if (const std::string* source = text.Find("Data Source"); source && !source->empty()) {
    add(IsPgUri(*source) ? "dbname" : "host", *source);
  }
  for (const auto& [key, value] : text.pairs()) {
    const std::string keyword = Lower(key);
    if (keyword == "data source" || !LibpqKeywords().count(keyword)) continue;
    add(keyword, value);
  }
  return info;
}

std::string DescribePgTarget(std::string_view database, std::string_view host,
                             std::string_view port, std::string_view user) {
  std::string where = host.empty() ? std::string("the default server") : std::string(host);
  if (!port.empty()) where += fmt::format(":{}", port);
  std::string text = database.empty() ? std::string("the default database")
                                      : fmt::format("database {}", database);
  text += fmt::format(" on {}", where);
  if (!user.empty()) text += fmt::format(" as user {}", user);
  return text;
}

}  // namespace nimbo::db
