// The web host's safety rules, checked against the real server on a loopback port with raw
// HTTP requests, so that every header and path goes out exactly as written.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <asio/connect.hpp>
#include <asio/error.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/read_until.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serve/http_server.h"
#include "serve/web_host.h"
#include "testing/test_support.h"

namespace nimbo::app::serve {
namespace {

using nimbo::testing::TempDir;
using nimbo::testing::WriteFile;

struct Reply {
  int status = 0;
  std::string text;  // the whole reply, head and body
};

using std::chrono::seconds;
// How long any wait on the server may last: a liveness bound, far above what a healthy server
// needs, never a timing claim.
constexpr seconds kPatience{10};

// A raw connection to the server whose every wait ends by a deadline, for peers that stay
// silent, stall or send too much.
class Peer {
 public:
  explicit Peer(int port) : socket_(io_) {
    socket_.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
  }

  // Sends all of `bytes`; false when the server closed or stopped reading before the deadline.
  bool Write(std::string_view bytes) {
    return !Await([&](auto done) { asio::async_write(socket_, asio::buffer(bytes), done); });
  }

  // The status of the next reply once its head has arrived; nothing when the server closed
  // or said nothing before the deadline.
  // A shorter `limit` looks in without giving up on the reply: what has arrived is kept.
  std::optional<int> Status(seconds limit = kPatience) { return StatusWithin(limit); }
  std::optional<int> StatusWithin(std::chrono::milliseconds limit) {
    const auto ec = Await(
        [&](auto done) {
          asio::async_read_until(socket_, asio::dynamic_buffer(head_), "\r\n\r\n", done);
        },
        limit);
    if (ec || head_.size() < 12) return std::nullopt;
    return std::stoi(head_.substr(9, 3));
  }
  const std::string& head() const { return head_; }

  // The body of the reply whose head Status() read (by its Content-Length); nothing when it
  // did not all arrive before the deadline.
  std::optional<std::string> Body() {
    const auto end = head_.find("\r\n\r\n");
    const auto field = head_.find("Content-Length: ");
    if (end == std::string::npos || field == std::string::npos) return std::nullopt;
    const std::size_t length = std::stoul(head_.substr(field + 16));
    std::string body = head_.substr(end + 4);
    if (body.size() < length) {
      const auto ec = Await([&](auto done) {
        asio::async_read(socket_, asio::dynamic_buffer(body),
                         asio::transfer_exactly(length - body.size()), done);
      });
      if (ec) return std::nullopt;
    }
    return body.substr(0, length);
  }

  // Whether the server closes the connection before the deadline (whatever it sends first).
  bool Closed() {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    char scratch[4096];
    while (std::chrono::steady_clock::now() < end) {
      const auto ec = Await(
          [&](auto done) { socket_.async_read_some(asio::buffer(scratch), done); },
          std::chrono::duration_cast<seconds>(end - std::chrono::steady_clock::now()) + seconds(1));
      if (ec == asio::error::timed_out) return false;
      if (ec) return true;  // end of file or reset
    }
    return false;
  }

 private:
  template <typename Start>
  std::error_code Await(Start start, std::chrono::milliseconds limit = kPatience) {
    std::optional<std::error_code> result;
    io_.restart();
    start([&](const std::error_code& ec, std::size_t) { result = ec; });
    io_.run_for(limit);
    if (!result) {
      socket_.cancel();
      io_.restart();
      io_.run();
      return asio::error::timed_out;
    }
    return *result;
  }

  asio::io_context io_;
  asio::ip::tcp::socket socket_;
  std::string head_;
};

// The process's resident memory in KiB.
long ResidentKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

class ServeSafetyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    std::filesystem::create_directory(*dir_ / "app");
    WriteFile(*dir_ / "secret.txt", "TOP SECRET");
    std::filesystem::create_symlink(*dir_ / "secret.txt", *dir_ / "app" / "link.txt");
    ServeOptions options;
    options.session.folder = (*dir_ / "app").string();  // the demo is built there
    host_ = new WebHost(options);
    server_ = new HttpServer(*host_);
    port_ = server_->Bind(0);
    host_->Refresh();
    thread_ = new std::thread([] { server_->Run(); });
  }

