// The SMTP conversation over the real TCP socket: delivery to aiosmtpd with every attachment
// decoded independently, the exact bytes on the wire, and faults from a scripted server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/mail_fixture.h"
#include "testing/mail_servers.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::AcceptingScript;
using ::nimbo::testing::CloseConnection;
using ::nimbo::testing::MailerUnderTest;
using ::nimbo::testing::Pause;
using ::nimbo::testing::ReadData;
using ::nimbo::testing::ReadFile;
using ::nimbo::testing::ReadLine;
using ::nimbo::testing::RunCommand;
using ::nimbo::testing::ScriptedServer;
using ::nimbo::testing::Send;
using ::nimbo::testing::ServerStep;
using ::nimbo::testing::SmtpSink;
using ::nimbo::testing::SocketMode;
using ::nimbo::testing::TempDir;
using ::nimbo::testing::WriteFile;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

// Bytes 0..255 repeated: every value, so the encoding of each one is exercised.
std::string Bytes(std::size_t n) {
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 256);
  return bytes;
}

// A message text whose lines test transparency: a line beginning with ".", a line of one "."
// (which would end the data early), and LF and lone CR line breaks.
constexpr char kTrickyMessage[] = "See below.\n.hidden\n.\rlast";

TEST(SmtpConversationTest, RealServerReceivesHeadersMessageAndByteExactAttachments) {
  SmtpSink sink;
  MailerUnderTest m;
  // 149 bytes leave a last block of 14, whose count character is "."; 90 bytes end in a
  // 0-byte line; bg.jpg is empty; the other four files are missing.
  WriteFile(m.folder / "oDatNav.htm", "<html>\r\n<body>Sales</body>\r\n</html>\r\n");
  WriteFile(m.folder / "pic1", Bytes(149));
  WriteFile(m.folder / "chart.gif", Bytes(90));
  WriteFile(m.folder / "bg.jpg", "");
  m.control.Message(kTrickyMessage);
  m.control.ReplyToName("Carol");
  m.control.ReplyToID("carol@example.org");
  m.MailTo(sink.port());

  EXPECT_THAT(m.Messages(), ElementsAre("Message Sent Successfully."));
  const std::string mail = ReadFile(sink.Message(1));
  EXPECT_THAT(mail, StartsWith("From:Ann <ann@example.org>\r\n"
                               "To:Bob <bob@example.org>\r\n"
                               "Subject:Report\r\n"
                               "Reply-To:Carol <carol@example.org>\r\n"
                               "\r\n"
                               "See below.\r\n.hidden\r\n.\r\nlast\r\n\r\n"
                               "begin 664 oDatNav.htm\r\n"));
  EXPECT_THAT(ReadFile(sink.Envelope(1)), HasSubstr(R"("helo": "ann")"));
  EXPECT_THAT(ReadFile(sink.Envelope(1)), HasSubstr(R"("mail_from": "ann@example.org")"));
  EXPECT_THAT(ReadFile(sink.Envelope(1)), HasSubstr(R"("rcpt_tos": ["bob@example.org"])"));

  TempDir decoded;
  const auto names = RunCommand("/usr/bin/python3 '" + std::string(NIMBO_SOURCE_DIR) +
                                "/tests/mail/uu_blocks.py' '" + sink.Message(1).string() + "' '" +
                                decoded.path().string() + "'");
  ASSERT_EQ(names.status, 0);
  EXPECT_EQ(names.out, "oDatNav.htm\nbg.jpg\nchart.gif\npic1\n");
  for (const char* name : {"oDatNav.htm", "bg.jpg", "chart.gif", "pic1"}) {
    EXPECT_EQ(ReadFile(decoded / name), ReadFile(m.folder / name)) << name;
  }
  EXPECT_THAT(StateOf(m.control).MailData, IsEmpty());
}

TEST(SmtpConversationTest, WireCarriesTrimmedAddressesStuffedDotsAndOnlyCrLf) {
  ScriptedServer server(AcceptingScript());
  MailerUnderTest m;
  WriteFile(m.folder / "pic1", Bytes(14));  // one line, and it begins with "."
  m.control.FromID(" ann@example.org ");
  m.control.Message(kTrickyMessage);
  m.MailTo(server.port());
  server.Stop();

  EXPECT_THAT(m.Messages(), ElementsAre("Message Sent Successfully."));
  EXPECT_THAT(server.lines(), ElementsAre("HELO ann", "MAIL FROM:ann@example.org",
                                          "RCPT TO:bob@example.org", "DATA", "QUIT"));
  const std::string& data = server.data();
  EXPECT_THAT(data, StartsWith("From:Ann < ann@example.org >\r\n"
                               "To:Bob <bob@example.org>\r\n"
                               "Subject:Report\r\n\r\n"
                               "See below.\r\n..hidden\r\n..\r\nlast\r\n\r\n"
                               "\r\n\r\n\r\n\r\n\r\n\r\n\r\n"  // seven missing files
                               "begin 664 pic1\r\n.."));
  EXPECT_THAT(data, ::testing::EndsWith("`\r\nend\r\n\r\n\r\n\r\n.\r\n"));
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\r') {
      ASSERT_EQ(data[i + 1], '\n') << "bare CR at " << i;
    } else if (data[i] == '\n') {
      ASSERT_EQ(data[i - 1], '\r') << "bare LF at " << i;
    }
  }
  EXPECT_TRUE(server.client_closed());
}

