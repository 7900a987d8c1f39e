// The errors of the command limits, worded for the designer who has to change the query.
#include "platform/db/command_limits.h"

#include <fmt/format.h>

#include <string>

#include "nimbo/record_source.h"

namespace nimbo::db {
namespace {

std::string Amount(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  if (bytes % kMiB == 0) return fmt::format("{} MiB", bytes / kMiB);
  return fmt::format("{} bytes", bytes);
}

}  // namespace

Error TimeoutError(const CommandLimits& limits) {
  const auto ms = limits.timeout.count();
  return Error(err::kQueryTimeout,
               ms % 1000 == 0
                   ? fmt::format("Query timeout expired: the query ran longer than {} s and was "
                                 "stopped",
                                 ms / 1000)
                   : fmt::format("Query timeout expired: the query ran longer than {} ms and was "
                                 "stopped",
                                 ms));
}

void MemoryBudget::Exceeded() const {
  throw Error(err::kRecordsetTooLarge,
              fmt::format("The records of the query would take more than {}, the most one record "
                          "set may take, and the read was stopped",
                          Amount(limit_)));
}

}  // namespace nimbo::db
