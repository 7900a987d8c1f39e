// The limits one command runs under: how long it may run and how much memory its records may
// take. Back-end neutral: each back end enforces the time limit its own way, and charges the
// memory of the records it fetches to a MemoryBudget before it allocates it.
#ifndef NIMBO_SRC_PLATFORM_DB_COMMAND_LIMITS_H_
#define NIMBO_SRC_PLATFORM_DB_COMMAND_LIMITS_H_

#include <chrono>
#include <cstdint>

#include "nimbo/error.h"

namespace nimbo::db {

struct CommandLimits {
  // How long the command may run, waits for other programs' locks included; zero: no limit.
  std::chrono::milliseconds timeout{0};
  // How many bytes its records may take; 0: no limit.
  std::uint64_t max_bytes = 0;
};

// The error of a command stopped at its time-out: err::kQueryTimeout naming the limit.
Error TimeoutError(const CommandLimits& limits);

// The memory the records of one command may still take: the cells, texts and blobs as they are
// held, and the indexes that relate chapter rows, over every query of the command.
class MemoryBudget {
 public:
  explicit MemoryBudget(std::uint64_t limit) : limit_(limit) {}

  // Counts `bytes` about to be allocated. Raises err::kRecordsetTooLarge, before the allocation,
  // when they would take the records past the limit.
  void Charge(std::uint64_t bytes) {
    if (limit_ != 0 && bytes > limit_ - used_) Exceeded();
    used_ += bytes;
  }
  // Raises err::kRecordsetTooLarge: a value that the database itself found too long, say.
  [[noreturn]] void Exceeded() const;

  std::uint64_t used() const { return used_; }
  std::uint64_t limit() const { return limit_; }

 private:
  std::uint64_t limit_;
  std::uint64_t used_ = 0;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_COMMAND_LIMITS_H_