// The server's good replies in order: greeting, HELO, MAIL FROM, RCPT TO, DATA, data, QUIT.
std::vector<ServerStep> ReplyAtStep(int step, const std::string& reply) {
  const std::vector<std::string> good = {"220 ready\r\n", "250 hello\r\n", "250 ok\r\n",
                                         "250 ok\r\n",    "354 go\r\n",    "250 queued\r\n"};
  std::vector<ServerStep> script;
  for (int i = 0; i < step; ++i) {
    script.push_back(Send(good[i]));
    script.push_back(i == 4 ? ReadData() : ReadLine());  // after "354" comes the data
  }
  script.push_back(Send(reply));
  return script;
}

struct FaultCase {
  const char* name;
  std::vector<ServerStep> script;
  std::vector<std::string> messages;  // NimboMessage texts, in order
  std::vector<std::string> lines;     // the command lines the server received
};

std::vector<FaultCase> FaultCases() {
  const std::vector<std::string> all = {"HELO ann", "MAIL FROM:ann@example.org",
                                        "RCPT TO:bob@example.org", "DATA", "QUIT"};
  std::vector<FaultCase> cases = {
      {"RecipientRefused",
       {Send("220 ready\r\n"), ReadLine(), Send("250 hello\r\n"), ReadLine(), Send("250 ok\r\n"),
        ReadLine(), Send("550 5.1.1 <bob@example.org>: no such user\r\n")},
       {"SMTP Error: 550 5.1.1 <bob@example.org>: no such user\r\n"},
       {all[0], all[1], all[2]}},
      {"QuitAnsweredWith250",
       [] {
         auto s = AcceptingScript();
         s.back() = Send("250 fine\r\n");
         return s;
       }(),
       {},
       all},
      {"GreetingSplitOverTwoArrivals",
       [] {
         auto s = AcceptingScript("0 ready\r\n");
         s.insert(s.begin(), {Send("22"), Pause(150)});
         return s;
       }(),
       {"Message Sent Successfully."},
       all},
      {"MultiLineGreeting",
       AcceptingScript("220-mail.example.org\r\n220-welcome\r\n220 ready\r\n"),
       {"Message Sent Successfully."},
       all},
      {"MultiLineGreetingSplitBetweenItsLines",
       [] {
         auto s = AcceptingScript("220 ready\r\n");
         s.insert(s.begin(), {Send("220-mail.example.org\r\n"), Pause(150)});
         return s;
       }(),
       {"Message Sent Successfully."},
       all},
      {"MultiLineReplyToHelo",
       [] {
         auto s = AcceptingScript();
         s[2] = Send("250-mail.example.org\r\n250-SIZE 1000000\r\n250 HELP\r\n");
         return s;
       }(),
       {"Message Sent Successfully."},
       all},
      {"ConnectionClosedMidConversation",
       {Send("220 ready\r\n"), ReadLine(), Send("250 hello\r\n"), ReadLine(), CloseConnection()},
       {"Winsock Error #: 10053\r\nConnection closed by the mail server"},
       {all[0], all[1]}},
      {"ConnectionClosedBeforeTheReplyToQuit",
       [] {
         auto s = AcceptingScript();
         s.back() = CloseConnection();
         return s;
       }(),
       {"Winsock Error #: 10053\r\nConnection closed by the mail server"},
       all},
      {"RepliesEndedByLineFeedAlone",
       {Send("220 ready\n"), ReadLine(), Send("250-hello\n250 HELP\n"), ReadLine(),
        Send("250 ok\n"), ReadLine(), Send("250 ok\n"), ReadLine(), Send("354 go ahead\n"),
        ReadData(), Send("250 queued\n"), ReadLine(), Send("221 bye\n")},
       {"Message Sent Successfully."},
       all},
      {"ClosingReplyCutShortByTheClose",
       [] {
         auto s = AcceptingScript();
         s.back() = Send("221 bye");
         s.push_back(CloseConnection());
         return s;
       }(),
       {"Message Sent Successfully."},
       all},
      {"RefusalCutShortByTheClose",
       {Send("220 ready\r\n"), ReadLine(), Send("250 hello\r\n"), ReadLine(), Send("250 ok\r\n"),
        ReadLine(), Send("550 no such user"), CloseConnection()},
       {"SMTP Error: 550 no such user"},
       {all[0], all[1], all[2]}},
  };
  // 421 at each step; at the last, any code but 220, 250 and 354 ends a successful mail.
  for (int step = 0; step <= 6; ++step) {
    FaultCase c{"ServiceClosingAtStep",
                ReplyAtStep(step, "421 closing\r\n"),
                {step == 6 ? std::string("Message Sent Successfully.")
                           : std::string("SMTP Error: 421 closing\r\n")},
                std::vector<std::string>(all.begin(), all.begin() + (step < 5 ? step : step - 1))};
    cases.push_back(std::move(c));
  }
  return cases;
}

