// The web host's routes and safety rules.
#include "serve/http_server.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

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
  server_.set_pre_routing_handler([this](const httplib::Request& request,
                                         httplib::Response& response) {
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("X-Frame-Options", "SAMEORIGIN");
    response.set_header("Referrer-Policy", "no-referrer");
    response.set_header("Cache-Control", "no-store");
    if (!HostAllowed(request)) {
      Refuse(response, 403, "This server answers only to 127.0.0.1 and localhost.");
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
        try {
          if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        Refuse(response, 500, what);
      });
  Routes();
}

int HttpServer::Bind(int port) {
  const int bound = port == 0 ? server_.bind_to_any_port("127.0.0.1")
                              : (server_.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    throw std::runtime_error(fmt::format("cannot listen on 127.0.0.1:{}", port));
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
    const bool wait = req.get_param_value("wait") == "1";
    SendJson(res, host_.EventsAfter(after, wait ? kEventWaitMs : 0));
  });
  server_.Get("/api/design",
              [this](const Request&, Response& res) { SendJson(res, host_.DesignPage()); });

  server_.Post("/api/refresh",
               [this](const Request&, Response& res) { SendJsonText(res, host_.Refresh()); });
  server_.Post("/api/display", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    const auto state = host_.Display(body->value("index", 0), body->value("text", ""));
    if (!state) return Refuse(res, 409, "The tree has changed; reload it.");
    SendJsonText(res, *state);
  });
  server_.Post("/api/expand", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    const auto state = host_.Expand(body->value("index", 0), body->value("text", ""),
                                    body->value("expanded", true));
    if (!state) return Refuse(res, 409, "The tree has changed; reload it.");
    SendJsonText(res, *state);
  });
  server_.Post("/api/url", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res, host_.ProcessUrl(body->value("url", "")));
  });
  server_.Post("/api/save",
               [this](const Request&, Response& res) { SendJson(res, host_.Save()); });
  server_.Post("/api/print",
               [this](const Request&, Response& res) { SendJson(res, host_.Print()); });
  server_.Post("/api/mail", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res, host_.Mail(body->value("to", ""), body->value("subject", ""),
                             body->value("message", "")));
  });
  server_.Post("/api/design", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res,
             host_.ApplyDesign(body->value("txtActivePort", ""), body->value("txtDAMode", "")));
  });
}

}  // namespace nimbo::app::serve
