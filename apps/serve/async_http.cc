// The web host's connections on Boost.Beast: one network thread, a few handler threads.
#include "serve/async_http.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

namespace nimbo::app::serve {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;

namespace {

// How long a client whose poll was refused should wait before it asks again.
constexpr const char* kRetryAfterSeconds = "2";
// The most a connection buffers: a whole head at its limit, or a body being read.
constexpr std::size_t kReadBufferBytes = 128 * 1024;
// Routes wait for the component thread, which serialises them anyway: a few threads only keep
// file reads and assets from queueing behind it.
constexpr int kHandlerThreads = 4;
// The most a read takes while a poll waits (a page sends nothing then).
constexpr std::size_t kWatchBytes = 4096;
// How long the server waits before it accepts again after accepting failed.
constexpr int kAcceptPauseMs = 50;
// An answer's body goes out in pieces of this size, each with kAnswerIdleSeconds to go through.
constexpr std::size_t kWritePieceBytes = 256 * 1024;

}  // namespace

class AsyncHttpServer::Impl {
 public:
  class Connection;

  explicit Impl(HttpHooks hooks)
      : hooks_(std::move(hooks)), acceptor_(net_), handlers_(kHandlerThreads) {}

  ~Impl() {
    handlers_.join();
    waiting_.clear();
  }

  void Accept();
  void WakeWaiters();

  HttpHooks hooks_;
  std::atomic<int> connections_{0};  // outlives the connections that net_ may still hold
  net::io_context net_;
  tcp::acceptor acceptor_;
  net::steady_timer accept_pause_{net_};
  std::set<std::shared_ptr<Connection>> waiting_;  // event polls; network thread only
  net::thread_pool handlers_;
};

// One connection: reads a request's head, checks it, reads its body, hands it to a handler
// thread and writes the answer back, then waits for the next request. Everything here runs on
// the network thread; each step has its deadline.
class AsyncHttpServer::Impl::Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(Impl& server, tcp::socket socket)
      : server_(server),
        stream_(std::move(socket)),
        buffer_(kReadBufferBytes),
        poll_timer_(server.net_) {
    ++server_.connections_;
  }
  ~Connection() { --server_.connections_; }

  void Start() { ReadHead(); }

  // Answers a waiting event poll with what is there now (on an event, on its time-out, when
  // the server stops).
  void AnswerPoll() {
    if (!polling_) return;
    polling_ = false;
    poll_timer_.cancel();
    server_.waiting_.erase(shared_from_this());
    httplib::Response response;
    server_.hooks_.common_headers(response);
    std::int64_t latest = 0;
    response.set_content(server_.hooks_.events(poll_after_, latest), "application/json");
    if (watching_) {
      // The watch on the peer ends first (a socket has one read at a time); it writes this.
      answer_ = std::move(response);
      beast::error_code ignored;
      stream_.socket().cancel(ignored);
      return;
    }
    Write(std::move(response));
  }

  bool WantsEventsUpTo(std::int64_t seq) const { return polling_ && seq > poll_after_; }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

