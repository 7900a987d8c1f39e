// The clock the component reads the current date and time from. The host may replace it
// (tests and the command's --now option fix it).
#ifndef NIMBO_CLOCK_H_
#define NIMBO_CLOCK_H_

#include <memory>

#include "nimbo/export.h"
#include "nimbo/variant.h"

namespace nimbo {

class NIMBO_API Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time.
  virtual Date Now() const = 0;
};

// The system's local time.
NIMBO_API std::shared_ptr<Clock> SystemClock();
// A clock that always answers `now`.
NIMBO_API std::shared_ptr<Clock> FixedClock(Date now);

}  // namespace nimbo

#endif  // NIMBO_CLOCK_H_
