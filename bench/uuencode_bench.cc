// Speed of the attachment encoder against sharutils' uuencode on the same 100 MiB file of random
// bytes: each is run several times, and the best times give MB/s and the ratio ours/theirs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fmt/core.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "mail/uuencode.h"

extern char** environ;

namespace {

constexpr std::int64_t kFileBytes = std::int64_t{100} << 20;
constexpr int kRepetitions = 7;

// The sample file, written once in a folder of its own and removed at exit.
class SampleFile {
 public:
  SampleFile() {
    std::string folder =
        (std::filesystem::temp_directory_path() / "nimbo-uuencode-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = folder;
    path_ = (folder_ / "sample.bin").string();
    std::vector<std::uint64_t> words(static_cast<std::size_t>(kFileBytes) / 8);
    std::mt19937_64 engine(20240601);
    for (auto& word : words) word = engine();
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(words.data()), kFileBytes);
    if (!out) throw std::runtime_error("cannot write " + path_);
  }
  ~SampleFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  SampleFile(const SampleFile&) = delete;
  SampleFile& operator=(const SampleFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::filesystem::path folder_;
  std::string path_;
};

const SampleFile& Sample() {
  static const SampleFile sample;
  return sample;
}

void BM_UUEncodeFile(benchmark::State& state) {
  const std::string& path = Sample().path();
  for (auto _ : state) {
    std::string text = nimbo::UUEncodeFile(path);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * kFileBytes);
}

// `uuencode FILE NAME > /dev/null`, timed from the spawn to the child's exit.
void BM_SharutilsUuencode(benchmark::State& state) {
  const std::string& path = Sample().path();
  std::string program = "uuencode";
  std::string name = "sample.bin";
  std::string file = path;
  char* argv[] = {program.data(), file.data(), name.data(), nullptr};
  for (auto _ : state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, "uuencode", &actions, nullptr, argv, environ);
    int status = 0;
    if (spawned == 0) ::waitpid(child, &status, 0);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("uuencode of sharutils failed to run");
      break;
    }
    state.SetIterationTime(elapsed.count());
  }
  state.SetBytesProcessed(state.iterations() * kFileBytes);
}

BENCHMARK(BM_UUEncodeFile)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SharutilsUuencode)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// The console report, keeping every repetition's time for the summary at the end.
class TimeKeepingReporter : public benchmark::ConsoleReporter {
 public:
  TimeKeepingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Color : OO_None) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
      seconds_[run.run_name.function_name].push_back(run.real_accumulated_time /
                                                     static_cast<double>(run.iterations));
    }
    ConsoleReporter::ReportRuns(reports);
  }

  // The seconds of a benchmark's repetitions in increasing order; empty when it did not run.
  std::vector<double> Sorted(const std::string& name) const {
    const auto it = seconds_.find(name);
    if (it == seconds_.end()) return {};
    std::vector<double> sorted = it->second;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }

 private:
  std::map<std::string, std::vector<double>> seconds_;
};

void PrintLine(const char* label, const std::vector<double>& sorted) {
  const double megabytes = static_cast<double>(kFileBytes) / 1e6;
  const double best = sorted.front();
  const double median = sorted[sorted.size() / 2];
  fmt::print("  {:<20} best {:7.1f} ms {:7.1f} MB/s   median {:7.1f} ms {:7.1f} MB/s\n", label,
             best * 1e3, megabytes / best, median * 1e3, megabytes / median);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TimeKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const std::vector<double> ours = reporter.Sorted("BM_UUEncodeFile");
  const std::vector<double> theirs = reporter.Sorted("BM_SharutilsUuencode");
  if (ours.empty() || theirs.empty()) return 0;  // Filtered out or failed: nothing to compare.
  fmt::print("\n{} runs each on {} MiB of random bytes:\n", kRepetitions, kFileBytes >> 20);
  PrintLine("UUEncodeFile", ours);
  PrintLine("sharutils uuencode", theirs);
  fmt::print("  time ratio ours/theirs, best to best: {:.3f} (bar: <= 0.5)\n",
             ours.front() / theirs.front());
  return 0;
}