 private:
  void ReadHead() {
    parser_.emplace();
    // Limits while reading: the request line and the header lines together, and the body
    // however it is framed (chunks included). The finer limits are checked on the whole head.
    parser_->header_limit(
        static_cast<std::uint32_t>(kMaxTargetBytes + kMaxHeaderBytes + kMaxHeaderLineBytes));
    parser_->body_limit(kMaxBodyBytes);
    stream_.expires_after(std::chrono::seconds(kIdleSeconds));
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnHead(ec); });
  }

  void OnHead(beast::error_code ec) {
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
      return RefuseAndClose(431, "The request's headers are too large.");
    }
    if (ec == http::error::body_limit) return RefuseBody();
    if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == net::error::eof ||
        ec == net::error::operation_aborted || ec == net::error::connection_reset) {
      return Close();
    }
    if (ec) return RefuseAndClose(400, "The request cannot be read.");

    const auto& head = parser_->get();
    request_ = httplib::Request();
    request_.method = std::string(head.method_string());
    request_.target = std::string(head.target());
    request_.version = head.version() == 10 ? "HTTP/1.0" : "HTTP/1.1";
    if (request_.target.size() > kMaxTargetBytes) {
      return RefuseAndClose(414, "The address is too long.");
    }
    std::size_t header_bytes = 0;
    std::size_t lines = 0;
    for (const auto& field : head) {
      const std::size_t line = field.name_string().size() + field.value().size() + 4;
      if (line > kMaxHeaderLineBytes) return RefuseAndClose(400, "A header line is too long.");
      header_bytes += line;
      ++lines;
      request_.headers.emplace(std::string(field.name_string()), std::string(field.value()));
    }
    if (lines > kMaxHeaderLines || header_bytes > kMaxHeaderBytes) {
      return RefuseAndClose(431, "The request's headers are too large.");
    }
    const auto query = request_.target.find('?');
    request_.path = httplib::detail::decode_url(request_.target.substr(0, query), false);
    if (query != std::string::npos) {
      httplib::detail::parse_query_text(request_.target.substr(query + 1), request_.params);
    }
    keep_alive_ = head.keep_alive();

    httplib::Response response;
    if (!server_.hooks_.admit(request_, response)) {
      // The body is not read: what follows cannot be told from the next request.
      keep_alive_ = false;
      return Write(std::move(response));
    }
    if (parser_->is_done()) return OnBody({});
    stream_.expires_after(std::chrono::seconds(kIdleSeconds));
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code read_ec, std::size_t) {
                       self->OnBody(read_ec);
                     });
  }

  void OnBody(beast::error_code ec) {
    if (ec == http::error::body_limit) return RefuseBody();
    if (ec == beast::error::timeout || ec == net::error::operation_aborted) return Close();
    if (ec) return RefuseAndClose(400, "The request body cannot be read.");
    request_.body = std::move(parser_->get().body());
    if ((request_.method == "GET" || request_.method == "HEAD") && request_.path == "/api/events") {
      return Events();
    }
    // The route may wait for the component: it runs on a handler thread, and its answer comes
    // back to this thread to be written.
    net::post(server_.handlers_, [self = shared_from_this()] {
      httplib::Response response;
      self->server_.hooks_.common_headers(response);
      self->server_.hooks_.dispatch(self->request_, response);
      net::post(self->server_.net_,
                [self, answer = std::move(response)]() mutable { self->Write(std::move(answer)); });
    });
  }

  // GET /api/events: at once, or (wait=1) when an event comes or the wait ends, whichever is
  // first; meanwhile the poll is a timer and a place in the server's list, not a thread.
  void Events() {
    httplib::Response response;
    server_.hooks_.common_headers(response);
    std::int64_t after = 0;
    try {
      after = request_.has_param("after") ? std::stoll(request_.get_param_value("after")) : 0;
    } catch (const std::exception&) {
      server_.hooks_.refuse(response, 400, "after must be a number.");
      return Write(std::move(response));
    }
    std::int64_t latest = 0;
    std::string now = server_.hooks_.events(after, latest);
    if (request_.get_param_value("wait") != "1" || latest > after) {
      response.set_content(std::move(now), "application/json");
      return Write(std::move(response));
    }
    if (server_.waiting_.size() >= static_cast<std::size_t>(kMaxWaitingPolls)) {
      // The page retries a failed poll after a pause, rather than spinning on empty answers.
      response.set_header("Retry-After", kRetryAfterSeconds);
      server_.hooks_.refuse(response, 503,
                            "Too many clients are waiting for events; ask again shortly.");
      return Write(std::move(response));
    }
    polling_ = true;
    poll_after_ = after;
    server_.waiting_.insert(shared_from_this());
    stream_.expires_never();  // the poll's own timer bounds the wait
    poll_timer_.expires_after(std::chrono::milliseconds(kEventWaitMs));
    poll_timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (!ec) self->AnswerPoll();
    });
    WatchPeer();
  }

  // A page sends nothing while its poll waits, so a read that ends now is the peer leaving
  // (its place among the waiting polls is freed at once, not when the wait ends) or a request
  // sent early, kept in the buffer for its turn.
  void WatchPeer() {
    const std::size_t room = std::min(kWatchBytes, buffer_.max_size() - buffer_.size());
    if (room == 0) return;
    watching_ = true;
    stream_.socket().async_read_some(
        buffer_.prepare(room), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
          self->watching_ = false;
          self->buffer_.commit(n);
          if (self->answer_) {
            httplib::Response answer = std::move(*self->answer_);
            self->answer_.reset();
            return self->Write(std::move(answer));
          }
          if (ec && ec != net::error::operation_aborted && self->polling_) {
            self->polling_ = false;
            self->poll_timer_.cancel();
            self->server_.waiting_.erase(self);
            self->Close();
          }
        });
  }

  void RefuseBody() {
    RefuseAndClose(413, fmt::format("Request bodies are limited to {} bytes.", kMaxBodyBytes));
  }

  // Refuses the request and closes the connection after the answer.
  void RefuseAndClose(int status, const std::string& why) {
    httplib::Response response;
    server_.hooks_.common_headers(response);
    server_.hooks_.refuse(response, status, why);
    keep_alive_ = false;
    Write(std::move(response));
  }

  // The head goes out first, then the body a piece at a time, each with a deadline of its own:
  // a browser takes a large page in no faster than it lays it out (an 18 MB page for tens of
  // seconds, pausing for seconds), and a deadline on the whole answer cut such a page off
  // halfway, leaving it loading for good. A peer that stops reading is dropped all the same.
  void Write(httplib::Response&& answer) {
    auto reply = std::make_shared<http::response<http::string_body>>();
    reply->version(11);
    // A route that set no status answered normally (cpp-httplib's Response starts at -1).
    const int status = answer.status == -1 ? 200 : answer.status;
    reply->result(static_cast<unsigned>(status >= 100 && status <= 599 ? status : 500));
    for (const auto& [name, value] : answer.headers) {
      if (beast::iequals(name, "Connection")) continue;
      reply->insert(name, value);
    }
    reply->body() = std::move(answer.body);
    reply->keep_alive(keep_alive_);
    reply->prepare_payload();
    if (request_.method == "HEAD") reply->body().clear();  // the length stays the whole body's
    auto serializer = std::make_shared<http::response_serializer<http::string_body>>(*reply);
    stream_.expires_after(std::chrono::seconds(kIdleSeconds));
    http::async_write_header(stream_, *serializer,
                             [self = shared_from_this(), reply, serializer](beast::error_code ec,
                                                                            std::size_t) {
                               if (ec) return self->Close();
                               self->WriteBody(reply, 0);
                             });
  }

  // The body of `reply` from `at` on; then the next request, or the end of the connection.
  void WriteBody(const std::shared_ptr<http::response<http::string_body>>& reply,
                 std::size_t at) {
    const std::string& body = reply->body();
    if (at >= body.size()) {
      if (!keep_alive_) return Close();
      return ReadHead();
    }
    const std::size_t size = std::min(kWritePieceBytes, body.size() - at);
    stream_.expires_after(std::chrono::seconds(kAnswerIdleSeconds));
    net::async_write(stream_, net::buffer(body.data() + at, size),
                     [self = shared_from_this(), reply, at, size](beast::error_code ec,
                                                                  std::size_t) {
                       if (ec) return self->Close();
                       self->WriteBody(reply, at + size);
                     });
  }

  Impl& server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  httplib::Request request_;
  bool keep_alive_ = false;
  net::steady_timer poll_timer_;
  bool polling_ = false;
  std::int64_t poll_after_ = 0;
  bool watching_ = false;                    // a read watches the peer while its poll waits
  std::optional<httplib::Response> answer_;  // the poll's answer, once that read has ended
};

