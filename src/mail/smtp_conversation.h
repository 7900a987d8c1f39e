// What the mail wiring needs of the SMTP conversation beyond the component's public handlers.
#ifndef NIMBO_SRC_MAIL_SMTP_CONVERSATION_H_
#define NIMBO_SRC_MAIL_SMTP_CONVERSATION_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "control/control_state.h"

namespace nimbo {

// The longest reply the conversation holds: SMTP replies are a few hundred bytes, so a longer
// one is a server that is not speaking SMTP (or one that talks without end).
inline constexpr std::size_t kMaxMailReplyBytes = 64 * 1024;

// The socket error the user sees when the server closes the connection mid-conversation.
inline constexpr std::int16_t kConnectionClosedNumber = 10053;
inline constexpr std::string_view kConnectionClosedText = "Connection closed by the mail server";

// The mail server closed the connection while the conversation was still open (the component
// had not closed the socket itself): judges a reply the close cut short, and otherwise tells the
// user the connection was lost. Either way the user hears how the mail ended.
void MailConnectionLost(ControlState& s);

}  // namespace nimbo

#endif  // NIMBO_SRC_MAIL_SMTP_CONVERSATION_H_
