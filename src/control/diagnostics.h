// The one way diagnostics leave the component: through BlaBla, and only while Talking is True.
// The text is built by a callable so that nothing is formatted when nobody listens.
#ifndef NIMBO_SRC_CONTROL_DIAGNOSTICS_H_
#define NIMBO_SRC_CONTROL_DIAGNOSTICS_H_

#include <exception>
#include <string>
#include <utility>

#include "control/control_state.h"
#include "nimbo/error.h"

namespace nimbo {

template <class BuildText>
void Talk(const ControlState& s, BuildText&& build_text) {
  if (s.Talking) s.events->BlaBla(std::forward<BuildText>(build_text)());
}

// Any exception as a run-time error: nimbo::Error as it is, library exceptions mapped to the
// nearest classic number.
Error AsError(const std::exception_ptr& failure);

// Handler-style report of an operation that stopped on an error: "Error: N, description",
// then the error's detail (the path, the port, the system's reason) as a line of its own, only
// while Talking is True and only for a non-zero number.
void ReportError(const ControlState& s, const Error& error);

// The error's detail as a diagnostic line of its own, when it has one (with Talking).
void TalkDetail(const ControlState& s, const Error& error);

}  // namespace nimbo

#endif  // NIMBO_SRC_CONTROL_DIAGNOSTICS_H_