// In both socket modes: the conversation must not depend on how notifications reach the host.
TEST(SmtpConversationTest, FaultsFromAScriptedServer) {
  for (const SocketMode mode : {SocketMode::kPolled, SocketMode::kPosted}) {
    for (const FaultCase& c : FaultCases()) {
      SCOPED_TRACE(::testing::Message() << NameOf(mode) << " " << c.name << " " << c.lines.size());
      ScriptedServer server(c.script);
      MailerUnderTest m(mode);
      EXPECT_EQ(m.MailTo(server.port()), MailOutcome::kEnded);
      EXPECT_EQ(m.socket->state(), TcpSocket::State::kClosed);
      server.Stop();
      EXPECT_EQ(m.Messages(), c.messages);
      EXPECT_EQ(server.lines(), c.lines);
    }
  }
}

// A server that answers commands it has not read yet (all replies in one burst) must not get a
// mail it never read called sent: the reply that came before its command ends the conversation.
TEST(SmtpConversationTest, RepliesSentBeforeTheirCommandsAreAProtocolError) {
  const std::string burst =
      "220 ready\r\n250 hello\r\n250 ok\r\n250 ok\r\n354 go\r\n250 queued\r\n221 bye\r\n";
  for (const SocketMode mode : {SocketMode::kPolled, SocketMode::kPosted}) {
    SCOPED_TRACE(NameOf(mode));
    ScriptedServer server({Send(burst), ReadLine(), ReadLine(), ReadLine()});
    MailerUnderTest m(mode);
    EXPECT_EQ(m.MailTo(server.port()), MailOutcome::kEnded);
    server.Stop();
    EXPECT_THAT(m.Messages(), ElementsAre("SMTP Error: " + burst.substr(11)));
    EXPECT_THAT(server.lines(), Not(Contains("DATA")));
  }
}

// A reply without end (an endless multi-line reply, or bytes without a line break) is cut at
// 64 KiB: the conversation ends with what arrived, and the memory it holds stays bounded.
TEST(SmtpConversationTest, AReplyPastTheLimitEndsTheConversationWithWhatArrivedCut) {
  const std::size_t limit = 64 * 1024;
  const std::string endless_line = std::string(100 * 1024, 'x');
  std::string endless_reply;
  while (endless_reply.size() < 100 * 1024)
    endless_reply += "220-" + std::string(200, 'y') + "\r\n";
  for (const std::string& flood : {endless_line, endless_reply}) {
    ScriptedServer server({Send(flood), ReadLine()});
    MailerUnderTest m;
    EXPECT_EQ(m.MailTo(server.port()), MailOutcome::kEnded);
    server.Stop();
    ASSERT_EQ(m.Messages().size(), 1u);
    EXPECT_EQ(m.Messages()[0], "SMTP Error: " + flood.substr(0, limit));
    EXPECT_TRUE(server.lines().empty());  // not a word of the conversation went out
  }
}

TEST(SmtpConversationTest, ClosedConnectionLeavesTheStepWhereItWas) {
  ScriptedServer server(
      {Send("220 ready\r\n"), ReadLine(), Send("250 hello\r\n"), ReadLine(), CloseConnection()});
  MailerUnderTest m;
  m.MailTo(server.port());
  EXPECT_EQ(StateOf(m.control).MailStep, 2);
  EXPECT_THAT(m.events->lines, ::testing::Contains("SocketClosed"));
}

TEST(SmtpConversationTest, HeloNamesTheLocalPartOrTheWholeAddressOrLocalhost) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ann@example.org", "HELO ann"},
      {"  ann  ", "HELO ann"},
      {"ann.b", "HELO ann.b"},
      {"", "HELO localhost"},
      {"@example.org", "HELO localhost"},
  };
  for (const auto& [from_id, helo] : cases) {
    SCOPED_TRACE(from_id);
    ScriptedServer server({Send("220 ready\r\n"), ReadLine(), Send("421 enough\r\n")});
    MailerUnderTest m;
    m.control.FromID(from_id);
    m.MailTo(server.port());
    server.Stop();
    EXPECT_THAT(server.lines(), ElementsAre(helo));
  }
}

TEST(SmtpConversationTest, RefusedConnectionIsReportedWithTheSocketsNumber) {
  int port = 0;
  {
    asio::io_context io;
    asio::ip::tcp::acceptor probe(io, {asio::ip::make_address("127.0.0.1"), 0});
    port = probe.local_endpoint().port();
  }  // closed: nothing listens there now
  MailerUnderTest m;
  m.MailTo(port);
  EXPECT_THAT(m.Messages(), ElementsAre("Winsock Error #: 10061\r\nConnection refused"));
  EXPECT_EQ(StateOf(m.control).MailStep, 0);
}

}  // namespace
}  // namespace nimbo
