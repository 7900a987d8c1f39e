// Loopback peers for the mail tests: a scripted SMTP server on Asio (one connection, replies
// and pauses in a fixed order, every command line and the data recorded) and the aiosmtpd sink
// run as a child process. Both bind 127.0.0.1 only and every wait is bounded.
#ifndef NIMBO_TESTS_TESTING_MAIL_SERVERS_H_
#define NIMBO_TESTS_TESTING_MAIL_SERVERS_H_

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testing/test_support.h"

namespace nimbo::testing {

// One step of a scripted server.
struct ServerStep {
  enum Kind { kSend, kReadLine, kReadData, kPause, kClose } kind;
  std::string text;  // kSend: the bytes
  int millis = 0;    // kPause
};
inline ServerStep Send(std::string text) { return {ServerStep::kSend, std::move(text)}; }
inline ServerStep ReadLine() { return {ServerStep::kReadLine, {}}; }
inline ServerStep ReadData() { return {ServerStep::kReadData, {}}; }
inline ServerStep Pause(int millis) { return {ServerStep::kPause, {}, millis}; }
inline ServerStep CloseConnection() { return {ServerStep::kClose, {}}; }

// A conversation that accepts everything: greeting, four commands, the data and QUIT.
inline std::vector<ServerStep> AcceptingScript(const std::string& greeting = "220 ready\r\n") {
  return {Send(greeting),           ReadLine(), Send("250 hello\r\n"),  ReadLine(),
          Send("250 ok\r\n"),       ReadLine(), Send("250 ok\r\n"),     ReadLine(),
          Send("354 go ahead\r\n"), ReadData(), Send("250 queued\r\n"), ReadLine(),
          Send("221 bye\r\n")};
}

// A server that starts a reply and never finishes it, a line every few milliseconds for ten
// seconds: data keeps arriving, but the conversation never moves on.
inline std::vector<ServerStep> TalkingScript() {
  std::vector<ServerStep> script;
  for (int i = 0; i < 2000; ++i) {
    script.push_back(Send("220-still here\r\n"));
    script.push_back(Pause(5));
  }
  return script;
}

// Serves one connection by its script on a thread of its own, then keeps the connection until
// the client closes it. What the client sent is readable once the server has been stopped.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<ServerStep> script)
      : script_(std::move(script)),
        acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
    port_ = acceptor_.local_endpoint().port();
    asio::co_spawn(io_, Serve(), asio::detached);
    thread_ = std::thread([this] { io_.run_for(std::chrono::seconds(30)); });
  }
  ~ScriptedServer() { Stop(); }

  int port() const { return port_; }
  // Stops serving: once a connection was accepted, first waits (up to 10 s) for the script to
  // end and the client to close. Afterwards lines() and data() hold everything received.
  void Stop() {
    if (!thread_.joinable()) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (accepted_ && !finished_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    io_.stop();
    thread_.join();
  }
  // The command lines received, without their CR LF.
  const std::vector<std::string>& lines() const { return lines_; }
  // The data section as received on the wire, up to and including "\r\n.\r\n".
  const std::string& data() const { return data_; }
  // True once the client closed its end.
  bool client_closed() const { return client_closed_; }

 private:
  asio::awaitable<void> Serve() {
    try {
      auto socket = co_await acceptor_.async_accept(asio::use_awaitable);
      accepted_ = true;
      std::string buffer;
      for (const ServerStep& step : script_) {
        switch (step.kind) {
          case ServerStep::kSend:
            co_await asio::async_write(socket, asio::buffer(step.text), asio::use_awaitable);
            break;
          case ServerStep::kReadLine: {
            const std::size_t n = co_await asio::async_read_until(
                socket, asio::dynamic_buffer(buffer), "\r\n", asio::use_awaitable);
            lines_.push_back(buffer.substr(0, n - 2));
            buffer.erase(0, n);
            break;
          }
          case ServerStep::kReadData: {
            const std::size_t n = co_await asio::async_read_until(
                socket, asio::dynamic_buffer(buffer), "\r\n.\r\n", asio::use_awaitable);
            data_ = buffer.substr(0, n);
            buffer.erase(0, n);
            break;
          }
          case ServerStep::kPause: {
            asio::steady_timer timer(io_, std::chrono::milliseconds(step.millis));
            co_await timer.async_wait(asio::use_awaitable);
            break;
          }
          case ServerStep::kClose:
            socket.close();
            finished_ = true;
            co_return;
        }
      }
      // Anything more the client sends after the script (it should send nothing) is a line.
      for (;;) {
        const std::size_t n = co_await asio::async_read_until(socket, asio::dynamic_buffer(buffer),
                                                              "\r\n", asio::use_awaitable);
        lines_.push_back(buffer.substr(0, n - 2));
        buffer.erase(0, n);
      }
    } catch (const std::system_error&) {
      client_closed_ = true;  // end of file or reset: the client closed
    }
    finished_ = true;
  }

  std::vector<ServerStep> script_;
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  int port_ = 0;
  std::vector<std::string> lines_;
  std::string data_;
  bool client_closed_ = false;
  std::atomic<bool> accepted_ = false;
  std::atomic<bool> finished_ = false;
  std::thread thread_;
};

// The aiosmtpd sink (tests/mail/smtp_sink.py) as a child process, storing messages in a
// folder of its own; stopped with SIGTERM when the object goes away.
class SmtpSink {
 public:
  SmtpSink() {
    const std::string script = std::string(NIMBO_SOURCE_DIR) + "/tests/mail/smtp_sink.py";
    const std::string port_file = (dir_ / "port").string();
    const std::string mail_dir = (dir_ / "mail").string();
    std::filesystem::create_directory(mail_dir);
    std::vector<std::string> args = {"/usr/bin/python3", script, port_file, mail_dir};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("cannot start the SMTP sink");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(port_file)) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("no SMTP sink");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    port_ = std::stoi(ReadFile(port_file));
  }
  ~SmtpSink() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  SmtpSink(const SmtpSink&) = delete;
  SmtpSink& operator=(const SmtpSink&) = delete;

  int port() const { return port_; }
  // The folder of message n (1 for the first): n.eml and n.json.
  std::filesystem::path Message(int n) const {
    return dir_ / "mail" / (std::to_string(n) + ".eml");
  }
  std::filesystem::path Envelope(int n) const {
    return dir_ / "mail" / (std::to_string(n) + ".json");
  }

 private:
  TempDir dir_;
  pid_t pid_ = 0;
  int port_ = 0;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_MAIL_SERVERS_H_
