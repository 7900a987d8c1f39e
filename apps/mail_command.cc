// nimbo mail: renders as nimbo render does, then mails the shown page over a real TCP
// connection and runs the socket until the conversation ends or the time is up (then the
// component hears the socket's time-out, 10060).
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "browser_session.h"
#include "command_errors.h"
#include "commands.h"
#include "nimbo/error.h"
#include "nimbo/mail_wiring.h"
#include "nimbo/tcp_socket.h"

namespace nimbo::app {
namespace {

constexpr char kSent[] = "Message Sent Successfully.";

struct MailOptions {
  SessionOptions session;
  WalkOptions walk;
  std::string server;
  std::string from, from_name, to, to_name, reply_to, reply_to_name, subject, message;
  double timeout = 60;
  bool can_mail = true;
};

int RunMail(const MailOptions& options) {
  try {
    BrowserSession session(options.session, std::cout);
    Nimbo& control = session.control();
    if (!session.RefreshAndWalk(options.walk, "mail")) return kExitUsage;

    bool sent = false;
    session.SetMessageListener([&sent](const std::string& message) {
      if (message == kSent) sent = true;
    });
    control.CanMail(options.can_mail);
    control.Server(options.server);
    control.FromName(options.from_name);
    control.FromID(options.from);
    control.ToName(options.to_name);
    control.ToID(options.to);
    control.ReplyToName(options.reply_to_name);
    control.ReplyToID(options.reply_to);
    control.Subject(options.subject);
    control.Message(options.message);

    auto socket = std::make_shared<TcpSocket>();
    MailSocketHooks hooks;
    hooks.connected = [] { EmitJson(std::cout, {{"event", "SocketConnected"}}); };
    hooks.closed = [] { EmitJson(std::cout, {{"event", "SocketClosed"}}); };
    WireMailSocket(control, socket, std::move(hooks));
    control.SendMail();

    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(std::max(options.timeout, 0.0)));
    if (RunMailConversation(*socket, deadline) == MailOutcome::kTimedOut) {
      EmitJson(std::cout, {{"event", "Timeout"}, {"seconds", options.timeout}});
      std::cerr << "nimbo mail: the conversation did not end within " << options.timeout
                << " seconds; connection closed\n";
    }
    return sent ? kExitOk : kExitFailure;
  } catch (const Error& e) {
    PrintError(std::cerr, "nimbo mail: ", "nimbo mail: ", e);
    return kExitFailure;
  } catch (const std::exception& e) {
    std::cerr << "nimbo mail: " << e.what() << "\n";
    return kExitUsage;
  }
}

}  // namespace

void AddMailCommand(CLI::App& app, std::function<int()>& run) {
  auto options = std::make_shared<MailOptions>();
  CLI::App* cmd = app.add_subcommand(
      "mail", "Render as nimbo render does, then mail the shown page through an SMTP server");
  AddSessionOptions(*cmd, options->session);
  AddPageCommandOptions(*cmd, options->session);
  AddWalkOptions(*cmd, options->walk);
  cmd->add_option("--server", options->server, "Mail server, HOST or HOST:PORT (port 25)");
  cmd->add_option("--from", options->from, "Sender's address (FromID)");
  cmd->add_option("--from-name", options->from_name, "Sender's name (FromName)");
  cmd->add_option("--to", options->to, "Recipient's address (ToID)");
  cmd->add_option("--to-name", options->to_name, "Recipient's name (ToName)");
  cmd->add_option("--reply-to", options->reply_to, "Reply-to address (ReplyToID)");
  cmd->add_option("--reply-to-name", options->reply_to_name, "Reply-to name (ReplyToName)");
  cmd->add_option("--subject", options->subject, "Subject");
  cmd->add_option("--message", options->message, "Message text before the attachments");
  cmd->add_option("--timeout", options->timeout,
                  "Seconds to wait for the conversation to end (then close)")
      ->capture_default_str();
  cmd->add_option("--can-mail", options->can_mail,
                  "CanMail: whether the user may mail (true|false)")
      ->capture_default_str();
  cmd->callback([&run, options] { run = [options] { return RunMail(*options); }; });
}

}  // namespace nimbo::app