  static void TearDownTestSuite() {
    server_->Stop();
    thread_->join();
    delete thread_;
    delete server_;
    delete host_;
    delete dir_;
  }

  static std::string Host() { return "127.0.0.1:" + std::to_string(port_); }

  // Sends one request as written (the Connection: close header is added) and reads the reply,
  // or only its status line when `whole` is false (the server may hold a connection it refused
  // open until its read timeout).
  static Reply Send(const std::string& head, const std::string& body = "", bool whole = true) {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port_)});
    const std::string request = head + "Connection: close\r\n\r\n" + body;
    Reply reply;
    std::error_code ec;
    // A server may refuse on the head and close before it has read the whole body; its answer
    // is read all the same.
    asio::write(socket, asio::buffer(request), ec);
    if (whole) {
      asio::read(socket, asio::dynamic_buffer(reply.text), ec);  // until the server closes
    } else {
      asio::read_until(socket, asio::dynamic_buffer(reply.text), "\r\n", ec);
    }
    if (reply.text.size() > 12) reply.status = std::stoi(reply.text.substr(9, 3));
    return reply;
  }

  static Reply Get(const std::string& target, const std::string& host = Host()) {
    return Send("GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n");
  }

  static Reply Post(const std::string& target, const std::string& headers,
                    const std::string& body = "{}") {
    return Send("POST " + target + " HTTP/1.1\r\nHost: " + Host() +
                    "\r\nContent-Type: application/json\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n" + headers,
                body);
  }

  static TempDir* dir_;
  static WebHost* host_;
  static HttpServer* server_;
  static std::thread* thread_;
  static int port_;
};

TempDir* ServeSafetyTest::dir_ = nullptr;
WebHost* ServeSafetyTest::host_ = nullptr;
HttpServer* ServeSafetyTest::server_ = nullptr;
std::thread* ServeSafetyTest::thread_ = nullptr;
int ServeSafetyTest::port_ = 0;

TEST_F(ServeSafetyTest, AnswersOnlyToLoopbackNamesWithItsPort) {
  const std::string port = std::to_string(port_);
  const std::string other_port = std::to_string(port_ == 65535 ? 1 : port_ + 1);
  const struct {
    std::string host;
    int status;
  } cases[] = {
      {"127.0.0.1:" + port, 200},
      {"localhost:" + port, 200},
      {"LocalHost:" + port, 200},
      {"attacker.example", 403},
      {"attacker.example:" + port, 403},
      {"127.0.0.1:" + other_port, 403},
      {"127.0.0.1", 403},
      {"localhost.attacker.example:" + port, 403},
      {"127.0.0.2:" + port, 403},
      {"", 403},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Get("/", c.host).status, c.status) << "Host: " << c.host;
  }
  // No Host header at all.
  EXPECT_EQ(Send("GET / HTTP/1.1\r\n").status, 403);
  // The refusal covers the files and the state changes too, not only the page.
  EXPECT_EQ(Get("/app/fp.htm", "attacker.example:" + port).status, 403);
  EXPECT_EQ(Send("POST /api/refresh HTTP/1.1\r\nHost: attacker.example:" + port +
                 "\r\nX-Nimbo-Request: 1\r\nContent-Length: 0\r\n")
                .status,
            403);
}

