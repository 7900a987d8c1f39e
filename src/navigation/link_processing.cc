// Record links in report pages: "^", a five-character form number, then the record id.
#include <string>

#include "control/control_state.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"
#include "platform/utf8_text.h"

namespace nimbo {

bool Nimbo::ProcessURL(const Variant& URL) {
  std::string address;
  try {
    address = URL.ToText();
  } catch (const Error&) {
    return false;  // an address without a text form holds no link marker
  }
  const auto marker = address.find('^');
  if (marker == std::string::npos) return false;

  const std::string_view rest = std::string_view(address).substr(marker + 1);
  const std::string form(Utf8Left(rest, 5));
  const std::string id(Utf8DropLeft(rest, 5));
  state_->events->LogIt("Form", "Form #:" + form + ",  ID=" + id);
  state_->events->OpenForm(Variant(form), Variant(id));
  return true;
}

}  // namespace nimbo
