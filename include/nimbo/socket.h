// The host's TCP socket control, as the mail conversation uses it. The host forwards the
// socket's notifications to the component: data arrivals to Nimbo::ProcessWSData and errors to
// Nimbo::HandleWSError (nimbo/mail_wiring.h does it for nimbo::TcpSocket).
// Thread-safety: only the host's user-interface thread calls these, and notifications reach
// the host on that thread.
#ifndef NIMBO_SOCKET_H_
#define NIMBO_SOCKET_H_

#include <cstdint>
#include <string>

#include "nimbo/export.h"

namespace nimbo {

class NIMBO_API Socket {
 public:
  virtual ~Socket() = default;
  Socket() = default;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Starts connecting; the outcome arrives later as data or as an error notification.
  // Raises nimbo::Error when the connection cannot even be started.
  virtual void Connect(const std::string& host, std::int32_t port) = 0;
  // Moves everything received so far into `data` (replacing its content).
  virtual void GetData(std::string& data) = 0;
  // Queues text for sending, in call order.
  virtual void SendData(const std::string& data) = 0;
  virtual void Close() = 0;
};

}  // namespace nimbo

#endif  // NIMBO_SOCKET_H_
