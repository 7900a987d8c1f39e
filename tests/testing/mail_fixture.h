// A component set up to mail: an application folder, a tree with its root selected, a headless
// browser, the real TCP socket wired to ProcessWSData and HandleWSError, and mail properties.
#ifndef NIMBO_TESTS_TESTING_MAIL_FIXTURE_H_
#define NIMBO_TESTS_TESTING_MAIL_FIXTURE_H_

#include <memory>
#include <string>

#include "control/control_access.h"
#include "nimbo/container.h"
#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"
#include "nimbo/tcp_socket.h"
#include "testing/browser_fixture.h"
#include "testing/mail_servers.h"
#include "testing/test_support.h"

namespace nimbo::testing {

struct MailerUnderTest {
  MailerUnderTest() {
    control.InitProperties();
    control.ApplicationFolder(folder.path().string());
    auto root = tree->Add();
    root->Text("Data Browser");
    root->Selected(true);
    control.SetControls(tree, browser);
    socket->SetNotifications({
        .connected = {},
        .data_arrival = [this](std::int32_t bytes) { control.ProcessWSData(bytes); },
        .error =
            [this](std::int16_t number, const std::string& description) {
              std::string text = description;
              control.HandleWSError(number, text);
            },
        .closed = [this] { events->lines.push_back("SocketClosed"); },
    });
    control.SetWinSock(socket);
    control.CanMail(true);
    control.FromName("Ann");
    control.FromID("ann@example.org");
    control.ToName("Bob");
    control.ToID("bob@example.org");
    control.Subject("Report");
    control.Message("See below.");
  }

  // Mails to a loopback server and runs the socket until the conversation has ended.
  void MailTo(int port) {
    control.Server("127.0.0.1:" + std::to_string(port));
    control.SendMail();
    RunUntilClosed(*socket);
  }

  // The NimboMessage texts raised so far.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const auto& line : events->lines) {
      if (line.rfind("NimboMessage|", 0) == 0) messages.push_back(line.substr(13));
    }
    return messages;
  }

  TempDir folder;
  std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
  Nimbo control{std::make_shared<RunTimeContainer>(), events};
  std::shared_ptr<MemoryTreeView> tree = std::make_shared<MemoryTreeView>();
  std::shared_ptr<HeadlessBrowser> browser = std::make_shared<HeadlessBrowser>();
  std::shared_ptr<TcpSocket> socket = std::make_shared<TcpSocket>();
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_MAIL_FIXTURE_H_