TEST_F(ServeSafetyTest, ServesTheFolderAndTheAssetsButNothingOutsideThem) {
  const Reply page = Get("/app/fp.htm");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.text.find("Content-Type: text/html"), std::string::npos);
  EXPECT_EQ(Get("/app/circle.gif").status, 200);
  EXPECT_EQ(Get("/assets/app.js").status, 200);
  // The toolbar's Save asks for the same file as a download.
  EXPECT_EQ(page.text.find("Content-Disposition"), std::string::npos);
  const Reply download = Get("/app/fp.htm?download=1");
  EXPECT_EQ(download.status, 200);
  EXPECT_NE(download.text.find("Content-Disposition: attachment; filename=\"fp.htm\"\r\n"),
            std::string::npos);
  EXPECT_EQ(Get("/app/..%2fsecret.txt?download=1").status, 404);

  for (const std::string target : {
           "/app/../secret.txt",
           "/app/%2e%2e/secret.txt",
           "/app/%2E%2E%2Fsecret.txt",
           "/app/..%2fsecret.txt",
           "/app/..%5csecret.txt",
           "/app/..\\secret.txt",
           "/app/%252e%252e%252fsecret.txt",
           "/app/./../secret.txt",
           "/app/missing/../../secret.txt",
           "/app/link.txt",  // a link in the folder that leads out of it
           "/app/%2fetc%2fpasswd",
           "/app/..",
           "/app/",
           "/assets/..%2f..%2fsecret.txt",
           "/assets/%2e%2e/app.js",
           "/../secret.txt",
       }) {
    const Reply reply = Get(target);
    EXPECT_NE(reply.status, 200) << target;
    EXPECT_EQ(reply.text.find("TOP SECRET"), std::string::npos) << target;
    EXPECT_EQ(reply.text.find("root:"), std::string::npos) << target;
  }
}

TEST_F(ServeSafetyTest, ALargePageForThePaneComesAsTheStartThatFeedsIt) {
  const std::string row = "<tr><td>a row of the page</td></tr>\n";
  std::string big = "<!DOCTYPE html><html><body><table>\n";
  while (big.size() < 300 * 1024) big += row;
  big += "</table></body></html>\n";
  WriteFile(*dir_ / "app" / "big.htm", big);
  WriteFile(*dir_ / "app" / "big.txt", big);
  const auto body = [](const Reply& reply) { return reply.text.substr(reply.text.find("\r\n\r\n") + 4); };

  // The pane asks with the feed mark: a large page comes as the start, which must be free to
  // run the page's own scripts once it has written the page into its document.
  const Reply start = Get("/app/big.htm?v=3&feed=1");
  EXPECT_EQ(start.status, 200);
  EXPECT_NE(body(start).find("/assets/feed.js"), std::string::npos);
  EXPECT_EQ(body(start).find("a row of the page"), std::string::npos);
  EXPECT_EQ(start.text.find("Content-Security-Policy"), std::string::npos);
  EXPECT_EQ(Get("/assets/feed.js").status, 200);

  // What the start fetches, a small page, a file that is no page and a download come whole.
  for (const std::string target : {"/app/big.htm?v=3", "/app/big.txt?feed=1",
                                   "/app/big.htm?feed=1&download=1"}) {
    const Reply reply = Get(target);
    EXPECT_EQ(reply.status, 200) << target;
    EXPECT_EQ(body(reply), big) << target;
  }
  const Reply small = Get("/app/fp.htm?feed=1");
  EXPECT_EQ(small.status, 200);
  EXPECT_EQ(body(small).find("/assets/feed.js"), std::string::npos);
  EXPECT_EQ(Get("/app/..%2fsecret.txt?feed=1").status, 404);
}

