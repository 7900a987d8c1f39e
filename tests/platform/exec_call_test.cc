// The procedure call grammar: well-formed calls, malformed ones with their positions, and the
// matching of arguments to parameters.
#include "platform/db/exec_call.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"

namespace nimbo::db {
namespace {

using ::testing::HasSubstr;
using Kind = CallArgument::Kind;

// One argument as the test expects it: kind, value as text, name.
struct Expected {
  Kind kind;
  std::string value;
  std::string name;
};

std::string ValueText(const CallArgument& argument) {
  switch (argument.kind) {
    case Kind::kNull:
      return "NULL";
    case Kind::kInteger:
      return std::to_string(argument.integer);
    case Kind::kReal:
      return std::to_string(argument.real);
    case Kind::kText:
      return argument.text;
  }
  return "";
}

struct GoodCall {
  std::string text;
  std::string procedure;
  std::vector<Expected> arguments;
};

TEST(ExecCallTest, ParsesWellFormedCalls) {
  const std::vector<GoodCall> cases = {
      {"EXEC xspb1", "xspb1", {}},
      {"EXEC xspb1 ", "xspb1", {}},  // ExpandMacros leaves a blank behind an empty macro
      {"exec XSPB1", "XSPB1", {}},
      {"  \t\nExEc\n  p_1$#  \r\n", "p_1$#", {}},
      {"EXEC xspb3 @I1=2", "xspb3", {{Kind::kInteger, "2", "@I1"}}},
      {"EXEC xspb3 @i1 = 1", "xspb3", {{Kind::kInteger, "1", "@i1"}}},
      {"EXEC p 42", "p", {{Kind::kInteger, "42", ""}}},
      {"EXEC p -7, +8", "p", {{Kind::kInteger, "-7", ""}, {Kind::kInteger, "8", ""}}},
      {"EXEC p 2.5,.5,1e3",
       "p",
       {{Kind::kReal, "2.500000", ""},
        {Kind::kReal, "0.500000", ""},
        {Kind::kReal, "1000.000000", ""}}},
      {"EXEC p 99999999999999999999", "p", {{Kind::kReal, "100000000000000000000.000000", ""}}},
      {"EXEC p 'North'", "p", {{Kind::kText, "North", ""}}},
      {"EXEC p 'O''Brien', ''", "p", {{Kind::kText, "O'Brien", ""}, {Kind::kText, "", ""}}},
      {"EXEC p ''''", "p", {{Kind::kText, "'", ""}}},
      {"EXEC p 'a,b @c = --d'", "p", {{Kind::kText, "a,b @c = --d", ""}}},
      {"EXEC p NULL, null", "p", {{Kind::kNull, "NULL", ""}, {Kind::kNull, "NULL", ""}}},
      {"EXEC p'x',1", "p", {{Kind::kText, "x", ""}, {Kind::kInteger, "1", ""}}},
      {"EXEC p 1 , @b='two' ,@c=NULL",
       "p",
       {{Kind::kInteger, "1", ""}, {Kind::kText, "two", "@b"}, {Kind::kNull, "NULL", "@c"}}},
  };
  for (const GoodCall& c : cases) {
    SCOPED_TRACE(c.text);
    const ExecCall call = ParseExecCall(c.text);
    EXPECT_EQ(call.procedure, c.procedure);
    ASSERT_EQ(call.arguments.size(), c.arguments.size());
    for (std::size_t i = 0; i < c.arguments.size(); ++i) {
      EXPECT_EQ(call.arguments[i].kind, c.arguments[i].kind) << i;
      EXPECT_EQ(ValueText(call.arguments[i]), c.arguments[i].value) << i;
      EXPECT_EQ(call.arguments[i].name, c.arguments[i].name) << i;
    }
  }
}

TEST(ExecCallTest, KeepsEveryByteOfAString) {
  const std::string payload = std::string("a\0b", 3) + "\xff\xfe" + "'; DROP TABLE x; --";
  std::string text = "EXEC p '";
  for (char c : payload) text += c == '\'' ? std::string("''") : std::string(1, c);
  text += "'";
  const ExecCall call = ParseExecCall(text);
  ASSERT_EQ(call.arguments.size(), 1u);
  EXPECT_EQ(call.arguments[0].text, payload);
}

struct BadCall {
  std::string text;
  std::string message;  // part of the description, position included
};

TEST(ExecCallTest, RejectsMalformedCallsWithTheirPosition) {
  const std::vector<BadCall> cases = {
      {"EXECUTE p", "EXEC is expected at position 1"},
      {"SELECT 1", "EXEC is expected at position 1"},
      {"EXEC", "the procedure name is missing at position 5"},
      {"EXEC   ", "the procedure name is missing at position 8"},
      {"EXEC 'p'", "a procedure name is expected at position 6"},
      {"EXEC p 'abc", "unterminated string starting at position 8"},
      {"EXEC p 'it''s", "unterminated string starting at position 8"},
      {"EXEC p 1 2", "\",\" is missing at position 10"},
      {"EXEC p 'a' 'b'", "\",\" is missing at position 12"},
      {"EXEC p 1;", "unexpected text at position 9"},
      {"EXEC p 1; DROP TABLE x", "unexpected text at position 9"},
      {"EXEC p(1)", "a number, a '...' string or NULL is expected at position 7"},
      {"EXEC p 1,", "an argument is missing after \",\" at position 10"},
      {"EXEC p ,1", "a number, a '...' string or NULL is expected at position 8"},
      {"EXEC p 1,,2", "a number, a '...' string or NULL is expected at position 10"},
      {"EXEC p abc", "a number, a '...' string or NULL is expected at position 8"},
      {"EXEC p 12abc", "malformed number at position 8"},
      {"EXEC p 1.2.3", "malformed number at position 8"},
      {"EXEC p 1e", "malformed number at position 8"},
      {"EXEC p @", "a parameter name is missing after \"@\" at position 8"},
      {"EXEC p @a 1", "\"=\" is expected after @a at position 11"},
      {"EXEC p @a =", "a value is missing at position 12"},
      {"EXEC p @a=1, 2", "a positional argument follows a named one at position 14"},
      {"EXEC p @a=1, @A=2", "the argument @A is given twice at position 14"},
  };
  for (const BadCall& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseExecCall(c.text);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kCommandError);
      EXPECT_THAT(e.description(), HasSubstr(c.message));
    }
  }
}

