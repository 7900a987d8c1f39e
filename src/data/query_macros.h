// Expansion of a definition row's parameter macro into the parameter text of an "EXEC " call,
// from the tree's selected node (its text or the record key at the front of its key) or today's
// date.
#ifndef NIMBO_SRC_DATA_QUERY_MACROS_H_
#define NIMBO_SRC_DATA_QUERY_MACROS_H_

#include <string>
#include <string_view>

#include "control/control_state.h"

namespace nimbo {

// The parameter text for `macro`, with its own leading blank: TEXT, TODAY, LKEY…, CKEYnn (any
// letter case), anything else " ". A step that fails is skipped, so with no selected node or a
// key that is not a number the result is the empty text. Quoted values have every single quote
// doubled, so each always reaches the call as exactly one value.
std::string ExpandMacros(const ControlState& s, const std::string& macro);

// A text as one single-quoted SQL literal of the call syntax ("O'Brien" -> "'O''Brien'").
std::string QuoteLiteral(std::string_view text);

}  // namespace nimbo

#endif  // NIMBO_SRC_DATA_QUERY_MACROS_H_
