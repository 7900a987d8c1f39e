// A Qt host's container and the mail wiring of nimbo::qt::Socket.
#include "nimbo/qt/host.h"

#include <QCoreApplication>
#include <QPointer>
#include <exception>
#include <string>
#include <utility>

#include "nimbo/mail_wiring.h"

namespace nimbo::qt {
namespace {

// Runs a handler of the component inside a Qt slot: nothing may escape it. An Error goes to the
// host's hook (if any); any other exception is turned into one.
template <typename Work>
void Guarded(const std::function<void(const Error&)>& failed, Work&& work) noexcept {
  try {
    try {
      work();
    } catch (const Error& error) {
      if (failed) failed(error);
    } catch (const std::exception& error) {
      if (failed) failed(Error(err::kInvalidCall, error.what()));
    }
  } catch (...) {
    // A hook that throws has nowhere to go from a slot.
  }
}

}  // namespace

void Container::PropertyChanged(std::string_view name) {
  if (property_changed_) property_changed_(name);
}

void Container::DoEvents() { QCoreApplication::processEvents(); }

void Container::SetPropertyChangedListener(std::function<void(std::string_view)> listener) {
  property_changed_ = std::move(listener);
}

void WireMailSocket(Nimbo& control, const std::shared_ptr<Socket>& socket, MailSocketHooks hooks) {
  Socket* raw = socket.get();
  // The socket is the connections' context: they go with it.
  QObject::disconnect(raw, nullptr, raw, nullptr);
  // Called after each notification: once the socket is closed the conversation is over, however
  // it ended (the component closing it, an error, the peer).
  auto ended = [raw, closed = hooks.closed](const QPointer<Socket>& alive) {
    if (closed && (!alive || raw->state() == Socket::State::kClosed)) {
      try {
        closed();
      } catch (...) {
      }
    }
  };
  QObject::connect(raw, &Socket::connected, raw, [connected = hooks.connected] {
    if (connected) Guarded({}, connected);
  });
  QObject::connect(raw, &Socket::dataArrival, raw,
                   [&control, raw, failed = hooks.failed, ended](std::int32_t total) {
                     const QPointer<Socket> alive(raw);
                     Guarded(failed, [&] { control.ProcessWSData(total); });
                     ended(alive);
                   });
  QObject::connect(raw, &Socket::error, raw,
                   [&control, raw, failed = hooks.failed, ended](std::int16_t number,
                                                                 const QString& description) {
                     const QPointer<Socket> alive(raw);
                     Guarded(failed,
                             [&] { control.HandleWSError(number, description.toStdString()); });
                     ended(alive);
                   });
  QObject::connect(raw, &Socket::closed, raw, [&control, raw, failed = hooks.failed, ended] {
    const QPointer<Socket> alive(raw);
    Guarded(failed, [&] { MailSocketClosed(control); });
    ended(alive);
  });
  control.SetWinSock(socket);
}

void StartMail(Nimbo& control, Socket& socket, std::chrono::seconds timeout) {
  control.SendMail();
  if (socket.state() != Socket::State::kClosed) {
    socket.SetDeadline(std::chrono::steady_clock::now() + timeout);
  }
}

}  // namespace nimbo::qt
