// The web host's network side: connections served asynchronously with Boost.Beast on one
// network thread, so that a connection holds no thread while it waits. It knows nothing of the
// routes: what to admit, what to answer and where the events come from are hooks.
//
// Kept apart from the routes because Boost.Asio and the standalone Asio the component host
// uses cannot be in one translation unit; this header includes neither.
//
// [X] Every input is bounded while it is read: the request target (kMaxTargetBytes, 414), one
//     header line (kMaxHeaderLineBytes, 400), the header lines together (kMaxHeaderLines and
//     kMaxHeaderBytes, 431), and the body whatever its framing, chunked included
//     (kMaxBodyBytes, 413). A refused request's connection is closed after the answer.
// [X] A request's head, its body and an answer's head have kIdleSeconds to go through, each
//     piece of an answer's body kAnswerIdleSeconds, and a connection kIdleSeconds between
//     requests; a peer slower than that is dropped.
// [X] An event long poll is a timer, not a thread; at most kMaxWaitingPolls wait at once, past
//     that a poll is answered at once with 503 and Retry-After; a poll whose peer leaves frees
//     its place at once. At most kMaxConnections are open; past that new ones are closed at
//     once.
// [X] Routes run on a few handler threads, never on the network thread; the answer is posted
//     back to it.
// [X] The listen backlog is kListenBacklog, so bursts of new connections wait in the kernel.
#ifndef NIMBO_APPS_SERVE_ASYNC_HTTP_H_
#define NIMBO_APPS_SERVE_ASYNC_HTTP_H_

#include <httplib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace nimbo::app::serve {

// The largest request body the server reads.
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;
// A browser sends about 15 header lines and a few KiB of them; these leave room to spare.
inline constexpr std::size_t kMaxTargetBytes = 8 * 1024;
inline constexpr std::size_t kMaxHeaderLineBytes = 8 * 1024;
inline constexpr std::size_t kMaxHeaderLines = 64;
inline constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
// Event long polls waiting at once, and connections open at once.
inline constexpr int kMaxWaitingPolls = 256;
inline constexpr int kMaxConnections = 1024;
// Seconds a request's head, its body, an answer, or the pause between requests may take.
inline constexpr int kIdleSeconds = 3;
// Seconds a piece of an answer's body may take. A browser reads a page no faster than it lays
// it out, and on a large page (18 MB, 100,000 rows) it reads nothing for seconds at a time
// while it does.
inline constexpr int kAnswerIdleSeconds = 30;
inline constexpr int kListenBacklog = 512;
// How long an event long poll waits for an event before it is answered with none.
inline constexpr int kEventWaitMs = 20000;

// What the network side asks of the routes. Each must be set.
struct HttpHooks {
  // The headers every answer carries, refusals included.
  std::function<void(httplib::Response&)> common_headers;
  // Fills `response` as a refusal with a status and a message for the client.
  std::function<void(httplib::Response&, int status, const std::string& why)> refuse;
  // Checks a request before its body is read; false when `response` refuses it (it then
  // carries the common headers and the refusal).
  std::function<bool(const httplib::Request&, httplib::Response&)> admit;
  // Runs the route for a request that passed; on a handler thread, so it may wait.
  std::function<void(httplib::Request&, httplib::Response&)> dispatch;
  // The events after `after` as the answer's JSON text, and the latest sequence number; it
  // must not wait. Called on the network thread.
  std::function<std::string(std::int64_t after, std::int64_t& latest)> events;
};

class AsyncHttpServer {
 public:
  explicit AsyncHttpServer(HttpHooks hooks);
  // Lets the handler threads finish what they run before anything they use goes.
  ~AsyncHttpServer();
  AsyncHttpServer(const AsyncHttpServer&) = delete;
  AsyncHttpServer& operator=(const AsyncHttpServer&) = delete;

  // Binds 127.0.0.1 on `port` (0: a free port) and returns the port; throws
  // std::runtime_error when it cannot.
  int Bind(int port);
  // Serves on the calling thread until Stop().
  void Run();
  // Answers the waiting polls and stops; callable from any thread.
  void Stop();
  // New events have been logged: the waiting polls that want them are answered. Any thread.
  void EventsArrived();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nimbo::app::serve

#endif  // NIMBO_APPS_SERVE_ASYNC_HTTP_H_
