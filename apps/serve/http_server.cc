// The web host's routes and safety rules.
#include "serve/http_server.h"

#include <fmt/format.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <type_traits>

#include "serve/assets.h"

namespace nimbo::app::serve {

namespace {

// How long a client's wait for new events may last before it asks again.
constexpr int kEventWaitMs = 20000;

// The host's own pages load nothing from elsewhere; the report pane is a frame of this origin.
constexpr const char* kPagePolicy =
    "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; "
    "frame-src 'self'; connect-src 'self'; object-src 'none'; base-uri 'none'; "
    "form-action 'self'; frame-ancestors 'none'";

// How long a client whose poll was refused should wait before it asks again.
constexpr const char* kRetryAfterSeconds = "2";

// A request the client got wrong (a field of the wrong type): answered 400 with the message.
class BadRequest : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void SendJson(httplib::Response& response, const json& body, int status = 200) {
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace),
                       "application/json");
}

void SendJsonText(httplib::Response& response, std::string body) {
  response.status = 200;
  response.set_content(std::move(body), "application/json");
}

void Refuse(httplib::Response& response, int status, const std::string& why) {
  SendJson(response, {{"error", why}}, status);
}

void SendAsset(httplib::Response& response, std::string_view name, bool page) {
  const Asset* asset = FindAsset(name);
  if (!asset) {
    Refuse(response, 404, "No such file.");
    return;
  }
  if (page) response.set_header("Content-Security-Policy", kPagePolicy);
  response.set_content(std::string(asset->bytes), std::string(ContentTypeFor(name)));
}

// The body as a JSON object; nothing (and a 400 answer) when it is not one.
std::optional<json> JsonBody(const httplib::Request& request, httplib::Response& response) {
  json body = json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    Refuse(response, 400, "The request body must be a JSON object.");
    return std::nullopt;
  }
  return body;
}

