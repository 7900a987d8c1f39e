// nimbo::qt::Socket on QTcpSocket. Each connection has a QTcpSocket of its own; Close and the end
// of a connection cut it loose (its signals disconnected) so that nothing of an old connection
// reaches the host. A handler may close or destroy the socket from inside a signal: the
// QTcpSocket whose signal is being delivered is then deleted later, never under its own feet,
// and the adapter returns at once when it finds itself gone.
#include "nimbo/qt/socket.h"

#include <QAbstractSocket>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "nimbo/error.h"

namespace nimbo::qt {
namespace {

constexpr int kWrongState = 40006;    // sending with no connection
constexpr int kInvalidState = 40020;  // connecting a socket that is in use
constexpr std::int16_t kTimedOut = 10060;
constexpr std::int16_t kNoBufferSpace = 10055;

std::int16_t NumberOf(QAbstractSocket::SocketError error, const QString& text) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return 10061;
    case QAbstractSocket::HostNotFoundError:
      return 11001;
    case QAbstractSocket::SocketTimeoutError:
      return 10060;
    case QAbstractSocket::SocketAccessError:
      return 10013;
    case QAbstractSocket::SocketResourceError:
      return 10055;
    case QAbstractSocket::NetworkError:
      // Qt folds reset, unreachable and the rest of the network failures into one; its
      // message tells them apart.
      if (text.contains(QLatin1String("reset"), Qt::CaseInsensitive)) return 10054;
      if (text.contains(QLatin1String("unreachable"), Qt::CaseInsensitive)) return 10065;
      return 10040;
    default:
      return 10040;
  }
}

}  // namespace

class Socket::Impl {
 public:
  explicit Impl(Socket* owner) : owner_(owner) {
    deadline_ = new QTimer();
    deadline_->setSingleShot(true);
    deadline_->setTimerType(Qt::PreciseTimer);
    QObject::connect(deadline_, &QTimer::timeout, owner_, [this] { DeadlinePassed(); });
  }

  ~Impl() {
    Drop();
    Dispose(deadline_);
  }

  void Connect(const std::string& host, std::int32_t port) {
    if (state_ != State::kClosed) throw Error(kInvalidState, "Invalid operation at current state");
    if (port < 1 || port > 65535) {
      throw Error::WithDetail(err::kInvalidCall,
                              "Port " + std::to_string(port) + " is outside 1 to 65535");
    }
    Drop();
    inbox_.clear();
    outbox_.clear();
    timed_out_ = false;
    state_ = State::kConnecting;
    socket_ = new QTcpSocket();
    QTcpSocket* socket = socket_;
    QObject::connect(socket, &QTcpSocket::connected, owner_, [this, socket] {
      Dispatch dispatch(*this);
      Connected(socket);
    });
    QObject::connect(socket, &QTcpSocket::readyRead, owner_, [this, socket] {
      Dispatch dispatch(*this);
      Read(socket);
    });
    QObject::connect(socket, &QTcpSocket::errorOccurred, owner_,
                     [this, socket](QAbstractSocket::SocketError error) {
                       Dispatch dispatch(*this);
                       Failed(socket, error);
                     });
    QObject::connect(socket, &QTcpSocket::disconnected, owner_, [this, socket] {
      Dispatch dispatch(*this);
      PeerClosed(socket);
    });
    socket->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
  }

  void GetData(std::string& data) {
    data = std::move(inbox_);
    inbox_.clear();
  }

  void SendData(const std::string& data) {
    if (state_ == State::kClosed) {
      throw Error(kWrongState,
                  "Wrong protocol or connection state for the requested transaction or request");
    }
    if (state_ == State::kConnecting) {
      outbox_ += data;  // goes out once connected
      return;
    }
    socket_->write(data.data(), static_cast<qint64>(data.size()));
  }

  void Close() {
    state_ = State::kClosed;
    Drop();
  }

  void SetDeadline(std::chrono::steady_clock::time_point when) {
    if (state_ == State::kClosed) return;
    if (when == std::chrono::steady_clock::time_point::max()) {
      deadline_->stop();
      return;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        when - std::chrono::steady_clock::now());
    const auto clamped = std::clamp<std::chrono::milliseconds::rep>(
        left.count(), 0, std::numeric_limits<int>::max());
    deadline_->start(static_cast<int>(clamped));
  }

  State state() const { return state_; }
  bool timed_out() const { return timed_out_; }

