// Mail wiring: what every host does to mail through nimbo::TcpSocket, offered once. WireMailSocket
// hands the socket to the component and forwards the socket's notifications to it (data
// arrivals to Nimbo::ProcessWSData, errors to Nimbo::HandleWSError), with hooks for what the host
// itself shows. RunMailConversation is the loop of a host that has no event loop of its own: it
// runs a polled socket until the conversation ends or its deadline passes.
//
// A host with an event loop makes the socket in posted mode, wires it, calls SendMail and sets
// the deadline (TcpSocket::SetDeadline) when the socket is connecting; its loop does the rest.
//
// Ownership: the socket holds the notifications, which refer to the component and hold the
// hooks. The component must outlive the socket's last connection (close the socket before
// destroying the component), and the hooks must not hold the socket.
// Thread-safety: one thread, the host's, like the component.
#ifndef NIMBO_MAIL_WIRING_H_
#define NIMBO_MAIL_WIRING_H_

#include <chrono>
#include <functional>
#include <memory>

#include "nimbo/error.h"
#include "nimbo/export.h"
#include "nimbo/nimbo.h"
#include "nimbo/tcp_socket.h"

namespace nimbo {

// What the host hears besides the component. Each may be empty (and left out of a designated
// initializer).
struct MailSocketHooks {
  std::function<void()> connected{};  // the connection to the mail server is open
  std::function<void()> closed{};     // the server closed the connection (after the component
                                      // has told the user how the mail ended)
  // An Error the component raised while handling a notification (the socket's, or the host's
  // events raising). Empty: the Error propagates out of the notification, that is out of
  // Poll/RunFor/RunMailConversation in polled mode and out of the host's loop in posted mode.
  std::function<void(const Error&)> failed{};
};

// Replaces the socket's notifications with the component's handlers and the hooks, and hands
// the socket to the component (SetWinSock).
NIMBO_API void WireMailSocket(Nimbo& control, const std::shared_ptr<TcpSocket>& socket,
                              MailSocketHooks hooks = {});

// For hosts that wire another socket themselves: the server closed the connection before the
// conversation ended. The component closes its socket when a conversation ends, so the peer
// closing it first always leaves the user waiting for an outcome; this tells the user it was
// lost.
NIMBO_API void MailSocketClosed(Nimbo& control);

enum class MailOutcome {
  kEnded,     // the socket closed: the conversation is over, however it went
  kTimedOut,  // the deadline passed first: the socket closed and reported 10060
};

// For a polled socket (the default constructor) wired with WireMailSocket, after SendMail: sets
// the socket's deadline and runs its event loop on this thread until the socket is closed. A
// deadline that passes ends the connection, so the component hears 10060 "Connection timed out"
// through the wiring, even from a server that keeps talking. Returns at once when the socket is
// closed (SendMail refused or failed to start).
NIMBO_API MailOutcome RunMailConversation(TcpSocket& socket,
                                          std::chrono::steady_clock::time_point deadline);

}  // namespace nimbo

#endif  // NIMBO_MAIL_WIRING_H_
