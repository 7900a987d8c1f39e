// A component set up to mail: an application folder, a tree with its root selected, a headless
// browser, the real TCP socket (polled, or posted to a host queue run by the test's thread) wired
// to the component, and mail properties.
#ifndef NIMBO_TESTS_TESTING_MAIL_FIXTURE_H_
#define NIMBO_TESTS_TESTING_MAIL_FIXTURE_H_

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "control/control_access.h"
#include "nimbo/container.h"
#include "nimbo/headless_browser.h"
#include "nimbo/mail_wiring.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"
#include "nimbo/tcp_socket.h"
#include "testing/browser_fixture.h"
#include "testing/host_queue.h"
#include "testing/mail_servers.h"
#include "testing/test_support.h"

namespace nimbo::testing {

// The event log, also noting the threads the socket's notifications reached the host on.
class MailEventLog : public EventLog {
 public:
  void NimboMessage(const std::string& text) override {
    threads.insert(std::this_thread::get_id());
    EventLog::NimboMessage(text);
  }
  std::set<std::thread::id> threads;
};

struct MailerUnderTest {
  explicit MailerUnderTest(SocketMode mode = SocketMode::kPolled)
      : socket_mode(mode),
        socket(mode == SocketMode::kPosted ? std::make_shared<TcpSocket>(queue.Poster())
                                           : std::make_shared<TcpSocket>()) {
    control.InitProperties();
    control.ApplicationFolder(folder.path().string());
    auto root = tree->Add();
    root->Text("Data Browser");
    root->Selected(true);
    control.SetControls(tree, browser);
    WireMailSocket(control, socket,
                   {.connected =
                        [this] {
                          events->threads.insert(std::this_thread::get_id());
                          events->lines.push_back("SocketConnected");
                        },
                    .closed =
                        [this] {
                          events->threads.insert(std::this_thread::get_id());
                          events->lines.push_back("SocketClosed");
                        }});
    control.CanMail(true);
    control.FromName("Ann");
    control.FromID("ann@example.org");
    control.ToName("Bob");
    control.ToID("bob@example.org");
    control.Subject("Report");
    control.Message("See below.");
  }

  // Mails to a loopback server and runs the conversation (see Run).
  MailOutcome MailTo(int port, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    control.Server("127.0.0.1:" + std::to_string(port));
    control.SendMail();
    return Run(limit);
  }

  // Runs the socket on this thread until the conversation has ended or `limit` has passed (then
  // the socket reports the time-out to the component), as a host of each mode does.
  MailOutcome Run(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    if (socket_mode == SocketMode::kPolled) return RunMailConversation(*socket, deadline);
    socket->SetDeadline(deadline);
    queue.RunUntil([this] { return socket->state() == TcpSocket::State::kClosed; },
                   limit + std::chrono::seconds(10));
    return socket->timed_out() ? MailOutcome::kTimedOut : MailOutcome::kEnded;
  }

  // The NimboMessage texts raised so far.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const auto& line : events->lines) {
      if (line.rfind("NimboMessage|", 0) == 0) messages.push_back(line.substr(13));
    }
    return messages;
  }

  const SocketMode socket_mode;
  // The queue outlives the component, which holds the socket that posts into it.
  HostQueue queue;
  TempDir folder;
  std::shared_ptr<MailEventLog> events = std::make_shared<MailEventLog>();
  Nimbo control{std::make_shared<RunTimeContainer>(), events};
  std::shared_ptr<MemoryTreeView> tree = std::make_shared<MemoryTreeView>();
  std::shared_ptr<HeadlessBrowser> browser = std::make_shared<HeadlessBrowser>();
  std::shared_ptr<TcpSocket> socket;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_MAIL_FIXTURE_H_
