// Runs a measurement in a fresh child process, so that what the benchmarks did before (and the
// allocator's retained memory) does not count in its peak resident size.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <type_traits>

namespace nimbo::bench {

// The peak resident size of this process so far, in KiB.
inline long PeakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Calls measure() in a forked child and returns what it returned. Result is copied through a
// pipe byte for byte, so it must be trivially copyable. Throws when the child fails.
template <typename Result, typename Measure>
Result InChildProcess(Measure measure) {
  static_assert(std::is_trivially_copyable_v<Result>);
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    close(fds[0]);
    const Result result = measure();
    const ssize_t written = write(fds[1], &result, sizeof result);
    _exit(written == sizeof result ? 0 : 1);
  }
  close(fds[1]);
  Result result{};
  const ssize_t got = read(fds[0], &result, sizeof result);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (got != sizeof result || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("measurement in the child process failed");
  }
  return result;
}

}  // namespace nimbo::bench
