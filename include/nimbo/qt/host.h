// What a Qt host needs besides the three controls: a container whose "let the host process
// pending events" runs Qt's event loop once, and the mail wiring of nimbo::qt::Socket.
#ifndef NIMBO_QT_HOST_H_
#define NIMBO_QT_HOST_H_

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

#include "nimbo/container.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"
#include "nimbo/qt/export.h"
#include "nimbo/qt/socket.h"

namespace nimbo::qt {

// A container on the GUI thread. UserMode is true unless set otherwise (a form being designed);
// PropertyChanged calls the host's listener, if any.
class NIMBO_QT_API Container : public nimbo::Container {
 public:
  bool UserMode() const override { return user_mode_; }
  void UserMode(bool value) { user_mode_ = value; }
  void PropertyChanged(std::string_view name) override;
  // QCoreApplication::processEvents: lets the window repaint and answer while a page is made.
  void DoEvents() override;
  void SetPropertyChangedListener(std::function<void(std::string_view)> listener);

 private:
  bool user_mode_ = true;
  std::function<void(std::string_view)> property_changed_;
};

// What the host hears of a mail conversation besides the component.
struct MailSocketHooks {
  std::function<void()> connected{};
  std::function<void()> closed{};  // the conversation is over, however it went
  // An Error the component raised while handling a notification; empty: it is dropped after
  // the component has reported it (a Qt slot cannot let an exception through).
  std::function<void(const Error&)> failed{};
};

// Connects the socket's signals to the component (dataArrival to ProcessWSData, error to
// HandleWSError, the peer closing to the component's lost-connection handling) and hands the
// socket to the component (SetWinSock). The component must outlive the socket's connections.
NIMBO_QT_API void WireMailSocket(Nimbo& control, const std::shared_ptr<Socket>& socket,
                                 MailSocketHooks hooks = {});

// Starts mailing the shown page: SendMail, then a deadline on the connection so that a silent
// server cannot hold the conversation open. The outcome arrives later, through the events.
// Raises what SendMail raises.
NIMBO_QT_API void StartMail(Nimbo& control, Socket& socket, std::chrono::seconds timeout);

}  // namespace nimbo::qt

#endif  // NIMBO_QT_HOST_H_
