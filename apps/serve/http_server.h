// The web host's HTTP side, on cpp-httplib: the page and its assets, the files of the
// application folder, and the JSON endpoints that hand work to the component thread.
//
// Safety rules, applied before any route:
// [X] Listens on 127.0.0.1 only.
// [X] The Host header must name 127.0.0.1 or localhost with this server's port (403 otherwise),
//     so a page on another site cannot reach the server through DNS rebinding.
// [X] Files come only from the compiled-in assets (looked up by name) and from the application
//     folder: one file name, no separators, no "." or "..", encoded or not, and the resolved
//     file must still lie in the folder (404 otherwise).
// [X] Every state change is a POST carrying the header X-Nimbo-Request: 1, which a cross-site
//     form cannot set (403 otherwise); a POST with a foreign Origin is refused too.
// [X] Request bodies are limited to kMaxBodyBytes (413); a body sent in chunks (or any other
//     transfer coding) is refused before it is read (413), as its size is not known up front.
//     The request line is limited to 8 KiB (414) and each header line to 8 KiB (400) by
//     cpp-httplib; more than kMaxHeaderLines header lines or kMaxHeaderBytes of them are
//     refused (431); two Host headers are refused (400). cpp-httplib reads the header lines
//     before any hook of ours runs, so the 431 is an answer, not a bound on what was read.
// [X] A JSON body field of the wrong type is the client's error (400), not the server's.
//
// Slow, idle and hostile peers:
// [X] kWorkerThreads threads serve connections; a connection that sends nothing for
//     kIdleSeconds is closed, and so is one that stalls kIdleSeconds within a request.
// [X] At most kMaxWaitingPolls event long polls wait at once, so waits cannot take every
//     worker; past that a poll is answered at once with 503 and Retry-After.
// [X] The listen backlog is kListenBacklog, so bursts of new connections are queued by the
//     kernel rather than refused.
#ifndef NIMBO_APPS_SERVE_HTTP_SERVER_H_
#define NIMBO_APPS_SERVE_HTTP_SERVER_H_

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

#include "serve/web_host.h"

namespace nimbo::app::serve {

// The largest request body the server reads.
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;
// A browser sends about 15 header lines and a few KiB of them; these leave room to spare.
inline constexpr std::size_t kMaxHeaderLines = 64;
inline constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
// Threads that serve connections, and how many of them event waits may hold at once: the
// rest stay free for the page, its assets and the API.
inline constexpr int kWorkerThreads = 128;
inline constexpr int kMaxWaitingPolls = 48;
// Seconds a connection may stay silent, between requests or within one.
inline constexpr int kIdleSeconds = 3;
inline constexpr int kListenBacklog = 512;
// The header every state-changing request must carry, with the value "1".
inline constexpr std::string_view kRequestHeader = "X-Nimbo-Request";

class HttpServer {
 public:
  // `host` must outlive the server.
  explicit HttpServer(WebHost& host);
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds 127.0.0.1 on `port` (0: a free port chosen by the system) and returns the port.
  // Throws std::runtime_error when the port cannot be bound.
  int Bind(int port);
  // Serves requests until Stop(); call after Bind. Returns false when serving failed.
  bool Run();
  // Stops serving; callable from any thread (a signal watcher, a test).
  void Stop();

  int port() const { return port_; }

 private:
  void Routes();
  bool HostAllowed(const httplib::Request& request) const;
  bool OriginAllowed(const httplib::Request& request) const;
  // Answers with one file of the application folder; false when it was refused.
  bool ServeAppFile(const std::string& name, httplib::Response& response) const;

  WebHost& host_;
  httplib::Server server_;
  int port_ = 0;
  int listen_fd_ = -1;  // captured when cpp-httplib creates it, to raise its backlog
  std::atomic<int> waiting_polls_{0};
};

}  // namespace nimbo::app::serve

#endif  // NIMBO_APPS_SERVE_HTTP_SERVER_H_