TEST_F(ServeSafetyTest, StateChangesArePostsWithTheRequestHeaderFromThisOrigin) {
  const std::string origin = "Origin: http://127.0.0.1:" + std::to_string(port_) + "\r\n";
  EXPECT_EQ(Post("/api/refresh", "").status, 403);
  EXPECT_EQ(Post("/api/refresh", "X-Nimbo-Request: 0\r\n").status, 403);
  EXPECT_EQ(
      Post("/api/refresh", "X-Nimbo-Request: 1\r\nOrigin: http://attacker.example\r\n").status,
      403);
  EXPECT_EQ(Post("/api/refresh", "X-Nimbo-Request: 1\r\nOrigin: null\r\n").status, 403);
  const Reply refreshed = Post("/api/refresh", "X-Nimbo-Request: 1\r\n");
  EXPECT_EQ(refreshed.status, 200);
  const json state = json::parse(refreshed.text.substr(refreshed.text.find("\r\n\r\n") + 4));
  ASSERT_TRUE(state.is_object());
  EXPECT_EQ(state["tree"][0][2], "Data Browser");
  EXPECT_EQ(Post("/api/refresh", "X-Nimbo-Request: 1\r\n" + origin).status, 200);
  // A GET never changes anything: there is no GET route for a state change.
  EXPECT_EQ(Get("/api/refresh").status, 404);
  EXPECT_EQ(Send("PUT /api/refresh HTTP/1.1\r\nHost: " + Host() +
                 "\r\nX-Nimbo-Request: 1\r\nContent-Length: 0\r\n")
                .status,
            404);
  // A body that is not a JSON object, and a node the tree no longer has.
  EXPECT_EQ(Post("/api/display", "X-Nimbo-Request: 1\r\n", "[1]").status, 400);
  EXPECT_EQ(
      Post("/api/display", "X-Nimbo-Request: 1\r\n", R"({"index":1,"text":"Not the root"})").status,
      409);
  // The design page's apply is a state change like the others.
  EXPECT_EQ(Post("/api/design", "", R"({"txtActivePort":"80","txtDAMode":"0"})").status, 403);
}

TEST_F(ServeSafetyTest, RequestsBeyondTheSizeLimitsAreRefused) {
  const std::string header = "X-Nimbo-Request: 1\r\n";
  const std::string big_url = R"({"url":")" + std::string(kMaxBodyBytes, 'a') + R"("})";
  EXPECT_EQ(Post("/api/url", header, big_url).status, 413);
  const std::string fits = R"({"url":")" + std::string(kMaxBodyBytes / 2, 'a') + R"("})";
  EXPECT_EQ(Post("/api/url", header, fits).status, 200);

  const std::string long_line = "X-Long: " + std::string(16384, 'h') + "\r\n";
  EXPECT_EQ(Send("GET / HTTP/1.1\r\nHost: " + Host() + "\r\n" + long_line, "", false).status, 400);
  const std::string long_target = "/app/" + std::string(10000, 'a');
  EXPECT_EQ(Send("GET " + long_target + " HTTP/1.1\r\nHost: " + Host() + "\r\n", "", false).status,
            414);
}

TEST_F(ServeSafetyTest, RequestsPastTheLimitsAreRefusedWhateverTheirForm) {
  const std::string host = "Host: " + Host() + "\r\n";
  const std::string post = "POST /api/url HTTP/1.1\r\n" + host + "X-Nimbo-Request: 1\r\n";
  std::string many_lines;
  for (std::size_t i = 0; i <= kMaxHeaderLines; ++i) many_lines += fmt::format("X-N{}: 1\r\n", i);
  std::string big_lines;  // each line within its own limit, all of them together not
  for (std::size_t i = 0; i < 3; ++i) {
    big_lines += fmt::format("X-B{}: {}\r\n", i, std::string(kMaxHeaderBytes / 3, 'b'));
  }
  const std::string over = std::string(kMaxBodyBytes + 1, 'a');
  const std::string url = R"({"url":"nothing"})";
  const std::string small_chunked = fmt::format("{:x}\r\n{}\r\n0\r\n\r\n", url.size(), url);
  const std::string chunked = fmt::format("{:x}\r\n{}\r\n0\r\n\r\n", over.size(), over);
  const auto json_post = [&](const std::string& target, const std::string& body) {
    return "POST " + target + " HTTP/1.1\r\n" + host +
           "X-Nimbo-Request: 1\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
  };
  const struct {
    const char* what;
    std::string request;
    int status;
  } cases[] = {
      {"a chunked body over the limit", post + "Transfer-Encoding: chunked\r\n\r\n" + chunked, 413},
      {"a chunked body within the limit",
       post + "Transfer-Encoding: chunked\r\n\r\n" + small_chunked, 200},
      {"a length over the limit, body not sent",
       post + fmt::format("Content-Length: {}\r\n\r\n", kMaxBodyBytes + 1), 413},
      {"a length that is no number", post + "Content-Length: 12abc\r\n\r\n", 400},
      {"too many header lines", "GET / HTTP/1.1\r\n" + host + many_lines + "\r\n", 431},
      {"too many header bytes", "GET / HTTP/1.1\r\n" + host + big_lines + "\r\n", 431},
      {"a long URI", "GET /app/" + std::string(10000, 'a') + " HTTP/1.1\r\n" + host + "\r\n", 414},
      {"two Host headers", "GET / HTTP/1.1\r\n" + host + host + "\r\n", 400},
      {"two different Host headers", "GET / HTTP/1.1\r\n" + host + "Host: attacker.example\r\n\r\n",
       400},
      {"an index that is a string", json_post("/api/display", R"({"index":"1","text":"x"})"), 400},
      {"an index too large for a number", json_post("/api/display", R"({"index":1e30})"), 400},
      {"an index past an int", json_post("/api/expand", R"({"index":4294967297})"), 400},
      {"a text that is a number", json_post("/api/display", R"({"index":1,"text":5})"), 400},
      {"expanded as a string", json_post("/api/expand", R"({"index":1,"expanded":"no"})"), 400},
      {"a url that is a list", json_post("/api/url", R"({"url":["x"]})"), 400},
      {"a mail field that is null", json_post("/api/mail", R"({"to":null})"), 400},
      {"a design text that is an object", json_post("/api/design", R"({"txtDAMode":{}})"), 400},
      // The same requests within the limits still pass.
      {"a body within the limit", json_post("/api/url", R"({"url":"nothing"})"), 200},
      {"header lines within the limit", "GET / HTTP/1.1\r\n" + host + "X-A: 1\r\n\r\n", 200},
  };
  for (const auto& c : cases) {
    Peer peer(port_);
    peer.Write(c.request);  // the server may refuse before it has read everything
    EXPECT_EQ(peer.Status(), c.status) << c.what << "\n" << peer.head();
  }
}

