// The web host's routes and safety rules.
#include "serve/http_server.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <type_traits>

#include "serve/assets.h"

namespace nimbo::app::serve {

namespace {

// From this size on, a page shown in the pane is fed to its parser a piece at a time.
constexpr std::uintmax_t kFeedFrom = 256 * 1024;

// The host's own pages load nothing from elsewhere; the report pane is a frame of this origin.
constexpr const char* kPagePolicy =
    "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; "
    "frame-src 'self'; connect-src 'self'; object-src 'none'; base-uri 'none'; "
    "form-action 'self'; frame-ancestors 'none'";

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

// ---- Saved pages carry their pictures ----

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned n = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += kDigits[(n >> 6) & 63];
    out += kDigits[n & 63];
  }
  if (i < bytes.size()) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string_view ImageTypeByExtension(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(name.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "gif") return "image/gif";
  if (ext == "png") return "image/png";
  if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
  if (ext == "webp") return "image/webp";
  if (ext == "bmp") return "image/bmp";
  return {};
}

// The page with each <img src=NAME> that names a picture file of the folder itself replaced by
// a data: URI, so that the saved file shows its pictures anywhere. Other sources (paths, other
// hosts, files too large, unknown types) stay as written; the sizes are bounded.
std::string InlineImages(const std::string& html, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  constexpr std::uintmax_t kMaxPicture = 2u << 20;
  constexpr std::size_t kMaxAdded = 32u << 20;
  std::map<std::string, std::string> done;  // name -> data URI ("" when not inlined)
  std::string out;
  out.reserve(html.size());
  std::size_t added = 0;
  std::size_t at = 0;
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  while (at < html.size()) {
    const std::size_t tag = html.find('<', at);
    if (tag == std::string::npos || tag + 4 >= html.size()) break;
    const bool img = lower(html[tag + 1]) == 'i' && lower(html[tag + 2]) == 'm' &&
                     lower(html[tag + 3]) == 'g' && std::isspace(static_cast<unsigned char>(html[tag + 4]));
    const std::size_t end = img ? html.find('>', tag) : std::string::npos;
    if (end == std::string::npos) {
      out.append(html, at, tag + 1 - at);
      at = tag + 1;
      continue;
    }
    // The src attribute inside the tag: quoted or not.
    std::size_t src = std::string::npos;
    for (std::size_t i = tag + 4; i + 4 <= end; ++i) {
      if (std::isspace(static_cast<unsigned char>(html[i - 1])) && lower(html[i]) == 's' &&
          lower(html[i + 1]) == 'r' && lower(html[i + 2]) == 'c' && html[i + 3] == '=') {
        src = i + 4;
        break;
      }
    }
    if (src == std::string::npos || src >= end) {
      out.append(html, at, end + 1 - at);
      at = end + 1;
      continue;
    }
    const char quote = html[src] == '"' || html[src] == '\'' ? html[src] : '\0';
    const std::size_t value = quote ? src + 1 : src;
    std::size_t value_end = value;
    while (value_end < end && (quote ? html[value_end] != quote
                                     : !std::isspace(static_cast<unsigned char>(html[value_end])))) {
      ++value_end;
    }
    const std::string name = html.substr(value, value_end - value);
    auto found = done.find(name);
    if (found == done.end()) {
      std::string uri;
      const std::string_view type = ImageTypeByExtension(name);
      const bool plain = !name.empty() && !type.empty() &&
                         name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
      std::error_code ec;
      const fs::path file = plain ? fs::canonical(folder / name, ec) : fs::path();
      if (plain && !ec && file.parent_path() == folder && fs::is_regular_file(file, ec) &&
          fs::file_size(file, ec) <= kMaxPicture && !ec) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.good() || in.eof()) {
          uri = "data:" + std::string(type) + ";base64," + Base64(bytes);
        }
      }
      found = done.emplace(name, std::move(uri)).first;
    }
    if (found->second.empty() || added + found->second.size() > kMaxAdded) {
      out.append(html, at, end + 1 - at);
    } else {
      out.append(html, at, value - at);
      out += found->second;
      out.append(html, value_end, end + 1 - value_end);
      added += found->second.size();
    }
    at = end + 1;
  }
  if (at < html.size()) out.append(html, at, std::string::npos);
  return out;
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
  } else if constexpr (std::is_same_v<T, std::int64_t>) {
    if (value.is_number_integer()) return value.get<std::int64_t>();
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

// The headers every answer carries, refusals included.
void CommonHeaders(httplib::Response& response) {
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("X-Frame-Options", "SAMEORIGIN");
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("Cache-Control", "no-store");
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
  Routes();
  HttpHooks hooks;
  hooks.common_headers = CommonHeaders;
  hooks.refuse = Refuse;
  hooks.admit = [this](const httplib::Request& request, httplib::Response& response) {
    return Admit(request, response);
  };
  hooks.dispatch = [this](httplib::Request& request, httplib::Response& response) {
    Dispatch(request, response);
  };
  hooks.events = [this](std::int64_t after, std::int64_t& latest) {
    const json answer = host_.EventsAfter(after, 0);
    latest = answer.value("seq", std::int64_t{0});
    return answer.dump(-1, ' ', false, json::error_handler_t::replace);
  };
  net_ = std::make_unique<AsyncHttpServer>(std::move(hooks));
  host_.SetEventListener([this] { net_->EventsArrived(); });
}

HttpServer::~HttpServer() {
  host_.SetEventListener(nullptr);
  host_.Call([] {});  // a listener call under way on the component thread has ended
  net_.reset();
}

int HttpServer::Bind(int port) {
  port_ = net_->Bind(port);
  return port_;
}

bool HttpServer::Run() {
  net_->Run();
  return true;
}

void HttpServer::Stop() {
  host_.StopWaiting();
  net_->Stop();
}

void HttpServer::Get(const char* pattern, Handler handler) {
  routes_.push_back({"GET", std::regex(pattern), std::move(handler)});
}

void HttpServer::Post(const char* pattern, Handler handler) {
  routes_.push_back({"POST", std::regex(pattern), std::move(handler)});
}

bool HttpServer::Admit(const httplib::Request& request, httplib::Response& response) const {
  CommonHeaders(response);
  if (request.get_header_value_count("Host") > 1) {
    Refuse(response, 400, "A request names one Host.");
    return false;
  }
  if (!HostAllowed(request)) {
    Refuse(response, 403, "This server answers only to 127.0.0.1 and localhost.");
    return false;
  }
  if (request.method != "GET" && request.method != "HEAD") {
    if (request.get_header_value(std::string(kRequestHeader)) != "1" || !OriginAllowed(request)) {
      Refuse(response, 403, "State changes need the page's own request header.");
      return false;
    }
  }
  return true;
}

void HttpServer::Dispatch(httplib::Request& request, httplib::Response& response) const {
  const std::string method = request.method == "HEAD" ? "GET" : request.method;
  try {
    for (const Route& route : routes_) {
      if (route.method == method &&
          std::regex_match(request.path, request.matches, route.pattern)) {
        route.handler(request, response);
        return;
      }
    }
    response.status = 404;
  } catch (const BadRequest& e) {
    Refuse(response, 400, e.what());
  } catch (const std::exception& e) {
    Refuse(response, 500, e.what());
  } catch (...) {
    Refuse(response, 500, "Internal error.");
  }
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

bool HttpServer::ServeAppFile(const std::string& name, httplib::Response& response,
                              bool feed) const {
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
  // A large page asked for by the pane comes as the start that feeds it to the parser in
  // short steps (feed.js); a small one is parsed in a moment and comes as it is.
  if (feed && (name.ends_with(".htm") || name.ends_with(".html")) &&
      fs::file_size(file, ec) >= kFeedFrom && !ec) {
    SendAsset(response, "feed.html", false);
    return true;
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

  Get("/", [](const Request&, Response& res) { SendAsset(res, "index.html", true); });
  Get("/design", [](const Request&, Response& res) { SendAsset(res, "design.html", true); });
  Get(R"(/assets/([^/]+))",
      [](const Request& req, Response& res) { SendAsset(res, req.matches[1].str(), false); });
  Get(R"(/app/(.*))", [this](const Request& req, Response& res) {
    const std::string name = req.matches[1].str();
    const bool download = req.has_param("download");
    if (ServeAppFile(name, res, req.has_param("feed") && !download) && download) {
      // The name has no separators (ServeAppFile checked); quotes and control characters are
      // dropped so that it cannot end the header's quoted file name.
      std::string suggested;
      for (char c : name) {
        if (c != '"' && c >= 0x20) suggested += c;
      }
      res.set_header("Content-Disposition", "attachment; filename=\"" + suggested + "\"");
      // A saved page carries its pictures; the file in the folder stays as it is.
      if (name.ends_with(".htm") || name.ends_with(".html")) {
        std::error_code ec;
        const auto folder = std::filesystem::canonical(host_.folder(), ec);
        if (!ec) res.body = InlineImages(res.body, folder);
      }
    }
  });

  Get("/host/definition", [this](const Request&, Response& res) {
    std::string page = host_.DefinitionPage();
    if (page.empty()) return Refuse(res, 404, "The database has its browser definition.");
    // The host's own words, nothing to run: no script, no styles from anywhere.
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; base-uri 'none'; form-action 'none'; "
                   "frame-ancestors 'self'");
    res.set_content(std::move(page), "text/html; charset=utf-8");
  });

  // The tree version the client has, so that the answer carries only what changed since.
  const auto since_of = [](const std::string& text) -> std::int64_t {
    std::int64_t since = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), since);
    return error == std::errc() && end == text.data() + text.size() ? since : -1;
  };
  Get("/api/state", [this, since_of](const Request& req, Response& res) {
    SendJsonText(res, host_.State(since_of(req.get_param_value("since"))));
  });
  Get("/api/design", [this](const Request&, Response& res) { SendJson(res, host_.DesignPage()); });

  Post("/api/refresh",
       [this](const Request&, Response& res) { SendJsonText(res, host_.Refresh()); });
  Post("/api/display", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    const auto state = host_.Display(Field(*body, "index", 0), Field(*body, "text", std::string()),
                                     Field(*body, "since", std::int64_t{-1}));
    if (!state) return Refuse(res, 409, "The tree has changed; reload it.");
    SendJsonText(res, *state);
  });
  Post("/api/expand", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    const auto state = host_.Expand(Field(*body, "index", 0), Field(*body, "text", std::string()),
                                    Field(*body, "expanded", true),
                                    Field(*body, "since", std::int64_t{-1}));
    if (!state) return Refuse(res, 409, "The tree has changed; reload it.");
    SendJsonText(res, *state);
  });
  Post("/api/url", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res, host_.ProcessUrl(Field(*body, "url", std::string())));
  });
  Post("/api/save", [this](const Request&, Response& res) { SendJson(res, host_.Save()); });
  Post("/api/print", [this](const Request&, Response& res) { SendJson(res, host_.Print()); });
  Post("/api/mail", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res,
             host_.Mail(Field(*body, "to", std::string()), Field(*body, "subject", std::string()),
                        Field(*body, "message", std::string())));
  });
  Post("/api/design", [this](const Request& req, Response& res) {
    const auto body = JsonBody(req, res);
    if (!body) return;
    SendJson(res, host_.ApplyDesign(Field(*body, "txtActivePort", std::string()),
                                    Field(*body, "txtDAMode", std::string())));
  });
}

}  // namespace nimbo::app::serve
