// The library's own way into a component's control state. Subsystems, tests and benchmarks
// reach the state through StateOf; the public class offers no accessor, so hosts cannot.
#ifndef NIMBO_SRC_CONTROL_CONTROL_ACCESS_H_
#define NIMBO_SRC_CONTROL_CONTROL_ACCESS_H_

#include "control/control_state.h"
#include "nimbo/nimbo.h"

namespace nimbo {

struct ControlAccess {
  static ControlState& State(Nimbo& control) { return *control.state_; }
  static const ControlState& State(const Nimbo& control) { return *control.state_; }
};

inline ControlState& StateOf(Nimbo& control) { return ControlAccess::State(control); }
inline const ControlState& StateOf(const Nimbo& control) { return ControlAccess::State(control); }

}  // namespace nimbo

#endif  // NIMBO_SRC_CONTROL_CONTROL_ACCESS_H_
