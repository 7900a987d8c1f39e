// Another program on the same database file: a child process (tests/testing/sqlite_peer.py,
// Python's sqlite3 on its own connection) that runs the statements a test sends it, so that a
// test can hold a real lock, or write a WAL database, from outside the component's process.
#ifndef NIMBO_TESTS_TESTING_SQLITE_PEER_H_
#define NIMBO_TESTS_TESTING_SQLITE_PEER_H_

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace nimbo::testing {

class SqlitePeer {
 public:
  // Starts the peer on a database file (which it creates when missing).
  explicit SqlitePeer(const std::filesystem::path& database) {
    // A peer that died must fail the test with a message, not end it by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0) throw std::runtime_error("pipe");
    if (pipe(from_child) != 0) {
      close(to_child[0]);
      close(to_child[1]);
      throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, to_child[1]);
    posix_spawn_file_actions_addclose(&actions, from_child[0]);
    std::vector<std::string> args = {
        "/usr/bin/python3", std::string(NIMBO_SOURCE_DIR) + "/tests/testing/sqlite_peer.py",
        database.string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(to_child[0]);
    close(from_child[1]);
    in_ = to_child[1];
    out_ = from_child[0];
    if (rc != 0) {
      pid_ = 0;
      Close();
      throw std::runtime_error("cannot start the SQLite peer");
    }
  }

  ~SqlitePeer() { Close(); }
  SqlitePeer(const SqlitePeer&) = delete;
  SqlitePeer& operator=(const SqlitePeer&) = delete;

  // Runs one statement (a single line) in the peer and returns its answer: "ok" or
  // "error: <message>". Throws when the peer does not answer within 20 s.
  std::string Run(const std::string& sql) {
    const std::string line = sql + "\n";
    if (write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      throw std::runtime_error("the SQLite peer is gone");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      const std::size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string answer = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return answer;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd fd{out_, POLLIN, 0};
      if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
        throw std::runtime_error("the SQLite peer did not answer: " + sql);
      }
      char chunk[256];
      const ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) throw std::runtime_error("the SQLite peer ended: " + sql);
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Ends the peer: it closes its connection at the end of its input. Waits for it up to 20 s,
  // then kills it.
  void Close() {
    if (in_ >= 0) close(in_);
    in_ = -1;
    if (pid_ > 0) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      int status = 0;
      while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          kill(pid_, SIGKILL);
          waitpid(pid_, &status, 0);
          break;
        }
        usleep(10000);
      }
      pid_ = 0;
    }
    if (out_ >= 0) close(out_);
    out_ = -1;
  }

 private:
  pid_t pid_ = 0;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_SQLITE_PEER_H_