// A field of a JSON object body, or `fallback` when it is absent. Any other type than the
// field's (a string for a number, a number too large for an int) is the client's error.
template <typename T>
T Field(const json& body, const char* name, T fallback) {
  const auto found = body.find(name);
  if (found == body.end()) return fallback;
  const json& value = *found;
  if constexpr (std::is_same_v<T, bool>) {
    if (value.is_boolean()) return value.get<bool>();
  } else if constexpr (std::is_same_v<T, int>) {
    if (value.is_number_unsigned()) {
      if (value.get<std::uint64_t>() <= INT_MAX)
        return static_cast<int>(value.get<std::uint64_t>());
    } else if (value.is_number_integer()) {
      const auto number = value.get<std::int64_t>();
      if (number >= INT_MIN && number <= INT_MAX) return static_cast<int>(number);
    }
  } else {
    static_assert(std::is_same_v<T, std::string>);
    if (value.is_string()) return value.get<std::string>();
  }
  throw BadRequest(fmt::format("The field \"{}\" has the wrong type.", name));
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The content type of a file without a known extension (the picture file "pic1") from its
// first bytes.
std::string_view SniffImage(std::string_view bytes) {
  if (bytes.substr(0, 4) == "GIF8") return "image/gif";
  if (bytes.substr(0, 3) == "\xFF\xD8\xFF") return "image/jpeg";
  if (bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n") return "image/png";
  if (bytes.substr(0, 2) == "BM") return "image/bmp";
  return "application/octet-stream";
}

}  // namespace

HttpServer::HttpServer(WebHost& host) : host_(host) {
  server_.set_payload_max_length(kMaxBodyBytes);
  server_.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  // Silent or stalled peers give their thread back within seconds; a browser reconnects.
  server_.set_keep_alive_timeout(kIdleSeconds);
  server_.set_read_timeout(kIdleSeconds, 0);
  server_.set_write_timeout(kIdleSeconds, 0);
  // cpp-httplib's own options (address reuse) still apply; the descriptor is kept so that
  // Bind() can raise the backlog that cpp-httplib's listen() sets to 5.
  server_.set_socket_options([this](socket_t fd) {
    httplib::default_socket_options(fd);
    listen_fd_ = fd;
  });
  server_.set_pre_routing_handler([this](const httplib::Request& request,
                                         httplib::Response& response) {
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("X-Frame-Options", "SAMEORIGIN");
    response.set_header("Referrer-Policy", "no-referrer");
    response.set_header("Cache-Control", "no-store");
    std::size_t header_bytes = 0;
    for (const auto& [name, value] : request.headers)
      header_bytes += name.size() + value.size() + 4;
    if (request.headers.size() > kMaxHeaderLines || header_bytes > kMaxHeaderBytes) {
      response.set_header("Connection", "close");
      Refuse(response, 431, "The request's headers are too large.");
      return httplib::Server::HandlerResponse::Handled;
    }
    // Two Host headers could name two different servers to two different readers.
    if (request.get_header_value_count("Host") > 1) {
      response.set_header("Connection", "close");
      Refuse(response, 400, "A request names one Host.");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (!HostAllowed(request)) {
      Refuse(response, 403, "This server answers only to 127.0.0.1 and localhost.");
      return httplib::Server::HandlerResponse::Handled;
    }
    // The body has not been read yet. A body in chunks has no size up front, and cpp-httplib
    // would read all of it whatever the payload limit; the page never sends one, so it is
    // refused unread, as is a declared length over the limit. The connection is closed, as
    // the unread body cannot be told from the next request.
    const bool coded = request.has_header("Transfer-Encoding");
    const std::string length = request.get_header_value("Content-Length");
    std::size_t declared = 0;
    const auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), declared);
    if (!length.empty() && (ec != std::errc() || end != length.data() + length.size())) {
      response.set_header("Connection", "close");
      Refuse(response, 400, "Content-Length must be a number.");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (coded || declared > kMaxBodyBytes) {
      response.set_header("Connection", "close");
      Refuse(response, 413,
             fmt::format("Request bodies are limited to {} bytes, with a Content-Length.",
                         kMaxBodyBytes));
      return httplib::Server::HandlerResponse::Handled;
    }
    if (request.method != "GET" && request.method != "HEAD") {
      if (request.get_header_value(std::string(kRequestHeader)) != "1" || !OriginAllowed(request)) {
        Refuse(response, 403, "State changes need the page's own request header.");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server_.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
        std::string what = "Internal error.";
        int status = 500;
        try {
          if (error) std::rethrow_exception(error);
        } catch (const BadRequest& e) {
          what = e.what();
          status = 400;
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        Refuse(response, status, what);
      });
  Routes();
}

int HttpServer::Bind(int port) {
  const int bound = port == 0 ? server_.bind_to_any_port("127.0.0.1")
                              : (server_.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    throw std::runtime_error(fmt::format("cannot listen on 127.0.0.1:{}", port));
  }
  // Linux takes a second listen() on a listening socket as a change of its backlog.
  if (listen_fd_ < 0 || ::listen(listen_fd_, kListenBacklog) != 0) {
    throw std::runtime_error(fmt::format("cannot listen on 127.0.0.1:{}", bound));
  }
  port_ = bound;
  return port_;
}

bool HttpServer::Run() { return server_.listen_after_bind(); }

void HttpServer::Stop() {
  host_.StopWaiting();
  server_.stop();
}

bool HttpServer::HostAllowed(const httplib::Request& request) const {
  const std::string host = Lower(request.get_header_value("Host"));
  const std::string port = std::to_string(port_);
  return host == "127.0.0.1:" + port || host == "localhost:" + port ||
         (port_ == 80 && (host == "127.0.0.1" || host == "localhost"));
}

bool HttpServer::OriginAllowed(const httplib::Request& request) const {
  if (!request.has_header("Origin")) return true;  // same-origin fetches may leave it out
  const std::string origin = Lower(request.get_header_value("Origin"));
  const std::string port = std::to_string(port_);
  return origin == "http://127.0.0.1:" + port || origin == "http://localhost:" + port;
}

bool HttpServer::ServeAppFile(const std::string& name, httplib::Response& response) const {
  namespace fs = std::filesystem;
  // One file name of the folder itself; the path has already been percent-decoded.
  const bool plain = !name.empty() && name != "." && name != ".." &&
                     name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
  std::error_code ec;
  const fs::path folder = fs::canonical(host_.folder(), ec);
  fs::path file;
  if (plain && !ec) file = fs::canonical(folder / name, ec);
  // A link inside the folder that leads out of it is refused like a missing file.
  if (!plain || ec || file.parent_path() != folder || !fs::is_regular_file(file, ec)) {
    Refuse(response, 404, "No such file.");
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    Refuse(response, 500, "The file cannot be read.");
    return false;
  }
  std::string_view type = ContentTypeFor(name);
  if (type == "application/octet-stream") type = SniffImage(bytes);
  response.set_content(std::move(bytes), std::string(type));
  return true;
}

void HttpServer::Routes() {
  using httplib::Request;
  using httplib::Response;

  server_.Get("/", [](const Request&, Response& res) { SendAsset(res, "index.html", true); });
  server_.Get("/design",
              [](const Request&, Response& res) { SendAsset(res, "design.html", true); });
  server_.Get(R"(/assets/([^/]+))", [](const Request& req, Response& res) {
    SendAsset(res, req.matches[1].str(), false);
  });
  server_.Get(R"(/app/(.*))", [this](const Request& req, Response& res) {
    const std::string name = req.matches[1].str();
    if (ServeAppFile(name, res) && req.has_param("download")) {
      // The name has no separators (ServeAppFile checked); quotes and control characters are
      // dropped so that it cannot end the header's quoted file name.
      std::string suggested;
      for (char c : name) {
        if (c != '"' && c >= 0x20) suggested += c;
      }
      res.set_header("Content-Disposition", "attachment; filename=\"" + suggested + "\"");
    }
  });

  server_.Get("/api/state",
              [this](const Request&, Response& res) { SendJsonText(res, host_.State()); });
  server_.Get("/api/events", [this](const Request& req, Response& res) {
    std::int64_t after = 0;
    try {
      after = req.has_param("after") ? std::stoll(req.get_param_value("after")) : 0;
    } catch (const std::exception&) {
      Refuse(res, 400, "after must be a number.");
      return;
    }
    if (req.get_param_value("wait") != "1") {
      SendJson(res, host_.EventsAfter(after, 0));
      return;
    }
    // A wait holds its thread; past the cap the client is told to come back shortly (the page
    // retries a failed poll after a pause) rather than spinning on empty answers.
    if (waiting_polls_.fetch_add(1) >= kMaxWaitingPolls) {
      waiting_polls_.fetch_sub(1);
      res.set_header("Retry-After", kRetryAfterSeconds);
      Refuse(res, 503, "Too many clients are waiting for events; ask again shortly.");
      return;
    }
    struct Release {
      std::atomic<int>& count;
      ~Release() { count.fetch_sub(1); }
    } release{waiting_polls_};
    SendJson(res, host_.EventsAfter(after, kEventWaitMs));
  });
  server_.Get("/api/design",
              [this](const Request&, Response& res) { SendJson(res, host_.DesignPage()); });

  server_.Post("/api/refresh",
               [this](const Request&, Response& res) { SendJsonText(res, host_.Refresh()); });
  server_.Post("/api/display", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    const auto state = host_.Display(Field(*body, "index", 0), Field(*body, "text", std::string()));
    if (!state) return Refuse(res, 409, "The tree has changed; reload it.");
    SendJsonText(res, *state);
  });
  server_.Post("/api/expand", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    const auto state = host_.Expand(Field(*body, "index", 0), Field(*body, "text", std::string()),
                                    Field(*body, "expanded", true));
    if (!state) return Refuse(res, 409, "The tree has changed; reload it.");
    SendJsonText(res, *state);
  });
  server_.Post("/api/url", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res, host_.ProcessUrl(Field(*body, "url", std::string())));
  });
  server_.Post("/api/save", [this](const Request&, Response& res) { SendJson(res, host_.Save()); });
  server_.Post("/api/print",
               [this](const Request&, Response& res) { SendJson(res, host_.Print()); });
  server_.Post("/api/mail", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res,
             host_.Mail(Field(*body, "to", std::string()), Field(*body, "subject", std::string()),
                        Field(*body, "message", std::string())));
  });
  server_.Post("/api/design", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res, host_.ApplyDesign(Field(*body, "txtActivePort", std::string()),
                                    Field(*body, "txtDAMode", std::string())));
  });
}

}  // namespace nimbo::app::serve
