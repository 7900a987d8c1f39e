// Report mailing: the permission check, the attachment text, and the connection to the server.
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "control/app_files.h"
#include "control/control_state.h"
#include "mail/uuencode.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"
#include "platform/text_util.h"

namespace nimbo {
namespace {

// The report page first, then the images it may use, then the last picture written.
constexpr std::array<std::string_view, 8> kAttachments = {
    "oDatNav.htm", "bg.jpg", "cbg.gif", "circle.gif", "chart.gif", "minus.gif", "plus.gif", "pic1"};

constexpr int kDefaultPort = 25;

// The host's socket (91 when the host has not handed one in).
Socket& WinSock(const ControlState& s) {
  if (!s.ws) throw Error(err::kObjectNotSet);
  return *s.ws;
}

// The name of the first mail value that holds a CR or LF, or nothing. Such a value would end a
// command or a header line early and let its rest pass as commands or headers of its own.
std::string_view ValueWithLineBreak(const ControlState& s) {
  const std::array<std::pair<std::string_view, const std::string*>, 7> values = {{
      {"FromID", &s.FromID},
      {"ToID", &s.ToID},
      {"ReplyToID", &s.ReplyToID},
      {"FromName", &s.FromName},
      {"ToName", &s.ToName},
      {"ReplyToName", &s.ReplyToName},
      {"Subject", &s.Subject},
  }};
  for (const auto& [name, value] : values) {
    if (value->find_first_of("\r\n") != std::string::npos) return name;
  }
  return {};
}

}  // namespace

void Nimbo::SendMail() {
  ControlState& s = *state_;
  if (!s.CanMail) {
    s.events->NimboMessage("Sorry! You are not authorised to E-Mail the Report");
  } else if (const std::string_view unsafe = ValueWithLineBreak(s); !unsafe.empty()) {
    s.events->NimboMessage("Cannot E-Mail the Report: " + std::string(unsafe) +
                           " contains a line break");
  } else {
    std::string mail_data;
    for (const std::string_view name : kAttachments) {
      mail_data += UUEncodeFile(AppFilePath(s, name));
      mail_data += "\r\n";
    }
    s.MailData = std::move(mail_data);

    const std::string_view server = TrimSpaces(s.Server);
    const auto colon = server.find(':');
    if (colon == std::string_view::npos) {
      WinSock(s).Connect(std::string(server), kDefaultPort);
    } else {
      const std::string port_text(server.substr(colon + 1));
      std::int32_t port = 0;
      try {
        port = Variant(port_text).ToLong();
      } catch (const Error& e) {
        throw Error::WithDetail(e.number(),
                                "The mail server's port \"" + port_text + "\" is not a number");
      }
      WinSock(s).Connect(std::string(server.substr(0, colon)), port);
    }
    s.MailStep = 0;
    s.mail_reply.clear();
  }
  s.events->LogIt("E-Mail",
                  "To:" + s.ToName + " <" + s.ToID + ">   " + SelectedNode(s)->FullPath());
}

}  // namespace nimbo
