// Mailing a report page with 10 MB of attachments to a loopback aiosmtpd server, side by side
// with Python's smtplib sending the same message bytes to the same server.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "mail/uuencode.h"
#include "nimbo/container.h"
#include "nimbo/events.h"
#include "nimbo/headless_browser.h"
#include "nimbo/mail_wiring.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"
#include "nimbo/tcp_socket.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPageBytes = 2u << 20;     // the report page
constexpr std::size_t kPictureBytes = 8u << 20;  // pic1: 10 MB of attachments in all

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The folder with the attachments and the aiosmtpd sink (dropping what it receives); both live
// for the whole run.
class Setup {
 public:
  Setup() {
    folder_ = fs::temp_directory_path() / ("nimbo-mail-bench-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    std::mt19937 random(7);
    std::string page;
    while (page.size() < kPageBytes)
      page += "<tr><td>Customer " + std::to_string(random()) + "</td></tr>\r\n";
    page.resize(kPageBytes);
    std::string picture(kPictureBytes, '\0');
    for (char& c : picture) c = static_cast<char>(random());
    std::ofstream(folder_ / "oDatNav.htm", std::ios::binary) << page;
    std::ofstream(folder_ / "pic1", std::ios::binary) << picture;

    const fs::path port_file = folder_ / "port";
    std::string script = std::string(NIMBO_SOURCE_DIR) + "/tests/mail/smtp_sink.py";
    std::vector<std::string> args = {"/usr/bin/python3", script, port_file.string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&sink_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("cannot start the SMTP sink");
    }
    for (int i = 0; i < 1000 && !fs::exists(port_file); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    port_ = std::stoi(Slurp(port_file));
  }
  ~Setup() {
    kill(sink_, SIGTERM);
    int status = 0;
    waitpid(sink_, &status, 0);
    fs::remove_all(folder_);
  }

  const fs::path& folder() const { return folder_; }
  int port() const { return port_; }

 private:
  fs::path folder_;
  pid_t sink_ = 0;
  int port_ = 0;
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

class SentFlag : public nimbo::Events {
 public:
  void NimboMessage(const std::string& text) override {
    sent = text == "Message Sent Successfully.";
  }
  bool sent = false;
};

// Mode 0: the socket polled on this thread (as nimbo mail runs it). Mode 1: posted onto an
// io_context this thread runs (as the web host runs it), so the I/O thread's hand-over is in the
// time.
void BM_NimboSendMail(benchmark::State& state) {
  Setup& setup = TheSetup();
  const bool posted = state.range(0) == 1;
  for (auto _ : state) {
    // The loop outlives the component, which holds the socket that posts into it.
    asio::io_context host_loop;
    auto work = asio::make_work_guard(host_loop);
    auto events = std::make_shared<SentFlag>();
    nimbo::Nimbo control(std::make_shared<nimbo::RunTimeContainer>(), events);
    control.InitProperties();
    control.ApplicationFolder(setup.folder().string());
    auto tree = std::make_shared<nimbo::MemoryTreeView>();
    auto root = tree->Add();
    root->Text("Data Browser");
    root->Selected(true);
    control.SetControls(tree, std::make_shared<nimbo::HeadlessBrowser>());
    const nimbo::TcpSocket::Poster post = [&host_loop](std::function<void()> call) {
      asio::post(host_loop, std::move(call));
    };
    auto socket =
        posted ? std::make_shared<nimbo::TcpSocket>(post) : std::make_shared<nimbo::TcpSocket>();
    nimbo::WireMailSocket(control, socket);
    control.CanMail(true);
    control.Server("127.0.0.1:" + std::to_string(setup.port()));
    control.FromName("Ann");
    control.FromID("ann@example.org");
    control.ToName("Bob");
    control.ToID("bob@example.org");
    control.Subject("Report");
    control.Message("See below.");
    control.SendMail();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    if (posted) {
      socket->SetDeadline(deadline);
      while (socket->state() != nimbo::TcpSocket::State::kClosed &&
             std::chrono::steady_clock::now() < deadline) {
        host_loop.run_one_for(std::chrono::milliseconds(100));
      }
    } else {
      nimbo::RunMailConversation(*socket, deadline);
    }
    if (!events->sent) state.SkipWithError("the mail was not sent");
  }
  state.SetBytesProcessed(state.iterations() * (kPageBytes + kPictureBytes));
}
BENCHMARK(BM_NimboSendMail)
    ->ArgName("posted")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3);

// smtplib sends the message the server receives from Nimbo (headers, text and the uuencoded
// attachments); the time is the script's own, from connecting to the reply to QUIT.
void BM_PythonSmtplib(benchmark::State& state) {
  Setup& setup = TheSetup();
  const fs::path message = setup.folder() / "message.txt";
  {
    std::string text =
        "From:Ann <ann@example.org>\r\nTo:Bob <bob@example.org>\r\n"
        "Subject:Report\r\n\r\nSee below.\r\n\r\n";
    for (const char* name : {"oDatNav.htm", "bg.jpg", "cbg.gif", "circle.gif", "chart.gif",
                             "minus.gif", "plus.gif", "pic1"}) {
      text += nimbo::UUEncodeFile((setup.folder() / name).string()) + "\r\n";
    }
    text += "\r\n\r\n";
    std::ofstream(message, std::ios::binary) << text;
  }
  const std::string command =
      "/usr/bin/python3 -c '\n"
      "import smtplib, sys, time\n"
      "data = open(sys.argv[1], \"rb\").read()\n"
      "t = time.perf_counter()\n"
      "s = smtplib.SMTP(\"127.0.0.1\", int(sys.argv[2]))\n"
      "s.helo(\"ann\")\n"
      "s.sendmail(\"ann@example.org\", [\"bob@example.org\"], data)\n"
      "s.quit()\n"
      "print(time.perf_counter() - t)\n' '" +
      message.string() + "' " + std::to_string(setup.port());
  for (auto _ : state) {
    FILE* pipe = popen(command.c_str(), "r");
    double seconds = -1;
    if (pipe == nullptr || std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
    if (pipe != nullptr) pclose(pipe);
    if (seconds < 0) {
      state.SkipWithError("smtplib failed");
      break;
    }
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(state.iterations() * (kPageBytes + kPictureBytes));
}
BENCHMARK(BM_PythonSmtplib)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
