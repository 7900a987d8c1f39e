// The procedure call parser on any text: it parses or raises the command error and nothing else;
// a parsed call written back out in the grammar's own spelling parses to the same call; its
// arguments bind to parameters named after them, and not to too few parameters.
#include <fmt/format.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/exec_call.h"

namespace {

using nimbo::Error;
using nimbo::db::CallArgument;
using nimbo::db::ExecCall;
using nimbo::fuzz::Check;
using Kind = CallArgument::Kind;

// The call as text. Reals get a decimal point and 17 significant digits, so they read back as
// the same double and never as an integer.
std::string Unparse(const ExecCall& call) {
  std::string text = "EXEC " + call.procedure;
  for (std::size_t i = 0; i < call.arguments.size(); ++i) {
    const CallArgument& argument = call.arguments[i];
    text += i == 0 ? " " : ", ";
    if (!argument.name.empty()) text += argument.name + " = ";
    switch (argument.kind) {
      case Kind::kNull:
        text += "NULL";
        break;
      case Kind::kInteger:
        text += std::to_string(argument.integer);
        break;
      case Kind::kReal:
        text += fmt::format("{:.16e}", argument.real);
        break;
      case Kind::kText:
        text += '\'';
        for (char c : argument.text) text += c == '\'' ? std::string("''") : std::string(1, c);
        text += '\'';
        break;
    }
  }
  return text;
}

bool SameArgument(const CallArgument& a, const CallArgument& b) {
  if (a.kind != b.kind || a.name != b.name) return false;
  switch (a.kind) {
    case Kind::kNull:
      return true;
    case Kind::kInteger:
      return a.integer == b.integer;
    case Kind::kReal:
      return a.real == b.real;
    case Kind::kText:
      return a.text == b.text;
  }
  return false;
}

void CheckBinding(const ExecCall& call) {
  // The positional arguments' parameters first, anonymous, then one per named argument, in the
  // opposite order and another letter case.
  std::vector<std::string> parameters;
  std::size_t positional = 0;
  for (const CallArgument& argument : call.arguments) positional += argument.name.empty();
  parameters.assign(positional, "");
  for (auto it = call.arguments.rbegin(); it != call.arguments.rend(); ++it) {
    if (it->name.empty()) continue;
    std::string name = it->name;
    for (char& c : name) {
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
      else if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
    }
    parameters.push_back(name);
  }
  parameters.push_back("@nimbo_fuzz_left_unbound");

  const std::vector<const CallArgument*> bound = nimbo::db::MatchArguments(call, parameters);
  Check(bound.size() == parameters.size(), "one binding per parameter");
  std::size_t next = 0;
  std::size_t named = parameters.size() - 1;
  for (const CallArgument& argument : call.arguments) {
    if (argument.name.empty()) {
      Check(bound[next++] == &argument, "positional argument k binds parameter k");
    } else {
      Check(bound[--named] == &argument, "a named argument binds its own parameter");
    }
  }
  Check(bound.back() == nullptr, "a parameter without argument stays NULL");

  if (!call.arguments.empty()) {
    parameters.resize(call.arguments.size() - 1);
    try {
      nimbo::db::MatchArguments(call, parameters);
      nimbo::fuzz::Fail("more arguments than parameters were accepted");
    } catch (const Error& e) {
      Check(e.number() == nimbo::err::kCommandError, "binding fails with the command error");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = nimbo::fuzz::AsText(data, size);
  nimbo::db::LeadingKeyword(text);

  ExecCall call;
  try {
    call = nimbo::db::ParseExecCall(text);
  } catch (const Error& e) {
    Check(e.number() == nimbo::err::kCommandError, "a malformed call raises the command error");
    Check(std::string_view(e.description()).find(" at position ") != std::string_view::npos,
          "a malformed call's description says where");
    return 0;
  }

  Check(!call.procedure.empty(), "a parsed call names its procedure");
  for (const CallArgument& argument : call.arguments) {
    Check(argument.position >= 1 && argument.position <= text.size(),
          "an argument's position is inside the text");
    Check((text[argument.position - 1] == '@') == !argument.name.empty(),
          "a named argument's position is at its @");
  }

  const std::string again_text = Unparse(call);
  ExecCall again;
  try {
    again = nimbo::db::ParseExecCall(again_text);
  } catch (const Error& e) {
    nimbo::fuzz::Fail("the call written back does not parse: " + again_text + ": " +
                      e.description());
  }
  Check(again.procedure == call.procedure, "the procedure survives the round trip");
  Check(again.arguments.size() == call.arguments.size(), "every argument survives the round trip");
  for (std::size_t i = 0; i < call.arguments.size(); ++i) {
    Check(SameArgument(again.arguments[i], call.arguments[i]),
          "argument " + std::to_string(i) + " survives the round trip: " + again_text);
  }

  CheckBinding(call);
  return 0;
}
