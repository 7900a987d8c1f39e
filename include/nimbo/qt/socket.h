// nimbo::qt::Socket: the component's socket control on a QTcpSocket. Its notifications arrive
// through Qt's own event loop, as signals on the GUI thread; nothing polls.
//
// [X] Connect (host name lookup included), GetData, SendData (queued, sent in order, also while
//     connecting), Close (drops the connection; no notification follows).
// [X] Signals: connected, dataArrival (bytes waiting for GetData), error (classic number and a
//     description; the socket is closed when it is emitted), closed by the peer.
// [X] A deadline per connection (SetDeadline), reported as the error 10060
//     "Connection timed out".
// [X] At most kMaxPending bytes wait for GetData; more ends the connection with error 10055.
//
// Error numbers follow the classic control: 10061 refused, 11001 host not found, 10060 timed
// out, 10054 reset by the peer, 10065 host unreachable, 10013 access denied, 10055 no buffer
// space, 10040 any other failure. The description is Qt's message ("Connection refused"), or
// "Connection timed out" for the deadline and "No buffer space available" for the cap. Qt reports
// a connection the peer reset while it was open as the remote host closing it, so that ends
// with `closed` (data received before stays readable), like an orderly close.
// Connect raises nimbo::Error 40020 unless the socket is closed and 5 for a port outside 1 to
// 65535; SendData raises 40006 while no connection is being made or open.
// A handler may call any member, Close and Connect included, and may destroy the socket.
// Only the GUI thread calls it.
#ifndef NIMBO_QT_SOCKET_H_
#define NIMBO_QT_SOCKET_H_

#include <QObject>
#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "nimbo/qt/export.h"
#include "nimbo/socket.h"

namespace nimbo::qt {

class NIMBO_QT_API Socket : public QObject, public nimbo::Socket {
  Q_OBJECT

 public:
  static constexpr std::size_t kMaxPending = 16 * 1024 * 1024;
  enum class State { kClosed, kConnecting, kConnected };

  explicit Socket(QObject* parent = nullptr);
  ~Socket() override;

  // nimbo::Socket.
  void Connect(const std::string& host, std::int32_t port) override;
  void GetData(std::string& data) override;
  void SendData(const std::string& data) override;
  void Close() override;

  // Ends the connection being made or open at `when` unless it ends first (see nimbo::TcpSocket).
  void SetDeadline(std::chrono::steady_clock::time_point when);
  State state() const;
  bool timed_out() const;

 Q_SIGNALS:
  void connected();
  void dataArrival(std::int32_t bytesTotal);
  void error(std::int16_t number, const QString& description);
  void closed();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nimbo::qt

#endif  // NIMBO_QT_SOCKET_H_
