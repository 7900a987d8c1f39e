// The SMTP conversation of report mail, driven by the server's replies as the host forwards
// the socket's data arrivals and errors.
#include "mail/smtp_conversation.h"

#include <string>
#include <string_view>
#include <utility>

#include "control/control_state.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"

namespace nimbo {
namespace {

Socket& WinSock(const ControlState& s) {
  if (!s.ws) throw Error(err::kObjectNotSet);
  return *s.ws;
}

std::string TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

// The name the client gives itself: the local part of the sender's address, the whole address
// when it has no "@", and "localhost" when that leaves nothing, since HELO needs a name.
std::string HeloName(const std::string& from_id) {
  std::string address = TrimSpaces(from_id);
  const auto at = address.find('@');
  if (at != std::string::npos) address.resize(at);
  return address.empty() ? std::string("localhost") : address;
}

// The end of the first complete reply in `received` (just past its last line's line end), or
// npos while it is still arriving. A line "250-..." announces that more lines of the reply
// follow. A line ends at LF, with or without the CR before it: servers that end lines with LF
// alone are still understood rather than waited on for ever.
std::size_t CompleteReplyEnd(std::string_view received) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t line_end = received.find('\n', start);
    if (line_end == std::string_view::npos) return std::string_view::npos;
    const std::size_t next = line_end + 1;
    if (line_end - start < 4 || received[start + 3] != '-') return next;
    start = next;
  }
}

// Ends the conversation on a reply that breaks the protocol (too long, or sent before its
// command): the socket is closed and the user sees what the server said, cut to the limit.
void ProtocolError(ControlState& s, std::string_view received) {
  std::string message = "SMTP Error: " + std::string(received.substr(0, kMaxMailReplyBytes));
  s.mail_reply.clear();  // `received` may be a view of it: used up above
  WinSock(s).Close();
  s.events->NimboMessage(message);
}

// Text for the data section: every line break becomes CR LF, so nothing on the wire ends a
// line any other way, and every line that begins with "." gets one more, so neither a text line
// of one "." nor a uuencoded line of 14 bytes (count character ".") is taken for the end of the
// data or loses its first character. `text` must begin at the start of a line.
std::string ForDataSection(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 64 + 8);
  // Each round starts at the beginning of a line.
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '.') out += '.';
    const std::size_t brk = text.find_first_of("\r\n", pos);
    if (brk == std::string_view::npos) {
      out.append(text.substr(pos));
      break;
    }
    out.append(text.substr(pos, brk - pos));
    out += "\r\n";
    pos = brk + (text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n' ? 2 : 1);
  }
  return out;
}

void SendMessage(ControlState& s) {
  Socket& ws = WinSock(s);
  ws.SendData(ForDataSection("From:" + s.FromName + " <" + s.FromID + ">\r\n"));
  ws.SendData(ForDataSection("To:" + s.ToName + " <" + s.ToID + ">\r\n"));
  if (s.ReplyToID.empty()) {
    ws.SendData(ForDataSection("Subject:" + s.Subject + "\r\n\r\n"));
  } else {
    ws.SendData(ForDataSection("Subject:" + s.Subject + "\r\n"));
    ws.SendData(ForDataSection("Reply-To:" + s.ReplyToName + " <" + s.ReplyToID + ">\r\n\r\n"));
  }
  ws.SendData(ForDataSection(s.Message + "\r\n\r\n"));
  std::string attachments = ForDataSection(s.MailData);
  attachments += "\r\n\r\n";
  ws.SendData(attachments);
  s.MailData.clear();
  ws.SendData(".\r\n");
}

bool IsGoodCode(std::string_view reply) {
  const std::string_view code = reply.substr(0, 3);
  return code == "220" || code == "250" || code == "354";
}

// Tells the user how a reply with a bad code ended the conversation. The server's closing reply
// to QUIT (221) is the one "bad" code that means success.
void ReportFinalReply(ControlState& s, const std::string& reply) {
  s.events->NimboMessage(s.MailStep == 6 ? std::string("Message Sent Successfully.")
                                         : "SMTP Error: " + reply);
}

// The user's text for a socket error.
std::string SocketErrorText(std::int16_t number, std::string_view description) {
  return "Winsock Error #: " + std::to_string(number) + "\r\n" + std::string(description);
}

// Acts on one complete reply. False once the conversation is over (the socket closed).
bool HandleReply(ControlState& s, const std::string& reply) {
  if (!IsGoodCode(reply)) {
    WinSock(s).Close();
    ReportFinalReply(s, reply);
    return false;
  }
  // The step advances before the send, so a failing send leaves the conversation a step ahead.
  switch (s.MailStep) {
    case 0:
      s.MailStep = 1;
      WinSock(s).SendData("HELO " + HeloName(s.FromID) + "\r\n");
      return true;
    case 1:
      s.MailStep = 2;
      WinSock(s).SendData("MAIL FROM:" + TrimSpaces(s.FromID) + "\r\n");
      return true;
    case 2:
      s.MailStep = 3;
      WinSock(s).SendData("RCPT TO:" + TrimSpaces(s.ToID) + "\r\n");
      return true;
    case 3:
      s.MailStep = 4;
      WinSock(s).SendData("DATA\r\n");
      return true;
    case 4:
      s.MailStep = 5;
      SendMessage(s);
      return true;
    case 5:
      s.MailStep = 6;
      WinSock(s).SendData("QUIT\r\n");
      return true;
    case 6:
      WinSock(s).Close();
      return false;
    default:
      return true;
  }
}

}  // namespace

void Nimbo::ProcessWSData(std::int32_t /*bytesTotal*/) {
  ControlState& s = *state_;
  std::string arrived;
  WinSock(s).GetData(arrived);
  s.mail_reply += arrived;
  const std::size_t end = CompleteReplyEnd(s.mail_reply);
  if (end == std::string::npos) {
    // A reply without end (an endless multi-line reply, bytes without a line break) must not
    // grow without limit: past the limit the server is not speaking SMTP.
    if (s.mail_reply.size() > kMaxMailReplyBytes) ProtocolError(s, s.mail_reply);
    return;
  }
  if (end > kMaxMailReplyBytes) return ProtocolError(s, s.mail_reply);
  const std::string reply = s.mail_reply.substr(0, end);
  s.mail_reply.erase(0, end);
  if (!HandleReply(s, reply)) {
    s.mail_reply.clear();  // whatever followed belongs to a conversation that has ended
    return;
  }
  // Every command waits for its own reply. Whatever came after this reply was sent before the
  // command that HandleReply just sent: a server that answers unread commands in advance would
  // otherwise have a mail it never read called sent.
  if (!s.mail_reply.empty()) ProtocolError(s, s.mail_reply);
}

void MailConnectionLost(ControlState& s) {
  // A reply the closing cut short (no line end) is judged as it stands: the server's last word
  // may be its closing 221 or a refusal. It is within the reply limit, or it would have ended
  // the conversation already.
  if (!s.mail_reply.empty()) {
    const std::string reply = std::exchange(s.mail_reply, {});
    if (!IsGoodCode(reply)) return ReportFinalReply(s, reply);
  }
  // Otherwise the conversation broke off before its end: for the user, the socket failed.
  s.events->NimboMessage(SocketErrorText(kConnectionClosedNumber, kConnectionClosedText));
}

void Nimbo::HandleWSError(std::int16_t Number, const std::string& Description) {
  state_->events->NimboMessage(SocketErrorText(Number, Description));
}

}  // namespace nimbo
