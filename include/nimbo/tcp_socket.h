// nimbo::TcpSocket: the socket control on a real TCP connection, for the command-line, web and
// graphical hosts. Every notification runs on the host's thread, in one of two modes:
//  - Polled (the default constructor): the socket has no thread of its own. The host runs its
//    event loop (Poll, RunFor) on the host's thread, and notifications run inside those calls.
//  - Posted (the constructor taking a Poster): the socket runs its I/O on a thread of its own and
//    hands every notification to the poster, which queues it onto the host's event loop
//    (asio::post onto the host's io_context, a queued invocation in a widget toolkit). Poll and
//    RunFor do nothing. A notification that finds its connection closed or replaced by the time
//    it runs (Close, Connect, the socket destroyed) is dropped.
//
// [X] Connect: resolves the host name and connects, both asynchronously.
// [X] GetData: moves everything received so far to the caller.
// [X] SendData: queues bytes for sending, sent in call order.
// [X] Close: drops the connection and anything still queued; no notification follows.
// [X] Notifications: connected, data arrival (byte count), error (number, description), closed
//     by the peer. After an error the socket is closed.
// [X] A deadline per connection (SetDeadline), reported as the error 10060.
// [ ] Listening, UDP, binding a local port.
//
// Error numbers are those of the classic socket control where one exists (10060 timed out,
// 10061 refused, 11001 host not found, ...), otherwise the system's error number; the
// description is the system's message.
// Thread-safety: the members are called on one thread, the host's, which is also where every
// notification runs. In posted mode the socket's own I/O thread never runs host code.
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
  // the socket, including Close and Connect, and may destroy it.
  struct Notifications {
    std::function<void()> connected;
    // Data arrived; `bytesTotal` is what GetData would now return, in bytes (never 0).
    std::function<void(std::int32_t bytesTotal)> data_arrival;
    // The connection could not be made, broke or passed its deadline; the socket is closed when
    // this runs.
    std::function<void(std::int16_t number, const std::string& description)> error;
    // The peer closed the connection; the socket is closed when this runs. Received data
    // stays readable through GetData.
    std::function<void()> closed;
  };

  // Hands one notification to the host's event loop, to be called there later. It is called on
  // the socket's I/O thread; it must queue the call and return, never run it or wait for the
  // host's thread, and must not throw.
  using Poster = std::function<void(std::function<void()> notification)>;

  enum class State { kClosed, kConnecting, kConnected };

  // Polled mode.
  TcpSocket();
  // Posted mode: starts the socket's I/O thread. Raises nimbo::Error 5 when `post` is empty.
  // `post` (and whatever it queues onto) must stay usable until the socket is destroyed.
  explicit TcpSocket(Poster post);
  // Closes the connection (no notification follows) and, in posted mode, stops and joins the
  // I/O thread. Notifications still queued in the host's loop are dropped when they run.
  ~TcpSocket() override;

  // Replaces the notifications.
  void SetNotifications(Notifications notifications);

  // Socket. Connect raises nimbo::Error 40020 unless the socket is closed, and 5 for a port
  // outside 1 to 65535. SendData raises 40006 while no connection is being made or open; bytes
  // sent while connecting go out once connected.
  void Connect(const std::string& host, std::int32_t port) override;
  void GetData(std::string& data) override;
  void SendData(const std::string& data) override;
  void Close() override;

  // Ends the connection being made or open at `when`, if it has not ended by then: the socket
  // closes and delivers the error notification 10060 "Connection timed out". The deadline
  // belongs to that one connection: a later SetDeadline replaces it (time_point::max() for
  // none); it is spent when it fires and cleared when the connection ends any other way (Close,
  // an error, the peer closing). While the socket is closed there is nothing to time out and
  // the call does nothing, so a Connect starts without a deadline.
  void SetDeadline(std::chrono::steady_clock::time_point when);

  // The host's view: kConnected from the connected notification on, kClosed from the error or
  // closed notification (or Close) on.
  State state() const;
  // Whether the last connection ended at its deadline; false again once Connect is called.
  bool timed_out() const;

  // The event loop of polled mode, run by the host's thread. Poll runs the handlers that are
  // ready without waiting; RunFor waits up to `duration` and returns as soon as at least one
  // handler ran (or the time is up). Both return the number of handlers run. In posted mode
  // both return 0 at once.
  std::size_t Poll();
  std::size_t RunFor(std::chrono::milliseconds duration);

 private:
  class Core;
  std::shared_ptr<Core> core_;  // shared with the notifications queued in the host's loop
};

}  // namespace nimbo

#endif  // NIMBO_TCP_SOCKET_H_
