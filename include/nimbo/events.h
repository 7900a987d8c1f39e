// The six events through which the component speaks to its host, in their dispatch order.
// The host derives from nimbo::Events and overrides the ones it handles; the others do
// nothing. Events are raised on the host's thread, and the raising operation resumes when the
// handler returns.
#ifndef NIMBO_EVENTS_H_
#define NIMBO_EVENTS_H_

#include <memory>
#include <string>

#include "nimbo/export.h"
#include "nimbo/variant.h"

namespace nimbo {

class Recordset;

class NIMBO_API Events {
 public:
  virtual ~Events() = default;
  // 1. Declared for hosts that supply records themselves; no operation raises it.
  virtual void ProvideRecordset(const std::string& /*sSQL*/, std::shared_ptr<Recordset>& /*sRS*/) {}
  // 2. The component starts (True) or ends (False) a node display.
  virtual void Busy(bool /*IsBusy*/) {}
  // 3. The user followed a record link: open form nFrm on record nID.
  virtual void OpenForm(const Variant& /*nFrm*/, const Variant& /*nID*/) {}
  // 4. A message for the user.
  virtual void NimboMessage(const std::string& /*sMessage*/) {}
  // 5. An audit entry: AType is "View", "Save", "Print", "Form" or "E-Mail".
  virtual void LogIt(const std::string& /*AType*/, const std::string& /*ANarration*/) {}
  // 6. A diagnostic, raised only while the Talking property is True.
  virtual void BlaBla(const std::string& /*sBlaBla*/) {}
};

}  // namespace nimbo

#endif  // NIMBO_EVENTS_H_
