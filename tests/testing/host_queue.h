// A host's event loop for sockets in posted mode: the socket's I/O thread queues notifications
// here, and the test's own thread runs them, as a graphical host's loop would. Every wait is
// bounded.
#ifndef NIMBO_TESTS_TESTING_HOST_QUEUE_H_
#define NIMBO_TESTS_TESTING_HOST_QUEUE_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

#include "nimbo/tcp_socket.h"

namespace nimbo::testing {

// How a test's socket reaches the host: Poll/RunFor on the test's thread, or posted to a
// HostQueue that the test's thread runs.
enum class SocketMode { kPolled, kPosted };

inline const char* NameOf(SocketMode mode) {
  return mode == SocketMode::kPolled ? "polled" : "posted";
}

class HostQueue {
 public:
  // What a posted-mode socket is made with. The queue must outlive the socket.
  TcpSocket::Poster Poster() {
    return [this](std::function<void()> call) {
      std::lock_guard lock(mutex_);
      calls_.push_back(std::move(call));
      changed_.notify_all();
    };
  }

  // Waits until at least `n` calls are queued, running none. False when `limit` passed first.
  bool WaitForQueued(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return calls_.size() >= n; });
  }

  // Runs the queued calls on this thread, waiting for more, until `done()` holds after a call
  // (or before the first). Returns done(); false when `limit` passed first.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      std::function<void()> call;
      {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [&] { return !calls_.empty(); })) return done();
        call = std::move(calls_.front());
        calls_.pop_front();
      }
      call();
    }
    return true;
  }

  // Runs whatever arrives during `span`: what a host does while nothing more is expected.
  void RunFor(std::chrono::milliseconds span) {
    RunUntil([] { return false; }, span);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> calls_;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_HOST_QUEUE_H_
