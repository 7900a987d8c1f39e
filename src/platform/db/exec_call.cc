// Tokenizer and parser of procedure calls, and the matching of arguments to parameters.
#include "platform/db/exec_call.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <system_error>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/result_table.h"
#include "platform/db/sql_text.h"

namespace nimbo::db {
namespace {

[[noreturn]] void Malformed(std::string_view what, std::size_t index) {
  throw Error(err::kCommandError,
              fmt::format("Malformed EXEC call: {} at position {}", what, index + 1));
}

enum class TokenKind { kEnd, kWord, kParameter, kNumber, kString, kComma, kEquals, kOther };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view text;  // as written
  std::size_t index = 0;  // where it starts, from 0
  std::string value;      // a string's content with doubled quotes undone
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    while (i_ < text_.size() && IsBlank(text_[i_])) ++i_;
    Token token;
    token.index = i_;
    if (i_ == text_.size()) return token;
    const char c = text_[i_];
    if (IsWordStart(c)) {
      while (i_ < text_.size() && IsWordChar(text_[i_])) ++i_;
      token.kind = TokenKind::kWord;
    } else if (c == '@') {
      ++i_;
      while (i_ < text_.size() && IsWordChar(text_[i_])) ++i_;
      if (i_ == token.index + 1) Malformed("a parameter name is missing after \"@\"", token.index);
      token.kind = TokenKind::kParameter;
    } else if (IsDigit(c) || c == '.' || ((c == '-' || c == '+') && StartsNumber(i_ + 1))) {
      if (c == '.' && !StartsNumber(i_)) {
        ++i_;
        token.kind = TokenKind::kOther;
      } else {
        ReadNumber(token.index);
        token.kind = TokenKind::kNumber;
      }
    } else if (c == '\'') {
      token.value = ReadString();
      token.kind = TokenKind::kString;
    } else if (c == ',') {
      ++i_;
      token.kind = TokenKind::kComma;
    } else if (c == '=') {
      ++i_;
      token.kind = TokenKind::kEquals;
    } else {
      ++i_;
      token.kind = TokenKind::kOther;
    }
    token.text = text_.substr(token.index, i_ - token.index);
    return token;
  }

 private:
  // Whether a number's digits start at `i` ("5", ".5").
  bool StartsNumber(std::size_t i) const {
    if (i < text_.size() && IsDigit(text_[i])) return true;
    return i + 1 < text_.size() && text_[i] == '.' && IsDigit(text_[i + 1]);
  }

  void SkipDigits() {
    while (i_ < text_.size() && IsDigit(text_[i_])) ++i_;
  }

  void ReadNumber(std::size_t start) {
    if (text_[i_] == '-' || text_[i_] == '+') ++i_;
    SkipDigits();
    if (i_ < text_.size() && text_[i_] == '.') {
      ++i_;
      SkipDigits();
    }
    if (i_ < text_.size() && (text_[i_] == 'e' || text_[i_] == 'E')) {
      ++i_;
      if (i_ < text_.size() && (text_[i_] == '-' || text_[i_] == '+')) ++i_;
      if (i_ == text_.size() || !IsDigit(text_[i_])) Malformed("malformed number", start);
      SkipDigits();
    }
    if (i_ < text_.size() && (IsWordChar(text_[i_]) || text_[i_] == '.' || text_[i_] == '@')) {
      Malformed("malformed number", start);
    }
  }

  std::string ReadString() {
    const std::size_t opening = i_++;
    std::string value;
    for (;;) {
      const std::size_t quote = text_.find('\'', i_);
      if (quote == std::string_view::npos) Malformed("unterminated string starting", opening);
      value.append(text_.substr(i_, quote - i_));
      i_ = quote + 1;
      if (i_ < text_.size() && text_[i_] == '\'') {
        value += '\'';
        ++i_;
        continue;
      }
      return value;
    }
  }

  std::string_view text_;
  std::size_t i_ = 0;
};

bool IsKeyword(const Token& token, std::string_view keyword) {
  return token.kind == TokenKind::kWord && SameName(token.text, keyword);
}

bool StartsArgument(const Token& token) {
  return token.kind == TokenKind::kNumber || token.kind == TokenKind::kString ||
         token.kind == TokenKind::kParameter || token.kind == TokenKind::kWord;
}

