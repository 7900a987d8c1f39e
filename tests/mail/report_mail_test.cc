// SendMail: the permission check, refusal of line breaks in mail values, the attachment text,
// and the server and port rules, with a socket that records what it is asked to do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mail/uuencode.h"
#include "nimbo/error.h"
#include "testing/mail_fixture.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::MailerUnderTest;
using ::nimbo::testing::WriteFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Records connections and sends; never talks to a network.
class RecordingSocket : public Socket {
 public:
  void Connect(const std::string& host, std::int32_t port) override {
    connects.emplace_back(host, port);
  }
  void GetData(std::string& data) override { data.clear(); }
  void SendData(const std::string& data) override { sent.push_back(data); }
  void Close() override {}
  std::vector<std::pair<std::string, std::int32_t>> connects;
  std::vector<std::string> sent;
};

struct Recorded : MailerUnderTest {
  Recorded() { control.SetWinSock(recorder); }
  std::shared_ptr<RecordingSocket> recorder = std::make_shared<RecordingSocket>();
};

TEST(ReportMailTest, ServerTextGivesHostAndPort) {
  const std::vector<std::tuple<std::string, std::string, int>> cases = {
      {"mail.example.org", "mail.example.org", 25},
      {"  mail.example.org  ", "mail.example.org", 25},
      {" mail.example.org:2525 ", "mail.example.org", 2525},
      {"mail.example.org: 2525 ", "mail.example.org", 2525},
      {"mail.example.org:2524.5", "mail.example.org", 2524},  // half to even
      {"mail.example.org:2525.5", "mail.example.org", 2526},
      {"[::1]:25", "[", 0},  // split at the first colon, so the port text is not a number
  };
  for (const auto& [server, host, port] : cases) {
    SCOPED_TRACE(server);
    Recorded m;
    m.control.Server(server);
    if (port == 0) {
      try {
        m.control.SendMail();
        ADD_FAILURE() << "no error";
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kTypeMismatch);
      }
      EXPECT_THAT(m.recorder->connects, IsEmpty());
      continue;
    }
    m.control.SendMail();
    EXPECT_THAT(m.recorder->connects, ElementsAre(std::make_pair(host, port)));
    EXPECT_EQ(StateOf(m.control).MailStep, 0);
  }
}

TEST(ReportMailTest, WithoutPermissionNothingIsEncodedOrConnectedButTheAttemptIsLogged) {
  Recorded m;
  WriteFile(m.folder / "oDatNav.htm", "page");
  m.control.CanMail(false);
  m.control.ToName("J. Smith");
  m.control.ToID("js");
  StateOf(m.control).MailData = "earlier";
  StateOf(m.control).MailStep = 4;
  m.control.SendMail();
  EXPECT_THAT(m.events->lines,
              ElementsAre("NimboMessage|Sorry! You are not authorised to E-Mail the Report",
                          "LogIt|E-Mail|To:J. Smith <js>   Data Browser"));
  EXPECT_THAT(m.recorder->connects, IsEmpty());
  EXPECT_EQ(StateOf(m.control).MailData, "earlier");
  EXPECT_EQ(StateOf(m.control).MailStep, 4);
}

TEST(ReportMailTest, LineBreakInAnyAddressNameOrSubjectRefusesToStart) {
  using Setter = void (Nimbo::*)(const Variant&);
  const std::vector<std::pair<const char*, Setter>> values = {
      {"FromID", &Nimbo::FromID},       {"ToID", &Nimbo::ToID},
      {"ReplyToID", &Nimbo::ReplyToID}, {"FromName", &Nimbo::FromName},
      {"ToName", &Nimbo::ToName},       {"ReplyToName", &Nimbo::ReplyToName},
      {"Subject", &Nimbo::Subject},
  };
  for (const auto& [name, setter] : values) {
    for (const char* injected :
         {"x\r\nRCPT TO:eve@example.org", "x\nBcc: eve@example.org", "x\rDATA"}) {
      SCOPED_TRACE(std::string(name) + " " + injected);
      Recorded m;
      (m.control.*setter)(Variant(std::string(injected)));
      m.control.SendMail();
      EXPECT_THAT(m.recorder->connects, IsEmpty());
      ASSERT_EQ(m.events->lines.size(), 2u);
      EXPECT_EQ(m.events->lines[0], "NimboMessage|Cannot E-Mail the Report: " + std::string(name) +
                                        " contains a line break");
      EXPECT_EQ(m.events->lines[1].rfind("LogIt|E-Mail|To:", 0), 0u);
    }
  }
}

TEST(ReportMailTest, AttachmentTextIsTheEightFilesInOrderEachFollowedByALineBreak) {
  Recorded m;
  EXPECT_NO_THROW(m.control.SendMail());
  EXPECT_EQ(StateOf(m.control).MailData, "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");  // all missing

  WriteFile(m.folder / "oDatNav.htm", "<html></html>\r\n");
  WriteFile(m.folder / "circle.gif", std::string(46, '\x01'));
  WriteFile(m.folder / "pic1", "abc");
  std::string expected;
  for (const char* name : {"oDatNav.htm", "bg.jpg", "cbg.gif", "circle.gif", "chart.gif",
                           "minus.gif", "plus.gif", "pic1"}) {
    expected += UUEncodeFile((m.folder / name).string()) + "\r\n";
  }
  m.control.SendMail();
  m.control.SendMail();  // replaces the text; never two sets
  EXPECT_EQ(StateOf(m.control).MailData, expected);
  EXPECT_EQ(m.recorder->connects.size(), 3u);
}

TEST(ReportMailTest, NoSelectedNodeFailsAfterConnecting) {
  Recorded m;
  m.tree->Clear();
  try {
    m.control.SendMail();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kObjectNotSet);
  }
  EXPECT_EQ(m.recorder->connects.size(), 1u);
  EXPECT_THAT(m.events->lines, IsEmpty());
}

TEST(ReportMailTest, SocketErrorIsShownWithNumberAndDescription) {
  Recorded m;
  std::string description = "Connection is aborted due to timeout or other failure";
  StateOf(m.control).MailStep = 3;
  m.control.HandleWSError(10053, description);
  EXPECT_THAT(m.events->lines,
              ElementsAre("NimboMessage|Winsock Error #: 10053\r\n"
                          "Connection is aborted due to timeout or other failure"));
  EXPECT_EQ(StateOf(m.control).MailStep, 3);
}

}  // namespace
}  // namespace nimbo