TEST(ExecCallTest, LeadingKeywordSkipsBlanksAndComments) {
  EXPECT_EQ(LeadingKeyword("  select 1"), "SELECT");
  EXPECT_EQ(LeadingKeyword("-- note\n/* more */ With x AS (SELECT 1) SELECT * FROM x"), "WITH");
  EXPECT_EQ(LeadingKeyword("EXEC p"), "EXEC");
  EXPECT_EQ(LeadingKeyword("(SELECT 1)"), "");
  EXPECT_EQ(LeadingKeyword(""), "");
}

TEST(ExecCallTest, MatchesPositionalAndNamedArguments) {
  const ExecCall call = ParseExecCall("EXEC p 'a', @third = 3");
  const std::vector<std::string> parameters = {"@first", "", "@Third", ":fourth"};
  const std::vector<const CallArgument*> bound = MatchArguments(call, parameters);
  ASSERT_EQ(bound.size(), 4u);
  ASSERT_NE(bound[0], nullptr);
  EXPECT_EQ(bound[0]->text, "a");
  EXPECT_EQ(bound[1], nullptr);  // left NULL
  ASSERT_NE(bound[2], nullptr);
  EXPECT_EQ(bound[2]->integer, 3);
  EXPECT_EQ(bound[3], nullptr);
}

TEST(ExecCallTest, RejectsArgumentsThatCannotBind) {
  struct Case {
    std::string call;
    std::vector<std::string> parameters;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"EXEC p 1, 2", {"@a"}, "Procedure p has 1 parameter but was given 2 arguments"},
      {"EXEC p 1", {}, "Procedure p has 0 parameters but was given 1 argument"},
      {"EXEC p @b = 1", {"@a", "@c"}, "Procedure p has no parameter @b"},
      {"EXEC p @a = 1", {":a"}, "Procedure p has no parameter @a"},
      {"EXEC p 1, @a = 2", {"@a", "@b"}, "Parameter @a of procedure p is given twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    try {
      MatchArguments(ParseExecCall(c.call), c.parameters);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kCommandError);
      EXPECT_THAT(e.description(), HasSubstr(c.message));
    }
  }
}

}  // namespace
}  // namespace nimbo::db
