// The mail wiring on real loopback servers: a whole conversation in posted mode, the deadline
// as the component hears it, and errors the component raises while handling a notification.
#include "nimbo/mail_wiring.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "testing/mail_fixture.h"
#include "testing/mail_servers.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::CloseConnection;
using ::nimbo::testing::MailerUnderTest;
using ::nimbo::testing::ReadFile;
using ::nimbo::testing::ScriptedServer;
using ::nimbo::testing::Send;
using ::nimbo::testing::ServerStep;
using ::nimbo::testing::SmtpSink;
using ::nimbo::testing::SocketMode;
using ::nimbo::testing::TalkingScript;
using ::nimbo::testing::WriteFile;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using std::chrono::milliseconds;

TEST(MailWiringTest, PostedConversationReachesTheServerWithEveryNotificationOnTheHostThread) {
  SmtpSink sink;
  MailerUnderTest m(SocketMode::kPosted);
  WriteFile(m.folder / "oDatNav.htm", "<html><body>Sales</body></html>\r\n");
  EXPECT_EQ(m.MailTo(sink.port()), MailOutcome::kEnded);

  EXPECT_THAT(m.Messages(), ElementsAre("Message Sent Successfully."));
  EXPECT_THAT(m.events->lines, Contains("SocketConnected"));
  EXPECT_THAT(m.events->threads, ElementsAre(std::this_thread::get_id()));
  EXPECT_THAT(ReadFile(sink.Message(1)), HasSubstr("Subject:Report\r\n\r\nSee below.\r\n\r\n"
                                                   "begin 664 oDatNav.htm\r\n"));
}

TEST(MailWiringTest, DeadlineReachesTheComponentAsTheSocketsTimeOut) {
  // The talking server keeps the component waiting for the end of its reply.
  const std::vector<std::pair<const char*, std::vector<ServerStep>>> servers = {
      {"silent", {}}, {"talking", TalkingScript()}};
  for (const SocketMode mode : {SocketMode::kPolled, SocketMode::kPosted}) {
    for (const auto& [name, script] : servers) {
      SCOPED_TRACE(std::string(NameOf(mode)) + " " + name);
      ScriptedServer server(script);
      MailerUnderTest m(mode);
      EXPECT_EQ(m.MailTo(server.port(), milliseconds(300)), MailOutcome::kTimedOut);
      EXPECT_THAT(m.Messages(), ElementsAre("Winsock Error #: 10060\r\nConnection timed out"));
      EXPECT_EQ(StateOf(m.control).MailStep, 0);
      server.Stop();
      EXPECT_TRUE(server.client_closed());
    }
  }
}

TEST(MailWiringTest, ErrorsTheComponentRaisesGoToTheFailedHookOrOutOfTheLoop) {
  for (const SocketMode mode : {SocketMode::kPolled, SocketMode::kPosted}) {
    for (const bool hooked : {true, false}) {
      SCOPED_TRACE(std::string(NameOf(mode)) + (hooked ? " with a failed hook" : " without"));
      ScriptedServer server({Send("220 ready\r\n"), CloseConnection()});
      MailerUnderTest m(mode);
      std::vector<int> failures;
      bool closed = false;
      MailSocketHooks hooks{.closed = [&] { closed = true; }};
      if (hooked) hooks.failed = [&](const Error& e) { failures.push_back(e.number()); };
      WireMailSocket(m.control, m.socket, std::move(hooks));
      m.control.Server("127.0.0.1:" + std::to_string(server.port()));
      m.control.SendMail();
      // The host takes the socket away mid-conversation: the greeting's arrival finds the
      // component without one (91).
      m.control.SetWinSock(nullptr);

      if (hooked) {
        EXPECT_EQ(m.Run(), MailOutcome::kEnded);
        EXPECT_THAT(failures, ElementsAre(err::kObjectNotSet));
        EXPECT_TRUE(closed);  // the loop went on to the server's close
      } else {
        try {
          m.Run();
          ADD_FAILURE() << "no error";
        } catch (const Error& e) {
          EXPECT_EQ(e.number(), err::kObjectNotSet);
        }
      }
    }
  }
}

}  // namespace
}  // namespace nimbo
