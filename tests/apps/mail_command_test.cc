// nimbo mail (and the page commands of render) as a user runs them, against loopback servers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "testing/mail_servers.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::ReadFile;
using ::nimbo::testing::RunCommand;
using ::nimbo::testing::ScriptedServer;
using ::nimbo::testing::SmtpSink;
using ::nimbo::testing::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

testing::CommandResult Nimbo(const std::string& args) {
  return RunCommand(std::string(NIMBO_CLI_PATH) + " " + args + " 2>&1");
}

std::string MailArgs(const TempDir& dir, int port) {
  return "mail --folder '" + dir.path().string() +
         "' --select Customers --server 127.0.0.1:" + std::to_string(port) +
         " --from ann@example.org --from-name Ann --to bob@example.org --to-name Bob"
         " --subject 'Customer list'";
}

TEST(MailCommandTest, MailsTheShownPageAndExitsZero) {
  SmtpSink sink;
  TempDir dir;
  const auto run = Nimbo(MailArgs(dir, sink.port()) + " --message 'Hello.'");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_THAT(run.out,
              HasSubstr(R"({"event":"NimboMessage","sMessage":"Message Sent Successfully."})"));
  EXPECT_THAT(
      run.out,
      HasSubstr(
          R"("AType":"E-Mail","ANarration":"To:Bob <bob@example.org>   Data Browser\\Customers")"));
  const std::string mail = ReadFile(sink.Message(1));
  EXPECT_THAT(mail,
              HasSubstr("Subject:Customer list\r\n\r\nHello.\r\n\r\nbegin 664 oDatNav.htm\r\n"));

  TempDir decoded;
  const auto names = RunCommand("/usr/bin/python3 '" + std::string(NIMBO_SOURCE_DIR) +
                                "/tests/mail/uu_blocks.py' '" + sink.Message(1).string() + "' '" +
                                decoded.path().string() + "'");
  ASSERT_EQ(names.status, 0);
  EXPECT_THAT(names.out, HasSubstr("oDatNav.htm\n"));
  EXPECT_EQ(ReadFile(decoded / "oDatNav.htm"), ReadFile(dir / "oDatNav.htm"));
}

TEST(MailCommandTest, ServerThatNeverAnswersIsClosedAtTheTimeout) {
  ScriptedServer silent({});
  TempDir dir;
  const auto run = Nimbo(MailArgs(dir, silent.port()) + " --timeout 1");
  EXPECT_EQ(run.status, 1);
  // The component hears the socket's time-out before the program gives up.
  EXPECT_THAT(run.out, HasSubstr(R"({"event":"NimboMessage","sMessage":"Winsock Error #: 10060\r\n)"
                                 R"(Connection timed out"})"
                                 "\n"
                                 R"({"event":"Timeout","seconds":1.0})"));
  EXPECT_THAT(run.out, HasSubstr("did not end within 1 seconds; connection closed"));
  silent.Stop();
  EXPECT_TRUE(silent.client_closed());
}

TEST(MailCommandTest, RefusalsExitNonZeroWithoutConnecting) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {" --can-mail false", "Sorry! You are not authorised to E-Mail the Report"},
      {" --reply-to-name 'Carol\r\nBcc: eve@example.org'",
       "Cannot E-Mail the Report: ReplyToName contains a line break"},
      {" --reply-to 'carol@example.org\nRCPT TO:eve@example.org'",
       "Cannot E-Mail the Report: ReplyToID contains a line break"},
  };
  for (const auto& [option, message] : cases) {
    SCOPED_TRACE(option);
    ScriptedServer server({});
    TempDir dir;
    // The line breaks reach the program inside single quotes, as typed.
    const auto run = Nimbo(MailArgs(dir, server.port()) + option + " --timeout 5");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_THAT(run.out, HasSubstr(message));
    EXPECT_THAT(run.out, Not(HasSubstr("SocketConnected")));
    server.Stop();
    EXPECT_FALSE(server.client_closed());  // never connected
  }
}

TEST(MailCommandTest, RenderSavesAndPrintsTheShownPage) {
  TempDir dir;
  const auto saved = dir / "saved.htm";
  auto run = Nimbo("render --folder '" + dir.path().string() + "' --select Customers --save-to '" +
                   saved.string() + "' --print --talking");
  EXPECT_EQ(run.status, 1) << run.out;  // the print failed
  EXPECT_EQ(ReadFile(saved), ReadFile(dir / "oDatNav.htm"));
  EXPECT_THAT(
      run.out,
      HasSubstr(R"({"event":"LogIt","AType":"Save","ANarration":"Data Browser\\Customers"})"));
  EXPECT_THAT(run.out, HasSubstr(R"({"event":"NimboMessage","sMessage":"Print command Error: )"
                                 R"(Invalid procedure call or argument"})"));
  EXPECT_THAT(run.out, HasSubstr(R"({"event":"BlaBla","sBlaBla":"Print is not available: the )"
                                 R"(host supplies no printer"})"));
  EXPECT_THAT(
      run.out,
      HasSubstr(R"({"event":"LogIt","AType":"Print","ANarration":"Data Browser\\Customers"})"));

  const auto printed = dir / "printed.htm";
  run =
      Nimbo("render --folder '" + dir.path().string() + "' --print-to '" + printed.string() + "'");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(ReadFile(printed), ReadFile(dir / "fp.htm"));  // after a refresh the front page shows
}

}  // namespace
}  // namespace nimbo