TEST_F(ServeSafetyTest, AChunkedBodyPastTheLimitIsNotKeptAndItsConnectionIsClosed) {
  Peer peer(port_);
  ASSERT_TRUE(peer.Write("POST /api/url HTTP/1.1\r\nHost: " + Host() +
                         "\r\nX-Nimbo-Request: 1\r\nTransfer-Encoding: chunked\r\n\r\n"));
  const long before = ResidentKib();
  // 64 MiB offered in 1 MiB chunks: the server stops reading at its limit and closes, so the
  // writes fail long before the end; a server that read the body would hold it.
  const std::string chunk = fmt::format("{:x}\r\n{}\r\n", 1 << 20, std::string(1 << 20, 'c'));
  int sent = 0;
  while (sent < 64 && peer.Write(chunk)) ++sent;
  EXPECT_LT(sent, 64);
  EXPECT_TRUE(peer.Closed());
  EXPECT_LT(ResidentKib() - before, 16 * 1024);
}

TEST_F(ServeSafetyTest, SilentAndStalledPeersAreDroppedWhileOthersAreAnswered) {
  const struct {
    const char* what;
    std::string sent;
  } cases[] = {
      {"a peer that sends nothing", ""},
      {"a peer that stops inside its headers", "GET / HTTP/1.1\r\nHost: " + Host() + "\r\nX-"},
      {"a peer that stops inside its body",
       "POST /api/url HTTP/1.1\r\nHost: " + Host() +
           "\r\nX-Nimbo-Request: 1\r\nContent-Length: 100\r\n\r\n{\"url\""},
      {"a peer that stays after an answer",
       "GET /api/state HTTP/1.1\r\nHost: " + Host() + "\r\n\r\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::unique_ptr<Peer>> silent;
    for (int i = 0; i < 16; ++i) {
      silent.push_back(std::make_unique<Peer>(port_));
      ASSERT_TRUE(silent.back()->Write(c.sent)) << c.what;
    }
    EXPECT_EQ(Get("/api/state").status, 200) << c.what;
    for (auto& peer : silent) EXPECT_TRUE(peer->Closed()) << c.what;
  }
}

TEST_F(ServeSafetyTest, EventWaitsPastTheCapAreSentBackAndTheStateStillAnswers) {
  // Each asks for events after a number far ahead, so that it waits its full time.
  const std::string poll =
      "GET /api/events?wait=1&after=1000000000000 HTTP/1.1\r\nHost: " + Host() + "\r\n\r\n";
  const int extra = 8;
  std::vector<std::unique_ptr<Peer>> polls;
  for (int i = 0; i < kMaxWaitingPolls + extra; ++i) {
    polls.push_back(std::make_unique<Peer>(port_));
    ASSERT_TRUE(polls.back()->Write(poll));
  }
  // The state, the page and a short poll answer while the waits are held.
  EXPECT_EQ(Get("/api/state").status, 200);
  EXPECT_EQ(Get("/").status, 200);
  EXPECT_EQ(Get("/api/events?after=0").status, 200);
  // The polls past the cap are answered at once with a pause to keep; the others still wait
  // (for far longer than this looks: the waits last 20 s).
  std::vector<std::unique_ptr<Peer>> refused;
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (refused.size() < static_cast<std::size_t>(extra) &&
         std::chrono::steady_clock::now() < end) {
    for (auto& peer : polls) {
      if (!peer) continue;
      if (const auto status = peer->StatusWithin(std::chrono::milliseconds(5))) {
        EXPECT_EQ(status, 503);
        EXPECT_NE(peer->head().find("Retry-After: 2\r\n"), std::string::npos) << peer->head();
        refused.push_back(std::move(peer));
      }
    }
  }
  EXPECT_EQ(refused.size(), static_cast<std::size_t>(extra));
}

TEST_F(ServeSafetyTest, WaitingEventPollsAreAnsweredWhenTheComponentRaisesEvents) {
  const Reply before = Get("/api/events?after=0");
  const std::int64_t seq = json::parse(before.text.substr(before.text.find("\r\n\r\n") + 4))["seq"];
  std::vector<std::unique_ptr<Peer>> polls;
  for (int i = 0; i < 3; ++i) {
    polls.push_back(std::make_unique<Peer>(port_));
    ASSERT_TRUE(polls.back()->Write(
        fmt::format("GET /api/events?wait=1&after={} HTTP/1.1\r\nHost: {}\r\n\r\n", seq, Host())));
  }
  // A refresh makes the component raise events (Busy and its end at least).
  EXPECT_EQ(Post("/api/refresh", "X-Nimbo-Request: 1\r\n").status, 200);
  // Each poll answers with the events that came after the number it gave: it waited for them.
  for (auto& poll : polls) {
    ASSERT_EQ(poll->Status(), 200);
    const auto body = poll->Body();
    ASSERT_TRUE(body);
    const json answer = json::parse(*body);
    ASSERT_FALSE(answer["events"].empty()) << *body;
    for (const json& event : answer["events"]) EXPECT_GT(event["seq"], seq) << *body;
  }
}

TEST_F(ServeSafetyTest, PollsWhosePeersLeftFreeTheirPlacesAtOnce) {
  const std::string poll =
      "GET /api/events?wait=1&after=1000000000000 HTTP/1.1\r\nHost: " + Host() + "\r\n\r\n";
  {
    std::vector<std::unique_ptr<Peer>> left;
    for (int i = 0; i < kMaxWaitingPolls; ++i) {
      left.push_back(std::make_unique<Peer>(port_));
      ASSERT_TRUE(left.back()->Write(poll));
    }
    EXPECT_EQ(Get("/api/state").status, 200);  // all of them have been taken in by now
  }  // every peer closes its socket here, long before its 20 s wait would end
  // A page's poll is taken in again rather than sent back; it may take a moment for the
  // server to see the others go, so it asks until it is taken in or time runs out.
  const auto end = std::chrono::steady_clock::now() + kPatience;
  bool waiting = false;
  while (!waiting && std::chrono::steady_clock::now() < end) {
    Peer page(port_);
    ASSERT_TRUE(page.Write(poll));
    waiting = !page.StatusWithin(std::chrono::milliseconds(200)).has_value();
  }
  EXPECT_TRUE(waiting);
}

}  // namespace
}  // namespace nimbo::app::serve
