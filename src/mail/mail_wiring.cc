// The socket-to-component wiring of report mail, shared by every host.
#include "nimbo/mail_wiring.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "control/control_access.h"
#include "mail/smtp_conversation.h"

namespace nimbo {
namespace {

// Runs one of the component's handlers; an Error it raises goes to `failed` when the host
// listens for it.
template <typename Handler>
void Guarded(const std::function<void(const Error&)>& failed, Handler&& handler) {
  if (!failed) return handler();
  try {
    handler();
  } catch (const Error& e) {
    failed(e);
  }
}

}  // namespace

void WireMailSocket(Nimbo& control, const std::shared_ptr<TcpSocket>& socket,
                    MailSocketHooks hooks) {
  // The component by reference and never the socket: the socket holds these functions.
  socket->SetNotifications({
      .connected = std::move(hooks.connected),
      .data_arrival =
          [&control, failed = hooks.failed](std::int32_t bytes) {
            Guarded(failed, [&] { control.ProcessWSData(bytes); });
          },
      .error =
          [&control, failed = hooks.failed](std::int16_t number, const std::string& description) {
            Guarded(failed, [&] { control.HandleWSError(number, description); });
          },
      // The component closes the socket itself when the conversation ends, so the peer closing
      // it first always leaves the user waiting for an outcome.
      .closed =
          [&control, failed = hooks.failed, closed = std::move(hooks.closed)] {
            Guarded(failed, [&] { MailSocketClosed(control); });
            if (closed) closed();
          },
  });
  control.SetWinSock(socket);
}

void MailSocketClosed(Nimbo& control) { MailConnectionLost(StateOf(control)); }

MailOutcome RunMailConversation(TcpSocket& socket, std::chrono::steady_clock::time_point deadline) {
  using std::chrono::milliseconds;
  socket.SetDeadline(deadline);
  while (socket.state() != TcpSocket::State::kClosed) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= left.zero()) {
      // The deadline's timer is ready; Poll runs it even behind data that keeps arriving. Armed
      // again in case a handler replaced the connection, which took the deadline with it.
      socket.Poll();
      socket.SetDeadline(deadline);
    } else {
      // Short turns, so the deadline is looked at again soon whatever the socket does.
      socket.RunFor(std::min(std::chrono::ceil<milliseconds>(left), milliseconds(200)));
    }
  }
  return socket.timed_out() ? MailOutcome::kTimedOut : MailOutcome::kEnded;
}

}  // namespace nimbo
