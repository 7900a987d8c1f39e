// The web host's safety rules, checked against the real server on a loopback port with raw
// HTTP requests, so that every header and path goes out exactly as written.
#include <gtest/gtest.h>

#include <asio/connect.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/read_until.hpp>
#include <asio/write.hpp>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

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
    asio::write(socket, asio::buffer(request));
    Reply reply;
    std::error_code ec;
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

}  // namespace
}  // namespace nimbo::app::serve
