// The component object: its creation, its properties and the design-time rule for ActivePort
// and DAMode.
#include <cstdint>
#include <utility>

#include "control/control_state.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"
#include "nimbo/version.h"

namespace nimbo {
namespace {

// Drops every event: the sink for hosts that pass none.
class NoEvents : public Events {};

// Setting or reading a design-time-only property is refused while the host runs.
void RequireDesignTime(const ControlState& s, int refusal) {
  if (s.container->UserMode()) throw Error(refusal);
}

// A limit: a 32-bit integer that is not negative (5 otherwise).
std::int32_t NonNegativeLong(const Variant& value) {
  const std::int32_t converted = value.ToLong();
  if (converted < 0) throw Error(err::kInvalidCall);
  return converted;
}

}  // namespace

#define NIMBO_STRINGIFY_(x) #x
#define NIMBO_STRINGIFY(x) NIMBO_STRINGIFY_(x)

std::string_view Version() {
  return NIMBO_STRINGIFY(NIMBO_VERSION_MAJOR) "." NIMBO_STRINGIFY(
      NIMBO_VERSION_MINOR) "." NIMBO_STRINGIFY(NIMBO_VERSION_PATCH);
}

Nimbo::Nimbo(std::shared_ptr<Container> container, std::shared_ptr<Events> events)
    : state_(std::make_unique<ControlState>()) {
  if (!container) throw Error(err::kObjectNotSet);
  state_->container = std::move(container);
  state_->events = events ? std::move(events) : std::make_shared<NoEvents>();
  state_->clock = SystemClock();
}

Nimbo::~Nimbo() = default;

void Nimbo::ActivePort(const Variant& value) {
  const std::int16_t converted = value.ToInteger();
  RequireDesignTime(*state_, err::kSetAtRunTime);
  state_->ActivePort = converted;
  state_->container->PropertyChanged("ActivePort");
}

std::int16_t Nimbo::ActivePort() const {
  RequireDesignTime(*state_, err::kGetAtRunTime);
  return state_->ActivePort;
}

void Nimbo::DAMode(const Variant& value) {
  const std::int16_t converted = value.ToInteger();
  RequireDesignTime(*state_, err::kSetAtRunTime);
  state_->DAMode = converted;
  state_->container->PropertyChanged("DAMode");
}

std::int16_t Nimbo::DAMode() const {
  RequireDesignTime(*state_, err::kGetAtRunTime);
  return state_->DAMode;
}

void Nimbo::ApplicationFolder(const Variant& value) {
  state_->ApplicationFolder = value;
  state_->container->PropertyChanged("ApplicationFolder");
}

void Nimbo::ConnectionString(const Variant& value) {
  state_->ConnectionString = value;
  state_->container->PropertyChanged("ConnectionString");
}

void Nimbo::CanMail(bool value) { state_->CanMail = value; }
void Nimbo::DateFormat(const std::string& value) { state_->DateFormat = value; }
void Nimbo::DisplayPath(bool value) { state_->DisplayPath = value; }
void Nimbo::Talking(bool value) { state_->Talking = value; }

// Each text property converts before it stores, so a failed conversion changes nothing.
void Nimbo::Heading(const Variant& value) { state_->Heading = value.ToText(); }
void Nimbo::FromName(const Variant& value) { state_->FromName = value.ToText(); }
void Nimbo::FromID(const Variant& value) { state_->FromID = value.ToText(); }
void Nimbo::Message(const Variant& value) { state_->Message = value.ToText(); }
void Nimbo::ReplyToName(const Variant& value) { state_->ReplyToName = value.ToText(); }
void Nimbo::ReplyToID(const Variant& value) { state_->ReplyToID = value.ToText(); }
void Nimbo::Server(const Variant& value) { state_->Server = value.ToText(); }
void Nimbo::Subject(const Variant& value) { state_->Subject = value.ToText(); }
void Nimbo::ToName(const Variant& value) { state_->ToName = value.ToText(); }
void Nimbo::ToID(const Variant& value) { state_->ToID = value.ToText(); }
void Nimbo::UserRole(const Variant& value) { state_->UserRole = value.ToInteger(); }

void Nimbo::CommandTimeout(const Variant& seconds) {
  state_->CommandTimeout = NonNegativeLong(seconds);
}
void Nimbo::RecordsetMemoryLimit(const Variant& megabytes) {
  state_->RecordsetMemoryLimit = NonNegativeLong(megabytes);
}

void Nimbo::SetClock(std::shared_ptr<Clock> clock) {
  if (!clock) throw Error(err::kObjectNotSet);
  state_->clock = std::move(clock);
}

}  // namespace nimbo
