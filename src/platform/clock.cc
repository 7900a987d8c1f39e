// The host-replaceable clock: the system's local time, and a fixed clock for tests and --now.
#include "nimbo/clock.h"

#include <ctime>
#include <memory>

#include "nimbo/date.h"

namespace nimbo {
namespace {

class LocalClock final : public Clock {
 public:
  Date Now() const override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // tm_sec may be 60 during a leap second; a Date has no such second.
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                    local.tm_min, second);
  }
};

class StoppedClock final : public Clock {
 public:
  explicit StoppedClock(Date now) : now_(now) {}
  Date Now() const override { return now_; }

 private:
  Date now_;
};

}  // namespace

std::shared_ptr<Clock> SystemClock() { return std::make_shared<LocalClock>(); }

std::shared_ptr<Clock> FixedClock(Date now) { return std::make_shared<StoppedClock>(now); }

}  // namespace nimbo