void AsyncHttpServer::Impl::Accept() {
  acceptor_.async_accept(net_, [this](beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || !acceptor_.is_open()) return;
    if (ec) {
      // Out of descriptors or memory: accepting again at once would only spin; the backlog
      // holds the newcomers meanwhile.
      accept_pause_.expires_after(std::chrono::milliseconds(kAcceptPauseMs));
      accept_pause_.async_wait([this](beast::error_code wait_ec) {
        if (!wait_ec) Accept();
      });
      return;
    }
    if (connections_ >= kMaxConnections) {
      beast::error_code ignored;
      socket.close(ignored);  // too many open: this one is turned away
    } else {
      std::make_shared<Connection>(*this, std::move(socket))->Start();
    }
    Accept();
  });
}

void AsyncHttpServer::Impl::WakeWaiters() {
  std::int64_t latest = 0;
  hooks_.events(std::numeric_limits<std::int64_t>::max(), latest);
  const auto waiting = waiting_;  // answering takes a connection out of the list
  for (const auto& connection : waiting) {
    if (connection->WantsEventsUpTo(latest)) connection->AnswerPoll();
  }
}

AsyncHttpServer::AsyncHttpServer(HttpHooks hooks)
    : impl_(std::make_unique<Impl>(std::move(hooks))) {}

AsyncHttpServer::~AsyncHttpServer() = default;

int AsyncHttpServer::Bind(int port) {
  try {
    const tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"),
                                 static_cast<unsigned short>(port));
    impl_->acceptor_.open(endpoint.protocol());
    impl_->acceptor_.set_option(tcp::acceptor::reuse_address(true));
    impl_->acceptor_.bind(endpoint);
    impl_->acceptor_.listen(kListenBacklog);
    return impl_->acceptor_.local_endpoint().port();
  } catch (const boost::system::system_error& e) {
    beast::error_code ignored;
    impl_->acceptor_.close(ignored);
    // Only SO_REUSEADDR is set, never SO_REUSEPORT: a port another server listens on is refused
    // here, rather than shared with it, each answering in turns.
    if (e.code() == net::error::address_in_use) {
      throw std::runtime_error(fmt::format(
          "port {} on 127.0.0.1 is already in use (another nimbo serve, or another program); "
          "choose another with --port, or --port 0 for any free port",
          port));
    }
    throw std::runtime_error(
        fmt::format("cannot listen on 127.0.0.1:{}: {}", port, e.code().message()));
  }
}

void AsyncHttpServer::Run() {
  impl_->Accept();
  impl_->net_.run();
}

void AsyncHttpServer::Stop() {
  Impl* impl = impl_.get();
  net::post(impl->net_, [impl] {
    beast::error_code ignored;
    impl->acceptor_.close(ignored);
    impl->accept_pause_.cancel();
    // Polls are answered with what there is; the clients then see the server go.
    const auto waiting = impl->waiting_;
    for (const auto& connection : waiting) connection->AnswerPoll();
    impl->net_.stop();
  });
}

void AsyncHttpServer::EventsArrived() {
  Impl* impl = impl_.get();
  net::post(impl->net_, [impl] { impl->WakeWaiters(); });
}

}  // namespace nimbo::app::serve
