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
// [X] Request bodies are limited to kMaxBodyBytes (413); header lines and the request line to
//     cpp-httplib's limits (8 KiB).
#ifndef NIMBO_APPS_SERVE_HTTP_SERVER_H_
#define NIMBO_APPS_SERVE_HTTP_SERVER_H_

#include <httplib.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "serve/web_host.h"

namespace nimbo::app::serve {

// The largest request body the server reads.
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;
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
};

}  // namespace nimbo::app::serve

#endif  // NIMBO_APPS_SERVE_HTTP_SERVER_H_