  // While a signal of a QTcpSocket or the deadline is being delivered. The count outlives the
  // adapter, which a handler may destroy while the signal is delivered.
  class Dispatch {
   public:
    explicit Dispatch(const Impl& impl) : depth_(impl.dispatching_) { ++*depth_; }
    ~Dispatch() { --*depth_; }
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

   private:
    std::shared_ptr<int> depth_;
  };

  Socket* owner_;
  std::shared_ptr<int> dispatching_ = std::make_shared<int>(0);

 private:
  // Deletes an object now, or later when one of its own signals may be on the stack.
  void Dispose(QObject* object) const {
    if (object == nullptr) return;
    if (*dispatching_ > 0) {
      object->deleteLater();
    } else {
      delete object;
    }
  }

  // Cuts the connection's socket loose: nothing of it reaches the host any more.
  void Drop() {
    deadline_->stop();
    if (socket_ == nullptr) return;
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    QObject::disconnect(socket, nullptr, owner_, nullptr);
    socket->abort();
    Dispose(socket);
  }

  void Connected(QTcpSocket* socket) {
    if (socket != socket_ || state_ != State::kConnecting) return;
    state_ = State::kConnected;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // replies are small and awaited
    if (!outbox_.empty()) {
      socket->write(outbox_.data(), static_cast<qint64>(outbox_.size()));
      outbox_.clear();
    }
    const QPointer<Socket> alive(owner_);
    Q_EMIT owner_->connected();
    if (!alive) return;
    // Bytes that came with the connection.
    if (socket == socket_ && socket->bytesAvailable() > 0) Read(socket);
  }

  void Read(QTcpSocket* socket) {
    if (socket != socket_ || state_ == State::kClosed) return;
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty()) return;
    if (inbox_.size() + static_cast<std::size_t>(bytes.size()) > kMaxPending) {
      End(kNoBufferSpace, QStringLiteral("No buffer space available"), false);
      return;
    }
    inbox_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const auto total = static_cast<std::int32_t>(
        std::min<std::size_t>(inbox_.size(), std::numeric_limits<std::int32_t>::max()));
    Q_EMIT owner_->dataArrival(total);
  }

  void Failed(QTcpSocket* socket, QAbstractSocket::SocketError error) {
    if (socket != socket_ || state_ == State::kClosed) return;
    if (error == QAbstractSocket::RemoteHostClosedError) return PeerClosed(socket);
    const QString text = socket->errorString();
    End(NumberOf(error, text), text, false);
  }

  // The peer closed the connection: what it sent last is read first.
  void PeerClosed(QTcpSocket* socket) {
    if (socket != socket_ || state_ == State::kClosed) return;
    if (socket->bytesAvailable() > 0) {
      const QPointer<Socket> alive(owner_);
      Read(socket);
      if (!alive || socket != socket_ || state_ == State::kClosed) return;
    }
    state_ = State::kClosed;
    Drop();
    Q_EMIT owner_->closed();
  }

  void DeadlinePassed() {
    if (state_ == State::kClosed) return;
    Dispatch dispatch(*this);
    End(kTimedOut, QStringLiteral("Connection timed out"), true);
  }

  // The connection ends on this side with an error; the socket is closed when it is reported.
  void End(std::int16_t number, const QString& description, bool deadline) {
    state_ = State::kClosed;
    timed_out_ = deadline;
    Drop();
    Q_EMIT owner_->error(number, description);
  }

  QTcpSocket* socket_ = nullptr;
  QTimer* deadline_ = nullptr;
  State state_ = State::kClosed;
  bool timed_out_ = false;
  std::string inbox_;
  std::string outbox_;  // what was sent while connecting
};

Socket::Socket(QObject* parent) : QObject(parent), impl_(std::make_unique<Impl>(this)) {}

Socket::~Socket() = default;

void Socket::Connect(const std::string& host, std::int32_t port) { impl_->Connect(host, port); }
void Socket::GetData(std::string& data) { impl_->GetData(data); }
void Socket::SendData(const std::string& data) { impl_->SendData(data); }
void Socket::Close() { impl_->Close(); }
void Socket::SetDeadline(std::chrono::steady_clock::time_point when) { impl_->SetDeadline(when); }
Socket::State Socket::state() const { return impl_->state(); }
bool Socket::timed_out() const { return impl_->timed_out(); }

}  // namespace nimbo::qt
