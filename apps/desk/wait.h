// Bounded waits on the GUI thread: the event loop runs until a condition holds or the time is up.
#ifndef NIMBO_APPS_DESK_WAIT_H_
#define NIMBO_APPS_DESK_WAIT_H_

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace nimbo::app::desk {

// Runs the event loop until `done()` or `timeout` has passed; false on the time-out. The loop
// wakes at least every 20 ms to look at the condition again.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() >= timeout.count()) return false;
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// Runs the event loop for `span`, whatever happens.
inline void Pause(std::chrono::milliseconds span) {
  QElapsedTimer clock;
  clock.start();
  WaitUntil([&clock, span] { return clock.elapsed() >= span.count(); }, span * 2);
}

}  // namespace nimbo::app::desk

#endif  // NIMBO_APPS_DESK_WAIT_H_