void ReadValue(const Token& token, CallArgument& argument) {
  switch (token.kind) {
    case TokenKind::kString:
      argument.kind = CallArgument::Kind::kText;
      argument.text = token.value;
      return;
    case TokenKind::kNumber: {
      std::string_view digits = token.text;
      if (digits.front() == '+') digits.remove_prefix(1);
      const char* end = digits.data() + digits.size();
      std::int64_t integer = 0;
      auto [ptr, ec] = std::from_chars(digits.data(), end, integer);
      if (ec == std::errc() && ptr == end) {
        argument.kind = CallArgument::Kind::kInteger;
        argument.integer = integer;
        return;
      }
      double real = 0;
      auto [real_ptr, real_ec] = std::from_chars(digits.data(), end, real);
      if (real_ec != std::errc() || real_ptr != end || !std::isfinite(real)) {
        Malformed("number out of range", token.index);
      }
      argument.kind = CallArgument::Kind::kReal;
      argument.real = real;
      return;
    }
    default:
      if (IsKeyword(token, "NULL")) {
        argument.kind = CallArgument::Kind::kNull;
        return;
      }
      if (token.kind == TokenKind::kEnd) Malformed("a value is missing", token.index);
      Malformed("a number, a '...' string or NULL is expected", token.index);
  }
}

}  // namespace

std::string LeadingKeyword(std::string_view text) {
  std::size_t i = SkipBlanksAndComments(text, 0);
  const std::size_t start = i;
  if (i == text.size() || !IsWordStart(text[i])) return "";
  while (i < text.size() && IsWordChar(text[i])) ++i;
  return Upper(text.substr(start, i - start));
}

ExecCall ParseExecCall(std::string_view text) {
  Lexer lexer(text);
  Token token = lexer.Next();
  if (!IsKeyword(token, "EXEC")) Malformed("EXEC is expected", token.index);
  token = lexer.Next();
  if (token.kind == TokenKind::kEnd) Malformed("the procedure name is missing", token.index);
  if (token.kind != TokenKind::kWord) Malformed("a procedure name is expected", token.index);
  ExecCall call;
  call.procedure = std::string(token.text);

  token = lexer.Next();
  bool named_seen = false;
  while (token.kind != TokenKind::kEnd) {
    CallArgument argument;
    argument.position = token.index + 1;
    if (token.kind == TokenKind::kParameter) {
      argument.name = std::string(token.text);
      for (const CallArgument& earlier : call.arguments) {
        if (SameName(earlier.name, argument.name)) {
          Malformed(fmt::format("the argument {} is given twice", argument.name), token.index);
        }
      }
      token = lexer.Next();
      if (token.kind != TokenKind::kEquals) {
        Malformed(fmt::format("\"=\" is expected after {}", argument.name), token.index);
      }
      token = lexer.Next();
      named_seen = true;
    } else if (named_seen) {
      Malformed("a positional argument follows a named one", token.index);
    }
    ReadValue(token, argument);
    call.arguments.push_back(std::move(argument));

    token = lexer.Next();
    if (token.kind == TokenKind::kComma) {
      token = lexer.Next();
      if (token.kind == TokenKind::kEnd)
        Malformed("an argument is missing after \",\"", token.index);
    } else if (StartsArgument(token)) {
      Malformed("\",\" is missing", token.index);
    } else if (token.kind != TokenKind::kEnd) {
      Malformed("unexpected text", token.index);
    }
  }
  return call;
}

std::vector<const CallArgument*> MatchArguments(const ExecCall& call,
                                                const std::vector<std::string>& parameters) {
  if (call.arguments.size() > parameters.size()) {
    throw Error(err::kCommandError,
                fmt::format("Procedure {} has {} parameter{} but was given {} argument{}",
                            call.procedure, parameters.size(), parameters.size() == 1 ? "" : "s",
                            call.arguments.size(), call.arguments.size() == 1 ? "" : "s"));
  }
  std::vector<const CallArgument*> bound(parameters.size(), nullptr);
  std::size_t next_position = 0;
  for (const CallArgument& argument : call.arguments) {
    std::size_t slot = next_position;
    if (argument.name.empty()) {
      ++next_position;
    } else {
      slot = parameters.size();
      for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (SameName(parameters[i], argument.name)) {
          slot = i;
          break;
        }
      }
      if (slot == parameters.size()) {
        throw Error(err::kCommandError,
                    fmt::format("Procedure {} has no parameter {}", call.procedure, argument.name));
      }
      if (bound[slot] != nullptr) {
        throw Error(err::kCommandError,
                    fmt::format("Parameter {} of procedure {} is given twice (position {})",
                                parameters[slot], call.procedure, argument.position));
      }
    }
    bound[slot] = &argument;
  }
  return bound;
}

}  // namespace nimbo::db
