// The web host's HTTP side, on Boost.Beast over Asio: the page and its assets, the files of the
// application folder, and the JSON endpoints that hand work to the component thread.
// cpp-httplib's Request and Response carry a request to its route and the answer back, and its
// address decoding is used; its server is not.
//
// Safety rules, applied before any route:
// [X] Listens on 127.0.0.1 only.
// [X] The Host header must name 127.0.0.1 or localhost with this server's port (403 otherwise),
//     so a page on another site cannot reach the server through DNS rebinding; a request with
//     two Host headers is refused (400), as two readers could take different ones.
// [X] Files come only from the compiled-in assets (looked up by name) and from the application
//     folder: one file name, no separators, no "." or "..", encoded or not, and the resolved
//     file must still lie in the folder (404 otherwise).
// [X] Every state change is a POST carrying the header X-Nimbo-Request: 1, which a cross-site
//     form cannot set (403 otherwise); a POST with a foreign Origin is refused too.
// [X] The sizes of a request, and slow or idle peers: see serve/async_http.h. A JSON body
//     field of the wrong type is the client's error (400), not the server's.
#ifndef NIMBO_APPS_SERVE_HTTP_SERVER_H_
#define NIMBO_APPS_SERVE_HTTP_SERVER_H_

#include <httplib.h>

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "serve/async_http.h"
#include "serve/web_host.h"

namespace nimbo::app::serve {

// The header every state-changing request must carry, with the value "1".
inline constexpr std::string_view kRequestHeader = "X-Nimbo-Request";

class HttpServer {
 public:
  // `host` must outlive the server.
  explicit HttpServer(WebHost& host);
  ~HttpServer();
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
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
  struct Route {
    std::string method;
    std::regex pattern;
    Handler handler;
  };

  void Routes();
  void Get(const char* pattern, Handler handler);
  void Post(const char* pattern, Handler handler);
  // The checks every request passes before its body is read; false when `response` refuses it.
  bool Admit(const httplib::Request& request, httplib::Response& response) const;
  // Runs the route for a request whose body has been read; on a handler thread.
  void Dispatch(httplib::Request& request, httplib::Response& response) const;
  bool HostAllowed(const httplib::Request& request) const;
  bool OriginAllowed(const httplib::Request& request) const;
  // Answers with one file of the application folder; false when it was refused. With `feed`,
  // a large page is answered with the start that feeds it to the pane's parser.
  bool ServeAppFile(const std::string& name, httplib::Response& response,
                    bool feed = false) const;

  WebHost& host_;
  std::vector<Route> routes_;
  int port_ = 0;
  std::unique_ptr<AsyncHttpServer> net_;  // last: it goes first, while the routes still exist
};

}  // namespace nimbo::app::serve

#endif  // NIMBO_APPS_SERVE_HTTP_SERVER_H_
