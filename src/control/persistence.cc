// The container life cycle: a new instance's defaults, and the four properties persisted with
// the host's form.
#include "control/control_state.h"
#include "nimbo/nimbo.h"

namespace nimbo {
namespace {

const Variant& BlankDefault() {
  static const Variant blank(" ");
  return blank;
}

const Variant& ZeroDefault() {
  static const Variant zero(std::int16_t{0});
  return zero;
}

}  // namespace

void Nimbo::InitProperties() {
  state_->ApplicationFolder = BlankDefault();
  state_->ConnectionString = BlankDefault();
  state_->ActivePort = 0;
}

void Nimbo::ReadProperties(PropertyBag& bag) {
  // Stored straight into the members: loading a saved form is neither a design-time edit nor a
  // change that needs saving.
  state_->ApplicationFolder = bag.ReadProperty("ApplicationFolder", BlankDefault());
  state_->ConnectionString = bag.ReadProperty("ConnectionString", BlankDefault());
  state_->ActivePort = bag.ReadProperty("ActivePort", ZeroDefault()).ToInteger();
  state_->DAMode = bag.ReadProperty("DAMode", ZeroDefault()).ToInteger();
}

void Nimbo::WriteProperties(PropertyBag& bag) const {
  bag.WriteProperty("ApplicationFolder", state_->ApplicationFolder, BlankDefault());
  bag.WriteProperty("ConnectionString", state_->ConnectionString, BlankDefault());
  bag.WriteProperty("ActivePort", Variant(state_->ActivePort), ZeroDefault());
  bag.WriteProperty("DAMode", Variant(state_->DAMode), ZeroDefault());
}

}  // namespace nimbo
