// nimbo::TcpSocket: the socket control on a real TCP connection, for the command-line and web
// hosts. It has no thread of its own: the host runs its event loop (Poll, RunFor) on the host's
// thread, and every notification is delivered from inside those calls, on that thread.
//
// [X] Connect: resolves the host name and connects, both asynchronously.
// [X] GetData: moves everything received so far to the caller.
// [X] SendData: queues bytes for sending, sent in call order.
// [X] Close: drops the connection and anything still queued; no notification follows.
// [X] Notifications: connected, data arrival (byte count), error (number, description), closed
//     by the peer. After an error the socket is closed.
// [ ] Listening, UDP, binding a local port.
//
// Error numbers are those of the classic socket control where one exists (10060 timed out,
// 10061 refused, 11001 host not found, ...), otherwise the system's error number; the
// description is the system's message.
// Thread-safety: not thread-safe; one thread, the host's.
#ifndef NIMBO_TCP_SOCKET_H_
#define NIMBO_TCP_SOCKET_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "nimbo/export.h"
#include "nimbo/socket.h"

namespace nimbo {

class NIMBO_API TcpSocket : public Socket {
 public:
  // What the host hears. Each may be empty (not listened to). A handler may call any member of
  // the socket, including Close and Connect.
  struct Notifications {
    std::function<void()> connected;
    // Data arrived; `bytesTotal` is what GetData would now return, in bytes.
    std::function<void(std::int32_t bytesTotal)> data_arrival;
    // The connection could not be made or broke; the socket is closed when this runs.
    std::function<void(std::int16_t number, const std::string& description)> error;
    // The peer closed the connection; the socket is closed when this runs. Received data
    // stays readable through GetData.
    std::function<void()> closed;
  };

  enum class State { kClosed, kConnecting, kConnected };

  TcpSocket();
  ~TcpSocket() override;  // closes the connection; no notification follows

  // Replaces the notifications.
  void SetNotifications(Notifications notifications);

  // Socket. Connect raises nimbo::Error 40020 unless the socket is closed, and 5 for a port
  // outside 1 to 65535. SendData raises 40006 while no connection is being made or open; bytes
  // sent while connecting go out once connected.
  void Connect(const std::string& host, std::int32_t port) override;
  void GetData(std::string& data) override;
  void SendData(const std::string& data) override;
  void Close() override;

  State state() const;

  // The event loop, run by the host's thread. Poll runs the handlers that are ready without
  // waiting; RunFor waits up to `duration` and returns as soon as at least one handler ran (or
  // the time is up). Both return the number of handlers run.
  std::size_t Poll();
  std::size_t RunFor(std::chrono::milliseconds duration);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nimbo

#endif  // NIMBO_TCP_SOCKET_H_
