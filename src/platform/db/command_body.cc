#include "platform/db/command_body.h"

#include <fmt/format.h>

#include <utility>

#include "nimbo/error.h"
#include "nimbo/record_source.h"

namespace nimbo::db {

void CommandError(std::string description) {
  throw Error(err::kCommandError, std::move(description));
}

std::string Context(const ExecCall* call) {
  return call ? fmt::format("Procedure {}: ", call->procedure) : std::string();
}

void SplitBody(std::string_view body, const ExecCall* call, CommandBody& out) {
  const std::string keyword = LeadingKeyword(body);
  if (keyword == "SHAPE") {
    out.is_shape = true;
    out.shape = ParseShape(body);
    out.queries.assign(out.shape.queries.begin(), out.shape.queries.end());
  } else if (IsQueryKeyword(keyword)) {
    out.queries.push_back(body);
  } else {
    CommandError(Context(call) + "the body is not a SELECT or WITH query or a SHAPE command.");
  }
}

}  // namespace nimbo::db
